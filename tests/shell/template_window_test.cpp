#include "shell/template_window.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "content/template_store.h"
#include "controls/memory_list_view.h"
#include "controls/memory_tree_view.h"
#include "platform/data_dir.h"
#include "platform/string_format.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"

namespace korvo {
namespace {

using test::Get;
using test::Items;

class RecordingPage : public TemplatePageView {
  public:
    void ShowPage(const std::string& f, std::string_view p) override {
        file = f;
        page.assign(p);
        ++shows;
    }
    void SetVisible(bool v) override { visible = v; }
    std::string file, page;
    int shows = 0;
    bool visible = false;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class TemplateWindowTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        AddAccount(AddUser("ann"), "Work");
        Open();
    }

    // A fresh window over the current stores, as the frame opens it for a user's node.
    void Open() {
        window = std::make_unique<CViewTemplate>(sys(), tree2, list, editor, macros, formats, page);
        ASSERT_EQ(window->InitialUpdate(Account()), 0);
    }
    // Drops the window and the stores, then opens both again.
    void ReopenAll() {
        window.reset();
        Reopen();
        Open();
    }

    baseDataStruct* Account() { return findinfo(sys().root(), "caption", "Work"); }
    baseDataStruct* AccountFolder(int subKind) {
        return sys().DataGetSysPoint(Account(), kKindTFolder, subKind);
    }
    baseDataStruct* SharedFolder(int index) {
        baseDataStruct* f = sys().DataGetSysPoint(Account(), kKindUTemplate)->firstSon();
        while (index-- > 0) f = f->nextBrother();
        return f;
    }
    void SelectFolder(baseDataStruct* folder) {
        const TreeItem item = tree2.FindItem(kNoItem, folder->nodeId());
        ASSERT_NE(item, kNoItem);
        window->OnTreeSelection(item);
    }
    void SelectRow(int row) {
        for (int r = 0; r < lview.RowCount(); ++r) lview.SetRowSelected(r, r == row);
        window->OnListSelection(row);
    }
    // "caption|format|image" of every row.
    std::vector<std::string> Rows() const {
        std::vector<std::string> out;
        for (int r = 0; r < lview.RowCount(); ++r) {
            out.push_back(lview.CellText(r, 0) + "|" + lview.CellText(r, 1) + "|" +
                          std::to_string(lview.RowImage(r)));
        }
        return out;
    }
    // Two new templates after the account's own, named a and b.
    void AddTwo() {
        SelectFolder(AccountFolder(kTFolderNewLetter));
        window->NewTemplate();
        ASSERT_TRUE(window->Rename(1, "a"));
        window->NewTemplate();
        ASSERT_TRUE(window->Rename(2, "b"));
    }

    MemoryTreeView tview;
    CBaseTreeControl tree2{tview};
    MemoryListView lview;
    CBaseListControl list{lview};
    MemoryTextView editor;
    MemoryComboView macros, formats;
    RecordingPage page;
    std::unique_ptr<CViewTemplate> window;
};

TEST_F(TemplateWindowTest, OpensWithTheUsersFoldersAndBothCombos) {
    EXPECT_EQ(Items(tview, tview.FirstTopItem()),
              "Korvo 0/1 +\n  Share 2/3 +\n    NewLetter 4/5\n    Write back 4/5\n"
              "    Forward 4/5\n  Work 4/5\n    NewLetter 4/5\n    Write back 4/5\n"
              "    Forward 4/5\n");
    ASSERT_EQ(macros.Count(), kMacroCount + 1);
    EXPECT_EQ(macros.Text(0), "cursor");
    EXPECT_EQ(macros.Text(20), "old mail CC to emal");
    EXPECT_EQ(macros.Text(21), "no select");
    EXPECT_EQ(macros.Selection(), 21);
    ASSERT_EQ(formats.Count(), 2);
    EXPECT_EQ(formats.Text(0), "text module");
    EXPECT_EQ(formats.Text(1), "html1 module");
    EXPECT_EQ(lview.ColumnCount(), 2);

    // The account's own template; nothing is shown until a row is selected.
    SelectFolder(AccountFolder(kTFolderNewLetter));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"意向书|text module|0"}));
    EXPECT_EQ(editor.Text(), "");
    EXPECT_FALSE(editor.editable());
    SelectRow(0);
    EXPECT_EQ(window->currentTemplate(),
              ListedTemplates(mail().SysReadLinkTree(AccountFolder(kTFolderNewLetter), 7))[0]);
    EXPECT_TRUE(editor.editable());
    EXPECT_TRUE(editor.Text().starts_with("甲方"));

    // Items that are not folders show nothing.
    window->OnTreeSelection(tview.FirstTopItem());
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(window->folder(), nullptr);
    EXPECT_EQ(window->currentTemplate(), nullptr);
    EXPECT_EQ(editor.Text(), "");
    window->NewTemplate();
    EXPECT_TRUE(Rows().empty());

    // Outside a user there is no tree.
    CViewTemplate other(sys(), tree2, list, editor, macros, formats, page);
    EXPECT_EQ(other.InitialUpdate(sys().root()), -1);
    EXPECT_EQ(tview.FirstTopItem(), kNoItem);
}

TEST_F(TemplateWindowTest, SharedFolderGetsANewTemplateThatIsKept) {
    SelectFolder(SharedFolder(1));  // Write back
    EXPECT_TRUE(Rows().empty());
    window->NewTemplate();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"New Template|text module|0"}));
    EXPECT_TRUE(lview.IsRowSelected(0));
    EXPECT_EQ(lview.FocusedRow(), 0);
    EXPECT_EQ(editor.Text(), kNewTemplateText);
    EXPECT_TRUE(editor.editable());
    EXPECT_EQ(formats.Selection(), 0);

    ReopenAll();
    SelectFolder(SharedFolder(1));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"New Template|text module|0"}));
    SelectFolder(SharedFolder(0));
    EXPECT_TRUE(Rows().empty());
}

TEST_F(TemplateWindowTest, MacroReplacesTheSelectionAndTheTextIsSaved) {
    AddTwo();
    SelectRow(1);
    editor.SetSelection(0, 2);  // "hi"
    macros.Select(kMacroCc);
    window->InsertMacro();
    const std::string changed = "@@CC@@ \r\n" + std::string(kNewTemplateText).substr(2);
    EXPECT_EQ(editor.Text(), changed);
    size_t start = 0, end = 0;
    editor.GetSelection(&start, &end);
    EXPECT_EQ(start, 9u);
    EXPECT_EQ(end, 9u);
    EXPECT_EQ(TemplateText(mail(), window->currentTemplate()), changed);

    // At the caret alone, and the last entry inserts nothing.
    macros.Select(kMacroCursor);
    window->InsertMacro();
    EXPECT_EQ(editor.Text(), "@@CC@@ \r\n@@CURSOR@@ \r\n" + changed.substr(9));
    macros.Select(kMacroCount);
    const std::string before = editor.Text();
    window->InsertMacro();
    EXPECT_EQ(editor.Text(), before);

    // Typed text is saved on request; it goes to the selected template only.
    editor.SetText("typed\r\n");
    window->SaveText();
    ReopenAll();
    SelectFolder(AccountFolder(kTFolderNewLetter));
    SelectRow(1);
    EXPECT_EQ(editor.Text(), "typed\r\n");
    SelectRow(2);
    EXPECT_EQ(editor.Text(), kNewTemplateText);

    // Without a selected template the macro has nowhere to go.
    SelectRow(-1);
    macros.Select(kMacroCc);
    window->InsertMacro();
    EXPECT_EQ(editor.Text(), "");
}

TEST_F(TemplateWindowTest, DefaultIsMarkedSwitchedRenamedAndDeleted) {
    AddTwo();
    SelectRow(1);
    window->SetDefault();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"意向书|text module|0", "a|text module|1",
                                                "b|text module|0"}));
    SelectRow(2);
    window->SetDefault();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"意向书|text module|0", "a|text module|0",
                                                "b|text module|1"}));
    // Renaming the default keeps it the default; refused names change nothing.
    EXPECT_TRUE(window->Rename(2, "b, =final: -1"));
    EXPECT_FALSE(window->Rename(2, ""));
    EXPECT_FALSE(window->Rename(7, "x"));
    EXPECT_EQ(Rows()[2], "b, =final: -1|text module|1");

    ReopenAll();
    SelectFolder(AccountFolder(kTFolderNewLetter));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"意向书|text module|0", "a|text module|0",
                                                "b, =final: -1|text module|1"}));
    baseDataStruct* link = mail().SysReadLinkTree(AccountFolder(kTFolderNewLetter), 7);
    EXPECT_EQ(Get(ListedTemplates(link)[1], "Default"), "-1");

    // Deleting the default (selected with another row) leaves no default.
    SelectRow(2);
    lview.SetRowSelected(0, true);
    window->DeleteSelected();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a|text module|0"}));
    EXPECT_EQ(window->currentTemplate(), nullptr);
    EXPECT_EQ(editor.Text(), "");
    ReopenAll();
    SelectFolder(AccountFolder(kTFolderNewLetter));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a|text module|0"}));
    EXPECT_EQ(DefaultTemplateOf(mail().SysReadLinkTree(AccountFolder(kTFolderNewLetter), 7)),
              nullptr);
}

TEST_F(TemplateWindowTest, PreviewShowsHtmlTemplatesAsAPage) {
    AddTwo();
    SelectRow(1);
    // Plain text has no preview.
    window->TogglePreview();
    EXPECT_FALSE(window->previewing());
    EXPECT_EQ(page.shows, 0);

    formats.Select(1);
    window->SetFormat();
    EXPECT_EQ(Rows()[1], "a|html1 module|0");
    editor.SetText("two  spaces\r\nend");
    window->TogglePreview();
    ASSERT_TRUE(window->previewing());
    const std::string expected = TemplatePreviewPage("two  spaces\r\nend");
    EXPECT_EQ(page.page, expected);
    EXPECT_NE(expected.find("two&nbsp;&nbsp;spaces<br>end&nbsp;</BODY>"), std::string::npos);
    EXPECT_EQ(page.file, DataDirectory() + "Cache/html/template.html");
    EXPECT_EQ(ReadFile(page.file), expected);
    EXPECT_TRUE(page.visible);
    EXPECT_FALSE(editor.visible());
    // The previewed text is the template's text.
    EXPECT_EQ(TemplateText(mail(), window->currentTemplate()), "two  spaces\r\nend");

    // No edits while the page is shown.
    macros.Select(kMacroSender);
    window->InsertMacro();
    EXPECT_EQ(TemplateText(mail(), window->currentTemplate()), "two  spaces\r\nend");

    window->TogglePreview();
    EXPECT_FALSE(window->previewing());
    EXPECT_FALSE(page.visible);
    EXPECT_TRUE(editor.visible());
    EXPECT_TRUE(editor.editable());
    EXPECT_EQ(editor.Text(), "two  spaces\r\nend");

    // A new page overwrites the old one; choosing another template or plain text leaves it.
    editor.SetText("x");
    window->TogglePreview();
    EXPECT_EQ(ReadFile(page.file), TemplatePreviewPage("x"));
    SelectRow(2);
    EXPECT_FALSE(window->previewing());
    EXPECT_TRUE(editor.visible());
    SelectRow(1);
    window->TogglePreview();
    ASSERT_TRUE(window->previewing());
    formats.Select(0);
    window->SetFormat();
    EXPECT_FALSE(window->previewing());
    EXPECT_EQ(Rows()[1], "a|text module|0");
    EXPECT_EQ(editor.Text(), "x");
}

TEST_F(TemplateWindowTest, KeepsWorkingWhenTheMailStoreSwitchesUsers) {
    // Another user with a file of his own: reading his folder makes the mail store switch
    // files, and every node of the first file is rebuilt.
    baseDataStruct* bob = AddUser("bob", "bob.sdb");
    AddAccount(bob, "Home", "bob@home.example.org");
    Open();
    AddTwo();
    SelectRow(2);
    baseDataStruct* home = findinfo(sys().root(), "caption", "Home");
    ASSERT_NE(
        mail().SysReadLinkTree(sys().DataGetSysPoint(home, kKindTFolder, kTFolderNewLetter), 7),
        nullptr);
    EXPECT_NE(mail().userFilePath().find("bob.sdb"), std::string::npos);

    editor.SetText("after the switch");
    window->SaveText();
    window->SetDefault();
    EXPECT_EQ(Rows()[2], "b|text module|1");
    EXPECT_TRUE(window->Rename(1, "a2"));

    ReopenAll();
    SelectFolder(AccountFolder(kTFolderNewLetter));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"意向书|text module|0", "a2|text module|0",
                                                "b|text module|1"}));
    SelectRow(2);
    EXPECT_EQ(editor.Text(), "after the switch");
}

}  // namespace
}  // namespace korvo
