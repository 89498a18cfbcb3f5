// The account settings dialog over an AccountForm. Every change the user makes goes through
// the form's typing rules; the fields a rule changed are written back without raising change
// events, so a filled-in field never sets off its own rule. OK applies the form to the node
// and keeps the dialog open while the form refuses.
#pragma once

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/textctrl.h>

#include <map>

#include "model/account_form.h"
#include "model/prompter.h"

namespace korvo {

class AccountDialog : public wxDialog {
  public:
    AccountDialog(wxWindow* parent, AccountForm& form, baseDataStruct* node, Prompter& prompter);

    wxTextCtrl* field(AccountField field) const { return fields_.at(field); }
    wxChoice* securityChoice(MailServer server) const {
        return server == MailServer::kPop3 ? pop3Security_ : smtpSecurity_;
    }
    wxCheckBox* smtpCheckBox() const { return smtpCheck_; }
    wxCheckBox* checkBox() const { return check_; }
    wxCheckBox* keepOnServerBox() const { return keep_; }

    // The OK button: applies the form; true (and the dialog ends) when the node was written.
    bool Accept();

  private:
    void OnEdited(AccountField field);
    void ShowFields(const std::vector<AccountField>& changed);
    wxChoice* MakeSecurityChoice(MailServer server);

    AccountForm& form_;
    baseDataStruct* node_;
    Prompter& prompter_;
    std::map<AccountField, wxTextCtrl*> fields_;
    wxChoice* pop3Security_ = nullptr;
    wxChoice* smtpSecurity_ = nullptr;
    wxCheckBox* smtpCheck_;
    wxCheckBox* check_;
    wxCheckBox* keep_;
};

// Ends a dialog with OK, modal or not.
void EndDialogWithOk(wxDialog* dialog);

}  // namespace korvo
