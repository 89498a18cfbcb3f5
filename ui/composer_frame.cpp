#include "ui/composer_frame.h"

#include <wx/choicdlg.h>
#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textdlg.h>
#include <wx/toolbar.h>

#include "platform/model_lock.h"
#include "ui/wx_text.h"

namespace korvo {

void WxComposerDialogs::Message(std::string_view text, std::string_view title) {
    wxMessageBox(WxFromBytes(text), WxFromBytes(title), wxOK, parent_);
}

bool WxComposerDialogs::AskPassword(std::string_view caption, std::string* typed) {
    wxPasswordEntryDialog dialog(parent_, WxFromBytes(caption), WxFromBytes(caption));
    if (dialog.ShowModal() != wxID_OK) return false;
    *typed = BytesFromWx(dialog.GetValue());
    return true;
}

int WxComposerDialogs::ChooseFromList(std::string_view title, std::string_view prompt,
                                      const std::vector<std::string>& entries) {
    wxArrayString choices;
    for (const std::string& entry : entries) choices.Add(WxFromBytes(entry));
    wxSingleChoiceDialog dialog(parent_, WxFromBytes(prompt), WxFromBytes(title), choices);
    return dialog.ShowModal() == wxID_OK ? dialog.GetSelection() : -1;
}

std::vector<std::string> WxComposerDialogs::ChooseFiles(std::string_view filter,
                                                        const std::string& folder) {
    // "All Files (*.*)|*.*||" in the toolkit's form, without the closing bars.
    if (files_) return files_();
    std::string_view pattern = filter;
    while (pattern.ends_with('|')) pattern.remove_suffix(1);
    wxFileDialog dialog(parent_, "Attachment", WxFromBytes(folder), wxString(),
                        WxFromBytes(pattern), wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
    std::vector<std::string> paths;
    if (dialog.ShowModal() != wxID_OK) return paths;
    wxArrayString chosen;
    dialog.GetPaths(chosen);
    for (const wxString& path : chosen) paths.push_back(BytesFromWx(path));
    return paths;
}

ComposerFrame::ComposerFrame(wxWindow* parent, const std::string& title, CSysData& sys,
                             ReceiverPicker& picker, ComposerHost& host,
                             WxComposerDialogs::FileChooser files)
    : wxFrame(parent, wxID_ANY, WxFromBytes(title), wxDefaultPosition, wxSize(680, 560),
              wxDEFAULT_FRAME_STYLE | wxFRAME_TOOL_WINDOW),
      dialogs_(std::make_unique<WxComposerDialogs>(this, std::move(files))) {
    // The text controls answer the standard edit commands themselves, enabled by selection and
    // clipboard, for whichever of them has the focus.
    auto* edit = new wxMenu;
    edit->Append(wxID_CUT);
    edit->Append(wxID_COPY);
    edit->Append(wxID_PASTE);
    auto* menus = new wxMenuBar;
    menus->Append(edit, "&Edit");
    SetMenuBar(menus);
    panel_ = new wxPanel(this);
    auto button = [this](int id, const char* label) {
        auto* b = new wxButton(panel_, id, label, wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
        b->Bind(wxEVT_BUTTON, &ComposerFrame::OnButton, this);
        return b;
    };
    auto line = [this] { return new wxTextCtrl(panel_, wxID_ANY); };

    auto* bar = new wxBoxSizer(wxHORIZONTAL);
    bar->Add(button(kSend, "send"), 0, wxRIGHT, 4);
    bar->Add(button(kKeep, "Keep"), 0, wxRIGHT, 4);
    bar->Add(button(kSendAtTime, "Send at time"), 0, wxRIGHT, 4);
    bar->Add(button(kAttachment, "Attachment"), 0, wxRIGHT, 12);
    templates_ = std::make_unique<WxComboView>(new wxChoice(panel_, wxID_ANY));
    formats_ = std::make_unique<WxComboView>(new wxChoice(panel_, wxID_ANY));
    // The format only shows the template's format.
    formats_->control()->Disable();
    templates_->control()->Bind(wxEVT_CHOICE, &ComposerFrame::OnTemplate, this);
    bar->Add(templates_->control(), 1, wxRIGHT, 4);
    bar->Add(formats_->control(), 0);

    to_ = line();
    cc_ = line();
    confidential_ = line();
    subject_ = line();
    for (wxTextCtrl* control : {to_, cc_, confidential_})
        control->Bind(wxEVT_KILL_FOCUS, &ComposerFrame::OnLeaveLine, this);

    auto* grid = new wxFlexGridSizer(2, 4, 4);
    grid->AddGrowableCol(1);
    grid->Add(button(kReceiverButton, "receiver"), 0, wxEXPAND);
    grid->Add(to_, 1, wxEXPAND);
    grid->Add(button(kCcButton, "cc"), 0, wxEXPAND);
    auto* ccRow = new wxBoxSizer(wxHORIZONTAL);
    ccRow->Add(cc_, 1, wxEXPAND | wxRIGHT, 5);
    confidentialButton_ = button(kConfidentialButton, "confidential");
    ccRow->Add(confidentialButton_, 0, wxRIGHT, 5);
    ccRow->Add(confidential_, 1, wxEXPAND);
    grid->Add(ccRow, 1, wxEXPAND);
    grid->Add(new wxStaticText(panel_, wxID_ANY, "Subject"), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(subject_, 1, wxEXPAND);

    text_ =
        std::make_unique<WxTextView>(new wxTextCtrl(panel_, wxID_ANY, wxString(), wxDefaultPosition,
                                                    wxDefaultSize, wxTE_MULTILINE | wxTE_RICH2));
    listView_ = std::make_unique<WxListView>(panel_);
    rows_ = std::make_unique<WxAttachmentListView>(*listView_);
    listView_->control()->SetMinSize(wxSize(-1, 75));
    listView_->control()->Bind(wxEVT_CONTEXT_MENU, &ComposerFrame::OnListMenu, this);

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(bar, 0, wxEXPAND | wxALL, 4);
    column->Add(grid, 0, wxEXPAND | wxLEFT | wxRIGHT, 4);
    column->Add(text_->control(), 1, wxEXPAND | wxALL, 4);
    column->Add(listView_->control(), 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 4);
    panel_->SetSizer(column);

    logic_ = std::make_unique<CViewWriteLetter>(sys, *this, *text_, *templates_, *formats_, *rows_,
                                                *dialogs_, picker, host);
    confidential_->Hide();
    listView_->control()->Hide();
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
}

ComposerFrame::~ComposerFrame() {
    closing_ = true;
    for (wxTextCtrl* control : {to_, cc_, confidential_})
        control->Unbind(wxEVT_KILL_FOCUS, &ComposerFrame::OnLeaveLine, this);
}

bool ComposerFrame::Start(const ComposerRequest& request) {
    if (!logic_->InitialUpdate(request)) return false;
    Show();
    Raise();
    return true;
}

void ComposerFrame::Run(int command) {
    if (closing_) return;
    switch (command) {
        case kSend:
            logic_->Send();
            break;
        case kKeep:
        case kSendAtTime:
            logic_->Keep();
            break;
        case kAttachment:
        case kAddFile:
            logic_->AddFiles();
            break;
        case kDeleteFile:
            logic_->DeleteSelectedFiles();
            break;
        case kReceiverButton:
            logic_->PickReceivers(ComposerLine::kTo);
            break;
        case kCcButton:
            logic_->PickReceivers(ComposerLine::kCc);
            break;
        case kConfidentialButton:
            logic_->PickReceivers(ComposerLine::kConfidential);
            break;
        default:
            break;
    }
}

void ComposerFrame::OnButton(wxCommandEvent& event) {
    Run(event.GetId());
}

void ComposerFrame::OnLeaveLine(wxFocusEvent& event) {
    event.Skip();
    if (closing_) return;
    if (event.GetEventObject() == to_) logic_->LeaveLine(ComposerLine::kTo);
    if (event.GetEventObject() == cc_) logic_->LeaveLine(ComposerLine::kCc);
    if (event.GetEventObject() == confidential_) logic_->LeaveLine(ComposerLine::kConfidential);
}

void ComposerFrame::OnTemplate(wxCommandEvent&) {
    logic_->ApplySelectedTemplate();
}

void ComposerFrame::OnListMenu(wxContextMenuEvent&) {
    wxMenu menu;
    menu.Append(kAddFile, "Add new file");
    menu.Append(kDeleteFile, "Delete file");
    menu.Enable(kDeleteFile, !rows_->SelectedRows().empty());
    const int chosen = GetPopupMenuSelectionFromUser(menu);
    if (chosen != wxID_NONE) Run(chosen);
}

wxTextCtrl* ComposerFrame::LineControl(ComposerLine line) {
    switch (line) {
        case ComposerLine::kTo:
            return to_;
        case ComposerLine::kCc:
            return cc_;
        case ComposerLine::kConfidential:
            return confidential_;
        case ComposerLine::kSubject:
            return subject_;
        case ComposerLine::kText:
            return text_->control();
    }
    return nullptr;
}

std::string ComposerFrame::Line(ComposerLine line) {
    return BytesFromWx(LineControl(line)->GetValue());
}

void ComposerFrame::SetLine(ComposerLine line, std::string_view text) {
    LineControl(line)->ChangeValue(WxFromBytes(text));
}

void ComposerFrame::Focus(ComposerLine line) {
    LineControl(line)->SetFocus();
}

void ComposerFrame::ShowConfidential(bool shown) {
    if (confidential_->IsShown() == shown) return;
    confidential_->Show(shown);
    panel_->Layout();
}

void ComposerFrame::ShowAttachmentList(bool shown) {
    if (listView_->control()->IsShown() == shown) return;
    listView_->control()->Show(shown);
    panel_->Layout();
}

void ComposerFrame::Hide() {
    wxFrame::Hide();
}

void ComposerFrame::Close() {
    closing_ = true;
    // After the event that asked for it: the logic is still on the stack.
    CallAfter([this] { Destroy(); });
}

}  // namespace korvo
