#include "platform/private_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
    std::string made;
    ASSERT_TRUE(CreateFreshPrivateFile(dir.path(), "temp", "log.txt", &made));
    EXPECT_EQ(test::ModeOf(Path(made)), 0600u);
    EXPECT_EQ(made, "temp/log.txt");
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

}  // namespace
}  // namespace korvo
