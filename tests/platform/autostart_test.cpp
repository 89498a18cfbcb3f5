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
    ASSERT_TRUE(WriteAutostartEntry(path, program, &error)) << error;
    EXPECT_EQ(test::ReadFile(path),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Korvo\n"
              "Comment=Korvo mail client\n"
              "Exec=\"" +
                  program +
                  "\"\n"
                  "Terminal=false\n"
                  "X-GNOME-Autostart-enabled=true\n");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);

    ASSERT_TRUE(WriteAutostartEntry(path, "/opt/korvo/korvo", &error)) << error;
    EXPECT_NE(test::ReadFile(path).find("Exec=\"/opt/korvo/korvo\"\n"), std::string::npos);
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
    ASSERT_TRUE(WriteAutostartEntry(dir.path() + "x", "/k"));
    std::string error;
    EXPECT_FALSE(WriteAutostartEntry(dir.path() + "x/autostart/korvos.desktop", "/k", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(test::ReadFile(dir.path() + "x"), AutostartEntryText("/k"));
}

}  // namespace
}  // namespace korvo
