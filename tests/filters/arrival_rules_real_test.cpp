// Filter rules acting on letters received from a real POP3 server, checked in the reopened
// stores and in what the server still holds.
#include <gtest/gtest.h>

#include "filters/account_rules.h"
#include "tests/filters/rules_fixture.h"
#include "tests/support/mail_servers.h"

namespace korvo::test {
namespace {

class ArrivalRulesRealTest : public RulesTest {
  protected:
    void SetUp() override {
        RulesTest::SetUp();
        ASSERT_TRUE(servers.AddUser("ann", "pw-ann")) << servers.error();
    }

    int Receive() {
        AccountRules ready(sys(), account);
        rules = &ready;
        const int rc = Run(1);
        rules = nullptr;
        return rc;
    }

    MailServers servers;
};

TEST_F(ArrivalRulesRealTest, LettersEndInTheirBoxesMarkedAndDeletedAsTheRulesSay) {
    const std::string texts[] = {Letter("shop@x.org", "Invoice 7"),
                                 Letter("Boss <boss@x.org>", "Meeting"),
                                 Letter("news@x.org", "Newsletter"), Letter("kim@x.org", "Hi")};
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(servers.Seed("ann", std::to_string(i + 1) + ".letter", texts[i]));
    ASSERT_TRUE(servers.StartPop3()) << servers.error();
    Point("127.0.0.1", servers.pop3Port(), "ann", "pw-ann");
    KeepOnServer(true);

    AddRule("news", "<Subject>OP =comprise ,Value =newsletter ,State =false</Subject>",
            "<DeleteAfter>Value =true</DeleteAfter>");
    AddRule("boss", "<SenderMail>OP =equal ,Value =BOSS@x.org ,State =false</SenderMail>",
            "<CopyTo>Value =" + BoxValue(kBoxDrafts) +
                " ,State =false</CopyTo><AutoHide>Value =true</AutoHide>");
    AddRule("invoices", "<Subject>OP =comprise ,Value =invoice ,State =false</Subject>",
            "<MoveTo>Value =" + BoxValue(kBoxTrash) +
                " ,State =false</MoveTo><MarkColor>Value =Red ,State =false</MarkColor>");
    // Added last, so listed and applied first: its MoveTo names no box, so it is skipped.
    AddRule("broken", "<Subject>OP =comprise ,Value =i ,State =false</Subject>",
            "<MoveTo>Value =Nowhere/Box ,State =false</MoveTo>");

    ASSERT_EQ(Receive(), 1) << task->infoText;
    EXPECT_EQ(result, 2);
    EXPECT_NE(task->infoText.find("broken"), std::string::npos) << task->infoText;
    // Only the letter with DeleteAfter left the server, although the account keeps letters.
    EXPECT_EQ(servers.Letters("ann").size(), 3u);

    // A second pass fetches nothing again: the moved letter stays single.
    ASSERT_EQ(Receive(), 1);
    ReopenStores();
    EXPECT_EQ(Subjects(kBoxReceive), (std::vector<std::string>{"Meeting", "Newsletter", "Hi"}));
    EXPECT_EQ(Subjects(kBoxTrash), std::vector<std::string>{"Invoice 7"});
    EXPECT_EQ(Subjects(kBoxDrafts), std::vector<std::string>{"Meeting"});
    const auto received = View(kBoxReceive);
    EXPECT_TRUE(received[0].state & LETTER_HIDDEN);
    EXPECT_FALSE(received[2].state & LETTER_HIDDEN);
    EXPECT_EQ(Get(Letters(kBoxTrash)->firstSon(), "MarkColor"), "Red");
    ExpectCountersMatch(kBoxTrash);
    ExpectCountersMatch(kBoxReceive);
}

}  // namespace
}  // namespace korvo::test
