// The template window on screen: one window at a time, folders and templates chosen with the
// widgets, text edited and saved with multi-byte text and CR LF kept, the default marked,
// names edited in place, the preview in the hardened browser.
#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <string>

#include "content/template_store.h"
#include "shell/template_window.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"
#include "tests/ui/gui_wait.h"
#include "ui/template_frame.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

using test::PumpUntil;

class TemplateGuiTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        AddAccount(AddUser("ann"), "Work");
        window = OpenTemplateWindow(nullptr, sys(), Account());
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (window) window->Destroy();
        test::PumpFor(50);
    }

    baseDataStruct* Account() { return findinfo(sys().root(), "caption", "Work"); }
    baseDataStruct* Link() {
        return mail().SysReadLinkTree(
            sys().DataGetSysPoint(Account(), kKindTFolder, kTFolderNewLetter), 7);
    }
    // Selects the tree item labelled `label` under the item labelled `parent`, as a click does.
    void SelectFolder(const std::string& parent, const std::string& label) {
        WxTreeView& tree = window->tree();
        TreeItem found = kNoItem;
        std::function<void(TreeItem, bool)> walk = [&](TreeItem item, bool inside) {
            for (; item != kNoItem && found == kNoItem; item = tree.NextSibling(item)) {
                if (inside && tree.Label(item) == label) found = item;
                walk(tree.FirstChild(item), inside || tree.Label(item) == parent);
            }
        };
        walk(tree.FirstTopItem(), false);
        ASSERT_NE(found, kNoItem) << parent << "/" << label;
        tree.control()->SelectItem(WxTreeView::ToWx(found));
    }
    // Selects one row with the widget, as a click does, and waits until its text is shown.
    void SelectRow(int row) {
        wxListCtrl* list = window->list().control();
        for (int r = 0; r < list->GetItemCount(); ++r)
            list->SetItemState(r, r == row ? wxLIST_STATE_SELECTED : 0, wxLIST_STATE_SELECTED);
        ASSERT_TRUE(PumpUntil([&] {
            baseDataStruct* shown = window->logic().currentTemplate();
            return shown && TextToLong(getinfo(shown, kThisNode, "pointId")) ==
                                long(window->list().ItemData(row));
        }));
    }
    // "caption|format|image" of every row.
    std::vector<std::string> Rows() {
        std::vector<std::string> out;
        WxListView& v = window->list();
        for (int r = 0; r < v.RowCount(); ++r)
            out.push_back(v.CellText(r, 0) + "|" + v.CellText(r, 1) + "|" +
                          std::to_string(v.RowImage(r)));
        return out;
    }

    TemplateFrame* window = nullptr;
};

TEST_F(TemplateGuiTest, OneWindowEditSaveAndDefault) {
    EXPECT_EQ(BytesFromWx(window->GetTitle()), kTemplateWindowTitle);
    EXPECT_TRUE(window->IsShown());
    EXPECT_EQ(OpenTemplateWindow(nullptr, sys(), Account()), window);  // raised, not another
    EXPECT_EQ(window->macros().Count(), 22);
    EXPECT_EQ(window->macros().Text(window->macros().Selection()), "no select");

    SelectFolder("Work", "NewLetter");
    ASSERT_EQ(Rows(), (std::vector<std::string>{"意向书|text module|0"}));
    SelectRow(0);
    WxTextView& editor = window->editor();
    const std::string original = editor.Text();
    ASSERT_TRUE(original.starts_with("甲方")) << original.substr(0, 40);
    EXPECT_TRUE(editor.control()->IsEditable());

    // A macro goes in at the caret, counted in bytes past the two wide characters.
    window->macros().Select(6);  // "sender"
    editor.SetSelection(6, 6);
    window->Run(TemplateFrame::kInsertMacro);
    const std::string withMacro = "甲方@@SENDER@@ \r\n" + original.substr(6);
    EXPECT_EQ(editor.Text(), withMacro);
    size_t start = 0, end = 0;
    editor.GetSelection(&start, &end);
    EXPECT_EQ(start, 6 + std::string("@@SENDER@@ \r\n").size());
    EXPECT_EQ(TemplateText(mail(), window->logic().currentTemplate()), withMacro);

    // Typed text is kept byte for byte when saved.
    editor.control()->SetInsertionPointEnd();
    editor.control()->WriteText(WxFromBytes("\r\nbye ÄÖ"));
    window->Run(TemplateFrame::kSave);
    EXPECT_EQ(TemplateText(mail(), window->logic().currentTemplate()), withMacro + "\r\nbye ÄÖ");

    // Bytes that are not UTF-8 survive the editor, and positions count bytes past them.
    editor.SetText("a\xff\xfe\r\n\xd0\xb1z");
    EXPECT_EQ(editor.Text(), "a\xff\xfe\r\n\xd0\xb1z");
    editor.SetSelection(3, 7);
    editor.GetSelection(&start, &end);
    EXPECT_EQ(start, 3u);
    EXPECT_EQ(end, 7u);
    EXPECT_EQ(BytesFromWx(editor.control()->GetStringSelection()), "\r\n\xd0\xb1");

    // A new template: the default text, selected; then it becomes the default.
    window->Run(TemplateFrame::kNew);
    ASSERT_EQ(window->list().RowCount(), 2);
    EXPECT_TRUE(window->list().IsRowSelected(1));
    EXPECT_EQ(editor.Text(), kNewTemplateText);
    window->Run(TemplateFrame::kSetDefault);
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"意向书|text module|0", "New Template|text module|1"}));
    SelectRow(0);
    window->Run(TemplateFrame::kSetDefault);
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"意向书|text module|1", "New Template|text module|0"}));
    const std::vector<baseDataStruct*> stored = ListedTemplates(Link());
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(test::Get(stored[0], "Default"), "Default");
    EXPECT_EQ(test::Get(stored[1], "Default"), "-1");

    // Choosing the row already shown keeps unsaved edits.
    editor.control()->AppendText("x");
    SelectRow(0);
    test::PumpFor(100);
    EXPECT_TRUE(editor.Text().ends_with("x"));
}

TEST_F(TemplateGuiTest, RenameInPlacePreviewAndDelete) {
    SelectFolder("Work", "NewLetter");
    window->Run(TemplateFrame::kNew);
    ASSERT_EQ(window->list().RowCount(), 2);

    // The end of a label edit renames; an empty name is refused and the edit vetoed.
    wxListCtrl* list = window->list().control();
    auto endEdit = [&](int row, const std::string& label) {
        wxListEvent event(wxEVT_LIST_END_LABEL_EDIT, list->GetId());
        event.SetEventObject(list);
        event.m_itemIndex = row;
        event.m_item.SetText(WxFromBytes(label));
        list->GetEventHandler()->ProcessEvent(event);
        return event.IsAllowed();
    };
    // A real edit in place: the label editor opens on the row's name, Enter ends it.
    wxTextCtrl* edit = list->EditLabel(1);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(BytesFromWx(edit->GetValue()), window->list().CellText(1, 0));
    edit->SetValue("Offer");
    wxKeyEvent enter(wxEVT_CHAR);
    enter.m_keyCode = WXK_RETURN;
    enter.SetEventObject(edit);
    edit->GetEventHandler()->ProcessEvent(enter);
    EXPECT_TRUE(PumpUntil([&] { return window->list().CellText(1, 0) == "Offer"; }, 5000));
    EXPECT_EQ(BytesFromWx(list->GetItemText(1)), "Offer");
    EXPECT_EQ(test::Get(ListedTemplates(Link())[1], "caption"), "Offer");
    EXPECT_FALSE(endEdit(1, ""));
    EXPECT_EQ(test::Get(ListedTemplates(Link())[1], "caption"), "Offer");

    // A plain-text template has no preview.
    window->Run(TemplateFrame::kPreview);
    EXPECT_FALSE(window->logic().previewing());
    EXPECT_FALSE(window->preview().view()->IsShown());

    // As HTML it is shown in the browser from the preview page, the editor hidden.
    wxChoice* formats = window->formats().control();
    formats->SetSelection(1);
    wxCommandEvent choice(wxEVT_CHOICE, formats->GetId());
    choice.SetEventObject(formats);
    choice.SetInt(1);
    formats->GetEventHandler()->ProcessEvent(choice);
    EXPECT_EQ(test::Get(ListedTemplates(Link())[1], "format"), "html1 module");
    EXPECT_EQ(window->list().CellText(1, 1), "html1 module");

    std::vector<wxString> loaded;
    window->preview().view()->Bind(wxEVT_WEBVIEW_LOADED, [&](wxWebViewEvent& e) {
        loaded.push_back(e.GetURL());
        e.Skip();
    });
    window->Run(TemplateFrame::kPreview);
    EXPECT_TRUE(window->logic().previewing());
    EXPECT_TRUE(window->preview().view()->IsShown());
    EXPECT_FALSE(window->editor().control()->IsShown());
    const wxString page = window->preview().pageUrl();
    EXPECT_TRUE(PumpUntil([&] {
        return std::find(loaded.begin(), loaded.end(), page) != loaded.end();
    })) << "the preview did not load";
    window->Run(TemplateFrame::kPreview);
    EXPECT_FALSE(window->preview().view()->IsShown());
    EXPECT_TRUE(window->editor().control()->IsShown());
    EXPECT_EQ(window->editor().Text(), kNewTemplateText);

    // Delete the selected template.
    window->Run(TemplateFrame::kDelete);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"意向书|text module|0"}));
    EXPECT_EQ(ListedTemplates(Link()).size(), 1u);
}

TEST(TemplateWindowEntry, NodeOutsideAUserOpensNothing) {
    test::TempDir dir;
    test::ScopedDataDir data(dir.path());
    CDataStores stores;
    ASSERT_TRUE(stores.OpenSystemStore());
    EXPECT_EQ(OpenTemplateWindow(nullptr, stores.sys(), stores.sys().root()), nullptr);
    test::PumpFor(50);
}

}  // namespace
}  // namespace korvo
