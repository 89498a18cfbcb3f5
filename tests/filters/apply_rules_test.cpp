#include "filters/apply_rules.h"

#include <gtest/gtest.h>

#include "content/letter_node.h"
#include "store/node_tree.h"
#include "tests/filters/rules_fixture.h"
#include "transport/receive_mail.h"

namespace korvo::test {
namespace {

class ApplyRulesTest : public RulesTest {
  protected:
    void Put(int subKind, const std::string& id, const std::string& text) {
        baseDataStruct* letter =
            AddSonText(Letters(subKind), "type =letter ,mailLong =" + std::to_string(text.size()) +
                                             " ,MailId =" + id + " ,read =1");
        setinfo(letter, kThisNode, "SDATA", text);
        mailInitProperty(letter, Box(subKind), nullptr);
        ASSERT_NE(mail().DataNewPoint(letter, -1), -1);
        AdjustBoxCounters(Box(subKind), false, 0, getstate(letter));
        sys().DataSavePoint(Box(subKind));
    }
};

TEST_F(ApplyRulesTest, MovesCopiesHidesAndMarksTheLettersOfABox) {
    Put(kBoxReceive, "a", Letter("shop@x.org", "Invoice 7"));
    Put(kBoxReceive, "b", Letter("Boss <boss@x.org>", "Meeting"));
    Put(kBoxReceive, "c", Letter("kim@x.org", "Hi"));
    // The trash holds the invoice already: it must not get a second letter of that id.
    Put(kBoxTrash, "a", Letter("shop@x.org", "Invoice 7"));
    AddRule("boss", "<SenderMail>OP =equal ,Value =boss@x.org ,State =false</SenderMail>",
            "<CopyTo>Value =" + BoxValue(kBoxDrafts) +
                " ,State =false</CopyTo><AutoHide>Value =true</AutoHide>"
                "<MarkStyle>Value =Bold ,State =false</MarkStyle>");
    AddRule("invoices", "<Subject>OP =comprise ,Value =invoice ,State =false</Subject>",
            "<MoveTo>Value =" + BoxValue(kBoxTrash) + " ,State =false</MoveTo>");
    AddRule("broken", "<Size>OP =comprise ,Value =3 ,State =false</Size>", "");

    std::vector<int> progress;
    const ApplyResult result =
        ApplyRulesToBox(sys(), Box(kBoxReceive), [&](int p) { progress.push_back(p); });
    EXPECT_EQ(result.letters, 3);
    EXPECT_EQ(result.moved, 1);
    EXPECT_EQ(result.copied, 1);
    EXPECT_EQ(result.skipped, std::vector<std::string>{"broken"});
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);

    ReopenStores();
    EXPECT_EQ(Subjects(kBoxReceive, true), (std::vector<std::string>{"Meeting", "Hi"}));
    EXPECT_EQ(Subjects(kBoxTrash), std::vector<std::string>{"Invoice 7"});
    EXPECT_EQ(Subjects(kBoxDrafts), std::vector<std::string>{"Meeting"});
    baseDataStruct* boss = Find(kBoxReceive, "b");
    EXPECT_TRUE(teststate(boss, LETTER_HIDDEN));
    EXPECT_EQ(Get(boss, "MarkStyle"), "Bold");
    EXPECT_FALSE(teststate(Find(kBoxReceive, "c"), LETTER_HIDDEN));
    for (int box : {kBoxReceive, kBoxTrash, kBoxDrafts}) ExpectCountersMatch(box);
}

}  // namespace
}  // namespace korvo::test
