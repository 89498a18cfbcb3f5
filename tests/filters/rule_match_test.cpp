#include "filters/rule_match.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

// Letters written by hand; the rule tests below name them by index.
const std::string kLetters[] = {
    // 0: plain, two receivers, an encoded subject.
    "From: =?UTF-8?B?w4RubmEgU23DpHJ0?= <anna@Example.org>\r\n"
    "To: Bob <bob@x.org>, carl@y.org\r\n"
    "Cc: Dora <dora@z.org>\r\n"
    "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_aus_Berlin?=\r\n\r\n"
    "Hello WORLD, see you soon.\r\n",
    // 1: an attachment, no Cc.
    "From: news@list.org\r\n"
    "To: bob@x.org\r\n"
    "Subject: Weekly report\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
    "--b1\r\nContent-Type: text/plain\r\n\r\nnumbers inside\r\n"
    "--b1\r\nContent-Type: application/pdf\r\nContent-Disposition: attachment; "
    "filename=\"Report.PDF\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAAA\r\n--b1--\r\n",
};

std::string Rule(const std::string& how, const std::string& conditions) {
    return "<Condition><CheckCondition>OP =equal ,Value =" + how + "</CheckCondition>" +
           conditions +
           "</Condition><Action><MoveTo>Value =Work/Inbox ,State =false</MoveTo></Action>";
}
std::string Field(const std::string& name, const std::string& op, const std::string& value,
                  bool off = false) {
    return "<" + name + ">OP =" + op + " ,Value =" + value +
           " ,State =" + (off ? "true" : "false") + "</" + name + ">";
}

TEST(RuleMatch, FieldsAndOperatorsAgainstLetters) {
    struct Case {
        std::string rule;
        bool expected[2];
    };
    const std::string all = "AllCondition", any = "AnyCondition";
    const Case cases[] = {
        {Rule(all, Field("Subject", "equal", "grüsse aus berlin")), {false, false}},
        {Rule(all, Field("Subject", "equal", "GRÜSSE AUS BERLIN")), {false, false}},
        {Rule(all, Field("Subject", "equal", "grüße aus berlin")), {true, false}},
        {Rule(all, Field("Subject", "unequal", "Weekly Report")), {true, false}},
        {Rule(all, Field("Subject", "comprise", "REPORT")), {false, true}},
        {Rule(all, Field("Subject", "uncomprise", "report")), {true, false}},
        {Rule(all, Field("Subject", "CompriseAny", "berlin weekly")), {true, true}},
        {Rule(all, Field("Subject", "CompriseAll", "berlin aus")), {true, false}},
        {Rule(all, Field("Subject", "CompriseAll", "berlin weekly")), {false, false}},
        {Rule(all, Field("Sender", "equal", "änna smärt")), {true, false}},
        {Rule(all, Field("SenderMail", "equal", "ANNA@example.org")), {true, false}},
        {Rule(all, Field("ReceiverMail", "equal", "carl@y.org")), {true, false}},
        {Rule(all, Field("ReceiverMail", "unequal", "carl@y.org")), {false, true}},
        {Rule(all, Field("Receiver", "comprise", "bob")), {true, true}},
        {Rule(all, Field("CC", "equal", "dora")), {true, false}},
        {Rule(all, Field("CCMail", "comprise", "z.org")), {true, false}},
        {Rule(all, Field("Text", "comprise", "hello world")), {true, false}},
        {Rule(all, Field("Text", "comprise", "numbers")), {false, true}},
        {Rule(all, Field("Attachment", "equal", "report.pdf")), {false, true}},
        {Rule(all, Field("Size", "=", "1")), {true, true}},
        {Rule(all, Field("Size", "between", "2 and 3")), {false, false}},
        {Rule(all, Field("Size", "between", "1 and 1")), {true, true}},
        {Rule(all, Field("Size", ">=", "2")), {false, false}},
        {Rule(all, Field("Size", "<=", "1")), {true, true}},
        {Rule(all, Field("Size", "!=", "1")), {false, false}},
        // All against Any; switched-off conditions are left out.
        {Rule(all, Field("Subject", "comprise", "report") + Field("Text", "comprise", "hello")),
         {false, false}},
        {Rule(any, Field("Subject", "comprise", "report") + Field("Text", "comprise", "hello")),
         {true, true}},
        {Rule(all,
              Field("Subject", "comprise", "report") + Field("Text", "comprise", "hello", true)),
         {false, true}},
        {Rule(all, "<HaveAttachment>Value =true</HaveAttachment>"), {false, true}},
        {Rule(any, "<HaveAttachment>Value =true</HaveAttachment>" +
                       Field("Subject", "comprise", "berlin")),
         {false, false}},
        // Nothing left to test, and conditions that cannot be decided.
        {Rule(all, Field("Subject", "comprise", "berlin", true)), {false, false}},
        {Rule(any, Field("Subject", ">=", "3") + Field("Text", "comprise", "hello")),
         {false, false}},
        {Rule(any, Field("Size", "comprise", "1")), {false, false}},
        {Rule(any, Field("Size", "between", "x and 3")), {false, false}},
    };
    for (const Case& c : cases) {
        const std::optional<ReadyRule> rule = PrepareRule(CompileRuleText(c.rule), "r");
        ASSERT_TRUE(rule) << c.rule;
        for (int i = 0; i < 2; ++i) {
            const LetterFacts letter(kLetters[i], static_cast<long>(kLetters[i].size()));
            EXPECT_EQ(RuleMatches(*rule, letter), c.expected[i]) << c.rule << " letter " << i;
        }
    }
}

TEST(RuleMatch, SizeRoundsUpToKilobytesAndInvalidRulesAreRefused) {
    const std::optional<ReadyRule> two =
        PrepareRule(CompileRuleText(Rule("AllCondition", Field("Size", "=", "2"))), "r");
    ASSERT_TRUE(two);
    EXPECT_FALSE(RuleMatches(*two, LetterFacts(kLetters[0], 1024)));
    EXPECT_TRUE(RuleMatches(*two, LetterFacts(kLetters[0], 1025)));
    EXPECT_TRUE(RuleMatches(*two, LetterFacts(kLetters[0], 2048)));
    EXPECT_FALSE(PrepareRule(
        CompileRuleText("<Condition>" + Field("Subject", "comprise", "a") + "</Condition>"), "r"));
}

}  // namespace
}  // namespace korvo
