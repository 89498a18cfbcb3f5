// The file choosers of letters and contacts in and out: which files or Maildir folder to
// import, which file to write. Tests replace them with a TransferChooser that answers at once.
#pragma once

#include <functional>
#include <string>
#include <vector>

class wxWindow;

namespace korvo {

enum class TransferDialog {
    kImportLetters,  // mbox and .eml files, or one Maildir folder
    kExportBox,      // an mbox file to write
    kSaveLetter,     // an .eml file to write
    kImportVCard,    // a vCard file to read
    kExportVCard,    // a vCard file to write
};

// The paths chosen for `dialog`, `suggested` being the name offered for a file to write;
// none when the user cancelled.
using TransferChooser =
    std::function<std::vector<std::string>(TransferDialog dialog, const std::string& suggested)>;

// The toolkit's dialogs over `parent`.
std::vector<std::string> ChooseTransferPaths(wxWindow* parent, TransferDialog dialog,
                                             const std::string& suggested);

// `chooser` when given, else the toolkit's dialogs.
std::vector<std::string> ChooseTransferPaths(const TransferChooser& chooser, wxWindow* parent,
                                             TransferDialog dialog, const std::string& suggested);

}  // namespace korvo
