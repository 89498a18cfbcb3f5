#include <gtest/gtest.h>

#include <memory>

#include "controls/memory_list_view.h"
#include "filters/compiled_rule.h"
#include "filters/rule_explain.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"

namespace korvo {
namespace {

constexpr std::string_view kCheckAny =
    "<CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition>";
constexpr std::string_view kCheckAll =
    "<CheckCondition>OP =equal ,Value =AllCondition</CheckCondition>";

std::string Rule(std::string_view conditions, std::string_view actions = "-") {
    std::string text = "<Condition>" + std::string(conditions) + "</Condition>";
    if (actions != "-") text += "<Action>" + std::string(actions) + "</Action>";
    return text;
}

struct Explained {
    std::vector<std::string> rows;
    std::vector<uint32_t> codes;
};

class CompileExplainTest : public ::testing::Test {
  protected:
    baseDataStruct* Node(const std::string& text) {
        node = AddSonText(root.get(), "type =FilterInfo ,pType =25 ,caption =New Filter");
        setinfo(node, kThisNode, "SDATA", text);
        return node;
    }
    CompiledRule Compiled() {
        CompileRule(node, &prompter);
        const auto bytes = getdata(node, "STRDATA");
        EXPECT_TRUE(bytes.has_value());
        return ParseCompiledRule(bytes.value_or("")).value_or(CompiledRule{});
    }
    Explained Explain() {
        ExplainRule(node, list);
        Explained out;
        for (int r = 0; r < view.RowCount(); ++r) {
            out.rows.push_back(view.CellText(r, 0));
            out.codes.push_back(view.ItemData(r));
        }
        return out;
    }

    std::unique_ptr<baseDataStruct> root = CreateRootNode();
    baseDataStruct* node = nullptr;
    MemoryListView view;
    CBaseListControl list{view};
    test::ScriptedPrompter prompter;
};

// The codes of the record's fields, by element name ("-1" absent, "" not reached).
std::string Field(const CompiledRule& r, std::string_view name) {
    for (size_t i = 0; i < r.fields.size(); ++i)
        if (kCompiledFieldNames[i] == name) return r.fields[i];
    for (size_t i = 0; i < r.actions.size(); ++i)
        if (kCompiledActionNames[i] == name) return r.actions[i];
    return "?";
}

TEST_F(CompileExplainTest, NewRuleIsIncompleteAndExplainsItsSubject) {
    Node(Rule(std::string(kCheckAny) + "<Subject>OP =equal ,Value =ABCDEF</Subject>"));
    const CompiledRule r = Compiled();
    EXPECT_TRUE(r.incomplete);
    EXPECT_FALSE(r.allConditions);
    EXPECT_EQ(Field(r, "Subject"), "[E][01][Value]ABCDEF");
    EXPECT_EQ(Field(r, "Size"), "-1");
    EXPECT_EQ(Field(r, "MoveTo"), "");
    const Explained e = Explain();
    EXPECT_EQ(e.rows, (std::vector<std::string>{"Any condition is TRUE!", "    Subject is ABCDEF",
                                                "Do last action", "    Nothing to do!"}));
    EXPECT_EQ(e.codes, (std::vector<uint32_t>{0, 1, 100, 102}));
    EXPECT_EQ(test::Get(node, "CheckCondition"), "AnyCondition");
    EXPECT_EQ(test::Get(node, "HaveAttachment"), "false");
}

TEST_F(CompileExplainTest, FullRule) {
    Node(Rule(std::string(kCheckAll) +
                  "<Subject>OP =equal ,Value =ABCDEF</Subject><HaveAttachment>Value "
                  "=true</HaveAttachment><Size>OP =between ,Value =10 and 200 ,State "
                  "=false</Size><Sender>OP =comprise ,Value =x ,Marco =@@SENDER@@ ,State "
                  "=true</Sender>",
              "<DeleteAtonce>Value =true</DeleteAtonce><AutoHide>Value "
              "=true</AutoHide><DoNothing>Value =false</DoNothing><MoveTo>Value =Archive ,State "
              "=false</MoveTo><Voice>Value =/s/a.wav ,State =true</Voice>"));
    const CompiledRule r = Compiled();
    EXPECT_FALSE(r.incomplete);
    EXPECT_TRUE(r.allConditions);
    EXPECT_TRUE(r.haveAttachment);
    EXPECT_TRUE(r.deleteAtOnce && r.autoHide);
    EXPECT_FALSE(r.doNothing || r.deleteAfter || r.message || r.playIcon);
    EXPECT_EQ(Field(r, "Size"), "[E][09][Value]10 and 200");
    EXPECT_EQ(Field(r, "Sender"), "[D][03][Value][Marco]@@SENDER@@");
    EXPECT_EQ(Field(r, "MoveTo"), "[E]Archive");
    EXPECT_EQ(Field(r, "Voice"), "[D]/s/a.wav");
    EXPECT_EQ(Field(r, "CopyTo"), "-1");

    const Explained e = Explain();
    EXPECT_EQ(e.rows, (std::vector<std::string>{
                          "All condition is TRUE!",
                          "    Letter have attachment!",
                          "    Subject is ABCDEF",
                          "    Mail size between 10 and 200",
                          "    Sender name contains marco sender, condition is disabled!",
                          "Do last action",
                          "    Do't receive this letter and delete it at server!",
                          "    automation hide this letter, thise item was closed by itme that "
                          "Delete at once!",
                          "    Move to Archive",
                          "    Play sound /s/a.wav",
                      }));
    EXPECT_EQ(e.codes, (std::vector<uint32_t>{0, 0, 1, 10, 2, 100, 101, 104, 107, 110}));
    EXPECT_EQ(test::Get(node, "CheckCondition"), "AllCondition");
    EXPECT_EQ(test::Get(node, "HaveAttachment"), "true");
    EXPECT_EQ(test::Get(node, "DeleteAtonce"), "true");
    EXPECT_EQ(test::Get(node, "NothingToDo"), "false");
}

TEST_F(CompileExplainTest, InvalidRulesLeaveAnIncompleteRecordAndNoRows) {
    for (const std::string& text :
         {std::string(), Rule("<Subject>OP =equal ,Value =x</Subject>"),
          Rule("<CheckCondition>OP =equal ,Value =Most</CheckCondition>", "")}) {
        Node(text);
        EXPECT_TRUE(Compiled().incomplete) << text;
        EXPECT_TRUE(Explain().rows.empty()) << text;
    }
}

TEST_F(CompileExplainTest, UnknownOperatorIsToldAndNotCompiled) {
    Node(Rule(std::string(kCheckAny) + "<Subject>OP =contains ,Value =x</Subject>", ""));
    const CompiledRule r = Compiled();
    EXPECT_EQ(Field(r, "Subject"), "-1");
    EXPECT_FALSE(r.incomplete);
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], "No this condition!OP =contains ,Value =x");
}

// A flag switched off again reads as off in the summary.
TEST_F(CompileExplainTest, SummaryFollowsTheActions) {
    Node(Rule(kCheckAny,
              "<DeleteAtonce>Value =true</DeleteAtonce><DeleteAfter>Value "
              "=true</DeleteAfter>"));
    Explain();
    EXPECT_EQ(test::Get(node, "DeleteAtonce"), "true");
    EXPECT_EQ(test::Get(node, "DeleteAfter"), "true");
    setinfo(node, kThisNode, "SDATA", Rule(kCheckAny, "<DeleteAtonce>Value =false</DeleteAtonce>"));
    Explain();
    EXPECT_EQ(test::Get(node, "DeleteAtonce"), "false");
    EXPECT_EQ(test::Get(node, "DeleteAfter"), "false");
}

TEST(CompiledRuleBytes, RoundTripAndRefusal) {
    CompiledRule rule;
    rule.incomplete = false;
    rule.fields[4] = std::string("[E][01][Value]a\0b", 17);
    rule.actions[1] = std::string(300, 'x');
    rule.playIcon = true;
    const std::string bytes = SerializeCompiledRule(rule);
    EXPECT_EQ(bytes.substr(0, 6), std::string("KFR\x01\x00\x01", 6));
    EXPECT_EQ(ParseCompiledRule(bytes), rule);
    for (size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(ParseCompiledRule(bytes.substr(0, cut)).has_value()) << cut;
    EXPECT_FALSE(ParseCompiledRule(bytes + "x").has_value());
    std::string other = bytes;
    other[3] = 2;
    EXPECT_FALSE(ParseCompiledRule(other).has_value());
}

}  // namespace
}  // namespace korvo
