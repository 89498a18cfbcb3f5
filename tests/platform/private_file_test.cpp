#include "platform/private_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

namespace fs = std::filesystem;

class PrivateFileTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& relative) const { return dir.path() + relative; }
    bool Write(const std::string& relative, PrivateOpen how, std::string_view bytes) {
        const UniqueFd file = OpenPrivateFile(dir.path(), relative, how);
        return file && WriteAll(file.get(), bytes);
    }

    test::TempDir dir;
};

TEST_F(PrivateFileTest, FilesAre0600AndFolders0700WhateverTheUmask) {
    test::ScopedUmask permissive(0);
    ASSERT_TRUE(Write("Cache/html/page.html", PrivateOpen::kReplace, "first"));
    EXPECT_EQ(test::ModeOf(Path("Cache")), 0700u);
    EXPECT_EQ(test::ModeOf(Path("Cache/html")), 0700u);
    EXPECT_EQ(test::ModeOf(Path("Cache/html/page.html")), 0600u);

    ASSERT_TRUE(WritePrivateFile(dir.path(), "Cache/html/page.html", "2nd"));
    EXPECT_EQ(test::ReadFile(Path("Cache/html/page.html")), "2nd");
    ASSERT_TRUE(Write("log.txt", PrivateOpen::kAppend, "a"));
    ASSERT_TRUE(Write("log.txt", PrivateOpen::kAppend, "b"));
    EXPECT_EQ(test::ReadFile(Path("log.txt")), "ab");
    EXPECT_EQ(test::ModeOf(Path("log.txt")), 0600u);
}

TEST_F(PrivateFileTest, NoLinkIsFollowedNorAnythingButARegularFileWritten) {
    ASSERT_TRUE(fs::create_directories(Path("outside")));
    std::ofstream(Path("outside/target")) << "keep";
    ASSERT_TRUE(fs::create_directories(Path("Cache/html")));
    ASSERT_EQ(::mkfifo(Path("Cache/html/fifo").c_str(), 0600), 0);
    ASSERT_TRUE(fs::create_directory(Path("Cache/html/folder")));
    fs::create_symlink(Path("outside/target"), Path("Cache/html/link"));
    fs::create_symlink(Path("outside/missing"), Path("Cache/html/dangling"));
    fs::create_directory_symlink(Path("outside"), Path("Cache/via"));

    for (const char* relative : {"Cache/html/link", "Cache/html/dangling", "Cache/via/target",
                                 "Cache/via/new", "Cache/html/fifo", "Cache/html/folder",
                                 "Cache/html/../../outside/target", "Cache/html/", ""}) {
        for (const PrivateOpen how :
             {PrivateOpen::kReplace, PrivateOpen::kAppend, PrivateOpen::kCreateNew}) {
            EXPECT_FALSE(Write(relative, how, "planted")) << relative << static_cast<int>(how);
        }
    }
    EXPECT_EQ(test::ReadFile(Path("outside/target")), "keep");
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("outside/missing"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Path("outside/new"))));
    // Without a directory there is nowhere to write.
    EXPECT_FALSE(OpenPrivateFile("", "log.txt", PrivateOpen::kAppend));
}

TEST_F(PrivateFileTest, FreshFilesNeverTakeOverAName) {
    test::ScopedUmask permissive(0);
    std::ofstream(Path("outside")) << "keep";
    ASSERT_TRUE(fs::create_directories(Path("temp")));
    fs::create_symlink(Path("outside"), Path("temp/a.txt"));

    struct Case {
        std::string name;
        const char* made;
    } cases[] = {
        {"a.txt", "temp/a (2).txt"},  // the link counts as taken
        {"a.txt", "temp/a (3).txt"},
        {".profile", "temp/.profile"},
        {".profile", "temp/.profile (2)"},
        {"archive.tar.gz", "temp/archive.tar.gz"},
        {"archive.tar.gz", "temp/archive.tar (2).gz"},
    };
    for (const Case& c : cases) {
        std::string made;
        const UniqueFd file = CreateFreshPrivateFile(dir.path(), "temp/", c.name, &made);
        ASSERT_TRUE(file) << c.name;
        EXPECT_EQ(made, c.made);
        EXPECT_EQ(test::ModeOf(Path(made)), 0600u) << made;
    }
    EXPECT_EQ(test::ReadFile(Path("outside")), "keep");
    std::string made = "unchanged";
    for (const char* bad : {"", "..", "a/b"})
        EXPECT_FALSE(CreateFreshPrivateFile(dir.path(), "temp", bad, &made)) << bad;
    EXPECT_EQ(made, "unchanged");
}

TEST_F(PrivateFileTest, RemovingFollowsNoLink) {
    ASSERT_TRUE(fs::create_directories(Path("outside/sub")));
    std::ofstream(Path("outside/sub/x")) << "keep";
    ASSERT_TRUE(WritePrivateFile(dir.path(), "temp/sub/deep/f", "x"));
    ASSERT_TRUE(WritePrivateFile(dir.path(), "temp/g", "x"));
    fs::create_directory_symlink(Path("outside/sub"), Path("temp/link"));
    fs::create_directory_symlink(Path("outside"), Path("via"));

    EXPECT_FALSE(RemovePrivateFile(dir.path(), "via/sub/x"));
    EXPECT_EQ(EmptyPrivateFolder(dir.path(), "via/sub"), 0);
    EXPECT_EQ(EmptyPrivateFolder(dir.path(), "temp"), 3);
    EXPECT_TRUE(fs::is_empty(Path("temp")));
    EXPECT_EQ(test::ReadFile(Path("outside/sub/x")), "keep");

    ASSERT_TRUE(WritePrivateFile(dir.path(), "temp/g", "x"));
    EXPECT_TRUE(RemovePrivateFile(dir.path(), "temp/g"));
    EXPECT_FALSE(RemovePrivateFile(dir.path(), "temp/g"));
    EXPECT_EQ(EmptyPrivateFolder(dir.path(), "missing"), 0);
}

}  // namespace
}  // namespace korvo
