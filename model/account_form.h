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

// The display name of an address text: the text before "<" of "Name <user@host>", before the
// first "@" of a bare address, or all of it; quotes become blanks, then it is trimmed.
std::string AddressNamePart(std::string_view text);
// The domain: the text after the first "@" (inside the angle brackets when there are any);
// empty without an "@" after the first character.
std::string AddressDomain(std::string_view text);

class AccountForm {
  public:
    // A new account: ports 110 and 25, checks every 20 minutes when checking is on.
    AccountForm() = default;
    // The form of an existing account, filled from its keys.
    explicit AccountForm(const baseDataStruct* account);

    std::string Title() const;

    // The user changed `field` to `text`: stores it and applies that field's rule. Returns the
    // other fields the rule changed (and the user name when a typed "@" was completed).
    std::vector<AccountField> Edit(AccountField field, std::string text);
    // The SMTP authentication check box was clicked and is now `checked`.
    std::vector<AccountField> ClickSmtpCheck(bool checked);
    // Where the caret goes in the user name after Edit() completed an "@" (a byte offset), or
    // -1.
    long userNameCaret() const { return caret_; }

    const std::string& Field(AccountField field) const;
    // Sets a field without any rule.
    void Set(AccountField field, std::string text) { Ref(field) = std::move(text); }

    // OK: trims every text field, checks the numbers, the name, the address and the lock
    // password, and writes the account keys. False (a message shown, nothing written) when a
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
    std::string pop3Port_ = "110", smtpPort_ = "25";
    std::string smtpUser_, smtpPass_;
    std::string checkTimer_ = "20";
    std::string lockPassword_, lockConfirm_;
    long caret_ = -1;
};

}  // namespace korvo
