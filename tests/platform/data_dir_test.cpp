#include "platform/data_dir.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/message_hook.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

bool Always(const std::string&) {
    return true;
}
bool Never(const std::string&) {
    return false;
}

DataDirInputs Inputs() {
    DataDirInputs in;
    in.programDir = "/opt/korvo/bin";
    in.home = "/home/ann";
    in.currentDir = "/work";
    return in;
}

TEST(DataDir, BesideTheProgramWhenItsDirectoryIsWritable) {
    EXPECT_EQ(ResolveDataDir(Inputs(), Always), "/opt/korvo/bin/MailData/");
    DataDirInputs root = Inputs();
    root.programDir = "/";
    EXPECT_EQ(ResolveDataDir(root, Always), "/MailData/");
}

TEST(DataDir, FallsBackToXdgDataHomeWhenProgramDirectoryIsReadOnly) {
    DataDirInputs in = Inputs();
    EXPECT_EQ(ResolveDataDir(in, Never), "/home/ann/.local/share/korvo/MailData/");
    in.xdgDataHome = "/xdg/data/";
    EXPECT_EQ(ResolveDataDir(in, Never), "/xdg/data/korvo/MailData/");
    // A relative XDG_DATA_HOME is invalid and ignored.
    in.xdgDataHome = "rel";
    EXPECT_EQ(ResolveDataDir(in, Never), "/home/ann/.local/share/korvo/MailData/");
}

TEST(DataDir, ExistingWritableMailDataWinsOverReadOnlyParent) {
    test::TempDir program;
    DataDirInputs in = Inputs();
    in.programDir = program.path();
    const std::string mailData = program.path() + "MailData/";
    auto onlyMailData = [&](const std::string& dir) { return dir == mailData; };
    // Not there yet: the read-only program directory sends us to the fallback.
    EXPECT_EQ(ResolveDataDir(in, onlyMailData), "/home/ann/.local/share/korvo/MailData/");
    ASSERT_TRUE(std::filesystem::create_directory(mailData));
    EXPECT_EQ(ResolveDataDir(in, onlyMailData), mailData);
}

TEST(DataDir, CommandLineBeatsEnvironmentAndRelativePathsAreAnchored) {
    DataDirInputs in = Inputs();
    in.envDataDir = "/env/dir";
    EXPECT_EQ(ResolveDataDir(in, Always), "/env/dir/");
    in.cliDataDir = "mine";
    EXPECT_EQ(ResolveDataDir(in, Always), "/work/mine/");
}

TEST(DataDir, ReadsTheCommandLineInBothForms) {
    const char* spaced[] = {"korvo", "--data-dir", "/a/b", nullptr};
    EXPECT_EQ(DataDirInputsFromProcess(3, spaced).cliDataDir, "/a/b");
    const char* joined[] = {"korvo", "--data-dir=/c", nullptr};
    EXPECT_EQ(DataDirInputsFromProcess(2, joined).cliDataDir, "/c");
    const char* dangling[] = {"korvo", "--data-dir", nullptr};
    EXPECT_EQ(DataDirInputsFromProcess(2, dangling).cliDataDir, "");
    EXPECT_FALSE(DataDirInputsFromProcess(1, joined).programDir.empty());
}

TEST(DataDir, ProcessWideValueAlwaysEndsInSlash) {
    const std::string before = DataDirectory();
    SetDataDirectory("/x/y");
    EXPECT_EQ(DataDirectory(), "/x/y/");
    SetDataDirectory("");
    EXPECT_EQ(DataDirectory(), "");
    SetDataDirectory(before);
}

TEST(MessageHook, RecorderCapturesAndRestores) {
    {
        test::MessageRecorder outer;
        {
            test::MessageRecorder inner;
            ShowMessage("one");
            EXPECT_EQ(inner.messages(), std::vector<std::string>{"one"});
        }
        ShowMessage("two");
        EXPECT_EQ(outer.messages(), std::vector<std::string>{"two"});
    }
}

}  // namespace
}  // namespace korvo
