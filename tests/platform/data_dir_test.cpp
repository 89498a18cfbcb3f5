#include "platform/data_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/message_hook.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

constexpr uid_t kMe = 1000;
constexpr uid_t kOther = 1001;

PathFacts Dir(uid_t owner, mode_t mode) {
    return {.exists = true, .directory = true, .link = false, .owner = owner, .mode = mode};
}
PathFacts Link() {
    return {.exists = true, .directory = false, .link = true, .owner = kMe, .mode = 0777};
}
PathFacts File() {
    return {.exists = true, .directory = false, .link = false, .owner = kMe, .mode = 0600};
}
const PathFacts kMissing{};

DataDirInputs Inputs() {
    DataDirInputs in;
    in.programDir = "/opt/korvo/bin";
    in.home = "/home/ann";
    in.currentDir = "/work";
    in.uid = kMe;
    in.programDirFacts = Dir(kMe, 0755);
    return in;
}

constexpr const char* kBeside = "/opt/korvo/bin/MailData/";
constexpr const char* kHomeData = "/home/ann/.local/share/korvo/MailData/";

TEST(DataDir, BesideTheProgramOnlyWhenNoOneElseCanChangeIt) {
    struct Case {
        const char* what;
        PathFacts program;
        PathFacts beside;
        const char* expected;
    } cases[] = {
        {"own private program dir", Dir(kMe, 0755), kMissing, kBeside},
        {"own MailData there", Dir(kMe, 0755), Dir(kMe, 0700), kBeside},
        {"installed: another user's dir", Dir(0, 0755), kMissing, kHomeData},
        {"another user's dir, MailData mine", Dir(kOther, 0755), Dir(kMe, 0700), kHomeData},
        {"group-writable program dir", Dir(kMe, 0775), kMissing, kHomeData},
        {"sticky shared dir like /tmp", Dir(kMe, 01777), Dir(kMe, 0700), kHomeData},
        {"read-only own dir, no MailData", Dir(kMe, 0555), kMissing, kHomeData},
        {"read-only own dir with MailData", Dir(kMe, 0555), Dir(kMe, 0700), kBeside},
        {"MailData of another user", Dir(kMe, 0755), Dir(kOther, 0700), kHomeData},
        {"group-writable MailData", Dir(kMe, 0755), Dir(kMe, 0770), kHomeData},
        {"MailData is a link", Dir(kMe, 0755), Link(), kHomeData},
        {"MailData is a file", Dir(kMe, 0755), File(), kHomeData},
        {"program dir is a link", Link(), kMissing, kHomeData},
        {"program dir unknown", kMissing, kMissing, kHomeData},
    };
    for (const Case& c : cases) {
        DataDirInputs in = Inputs();
        in.programDirFacts = c.program;
        in.besideFacts = c.beside;
        const DataDirChoice choice = ResolveDataDir(in);
        EXPECT_EQ(choice.dir, c.expected) << c.what;
        EXPECT_EQ(choice.error, "") << c.what;
    }
    DataDirInputs root = Inputs();
    root.programDir = "/";
    root.uid = 0;
    root.programDirFacts = Dir(0, 0755);
    EXPECT_EQ(ResolveDataDir(root).dir, "/MailData/");
}

TEST(DataDir, FallbackIsXdgDataHomeThenHomeAndNeverAGuess) {
    struct Case {
        const char* xdg;
        const char* home;
        const char* expected;  // empty: refused
    } cases[] = {
        {"", "/home/ann", kHomeData},
        {"", "/home/ann/", kHomeData},
        {"/xdg/data/", "/home/ann", "/xdg/data/korvo/MailData/"},
        {"/xdg/data", "", "/xdg/data/korvo/MailData/"},
        // A relative XDG_DATA_HOME is invalid and ignored.
        {"rel/data", "/home/ann", kHomeData},
        {"rel/data", "", ""},
        {"", "", ""},
        {"", "home/ann", ""},
    };
    for (const Case& c : cases) {
        DataDirInputs in = Inputs();
        in.programDirFacts = Dir(0, 0755);
        in.xdgDataHome = c.xdg;
        in.home = c.home;
        const DataDirChoice choice = ResolveDataDir(in);
        EXPECT_EQ(choice.dir, c.expected) << c.xdg << " | " << c.home;
        // Never /tmp or the current directory in place of a home.
        EXPECT_EQ(choice.error.empty(), *c.expected != '\0') << c.xdg << " | " << c.home;
    }
}

TEST(DataDir, CommandLineBeatsEnvironmentAndRelativePathsAreAnchored) {
    DataDirInputs in = Inputs();
    in.home.clear();
    in.programDirFacts = Dir(kOther, 0777);
    in.envDataDir = "/env/dir";
    EXPECT_EQ(ResolveDataDir(in).dir, "/env/dir/");
    in.cliDataDir = "mine";
    EXPECT_EQ(ResolveDataDir(in).dir, "/work/mine/");
}

// Real directories below a private temporary one.
class PrepareDataDirTest : public ::testing::Test {
  protected:
    std::string Prepare(const std::string& dir) {
        std::string error;
        return PrepareDataDirectory(dir, ::geteuid(), &error) ? std::string() : error;
    }
    test::TempDir temp;
};

TEST_F(PrepareDataDirTest, MissingDirectoriesAreMadePrivateWhateverTheUmask) {
    test::ScopedUmask permissive(0);
    const std::string dir = temp.path() + "a/b/MailData/";
    EXPECT_EQ(Prepare(dir), "");
    for (const char* made : {"a", "a/b", "a/b/MailData"})
        EXPECT_EQ(test::ModeOf(temp.path() + made), 0700u) << made;
    // Preparing it again finds it as it is.
    EXPECT_EQ(Prepare(dir), "");
    // An existing private one is used as it is, group-readable or not.
    ASSERT_EQ(::chmod((temp.path() + "a").c_str(), 0750), 0);
    EXPECT_EQ(Prepare(temp.path() + "a"), "");
    EXPECT_EQ(test::ModeOf(temp.path() + "a"), 0750u);
}

TEST_F(PrepareDataDirTest, UnsafeExistingDirectoriesAreRefusedAndLeftAsTheyAre) {
    namespace fs = std::filesystem;
    const std::string good = temp.path() + "good";
    ASSERT_TRUE(fs::create_directory(good));
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        const char* reason;
    } cases[] = {
        {"group",
         [](const std::string& p) {
             fs::create_directory(p);
             ::chmod(p.c_str(), 0770);
         },
         "write"},
        {"shared",
         [](const std::string& p) {
             fs::create_directory(p);
             ::chmod(p.c_str(), 01777);
         },
         "write"},
        {"link", [&](const std::string& p) { fs::create_directory_symlink(good, p); }, "link"},
        {"file", [](const std::string& p) { std::ofstream(p) << "x"; }, "not a directory"},
    };
    for (const Case& c : cases) {
        const std::string path = temp.path() + c.name;
        c.make(path);
        const mode_t before = test::ModeOf(path);
        // With a trailing slash too: a link must not be looked at through its target.
        for (const std::string& given : {path, path + "/"}) {
            const std::string error = Prepare(given);
            EXPECT_NE(error.find(path), std::string::npos) << error;
            EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        }
        EXPECT_EQ(test::ModeOf(path), before) << c.name;
    }
    EXPECT_TRUE(fs::is_empty(good));
}

TEST_F(PrepareDataDirTest, ADirectoryOfAnotherUserIsRefused) {
    const std::string dir = temp.path() + "theirs";
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    // Seen as someone else: the directory belongs to us, not to them.
    std::string error;
    EXPECT_FALSE(PrepareDataDirectory(dir, ::geteuid() + 1, &error));
    EXPECT_NE(error.find("another user"), std::string::npos) << error;

    if (::geteuid() != 0) GTEST_SKIP() << "handing a directory to another user needs root";
    ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
    error = Prepare(dir);
    EXPECT_NE(error.find("another user (uid 65534)"), std::string::npos) << error;
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
