// The account settings form without widgets: the fields, the rules that fill fields while the
// user types, and the validation and writing of the account keys on OK.
//
// The view calls Edit() for every change the user makes and then shows the fields it returns;
// it writes those without reporting them back, so a field filled by a rule never sets off its
// own rule.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/account_security.h"
#include "model/prompter.h"
#include "store/node.h"

namespace korvo {

enum class AccountField {
    kCaption,
    kEmail,
    kUserName,
    kPassword,
    kPop3Server,
    kSmtpServer,
    kPop3Port,
    kSmtpPort,
    kSmtpUser,
    kSmtpPass,
    kCheckTimer,
    kLockPassword,
    kLockConfirm,
};

// Range messages of the number fields.
inline constexpr std::string_view kPop3PortRangeMessage =
    "The POP3 port must be a whole number from 0 to 65535!";
inline constexpr std::string_view kSmtpPortRangeMessage =
    "The SMTP port must be a whole number from 0 to 65535!";
inline constexpr std::string_view kCheckTimerRangeMessage =
    "The check interval must be a whole number of minutes from 0 to 65536!";

enum class MailServer { kPop3, kSmtp };

// The label of a security choice in the dialog: "SSL/TLS", "STARTTLS", "None", and for an
// account saved before the choice existed "STARTTLS if offered".
std::string_view SecurityLabel(Security security);

// Whether two server names are the same server: blanks around them and case do not count.
bool SameServerName(std::string_view a, std::string_view b);

// The display name of an address text: the text before "<" of "Name <user@host>", before the
// first "@" of a bare address, or all of it; quotes become blanks, then it is trimmed (the
// header reader's GetAddressName).
std::string AddressNamePart(std::string_view text);
// The domain: the text after the first "@" (inside the angle brackets when there are any);
// empty without an "@" after the first character.
std::string AddressDomain(std::string_view text);

class AccountForm {
  public:
    // A new account: SSL/TLS on ports 995 and 465, checks every 20 minutes when checking is
    // on.
    AccountForm() = default;
    // The form of an existing account, filled from its keys. An account without a security
    // key keeps that state (Security::kUnset, offered as a choice of its own) until the user
    // picks another, so opening and OK-ing its dialog leaves its connections as they were.
    explicit AccountForm(const baseDataStruct* account);

    std::string Title() const;

    // The user changed `field` to `text`: stores it and applies that field's rule. Returns the
    // other fields the rule changed (and the user name when a typed "@" was completed).
    std::vector<AccountField> Edit(AccountField field, std::string text);
    // The user chose how a server's connection is secured. Proposes the usual port for it
    // (POP3 995/110, SMTP 465/587/25) unless the port is the user's own: typed in this form,
    // or not one of the usual ports of that server. Returns the port field when it changed.
    std::vector<AccountField> ChooseSecurity(MailServer server, Security security);
    Security security(MailServer server) const {
        return server == MailServer::kPop3 ? pop3Security_ : smtpSecurity_;
    }
    // What the dialog offers for a server, in order; kUnset only for an account that had no
    // key for it.
    std::vector<Security> SecurityChoices(MailServer server) const;

    // The SMTP authentication check box was clicked and is now `checked`.
    std::vector<AccountField> ClickSmtpCheck(bool checked);
    // Where the caret goes in the user name after Edit() completed an "@" (a byte offset), or
    // -1.
    long userNameCaret() const { return caret_; }

    const std::string& Field(AccountField field) const;
    // Sets a field without any rule.
    void Set(AccountField field, std::string text) { Ref(field) = std::move(text); }

    // OK: trims every text field, checks the numbers, the name, the address and the lock
    // password, and writes the account keys. Security keys and accepted certificates follow
    // `LockState`; a certificate accepted for a server is dropped when that server's name
    // changed. False (a message shown, nothing written) when a
    // check fails.
    bool Apply(baseDataStruct* account, Prompter& prompter);

    bool smtpCheck = false;
    bool check = false;
    bool keepOnServer = false;

  private:
    std::string& Ref(AccountField field);
    void SetServersFrom(const std::string& address, std::vector<AccountField>* changed);

    bool existing_ = false;
    std::string caption_, email_, userName_, password_, pop3Server_, smtpServer_;
    std::string pop3Port_ = "995", smtpPort_ = "465";
    Security pop3Security_ = Security::kSsl, smtpSecurity_ = Security::kSsl;
    bool pop3Unset_ = false, smtpUnset_ = false;  // the account had no key: offer kUnset
    bool pop3PortTyped_ = false, smtpPortTyped_ = false;
    // Accepted certificates and the server names they were accepted for.
    std::string pinnedPop3Server_, pinnedSmtpServer_;
    std::string smtpUser_, smtpPass_;
    std::string checkTimer_ = "20";
    std::string lockPassword_, lockConfirm_;
    long caret_ = -1;
};

}  // namespace korvo
