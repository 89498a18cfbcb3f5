// Sending an account's prepare box through the real SMTP server, with the letters in the
// user's mail store behind the boxes' links.
#include "transport/account_outbox.h"

#include <gtest/gtest.h>

#include <chrono>

#include "content/message_composer.h"
#include "tests/model/model_fixture.h"
#include "tests/support/mail_servers.h"
#include "tests/transport/recording_view.h"
#include "transport/net_rp.h"
#include "transport/task_record.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;

class AccountOutboxTest : public test::ModelTest {
  protected:
    baseDataStruct* Box(baseDataStruct* account, int subKind) {
        return sys().DataGetSysPoint(account, kKindBox, subKind);
    }
    // The valid letters of a box, by subject line, in order.
    std::vector<std::string> Letters(baseDataStruct* box, bool valid) {
        std::vector<std::string> out;
        baseDataStruct* link = mail().SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
        for (baseDataStruct* l = link ? link->firstSon() : nullptr; l; l = l->nextBrother()) {
            if (teststate(l, STATE_VALID) != valid) continue;
            mail().DataLoadPoint(l, -1, kLoadSdata);
            const std::string text = getinfo(l, kThisNode, "SDATA");
            const size_t at = text.find("Subject: ");
            out.push_back(text.substr(at + 9, text.find("\r\n", at) - at - 9));
        }
        return out;
    }
    void Compose(baseDataStruct* account, const std::string& to, const std::string& subject) {
        baseDataStruct* prepare = Box(account, kBoxPrepare);
        SendParam param;
        param.From = "Ann <ann@localhost>";
        param.To = to;
        param.Subject = subject;
        param.Body = "Hello.\r\n";
        param.Box = prepare;
        param.Letter = addson(mail().SysReadLinkTree(prepare, kLoadProperty), "%s", "");
        BuildLetter(param, std::time(nullptr), &mail());
    }
};

TEST_F(AccountOutboxTest, SentLettersMoveToTheSendBoxAndRefusedOnesStay) {
    test::MailServers servers;
    ASSERT_TRUE(servers.AddUser("bob", "pw-bob")) << servers.error();
    ASSERT_TRUE(servers.StartSmtp(false)) << servers.error();

    baseDataStruct* account = AddAccount(AddUser("ann"), "work", "ann@localhost");
    setinfo(account, kThisNode, "smtpServer", "127.0.0.1");
    setinfo(account, kThisNode, "smtpPort", std::to_string(servers.smtpPort()));
    test::UsePlainServers(account);
    setinfo(account, kThisNode, "SmtpCheck", "False");
    Compose(account, "bob@localhost", "first");
    Compose(account, "nobody@localhost", "refused");
    Compose(account, "Bob <bob@localhost>", "third");
    ASSERT_EQ(Letters(Box(account, kBoxPrepare), true),
              (std::vector<std::string>{"first", "refused", "third"}));

    TaskRecord task;
    test::RecordingView view;
    task.view = &view;
    std::vector<std::string> failed;
    OutboxHooks hooks;
    hooks.failed = [&](baseDataStruct*, const std::string& error) { failed.push_back(error); };
    auto outbox = MakeAccountOutbox(*stores, account, hooks);
    {
        CNetRP session(SocketTimeouts{5000ms, 30000ms});
        session.InitialzeAccount(account, &task);
        session.SendMail(*outbox);
    }
    EXPECT_EQ(task.stateText, "Faile");
    EXPECT_EQ(failed.size(), 1u);
    EXPECT_EQ(servers.Letters("bob").size(), 2u);

    // What the stores hold after opening them again.
    Reopen();
    account = findinfo(sys().root(), "caption", "work");
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(Letters(Box(account, kBoxPrepare), true), std::vector<std::string>{"refused"});
    EXPECT_EQ(Letters(Box(account, kBoxPrepare), false),
              (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(Letters(Box(account, kBoxSend), true), (std::vector<std::string>{"first", "third"}));
}

}  // namespace
}  // namespace korvo
