// Recording screens for the letter viewer and its attachment list, and a walk over the files
// a test made.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "shell/attachment_list.h"
#include "shell/mail_text.h"
#include "tests/support/temp_dir.h"

namespace korvo::test {

// Keeps what the browser was given to show, read at the moment it was told to load it.
class RecordingPage : public MailPageView {
  public:
    void LoadPage(const std::string& path) override {
        paths.push_back(path);
        pages.push_back(ReadFile(path));
        ++calls;
    }
    void SetEditorText(std::string_view text) override {
        editor = text;
        ++calls;
    }
    void ShowBrowser(bool on) override {
        browser = on;
        ++calls;
    }
    std::vector<std::string> paths, pages;
    std::string editor;
    bool browser = false;
    int calls = 0;
};

class RecordingBand : public MailHeaderBand {
  public:
    void SetHeader(const MailHeaderTexts& texts) override {
        shown = texts;
        ++calls;
    }
    MailHeaderTexts shown;
    int calls = 0;
};

// Says a file might run when its first bytes start with one of `programStarts`.
class ScriptedGuess : public FileTypeGuess {
  public:
    bool MightRun(std::string_view, std::string_view firstBytes) const override {
        for (const std::string& start : programStarts)
            if (firstBytes.starts_with(start)) return true;
        return false;
    }
    std::vector<std::string> programStarts = {
        "\x7F"
        "ELF"};
};

class RecordingRows : public AttachmentListView {
  public:
    void ClearRows() override { rows.clear(); }
    void AddRow(std::string_view name) override { rows.emplace_back(name); }
    std::vector<int> SelectedRows() override { return selected; }
    std::vector<std::string> rows;
    std::vector<int> selected;
};

// Answers the file dialogs from queues; an empty queue is a cancelled dialog.
class ScriptedDialogs : public AttachmentDialogs {
  public:
    void Message(std::string_view text) override { messages.emplace_back(text); }
    bool AskSaveFile(std::string_view preset, std::string* path) override {
        presets.emplace_back(preset);
        if (savePaths.empty()) return false;
        *path = savePaths.front();
        savePaths.pop_front();
        return true;
    }
    bool AskFolder(std::string* folder) override {
        ++folderAsked;
        if (folders.empty()) return false;
        *folder = folders.front();
        folders.pop_front();
        return true;
    }
    void OpenWithDefaultApplication(const std::string& path) override {
        opened.push_back(path);
        openedBytes.push_back(ReadFile(path));
    }
    std::vector<std::string> messages, presets, opened, openedBytes;
    std::deque<std::string> savePaths, folders;
    int folderAsked = 0;
};

inline void WriteTestFile(const std::string& path, std::string_view bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// Every regular file below `root`, as paths relative to it.
inline std::set<std::string> FilesBelow(const std::string& root) {
    std::set<std::string> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file())
            files.insert(std::filesystem::relative(it->path(), root).generic_string());
    }
    return files;
}

}  // namespace korvo::test
