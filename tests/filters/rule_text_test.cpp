#include "filters/rule_text.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

constexpr std::string_view kNewRule =
    "<Condition><CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition><Subject>OP "
    "=equal ,Value =ABCDEF</Subject></Condition>";

TEST(RuleText, FindElement) {
    struct Case {
        std::string_view text, name;
        bool found;
        std::string_view value, before, after;
    };
    const Case cases[] = {
        {"<A>x</A><B>y</B>", "B", true, "y", "<A>x</A>", ""},
        {"<A>x</A><B>y</B>", "<B>", true, "y", "<A>x</A>", ""},
        {"<A>x</A><B>y</B>z", "A", true, "x", "", "<B>y</B>z"},
        {"</B><B>y</B>", "B", false, "-1", "</B><B>y</B>", ""},
        {"<A><A>x</A></A>", "A", true, "<A>x", "", "</A>"},
        {"<A>x", "A", false, "-1", "<A>x", ""},
        {"", "A", false, "-1", "", ""},
        {"<A>x</A>", "", false, "-1", "<A>x</A>", ""},
        {"<a>x</a>", "A", false, "-1", "<a>x</a>", ""},
    };
    for (const Case& c : cases) {
        const FoundElement e = FindElement(c.text, c.name);
        EXPECT_EQ(e.found, c.found) << c.text << " " << c.name;
        EXPECT_EQ(e.value, c.value) << c.text << " " << c.name;
        EXPECT_EQ(e.before, c.before) << c.text << " " << c.name;
        EXPECT_EQ(e.after, c.after) << c.text << " " << c.name;
        const ExtractedElement x = ExtractElement(c.text, c.name);
        EXPECT_EQ(x.rest,
                  c.found ? std::string(c.before) + std::string(c.after) : std::string(c.text));
    }
}

TEST(RuleText, NextElementAndOuterTag) {
    const NextElementResult e = NextElement("<Subject>OP =equal</Subject><Size>OP =</Size>");
    EXPECT_TRUE(e.found);
    EXPECT_EQ(e.name, "Subject");
    EXPECT_EQ(e.value, "OP =equal");
    EXPECT_EQ(e.rest, "<Size>OP =</Size>");
    for (std::string_view text : {"abc", "", ">a<", "<A>x"}) {
        const NextElementResult n = NextElement(text);
        EXPECT_FALSE(n.found) << text;
        EXPECT_EQ(n.name, "-1");
        EXPECT_EQ(n.rest, text);
    }
    EXPECT_EQ(OuterTag("<A>x</A><B>y</B>"), "");
    EXPECT_EQ(OuterTag("<A>x</A>"), "<A>");
    EXPECT_EQ(OuterTag("OP =equal"), "");
    EXPECT_EQ(OuterTag("<A>x</A>y"), "");
}

TEST(RuleText, MergeElement) {
    struct Case {
        std::string_view base, element;
        std::string merged;
    };
    const std::string newRule(kNewRule);
    const Case cases[] = {
        // A changed element keeps its place; the others stay.
        {kNewRule, "<Condition><Subject>OP =unequal ,Value =x ,State =false</Subject></Condition>",
         "<Condition><CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition><Subject>OP "
         "=unequal ,Value =x ,State =false</Subject></Condition>"},
        // A new element goes to the end of its part; a missing part to the end of the rule.
        {kNewRule, "<Condition><HaveAttachment>Value =true</HaveAttachment></Condition>",
         newRule.substr(0, newRule.size() - 12) +
             "<HaveAttachment>Value =true</HaveAttachment></Condition>"},
        {kNewRule, "<Action><DeleteAtonce>Value =true</DeleteAtonce></Action>",
         newRule + "<Action><DeleteAtonce>Value =true</DeleteAtonce></Action>"},
        // An empty part is filled in place.
        {"<Condition>c</Condition><Action></Action>", "<Action><MoveTo>Value =A</MoveTo></Action>",
         "<Condition>c</Condition><Action><MoveTo>Value =A</MoveTo></Action>"},
        {"", "<Action><A>v</A></Action>", "<Action><A>v</A></Action>"},
        // Plain content replaces what stood at its level.
        {"<A>old</A>", "<A>new</A>", "<A>new</A>"},
    };
    for (const Case& c : cases) EXPECT_EQ(MergeElement(c.base, c.element), c.merged) << c.element;
}

TEST(RuleText, DeleteRebuildsBothParts) {
    EXPECT_EQ(RuleWithoutElement(kNewRule, kConditionTag, "Subject"),
              "<Condition><CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition>"
              "</Condition><Action></Action>");
    EXPECT_EQ(RuleWithoutElement("<Action><A>1</A><B>2</B></Action>", kActionTag, "A"),
              "<Condition></Condition><Action><B>2</B></Action>");
}

// Values that the bare format cannot carry come back whole; values it can carry are stored
// as before and texts without escapes read as they always did.
TEST(RuleText, ValuesRoundTrip) {
    for (std::string_view value :
         {"a ,OP =x", "<b>bold</b>", "</Subject>", "C:\\a\\-b", "100%3C", "%", "x>", "ABCDEF"}) {
        const std::string element =
            "<Subject>OP =equal ,Value =" + EncodeRuleValue(value) + " ,State =false</Subject>";
        const std::string rule = MergeIntoPart(kNewRule, kConditionTag, element);
        const std::string inner = PartElement(rule, kConditionTag, "Subject");
        EXPECT_EQ(ReadRuleItem(inner, "Value"), value);
        EXPECT_EQ(ReadRuleItem(inner, "State"), "false");
        EXPECT_NE(PartElement(rule, kConditionTag, "CheckCondition"), "-1");
    }
    EXPECT_EQ(EncodeRuleValue("10 and 200"), "10 and 200");
    EXPECT_EQ(ReadRuleItem("OP =between ,Value =10 and 200 ,State =false", "Value"), "10 and 200");
    EXPECT_EQ(ReadRuleItem("OP =equal", "State"), "-1");
}

}  // namespace
}  // namespace korvo
