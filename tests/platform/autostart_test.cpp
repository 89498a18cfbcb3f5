#include "platform/autostart.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

TEST(AutostartTest, EntryPathFollowsTheBaseDirectoryRules) {
    EXPECT_EQ(AutostartEntryPath("/x/conf", "/home/ann"), "/x/conf/autostart/korvos.desktop");
    EXPECT_EQ(AutostartEntryPath("/x/conf/", "/home/ann"), "/x/conf/autostart/korvos.desktop");
    EXPECT_EQ(AutostartEntryPath("", "/home/ann"), "/home/ann/.config/autostart/korvos.desktop");
    // A relative XDG_CONFIG_HOME is not a base directory.
    EXPECT_EQ(AutostartEntryPath("conf", "/home/ann/"),
              "/home/ann/.config/autostart/korvos.desktop");
    EXPECT_EQ(AutostartEntryPath("", ""), "");
}

TEST(AutostartTest, ExecQuotesThePathAsOneArgument) {
    EXPECT_EQ(QuoteExecArgument("/usr/bin/korvo"), "\"/usr/bin/korvo\"");
    EXPECT_EQ(QuoteExecArgument("/home/ann/My Programs/korvo"), "\"/home/ann/My Programs/korvo\"");
    // Reserved characters inside the quotes get a backslash, which the string escapes then
    // double; "%" would start a field code.
    EXPECT_EQ(QuoteExecArgument("/a\"b"), "\"/a\\\\\"b\"");
    EXPECT_EQ(QuoteExecArgument("/a$b`c"), "\"/a\\\\$b\\\\`c\"");
    EXPECT_EQ(QuoteExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(QuoteExecArgument("/100%/k"), "\"/100%%/k\"");
    EXPECT_EQ(QuoteExecArgument("/a\nb\tc"), "\"/a\\nb\\tc\"");
    EXPECT_EQ(QuoteExecArgument("/a;b&c|d'e"), "\"/a;b&c|d'e\"");
}

TEST(AutostartTest, WritesTheEntryAtomicallyAndReplacesAnOldOne) {
    test::TempDir dir;
    const std::string path = AutostartEntryPath(dir.path() + "config home", "/nowhere");
    const std::string program = dir.path() + "Korvo Mail/bin/korvo";
    std::string error;
    ASSERT_TRUE(WriteAutostartEntry(path, program, "", &error)) << error;
    EXPECT_EQ(test::ReadFile(path),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Korvo\n"
              "Comment=Korvo mail client\n"
              "Icon=korvo\n"
              "Exec=\"" +
                  program +
                  "\"\n"
                  "Terminal=false\n"
                  "X-GNOME-Autostart-enabled=true\n");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    ASSERT_TRUE(WriteAutostartEntry(path, "/opt/korvo/korvo", "/srv/mail 1%/", &error)) << error;
    // The data directory is one more argument, quoted like the program.
    EXPECT_NE(test::ReadFile(path).find(
                  "Exec=\"/opt/korvo/korvo\" --data-dir \"/srv/mail 1%%/\"\n"),
              std::string::npos);
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(dir.path() + "config home/autostart")) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(AutostartTest, FailureLeavesNothingBehind) {
    test::TempDir dir;
    // The autostart directory cannot be made: a file stands where it should be.
    ASSERT_TRUE(WriteAutostartEntry(dir.path() + "x", "/k", ""));
    std::string error;
    EXPECT_FALSE(WriteAutostartEntry(dir.path() + "x/autostart/korvos.desktop", "/k", "/d", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(test::ReadFile(dir.path() + "x"), AutostartEntryText("/k"));
}

// The entry names the data directory only when a plain start at log-in would open another one.
TEST(AutostartTest, NamesTheDataDirectoryOnlyWhenAPlainStartWouldMissIt) {
    DataDirInputs installed;
    installed.programDir = "/usr/bin";
    installed.home = "/home/ann";
    installed.uid = 1000;
    installed.programDirFacts = {true, true, false, 0, 0755};
    // Whatever named the directory this run, it is not what the entry is about.
    installed.cliDataDir = "/elsewhere";
    installed.envDataDir = "/elsewhere";
    DataDirInputs ownFolder = installed;
    ownFolder.programDir = "/home/ann/korvo";
    ownFolder.programDirFacts = {true, true, false, 1000, 0700};

    const struct {
        const DataDirInputs& in;
        std::string dataDir;
        std::string named;
    } cases[] = {
        {installed, "/home/ann/.local/share/korvo/MailData/", ""},
        {installed, "/home/ann/.local/share/korvo/MailData", ""},
        {installed, "/home/ann/korvo/MailData/", "/home/ann/korvo/MailData/"},
        {installed, "/srv/mail", "/srv/mail"},
        {ownFolder, "/home/ann/korvo/MailData/", ""},
        {ownFolder, "/home/ann/.local/share/korvo/MailData/",
         "/home/ann/.local/share/korvo/MailData/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AutostartDataDir(c.dataDir, c.in), c.named) << c.dataDir;
}

}  // namespace
}  // namespace korvo
