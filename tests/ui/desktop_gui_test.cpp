// The desktop program as a person uses it, against the private POP3 and SMTP servers: the first
// start asks for a user, a user and an account are made through their dialogs, Receive runs the
// task window, the letters show in the list and the box label counts them; then the exit path.
// A screenshot of the main window is kept in the build tree.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <wx/app.h>
#include <wx/choice.h>
#include <wx/image.h>
#include <wx/msgdlg.h>
#include <wx/srchctrl.h>
#include <wx/taskbar.h>
#include <wx/testing.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "content/mail_header.h"
#include "content/mime_walk.h"
#include "model/sys_schema.h"
#include "platform/instance_guard.h"
#include "shell/mail_indicator.h"
#include "store/node_tree.h"
#include "tests/support/mail_servers.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/dialog_answers.h"
#include "tests/ui/gui_wait.h"
#include "tests/ui/screen_capture.h"
#include "transport/task_engine.h"
#include "ui/account_dialog.h"
#include "ui/address_picker_dialog.h"
#include "ui/desktop.h"
#include "ui/settings_dialogs.h"
#include "ui/template_frame.h"
#include "ui/wx_text.h"
#include "ui/wx_tree_view.h"

namespace korvo {
namespace {

using test::ExpectMessageBox;
using test::PumpUntil;
using test::TypeIntoLockDialog;

constexpr int kSeconds = 1000;

// Answers the user dialog: types the name and presses OK.
class FillUserDialog : public wxExpectModalBase<wxDialog, FillUserDialog> {
  public:
    explicit FillUserDialog(std::string name) : name_(std::move(name)) {}

  protected:
    int OnInvoked(wxDialog* shown) const override {
        auto* dialog = dynamic_cast<UserDialog*>(shown);
        if (!dialog) {
            ADD_FAILURE() << "not the user dialog";
            return wxID_CANCEL;
        }
        EXPECT_EQ(dialog->GetTitle(), "Add new user");
        dialog->nameField()->SetValue(WxFromBytes(name_));
        EXPECT_TRUE(dialog->Accept());
        return wxID_OK;
    }

  private:
    std::string name_;
};

// Answers the account dialog with the test servers' settings.
class FillAccountDialog : public wxExpectModalBase<wxDialog, FillAccountDialog> {
  public:
    FillAccountDialog(uint16_t pop3, uint16_t smtp, std::string* title)
        : pop3_(pop3), smtp_(smtp), title_(title) {}

  protected:
    int OnInvoked(wxDialog* shown) const override {
        auto* dialog = dynamic_cast<AccountDialog*>(shown);
        if (!dialog) {
            ADD_FAILURE() << "not the account dialog";
            return wxID_CANCEL;
        }
        *title_ = BytesFromWx(dialog->GetTitle());
        auto type = [&](AccountField field, const std::string& text) {
            dialog->field(field)->SetValue(WxFromBytes(text));
        };
        type(AccountField::kEmail, "ann@localhost");
        type(AccountField::kCaption, "work");
        type(AccountField::kUserName, "ann");
        type(AccountField::kPassword, "pw-ann");
        type(AccountField::kPop3Server, "127.0.0.1");
        type(AccountField::kSmtpServer, "127.0.0.1");
        // The test servers' plain ports.
        for (MailServer server : {MailServer::kPop3, MailServer::kSmtp}) {
            wxChoice* choice = dialog->securityChoice(server);
            choice->SetStringSelection("None");
            wxCommandEvent chosen(wxEVT_CHOICE, choice->GetId());
            chosen.SetInt(choice->GetSelection());
            chosen.SetEventObject(choice);
            choice->ProcessWindowEvent(chosen);
        }
        type(AccountField::kPop3Port, std::to_string(pop3_));
        type(AccountField::kSmtpPort, std::to_string(smtp_));
        EXPECT_TRUE(dialog->Accept());
        return wxID_OK;
    }

  private:
    uint16_t pop3_, smtp_;
    std::string* title_;
};

std::string Letter(int i) {
    return "From: Bob <bob@localhost>\r\nTo: ann@localhost\r\nSubject: note " + std::to_string(i) +
           "\r\nDate: Mon, 7 Dec 2026 10:0" + std::to_string(i) + ":00 +0000\r\n\r\nbody " +
           std::to_string(i) + "\r\n";
}

// The window as it is on the screen once it has drawn itself, tool bar and menus included.
bool SaveScreenshot(wxWindow* window, const std::string& path) {
    window->Raise();
    window->Refresh();
    test::PumpFor(200);
    return test::CaptureScreen(window).SaveFile(WxFromBytes(path), wxBITMAP_TYPE_PNG);
}

// Answers the box dialog of a new box: chooses the item of node `place` in its place tree and
// names the box.
class PlaceBoxThroughDialog : public wxExpectModalBase<wxDialog, PlaceBoxThroughDialog> {
  public:
    PlaceBoxThroughDialog(uint32_t place, std::string name, std::string* user)
        : place_(place), name_(std::move(name)), user_(user) {}

  protected:
    int OnInvoked(wxDialog* shown) const override {
        auto* dialog = dynamic_cast<BoxDialog*>(shown);
        if (!dialog || !dialog->placeView()) {
            ADD_FAILURE() << "not the box dialog with its place tree";
            return wxID_CANCEL;
        }
        *user_ = BytesFromWx(dialog->userChoice()->GetStringSelection());
        WxTreeView& view = *dialog->placeView();
        CBaseTreeControl tree(view);
        const TreeItem item = tree.FindItem(kNoItem, place_);
        if (item == kNoItem) {
            ADD_FAILURE() << "the place is not in the tree";
            return wxID_CANCEL;
        }
        view.control()->SelectItem(WxTreeView::ToWx(item));
        dialog->nameField()->SetValue(WxFromBytes(name_));
        EXPECT_TRUE(dialog->Accept());
        return wxID_OK;
    }

  private:
    uint32_t place_;
    std::string name_;
    std::string* user_;
};

// Cancels the address book's receiver picker.
class CancelPicker : public wxExpectModalBase<wxDialog, CancelPicker> {
  protected:
    int OnInvoked(wxDialog* shown) const override {
        EXPECT_NE(dynamic_cast<AddressPickerDialog*>(shown), nullptr) << "not the picker";
        return wxID_CANCEL;
    }
};

class DesktopGuiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
        // carl and dora receive copies of letters written here.
        for (const char* user : {"ann", "carl", "dora"})
            ASSERT_TRUE(servers.AddUser(user, "pw-" + std::string(user))) << servers.error();
        for (int i = 1; i <= 3; ++i) {
            ASSERT_TRUE(servers.Seed("ann", "m" + std::to_string(i), Letter(i)));
        }
        ASSERT_TRUE(servers.StartPop3()) << servers.error();
        ASSERT_TRUE(servers.StartSmtp(false)) << servers.error();
        std::filesystem::create_directories(temp.path() + "data/");
        options.autostartProgram = "/opt/korvo/bin/korvo";
        options.autostartPath = temp.path() + "autostart/korvos.desktop";
        options.settingsFile = temp.path() + "config/korvo/korvo.conf";
        options.onClosed = [this] { ++closed; };
        options.notify = [this](const NewMailNotice::Text& text) {
            notices.push_back(text.title + " | " + text.body);
        };
    }

    // Runs a menu or tool bar command as a click on it does.
    void Click(MainWindow& window, MenuCommand command) {
        const std::vector<int> ids = window.commands().IdsOf(command);
        ASSERT_FALSE(ids.empty());
        wxCommandEvent event(wxEVT_MENU, ids.front());
        event.SetEventObject(&window);
        window.ProcessWindowEvent(event);
    }

    // Selects the node's item as a click on it does.
    void Select(Desktop& desktop, baseDataStruct* node) {
        const TreeItem item = desktop.tree().ItemOfNode(node);
        ASSERT_NE(item, kNoItem);
        desktop.window().userTree().control()->SelectItem(WxTreeView::ToWx(item));
    }

    // The first start: the user dialog is answered with `name`; the new user, or null.
    baseDataStruct* StartAndCreateUser(Desktop& desktop, const std::string& name) {
        CSysData& sys = desktop.stores().sys();
        bool started = false;
        wxTEST_DIALOG(
            {
                started = desktop.Start();
                if (started) PumpUntil([&] { return sys.root() && sys.root()->firstSon(); });
            },
            FillUserDialog(name));
        EXPECT_TRUE(started);
        return started && sys.root() ? sys.root()->firstSon() : nullptr;
    }

    // "Create account" from the menu with `user` selected, answered with the test servers'
    // settings; the new account, or null. `title` gets the dialog's title.
    baseDataStruct* AddAccountThroughMenu(Desktop& desktop, baseDataStruct* user,
                                          std::string* title = nullptr) {
        Select(desktop, user);
        std::string shown;
        wxTEST_DIALOG(Click(desktop.window(), {CommandSet::kTree, int(TreeCommand::kAddAccount)}),
                      FillAccountDialog(servers.pop3Port(), servers.smtpPort(), &shown));
        if (title) *title = shown;
        baseDataStruct* folder = desktop.stores().sys().DataGetSysPoint(user, kKindUATree);
        return folder ? folder->firstSon() : nullptr;
    }

    std::string Label(Desktop& desktop, baseDataStruct* node) {
        return desktop.window().userTree().Label(desktop.tree().ItemOfNode(node));
    }

    test::TempDir temp;
    test::ScopedDataDir dataDir{temp.path() + "data/"};
    test::MailServers servers;
    DesktopOptions options;
    int closed = 0;
    std::vector<std::string> notices;
};

TEST_F(DesktopGuiTest, FirstStartUserAccountReceiveAndExit) {
    Desktop desktop(options);
    CSysData& sys = desktop.stores().sys();

    // First start: the store is made, the autostart entry written, and a user asked for.
    baseDataStruct* user = StartAndCreateUser(desktop, "ann");
    ASSERT_NE(user, nullptr);
    EXPECT_TRUE(desktop.window().IsShown());
    EXPECT_EQ(desktop.window().GetTitle(), "Korvo");
    EXPECT_EQ(getinfo(sys.root(), kThisNode, "RUNSTART"), "RUNSTART");
    EXPECT_NE(test::ReadFile(options.autostartPath).find("Exec=\"/opt/korvo/bin/korvo\""),
              std::string::npos);
    EXPECT_EQ(getinfo(user, kThisNode, "caption"), "ann");
    EXPECT_EQ(Label(desktop, user), "ann");

    // An account for the user, through the menu and its dialog.
    std::string title;
    baseDataStruct* account = AddAccountThroughMenu(desktop, user, &title);
    EXPECT_EQ(desktop.tree().selectedNode(), user);
    EXPECT_EQ(title, "ann : add new account");
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(getinfo(account, kThisNode, "caption"), "work");
    EXPECT_EQ(getinfo(account, kThisNode, "pop3Security"), "none");
    EXPECT_EQ(getinfo(account, kThisNode, "smtpSecurity"), "none");
    baseDataStruct* receive = sys.DataGetSysPoint(account, kKindBox, kBoxReceive);
    ASSERT_NE(receive, nullptr);

    // Receive from the tool bar: the task window runs the task and closes itself.
    Select(desktop, account);
    Click(desktop.window(), {CommandSet::kFrame, int(FrameCommand::kReceive)});
    ASSERT_NE(desktop.taskWindow(), nullptr);
    EXPECT_TRUE(desktop.taskWindow()->IsShown());
    EXPECT_EQ(desktop.taskWindow()->GetTitle(), "Korvo Task");
    bool titled = false;  // the task window named the account while it ran
    ASSERT_TRUE(PumpUntil(
        [&] {
            TaskWindow* window = desktop.taskWindow();
            titled = titled || (window && window->userNameLabel()->GetLabel() == "work");
            return window == nullptr;
        },
        60 * kSeconds))
        << "the task window did not finish";
    EXPECT_TRUE(titled);
    EXPECT_EQ(servers.Letters("ann").size(), 0u) << "the letters stay on the server";
    EXPECT_EQ(notices, std::vector<std::string>{"3 new letters | From Bob"});
    EXPECT_EQ(MailIndicator::Value(), 2);

    // The receive box lists the three letters; its label counts them unread.
    EXPECT_EQ(Label(desktop, receive), "Receive (3/3)");
    wxTreeCtrl* tree = desktop.window().userTree().control();
    EXPECT_TRUE(tree->IsBold(WxTreeView::ToWx(desktop.tree().ItemOfNode(receive))));
    EXPECT_FALSE(tree->IsBold(WxTreeView::ToWx(desktop.tree().ItemOfNode(account))));
    Select(desktop, receive);
    EXPECT_EQ(desktop.letters().shownBox(), receive);
    WxListView& list = desktop.window().letterList();
    ASSERT_EQ(list.RowCount(), 3);
    int subject = -1;
    for (int c = 0; c < list.ColumnCount(); ++c) {
        if (list.ColumnTitle(c) == "Subject") subject = c;
    }
    ASSERT_GE(subject, 0);
    std::set<std::string> subjects;
    for (int r = 0; r < 3; ++r) subjects.insert(list.CellText(r, subject));
    EXPECT_EQ(subjects, (std::set<std::string>{"note 1", "note 2", "note 3"}));

    // A click on a row shows its letter; after the read delay it counts as read in the label.
    const long unreadBefore = std::stol(getinfo(receive, kThisNode, "UnreadItemSum"));
    ASSERT_GE(unreadBefore, 2);
    const std::string chosen = list.CellText(1, subject);
    wxRect second;
    ASSERT_TRUE(list.control()->GetItemRect(1, second));
    desktop.window().Raise();  // the simulated click lands on whatever window is on top
    wxUIActionSimulator mouse;
    mouse.MouseMove(list.control()->ClientToScreen(second.GetPosition() + wxPoint(60, 4)));
    wxTheApp->Yield(true);
    mouse.MouseClick();
    EXPECT_TRUE(PumpUntil([&] {
        return desktop.mailViewer().pane().headerLines().second.find(WxFromBytes(chosen)) !=
               wxString::npos;
    })) << BytesFromWx(desktop.mailViewer().pane().headerLines().second)
        << " | " << chosen;
    EXPECT_NE(BytesFromWx(desktop.mailViewer().pane().editor()->GetValue()).find("body"),
              std::string::npos);
    const std::string unreadAfter = std::to_string(unreadBefore - 1);
    EXPECT_TRUE(
        PumpUntil([&] { return getinfo(receive, kThisNode, "UnreadItemSum") == unreadAfter; },
                  15 * kSeconds));
    EXPECT_EQ(Label(desktop, receive), "Receive (" + unreadAfter + "/3)");
    EXPECT_EQ(list.RowCount(), 3) << "a letter marked read keeps its one row";
    // Unread letters show in bold, read ones do not.
    for (int r = 0; r < list.RowCount(); ++r) {
        const bool unread = list.ItemData(r) & kRowUnread;
        const wxItemAttr look = list.RowLook(r);
        EXPECT_EQ(look.HasFont() && look.GetFont().GetWeight() == wxFONTWEIGHT_BOLD, unread) << r;
    }
    EXPECT_FALSE(list.ItemData(1) & kRowUnread);

    // Ctrl+F and typing: the list keeps the matching letter; Escape brings all back.
    desktop.window().Raise();
    wxUIActionSimulator keys;
    keys.Char('f', wxMOD_CONTROL);
    EXPECT_TRUE(PumpUntil([&] {
        return wxWindow::FindFocus() == desktop.window().quickSearchField() ||
               wxWindow::FindFocus()->GetParent() == desktop.window().quickSearchField();
    }));
    keys.Text("NOTE 3");
    EXPECT_TRUE(PumpUntil([&] { return list.RowCount() == 1; }, 5 * kSeconds));
    EXPECT_EQ(list.CellText(0, subject), "note 3");
    EXPECT_EQ(Label(desktop, receive), "Receive (" + unreadAfter + "/3)");
    keys.Char(WXK_ESCAPE);
    EXPECT_TRUE(PumpUntil([&] { return list.RowCount() == 3; }, 5 * kSeconds));
    EXPECT_TRUE(desktop.window().quickSearchField()->GetValue().empty());
    // The letter read before the search is the current one again.
    ASSERT_NE(desktop.letters().currentLetter(), nullptr);
    EXPECT_EQ(list.CellText(list.FocusedRow(), subject), chosen);

    // "Show text by WEB" from the mail menu: the letter shows again, as a page, and the
    // setting is kept in the store's root.
    EXPECT_FALSE(desktop.mailViewer().viewer().browserShown());
    Click(desktop.window(), {CommandSet::kFrame, int(FrameCommand::kShowTextByWeb)});
    EXPECT_EQ(getinfo(sys.root(), kThisNode, "ShowTextByWEB"), "True");
    EXPECT_TRUE(desktop.mailViewer().viewer().browserShown());
    EXPECT_TRUE(desktop.mailViewer().pane().browser().view()->IsShown());
    Click(desktop.window(), {CommandSet::kFrame, int(FrameCommand::kShowTextByWeb)});
    EXPECT_EQ(getinfo(sys.root(), kThisNode, "ShowTextByWEB"), "False");
    EXPECT_FALSE(desktop.mailViewer().viewer().browserShown());

    const std::string shot = test::ArtifactPath("main_window.png");
    EXPECT_TRUE(SaveScreenshot(&desktop.window(), shot));
    std::printf("main window screenshot: %s\n", shot.c_str());

    // The tool bar's "Template" opens the account's user's templates.
    Click(desktop.window(), {CommandSet::kFrame, int(FrameCommand::kTemplate)});
    ASSERT_NE(desktop.templateWindow(), nullptr);
    EXPECT_EQ(desktop.templateWindow()->GetTitle(), "Template");
    EXPECT_TRUE(desktop.templateWindow()->IsShown());
    desktop.templateWindow()->Close();
    EXPECT_TRUE(PumpUntil([&] { return desktop.templateWindow() == nullptr; }));
    desktop.window().Raise();

    // A right click on the list offers the "mail" menu.
    std::vector<ContextMenu> popped;
    desktop.window().SetPopupHook([&](ContextMenu menu) { popped.push_back(menu); });
    wxRect row;
    ASSERT_TRUE(list.control()->GetItemRect(2, row));
    mouse.MouseMove(list.control()->ClientToScreen(row.GetPosition() + wxPoint(60, 4)));
    wxTheApp->Yield(true);
    mouse.MouseClick(wxMOUSE_BTN_RIGHT);
    EXPECT_TRUE(PumpUntil([&] { return !popped.empty(); }, 5 * kSeconds));
    EXPECT_EQ(popped, std::vector<ContextMenu>{ContextMenu::kMail});

    // Leaving: the window goes, the tray icon is taken away, the owner is told once.
    desktop.frame().Exit();
    EXPECT_TRUE(PumpUntil([&] { return closed > 0; }, 10 * kSeconds));
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(desktop.window().IsShown());
    EXPECT_TRUE(desktop.exiting());
    // The window's place was kept for the next run.
    EXPECT_NE(test::ReadFile(options.settingsFile).find("Width=1100"), std::string::npos)
        << test::ReadFile(options.settingsFile);
}

// A letter written in the composer window and sent through the SMTP server with AUTH reaches
// its receiver, its copy receiver and its blind-copy receiver, who is named nowhere in it.
TEST_F(DesktopGuiTest, ComposerSendsALetterWithACopyABlindCopyAndAnAttachment) {
    std::string bytes;
    for (int i = 0; i < 70000; ++i) bytes += static_cast<char>((i * 7) % 256);
    const std::string file = temp.path() +
                             "Bericht \xc3\xbc"
                             "ber.bin";
    std::ofstream(file, std::ios::binary) << bytes;
    options.composerFiles = [&] { return std::vector<std::string>{file, file}; };

    Desktop desktop(options);
    baseDataStruct* user = StartAndCreateUser(desktop, "ann");
    ASSERT_NE(user, nullptr);
    baseDataStruct* account = AddAccountThroughMenu(desktop, user);
    ASSERT_NE(account, nullptr);
    servers.StopSmtp();
    ASSERT_TRUE(servers.StartSmtp(true)) << servers.error();
    setinfo(account, kThisNode, "smtpPort", std::to_string(servers.smtpPort()));
    setinfo(account, kThisNode, "SmtpCheck", "True");
    setinfo(account, kThisNode, "SmtpUser", "ann");
    setinfo(account, kThisNode, "SmtpPass", "pw-ann");

    Select(desktop, account);
    Click(desktop.window(), {CommandSet::kFrame, int(FrameCommand::kNew)});
    ASSERT_EQ(desktop.composers().size(), 1u);
    ComposerFrame& composer = *desktop.composers().front();
    EXPECT_EQ(composer.GetTitle(), "Write Mail");
    const std::string subject =
        "Gr\xc3\xbc\xc3\x9f"
        "e aus K\xc3\xb6ln";
    const std::string body = "Hallo Ann,\r\nbis morgen.\r\n";
    composer.SetLine(ComposerLine::kTo, "Ann <ann@localhost>");
    composer.SetLine(ComposerLine::kCc, "carl@localhost");
    // The confidential button opens the address book's picker; cancelled, it leaves the line
    // open for typing.
    wxTEST_DIALOG(composer.Run(ComposerFrame::kConfidentialButton), CancelPicker());
    composer.SetLine(ComposerLine::kConfidential, "dora@localhost");
    composer.SetLine(ComposerLine::kSubject, subject);
    composer.text().SetText(body);
    composer.Run(ComposerFrame::kAttachment);
    ASSERT_EQ(composer.logic().attachmentNames(), std::vector<std::string>{"Bericht \xc3\xbc"
                                                                           "ber.bin"});
    EXPECT_TRUE(SaveScreenshot(&composer, test::ArtifactPath("composer.png")));
    composer.Run(ComposerFrame::kSend);

    // The send task runs in the task window and leaves one letter in each maildir.
    ASSERT_TRUE(PumpUntil([&] { return desktop.taskWindow() != nullptr; }, 10 * kSeconds));
    ASSERT_TRUE(PumpUntil([&] { return desktop.taskWindow() == nullptr; }, 60 * kSeconds));
    EXPECT_TRUE(desktop.composers().empty());
    for (const char* receiver : {"ann", "carl", "dora"}) {
        SCOPED_TRACE(receiver);
        // ann's maildir also holds the three letters the fixture put there.
        std::vector<std::string> files = servers.Letters(receiver);
        std::erase_if(files,
                      [](const std::string& f) { return f == "m1" || f == "m2" || f == "m3"; });
        ASSERT_EQ(files.size(), 1u);
        std::string raw = test::ReadFile(servers.Maildir(receiver) + "new/" + files[0]);
        if (raw.empty()) raw = test::ReadFile(servers.Maildir(receiver) + "cur/" + files[0]);
        const std::string header = raw.substr(0, raw.find("\r\n\r\n"));
        EXPECT_EQ(MailGetHeaderItem(header, "Subject"), subject);
        EXPECT_EQ(header.find("dora"), std::string::npos) << header;
        std::unique_ptr<baseDataStruct> parts = CreateRootNode();
        mailProcess(raw, parts.get(), true);
        std::string text, attachment, name;
        for (const baseDataStruct* p = parts->firstSon(); p; p = p->nextBrother()) {
            if (getinfo(p, kThisNode, "type") == "text") text = getinfo(p, kThisNode, "SDATA");
            if (getinfo(p, kThisNode, "type") != "attachment") continue;
            name = getinfo(p, kThisNode, "fileName");
            const std::string part = getinfo(p, kThisNode, "SDATA");
            const size_t start = part.find("\r\n\r\n");
            ASSERT_NE(start, std::string::npos);
            CMailCodec::DecodeBase64(std::string_view(part).substr(start + 4), attachment);
        }
        EXPECT_EQ(text, body);
        EXPECT_EQ(name,
                  "Bericht \xc3\xbc"
                  "ber.bin");
        EXPECT_TRUE(attachment == bytes) << attachment.size() << " bytes";
    }
    desktop.frame().Exit();
    EXPECT_TRUE(PumpUntil([&] { return closed > 0; }, 10 * kSeconds));
}

TEST_F(DesktopGuiTest, ExitWaitsForTheRunningTaskAndIgnoresLaterCommands) {
    // A user and an account from an earlier run.
    {
        Desktop first(options);
        baseDataStruct* user = StartAndCreateUser(first, "ann");
        ASSERT_NE(user, nullptr);
        ASSERT_NE(AddAccountThroughMenu(first, user), nullptr);
    }
    wxTheApp->Yield(true);

    // The next start asks for nothing: the user exists, and the autostart entry is not
    // written again.
    std::filesystem::remove(options.autostartPath);
    Desktop desktop(options);
    ASSERT_TRUE(desktop.Start());
    wxTheApp->Yield(true);
    EXPECT_FALSE(std::filesystem::exists(options.autostartPath));
    CSysData& sys = desktop.stores().sys();
    baseDataStruct* folder = sys.DataGetSysPoint(sys.root()->firstSon(), kKindUATree);
    ASSERT_NE(folder, nullptr);
    baseDataStruct* account = folder->firstSon();
    ASSERT_NE(account, nullptr);

    // Receive with the main window hidden: the task window is made hidden too.
    Select(desktop, account);
    desktop.frame().OnClose();
    EXPECT_FALSE(desktop.window().IsShown());
    desktop.frame().QueueTask(account, kTaskReceive, "-1", true);
    ASSERT_NE(desktop.taskWindow(), nullptr);
    EXPECT_FALSE(desktop.taskWindow()->IsShown());

    // A command line asks for the same receive: it shares the waiting task.
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    InstanceConnection commandLine(ends[1]);
    desktop.TakeTaskRequest("run receive-all", std::make_shared<InstanceConnection>(ends[0]));
    EXPECT_EQ(desktop.taskWindow()->taskList().RowCount(), 1);

    // Exit while the task may still run: the owner hears of it only after the task window
    // has gone; commands after the exit do nothing.
    desktop.frame().Exit();
    EXPECT_EQ(desktop.frame().QueueTask(account, kTaskReceive, "-1", true), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return closed > 0; }, 60 * kSeconds));
    EXPECT_EQ(desktop.taskWindow(), nullptr);
    EXPECT_EQ(closed, 1);

    // The command line is told, not left waiting.
    std::string line;
    EXPECT_EQ(commandLine.ReadLine(&line, std::chrono::seconds(5)),
              InstanceConnection::Read::kLine);
    EXPECT_EQ(line, "accepted");
    EXPECT_EQ(commandLine.ReadLine(&line, std::chrono::seconds(5)),
              InstanceConnection::Read::kLine);
    EXPECT_EQ(line, "fail Korvo is closing");
}

TEST_F(DesktopGuiTest, ANewBoxGoesWhereTheDialogsTreeSaysAndIsThereAfterARestart) {
    {
        Desktop first(options);
        baseDataStruct* user = StartAndCreateUser(first, "ann");
        ASSERT_NE(user, nullptr);
        baseDataStruct* one = AddAccountThroughMenu(first, user);
        ASSERT_NE(one, nullptr);
        ASSERT_NE(AddAccountThroughMenu(first, user), nullptr);
        baseDataStruct* two = one->nextBrother();
        ASSERT_NE(two, nullptr);
        // The first account is selected; the dialog's tree puts the box in the second.
        Select(first, one);
        std::string shownUser;
        wxTEST_DIALOG(Click(first.window(), {CommandSet::kTree, int(TreeCommand::kAddBox)}),
                      PlaceBoxThroughDialog(two->nodeId(), "Archive", &shownUser));
        EXPECT_EQ(shownUser, "ann");
    }
    wxTheApp->Yield(true);

    Desktop desktop(options);
    ASSERT_TRUE(desktop.Start());
    CSysData& sys = desktop.stores().sys();
    baseDataStruct* folder = sys.DataGetSysPoint(sys.root()->firstSon(), kKindUATree);
    ASSERT_NE(folder, nullptr);
    auto archiveIn = [&](baseDataStruct* account) -> baseDataStruct* {
        baseDataStruct* boxes = account ? sys.DataGetSysPoint(account, kKindPBoxTree) : nullptr;
        for (baseDataStruct* b = boxes ? boxes->firstSon() : nullptr; b; b = b->nextBrother())
            if (getinfo(b, kThisNode, "caption") == "Archive") return b;
        return nullptr;
    };
    baseDataStruct* one = folder->firstSon();
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(archiveIn(one), nullptr);
    baseDataStruct* box = archiveIn(one->nextBrother());
    ASSERT_NE(box, nullptr);
    EXPECT_NE(getinfo(box, kThisNode, "LinkId"), "-1");
    EXPECT_NE(desktop.tree().ItemOfNode(box), kNoItem);
}

TEST_F(DesktopGuiTest, ALockedUserOpensOnlyWithItsPasswordAndTheCloseBoxHides) {
    Desktop desktop(options);
    CSysData& sys = desktop.stores().sys();
    baseDataStruct* user = StartAndCreateUser(desktop, "ann");
    ASSERT_NE(user, nullptr);
    // An account, so the user's item has something to open.
    ASSERT_NE(AddAccountThroughMenu(desktop, user), nullptr);
    wxTreeCtrl* tree = desktop.window().userTree().control();
    const wxTreeItemId item = WxTreeView::ToWx(desktop.tree().ItemOfNode(user));
    tree->Collapse(item);  // not locked yet: no question
    EXPECT_FALSE(tree->IsExpanded(item));

    // Lock the user from the "User" menu.
    Select(desktop, user);
    wxTEST_DIALOG(Click(desktop.window(), {CommandSet::kTree, int(TreeCommand::kLockUser)}),
                  TypeIntoLockDialog("pw", "pw"));
    EXPECT_EQ(getinfo(user, kThisNode, "LockState"), "lock");
    desktop.window().UpdateCommandStates();
    const int lockItem =
        desktop.window().commands().IdsOf({CommandSet::kTree, int(TreeCommand::kLockUser)}).front();
    EXPECT_TRUE(desktop.window().GetMenuBar()->IsChecked(lockItem));

    // Opening its item asks for the password: a wrong one leaves it closed and locked.
    std::string message;
    wxTEST_DIALOG(tree->Expand(item), TypeIntoLockDialog("wrong", ""),
                  ExpectMessageBox(wxOK, &message));
    EXPECT_EQ(message, "Error password input!");
    EXPECT_FALSE(tree->IsExpanded(item));
    EXPECT_EQ(getinfo(user, kThisNode, "LockState"), "lock");
    wxTEST_DIALOG(tree->Expand(item), TypeIntoLockDialog("pw", ""));
    EXPECT_TRUE(tree->IsExpanded(item));
    EXPECT_EQ(getinfo(user, kThisNode, "LockState"), "unLock");

    // The item shows its open lock; one real click on that picture locks the user again.
    EXPECT_EQ(tree->GetItemState(item), 2);
    desktop.window().Raise();
    // The tree lays its items out when idle: look for the picture until it is there.
    wxPoint lockIcon(-1, -1);
    const bool found = PumpUntil(
        [&] {
            wxRect row;
            if (!tree->GetBoundingRect(item, row)) return false;
            for (int x = 0; x < row.GetRight(); ++x) {
                int flags = 0;
                const wxPoint at(x, row.y + row.height / 2);
                if (tree->HitTest(at, flags) == item && (flags & wxTREE_HITTEST_ONITEMSTATEICON)) {
                    lockIcon = at + wxPoint(4, 0);
                    return true;
                }
            }
            return false;
        },
        5 * kSeconds);
    ASSERT_TRUE(found) << "the item shows no lock picture";
    {
        wxUIActionSimulator mouse;
        mouse.MouseMove(tree->ClientToScreen(lockIcon));
        wxTheApp->Yield(true);
        mouse.MouseClick();
    }
    EXPECT_TRUE(
        PumpUntil([&] { return getinfo(user, kThisNode, "LockState") == "lock"; }, 5 * kSeconds));
    EXPECT_EQ(tree->GetItemState(item), 1);
    EXPECT_FALSE(tree->IsExpanded(item));
    wxTEST_DIALOG(tree->Expand(item), TypeIntoLockDialog("pw", ""));
    EXPECT_EQ(getinfo(user, kThisNode, "LockState"), "unLock");

    // A right click on an item's label selects it and offers the sub-menu of its kind.
    std::vector<ContextMenu> popped;
    desktop.window().SetPopupHook([&](ContextMenu menu) { popped.push_back(menu); });
    auto rightClick = [&](baseDataStruct* node) {
        wxRect label;
        const wxTreeItemId id = WxTreeView::ToWx(desktop.tree().ItemOfNode(node));
        ASSERT_TRUE(tree->GetBoundingRect(id, label, true));
        wxUIActionSimulator mouse;
        mouse.MouseMove(tree->ClientToScreen(label.GetPosition() + wxPoint(4, label.height / 2)));
        wxTheApp->Yield(true);
        mouse.MouseClick(wxMOUSE_BTN_RIGHT);
        const size_t before = popped.size();
        EXPECT_TRUE(PumpUntil([&] { return popped.size() > before; }, 5 * kSeconds));
    };
    baseDataStruct* account = sys.DataGetSysPoint(user, kKindUATree)->firstSon();
    desktop.window().Raise();
    rightClick(account);
    EXPECT_EQ(desktop.tree().selectedNode(), account);
    rightClick(sys.root());
    EXPECT_EQ(desktop.tree().selectedNode(), sys.root());
    EXPECT_EQ(popped, (std::vector<ContextMenu>{ContextMenu::kAccount, ContextMenu::kSystem}));

    // The close box hides the window in the tray, or leaves when there is no tray to come back
    // from.
    desktop.window().Close();
    EXPECT_FALSE(desktop.window().IsShown());
    if (wxTaskBarIcon::IsAvailable()) {
        wxTheApp->Yield(true);
        EXPECT_EQ(closed, 0);
        EXPECT_FALSE(desktop.exiting());
    } else {
        EXPECT_TRUE(PumpUntil([&] { return closed == 1; }, 10 * kSeconds));
    }
}

TEST_F(DesktopGuiTest, FileMenuImportsIntoTheSelectedBoxAsATaskAndExportsItAgain) {
    const std::string archives = KORVO_ARCHIVE_DIR;
    const std::string exported = temp.path() + "out.mbox";
    std::vector<TransferDialog> asked;
    options.transferFiles = [&](TransferDialog dialog, const std::string&) {
        asked.push_back(dialog);
        if (dialog == TransferDialog::kImportLetters)
            return std::vector<std::string>{archives + "/python.mbox", archives + "/maildir"};
        return std::vector<std::string>{exported};
    };
    Desktop desktop(options);
    baseDataStruct* user = StartAndCreateUser(desktop, "ann");
    ASSERT_NE(user, nullptr);
    baseDataStruct* account = AddAccountThroughMenu(desktop, user);
    ASSERT_NE(account, nullptr);
    baseDataStruct* receive =
        desktop.stores().sys().DataGetSysPoint(account, kKindBox, kBoxReceive);
    Select(desktop, receive);

    Click(desktop.window(), {CommandSet::kTransfer, int(TransferCommand::kImportLetters)});
    ASSERT_NE(desktop.taskWindow(), nullptr);
    EXPECT_TRUE(desktop.taskWindow()->IsShown());
    WxListView& tasks = desktop.taskWindow()->taskList();
    ASSERT_EQ(tasks.RowCount(), 1);
    EXPECT_EQ(tasks.CellText(0, 0), "Import");
    ASSERT_TRUE(PumpUntil([&] { return tasks.CellText(0, 2) == "Run over!"; }, 60 * kSeconds));
    EXPECT_EQ(tasks.CellText(0, 3), "7 letters imported");
    // The count stays in the status bar; the box lists the letters.
    EXPECT_TRUE(PumpUntil(
        [&] { return desktop.window().GetStatusBar()->GetStatusText() == "7 letters imported"; }));
    EXPECT_EQ(desktop.letters().shownBox(), receive);
    // All but the deleted one; unread counts that one too.
    EXPECT_EQ(desktop.window().letterList().RowCount(), 6);
    EXPECT_EQ(Label(desktop, receive), "Receive (3/6)");

    Click(desktop.window(), {CommandSet::kTransfer, int(TransferCommand::kExportBox)});
    EXPECT_EQ(desktop.window().GetStatusBar()->GetStatusText(), "7 letters exported.");
    std::ifstream in(exported);
    int fromLines = 0;
    for (std::string line; std::getline(in, line);) fromLines += line.rfind("From ", 0) == 0;
    EXPECT_EQ(fromLines, 7);
    EXPECT_EQ(asked, (std::vector<TransferDialog>{TransferDialog::kImportLetters,
                                                  TransferDialog::kExportBox}));
}

}  // namespace
}  // namespace korvo
