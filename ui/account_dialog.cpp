#include "ui/account_dialog.h"

#include <algorithm>

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "ui/wx_text.h"

namespace korvo {
namespace {

struct FieldSpec {
    AccountField field;
    const char* label;
    bool secret;
};

constexpr FieldSpec kFields[] = {
    {AccountField::kCaption, "Account name", false},
    {AccountField::kEmail, "E-mail address", false},
    {AccountField::kUserName, "User name", false},
    {AccountField::kPassword, "Password", true},
    {AccountField::kPop3Server, "POP3 server", false},
    {AccountField::kPop3Port, "POP3 port", false},
    {AccountField::kSmtpServer, "SMTP server", false},
    {AccountField::kSmtpPort, "SMTP port", false},
    {AccountField::kSmtpUser, "SMTP user", false},
    {AccountField::kSmtpPass, "SMTP password", true},
    {AccountField::kCheckTimer, "Check every (minutes)", false},
    {AccountField::kLockPassword, "Lock password", true},
    {AccountField::kLockConfirm, "Lock password again", true},
};

}  // namespace

void EndDialogWithOk(wxDialog* dialog) {
    if (dialog->IsModal()) {
        dialog->EndModal(wxID_OK);
    } else {
        dialog->SetReturnCode(wxID_OK);
        dialog->Hide();
    }
}

AccountDialog::AccountDialog(wxWindow* parent, AccountForm& form, baseDataStruct* node,
                             Prompter& prompter)
    : wxDialog(parent, wxID_ANY, WxFromBytes(form.Title())),
      form_(form),
      node_(node),
      prompter_(prompter) {
    auto* grid = new wxFlexGridSizer(2, 4, 8);
    grid->AddGrowableCol(1);
    for (const FieldSpec& spec : kFields) {
        auto* text =
            new wxTextCtrl(this, wxID_ANY, WxFromBytes(form_.Field(spec.field)), wxDefaultPosition,
                           wxSize(220, -1), spec.secret ? wxTE_PASSWORD : 0);
        fields_[spec.field] = text;
        grid->Add(new wxStaticText(this, wxID_ANY, spec.label), 0, wxALIGN_CENTER_VERTICAL);
        grid->Add(text, 1, wxEXPAND);
        const AccountField field = spec.field;
        text->Bind(wxEVT_TEXT, [this, field](wxCommandEvent&) { OnEdited(field); });
        // Each server's security follows its port.
        if (field == AccountField::kPop3Port || field == AccountField::kSmtpPort) {
            const MailServer server =
                field == AccountField::kPop3Port ? MailServer::kPop3 : MailServer::kSmtp;
            wxChoice* choice = MakeSecurityChoice(server);
            (server == MailServer::kPop3 ? pop3Security_ : smtpSecurity_) = choice;
            grid->Add(
                new wxStaticText(this, wxID_ANY,
                                 server == MailServer::kPop3 ? "POP3 security" : "SMTP security"),
                0, wxALIGN_CENTER_VERTICAL);
            grid->Add(choice, 1, wxEXPAND);
        }
    }
    smtpCheck_ = new wxCheckBox(this, wxID_ANY, "The SMTP server needs authentication");
    check_ = new wxCheckBox(this, wxID_ANY, "Check for mail automatically");
    keep_ = new wxCheckBox(this, wxID_ANY, "Keep letters on the server");
    smtpCheck_->SetValue(form_.smtpCheck);
    check_->SetValue(form_.check);
    keep_->SetValue(form_.keepOnServer);
    smtpCheck_->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) {
        ShowFields(form_.ClickSmtpCheck(smtpCheck_->GetValue()));
    });

    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, 1, wxEXPAND | wxALL, 10);
    for (wxCheckBox* box : {smtpCheck_, check_, keep_}) top->Add(box, 0, wxLEFT | wxRIGHT, 10);
    top->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 10);
    SetSizerAndFit(top);
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Accept(); }, wxID_OK);
}

wxChoice* AccountDialog::MakeSecurityChoice(MailServer server) {
    auto* choice = new wxChoice(this, wxID_ANY);
    const std::vector<Security> choices = form_.SecurityChoices(server);
    for (Security security : choices) {
        choice->Append(WxFromBytes(std::string(SecurityLabel(security))));
        if (security == form_.security(server)) choice->SetSelection(int(choice->GetCount()) - 1);
    }
    choice->Bind(wxEVT_CHOICE, [this, server, choice, choices](wxCommandEvent&) {
        const int at = choice->GetSelection();
        if (at >= 0 && size_t(at) < choices.size())
            ShowFields(form_.ChooseSecurity(server, choices[size_t(at)]));
    });
    return choice;
}

void AccountDialog::OnEdited(AccountField field) {
    ShowFields(form_.Edit(field, BytesFromWx(fields_.at(field)->GetValue())));
    if (field == AccountField::kUserName && form_.userNameCaret() >= 0) {
        const std::string& name = form_.Field(AccountField::kUserName);
        const size_t caret = std::min(size_t(form_.userNameCaret()), name.size());
        fields_.at(field)->SetInsertionPoint(long(WxFromBytes(name.substr(0, caret)).length()));
    }
}

void AccountDialog::ShowFields(const std::vector<AccountField>& changed) {
    // ChangeValue raises no change event: the rules do not run again.
    for (AccountField f : changed) fields_.at(f)->ChangeValue(WxFromBytes(form_.Field(f)));
}

bool AccountDialog::Accept() {
    // The texts are in the form already; the check boxes without a rule are read now.
    form_.check = check_->GetValue();
    form_.keepOnServer = keep_->GetValue();
    form_.smtpCheck = smtpCheck_->GetValue();
    if (!form_.Apply(node_, prompter_)) return false;
    EndDialogWithOk(this);
    return true;
}

}  // namespace korvo
