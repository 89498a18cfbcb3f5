// The composer window ("Write Mail", "WriteBack Mail", "Forward Mail", "Show Mail"): a tool
// bar with send, Keep, Send at time, Attachment and the template and format lists; the To, CC,
// Confidential and Subject lines with their address buttons; the text; and the attachment list
// with its "Add new file"/"Delete file" menu. Every command goes to CViewWriteLetter.
#pragma once

#include <wx/button.h>
#include <wx/frame.h>
#include <wx/textctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/write_letter.h"
#include "ui/attachment_views.h"
#include "ui/wx_edit_views.h"
#include "ui/wx_list_view.h"

namespace korvo {

// Message boxes, the account list and the file dialog of a composer window.
class WxComposerDialogs : public ComposerDialogs {
  public:
    // Gives the paths chosen instead of the file dialog (tests); none: the dialog.
    using FileChooser = std::function<std::vector<std::string>()>;

    explicit WxComposerDialogs(wxWindow* parent, FileChooser files = {})
        : parent_(parent), files_(std::move(files)) {}
    void Message(std::string_view text, std::string_view title) override;
    bool AskPassword(std::string_view caption, std::string* typed) override;
    int ChooseFromList(std::string_view title, std::string_view prompt,
                       const std::vector<std::string>& entries) override;
    std::vector<std::string> ChooseFiles(std::string_view filter,
                                         const std::string& folder) override;

  private:
    wxWindow* parent_;
    FileChooser files_;
};

class ComposerFrame : public wxFrame, public ComposerForm {
  public:
    enum Command {
        kSend = wxID_HIGHEST + 900,
        kSendAtTime,
        kKeep,
        kAttachment,
        kAddFile,
        kDeleteFile,
        kReceiverButton,
        kCcButton,
        kConfidentialButton,
    };

    // `sys`, `picker` and `host` must outlive the window. `files` replaces the file dialog
    // (tests).
    ComposerFrame(wxWindow* parent, const std::string& title, CSysData& sys, ReceiverPicker& picker,
                  ComposerHost& host, WxComposerDialogs::FileChooser files = {});
    ~ComposerFrame() override;

    // Fills the window for `request` and shows it; false when it closes at once.
    bool Start(const ComposerRequest& request);
    // Runs a command as its button or menu item does.
    void Run(int command);

    // ComposerForm
    std::string Line(ComposerLine line) override;
    void SetLine(ComposerLine line, std::string_view text) override;
    void Focus(ComposerLine line) override;
    void ShowConfidential(bool shown) override;
    void ShowAttachmentList(bool shown) override;
    void Hide() override;
    void Close() override;

    CViewWriteLetter& logic() { return *logic_; }
    WxTextView& text() { return *text_; }
    WxComboView& templates() { return *templates_; }
    WxListView& attachmentList() { return *listView_; }

  private:
    wxTextCtrl* LineControl(ComposerLine line);
    void OnButton(wxCommandEvent& event);
    void OnLeaveLine(wxFocusEvent& event);
    void OnTemplate(wxCommandEvent& event);
    void OnListMenu(wxContextMenuEvent& event);

    wxPanel* panel_ = nullptr;
    wxTextCtrl* to_ = nullptr;
    wxTextCtrl* cc_ = nullptr;
    wxTextCtrl* confidential_ = nullptr;
    wxTextCtrl* subject_ = nullptr;
    wxButton* confidentialButton_ = nullptr;
    std::unique_ptr<WxTextView> text_;
    std::unique_ptr<WxComboView> templates_;
    std::unique_ptr<WxComboView> formats_;
    std::unique_ptr<WxListView> listView_;
    std::unique_ptr<WxAttachmentListView> rows_;
    std::unique_ptr<ComposerDialogs> dialogs_;
    std::unique_ptr<CViewWriteLetter> logic_;
    bool closing_ = false;
};

}  // namespace korvo
