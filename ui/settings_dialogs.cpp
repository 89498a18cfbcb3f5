#include "ui/settings_dialogs.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/utils.h>

#include <wx/choice.h>
#include <wx/treectrl.h>

#include "model/box_place.h"
#include "model/sys_schema.h"
#include "ui/account_dialog.h"
#include "ui/view_images.h"
#include "ui/wx_text.h"
#include "ui/wx_tree_view.h"

namespace korvo {
namespace {

// What the box's check boxes stand for, in the order of BoxForm::kColumnBits.
constexpr const char* kColumnLabels[] = {
    "Show hidden letters",
    "Bit 0x8",
    "Bit 0x10",
    "Size column",
    "Sender column",
    "Receiver column",
    "Subject column",
    "Date column",
    "Bit 0x800",
    "Bit 0x2000",
    "Show deleted letters",
    "Show normal letters",
};
static_assert(std::size(kColumnLabels) == BoxForm::kColumnBits.size());

wxTextCtrl* AddField(wxWindow* parent, wxFlexGridSizer* grid, const char* label,
                     const std::string& value, bool secret = false) {
    auto* text = new wxTextCtrl(parent, wxID_ANY, WxFromBytes(value), wxDefaultPosition,
                                wxSize(220, -1), secret ? wxTE_PASSWORD : 0);
    grid->Add(new wxStaticText(parent, wxID_ANY, label), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(text, 1, wxEXPAND);
    return text;
}

// The user dialog's field for the fallback charset, found by this name.
constexpr const char* kFallbackCharsetField = "fallbackCharset";

wxFlexGridSizer* NewGrid() {
    auto* grid = new wxFlexGridSizer(2, 4, 8);
    grid->AddGrowableCol(1);
    return grid;
}

void FinishLayout(wxDialog* dialog, wxSizer* body) {
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(body, 1, wxEXPAND | wxALL, 10);
    top->Add(dialog->CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 10);
    dialog->SetSizerAndFit(top);
}

std::string Text(const wxTextCtrl* text) {
    return BytesFromWx(text->GetValue());
}

// The "Dat Files (*.sdb)||" filter in the toolkit's form.
wxString SaveFileWildcard() {
    return "Dat Files (*.sdb)|*.sdb";
}

}  // namespace

UserDialog::UserDialog(wxWindow* parent, UserForm& form, baseDataStruct* node, Prompter& prompter)
    : wxDialog(parent, wxID_ANY, WxFromBytes(form.Title())),
      form_(form),
      node_(node),
      prompter_(prompter) {
    wxFlexGridSizer* grid = NewGrid();
    name_ = AddField(this, grid, "User name", form_.name);
    checkTimer_ = AddField(this, grid, "Check every (minutes)", form_.checkTimer);
    saveFile_ = AddField(this, grid, "Mail store file", form_.saveFile);
    grid->AddSpacer(0);
    auto* browse = new wxButton(this, wxID_ANY, "Browse...");
    grid->Add(browse, 0, wxALIGN_RIGHT);
    lock_ = AddField(this, grid, "Lock password", form_.lockPassword, true);
    lockConfirm_ = AddField(this, grid, "Lock password again", form_.lockConfirm, true);
    AddField(this, grid, "Charset of undeclared text", form_.fallbackCharset)
        ->SetName(kFallbackCharsetField);
    notice_ = new wxCheckBox(this, wxID_ANY, "Notify of new mail on the desktop");
    notice_->SetValue(form_.newMailNotice);
    grid->AddSpacer(0);
    grid->Add(notice_);
    check_ = new wxCheckBox(this, wxID_ANY, "Check for mail automatically");
    check_->SetValue(form_.check);
    auto* body = new wxBoxSizer(wxVERTICAL);
    body->Add(grid, 1, wxEXPAND);
    body->Add(check_, 0, wxTOP, 8);
    FinishLayout(this, body);

    browse->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        wxFileDialog dialog(this, "Mail store file", wxGetHomeDir(), saveFile_->GetValue(),
                            SaveFileWildcard(), wxFD_SAVE);
        if (dialog.ShowModal() == wxID_OK) saveFile_->ChangeValue(dialog.GetPath());
    });
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Accept(); }, wxID_OK);
}

bool UserDialog::Accept() {
    form_.name = Text(name_);
    form_.check = check_->GetValue();
    form_.checkTimer = Text(checkTimer_);
    form_.saveFile = Text(saveFile_);
    form_.lockPassword = Text(lock_);
    form_.lockConfirm = Text(lockConfirm_);
    if (auto* charset = dynamic_cast<wxTextCtrl*>(FindWindowByName(kFallbackCharsetField, this)))
        form_.fallbackCharset = Text(charset);
    form_.newMailNotice = notice_->GetValue();
    if (!form_.Apply(node_, prompter_)) return false;
    EndDialogWithOk(this);
    return true;
}

BoxDialog::BoxDialog(wxWindow* parent, BoxForm& form, baseDataStruct* node, Prompter& prompter,
                     CSysData* sys)
    : wxDialog(parent, wxID_ANY, "Box"),
      form_(form),
      node_(node),
      prompter_(prompter),
      newBox_(!form.existing()) {
    wxFlexGridSizer* grid = NewGrid();
    name_ = AddField(this, grid, "Box name", form_.name);
    lock_ = AddField(this, grid, "Lock password", form_.lockPassword, true);
    lockConfirm_ = AddField(this, grid, "Lock password again", form_.lockConfirm, true);
    auto* checks = new wxGridSizer(2, 4, 12);
    for (size_t i = 0; i < columns_.size(); ++i) {
        columns_[i] = new wxCheckBox(this, wxID_ANY, kColumnLabels[i]);
        columns_[i]->SetValue(form_.columns[i]);
        checks->Add(columns_[i]);
    }
    auto* body = new wxBoxSizer(wxVERTICAL);
    if (sys) AddPlaceTree(body, *sys);
    body->Add(grid, 0, wxEXPAND);
    body->Add(checks, 1, wxEXPAND | wxTOP, 10);
    FinishLayout(this, body);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Accept(); }, wxID_OK);
}

BoxDialog::~BoxDialog() = default;

void BoxDialog::AddPlaceTree(wxSizer* body, CSysData& sys) {
    placeView_ = std::make_unique<WxTreeView>(this);
    wxTreeCtrl* tree = placeView_->control();
    tree->SetMinSize(wxSize(-1, 180));
    tree->AssignImageList(MakeTreeImages());
    tree->AssignStateImageList(MakeLockStateImages());
    placeControl_ = std::make_unique<CBaseTreeControl>(*placeView_);
    places_ = std::make_unique<BoxPlaceTree>(sys, *placeControl_, prompter_);

    users_ = new wxChoice(this, wxID_ANY);
    userNodes_ = places_->Users();
    for (baseDataStruct* user : userNodes_)
        users_->Append(WxFromBytes(getinfo(user, kThisNode, "caption")));
    // An existing box is shown where it is; a new one starts where the caller proposes.
    baseDataStruct* start = form_.place;
    if (start && getinfo(start, kThisNode, "type") == "PBoxTree") start = start->parent();
    baseDataStruct* user = places_->UserOf(start);
    for (size_t i = 0; i < userNodes_.size(); ++i) {
        if (userNodes_[i] == user) users_->SetSelection(static_cast<int>(i));
    }
    if (users_->GetSelection() == wxNOT_FOUND && !userNodes_.empty()) {
        users_->SetSelection(0);
        user = userNodes_[0];
        start = nullptr;
    }
    places_->ShowUser(user, start);

    users_->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { OnUserChosen(); });
    tree->Bind(wxEVT_TREE_ITEM_EXPANDING, &BoxDialog::OnPlaceExpanding, this);
    tree->Bind(wxEVT_TREE_ITEM_ACTIVATED, &BoxDialog::OnPlaceActivated, this);
    if (!newBox_) {
        users_->Disable();
        tree->Disable();
    }

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(this, wxID_ANY, "User"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    row->Add(users_, 1);
    body->Add(row, 0, wxEXPAND | wxBOTTOM, 6);
    body->Add(tree, 1, wxEXPAND | wxBOTTOM, 10);
}

void BoxDialog::OnUserChosen() {
    const int index = users_->GetSelection();
    if (index == wxNOT_FOUND || static_cast<size_t>(index) >= userNodes_.size()) return;
    places_->ShowUser(userNodes_[index], nullptr);
}

void BoxDialog::OnPlaceExpanding(wxTreeEvent& event) {
    if (!places_->OnItemExpanding(WxTreeView::FromWx(event.GetItem()))) event.Veto();
}

void BoxDialog::OnPlaceActivated(wxTreeEvent& event) {
    places_->OnItemDoubleClick(WxTreeView::FromWx(event.GetItem()));
}

bool BoxDialog::Accept() {
    if (places_ && newBox_) {
        baseDataStruct* place = places_->ChosenPlace();
        if (!place) return false;
        form_.place = place;
    }
    form_.name = Text(name_);
    for (size_t i = 0; i < columns_.size(); ++i) form_.columns[i] = columns_[i]->GetValue();
    form_.lockPassword = Text(lock_);
    form_.lockConfirm = Text(lockConfirm_);
    if (!form_.Apply(node_, prompter_)) return false;
    EndDialogWithOk(this);
    return true;
}

FolderDialog::FolderDialog(wxWindow* parent, FolderForm& form, baseDataStruct* node,
                           Prompter& prompter)
    : wxDialog(parent, wxID_ANY, WxFromBytes(form.Title())),
      form_(form),
      node_(node),
      prompter_(prompter) {
    wxFlexGridSizer* grid = NewGrid();
    name_ = AddField(this, grid, "Folder name", form_.name);
    lock_ = AddField(this, grid, "Lock password", form_.lockPassword, true);
    lockConfirm_ = AddField(this, grid, "Lock password again", form_.lockConfirm, true);
    FinishLayout(this, grid);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Accept(); }, wxID_OK);
}

bool FolderDialog::Accept() {
    form_.name = Text(name_);
    form_.lockPassword = Text(lock_);
    form_.lockConfirm = Text(lockConfirm_);
    if (!form_.Apply(node_, prompter_)) return false;
    EndDialogWithOk(this);
    return true;
}

LockDialog::LockDialog(wxWindow* parent, std::string_view caption, bool newLock)
    : wxDialog(parent, wxID_ANY, WxFromBytes(caption)) {
    wxFlexGridSizer* grid = NewGrid();
    password_ = AddField(this, grid, "Password", "", true);
    if (newLock) repeat_ = AddField(this, grid, "Password again", "", true);
    FinishLayout(this, grid);
    password_->SetFocus();
}

std::string LockDialog::password() const {
    return Text(password_);
}

std::string LockDialog::repeated() const {
    return repeat_ ? Text(repeat_) : std::string();
}

void WxShellDialogs::Message(std::string_view text, std::string_view title) {
    wxMessageBox(WxFromBytes(text), WxFromBytes(title), wxOK, parent_);
}

bool WxShellDialogs::AskPassword(std::string_view caption, std::string* typed) {
    LockDialog dialog(parent_, caption, false);
    if (dialog.ShowModal() != wxID_OK) return false;
    if (typed) *typed = dialog.password();
    return true;
}

bool WxShellDialogs::AskNewLock(std::string_view caption, std::string* password,
                                std::string* repeated) {
    LockDialog dialog(parent_, caption, true);
    if (dialog.ShowModal() != wxID_OK) return false;
    if (password) *password = dialog.password();
    if (repeated) *repeated = dialog.repeated();
    return true;
}

bool WxShellDialogs::EditUser(UserForm& form, baseDataStruct* node) {
    UserDialog dialog(parent_, form, node, *this);
    return dialog.ShowModal() == wxID_OK;
}

bool WxShellDialogs::EditAccount(AccountForm& form, baseDataStruct* node, std::string_view title) {
    AccountDialog dialog(parent_, form, node, *this);
    if (!title.empty()) dialog.SetTitle(WxFromBytes(title));
    return dialog.ShowModal() == wxID_OK;
}

bool WxShellDialogs::EditBox(BoxForm& form, baseDataStruct* node) {
    BoxDialog dialog(parent_, form, node, *this, sys_);
    return dialog.ShowModal() == wxID_OK;
}

bool WxShellDialogs::EditFolder(FolderForm& form, baseDataStruct* node) {
    FolderDialog dialog(parent_, form, node, *this);
    return dialog.ShowModal() == wxID_OK;
}

bool WxShellDialogs::AskYesNo(std::string_view text, std::string_view caption) {
    return wxMessageBox(WxFromBytes(text), WxFromBytes(caption), wxYES_NO, parent_) == wxYES;
}

}  // namespace korvo
