// The account form: the rules that fill fields while the user types, and OK.
#include "model/account_form.h"

#include "tests/model/model_fixture.h"

namespace korvo::test {
namespace {

using F = AccountField;
using Changed = std::vector<AccountField>;

TEST(AccountAddressTest, NamePartAndDomain) {
    EXPECT_EQ(AddressNamePart("bob@mail.example.org"), "bob");
    EXPECT_EQ(AddressNamePart("\"Ann Lee\" <ann@host.org>"), "Ann Lee");
    EXPECT_EQ(AddressNamePart("Work"), "Work");
    EXPECT_EQ(AddressNamePart("@host"), "@host");
    EXPECT_EQ(AddressDomain("bob@mail.example.org"), "mail.example.org");
    EXPECT_EQ(AddressDomain("Ann Lee <ann@host.org>"), "host.org");
    EXPECT_EQ(AddressDomain("Ann <ann@host.org"), "host.org");
    EXPECT_EQ(AddressDomain("a@b@c"), "b@c");
    EXPECT_EQ(AddressDomain("@host"), "");
    EXPECT_EQ(AddressDomain("Work"), "");
}

TEST(AccountFormTest, AccountNameFillsAddressUserAndServers) {
    AccountForm form;
    EXPECT_EQ(form.Edit(F::kCaption, "bob@mail.example.org"),
              (Changed{F::kEmail, F::kUserName, F::kPop3Server, F::kSmtpServer}));
    EXPECT_EQ(form.Field(F::kEmail), "bob@mail.example.org");
    EXPECT_EQ(form.Field(F::kUserName), "bob");
    EXPECT_EQ(form.Field(F::kPop3Server), "mail.example.org");
    EXPECT_EQ(form.Field(F::kSmtpServer), "mail.example.org");

    // A user name that is already there stays.
    EXPECT_EQ(form.Edit(F::kCaption, "ann@other.org"),
              (Changed{F::kEmail, F::kPop3Server, F::kSmtpServer}));
    EXPECT_EQ(form.Field(F::kUserName), "bob");
    EXPECT_EQ(form.Field(F::kPop3Server), "other.org");

    // Without "@" after the first character: no user name, and the servers are emptied.
    AccountForm plain;
    plain.Edit(F::kCaption, "@home");
    EXPECT_EQ(plain.Field(F::kEmail), "@home");
    EXPECT_EQ(plain.Field(F::kUserName), "");
    EXPECT_EQ(plain.Field(F::kPop3Server), "");
    plain.Edit(F::kCaption, "Work");
    EXPECT_EQ(plain.Field(F::kUserName), "");
    EXPECT_EQ(plain.Field(F::kSmtpServer), "");
}

TEST(AccountFormTest, AddressFillsNamesAndServers) {
    AccountForm form;
    form.Set(F::kCaption, "old");
    form.Set(F::kUserName, "old");
    EXPECT_EQ(form.Edit(F::kEmail, "\"Ann Lee\" <ann@host.org>"),
              (Changed{F::kUserName, F::kCaption, F::kPop3Server, F::kSmtpServer}));
    EXPECT_EQ(form.Field(F::kUserName), "Ann Lee");
    EXPECT_EQ(form.Field(F::kCaption), "Ann Lee");
    EXPECT_EQ(form.Field(F::kPop3Server), "host.org");
    EXPECT_EQ(form.Field(F::kSmtpServer), "host.org");
    // The filled account name does not set off its own rule: the address stays as typed.
    EXPECT_EQ(form.Field(F::kEmail), "\"Ann Lee\" <ann@host.org>");
}

TEST(AccountFormTest, OneServerFillsTheOtherOnlyWhileItIsEmpty) {
    AccountForm form;
    EXPECT_EQ(form.Edit(F::kPop3Server, "p"), Changed{F::kSmtpServer});
    EXPECT_EQ(form.Field(F::kSmtpServer), "p");
    EXPECT_EQ(form.Edit(F::kPop3Server, "pop"), Changed{});
    EXPECT_EQ(form.Field(F::kSmtpServer), "p");

    AccountForm other;
    EXPECT_EQ(other.Edit(F::kSmtpServer, "smtp.example.org"), Changed{F::kPop3Server});
    EXPECT_EQ(other.Field(F::kPop3Server), "smtp.example.org");
    EXPECT_EQ(other.Edit(F::kSmtpServer, "mx"), Changed{});
    EXPECT_EQ(other.Field(F::kPop3Server), "smtp.example.org");
}

TEST(AccountFormTest, TypedAtInUserNameIsCompletedWithTheDomain) {
    AccountForm form;
    form.Set(F::kEmail, "bob@mail.example.org");
    form.Set(F::kUserName, "bob");
    EXPECT_EQ(form.Edit(F::kUserName, "bob@"), Changed{F::kUserName});
    EXPECT_EQ(form.Field(F::kUserName), "bob@mail.example.org");
    EXPECT_EQ(form.userNameCaret(), 4);

    // Only a single "@" typed at the end.
    EXPECT_EQ(form.Edit(F::kUserName, "bob@mail.example.org@"), Changed{});
    EXPECT_EQ(form.Field(F::kUserName), "bob@mail.example.org@");
    EXPECT_EQ(form.userNameCaret(), -1);
    form.Set(F::kUserName, "bo");
    EXPECT_EQ(form.Edit(F::kUserName, "b@o"), Changed{});
    form.Set(F::kUserName, "bo");
    EXPECT_EQ(form.Edit(F::kUserName, "bo@x"), Changed{});
    EXPECT_EQ(form.Field(F::kUserName), "bo@x");
}

TEST(AccountFormTest, SmtpCheckCopiesOrClearsTheLogin) {
    AccountForm form;
    form.Set(F::kUserName, "bob");
    form.Set(F::kPassword, "secret");
    EXPECT_EQ(form.ClickSmtpCheck(true), (Changed{F::kSmtpUser, F::kSmtpPass}));
    EXPECT_EQ(form.Field(F::kSmtpUser), "bob");
    EXPECT_EQ(form.Field(F::kSmtpPass), "secret");
    EXPECT_TRUE(form.smtpCheck);
    form.ClickSmtpCheck(false);
    EXPECT_EQ(form.Field(F::kSmtpUser), "");
    EXPECT_EQ(form.Field(F::kSmtpPass), "");
    EXPECT_FALSE(form.smtpCheck);
}

class AccountApplyTest : public ::testing::Test {
  protected:
    AccountApplyTest() {
        form.Set(F::kCaption, "  Work ");
        form.Set(F::kEmail, " bob@example.org");
    }
    // Applies and expects a refusal with `message` that leaves the node as it was.
    void ExpectRefused(const std::string& message) {
        const std::string before = node.propertyText();
        EXPECT_FALSE(form.Apply(&node, prompter));
        ASSERT_FALSE(prompter.messages.empty());
        EXPECT_EQ(prompter.messages.back(), message);
        EXPECT_EQ(prompter.titles.back(), "Error message");
        EXPECT_EQ(node.propertyText(), before);
        EXPECT_FALSE(teststate(&node, CATEGORY_ACCOUNT));
    }

    AccountForm form;
    baseDataStruct node;
    ScriptedPrompter prompter;
};

TEST_F(AccountApplyTest, NewAccountKeysInOrder) {
    EXPECT_EQ(form.Title(), "Add new account");
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(node.propertyText(),
              " ,type =Account ,pType =4 ,caption =Work ,checkTimer =20 ,email =bob@example.org "
              ",username =\\-1 ,password =\\-1 ,pop3Server =\\-1 ,smtpServer =\\-1 ,pop3Port =995 "
              ",smtpPort =465 ,SmtpUser = ,SmtpPass = ,SmtpCheck =False ,RunTime =0 ,check =\\-1 "
              ",keepOnServer =\\-1 ,lockPassword =\\-1 ,pop3Security =ssl ,smtpSecurity =ssl");
    EXPECT_EQ(getstate(&node) & 0x003F0001, 0x00200001u);
    EXPECT_EQ(Get(&node, "LockState"), "-1");
}

TEST_F(AccountApplyTest, CheckNeedsATimerAboveZero) {
    form.check = true;
    form.Set(F::kCheckTimer, "0");
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_EQ(Get(&node, "check"), "-1");
    form.Set(F::kCheckTimer, "5");
    form.keepOnServer = true;
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_EQ(Get(&node, "check"), "1");
    EXPECT_EQ(Get(&node, "checkTimer"), "5");
    EXPECT_EQ(Get(&node, "keepOnServer"), "1");
    form.check = false;
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_EQ(Get(&node, "check"), "-1");
}

TEST_F(AccountApplyTest, ExistingAccountRoundTrips) {
    form.Set(F::kUserName, "bob");
    form.Set(F::kPassword, "p,w=-:");
    form.Set(F::kPop3Server, "pop.example.org");
    form.Set(F::kSmtpPort, "587");
    form.ClickSmtpCheck(true);
    form.Set(F::kLockPassword, "lk");
    form.Set(F::kLockConfirm, "lk");
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_EQ(Get(&node, "LockState"), "unLock");
    EXPECT_EQ(Get(&node, "lockPassword"), "lk");
    EXPECT_EQ(Get(&node, "SmtpCheck"), "True");

    AccountForm again(&node);
    EXPECT_EQ(again.Title(), "modifyWork info");
    EXPECT_EQ(again.Field(F::kPassword), "p,w=-:");
    EXPECT_EQ(again.Field(F::kSmtpServer), "");
    EXPECT_EQ(again.Field(F::kSmtpPort), "587");
    EXPECT_EQ(again.Field(F::kSmtpPass), "p,w=-:");
    EXPECT_EQ(again.Field(F::kLockConfirm), "lk");
    EXPECT_TRUE(again.smtpCheck);
    const std::string before = node.propertyText();
    ASSERT_TRUE(again.Apply(&node, prompter));
    EXPECT_EQ(node.propertyText(), before);

    // An account written elsewhere without the number keys opens with the defaults.
    baseDataStruct bare;
    setinfo(&bare, kThisNode, "caption", "Old");
    AccountForm old(&bare);
    EXPECT_EQ(old.Field(F::kPop3Port), "110");  // the plain ports such an account used
    EXPECT_EQ(old.Field(F::kSmtpPort), "25");
    EXPECT_EQ(old.Field(F::kCheckTimer), "20");
}

TEST_F(AccountApplyTest, RequiredFieldsAndLockConfirmation) {
    form.Set(F::kCaption, "   ");
    ExpectRefused("  Please input account!  ");
    form.Set(F::kCaption, "Work");
    form.Set(F::kEmail, "");
    ExpectRefused("  Please input email!    ");
    form.Set(F::kEmail, "bob@example.org");
    form.Set(F::kLockPassword, "a");
    form.Set(F::kLockConfirm, "A");
    ExpectRefused("Lock password input error!");
}

TEST_F(AccountApplyTest, NumbersOutsideTheirRangeAreRefusedFirst) {
    form.Set(F::kCaption, "");  // the range is checked before the name
    form.Set(F::kPop3Port, "65536");
    ExpectRefused(std::string(kPop3PortRangeMessage));
    form.Set(F::kCaption, "Work");
    for (const char* bad : {"", "-1", "1e3", "25 5", "99999999999999999999"}) {
        form.Set(F::kPop3Port, bad);
        ExpectRefused(std::string(kPop3PortRangeMessage));
    }
    form.Set(F::kPop3Port, "65535");
    form.Set(F::kSmtpPort, "70000");
    ExpectRefused(std::string(kSmtpPortRangeMessage));
    form.Set(F::kSmtpPort, " 0 ");
    form.Set(F::kCheckTimer, "65537");
    ExpectRefused(std::string(kCheckTimerRangeMessage));
    form.Set(F::kCheckTimer, "65536");
    ASSERT_TRUE(form.Apply(&node, prompter));
    EXPECT_EQ(Get(&node, "pop3Port"), "65535");
    EXPECT_EQ(Get(&node, "smtpPort"), "0");
    EXPECT_EQ(Get(&node, "checkTimer"), "65536");
}

// The security choice proposes the usual port unless the port is the user's own, and is stored.
TEST_F(AccountApplyTest, SecurityChoiceProposesThePortAndIsStored) {
    struct Row {
        MailServer server;
        Security choice;
        const char* storedPort;  // an existing account's port key, or null for a new account
        const char* typedPort;   // typed in the form before the choice, or null
        const char* port;        // the port afterwards
        const char* key;         // the security key written
    };
    const Row rows[] = {
        {MailServer::kPop3, Security::kStartTls, nullptr, nullptr, "110", "starttls"},
        {MailServer::kPop3, Security::kNone, nullptr, nullptr, "110", "none"},
        {MailServer::kPop3, Security::kSsl, "110", nullptr, "995", "ssl"},
        {MailServer::kPop3, Security::kSsl, "1110", nullptr, "1110", "ssl"},
        {MailServer::kPop3, Security::kSsl, nullptr, "110", "110", "ssl"},
        {MailServer::kPop3, Security::kStartTls, "", nullptr, "110", "starttls"},
        {MailServer::kSmtp, Security::kStartTls, nullptr, nullptr, "587", "starttls"},
        {MailServer::kSmtp, Security::kNone, "587", nullptr, "25", "none"},
        {MailServer::kSmtp, Security::kSsl, "25", nullptr, "465", "ssl"},
        {MailServer::kSmtp, Security::kStartTls, nullptr, "2525", "2525", "starttls"},
        {MailServer::kSmtp, Security::kNone, nullptr, "465", "465", "none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << int(row.server) << " " << SecurityLabel(row.choice)
                                        << " stored " << (row.storedPort ? row.storedPort : "-")
                                        << " typed " << (row.typedPort ? row.typedPort : "-"));
        const bool pop3 = row.server == MailServer::kPop3;
        const F portField = pop3 ? F::kPop3Port : F::kSmtpPort;
        baseDataStruct stored;
        setinfo(&stored, kThisNode, "caption", "Work");
        setinfo(&stored, kThisNode, "email", "bob@example.org");
        if (row.storedPort)
            setinfo(&stored, kThisNode, pop3 ? "pop3Port" : "smtpPort", row.storedPort);
        AccountForm form = row.storedPort ? AccountForm(&stored) : AccountForm();
        form.Set(F::kCaption, "Work");
        form.Set(F::kEmail, "bob@example.org");
        if (row.typedPort) form.Edit(portField, row.typedPort);
        const std::string before = form.Field(portField);
        const Changed changed = form.ChooseSecurity(row.server, row.choice);
        EXPECT_EQ(form.Field(portField), row.port);
        EXPECT_EQ(changed, before == row.port ? Changed{} : Changed{portField});
        baseDataStruct written;
        ASSERT_TRUE(form.Apply(&written, prompter));
        EXPECT_EQ(Get(&written, pop3 ? "pop3Security" : "smtpSecurity"), row.key);
        EXPECT_EQ(Get(&written, pop3 ? "pop3Port" : "smtpPort"), row.port);
        EXPECT_EQ(AccountForm(&written).security(row.server), row.choice);
    }
}

// An account saved before the choice existed keeps connecting as it did when its dialog is
// merely OK-ed, and its keyless state is offered until another choice is made.
TEST_F(AccountApplyTest, AccountWithoutSecurityKeysStaysAsItWas) {
    setinfo(&node, kThisNode, "caption", "Old");
    setinfo(&node, kThisNode, "email", "old@example.org");
    AccountForm old(&node);
    EXPECT_EQ(old.security(MailServer::kPop3), Security::kUnset);
    EXPECT_EQ(old.SecurityChoices(MailServer::kSmtp).front(), Security::kUnset);
    ASSERT_TRUE(old.Apply(&node, prompter));
    EXPECT_EQ(node.propertyText().find("Security"), std::string::npos) << node.propertyText();
    EXPECT_EQ(Get(&node, "pop3Port"), "110");
    EXPECT_EQ(Get(&node, "smtpPort"), "25");

    EXPECT_EQ(AccountForm().SecurityChoices(MailServer::kPop3),
              (std::vector<Security>{Security::kSsl, Security::kStartTls, Security::kNone}));
}

// An accepted certificate stays with its server through edits and goes when the server does.
TEST_F(AccountApplyTest, AcceptedCertificatesFollowTheirServer) {
    const std::string pin1(64, 'a'), pin2(64, 'b');
    form.Set(F::kPop3Server, "pop.example.org");
    form.Set(F::kSmtpServer, "smtp.example.org");
    ASSERT_TRUE(form.Apply(&node, prompter));
    setinfo(&node, kThisNode, "pop3CertSha256", pin1);
    setinfo(&node, kThisNode, "smtpCertSha256", pin2);

    AccountForm edited(&node);
    edited.Set(F::kPassword, "new");
    edited.Set(F::kPop3Server, " POP.Example.org ");  // the same server
    edited.ChooseSecurity(MailServer::kSmtp, Security::kStartTls);
    // Accepted by a receive while the form is open.
    const std::string pin3(64, 'c');
    setinfo(&node, kThisNode, "pop3CertSha256", pin3);
    ASSERT_TRUE(edited.Apply(&node, prompter));
    EXPECT_EQ(Get(&node, "pop3CertSha256"), pin3);
    EXPECT_EQ(Get(&node, "smtpCertSha256"), pin2);

    AccountForm moved(&node);
    moved.Set(F::kSmtpServer, "mail.other.org");
    ASSERT_TRUE(moved.Apply(&node, prompter));
    EXPECT_EQ(Get(&node, "pop3CertSha256"), pin3);
    EXPECT_EQ(Get(&node, "smtpCertSha256"), "-1");
}

}  // namespace
}  // namespace korvo::test
