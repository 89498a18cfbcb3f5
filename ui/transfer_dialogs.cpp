#include "ui/transfer_dialogs.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>

#include "ui/wx_text.h"

namespace korvo {
namespace {

constexpr char kLetterFiles[] =
    "Mail files (*.mbox;*.mbx;*.eml)|*.mbox;*.mbx;*.eml|All files (*)|*";
constexpr char kVCardFiles[] = "vCard files (*.vcf;*.vcard)|*.vcf;*.vcard|All files (*)|*";

std::vector<std::string> OpenFiles(wxWindow* parent, const char* title, const char* wildcard,
                                   bool several) {
    wxFileDialog dialog(parent, title, wxEmptyString, wxEmptyString, wildcard,
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST | (several ? wxFD_MULTIPLE : 0));
    if (dialog.ShowModal() != wxID_OK) return {};
    wxArrayString chosen;
    dialog.GetPaths(chosen);
    std::vector<std::string> paths;
    for (const wxString& path : chosen) paths.push_back(BytesFromWx(path));
    return paths;
}

std::vector<std::string> SaveFile(wxWindow* parent, const char* title, const char* wildcard,
                                  const std::string& suggested) {
    wxFileDialog dialog(parent, title, wxEmptyString, WxFromBytes(suggested), wildcard,
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK) return {};
    return {BytesFromWx(dialog.GetPath())};
}

}  // namespace

std::vector<std::string> ChooseTransferPaths(wxWindow* parent, TransferDialog dialog,
                                             const std::string& suggested) {
    switch (dialog) {
        case TransferDialog::kImportLetters: {
            // A file dialog cannot choose a folder: the user says first which it is to be.
            wxMessageDialog ask(parent, "Import mbox or .eml files, or a Maildir folder?",
                                "Import letters", wxYES_NO | wxCANCEL | wxICON_QUESTION);
            ask.SetYesNoCancelLabels("Files...", "Maildir folder...", "Cancel");
            const int answer = ask.ShowModal();
            if (answer == wxID_YES) return OpenFiles(parent, "Import letters", kLetterFiles, true);
            if (answer != wxID_NO) return {};
            wxDirDialog folder(parent, "Import a Maildir folder", wxEmptyString,
                               wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
            if (folder.ShowModal() != wxID_OK) return {};
            return {BytesFromWx(folder.GetPath())};
        }
        case TransferDialog::kExportBox:
            return SaveFile(parent, "Export box", "mbox files (*.mbox)|*.mbox|All files (*)|*",
                            suggested);
        case TransferDialog::kSaveLetter:
            return SaveFile(parent, "Save letter as", "Mail files (*.eml)|*.eml|All files (*)|*",
                            suggested);
        case TransferDialog::kImportVCard:
            return OpenFiles(parent, "Import vCard", kVCardFiles, false);
        case TransferDialog::kExportVCard:
            return SaveFile(parent, "Export vCard", kVCardFiles, suggested);
    }
    return {};
}

std::vector<std::string> ChooseTransferPaths(const TransferChooser& chooser, wxWindow* parent,
                                             TransferDialog dialog, const std::string& suggested) {
    return chooser ? chooser(dialog, suggested) : ChooseTransferPaths(parent, dialog, suggested);
}

}  // namespace korvo
