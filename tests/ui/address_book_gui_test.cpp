// The address book as a person uses it: the main window's "Address" opens the address book
// window, a folder and a person are made through its tool bar, the folder dialog and the person
// sheet; after a restart both are there, in the window and in the main window's panel.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/propdlg.h>
#include <wx/testing.h>
#include <wx/textctrl.h>

#include "model/account_form.h"
#include "model/data_stores.h"
#include "model/settings_forms.h"
#include "store/node_tree.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/gui_wait.h"
#include "ui/address_book_frame.h"
#include "ui/address_panel.h"
#include "ui/address_picker_dialog.h"
#include "ui/desktop.h"
#include "ui/settings_dialogs.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

using test::PumpUntil;

// Types the folder's name into the folder dialog and presses OK.
class FillFolderDialog : public wxExpectModalBase<wxDialog, FillFolderDialog> {
  public:
    explicit FillFolderDialog(std::string name) : name_(std::move(name)) {}

  protected:
    int OnInvoked(wxDialog* shown) const override {
        auto* dialog = dynamic_cast<FolderDialog*>(shown);
        if (!dialog) {
            ADD_FAILURE() << "not the folder dialog";
            return wxID_CANCEL;
        }
        EXPECT_EQ(BytesFromWx(dialog->GetTitle()), "Add new Folder");
        dialog->nameField()->SetValue(WxFromBytes(name_));
        EXPECT_TRUE(dialog->Accept());
        return wxID_OK;
    }

  private:
    std::string name_;
};

// Once the person sheet is up, fills in a first name and an address and presses OK.
void AnswerPersonSheet(const char* name, const char* email) {
    wxTheApp->CallAfter([name, email] {
        for (wxWindow* w : wxTopLevelWindows) {
            auto* sheet = dynamic_cast<wxPropertySheetDialog*>(w);
            if (!sheet || !sheet->IsModal()) continue;
            for (auto [field, text] : {std::pair{"name", name}, std::pair{"email", email}}) {
                auto* edit = dynamic_cast<wxTextCtrl*>(wxWindow::FindWindowByName(field, sheet));
                if (edit) edit->SetValue(text);
            }
            wxCommandEvent ok(wxEVT_BUTTON, wxID_OK);
            sheet->ProcessWindowEvent(ok);
            return;
        }
        ADD_FAILURE() << "no person sheet";
    });
}

class AddressBookGuiTest : public ::testing::Test {
  protected:
    // A user with one account, made before the program starts.
    void SetUp() override {
        CDataStores stores;
        ASSERT_TRUE(stores.OpenSystemStore());
        CSysData& sys = stores.sys();
        MessageHookPrompter prompter;
        UserForm user;
        user.name = "ann";
        baseDataStruct* u = addson(sys.root(), "%s", "");
        ASSERT_TRUE(user.Apply(u, prompter));
        sys.SysCreateUser(u, nullptr, kNoItem);
        AccountForm account;
        account.Edit(AccountField::kEmail, "ann@mail.example.org");
        account.Set(AccountField::kCaption, "work");
        baseDataStruct* a = addson(sys.DataGetSysPoint(u, kKindUATree), "%s", "");
        ASSERT_TRUE(account.Apply(a, prompter));
        sys.SysCreateAccount(a, nullptr, kNoItem);
        ASSERT_TRUE(sys.DataClose());
    }

    baseDataStruct* Account(Desktop& desktop) {
        return findinfo(desktop.stores().sys().root(), "caption", "work");
    }

    void SelectAccount(Desktop& desktop) {
        const TreeItem item = desktop.tree().ItemOfNode(Account(desktop));
        ASSERT_NE(item, kNoItem);
        desktop.window().userTree().control()->SelectItem(WxTreeView::ToWx(item));
    }

    AddressBookFrame* OpenBook(Desktop& desktop) {
        const std::vector<int> ids =
            desktop.window().commands().IdsOf({CommandSet::kFrame, int(FrameCommand::kAddress)});
        EXPECT_FALSE(ids.empty());
        if (ids.empty()) return nullptr;
        wxCommandEvent click(wxEVT_MENU, ids.front());
        desktop.window().ProcessWindowEvent(click);
        return desktop.addressBook();
    }

    void Choose(AddressBookFrame& book, baseDataStruct* node) {
        CBaseTreeControl tree(book.tree());
        const TreeItem item = tree.FindItem(kNoItem, node->nodeId());
        ASSERT_NE(item, kNoItem);
        book.tree().control()->SelectItem(WxTreeView::ToWx(item));
    }

    test::TempDir temp;
    test::ScopedDataDir dataDir{temp.path() + "data/"};
};

TEST_F(AddressBookGuiTest, AFolderAndAPersonMadeInTheWindowAreThereAfterARestart) {
    {
        Desktop desktop;
        ASSERT_TRUE(desktop.Start());
        SelectAccount(desktop);
        AddressPanel& panel = desktop.addressPanel();
        EXPECT_EQ(BytesFromWx(panel.captionField()->GetValue()), "Private");
        EXPECT_EQ(panel.persons().CellText(0, 1), "Null email for show!");
        EXPECT_FALSE(panel.switchButton()->IsEnabled());

        AddressBookFrame* book = OpenBook(desktop);
        ASSERT_NE(book, nullptr);
        EXPECT_EQ(BytesFromWx(book->GetTitle()), "Address Book");
        baseDataStruct* account = Account(desktop);
        Choose(*book, findinfo(account, "SysMark", "NowBookFolder"));
        wxTEST_DIALOG(book->Run(BookCommand::kAddFolder), FillFolderDialog("Friends"));
        baseDataStruct* friends = findinfo(account, "caption", "Friends");
        ASSERT_NE(friends, nullptr);
        Choose(*book, friends);
        AnswerPersonSheet("Doe, John", "jd@x.org");
        book->Run(BookCommand::kAddPerson);
        ASSERT_EQ(book->persons().RowCount(), 1);
        EXPECT_EQ(book->persons().CellText(0, 2), "Doe, John");
    }
    PumpUntil([] { return wxTopLevelWindows.empty(); }, 5000);

    Desktop desktop;
    ASSERT_TRUE(desktop.Start());
    SelectAccount(desktop);
    AddressBookFrame* book = OpenBook(desktop);
    ASSERT_NE(book, nullptr);
    ASSERT_NE(book->logic().chosen(), nullptr) << "the folder chosen last";
    EXPECT_EQ(getinfo(book->logic().chosen(), kThisNode, "caption"), "Friends");
    ASSERT_EQ(book->persons().RowCount(), 1);
    EXPECT_EQ(book->persons().CellText(0, 1), "jd@x.org");

    // The panel lists the folder once it is chosen there.
    AddressPanel& panel = desktop.addressPanel();
    CBaseTreeControl panelTree(panel.tree());
    const TreeItem item = panelTree.FindItem(kNoItem, book->logic().chosen()->nodeId());
    ASSERT_NE(item, kNoItem);
    panel.tree().control()->SelectItem(WxTreeView::ToWx(item));
    EXPECT_EQ(panel.persons().CellText(0, 1), "\"Doe, John\"<jd@x.org>");
    EXPECT_TRUE(panel.switchButton()->IsEnabled());

    // The receiver picker: the person double-clicked in the folder goes into the empty To.
    const uint32_t folderId = book->logic().chosen()->nodeId();
    wxTheApp->CallAfter([folderId] {
        for (wxWindow* w : wxTopLevelWindows) {
            auto* picker = dynamic_cast<AddressPickerDialog*>(w);
            if (!picker || !picker->IsModal()) continue;
            EXPECT_EQ(BytesFromWx(picker->GetTitle()), "selece email");
            CBaseTreeControl tree(picker->tree());
            picker->tree().control()->SelectItem(
                WxTreeView::ToWx(tree.FindItem(kNoItem, folderId)));
            picker->persons().SetRowSelected(0, true);
            wxListEvent activated(wxEVT_LIST_ITEM_ACTIVATED, picker->persons().control()->GetId());
            activated.SetEventObject(picker->persons().control());
            picker->persons().control()->ProcessWindowEvent(activated);
            picker->EndModal(wxID_OK);
            return;
        }
        ADD_FAILURE() << "no receiver picker";
    });
    ReceiverLines lines{"", "Old <old@x.org>", ""};
    EXPECT_TRUE(desktop.receivers().PickReceivers(Account(desktop), lines));
    EXPECT_EQ(lines.to, "\"Doe, John\"<jd@x.org>");
    EXPECT_EQ(lines.cc, "Old<old@x.org>");
}

}  // namespace
}  // namespace korvo
