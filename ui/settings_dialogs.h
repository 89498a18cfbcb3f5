// The dialogs of the user tree's commands: user, account (account_dialog.h) and box settings,
// the lock dialog (a new password typed twice, or one password to unlock) and the message
// boxes. Every settings dialog applies its form on OK and stays open while the form refuses.
#pragma once

#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <array>
#include <memory>
#include <vector>

#include "shell/desktop_interfaces.h"

class wxChoice;
class wxTreeEvent;

namespace korvo {

class UserDialog : public wxDialog {
  public:
    UserDialog(wxWindow* parent, UserForm& form, baseDataStruct* node, Prompter& prompter);
    wxTextCtrl* nameField() const { return name_; }
    wxTextCtrl* lockField(int which) const { return which ? lockConfirm_ : lock_; }
    wxCheckBox* noticeBox() const { return notice_; }
    bool Accept();

  private:
    UserForm& form_;
    baseDataStruct* node_;
    Prompter& prompter_;
    wxTextCtrl* name_;
    wxCheckBox* check_;
    wxTextCtrl* checkTimer_;
    wxTextCtrl* saveFile_;
    wxTextCtrl* lock_;
    wxTextCtrl* lockConfirm_;
    wxCheckBox* notice_;
};

class BoxPlaceTree;
class CBaseTreeControl;
class CSysData;
class WxTreeView;

// With `sys` the dialog shows where the box is: a user selector and the chosen user's accounts
// and boxes, in which a new box's place is chosen (model/box_place.h); an existing box's place
// is shown but not changed.
class BoxDialog : public wxDialog {
  public:
    BoxDialog(wxWindow* parent, BoxForm& form, baseDataStruct* node, Prompter& prompter,
              CSysData* sys = nullptr);
    ~BoxDialog() override;
    wxTextCtrl* nameField() const { return name_; }
    wxCheckBox* columnBox(size_t index) const { return columns_[index]; }
    wxTextCtrl* lockField(int which) const { return which ? lockConfirm_ : lock_; }
    wxChoice* userChoice() const { return users_; }
    WxTreeView* placeView() const { return placeView_.get(); }
    bool Accept();

  private:
    void AddPlaceTree(wxSizer* body, CSysData& sys);
    void OnUserChosen();
    void OnPlaceExpanding(wxTreeEvent& event);
    void OnPlaceActivated(wxTreeEvent& event);

    BoxForm& form_;
    baseDataStruct* node_;
    Prompter& prompter_;
    wxTextCtrl* name_;
    std::array<wxCheckBox*, BoxForm::kColumnBits.size()> columns_{};
    wxTextCtrl* lock_;
    wxTextCtrl* lockConfirm_;
    bool newBox_;
    wxChoice* users_ = nullptr;
    std::vector<baseDataStruct*> userNodes_;
    std::unique_ptr<WxTreeView> placeView_;
    std::unique_ptr<CBaseTreeControl> placeControl_;
    std::unique_ptr<BoxPlaceTree> places_;
};

// The address-book folder dialog: a name and an optional lock password.
class FolderDialog : public wxDialog {
  public:
    FolderDialog(wxWindow* parent, FolderForm& form, baseDataStruct* node, Prompter& prompter);
    wxTextCtrl* nameField() const { return name_; }
    wxTextCtrl* lockField(int which) const { return which ? lockConfirm_ : lock_; }
    bool Accept();

  private:
    FolderForm& form_;
    baseDataStruct* node_;
    Prompter& prompter_;
    wxTextCtrl* name_;
    wxTextCtrl* lock_;
    wxTextCtrl* lockConfirm_;
};

// The lock dialog titled with the object's caption: two password fields for a new lock, one
// to unlock.
class LockDialog : public wxDialog {
  public:
    LockDialog(wxWindow* parent, std::string_view caption, bool newLock);
    wxTextCtrl* passwordField() const { return password_; }
    wxTextCtrl* repeatField() const { return repeat_; }
    std::string password() const;
    std::string repeated() const;

  private:
    wxTextCtrl* password_;
    wxTextCtrl* repeat_ = nullptr;
};

class WxShellDialogs : public ShellDialogs {
  public:
    // With `sys` the box dialog shows its place tree.
    explicit WxShellDialogs(wxWindow* parent, CSysData* sys = nullptr)
        : parent_(parent), sys_(sys) {}

    void Message(std::string_view text, std::string_view title) override;
    bool AskPassword(std::string_view caption, std::string* typed) override;
    bool EditUser(UserForm& form, baseDataStruct* node) override;
    bool EditAccount(AccountForm& form, baseDataStruct* node, std::string_view title) override;
    bool EditBox(BoxForm& form, baseDataStruct* node) override;
    // The address book's folders.
    bool EditFolder(FolderForm& form, baseDataStruct* node);
    bool AskNewLock(std::string_view caption, std::string* password,
                    std::string* repeated) override;
    bool AskYesNo(std::string_view text, std::string_view caption) override;

  private:
    wxWindow* parent_;
    CSysData* sys_;
};

}  // namespace korvo
