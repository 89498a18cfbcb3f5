// The filter manager on screen, opened from the main window's tool bar: a rule is added, a
// condition and an action are edited through the widgets, and after the program is closed and
// started again the rule, its compiled record and its explanation are there unchanged.
#include <gtest/gtest.h>
#include <wx/app.h>

#include <filesystem>

#include "filters/compiled_rule.h"
#include "model/account_form.h"
#include "model/data_stores.h"
#include "model/settings_forms.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/gui_wait.h"
#include "ui/desktop.h"
#include "ui/filter_frame.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

using test::PumpUntil;

struct Seen {
    std::string text, record;
    std::vector<std::string> rows;
};

class FilterGuiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(temp.path() + "data/");
        options.onClosed = [this] { ++closed; };
        // A user with one account from an earlier run.
        CDataStores stores;
        ASSERT_TRUE(stores.OpenSystemStore());
        test::ScriptedPrompter prompter;
        UserForm user;
        user.name = "ann";
        user.saveFile = "system.sdb";
        baseDataStruct* u = addson(stores.sys().root(), "%s", "");
        ASSERT_TRUE(user.Apply(u, prompter));
        stores.sys().SysCreateUser(u, nullptr, kNoItem);
        AccountForm account;
        account.Edit(AccountField::kEmail, "ann@mail.example.org");
        account.Set(AccountField::kCaption, "Work");
        baseDataStruct* a = addson(stores.sys().DataGetSysPoint(u, kKindUATree), "%s", "");
        ASSERT_TRUE(account.Apply(a, prompter));
        stores.sys().SysCreateAccount(a, nullptr, kNoItem);
    }

    // Starts the program, chooses the account and opens the filter manager from the tool bar
    // with the account's filter folder chosen.
    FilterFrame* OpenManager(Desktop& desktop) {
        EXPECT_TRUE(desktop.Start());
        CSysData& sys = desktop.stores().sys();
        baseDataStruct* account = findinfo(sys.root(), "type", "Account");
        EXPECT_TRUE(PumpUntil([&] { return desktop.tree().ItemOfNode(account) != kNoItem; }));
        desktop.window().userTree().control()->SelectItem(
            WxTreeView::ToWx(desktop.tree().ItemOfNode(account)));
        const std::vector<int> ids =
            desktop.window().commands().IdsOf({CommandSet::kFrame, int(FrameCommand::kFilter)});
        EXPECT_FALSE(ids.empty());
        if (ids.empty()) return nullptr;
        wxCommandEvent click(wxEVT_MENU, ids.front());
        click.SetEventObject(&desktop.window());
        desktop.window().ProcessWindowEvent(click);
        FilterFrame* window = desktop.filterWindow();
        if (!window) return nullptr;
        EXPECT_EQ(BytesFromWx(window->GetTitle()), "korvo");
        CBaseTreeControl tree(window->tree());
        const baseDataStruct* folder = findinfo(account, "type", "FilterFolder");
        const TreeItem item = tree.FindItem(kNoItem, folder->nodeId());
        EXPECT_NE(item, kNoItem);
        window->tree().control()->SelectItem(WxTreeView::ToWx(item));
        return window;
    }
    void ChooseRow(FilterFrame* window, int row) {
        wxListCtrl* list = window->rules().control();
        list->SetItemState(row, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        ASSERT_TRUE(PumpUntil([&] { return window->editor().rule() != nullptr; }));
    }
    void Choose(ComboView& combo, int index) {
        wxChoice* control = static_cast<WxComboView&>(combo).control();
        control->SetSelection(index);
        wxCommandEvent event(wxEVT_CHOICE, control->GetId());
        event.SetEventObject(control);
        event.SetInt(index);
        control->GetEventHandler()->ProcessEvent(event);
    }
    Seen Look(FilterFrame* window) {
        baseDataStruct* rule = window->editor().rule();
        Seen seen{getinfo(rule, kThisNode, "SDATA"),
                  std::string(getdata(rule, "STRDATA").value_or("")),
                  {}};
        WxListView& list = window->pageList(FilterFrame::kShowPage);
        for (int r = 0; r < list.RowCount(); ++r) seen.rows.push_back(list.CellText(r, 0));
        return seen;
    }
    void Leave(Desktop& desktop) {
        desktop.filterWindow()->Close();
        EXPECT_TRUE(PumpUntil([&] { return desktop.filterWindow() == nullptr; }));
        desktop.frame().Exit();
        EXPECT_TRUE(PumpUntil([&] { return closed > 0; }, 10000));
    }

    test::TempDir temp;
    test::ScopedDataDir dataDir{temp.path() + "data/"};
    DesktopOptions options;
    int closed = 0;
};

TEST_F(FilterGuiTest, ARuleMadeOnScreenIsThereAfterARestart) {
    Seen before;
    {
        Desktop desktop(options);
        FilterFrame* window = OpenManager(desktop);
        ASSERT_NE(window, nullptr);
        wxCommandEvent add(wxEVT_TOOL, FilterFrame::kAddFilter);
        add.SetEventObject(window);
        window->ProcessWindowEvent(add);
        ASSERT_EQ(window->rules().RowCount(), 1);
        EXPECT_EQ(window->rules().CellText(0, 0), "New Filter");
        ChooseRow(window, 0);
        window->sheet()->SetSelection(FilterFrame::kWizardPage);

        // The subject condition, with a value the bare format could not keep.
        Choose(window->fields(), 0);
        Choose(window->operators(), 2);
        window->value().SetText("offer, <urgent>");
        window->Run(FilterFrame::kConditionAdd);
        // An action with a typed value.
        window->Run(FilterFrame::kToActions);
        Choose(window->actions(), 3);  // Voice
        window->actionValue().SetText("/home/ann/ding.wav");
        window->Run(FilterFrame::kActionAdd);
        window->sheet()->SetSelection(FilterFrame::kShowPage);
        before = Look(window);
        Leave(desktop);
    }
    wxTheApp->Yield(true);
    EXPECT_EQ(before.text,
              "<Condition><CheckCondition>OP =equal ,Value =AnyCondition</CheckCondition><Subject>"
              "OP =comprise ,Value =offer\\, %3Curgent%3E ,State =false</Subject></Condition>"
              "<Action><Voice>Value =/home/ann/ding.wav ,State =false</Voice></Action>");
    const std::optional<CompiledRule> record = ParseCompiledRule(before.record);
    ASSERT_TRUE(record.has_value());
    EXPECT_FALSE(record->incomplete);
    EXPECT_EQ(record->fields[4], "[E][03][Value]offer, <urgent>");
    EXPECT_EQ(before.rows, (std::vector<std::string>{
                               "Any condition is TRUE!", "    Subject contains offer, <urgent>",
                               "Do last action", "    Play sound /home/ann/ding.wav"}));

    closed = 0;
    Desktop desktop(options);
    FilterFrame* window = OpenManager(desktop);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->rules().RowCount(), 1);
    ChooseRow(window, 0);
    const Seen after = Look(window);
    EXPECT_EQ(after.text, before.text);
    EXPECT_EQ(after.record, before.record);
    EXPECT_EQ(after.rows, before.rows);
    Leave(desktop);
}

}  // namespace
}  // namespace korvo
