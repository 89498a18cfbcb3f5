// The settings dialogs driven through their widgets, the message boxes answered by the
// modal-dialog test hook, and the message hook from the UI thread and from a worker.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <chrono>
#include <thread>

#include "platform/message_hook.h"
#include "store/node_tree.h"
#include "tests/ui/dialog_answers.h"
#include "ui/account_dialog.h"
#include "ui/message_box_hook.h"
#include "ui/settings_dialogs.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;
using test::ExpectMessageBox;
using test::TypeIntoLockDialog;

struct RecordingPrompter : Prompter {
    std::vector<std::string> messages;
    void Message(std::string_view text, std::string_view) override { messages.emplace_back(text); }
    bool AskPassword(std::string_view, std::string*) override { return false; }
};

// Typing into a field: the new text raises the change event as the user's typing does.
void Type(wxTextCtrl* field, const std::string& text) {
    field->SetValue(WxFromBytes(text));
}

std::string Value(wxTextCtrl* field) {
    return BytesFromWx(field->GetValue());
}

class AccountDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog = new AccountDialog(nullptr, form, node.get(), prompter);
        dialog->Show();
    }
    void TearDown() override { dialog->Destroy(); }
    wxTextCtrl* F(AccountField f) { return dialog->field(f); }

    std::unique_ptr<baseDataStruct> node = std::make_unique<baseDataStruct>();
    AccountForm form;
    RecordingPrompter prompter;
    AccountDialog* dialog = nullptr;
};

TEST_F(AccountDialogTest, TypingRulesFillTheOtherFieldsWithoutSettingOffTheirRules) {
    EXPECT_EQ(dialog->GetTitle(), "Add new account");
    EXPECT_EQ(Value(F(AccountField::kPop3Port)), "995");
    EXPECT_EQ(Value(F(AccountField::kSmtpPort)), "465");

    Type(F(AccountField::kCaption), "ann@example.org");
    EXPECT_EQ(Value(F(AccountField::kEmail)), "ann@example.org");
    EXPECT_EQ(Value(F(AccountField::kUserName)), "ann");
    EXPECT_EQ(Value(F(AccountField::kPop3Server)), "example.org");
    EXPECT_EQ(Value(F(AccountField::kSmtpServer)), "example.org");
    // The e-mail was filled by a rule: its own rule (name part into the account name) did
    // not run.
    EXPECT_EQ(Value(F(AccountField::kCaption)), "ann@example.org");

    Type(F(AccountField::kEmail), "Bob Smith <bob@mail.test>");
    EXPECT_EQ(Value(F(AccountField::kCaption)), "Bob Smith");
    EXPECT_EQ(Value(F(AccountField::kUserName)), "Bob Smith");
    EXPECT_EQ(Value(F(AccountField::kPop3Server)), "mail.test");

    // An "@" typed at the end of the user name completes the domain, caret after the "@".
    Type(F(AccountField::kUserName), "bob");
    Type(F(AccountField::kUserName), "bob@");
    EXPECT_EQ(Value(F(AccountField::kUserName)), "bob@mail.test");
    EXPECT_EQ(F(AccountField::kUserName)->GetInsertionPoint(), 4);

    // One server field follows the other only while the other is empty.
    Type(F(AccountField::kSmtpServer), "");
    Type(F(AccountField::kPop3Server), "pop.mail.test");
    EXPECT_EQ(Value(F(AccountField::kSmtpServer)), "pop.mail.test");
    Type(F(AccountField::kPop3Server), "pop3.mail.test");
    EXPECT_EQ(Value(F(AccountField::kSmtpServer)), "pop.mail.test");

    Type(F(AccountField::kPassword), "s3cret");
    dialog->smtpCheckBox()->SetValue(true);
    wxCommandEvent click(wxEVT_CHECKBOX, dialog->smtpCheckBox()->GetId());
    click.SetInt(1);
    click.SetEventObject(dialog->smtpCheckBox());
    dialog->smtpCheckBox()->ProcessWindowEvent(click);
    EXPECT_EQ(Value(F(AccountField::kSmtpUser)), "bob@mail.test");
    EXPECT_EQ(Value(F(AccountField::kSmtpPass)), "s3cret");
    dialog->smtpCheckBox()->SetValue(false);
    click.SetInt(0);
    dialog->smtpCheckBox()->ProcessWindowEvent(click);
    EXPECT_EQ(Value(F(AccountField::kSmtpUser)), "");
    EXPECT_EQ(Value(F(AccountField::kSmtpPass)), "");
}

TEST_F(AccountDialogTest, OkWritesOnlyWhenTheFormAcceptsAndKeepsTheDialogOpenOtherwise) {
    Type(F(AccountField::kCaption), "ann@example.org");
    Type(F(AccountField::kPop3Port), "70000");
    EXPECT_FALSE(dialog->Accept());
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0], kPop3PortRangeMessage);
    EXPECT_EQ(getinfo(node.get(), kThisNode, "caption"), "-1");
    EXPECT_TRUE(dialog->IsShown());

    Type(F(AccountField::kPop3Port), " 995 ");
    Type(F(AccountField::kLockPassword), "x");
    EXPECT_FALSE(dialog->Accept());
    EXPECT_EQ(prompter.messages.back(), "Lock password input error!");

    Type(F(AccountField::kLockConfirm), "x");
    dialog->keepOnServerBox()->SetValue(true);
    EXPECT_TRUE(dialog->Accept());
    EXPECT_FALSE(dialog->IsShown());
    EXPECT_EQ(dialog->GetReturnCode(), wxID_OK);
    EXPECT_EQ(getinfo(node.get(), kThisNode, "caption"), "ann@example.org");
    EXPECT_EQ(getinfo(node.get(), kThisNode, "pop3Port"), "995");
    EXPECT_EQ(getinfo(node.get(), kThisNode, "keepOnServer"), "1");
    EXPECT_EQ(getinfo(node.get(), kThisNode, "LockState"), "unLock");
}

TEST(SettingsDialogs, BoxUserAndFolderDialogsApplyTheirForms) {
    RecordingPrompter prompter;
    auto box = CreateRootNode();
    BoxForm boxForm;
    auto* boxDialog = new BoxDialog(nullptr, boxForm, box.get(), prompter);
    long expected = 0;
    for (size_t i = 0; i < BoxForm::kColumnBits.size(); ++i) {
        // A new box starts from 46835.
        EXPECT_EQ(boxDialog->columnBox(i)->GetValue(), (46835 & BoxForm::kColumnBits[i]) != 0);
    }
    boxDialog->columnBox(0)->SetValue(true);    // 0x4
    boxDialog->columnBox(11)->SetValue(false);  // 0x8000
    for (size_t i = 0; i < BoxForm::kColumnBits.size(); ++i) {
        if (boxDialog->columnBox(i)->GetValue()) expected |= BoxForm::kColumnBits[i];
    }
    EXPECT_FALSE(boxDialog->Accept());
    EXPECT_EQ(prompter.messages.back(), "Please input user!");
    Type(boxDialog->nameField(), "Work");
    Type(boxDialog->lockField(0), "a");
    Type(boxDialog->lockField(1), "b");
    EXPECT_FALSE(boxDialog->Accept());
    EXPECT_EQ(prompter.messages.back(), "Password input error!");
    Type(boxDialog->lockField(1), "a");
    EXPECT_TRUE(boxDialog->Accept());
    EXPECT_EQ(getinfo(box.get(), kThisNode, "caption"), "Work");
    EXPECT_EQ(getinfo(box.get(), kThisNode, "showColumn"), std::to_string(expected));
    boxDialog->Destroy();

    auto user = CreateRootNode();
    UserForm userForm;
    auto* userDialog = new UserDialog(nullptr, userForm, user.get(), prompter);
    EXPECT_EQ(userDialog->GetTitle(), "Add new user");
    EXPECT_FALSE(userDialog->Accept());
    EXPECT_EQ(prompter.messages.back(), "Please input user 's name!");
    Type(userDialog->nameField(), "  ann \xe9 ");  // not UTF-8: kept byte for byte
    EXPECT_TRUE(userDialog->Accept());
    EXPECT_EQ(getinfo(user.get(), kThisNode, "caption"), "ann \xe9");
    EXPECT_EQ(getinfo(user.get(), kThisNode, "SaveFile"), "system.sdb");
    userDialog->Destroy();

    // An existing folder: titled after its caption, renamed and locked only when the form
    // accepts.
    auto folder = CreateRootNode();
    setinfo(folder.get(), kThisNode, "caption", "Friends");
    FolderForm folderForm(folder.get());
    auto* folderDialog = new FolderDialog(nullptr, folderForm, folder.get(), prompter);
    EXPECT_EQ(BytesFromWx(folderDialog->GetTitle()), folderForm.Title());
    EXPECT_EQ(Value(folderDialog->nameField()), "Friends");
    Type(folderDialog->nameField(), " ");
    EXPECT_FALSE(folderDialog->Accept());
    EXPECT_EQ(prompter.messages.back(), "Please input user 's name!");
    Type(folderDialog->nameField(), "Family");
    Type(folderDialog->lockField(0), "x");
    EXPECT_FALSE(folderDialog->Accept());
    EXPECT_EQ(prompter.messages.back(), "Password input error!");
    EXPECT_EQ(getinfo(folder.get(), kThisNode, "caption"), "Friends");
    Type(folderDialog->lockField(1), "x");
    EXPECT_TRUE(folderDialog->Accept());
    EXPECT_EQ(getinfo(folder.get(), kThisNode, "caption"), "Family");
    EXPECT_EQ(getinfo(folder.get(), kThisNode, "lockPassword"), "x");
    folderDialog->Destroy();
}

TEST(ShellDialogs, LockDialogsAndMessageBoxesAnswerWhatTheUserChose) {
    WxShellDialogs dialogs(nullptr);
    std::string password, repeated, shown;
    wxTEST_DIALOG(EXPECT_TRUE(dialogs.AskNewLock("Work", &password, &repeated)),
                  TypeIntoLockDialog("one", "two"));
    EXPECT_EQ(password, "one");
    EXPECT_EQ(repeated, "two");
    wxTEST_DIALOG(EXPECT_TRUE(dialogs.AskPassword("Work", &password)),
                  TypeIntoLockDialog("three", ""));
    EXPECT_EQ(password, "three");
    wxTEST_DIALOG(EXPECT_FALSE(dialogs.AskPassword("Work", &password)),
                  TypeIntoLockDialog("four", "", wxID_CANCEL));

    wxTEST_DIALOG(EXPECT_TRUE(dialogs.AskYesNo("delete?", "WARN : Work")),
                  ExpectMessageBox(wxYES, &shown));
    EXPECT_EQ(shown, "delete?");
    wxTEST_DIALOG(EXPECT_FALSE(dialogs.AskYesNo("really?", "WARN : Work")),
                  ExpectMessageBox(wxNO, &shown));
    EXPECT_EQ(shown, "really?");
    wxTEST_DIALOG(dialogs.Message("Error password input!", "Korvo"),
                  ExpectMessageBox(wxOK, &shown));
    EXPECT_EQ(shown, "Error password input!");
}

TEST(MessageBoxHook, ShowsTheTextOnTheUiThreadAlsoWhenCalledFromAWorker) {
    InstallMessageBoxHook();
    std::string shown;
    wxTEST_DIALOG(ShowMessage("Socket Error \xff"), ExpectMessageBox(wxOK, &shown));
    EXPECT_EQ(shown, "Socket Error \xff");

    shown.clear();
    wxTEST_DIALOG(
        {
            std::thread([] { ShowMessage("from the worker"); }).join();
            const auto end = std::chrono::steady_clock::now() + 10s;
            while (shown.empty() && std::chrono::steady_clock::now() < end) {
                wxTheApp->Yield(true);
                std::this_thread::sleep_for(2ms);
            }
        },
        ExpectMessageBox(wxOK, &shown));
    EXPECT_EQ(shown, "from the worker");
    SetMessageHook({});
}

}  // namespace
}  // namespace korvo
