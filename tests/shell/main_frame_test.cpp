#include "shell/main_frame.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "content/letter_node.h"
#include "controls/memory_list_view.h"
#include "shell/mail_indicator.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"
#include "tests/shell/viewer_fakes.h"
#include "transport/task_engine.h"

namespace korvo {
namespace {

class FakeTree : public UserTree {
  public:
    baseDataStruct* selectedNode() override { return selected; }
    void RunCommand(TreeCommand command) override { ran.push_back(command); }
    bool IsCommandEnabled(TreeCommand command) override { return enabled.count(command) > 0; }
    bool IsCommandChecked(TreeCommand command) override { return checked.count(command) > 0; }
    bool askMenuState(std::string_view) override { return false; }

    baseDataStruct* selected = nullptr;
    std::vector<TreeCommand> ran;
    std::set<TreeCommand> enabled, checked;
};

class NoEvents : public TaskWindowEvents {
  public:
    void SetTitle(const std::string&) override {}
    void CloseWindow() override {}
    void RaiseMailIndicator(int) override {}
};

// The main and task windows; the task window holds a real engine that is never ticked.
class FakeWindows : public FrameWindows {
  public:
    bool MainWindowVisible() override { return mainVisible; }
    void ShowMainWindow(bool show) override {
        mainVisible = show;
        calls.push_back(show ? "show main" : "hide main");
    }
    CDlgRSMail* TaskWindow() override { return engine.get(); }
    CDlgRSMail* CreateTaskWindow(bool visible) override {
        ++created;
        taskVisible = visible;
        engine = std::make_unique<CDlgRSMail>(
            control, events, [](baseDataStruct*, TaskRecord&, const TaskAction&) {},
            [](uint32_t) { return nullptr; });
        engine->SetupList(600);
        return engine.get();
    }
    void ShowTaskWindow(bool show) override {
        if (!engine) return;
        taskVisible = show;
        calls.push_back(show ? "show task" : "hide task");
    }
    void ShowTrayMenu() override { calls.push_back("tray menu"); }
    void CloseMainFrame() override { calls.push_back("close frame"); }

    // The task nodes as "type list" texts.
    std::vector<std::string> Tasks() const {
        std::vector<std::string> tasks;
        for (baseDataStruct* t = engine ? engine->tasks()->firstSon() : nullptr; t;
             t = t->nextBrother()) {
            tasks.push_back(test::Get(t, "TASK") + " " + test::Get(t, "MailIdList"));
        }
        return tasks;
    }

    bool mainVisible = true;
    bool taskVisible = false;
    int created = 0;
    std::vector<std::string> calls;
    MemoryListView view;
    CBaseListControl control{view};
    NoEvents events;
    std::unique_ptr<CDlgRSMail> engine;
};

class FakeSecondary : public SecondaryWindows {
  public:
    void OpenComposer(const ComposerRequest& request) override { composers.push_back(request); }
    void OpenAddressBook(const std::string& title) override { opened.push_back(title); }
    void OpenTemplates(const std::string& title) override { opened.push_back(title); }
    void OpenFilterManager(baseDataStruct*) override { opened.push_back("filters"); }
    std::vector<ComposerRequest> composers;
    std::vector<std::string> opened;
};

class RecordingTray : public TrayView {
  public:
    void ShowImage(int image, std::string_view) override { images.push_back(image); }
    void Remove() override { ++removed; }
    std::vector<int> images;
    int removed = 0;
};

class RecordingViewer : public LetterViewer {
  public:
    void ShowMail(baseDataStruct* letter) override { shown.push_back(letter); }
    void ClearMail() override {}
    std::vector<baseDataStruct*> shown;
};

class QuietFrame : public LetterFrame {
  public:
    void OpenLetter(baseDataStruct*, int) override {}
    void RefreshBoxLabel(baseDataStruct*) override {}
    void SelectTreeNode(baseDataStruct*) override {}
};

class MainFrameTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        user = AddUser("ann");
        account = AddAccount(user, "home");
        receive = sys().DataGetSysPoint(account, kKindBox, kBoxReceive);
        setinfo(receive, kThisNode, "showColumn", LongToText(0x8000 | 0x10000 | kColumnSubject));
        frame.OnCreate();
    }

    baseDataStruct* AddLetter(const std::string& mailId) {
        baseDataStruct* letters = mail().SysReadLinkTree(receive, kLoadProperty | kLoadStrdata);
        baseDataStruct* letter = AddSonText(letters, "type =letter");
        if (!mailId.empty()) setinfo(letter, kThisNode, "MailId", mailId);
        setinfo(letter, kThisNode, "SDATA",
                "From: a@x.org\r\nSubject: s" + mailId + "\r\n\r\nbody\r\n");
        mailInitProperty(letter, receive, &mail());
        mail().DataSavePoint(letter);
        return letter;
    }
    void SelectRows(std::initializer_list<int> rows) {
        for (int r = 0; r < listView.RowCount(); ++r) listView.SetRowSelected(r, false);
        for (int r : rows) listView.SetRowSelected(r, true);
    }
    bool Enabled(FrameCommand command) { return frame.IsCommandEnabled(command); }

    baseDataStruct* user = nullptr;
    baseDataStruct* account = nullptr;
    baseDataStruct* receive = nullptr;
    MemoryListView listView;
    CBaseListControl listControl{listView};
    RecordingViewer viewer;
    QuietFrame letterFrame;
    CLetterList letters{listControl, sys(), viewer, letterFrame};
    FakeTree tree;
    FakeWindows windows;
    FakeSecondary secondary;
    RecordingTray trayView;
    CMainFrame frame{sys(), tree, letters, viewer, windows, secondary, trayView};
};

TEST_F(MainFrameTest, AccountTasksFollowTheTreeSelection) {
    // Nothing selected, or a node without an account: nothing queued, no task window.
    EXPECT_TRUE(frame.OnCommand(FrameCommand::kReceive));
    tree.selected = user;
    frame.OnCommand(FrameCommand::kSend);
    EXPECT_EQ(windows.created, 0);

    tree.selected = receive;
    frame.OnCommand(FrameCommand::kReceive);
    EXPECT_EQ(windows.created, 1);
    EXPECT_TRUE(windows.taskVisible);
    frame.OnCommand(FrameCommand::kReceive);  // the same task is waiting already
    frame.OnCommand(FrameCommand::kPreview);
    tree.selected = account;
    frame.OnCommand(FrameCommand::kSend);
    EXPECT_EQ(windows.Tasks(), (std::vector<std::string>{"0 -1", "1 -1", "2 -1"}));
    EXPECT_EQ(windows.created, 1);
    EXPECT_EQ(windows.view.CellText(0, 1), "home [ann]");
    EXPECT_EQ(test::Get(windows.engine->tasks()->firstSon(), "ACCOUNT_PTR"),
              std::to_string(account->nodeId()));

    // A composer's send request names a node below the account.
    windows.engine.reset();
    windows.mainVisible = false;
    frame.SendFor(receive);
    frame.SendFor(user);  // no account above it
    EXPECT_EQ(windows.Tasks(), (std::vector<std::string>{"2 -1"}));
    EXPECT_FALSE(windows.taskVisible);  // the program sits in the tray
}

TEST_F(MainFrameTest, TaskWindowShowsOnlyWithTheMainWindow) {
    tree.selected = receive;
    // The scheduled check creates the window hidden even while the main window is shown.
    setinfo(account, kThisNode, "check", "1");
    setinfo(account, kThisNode, "checkTimer", "1");
    frame.OnCheckTimer();
    EXPECT_EQ(windows.created, 1);
    EXPECT_FALSE(windows.taskVisible);
    frame.OnCheckTimer();  // the next minute's task waits behind the first
    EXPECT_FALSE(windows.taskVisible);
    EXPECT_EQ(windows.Tasks(), (std::vector<std::string>{"0 -1"}));

    // A command of the user shows the window that exists.
    frame.OnCommand(FrameCommand::kPreview);
    EXPECT_TRUE(windows.taskVisible);
    EXPECT_EQ(windows.created, 1);
}

TEST_F(MainFrameTest, LetterTasksListTheSelectedLettersLastFirst) {
    AddLetter("id-a");
    AddLetter("id-b");
    AddLetter("id-c");
    AddLetter("");  // written here: no server id
    letters.showList(receive);
    ASSERT_EQ(listView.RowCount(), 4);
    tree.selected = receive;

    // No row selected: nothing queued and no task window.
    SelectRows({});
    frame.OnCommand(FrameCommand::kReceiveLetter);
    EXPECT_EQ(windows.created, 0);
    SelectRows({3});
    frame.OnCommand(FrameCommand::kDeleteLetter);
    EXPECT_EQ(windows.created, 0);

    SelectRows({0, 2, 3});
    frame.OnCommand(FrameCommand::kReceiveLetter);
    frame.OnCommand(FrameCommand::kReceiveAndDelete);
    SelectRows({1});
    frame.OnCommand(FrameCommand::kDeleteLetter);
    EXPECT_EQ(windows.Tasks(),
              (std::vector<std::string>{"3 __:id-c;____:id-a;__", "0 __:id-c;____:id-a;__",
                                        "4 __:id-b;__"}));

    // Without an account in the tree the selection is not used.
    tree.selected = nullptr;
    SelectRows({0});
    frame.OnCommand(FrameCommand::kReceiveLetter);
    EXPECT_EQ(windows.Tasks().size(), 3u);
}

TEST_F(MainFrameTest, EnablingOfTheFrameTreeAndMailCommands) {
    for (FrameCommand always :
         {FrameCommand::kReceive, FrameCommand::kNew, FrameCommand::kBack, FrameCommand::kEmail,
          FrameCommand::kAddress, FrameCommand::kShowTextByWeb, FrameCommand::kExit}) {
        EXPECT_TRUE(Enabled(always)) << static_cast<int>(always);
    }
    // The filter manager needs a node inside a user.
    tree.selected = sys().root();
    EXPECT_FALSE(Enabled(FrameCommand::kFilter));
    EXPECT_FALSE(frame.OnCommand(FrameCommand::kFilter));
    tree.selected = account;
    ASSERT_TRUE(Enabled(FrameCommand::kFilter));
    EXPECT_TRUE(frame.OnCommand(FrameCommand::kFilter));
    EXPECT_EQ(secondary.opened.back(), "filters");
    EXPECT_FALSE(Enabled(FrameCommand::kTrayCheck));
    EXPECT_FALSE(frame.IsCommandEnabled(57601));  // a menu item without a handler
    EXPECT_FALSE(frame.OnCommand(57601));

    // "Show Task" only while the task window exists.
    EXPECT_FALSE(Enabled(FrameCommand::kTrayShowTask));
    windows.CreateTaskWindow(false);
    EXPECT_TRUE(Enabled(FrameCommand::kTrayShowTask));

    // Property buttons and the drop-down commands ask the tree.
    EXPECT_FALSE(Enabled(FrameCommand::kAccountProperty));
    EXPECT_FALSE(frame.OnCommand(FrameCommand::kAccountProperty));
    tree.enabled = {TreeCommand::kAccountOption, TreeCommand::kLockBox};
    tree.checked = {TreeCommand::kLockBox};
    EXPECT_TRUE(Enabled(FrameCommand::kAccountProperty));
    EXPECT_FALSE(Enabled(FrameCommand::kUserProperty));
    EXPECT_FALSE(Enabled(FrameCommand::kBoxProperty));
    frame.OnCommand(FrameCommand::kAccountProperty);
    EXPECT_TRUE(frame.IsTreeCommandEnabled(TreeCommand::kLockBox));
    EXPECT_TRUE(frame.IsTreeCommandChecked(TreeCommand::kLockBox));
    EXPECT_FALSE(frame.IsTreeCommandChecked(TreeCommand::kLockUser));
    frame.OnTreeCommand(TreeCommand::kLockBox);
    frame.OnTreeCommand(TreeCommand::kDeleteBox);  // disabled: not run
    frame.OnCommand(FrameCommand::kCreateUser);
    EXPECT_EQ(tree.ran, (std::vector<TreeCommand>{TreeCommand::kAccountOption,
                                                  TreeCommand::kLockBox, TreeCommand::kAddUser}));

    // The mail menu needs a shown box, then follows the list's own rule.
    AddLetter("id-a");
    EXPECT_FALSE(frame.IsMailCommandEnabled(kCmdCompressBox));
    EXPECT_FALSE(frame.OnMailCommand(kCmdCompressBox));
    letters.showList(receive);
    EXPECT_TRUE(frame.IsMailCommandEnabled(kCmdCompressBox));
    SelectRows({});
    EXPECT_FALSE(frame.IsMailCommandEnabled(kCmdSetRead));
    EXPECT_FALSE(Enabled(FrameCommand::kWriteBackSender));
    SelectRows({0});
    EXPECT_TRUE(frame.IsMailCommandEnabled(kCmdSetRead));
    EXPECT_TRUE(Enabled(FrameCommand::kWriteBackSender));
    EXPECT_TRUE(frame.OnMailCommand(kCmdSetRead));
    EXPECT_EQ(test::Get(receive, "UnreadItemSum"), "0");

    // The show commands are checked by the list's show word; toggling one changes its check.
    const bool normal = frame.IsMailCommandChecked(kCmdShowNormal);
    const bool hidden = frame.IsMailCommandChecked(kCmdShowHidden);
    EXPECT_TRUE(frame.OnMailCommand(kCmdShowHidden));
    EXPECT_EQ(frame.IsMailCommandChecked(kCmdShowHidden), !hidden);
    EXPECT_EQ(frame.IsMailCommandChecked(kCmdShowNormal), normal);
    EXPECT_FALSE(frame.IsMailCommandChecked(kCmdSetRead));
}

TEST_F(MainFrameTest, ComposerAndOtherWindows) {
    AddLetter("id-a");
    AddLetter("id-b");
    letters.showList(receive);
    tree.selected = receive;

    frame.OnCommand(FrameCommand::kNew);
    // The write-back items need a letter shown in the list.
    SelectRows({1});
    frame.OnCommand(FrameCommand::kWriteBackSender);
    EXPECT_EQ(secondary.composers.size(), 1u);
    frame.OnLetterListClick(1);
    baseDataStruct* shown = letters.currentLetter();
    ASSERT_NE(shown, nullptr);
    frame.OnCommand(FrameCommand::kWriteBackSender);
    frame.OnCommand(FrameCommand::kWriteBackCc);
    frame.OnCommand(FrameCommand::kBack);
    frame.OnCommand(FrameCommand::kForward);
    frame.OpenLetter(shown, 6);

    struct Expected {
        int mode, variant;
        const char* title;
        baseDataStruct* letter;
    };
    const std::vector<Expected> expected = {
        {4, 0, "Write Mail", nullptr},   {5, 2, "WriteBack", shown},    {5, 3, "WriteBack", shown},
        {5, 1, "WriteBack Mail", shown}, {6, 0, "Forward Mail", shown}, {9, 6, "Show Mail", shown},
    };
    ASSERT_EQ(secondary.composers.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const ComposerRequest& r = secondary.composers[i];
        EXPECT_EQ(r.mode, expected[i].mode) << i;
        EXPECT_EQ(r.variant, expected[i].variant) << i;
        EXPECT_EQ(r.title, expected[i].title) << i;
        EXPECT_EQ(r.letter, expected[i].letter) << i;
        EXPECT_EQ(r.node, receive) << i;
    }

    // A write back also needs a tree selection.
    tree.selected = nullptr;
    frame.OnCommand(FrameCommand::kWriteBackAll);
    EXPECT_EQ(secondary.composers.size(), expected.size());

    frame.OnCommand(FrameCommand::kAddress);
    frame.OnCommand(FrameCommand::kTemplate);
    EXPECT_EQ(secondary.opened, (std::vector<std::string>{"Address Book", "Template"}));
}

TEST_F(MainFrameTest, ShowTextByWebToggleIsStoredAndShowsTheLetterAgain) {
    ASSERT_EQ(test::Get(sys().root(), "ShowTextByWEB"), "-1");
    EXPECT_FALSE(frame.IsCommandChecked(static_cast<int>(FrameCommand::kShowTextByWeb)));
    frame.OnCommand(FrameCommand::kShowTextByWeb);
    EXPECT_EQ(test::Get(sys().root(), "ShowTextByWEB"), "True");
    EXPECT_TRUE(frame.IsCommandChecked(static_cast<int>(FrameCommand::kShowTextByWeb)));
    EXPECT_TRUE(viewer.shown.empty());  // no letter to show again

    AddLetter("id-a");
    letters.showList(receive);
    frame.OnLetterListClick(0);
    viewer.shown.clear();
    frame.OnCommand(FrameCommand::kShowTextByWeb);
    EXPECT_EQ(test::Get(sys().root(), "ShowTextByWEB"), "False");
    EXPECT_FALSE(frame.IsCommandChecked(static_cast<int>(FrameCommand::kShowTextByWeb)));
    ASSERT_EQ(viewer.shown.size(), 1u);
    EXPECT_EQ(viewer.shown[0], letters.currentLetter());

    // Any other value counts as on and turns off.
    setinfo(sys().root(), kThisNode, "ShowTextByWEB", "yes");
    EXPECT_TRUE(frame.IsCommandChecked(static_cast<int>(FrameCommand::kShowTextByWeb)));
    frame.ToggleShowTextByWeb();
    frame.ToggleShowTextByWeb();
    Reopen();
    EXPECT_EQ(test::Get(stores->sys().root(), "ShowTextByWEB"), "True");
}

TEST_F(MainFrameTest, IndicatorAndTrayState) {
    ASSERT_EQ(trayView.images, (std::vector<int>{16}));  // the idle icon is up at creation
    frame.RaiseMailIndicator(1);
    EXPECT_EQ(frame.tray().state(), 5);
    frame.RaiseMailIndicator(2);
    frame.RaiseMailIndicator(1);  // never lowered by a later task
    EXPECT_EQ(MailIndicator::Value(), 2);
    EXPECT_EQ(frame.tray().state(), 6);

    // The worker's states, and back to the indicator's after a failed log-in.
    frame.SetTrayState(1);
    EXPECT_EQ(frame.tray().state(), 1);
    frame.RestoreTrayState();
    EXPECT_EQ(frame.tray().state(), 6);

    // A click in the letter list clears it.
    frame.OnLetterListClick(-1);
    EXPECT_EQ(MailIndicator::Value(), 0);
    EXPECT_EQ(frame.tray().state(), 0);
    frame.RaiseMailIndicator(0);
    EXPECT_EQ(frame.tray().state(), 0);

    trayView.images.clear();
    frame.SetTrayState(3);
    for (int i = 0; i < 5; ++i) frame.OnTrayTimer();
    EXPECT_EQ(trayView.images, (std::vector<int>{8, 9, 10, 11, 8}));

    // A new frame starts with a clear indicator.
    MailIndicator::Raise(2);
    frame.OnCreate();
    EXPECT_EQ(MailIndicator::Value(), 0);
}

TEST_F(MainFrameTest, CloseHidesTrayShowsAndExitCleansUp) {
    frame.OnClose();
    EXPECT_FALSE(windows.mainVisible);
    EXPECT_EQ(windows.calls, (std::vector<std::string>{"hide main"}));  // no task window yet
    frame.OnTrayDoubleClick();
    EXPECT_TRUE(windows.mainVisible);

    windows.CreateTaskWindow(false);
    windows.calls.clear();
    frame.OnCommand(FrameCommand::kTrayHide);
    frame.OnTrayDoubleClick();
    frame.OnTrayRightButton();
    frame.OnCommand(FrameCommand::kShowMainAndTasks);
    frame.OnCommand(FrameCommand::kTrayShowTask);
    EXPECT_EQ(windows.calls,
              (std::vector<std::string>{"hide main", "hide task", "show task", "show main",
                                        "tray menu", "show main", "show task", "show task"}));

    // Exit empties the attachment cache and removes the page files, and only those.
    namespace fs = std::filesystem;
    const std::string temp = dir.path() + "Cache/temp/";
    const std::string html = dir.path() + "Cache/html/";
    fs::create_directories(temp + "sub");
    fs::create_directories(html);
    std::ofstream(temp + "a.pdf") << "x";
    std::ofstream(temp + "sub/b.txt") << "x";
    std::ofstream(html + "korvo.html") << "x";
    std::ofstream(html + "template.html") << "x";
    std::ofstream(html + "template.jpg") << "x";
    std::ofstream(dir.path() + "outside.txt") << "keep";
    fs::create_symlink(dir.path() + "outside.txt", temp + "link");
    windows.calls.clear();
    frame.OnCommand(FrameCommand::kExit);
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_EQ(test::FilesBelow(html), std::set<std::string>{"template.jpg"});
    EXPECT_TRUE(fs::exists(dir.path() + "outside.txt"));
    EXPECT_TRUE(fs::exists(dir.path() + std::string(kSystemStoreFile)));
    EXPECT_EQ(trayView.removed, 1);
    EXPECT_EQ(windows.calls, (std::vector<std::string>{"close frame"}));

    // Links standing in for the cache folders are not followed.
    fs::remove_all(dir.path() + "Cache");
    const std::string elsewhere = dir.path() + "elsewhere/";
    fs::create_directories(elsewhere + "temp");
    fs::create_directories(elsewhere + "html");
    std::ofstream(elsewhere + "temp/x") << "x";
    std::ofstream(elsewhere + "html/korvo.html") << "x";
    fs::create_directory_symlink(elsewhere, dir.path() + "Cache");
    EXPECT_EQ(ClearTemporaryCache(dir.path()), 0);
    fs::remove(dir.path() + "Cache");
    fs::create_directories(html);
    fs::create_directory_symlink(elsewhere + "temp", dir.path() + "Cache/temp");
    EXPECT_EQ(ClearTemporaryCache(dir.path()), 0);
    EXPECT_EQ(test::FilesBelow(elsewhere), (std::set<std::string>{"temp/x", "html/korvo.html"}));
    EXPECT_EQ(ClearTemporaryCache(dir.path() + "missing/"), 0);
}

}  // namespace
}  // namespace korvo
