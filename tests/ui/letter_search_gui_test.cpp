// Finding and moving letters in the desktop: the find window opened with its key, its hits, a
// double click that shows the letter in its box, Cancel; and letters dragged onto a box.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/button.h>
#include <wx/uiaction.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "content/letter_node.h"
#include "tests/model/model_fixture.h"
#include "tests/ui/gui_wait.h"
#include "ui/desktop.h"
#include "ui/find_frame.h"
#include "ui/wx_tree_view.h"

// Last: Xlib defines short macros (None, Bool, Status) that other headers use as names.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace korvo {
namespace {

using test::PumpUntil;

// Input faked through the X server's XTest extension from a thread of its own: a drag runs the
// toolkit's own loop until the button goes up, and no wx timer or call of the test's code runs
// in it. The library is opened at run time, so that building needs no extra headers.
class XInput {
  public:
    XInput() {
        library_ = dlopen("libXtst.so.6", RTLD_NOW);
        display_ = XOpenDisplay(nullptr);
        if (library_) {
            motion_ = reinterpret_cast<Motion>(dlsym(library_, "XTestFakeMotionEvent"));
            button_ = reinterpret_cast<Button>(dlsym(library_, "XTestFakeButtonEvent"));
            key_ = reinterpret_cast<Key>(dlsym(library_, "XTestFakeKeyEvent"));
        }
    }
    ~XInput() {
        if (display_) XCloseDisplay(display_);
        if (library_) dlclose(library_);
    }
    bool ok() const { return display_ && motion_ && button_ && key_; }
    void MoveTo(wxPoint at) { Send(motion_(display_, -1, at.x, at.y, CurrentTime)); }
    void Press(bool down) { Send(button_(display_, 1, down, CurrentTime)); }
    void Control(bool down) {
        Send(key_(display_, XKeysymToKeycode(display_, XK_Control_L), down, CurrentTime));
    }

  private:
    using Motion = int (*)(Display*, int, int, int, unsigned long);
    using Button = int (*)(Display*, unsigned, int, unsigned long);
    using Key = int (*)(Display*, unsigned, int, unsigned long);
    void Send(int) { XFlush(display_); }

    void* library_ = nullptr;
    Display* display_ = nullptr;
    Motion motion_ = nullptr;
    Button button_ = nullptr;
    Key key_ = nullptr;
};

// Drags with the real pointer from `from` to `to` (screen points), with `ctrl` held once moving,
// while the event loop runs; false when XTest is missing or the drag did not finish in time.
bool DragWithMouse(wxPoint from, wxPoint to, bool ctrl) {
    std::atomic<bool> done{false}, faked{false};
    std::thread hand([&] {
        XInput input;
        faked = input.ok();
        const auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(60)); };
        if (input.ok()) {
            input.MoveTo(from);
            pause();
            input.Press(true);
            pause();
            constexpr int kMoves = 30;
            for (int i = 1; i <= kMoves; ++i) {
                input.MoveTo(from + (to - from) * i / kMoves);
                pause();
                // Ctrl from the start would make the press a Ctrl+click, which unselects.
                if (ctrl && i == kMoves / 3) input.Control(true);
            }
            for (int i = 0; i < 4; ++i) {  // rest over the target
                input.MoveTo(to + wxPoint(i % 2, 0));
                pause();
            }
            input.Press(false);
            pause();
            if (ctrl) input.Control(false);
        }
        done = true;
    });
    const bool finished = PumpUntil([&] { return done.load(); }, 20000);
    hand.join();
    test::PumpFor(300);
    return finished && faked;
}

std::string Letter(const std::string& subject, const std::string& body) {
    return "From: Bob <bob@localhost>\r\nTo: ann@localhost\r\nSubject: " + subject +
           "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\n" + body + "\r\n";
}

// A user with two accounts and letters in their receive boxes, written before the desktop
// starts over the same data directory.
class DesktopWithLettersTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        baseDataStruct* user = AddUser("ann");
        baseDataStruct* home = AddAccount(user, "home");
        baseDataStruct* work = AddAccount(user, "work");
        for (int i = 0; i < 30; ++i)
            Add(Box(home, kBoxReceive), Letter("note " + std::to_string(i), "nothing"));
        Add(Box(work, kBoxReceive), Letter("figures", "the quarterly budget"));
        stores.reset();  // the desktop opens the files itself
        ASSERT_TRUE(desktop.Start());
    }
    baseDataStruct* Box(baseDataStruct* account, int subKind) {
        return sys().DataGetSysPoint(account, kKindBox, subKind);
    }
    void Add(baseDataStruct* box, const std::string& raw) {
        baseDataStruct* letter =
            AddSonText(mail().SysReadLinkTree(box, kLoadProperty | kLoadStrdata), "type =letter");
        setinfo(letter, kThisNode, "SDATA", raw);
        mailInitProperty(letter, box, &mail());
        mail().DataSavePoint(letter);
    }
    // The receive box of an account, in the desktop's stores (ids change on loading).
    baseDataStruct* Inbox(const char* account) {
        CSysData& sys = desktop.stores().sys();
        return sys.DataGetSysPoint(findinfo(sys.root(), "caption", account), kKindBox, kBoxReceive);
    }
    void Select(baseDataStruct* node) {
        const TreeItem item = desktop.tree().ItemOfNode(node);
        ASSERT_NE(item, kNoItem);
        desktop.window().userTree().control()->SelectItem(WxTreeView::ToWx(item));
    }

    Desktop desktop;
};

using DesktopLettersGuiTest = DesktopWithLettersTest;

TEST_F(DesktopLettersGuiTest, FindsInAllAccountsShowsTheLetterInItsBoxAndCancels) {
    Select(Inbox("home"));
    desktop.window().Raise();
    wxUIActionSimulator keys;
    keys.Char('f', wxMOD_CONTROL | wxMOD_SHIFT);
    ASSERT_TRUE(PumpUntil([&] { return desktop.findWindow() != nullptr; }, 5000));
    FindFrame& find = *desktop.findWindow();
    EXPECT_EQ(find.scopeChoice()->GetCount(), 3u);  // all accounts, home, work

    const auto run = [&](const char* words, bool body) {
        find.wordsField()->SetValue(words);
        find.bodyOption()->SetValue(body);
        find.StartFind();
        EXPECT_TRUE(PumpUntil([&] { return !find.searching(); }, 10000));
        test::PumpFor(100);
        return find.results()->GetItemCount();
    };
    EXPECT_EQ(run("budget", false), 0);
    EXPECT_EQ(run("budget", true), 1);
    EXPECT_EQ(find.results()->GetItemText(0, 2), "figures");
    EXPECT_EQ(find.statusText(), "Found: 1.");
    EXPECT_EQ(run("NOTE", false), 30);

    // The work account alone holds no note.
    find.scopeChoice()->SetSelection(2);
    EXPECT_EQ(run("note", false), 0);
    find.scopeChoice()->SetSelection(0);

    // A double click on the hit shows the letter in the other account's box.
    run("figures", false);
    wxListEvent activated(wxEVT_LIST_ITEM_ACTIVATED, find.results()->GetId());
    activated.m_itemIndex = 0;
    activated.SetEventObject(find.results());
    find.results()->ProcessWindowEvent(activated);
    EXPECT_EQ(desktop.letters().shownBox(), Inbox("work"));
    ASSERT_NE(desktop.letters().currentLetter(), nullptr);
    EXPECT_EQ(desktop.letters().currentLetter()->nodeId() & kNodeIdMask, find.hits()[0].letterId);

    // Cancel stops the search where it is.
    find.wordsField()->SetValue("note");
    find.StartFind();
    EXPECT_TRUE(find.cancelButton()->IsEnabled());
    find.CancelFind();
    EXPECT_FALSE(find.searching());
    EXPECT_FALSE(find.cancelButton()->IsEnabled());
    EXPECT_EQ(find.statusText().rfind("Cancelled.", 0), 0u) << find.statusText();
}

TEST_F(DesktopLettersGuiTest, LettersDraggedOntoABoxMoveOrWithCtrlCopy) {
    baseDataStruct* inbox = Inbox("home");
    CSysData& sys = desktop.stores().sys();
    baseDataStruct* trash = sys.DataGetSysPoint(inbox, kKindBox, kBoxTrash);
    ASSERT_NE(trash, nullptr);
    Select(inbox);
    desktop.window().Raise();
    wxListCtrl* list = desktop.window().letterList().control();
    wxTreeCtrl* tree = desktop.window().userTree().control();
    const auto lettersIn = [&](baseDataStruct* box) {
        baseDataStruct* link = desktop.stores().mail().SysGetLinkItem(box);
        return link ? TextToLong(getinfo(link, kThisNode, "sumSon")) : 0;
    };
    const auto drag = [&](int row, bool ctrl) {
        wxRect rowRect;
        list->GetItemRect(row, rowRect);
        const wxPoint from = list->ClientToScreen(rowRect.GetLeftTop() + wxPoint(30, 5));
        const wxTreeItemId item = WxTreeView::ToWx(desktop.tree().ItemOfNode(trash));
        tree->EnsureVisible(item);
        wxRect itemRect;
        ASSERT_TRUE(tree->GetBoundingRect(item, itemRect, true));
        const wxPoint to = tree->ClientToScreen(itemRect.GetLeftTop() + wxPoint(10, 4));
        // The row is chosen first, as a click does.
        wxUIActionSimulator click;
        click.MouseMove(from);
        click.MouseClick();
        ASSERT_TRUE(PumpUntil([&] { return list->GetSelectedItemCount() == 1; }, 5000));
        test::PumpFor(1000);  // the viewer shows the letter meanwhile
        EXPECT_TRUE(DragWithMouse(from, to, ctrl));
    };
    ASSERT_EQ(list->GetItemCount(), 30);

    const auto valid = [&](baseDataStruct* box) {
        return TextToLong(getinfo(box, kThisNode, "ValidateItemSum"));
    };

    drag(0, false);
    EXPECT_EQ(lettersIn(trash), 1);
    // Moved: the letter is deleted in its box (it stays there until the box is compressed).
    EXPECT_EQ(valid(inbox), 29);
    EXPECT_EQ(valid(trash), 1);

    drag(1, true);
    EXPECT_EQ(lettersIn(trash), 2);
    EXPECT_EQ(valid(inbox), 29);
    EXPECT_EQ(valid(trash), 2);
}

}  // namespace
}  // namespace korvo
