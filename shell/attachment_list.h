// CFileList: the attachment list under the letter viewer. One row per attachment part of the
// shown letter, in the order of the parts; its commands open an attachment with the desktop's
// default application (after a copy to Cache/temp/, a new file each time: "a (2).txt" when
// "a.txt" is there), save one, or save all into a folder.
//
// Attachment names come from whoever sent the letter: every file this list makes is named
// with SafeAttachmentFileName, and the save dialog is preset with that safe name too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "content/mail_codec.h"
#include "shell/file_type_guess.h"
#include "store/node.h"

namespace korvo {

inline constexpr std::string_view kVirusWarning =
    "Warn: this file have virus propossable.\n Please save and process it!";

// The filter of the save dialog.
inline constexpr std::string_view kSaveAttachmentFilter = "All Files (*.*)|*.*||";

// Where opened attachments are copied, below the data directory.
inline constexpr std::string_view kAttachmentTempFolder = "Cache/temp/";

// The list widget as the attachment list sees it.
class AttachmentListView {
  public:
    virtual ~AttachmentListView() = default;
    virtual void ClearRows() = 0;
    // Appends a row; the view picks the icon of the name's file type.
    virtual void AddRow(std::string_view name) = 0;
    // Rows selected, top to bottom.
    virtual std::vector<int> SelectedRows() = 0;
};

// Message boxes, the file dialogs and the desktop's file opener.
class AttachmentDialogs {
  public:
    virtual ~AttachmentDialogs() = default;
    virtual void Message(std::string_view text) = 0;
    // A save dialog with kSaveAttachmentFilter, preset with `presetName`, asking before it
    // overwrites. False when cancelled.
    virtual bool AskSaveFile(std::string_view presetName, std::string* path) = 0;
    // A folder dialog. False when cancelled.
    virtual bool AskFolder(std::string* folder) = 0;
    // Opens a file with the desktop's default application for its type.
    virtual void OpenWithDefaultApplication(const std::string& path) = 0;
};

// Whether opening a file of this name might run it: Windows programs and scripts, Java
// launchers, and what this desktop runs (desktop entries, shell scripts, AppImages...). The
// extension after the last dot is compared without regard to case.
bool IsRunnableFileName(std::string_view name);

class CFileList {
  public:
    // `view`, `dialogs` and `guess` must outlive the list. Open warns instead of opening
    // when the safe name is runnable or `guess` says the written file might run.
    CFileList(AttachmentListView& view, AttachmentDialogs& dialogs,
              const CMailCodec& codec = DefaultMailCodec(),
              const FileTypeGuess& guess = DesktopFileTypeGuess());

    // Empties the rows; the parts shown before are forgotten.
    void Clear();
    // Lists the "attachment" sons of `letter` (content sons made by mailProcess); the nodes
    // must live until the next Clear or Fill.
    void Fill(const baseDataStruct* letter);

    size_t size() const { return parts_.size(); }
    // The decoded name shown in a row.
    const std::string& name(size_t row) const { return names_[row]; }

    // Commands on the selected rows (open and save) or on every row (save all).
    void OpenSelected();
    void SaveSelected();
    void SaveAll();

    // Single rows, for callers that know the row.
    void Open(size_t row);
    void Save(size_t row);

  private:
    std::vector<size_t> SelectedParts();
    void Write(size_t row, const std::string& path);

    AttachmentListView& view_;
    AttachmentDialogs& dialogs_;
    const CMailCodec& codec_;
    const FileTypeGuess& guess_;
    std::vector<const baseDataStruct*> parts_;
    std::vector<std::string> names_;
};

}  // namespace korvo
