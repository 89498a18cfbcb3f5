// Forward and AutoBack on letters received from the real POP3 server: the letters they write
// leave through the real SMTP server with the send that follows the receive.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "content/template_store.h"
#include "filters/account_rules.h"
#include "filters/answer_guard.h"
#include "tests/filters/rules_fixture.h"
#include "tests/support/mail_servers.h"
#include "transport/task_work.h"

namespace korvo::test {
namespace {

class RuleLettersRealTest : public RulesTest {
  protected:
    void SetUp() override {
        RulesTest::SetUp();
        for (const char* name : {"ann", "kim", "fwd"})
            ASSERT_TRUE(servers.AddUser(name, std::string("pw-") + name)) << servers.error();
    }

    // One receive task as the program runs it, sends after the receive included.
    void ReceiveTask() {
        task = std::make_unique<TaskRecord>();
        CNetRP session(
            SocketTimeouts{std::chrono::milliseconds(2000), std::chrono::milliseconds(5000)});
        session.InitialzeAccount(account, task.get());
        MakeReceiveRunner(*stores, listener, AccountRulesSource(sys()))(session, account, 1);
    }

    // The texts the SMTP server delivered to `user`.
    std::vector<std::string> Delivered(const std::string& user) {
        std::vector<std::string> out;
        for (const std::string& name : servers.Letters(user)) {
            std::ifstream in(servers.Maildir(user) + "/new/" + name, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            out.push_back(text.str());
        }
        return out;
    }

    MailServers servers;
};

TEST_F(RuleLettersRealTest, AMatchingLetterGetsOneAnswerAndOneForwardAndNoLoop) {
    const std::string kim = "From: Kim <kim@localhost>\r\nTo: ann@localhost\r\nSubject: ";
    const std::string texts[] = {
        kim + "Question 1\r\n\r\nWhere?\r\n",
        kim + "Question 2\r\n\r\nAnd when?\r\n",  // answered once a day: no second answer
        kim + "Question list\r\nPrecedence: bulk\r\n\r\nAll of you.\r\n",
        kim + "Question looped\r\n" + std::string(kRuleForwardedHeader) + "\r\nAgain.\r\n",
    };
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(servers.Seed("ann", std::to_string(i + 1) + ".letter", texts[i]));
    ASSERT_TRUE(servers.StartPop3()) << servers.error();
    ASSERT_TRUE(servers.StartSmtp(false)) << servers.error();
    Point("127.0.0.1", servers.pop3Port(), "ann", "pw-ann");
    setinfo(account, kThisNode, "smtpServer", "127.0.0.1");
    setinfo(account, kThisNode, "smtpPort", std::to_string(servers.smtpPort()));
    setinfo(account, kThisNode, "SmtpCheck", "False");

    baseDataStruct* folder = sys().DataGetSysPoint(account, kKindTFolder, kTFolderWriteBack);
    baseDataStruct* away = NewTemplate(mail(), mail().SysReadLinkTree(folder, kLoadProperty));
    ASSERT_NE(away, nullptr);
    ASSERT_TRUE(RenameTemplate(mail(), away, "Away"));
    ASSERT_TRUE(
        SaveTemplateText(mail(), away, "Away until Monday. You wrote: @@OLD_MAIL_SUBJECT@@"));
    AddRule("questions", "<Subject>OP =comprise ,Value =question ,State =false</Subject>",
            "<AutoBack>Value =away ,State =false</AutoBack><Forward>Value =" +
                EncodeRuleValue("To:fwd@localhostCC to:Hide send:") + " ,State =false</Forward>");

    ReceiveTask();
    EXPECT_NE(task->stateText, "Faile") << task->infoText;

    const std::vector<std::string> answers = Delivered("kim");
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_NE(answers[0].find("Auto-Submitted: auto-replied"), std::string::npos);
    EXPECT_NE(answers[0].find("Subject: Re:Question 1"), std::string::npos) << answers[0];
    // Three forwards: the looped letter is not forwarded again, and each carries the mark.
    const std::vector<std::string> forwards = Delivered("fwd");
    ASSERT_EQ(forwards.size(), 3u);
    for (const std::string& text : forwards) {
        EXPECT_TRUE(ForwardedByRule(text.substr(0, text.find("\r\n\r\n") + 2))) << text;
        EXPECT_EQ(text.find("looped"), std::string::npos);
    }
    // Everything written went out.
    ReopenStores();
    EXPECT_EQ(Subjects(kBoxSend).size(), 4u);
}

}  // namespace
}  // namespace korvo::test
