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
    const ApplyResult result = ApplyRulesToBox(sys(), Box(kBoxReceive), [&](int p) {
        progress.push_back(p);
        return true;
    });
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

TEST_F(ApplyRulesTest, AThousandRulesOverTenThousandLettersStopWhenCancelledAndResume) {
    constexpr int kLetters = 10000;
    for (int i = 0; i < kLetters; ++i)
        Put(kBoxReceive, std::to_string(i),
            Letter("kim@x.org", "Letter " + std::to_string(i) + (i % 2 ? " odd" : " even")));
    // Added first, so applied last, after 999 rules that match nothing.
    AddRule("even", "<Subject>OP =comprise ,Value =EVEN ,State =false</Subject>",
            "<MarkColor>Value =Red ,State =false</MarkColor>");
    for (int i = 0; i < 999; ++i)
        AddRule(
            "r" + std::to_string(i),
            "<Subject>OP =equal ,Value =letter " + std::to_string(i) + " ,State =false</Subject>",
            "<MarkColor>Value =Blue ,State =false</MarkColor>");

    ApplyResult result =
        ApplyRulesToBox(sys(), Box(kBoxReceive), [](int percent) { return percent < 50; });
    EXPECT_TRUE(result.cancelled);
    EXPECT_GT(result.letters, kLetters * 2 / 5);
    EXPECT_LT(result.letters, kLetters * 3 / 5);
    const long early = result.changed;

    result = ApplyRulesToBox(sys(), Box(kBoxReceive));
    EXPECT_FALSE(result.cancelled);
    EXPECT_EQ(result.letters, kLetters);
    EXPECT_EQ(early + result.changed, kLetters / 2) << "each letter marked once";
    ReopenStores();
    EXPECT_EQ(Get(Find(kBoxReceive, "9998"), "MarkColor"), "Red");
    EXPECT_EQ(Get(Find(kBoxReceive, "9999"), "MarkColor"), "-1");
}

}  // namespace
}  // namespace korvo::test
