// Actions on arrival decided before the download (DeleteAtonce) and told to the desktop
// (Message, PlayIcon, Voice).
#include <gtest/gtest.h>

#include "filters/account_rules.h"
#include "tests/filters/rules_fixture.h"
#include "tests/support/fake_pop3.h"

namespace korvo::test {
namespace {

class ArrivalActionsTest : public RulesTest {
  protected:
    void SetUp() override {
        RulesTest::SetUp();
        Point("127.0.0.1", server.port(), "bob", "s3cret");
        KeepOnServer(true);
        server.SetCapabilities({"UIDL", "PIPELINING"});
    }
    int Receive(int mode = 1) {
        AccountRules ready(sys(), account);
        rules = &ready;
        const int rc = Run(mode);
        rules = nullptr;
        return rc;
    }
    // With a trace, so that it is fetched once.
    static std::string Traced(const std::string& from, const std::string& subject) {
        return "Received: from a.x.org by b.x.org; Tue, 8 Dec 2026 10:00:00 +0000\r\n" +
               Letter(from, subject);
    }
    FakePop3 server;
};

TEST_F(ArrivalActionsTest, HeaderRulesDeleteWithoutDownloadAndBodyRulesAfterStoring) {
    // The offer comes second, so that a pipelined pass could have asked for it already.
    server.SetLetters({{"u1", Traced("kim@x.org", "Hello")},
                       {"u2", Traced("spam@x.org", "Cheap offer")},
                       {"u3", Traced("kim@x.org", "Report")}});
    AddRule("offers", "<Subject>OP =comprise ,Value =OFFER ,State =false</Subject>",
            "<DeleteAtonce>Value =true</DeleteAtonce>");
    // A body condition cannot be decided on the header: that letter is fetched first.
    AddRule("reports", "<Text>OP =comprise ,Value =body of report ,State =false</Text>",
            "<DeleteAtonce>Value =true</DeleteAtonce>");

    server.ClearCommands();
    ASSERT_EQ(Receive(1), 1) << task->infoText;
    EXPECT_EQ(server.Count("RETR"), 2);
    EXPECT_EQ(server.Count("DELE"), 2);
    EXPECT_EQ(server.Uids(), std::vector<std::string>{"u1"});

    ReopenStores();
    EXPECT_EQ(Subjects(kBoxReceive), (std::vector<std::string>{"Hello", "Report"}));
    // The header block waits in the Trash box, marked deleted, for a wrong rule to be noticed.
    const std::vector<LetterView> trash = View(kBoxTrash);
    ASSERT_EQ(trash.size(), 1u);
    EXPECT_EQ(trash[0].id, "u2");
    EXPECT_FALSE(trash[0].state & STATE_VALID);
    EXPECT_NE(trash[0].text.find("Subject: Cheap offer"), std::string::npos);
    EXPECT_EQ(trash[0].text.find("Body of"), std::string::npos);
    ExpectCountersMatch(kBoxTrash);
}

TEST_F(ArrivalActionsTest, TheDesktopHearsWhatTheRulesAskedForEachLetter) {
    server.SetLetters({{"u1", Traced("Kim <kim@x.org>", "Urgent")},
                       {"u2", Traced("ann@x.org", "Lunch")},
                       {"u3", Traced("bob@x.org", "Urgent too")}});
    AddRule("tell", "<Subject>OP =comprise ,Value =urgent ,State =false</Subject>",
            "<Message>Value =true</Message><Voice>Value =/tmp/ring.wav ,State =false</Voice>");
    AddRule("blink", "<SenderMail>OP =equal ,Value =bob@x.org ,State =false</SenderMail>",
            "<PlayIcon>Value =true</PlayIcon><MoveTo>Value =" + BoxValue(kBoxDrafts) +
                " ,State =false</MoveTo>");

    ASSERT_EQ(Receive(1), 1) << task->infoText;
    ASSERT_EQ(listener.signalled.size(), 2u);
    const ArrivedLetter& kim = listener.signalled[0];
    EXPECT_EQ(kim.sender, "Kim");
    EXPECT_EQ(kim.subject, "Urgent");
    EXPECT_TRUE(kim.message);
    EXPECT_FALSE(kim.playIcon);
    EXPECT_EQ(kim.voice, "/tmp/ring.wav");
    // Moved by a rule, and still told.
    const ArrivedLetter& bob = listener.signalled[1];
    EXPECT_EQ(bob.subject, "Urgent too");
    EXPECT_TRUE(bob.message && bob.playIcon);
}

}  // namespace
}  // namespace korvo::test
