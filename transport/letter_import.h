// Letters from other mail programs' files into a box: each becomes a letter node exactly as a
// received letter does (AddLetterNode, mailInitProperty, StoreLetter), without MailId, with
// RECEIVETIME and the marks (read, replied, deleted) the file gave it.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "content/mail_archive.h"
#include "model/sys_data.h"
#include "transport/receive_mail.h"

namespace korvo {

struct ImportOptions {
    std::function<bool()> cancelled;  // asked before each letter: stops the import
    std::function<void(int percent)> progress;  // of the path being read
    std::recursive_mutex* modelLock = nullptr;  // taken for every letter stored
    LetterListener* listener = nullptr;         // told of every letter and of the box
    // Asked with the model lock held before the box is used: false when it has been deleted
    // meanwhile (another thread changes the tree), which ends the import.
    std::function<bool()> boxAlive;
    size_t maxLetter = kMaxLetterBytes;
    // Keeps each letter's column block in memory, as a received letter's is, for a letter list
    // that shows the box; without it memory stays flat however many letters come in.
    bool keepColumns = false;
};

struct ImportResult {
    long stored = 0;   // letters now in the box
    long skipped = 0;  // letters (or unreadable paths) passed over
    bool storageFailed = false;
    bool cancelled = false;
    std::vector<std::string> problems;  // one line each, for the user

    bool ok() const { return skipped == 0 && !storageFailed && !cancelled; }
};

// Imports the mbox files, Maildir folders and .eml files of `paths` into `box` (a Box node of
// `sys`). Letters stored before a failure or a cancel stay; the stores are synced at the end.
ImportResult ImportLetters(CSysData& sys, baseDataStruct* box,
                           const std::vector<std::string>& paths,
                           const ImportOptions& options = {});

}  // namespace korvo
