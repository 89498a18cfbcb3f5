// The main window's layout, tool bar, menus and their commands, the tray icon and its strip.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/image.h>
#include <wx/splitter.h>
#include <wx/srchctrl.h>
#include <wx/toolbar.h>

#include <set>
#include <vector>

#include "shell/desktop_interfaces.h"
#include "shell/letter_list.h"
#include "ui/main_window.h"
#include "ui/tool_art.h"
#include "ui/tray_strip.h"
#include "ui/wx_text.h"
#include "ui/wx_tray_view.h"

namespace korvo {
namespace {

struct RecordingSink : CommandSink {
    std::vector<MenuCommand> disabled;
    std::vector<MenuCommand> checked;
    std::vector<MenuCommand> runs;
    int closeRequests = 0;

    static bool Has(const std::vector<MenuCommand>& list, MenuCommand c) {
        return std::find(list.begin(), list.end(), c) != list.end();
    }
    bool IsCommandEnabled(MenuCommand c) override { return !Has(disabled, c); }
    bool IsCommandChecked(MenuCommand c) override { return Has(checked, c); }
    void RunCommand(MenuCommand c) override { runs.push_back(c); }
    void CloseRequested() override { ++closeRequests; }
};

MenuCommand Tree(TreeCommand c) {
    return {CommandSet::kTree, int(c)};
}
MenuCommand Frame(FrameCommand c) {
    return {CommandSet::kFrame, int(c)};
}
MenuCommand Letter(int c) {
    return {CommandSet::kLetter, c};
}

// The ids of the items titled `text` in `menu`.
std::vector<int> ItemIds(wxMenu* menu, const std::string& text) {
    std::vector<int> ids;
    for (wxMenuItem* item : menu->GetMenuItems()) {
        if (!item->IsSeparator() && BytesFromWx(item->GetItemLabelText()) == text)
            ids.push_back(item->GetId());
    }
    return ids;
}

class MainWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = new MainWindow(sink);
        window->Show();
    }
    void TearDown() override { window->Destroy(); }

    wxMenu* BarMenu(const char* title) {
        const int index = window->GetMenuBar()->FindMenu(title);
        return index == wxNOT_FOUND ? nullptr : window->GetMenuBar()->GetMenu(size_t(index));
    }
    int ToolId(const char* label) {
        wxToolBar* bar = window->GetToolBar();
        for (size_t i = 0; i < bar->GetToolsCount(); ++i) {
            const wxToolBarToolBase* tool = bar->GetToolByPos(int(i));
            if (tool->GetLabel() == label) return tool->GetId();
        }
        return wxID_NONE;
    }
    void Click(int id) {
        wxCommandEvent event(wxEVT_MENU, id);
        event.SetEventObject(window);
        window->ProcessWindowEvent(event);
    }

    RecordingSink sink;
    MainWindow* window = nullptr;
};

// The buttons show the icon theme's pictures where it has them, our drawings where not, and
// every button fits the window at its first size (none falls into an overflow menu).
TEST_F(MainWindowTest, ToolBarIconsComeFromTheThemeAndTheBarFitsTheWindow) {
    bool fromTheme = false;
    const wxBitmap receive = ToolIcon("Receive", 0, &fromTheme);
    EXPECT_TRUE(fromTheme) << "the icon theme has no mail-send-receive";
    EXPECT_EQ(receive.GetSize(), wxSize(kToolImageWidth, kToolImageHeight));
    const wxBitmap none = ToolIcon("No such button", 0, &fromTheme);
    EXPECT_FALSE(fromTheme);
    EXPECT_TRUE(none.IsOk());

    wxToolBar* bar = window->GetToolBar();
    wxTheApp->Yield(true);
    EXPECT_LE(bar->GetBestSize().x, window->GetClientSize().x)
        << "tool bar " << bar->GetBestSize().x << " wide in a window of "
        << window->GetClientSize().x;
}

TEST_F(MainWindowTest, ToolBarButtonsInOrderWithTheirCommands) {
    wxToolBar* bar = window->GetToolBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->GetName(), "Standard");
    const std::vector<std::pair<const char*, int>> expected = {
        {"Receive", int(FrameCommand::kReceive)},
        {"Preview", int(FrameCommand::kPreview)},
        {"Send", int(FrameCommand::kSend)},
        {"", 0},
        {"New", int(FrameCommand::kNew)},
        {"Back", int(FrameCommand::kBack)},
        {"Forward", int(FrameCommand::kForward)},
        {"", 0},
        {"User", int(FrameCommand::kUserProperty)},
        {"Account", int(FrameCommand::kAccountProperty)},
        {"Box", int(FrameCommand::kBoxProperty)},
        {"Email", int(FrameCommand::kEmail)},
        {"", 0},
        {"Address", int(FrameCommand::kAddress)},
        {"Template", int(FrameCommand::kTemplate)},
        {"Filter", int(FrameCommand::kFilter)},
    };
    ASSERT_EQ(bar->GetToolsCount(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const wxToolBarToolBase* tool = bar->GetToolByPos(int(i));
        SCOPED_TRACE(expected[i].first);
        if (!*expected[i].first) {
            EXPECT_TRUE(tool->IsSeparator());
            continue;
        }
        EXPECT_EQ(tool->GetLabel(), expected[i].first);
        const auto command = window->commands().Find(tool->GetId());
        ASSERT_TRUE(command.has_value());
        EXPECT_EQ(command->command, expected[i].second);
        EXPECT_EQ(command->set, CommandSet::kFrame);
    }
    // Drop-downs on the buttons that have them.
    EXPECT_NE(window->DropdownMenu(ToolId("Preview")), nullptr);
    EXPECT_NE(window->DropdownMenu(ToolId("Email")), nullptr);
    EXPECT_EQ(window->DropdownMenu(ToolId("Address")), nullptr);
}

TEST_F(MainWindowTest, ItemsWithTheSameNumberRunTheirOwnSetsCommand) {
    // 32788 is "Box property" of the tree and "Receive letter" of the frame; 32791 is
    // "Box clear lock" and the letter list's "Cancel keep on".
    const int boxProperty = ItemIds(BarMenu("&Box"), "Box property").at(0);
    const int receiveLetter =
        ItemIds(window->DropdownMenu(ToolId("Preview")), "Receive letter").at(0);
    const int clearBoxLock = ItemIds(BarMenu("&Box"), "Box clear lock").at(0);
    const int cancelKeep = ItemIds(BarMenu("&mail"), "Cancel keep on").at(0);
    const int userDropProperty = ItemIds(window->DropdownMenu(ToolId("User")), "Property").at(0);
    Click(boxProperty);
    Click(receiveLetter);
    Click(clearBoxLock);
    Click(cancelKeep);
    Click(userDropProperty);
    Click(ToolId("Receive"));
    Click(ItemIds(BarMenu("&mail"), "Show text by WEB").at(0));
    const std::vector<MenuCommand> expected = {
        Tree(TreeCommand::kBoxOption),      Frame(FrameCommand::kReceiveLetter),
        Tree(TreeCommand::kClearBoxLock),   Letter(kCmdCancelKeep),
        Tree(TreeCommand::kUserOption),     Frame(FrameCommand::kReceive),
        Frame(FrameCommand::kShowTextByWeb)};
    EXPECT_EQ(sink.runs, expected);

    // Items without a handler run nothing.
    sink.runs.clear();
    Click(ItemIds(BarMenu("&File"), "Open(O)...").at(0));
    Click(ItemIds(BarMenu("&mail"), "Set password").at(0));
    EXPECT_TRUE(sink.runs.empty());
    Click(ToolId("Filter"));
    EXPECT_EQ(sink.runs, std::vector<MenuCommand>{Frame(FrameCommand::kFilter)});
}

TEST_F(MainWindowTest, SinkEnablesAndChecksItemsWithoutHandlerStayDisabled) {
    sink.disabled = {Tree(TreeCommand::kDeleteUser), Frame(FrameCommand::kSend),
                     Letter(kCmdSetRead), Frame(FrameCommand::kFilter)};
    sink.checked = {Tree(TreeCommand::kLockUser), Letter(kCmdShowHidden)};
    window->UpdateCommandStates();
    wxMenuBar* bar = window->GetMenuBar();

    for (const char* text : {"Open(O)...", "Save as(S)...", "Save attachment(A)",
                             "receive all account", "Preview all account", "Send all account",
                             "Import(I)...", "Export(O)...", "set check option"}) {
        SCOPED_TRACE(text);
        const std::vector<int> ids = ItemIds(BarMenu("&File"), text);
        ASSERT_EQ(ids.size(), 1u);
        EXPECT_FALSE(bar->IsEnabled(ids[0]));
    }
    // The File menu's Receive, Preview and Send are the tool bar's, enabled as the sink says.
    EXPECT_TRUE(bar->IsEnabled(ItemIds(BarMenu("&File"), "Receive").at(0)));
    EXPECT_FALSE(bar->IsEnabled(ItemIds(BarMenu("&File"), "Send").at(0)));
    EXPECT_TRUE(bar->IsEnabled(ItemIds(BarMenu("&File"), "Exit").at(0)));
    for (const char* text : {"Set password", "Refuse mail", "mail option"}) {
        EXPECT_FALSE(bar->IsEnabled(ItemIds(BarMenu("&mail"), text).at(0))) << text;
    }
    EXPECT_FALSE(bar->IsEnabled(ItemIds(BarMenu("&User"), "Delete user").at(0)));
    EXPECT_TRUE(bar->IsEnabled(ItemIds(BarMenu("&User"), "Property").at(0)));
    EXPECT_FALSE(bar->IsEnabled(ItemIds(BarMenu("&mail"), "Set readed").at(0)));
    EXPECT_TRUE(bar->IsEnabled(ItemIds(BarMenu("&mail"), "Set unread").at(0)));
    EXPECT_TRUE(bar->IsChecked(ItemIds(BarMenu("&User"), "Lock user").at(0)));
    EXPECT_FALSE(bar->IsChecked(ItemIds(BarMenu("&Account"), "Lock account").at(0)));
    EXPECT_TRUE(bar->IsChecked(ItemIds(BarMenu("&mail"), "Show hidden").at(0)));

    wxMenu* userDrop = window->DropdownMenu(ToolId("User"));
    EXPECT_FALSE(userDrop->IsEnabled(ItemIds(userDrop, "Delete user").at(0)));
    EXPECT_TRUE(userDrop->IsChecked(ItemIds(userDrop, "Lock user").at(0)));
    wxMenu* receiveDrop = window->DropdownMenu(ToolId("Receive"));
    EXPECT_FALSE(receiveDrop->IsEnabled(ItemIds(receiveDrop, "Receive All").at(0)));

    wxToolBar* tools = window->GetToolBar();
    EXPECT_FALSE(tools->GetToolEnabled(ToolId("Send")));
    EXPECT_TRUE(tools->GetToolEnabled(ToolId("Receive")));
    EXPECT_FALSE(tools->GetToolEnabled(ToolId("Filter")));

    // The sink's answers are asked again each time.
    sink.disabled.clear();
    window->UpdateCommandStates();
    EXPECT_TRUE(tools->GetToolEnabled(ToolId("Send")));
    EXPECT_TRUE(bar->IsEnabled(ItemIds(BarMenu("&User"), "Delete user").at(0)));
    EXPECT_TRUE(tools->GetToolEnabled(ToolId("Filter")));
}

TEST_F(MainWindowTest, LayoutMinimumSizeAndCloseGoesToTheSink) {
    EXPECT_EQ(window->GetTitle(), "Korvo");
    EXPECT_EQ(window->GetMinClientSize(), wxSize(kMinClientWidth, kMinClientHeight));
    window->SetClientSize(100, 100);
    const wxSize client = window->GetClientSize();
    EXPECT_GE(client.x, kMinClientWidth);
    EXPECT_GE(client.y, kMinClientHeight);

    auto* left = dynamic_cast<wxSplitterWindow*>(window->userTree().control()->GetParent());
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->GetWindow2(), window->addressPlace());
    auto* columns = dynamic_cast<wxSplitterWindow*>(left->GetParent());
    ASSERT_NE(columns, nullptr);
    EXPECT_EQ(columns->GetSashPosition(), kLeftColumnWidth);
    // The letter list shares its pane with the quick search field.
    EXPECT_EQ(window->quickSearchField()->GetParent(), window->letterList().control()->GetParent());
    auto* right =
        dynamic_cast<wxSplitterWindow*>(window->letterList().control()->GetParent()->GetParent());
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->GetParent(), columns);
    EXPECT_EQ(right->GetSashPosition(), kLetterListHeight);
    auto* lower = dynamic_cast<wxSplitterWindow*>(window->viewerPlace()->GetParent());
    ASSERT_NE(lower, nullptr);
    EXPECT_EQ(lower->GetWindow2(), window->attachmentList().control());

    EXPECT_FALSE(window->Close());  // vetoed: the sink decides
    EXPECT_EQ(sink.closeRequests, 1);
    EXPECT_TRUE(window->IsShown());
}

struct RecordingTray : TraySink {
    std::vector<FrameCommand> commands;
    int doubleClicks = 0;
    bool taskWindowExists = false;
    void TrayCommand(FrameCommand c) override { commands.push_back(c); }
    bool IsTrayCommandEnabled(FrameCommand c) override {
        return c != FrameCommand::kTrayShowTask || taskWindowExists;
    }
    void TrayDoubleClick() override { ++doubleClicks; }
};

TEST(TrayView, MenuItemsGoToTheSinkCheckStaysDisabled) {
    RecordingTray sink;
    WxTrayView tray(sink);
    tray.ShowImage(25, "Korvo");  // harmless without a tray
    EXPECT_EQ(tray.shownImage(), 25);
    EXPECT_EQ(tray.tip(), "Korvo");

    std::unique_ptr<wxMenu> menu(tray.MakeMenu());
    std::vector<std::string> labels;
    for (wxMenuItem* item : menu->GetMenuItems()) {
        if (!item->IsSeparator()) labels.push_back(BytesFromWx(item->GetItemLabelText()));
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Show", "Hide", "Show Task", "Check", "exit"}));
    EXPECT_FALSE(menu->IsEnabled(ItemIds(menu.get(), "Check").at(0)));
    EXPECT_FALSE(menu->IsEnabled(ItemIds(menu.get(), "Show Task").at(0)));
    EXPECT_TRUE(menu->IsEnabled(ItemIds(menu.get(), "exit").at(0)));
    sink.taskWindowExists = true;
    menu.reset(tray.MakeMenu());
    EXPECT_TRUE(menu->IsEnabled(ItemIds(menu.get(), "Show Task").at(0)));

    for (const char* text : {"Hide", "Check", "exit", "Show"}) {
        wxCommandEvent event(wxEVT_MENU, ItemIds(menu.get(), text).at(0));
        tray.icon().ProcessEvent(event);
    }
    EXPECT_EQ(sink.commands,
              (std::vector<FrameCommand>{FrameCommand::kTrayHide, FrameCommand::kExit,
                                         FrameCommand::kShowMainAndTasks}));
    wxTaskBarIconEvent click(wxEVT_TASKBAR_LEFT_DCLICK, &tray.icon());
    tray.icon().ProcessEvent(click);
    EXPECT_EQ(sink.doubleClicks, 1);
    tray.Remove();
    EXPECT_EQ(tray.shownImage(), -1);
}

// Pixels (colour or transparency) in which two images of the strip differ.
int Difference(const wxImage& strip, int a, int b) {
    int differing = 0;
    for (int y = 0; y < kTrayImageSize; ++y) {
        for (int x = 0; x < kTrayImageSize; ++x) {
            const int xa = a * kTrayImageSize + x, xb = b * kTrayImageSize + x;
            const bool same = strip.GetRed(xa, y) == strip.GetRed(xb, y) &&
                              strip.GetGreen(xa, y) == strip.GetGreen(xb, y) &&
                              strip.GetBlue(xa, y) == strip.GetBlue(xb, y) &&
                              strip.GetAlpha(xa, y) == strip.GetAlpha(xb, y);
            if (!same) ++differing;
        }
    }
    return differing;
}

TEST(TrayStrip, ThirtyImagesEachTellsApartFromEveryOther) {
    const wxBitmap bitmap = TrayStripBitmap();
    ASSERT_TRUE(bitmap.IsOk());
    ASSERT_EQ(bitmap.GetWidth(), kTrayImageCount * kTrayImageSize);
    ASSERT_EQ(bitmap.GetHeight(), kTrayImageSize);
    const wxImage strip = bitmap.ConvertToImage();
    ASSERT_TRUE(strip.HasAlpha());
    for (int a = 0; a < kTrayImageCount; ++a) {
        // Every image shows something: at least a quarter of its pixels are opaque.
        int opaque = 0;
        for (int y = 0; y < kTrayImageSize; ++y)
            for (int x = 0; x < kTrayImageSize; ++x)
                opaque += strip.GetAlpha(a * kTrayImageSize + x, y) == 255;
        EXPECT_GE(opaque, kTrayImageSize * kTrayImageSize / 4) << "image " << a;
        for (int b = a + 1; b < kTrayImageCount; ++b) {
            EXPECT_GE(Difference(strip, a, b), 4) << "images " << a << " and " << b;
        }
    }
    // An index outside the strip shows the idle image.
    const wxImage outside = wxBitmap(TrayImage(99)).ConvertToImage();
    const wxImage idle = wxBitmap(TrayImage(16)).ConvertToImage();
    ASSERT_EQ(outside.GetSize(), wxSize(kTrayImageSize, kTrayImageSize));
    EXPECT_EQ(std::memcmp(outside.GetData(), idle.GetData(), 16 * 16 * 3), 0);
    const wxImage other = wxBitmap(TrayImage(25)).ConvertToImage();
    EXPECT_NE(std::memcmp(other.GetData(), idle.GetData(), 16 * 16 * 3), 0);
}

}  // namespace
}  // namespace korvo
