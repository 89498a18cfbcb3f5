#include "shell/attachment_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "content/attachment_name.h"
#include "content/mime_walk.h"
#include "store/node_tree.h"
#include "tests/shell/viewer_fakes.h"
#include "tests/shell/viewer_letters.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

using test::TestAttachment;

class AttachmentListTest : public ::testing::Test {
  protected:
    void Show(const std::vector<TestAttachment>& attachments) {
        deletesons(letter);
        mailProcess(test::LetterWithAttachments(attachments), letter, true);
        files.Fill(letter);
    }
    std::string Temp(const std::string& name) { return dir.path() + "Cache/temp/" + name; }

    test::TempDir dir;
    test::ScopedDataDir dataDir{dir.path()};
    std::unique_ptr<baseDataStruct> root = CreateRootNode();
    baseDataStruct* letter = AddSonText(root.get(), "type =letter");
    test::RecordingRows rows;
    test::ScriptedDialogs dialogs;
    test::ScriptedGuess guess;
    CFileList files{rows, dialogs, DefaultMailCodec(), guess};
};

TEST_F(AttachmentListTest, RowsAreTheDecodedNamesInPartOrder) {
    Show({{test::EncodedWord("résumé 2024.pdf"), "%PDF"},
          {"b.txt", "bee"},
          {"", "nameless"},
          {test::EncodedWord("a;b.txt"), "semi"}});
    EXPECT_EQ(rows.rows,
              (std::vector<std::string>{"résumé 2024.pdf", "b.txt", "attachment", "a;b.txt"}));
    ASSERT_EQ(files.size(), 4u);

    // A name with ";" in it does not shift the rows: the last row still opens its own part.
    files.Open(3);
    ASSERT_EQ(dialogs.opened, std::vector<std::string>{Temp("a;b.txt")});
    EXPECT_EQ(dialogs.openedBytes[0], "semi");

    Show({});
    EXPECT_TRUE(rows.rows.empty());
    EXPECT_EQ(files.size(), 0u);
    files.Clear();
    files.Fill(nullptr);
    EXPECT_EQ(files.size(), 0u);
}

TEST_F(AttachmentListTest, RunnableNamesAreRecognisedWithoutRegardToCase) {
    for (const char* name : {"virus.exe", "virus.EXE", "a.b.Pif", "x.scr", "launcher.desktop",
                             "install.SH", "run.AppImage", "t.bat", "k.js"})
        EXPECT_TRUE(IsRunnableFileName(name)) << name;
    for (const char* name :
         {"exe", ".exe", "report.pdf", "exe.txt", "virus.exe.txt", "a.", "shell", ""})
        EXPECT_FALSE(IsRunnableFileName(name)) << name;
}

TEST_F(AttachmentListTest, OpeningARunnableFileWarnsAndWritesNothing) {
    // "virus.exe." and "virus.exe " would be written as virus.exe.
    Show({{"virus.EXE", "MZ"}, {"virus.exe.", "MZ"}, {"virus.exe ", "MZ"}, {"note.txt", "hi"}});
    rows.selected = {0, 1, 2, 3};
    files.OpenSelected();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>(3, std::string(kVirusWarning)));
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{Temp("note.txt")});
    EXPECT_EQ(test::FilesBelow(dir.path()), std::set<std::string>{"Cache/temp/note.txt"});

    // Saving it on purpose is allowed.
    dialogs.savePaths = {dir.path() + "kept.exe"};
    rows.selected = {0};
    files.SaveSelected();
    EXPECT_EQ(test::ReadFile(dir.path() + "kept.exe"), "MZ");
}

// Names and contents that pass for documents in a list but that the desktop would run.
TEST_F(AttachmentListTest, DisguisedProgramsAreNotOpened) {
    const std::string elf =
        "\x7F"
        "ELF\x02\x01\x01";
    const struct {
        std::string name, bytes, safeName;
    } cases[] = {
        {"virus.exe\u00A0", "MZ", "virus.exe"},
        {"virus.exe\u2007\u2000", "MZ", "virus.exe"},
        {"virus.exe\u200B", "MZ", "virus.exe"},
        {"virus.exe\uFEFF.", "MZ", "virus.exe"},
        {"virus.e\u200Dxe", "MZ", "virus.exe"},
        {"virus.\u202Eexe", "MZ", "virus.exe"},
        {"invoice\u202Efdp.exe\u202C", "MZ", "invoice\u202Efdp.exe"},
        {"start.desk\u00ADtop", "[Desktop Entry]", "start.desktop"},
        {"photo.jpg\u3000.sh", "#!/bin/sh", "photo.jpg\u3000.sh"},
        {"app.jnlp", "<jnlp>", "app.jnlp"},
        {"setup.PS1", "Remove-Item", "setup.PS1"},
        {"readme", elf, "readme"},
        {"holiday.jpg", elf, "holiday.jpg"},
    };
    std::vector<TestAttachment> attachments;
    for (const auto& c : cases) {
        EXPECT_EQ(SafeAttachmentFileName(c.name), c.safeName) << c.name;
        attachments.push_back({test::EncodedWord(c.name), c.bytes});
    }
    attachments.push_back({test::EncodedWord("notes\u00A0v2.txt"), "plain words"});
    Show(attachments);
    for (size_t row = 0; row < files.size(); ++row) rows.selected.push_back(static_cast<int>(row));
    files.OpenSelected();
    EXPECT_EQ(dialogs.messages.size(), std::size(cases));
    EXPECT_EQ(dialogs.opened, std::vector<std::string>{Temp("notes\u00A0v2.txt")});
    // What was written to be judged by its content is gone again.
    EXPECT_EQ(test::FilesBelow(dir.path()), std::set<std::string>{"Cache/temp/notes\u00A0v2.txt"});
}

// The desktop's own guess, on this machine's type database.
TEST(DesktopFileTypeGuess, ProgramsAndScriptsRunDocumentsDoNot) {
    const std::string elf(
        "\x7F"
        "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0\x3E\0",
        20);
    const std::pair<std::string, std::string> runs[] = {
        {"a", elf},
        {"photo.jpg", elf},
        {"notes.txt", "#!/bin/sh\nrm -rf ~\n"},
        {"tool", "MZ\x90\0\x03\0\0\0\x04\0"},
        {"start", "[Desktop Entry]\nType=Application\nExec=sh\n"},
        {"go.py", "print(1)\n"},
    };
    const std::pair<std::string, std::string> documents[] = {
        {"notes.txt", "plain words\n"},
        {"readme", "plain words\n"},
        {"table.csv", "a,b\n1,2\n"},
        {"report.pdf", "%PDF-1.4"},
        {"page.html", "<html><body>x</body></html>"},
        {"photo.png", test::PngBytes()},
    };
    const FileTypeGuess& guess = DesktopFileTypeGuess();
    for (const auto& [name, bytes] : runs) EXPECT_TRUE(guess.MightRun(name, bytes)) << name;
    for (const auto& [name, bytes] : documents) EXPECT_FALSE(guess.MightRun(name, bytes)) << name;
}

TEST_F(AttachmentListTest, OpenWritesTheDecodedBytesUnderTheCacheWithASafeName) {
    const std::string bytes("\0\x01\xFFzip\r\n", 7);
    Show({{"../../.bashrc", "alias ls=rm"},
          {"/etc/cron.d/job", "* * * * *"},
          {"..\\..\\win.ini", "[x]"},
          {"..", "dots"},
          {"archive.zip", bytes}});
    rows.selected = {0, 1, 2, 3, 4};
    files.OpenSelected();
    EXPECT_EQ(dialogs.opened,
              (std::vector<std::string>{Temp("bashrc"), Temp("job"), Temp("win.ini"),
                                        Temp("attachment"), Temp("archive.zip")}));
    EXPECT_EQ(dialogs.openedBytes[0], "alias ls=rm");
    EXPECT_EQ(dialogs.openedBytes[4], bytes);
    EXPECT_EQ(test::FilesBelow(dir.path()),
              (std::set<std::string>{"Cache/temp/bashrc", "Cache/temp/job", "Cache/temp/win.ini",
                                     "Cache/temp/attachment", "Cache/temp/archive.zip"}));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(AttachmentListTest, EachOpenMakesANewCopyAndNoneIsOpenedFromAnOldOne) {
    test::MessageRecorder recorder;
    std::ofstream(dir.path() + "outside") << "keep";
    std::filesystem::create_directories(Temp(""));
    std::filesystem::create_symlink(dir.path() + "outside", Temp("planted.txt"));
    Show({{"note.txt", "old"}, {"planted.txt", "new"}});
    rows.selected = {0, 1, 0};
    files.OpenSelected();
    // An earlier copy may still be open elsewhere; a link in the cache is never written through.
    EXPECT_EQ(dialogs.opened, (std::vector<std::string>{Temp("note.txt"), Temp("planted (2).txt"),
                                                        Temp("note (2).txt")}));
    EXPECT_EQ(dialogs.openedBytes, (std::vector<std::string>{"old", "new", "old"}));
    EXPECT_EQ(test::ReadFile(dir.path() + "outside"), "keep");

    // Same name, now in an encoding that is not decoded for saving: nothing is opened and the
    // attempt leaves no file behind.
    Show({{"note.txt", "new", "8bit"}});
    const std::set<std::string> before = test::FilesBelow(dir.path());
    files.Open(0);
    EXPECT_EQ(recorder.messages(), std::vector<std::string>{"Error on save file!"});
    EXPECT_EQ(dialogs.opened.size(), 3u);
    EXPECT_EQ(test::FilesBelow(dir.path()), before);
}

TEST_F(AttachmentListTest, SaveDialogIsPresetWithTheSafeName) {
    Show({{"../../.bashrc", "one"}, {"/tmp/abs.txt", "two"}, {"...", "three"}, {"", "four"}});
    dialogs.savePaths = {dir.path() + "chosen.txt"};
    rows.selected = {0, 1, 2, 3};
    files.SaveSelected();
    EXPECT_EQ(dialogs.presets,
              (std::vector<std::string>{"bashrc", "abs.txt", "attachment", "attachment"}));
    // Only the first dialog ended with OK; the cancelled ones wrote nothing.
    EXPECT_EQ(test::FilesBelow(dir.path()), std::set<std::string>{"chosen.txt"});
    EXPECT_EQ(test::ReadFile(dir.path() + "chosen.txt"), "one");
    // Rows out of range are ignored.
    rows.selected = {-1, 9};
    files.SaveSelected();
    EXPECT_EQ(dialogs.presets.size(), 4u);
}

TEST_F(AttachmentListTest, SaveAllWritesEveryPartIntoTheChosenFolderOnly) {
    const std::string folder = dir.path() + "out";
    std::filesystem::create_directories(folder);
    test::WriteTestFile(folder + "/b.txt", "mine");
    Show({{"../../.bashrc", "1"},
          {"/etc/passwd", "2"},
          {"..", "3"},
          {"b.txt", "4"},
          {"sub/b.txt", "5"},
          {"virus.EXE", "6"}});

    // Cancelled: nothing is written anywhere.
    files.SaveAll();
    EXPECT_EQ(dialogs.folderAsked, 1);
    EXPECT_EQ(test::FilesBelow(dir.path()), std::set<std::string>{"out/b.txt"});

    dialogs.folders = {folder};
    files.SaveAll();
    EXPECT_EQ(test::FilesBelow(dir.path()),
              (std::set<std::string>{"out/b.txt", "out/bashrc", "out/passwd", "out/attachment",
                                     "out/b (2).txt", "out/b (3).txt", "out/virus.EXE"}));
    // The file that was there and the first b.txt of the letter are both kept.
    EXPECT_EQ(test::ReadFile(folder + "/b.txt"), "mine");
    EXPECT_EQ(test::ReadFile(folder + "/b (2).txt"), "4");
    EXPECT_EQ(test::ReadFile(folder + "/b (3).txt"), "5");
    EXPECT_EQ(test::ReadFile(folder + "/bashrc"), "1");
    EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
}  // namespace korvo
