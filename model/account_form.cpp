#include "model/account_form.h"

#include "content/mail_header.h"
#include "model/form_fields.h"

#include <algorithm>
#include <cctype>

namespace korvo {
namespace {

// The port a server usually listens on for a security choice; an account saved before the
// choice existed used the plain ports.
long UsualPort(MailServer server, Security security) {
    if (server == MailServer::kPop3) return security == Security::kSsl ? 995 : 110;
    switch (security) {
        case Security::kSsl:
            return 465;
        case Security::kStartTls:
            return 587;
        default:
            return 25;
    }
}

// An empty port counts as usual: there is nothing of the user's to keep.
bool IsUsualPort(MailServer server, std::string_view text) {
    const std::string trimmed = TrimField(text);
    long port = 0;
    if (trimmed.empty()) return true;
    if (!ReadNumberField(trimmed, 0, 65535, &port)) return false;
    return server == MailServer::kPop3 ? port == 995 || port == 110
                                       : port == 465 || port == 587 || port == 25;
}

// An optional key: written when it has a value; an old value is overwritten with "-1" (absent),
// and a node that never had the key is left without it.
void WriteOptionalKey(baseDataStruct* node, std::string_view key, std::string_view value) {
    if (!value.empty()) {
        setinfo(node, kThisNode, key, value);
    } else if (getinfo(node, kThisNode, key) != kAbsent) {
        setinfo(node, kThisNode, key, kAbsent);
    }
}

}  // namespace

bool SameServerName(std::string_view a, std::string_view b) {
    const std::string x = TrimField(a), y = TrimField(b);
    return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](char p, char q) {
        return std::tolower(static_cast<unsigned char>(p)) ==
               std::tolower(static_cast<unsigned char>(q));
    });
}

std::string_view SecurityLabel(Security security) {
    switch (security) {
        case Security::kSsl:
            return "SSL/TLS";
        case Security::kStartTls:
            return "STARTTLS";
        case Security::kNone:
            return "None";
        case Security::kUnset:
            break;
    }
    return "STARTTLS if offered";
}

std::string AddressNamePart(std::string_view text) {
    return GetAddressName(text);
}

std::string AddressDomain(std::string_view text) {
    const size_t open = text.find('<');
    if (open != std::string_view::npos) {
        const size_t close = text.find('>', open);
        if (close != std::string_view::npos) text = text.substr(open + 1, close - open - 1);
    }
    const size_t at = text.find('@');
    if (at == std::string_view::npos || at == 0) return {};
    return TrimField(text.substr(at + 1));
}

AccountForm::AccountForm(const baseDataStruct* account) : existing_(true) {
    caption_ = FieldFromKey(account, "caption");
    email_ = FieldFromKey(account, "email");
    userName_ = FieldFromKey(account, "username");
    password_ = FieldFromKey(account, "password");
    pop3Server_ = FieldFromKey(account, "pop3Server");
    smtpServer_ = FieldFromKey(account, "smtpServer");
    pop3Security_ = ParseSecurity(getinfo(account, kThisNode, kPop3SecurityKey));
    smtpSecurity_ = ParseSecurity(getinfo(account, kThisNode, kSmtpSecurityKey));
    pop3Unset_ = pop3Security_ == Security::kUnset;
    smtpUnset_ = smtpSecurity_ == Security::kUnset;
    pinnedPop3Server_ = pop3Server_;
    pinnedSmtpServer_ = smtpServer_;
    // Ports that were never written are the usual ones of the account's security.
    pop3Port_ = LongToText(UsualPort(MailServer::kPop3, pop3Security_));
    smtpPort_ = LongToText(UsualPort(MailServer::kSmtp, smtpSecurity_));
    auto number = [account](std::string_view key, std::string& field) {
        const std::string value = FieldFromKey(account, key);
        if (!value.empty()) field = value;
    };
    number("pop3Port", pop3Port_);
    number("smtpPort", smtpPort_);
    number("checkTimer", checkTimer_);
    smtpUser_ = FieldFromKey(account, "SmtpUser");
    smtpPass_ = FieldFromKey(account, "SmtpPass");
    lockPassword_ = lockConfirm_ = FieldFromKey(account, "lockPassword");
    smtpCheck = getinfo(account, kThisNode, "SmtpCheck") == "True";
    check = getinfo(account, kThisNode, "check") == "1";
    keepOnServer = getinfo(account, kThisNode, "keepOnServer") == "1";
}

std::string AccountForm::Title() const {
    return existing_ ? "modify" + caption_ + " info" : "Add new account";
}

std::string& AccountForm::Ref(AccountField field) {
    switch (field) {
        case AccountField::kCaption:
            return caption_;
        case AccountField::kEmail:
            return email_;
        case AccountField::kUserName:
            return userName_;
        case AccountField::kPassword:
            return password_;
        case AccountField::kPop3Server:
            return pop3Server_;
        case AccountField::kSmtpServer:
            return smtpServer_;
        case AccountField::kPop3Port:
            return pop3Port_;
        case AccountField::kSmtpPort:
            return smtpPort_;
        case AccountField::kSmtpUser:
            return smtpUser_;
        case AccountField::kSmtpPass:
            return smtpPass_;
        case AccountField::kCheckTimer:
            return checkTimer_;
        case AccountField::kLockPassword:
            return lockPassword_;
        case AccountField::kLockConfirm:
            return lockConfirm_;
    }
    return caption_;
}

const std::string& AccountForm::Field(AccountField field) const {
    return const_cast<AccountForm*>(this)->Ref(field);
}

void AccountForm::SetServersFrom(const std::string& address, std::vector<AccountField>* changed) {
    const std::string domain = AddressDomain(address);
    pop3Server_ = domain;
    smtpServer_ = domain;
    changed->push_back(AccountField::kPop3Server);
    changed->push_back(AccountField::kSmtpServer);
}

std::vector<AccountField> AccountForm::Edit(AccountField field, std::string text) {
    std::vector<AccountField> changed;
    caret_ = -1;
    std::string& value = Ref(field);
    const std::string old = value;
    value = std::move(text);
    switch (field) {
        case AccountField::kCaption: {
            email_ = caption_;
            changed.push_back(AccountField::kEmail);
            const size_t at = caption_.find('@');
            if (userName_.empty() && at != std::string::npos && at > 0) {
                userName_ = AddressNamePart(caption_);
                changed.push_back(AccountField::kUserName);
            }
            SetServersFrom(email_, &changed);
            break;
        }
        case AccountField::kEmail:
            userName_ = AddressNamePart(email_);
            caption_ = userName_;
            changed.push_back(AccountField::kUserName);
            changed.push_back(AccountField::kCaption);
            SetServersFrom(email_, &changed);
            break;
        case AccountField::kPop3Server:
            if (smtpServer_.empty()) {
                smtpServer_ = pop3Server_;
                changed.push_back(AccountField::kSmtpServer);
            }
            break;
        case AccountField::kSmtpServer:
            if (pop3Server_.empty()) {
                pop3Server_ = smtpServer_;
                changed.push_back(AccountField::kPop3Server);
            }
            break;
        case AccountField::kPop3Port:
            pop3PortTyped_ = true;
            break;
        case AccountField::kSmtpPort:
            smtpPortTyped_ = true;
            break;
        case AccountField::kUserName:
            if (userName_ == old + "@" && old.find('@') == std::string::npos) {
                userName_ += AddressDomain(email_);
                caret_ = long(old.size()) + 1;
                changed.push_back(AccountField::kUserName);
            }
            break;
        default:
            break;
    }
    return changed;
}

std::vector<AccountField> AccountForm::ChooseSecurity(MailServer server, Security security) {
    const bool pop3 = server == MailServer::kPop3;
    (pop3 ? pop3Security_ : smtpSecurity_) = security;
    std::string& port = pop3 ? pop3Port_ : smtpPort_;
    if ((pop3 ? pop3PortTyped_ : smtpPortTyped_) || !IsUsualPort(server, port)) return {};
    const std::string usual = LongToText(UsualPort(server, security));
    if (port == usual) return {};
    port = usual;
    return {pop3 ? AccountField::kPop3Port : AccountField::kSmtpPort};
}

std::vector<Security> AccountForm::SecurityChoices(MailServer server) const {
    std::vector<Security> choices;
    if (server == MailServer::kPop3 ? pop3Unset_ : smtpUnset_) choices.push_back(Security::kUnset);
    for (Security s : {Security::kSsl, Security::kStartTls, Security::kNone}) choices.push_back(s);
    return choices;
}

std::vector<AccountField> AccountForm::ClickSmtpCheck(bool checked) {
    smtpCheck = checked;
    smtpUser_ = checked ? userName_ : std::string();
    smtpPass_ = checked ? password_ : std::string();
    return {AccountField::kSmtpUser, AccountField::kSmtpPass};
}

bool AccountForm::Apply(baseDataStruct* account, Prompter& prompter) {
    for (std::string* f :
         {&caption_, &email_, &userName_, &password_, &pop3Server_, &smtpServer_, &pop3Port_,
          &smtpPort_, &smtpUser_, &smtpPass_, &checkTimer_, &lockPassword_, &lockConfirm_}) {
        *f = TrimField(*f);
    }
    long pop3Port = 0, smtpPort = 0, timer = 0;
    if (!ReadNumberField(pop3Port_, 0, 65535, &pop3Port)) {
        prompter.Message(kPop3PortRangeMessage, kErrorTitle);
        return false;
    }
    if (!ReadNumberField(smtpPort_, 0, 65535, &smtpPort)) {
        prompter.Message(kSmtpPortRangeMessage, kErrorTitle);
        return false;
    }
    if (!ReadNumberField(checkTimer_, 0, 65536, &timer)) {
        prompter.Message(kCheckTimerRangeMessage, kErrorTitle);
        return false;
    }
    if (caption_.empty()) {
        prompter.Message("  Please input account!  ", kErrorTitle);
        return false;
    }
    if (email_.empty()) {
        prompter.Message("  Please input email!    ", kErrorTitle);
        return false;
    }
    if (lockPassword_ != lockConfirm_) {
        prompter.Message("Lock password input error!", kErrorTitle);
        return false;
    }
    if (!account) return false;

    changestate(account, 0, STATE_VALID);
    setinfo(account, kThisNode, "type", "Account");
    setinfo(account, kThisNode, "pType", "4");
    setinfo(account, kThisNode, "caption", caption_);
    setinfo(account, kThisNode, "checkTimer", LongToText(timer));
    setinfo(account, kThisNode, "email", email_);
    setinfo(account, kThisNode, "username", ValueOrAbsent(userName_));
    setinfo(account, kThisNode, "password", ValueOrAbsent(password_));
    setinfo(account, kThisNode, "pop3Server", ValueOrAbsent(pop3Server_));
    setinfo(account, kThisNode, "smtpServer", ValueOrAbsent(smtpServer_));
    setinfo(account, kThisNode, "pop3Port", LongToText(pop3Port));
    setinfo(account, kThisNode, "smtpPort", LongToText(smtpPort));
    setinfo(account, kThisNode, "SmtpUser", smtpUser_);
    setinfo(account, kThisNode, "SmtpPass", smtpPass_);
    setinfo(account, kThisNode, "SmtpCheck", smtpCheck ? "True" : "False");
    setinfo(account, kThisNode, "RunTime", "0");
    setinfo(account, kThisNode, "check", check && timer > 0 ? "1" : "-1");
    setinfo(account, kThisNode, "keepOnServer", keepOnServer ? "1" : "-1");
    WriteLockKeys(account, lockPassword_);
    WriteOptionalKey(account, kPop3SecurityKey, SecurityText(pop3Security_));
    WriteOptionalKey(account, kSmtpSecurityKey, SecurityText(smtpSecurity_));
    // A certificate was accepted for one server; another server must earn its own. For the
    // same server the key is left as it is now: a certificate accepted while the form was
    // open stays accepted.
    if (!SameServerName(pop3Server_, pinnedPop3Server_))
        WriteOptionalKey(account, kPop3CertSha256Key, "");
    if (!SameServerName(smtpServer_, pinnedSmtpServer_))
        WriteOptionalKey(account, kSmtpCertSha256Key, "");
    changestate(account, 0, 0x00200001);
    return true;
}

}  // namespace korvo
