#include <gtest/gtest.h>

#include <memory>

#include "controls/memory_list_view.h"
#include "filters/compiled_rule.h"
#include "filters/filter_manager.h"
#include "filters/memory_filter_view.h"
#include "filters/rule_tables.h"
#include "filters/rule_text.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"

namespace korvo {
namespace {

using test::Get;

class ScriptedDialogs : public FilterDialogs {
  public:
    bool ChooseBox(baseDataStruct*, baseDataStruct** chosen) override {
        *chosen = box;
        return ok;
    }
    bool ChooseSoundFile(std::string* path) override {
        *path = "/home/u/ding.wav";
        return ok;
    }
    bool PickReceivers(baseDataStruct*, ForwardReceivers* lines) override {
        lines->cc += "bob<b@x>";
        return ok;
    }
    baseDataStruct* box = nullptr;
    bool ok = true;
};

class FilterWindowTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        AddAccount(AddUser("ann"), "Work");
        Open();
    }
    baseDataStruct* Account() { return findinfo(sys().root(), "type", "Account"); }
    baseDataStruct* Folder() { return findinfo(Account(), "type", "FilterFolder"); }
    void Open() {
        manager.reset();
        editor = std::make_unique<CFilterEditor>(sys(), wizard, prompter, dialogs);
        manager = std::make_unique<CFilterManager>(sys(), tree2, rules, *editor);
        editor->OpenWizard();
        ASSERT_EQ(manager->InitialUpdate(Account()), 0);
        manager->OnTreeSelection(tree2.FindItem(kNoItem, Folder()->nodeId()));
    }
    // A new rule, chosen in the list.
    void AddAndChoose() {
        manager->AddFilter();
        manager->OnRuleSelection(rulesView.RowCount() - 1);
        ASSERT_NE(editor->rule(), nullptr);
    }
    void ReopenAll() {
        const long point = TextToLong(Get(editor->rule(), "pointId"));
        manager.reset();
        editor.reset();
        Reopen();
        Open();
        for (int row = 0; row < rulesView.RowCount(); ++row)
            if (static_cast<long>(rulesView.ItemData(row)) == point) manager->OnRuleSelection(row);
    }
    std::string Text() { return Get(editor->rule(), "SDATA"); }
    CompiledRule Record() {
        return ParseCompiledRule(getdata(editor->rule(), "STRDATA").value_or(""))
            .value_or(CompiledRule{});
    }

    MemoryTreeView view2;
    CBaseTreeControl tree2{view2};
    MemoryListView rulesView;
    CBaseListControl rules{rulesView};
    MemoryFilterWizardView wizard;
    ScriptedDialogs dialogs;
    std::unique_ptr<CFilterEditor> editor;
    std::unique_ptr<CFilterManager> manager;
};

TEST_F(FilterWindowTest, TreeAndNewRules) {
    EXPECT_EQ(test::Items(view2, view2.FirstTopItem()),
              "Korvo 0/1 +\n  Set 18/19\n    Keyword table 1 22/23\n  Work 4/5 +\n"
              "    Select 20/21\n");
    EXPECT_EQ(manager->InitialUpdate(sys().root()), -1);
    // A collapsed item stays collapsed in the next run.
    manager->OnExpanded(tree2.FindItem(kNoItem, Account()->nodeId()), false);
    Reopen();
    EXPECT_FALSE(teststate(Account(), STATE_EXPANDED));
    Open();
    EXPECT_EQ(rulesView.ColumnCount(), 1);
    EXPECT_EQ(rulesView.ColumnTitle(0), "Filter");
    manager->AddFilter();
    manager->AddFilter();
    ASSERT_EQ(rulesView.RowCount(), 2);
    baseDataStruct* link = sys().mailBox().SysGetLinkItem(Folder());
    for (baseDataStruct* r = link->firstSon(); r; r = r->nextBrother()) {
        EXPECT_EQ(Get(r, "caption"), "New Filter");
        EXPECT_EQ(Get(r, "SDATA"), kNewRuleText);
    }
    // A rule that is no longer valid is not listed, after a restart too.
    changestate(link->firstSon(), STATE_VALID, 0);
    sys().mailBox().DataSaveList(link->firstSon(), 1);
    Reopen();
    Open();
    EXPECT_EQ(rulesView.RowCount(), 1);
    // The set book item is no folder: nothing to add to.
    manager->OnTreeSelection(
        tree2.FindItem(kNoItem, findinfo(sys().root(), "type", "FilterSetBook")->nodeId()));
    manager->AddFilter();
    EXPECT_EQ(sys().mailBox().SysGetLinkItem(Folder())->firstSon()->nextBrother()->nextBrother(),
              nullptr);
}

// The worked example, built through the controls, survives a restart with its record.
TEST_F(FilterWindowTest, EditsAreStoredCompiledAndExplained) {
    AddAndChoose();
    wizard.SetChecked(FilterCheck::kHaveAttachment, true);
    editor->OnHaveAttachment();
    wizard.fields().Select(kSizeField - 1);
    editor->OnField();
    wizard.operators().Select(2);
    editor->OnOperator();
    EXPECT_TRUE(wizard.shown(FilterPart::kBetweenEdits));
    EXPECT_FALSE(wizard.shown(FilterPart::kValueEdit));
    for (auto [from, to] : {std::pair{"abc", "5"}, {"200", "10"}, {"", "3"}}) {
        wizard.betweenFrom().SetText(from);
        wizard.betweenTo().SetText(to);
        editor->AddModifyCondition();
    }
    EXPECT_EQ(prompter.messages.size(), 3u);
    wizard.betweenFrom().SetText("10");
    wizard.betweenTo().SetText("200");
    editor->AddModifyCondition();
    wizard.actions().Select(0);
    editor->OnAction();
    wizard.actionValue().SetText("Archive");
    editor->AddModifyAction();
    const std::string worked =
        "<Condition><CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition><Subject>OP "
        "=equal ,Value =ABCDEF</Subject><HaveAttachment>Value =true</HaveAttachment><Size>OP "
        "=between ,Value =10 and 200 ,State =false</Size></Condition><Action><MoveTo>Value "
        "=Archive ,State =false</MoveTo></Action>";
    EXPECT_EQ(Text(), worked);

    ReopenAll();
    EXPECT_EQ(Text(), worked);
    const CompiledRule r = Record();
    EXPECT_FALSE(r.incomplete);
    EXPECT_EQ(r.fields[9], "[E][09][Value]10 and 200");
    EXPECT_EQ(r.actions[1], "[E]Archive");
    EXPECT_EQ(wizard.listView().CellText(3, 0), "    Mail size between 10 and 200");
    EXPECT_TRUE(wizard.Checked(FilterCheck::kHaveAttachment));
    EXPECT_FALSE(wizard.Checked(FilterCheck::kAllConditions));

    // A click on the Size row loads the two numbers again.
    editor->OnExplanationRow(kSizeField);
    EXPECT_EQ(wizard.betweenFrom().Text(), "10");
    EXPECT_EQ(wizard.betweenTo().Text(), "200");
}

// Deletes are stored and compiled like every other change.
TEST_F(FilterWindowTest, DeletesSurviveARestart) {
    AddAndChoose();
    wizard.SetChecked(FilterCheck::kDeleteAtOnce, true);
    editor->OnFlag(FilterCheck::kDeleteAtOnce);
    EXPECT_EQ(Text(), std::string(kNewRuleText) +
                          "<Action><DeleteAtonce>Value =true</DeleteAtonce></Action>");
    EXPECT_EQ(Get(editor->rule(), "DeleteAtonce"), "true");
    wizard.SetChecked(FilterCheck::kDeleteAtOnce, false);
    editor->OnFlag(FilterCheck::kDeleteAtOnce);
    EXPECT_EQ(Get(editor->rule(), "DeleteAtonce"), "false");
    wizard.fields().Select(0);
    editor->OnField();
    editor->DeleteCondition();
    ReopenAll();
    EXPECT_EQ(Text(),
              "<Condition><CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition>"
              "</Condition><Action><DeleteAtonce>Value =false</DeleteAtonce></Action>");
    EXPECT_EQ(Record().fields[4], "-1");
    EXPECT_FALSE(Record().incomplete);
    wizard.actions().Select(1);
    editor->DeleteAction();  // no CopyTo: the flags stay
    EXPECT_NE(Text().find("DeleteAtonce"), std::string::npos);
}

TEST_F(FilterWindowTest, DialogsAndValueLists) {
    AddAndChoose();
    // The box dialog writes account and box; Cancel changes nothing.
    wizard.actions().Select(1);
    editor->OnAction();
    dialogs.box = findinfo(Account(), "subType", "trash");
    editor->ChooseActionValue();
    EXPECT_EQ(wizard.actionValue().Text(), "Work/Trash");
    dialogs.ok = false;
    dialogs.box = nullptr;
    editor->ChooseActionValue();
    EXPECT_EQ(wizard.actionValue().Text(), "Work/Trash");
    dialogs.ok = true;
    editor->ChooseActionValue();
    EXPECT_EQ(wizard.actionValue().Text(), "");
    wizard.actions().Select(2);
    editor->OnAction();
    editor->ChooseActionValue();
    EXPECT_EQ(wizard.actionValue().Text(), "To:CC to:bob<b@x>Hide send:");

    // A stored colour is chosen again in the value list.
    wizard.actions().Select(4);
    editor->OnAction();
    EXPECT_TRUE(wizard.shown(FilterPart::kActionValueList));
    wizard.actionValues().Select(3);
    editor->AddModifyAction();
    editor->OnExplanationRow(107 + 4);
    EXPECT_EQ(wizard.actions().Selection(), 4);
    EXPECT_EQ(wizard.actionValues().Text(wizard.actionValues().Selection()), "Green");
}

TEST(BoxChoice, Text) {
    auto root = CreateRootNode();
    baseDataStruct* account = AddSonText(root.get(), "type =Account ,caption =a/b");
    baseDataStruct* box =
        AddSonText(AddSonText(account, "type =PBoxTree"), "type =Box ,caption =In/x");
    baseDataStruct* loose = AddSonText(root.get(), "type =Box ,caption =Loose");
    EXPECT_EQ(BoxChoiceText(box), "a//b/In//x");
    EXPECT_EQ(BoxChoiceText(loose), "/Loose");
    EXPECT_EQ(BoxChoiceText(account), "");
    EXPECT_EQ(BoxChoiceText(nullptr), "");
}

}  // namespace
}  // namespace korvo
