// A receive task runs on the engine's worker while the test thread works with the letter list
// of the same boxes the way the user interface thread does: every step holds the model lock,
// and the list itself is the receive's listener. Built with ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "content/letter_node.h"
#include "controls/memory_list_view.h"
#include "model/sys_schema.h"
#include "platform/model_lock.h"
#include "shell/letter_list.h"
#include "store/node_tree.h"
#include "tests/model/model_fixture.h"
#include "tests/support/fake_pop3.h"
#include "transport/task_engine.h"
#include "transport/task_work.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;
using Clock = std::chrono::steady_clock;

constexpr int kLetters = 300;
constexpr long kColumns = kColumnFrom | kColumnSubject;

struct QuietViewer : LetterViewer {
    void ShowMail(baseDataStruct*) override {}
    void ClearMail() override {}
};
struct QuietFrame : LetterFrame {
    void OpenLetter(baseDataStruct*, int) override {}
    void RefreshBoxLabel(baseDataStruct*) override {}
    void SelectTreeNode(baseDataStruct*) override {}
};
struct QuietEvents : TaskWindowEvents {
    void SetTitle(const std::string&) override {}
    void CloseWindow() override {}
    void RaiseMailIndicator(int) override {}
};
class ManualClock : public ListClock {
  public:
    int64_t NowMs() override { return now; }
    int64_t now = 1000;
};

std::string Uid(int i) {
    return "uid-" + std::to_string(1000 + i);
}

class ReceiveRaceTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        std::vector<test::FakePop3::Letter> letters;
        for (int i = 0; i < kLetters; ++i) {
            letters.push_back({Uid(i), test::SizedLetter("letter " + std::to_string(i), 400)});
        }
        server.SetLetters(std::move(letters));
        account = AddAccount(AddUser("ann"), "work", "bob@example.test");
        test::PointAtPop3(account, server.port(), "bob", "s3cret");
        receive = Box(kBoxReceive);
        drafts = Box(kBoxDrafts);
        trash = Box(kBoxTrash);
        SetShow(receive, kShowNormal | kShowHidden | kColumns);
        SetShow(drafts, kShowNormal | kColumns);
        SetShow(trash, kShowNormal | kShowHidden | kShowDeleted | kColumns);
        engine.SetupList(600);
    }

    baseDataStruct* Box(int subKind) { return sys().DataGetSysPoint(account, kKindBox, subKind); }
    baseDataStruct* Letters(baseDataStruct* box) {
        return mail().SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
    }
    void SetShow(baseDataStruct* box, long word) {
        setinfo(box, kThisNode, "showColumn", LongToText(word));
    }

    // One user event on the test thread: picks rows of the shown box and runs a command.
    void UserStep() {
        Lock lock(ModelLock());
        baseDataStruct* shown = list.shownBox();
        const int rows = rowsView.RowCount();
        auto selectSome = [&](int most) {
            for (int r = 0; r < rows; ++r) rowsView.SetRowSelected(r, false);
            if (rows == 0) return;
            const int count = 1 + int(rng() % most);
            for (int k = 0; k < count; ++k) rowsView.SetRowSelected(int(rng() % rows), true);
        };
        switch (rng() % 12) {
            case 0:  // another box now and then, mostly the one that receives
                list.showList(rng() % 3 == 0 ? (rng() % 2 ? trash : drafts) : receive);
                break;
            case 1:
            case 2:
                selectSome(4);
                list.OnCommand(rng() % 2 ? kCmdSetRead : kCmdSetUnread);
                break;
            case 3:
                selectSome(3);
                list.OnCommand(rng() % 2 ? kCmdSetHidden : kCmdSetUnhidden);
                break;
            case 4:
                // In the trash a delete only marks; elsewhere it moves the letters there.
                selectSome(2);
                list.OnCommand(kCmdDelete);
                ++deletes;
                break;
            case 5:
                // Only in the trash: a letter undeleted in the box it was moved out of would
                // rightly be kept twice.
                if (shown == trash) {
                    selectSome(4);
                    list.OnCommand(kCmdUndelete);
                }
                break;
            case 6:
            case 7:
                if (shown == receive) {
                    selectSome(3);
                    list.boxCopyLetter(drafts);
                    ++moves;
                }
                break;
            case 8:
            case 9:
                if (rows > 0) {
                    const int row = int(rng() % rows);
                    rowsView.SetFocusedRow(row);
                    list.OnSelectionChanged(row);
                }
                break;
            default:
                clock.now += 1000;
                list.OnTimer();
                break;
        }
        if (++steps % 25 == 0) ExpectRowsMatchLetters();
    }

    // Ticks like the window's timer and works like the user between ticks until the task
    // ends; `during` runs before every step.
    void RunTask(const std::function<void()>& during = {}) {
        baseDataStruct* task = engine.AddTask(account, "ann", kTaskReceive);
        ASSERT_NE(task, nullptr);
        list.showList(receive);
        const auto deadline = Clock::now() + std::chrono::seconds(180);
        while (teststate(task, STATE_VALID) && Clock::now() < deadline) {
            engine.Tick();
            if (during) during();
            UserStep();
            if (engine.taskRunning()) ++stepsWhileRunning;
        }
        ASSERT_FALSE(teststate(task, STATE_VALID)) << "the receive did not end in time";
        // Rows kept up by the worker and by the commands alike.
        ExpectRowsMatchLetters();
    }

    std::string TaskCell(int column) { return taskView.CellText(0, column); }

    static bool Visible(uint32_t state, long word) {
        const bool hidden = state & LETTER_HIDDEN;
        const bool deleted = !(state & STATE_VALID);
        return (hidden && (word & kShowHidden)) || (deleted && (word & kShowDeleted)) ||
               (!deleted && !hidden && (word & kShowNormal));
    }

    // The rows of the shown box are its visible letters, once each, with their flags.
    void ExpectRowsMatchLetters() {
        Lock lock(ModelLock());
        baseDataStruct* box = list.shownBox();
        ASSERT_NE(box, nullptr);
        const long word = TextToLong(getinfo(box, kThisNode, "showColumn"));
        std::map<uint32_t, uint32_t> visible;  // node id -> state
        for (baseDataStruct* l = Letters(box)->firstSon(); l; l = l->nextBrother())
            if (Visible(getstate(l), word)) visible.emplace(l->nodeId() & kNodeIdMask, getstate(l));
        std::map<uint32_t, uint32_t> rows;  // node id -> item data
        for (int r = 0; r < rowsView.RowCount(); ++r) {
            const uint32_t data = rowsView.ItemData(r);
            EXPECT_TRUE(rows.emplace(data & kNodeIdMask, data).second) << "two rows, one letter";
        }
        ASSERT_EQ(rows.size(), visible.size()) << getinfo(box, kThisNode, "caption");
        for (const auto& [id, state] : visible) {
            auto row = rows.find(id);
            ASSERT_NE(row, rows.end()) << "no row for letter " << id;
            EXPECT_EQ((row->second & kRowUnread) != 0, !(state & LETTER_READ)) << id;
            EXPECT_EQ((row->second & kRowHidden) != 0, (state & LETTER_HIDDEN) != 0) << id;
            EXPECT_EQ((row->second & kRowDeleted) != 0, !(state & STATE_VALID)) << id;
        }
    }

    // The four counters of a box against its letters.
    void ExpectCountersMatch(baseDataStruct* box) {
        long valid = 0, deleted = 0, hidden = 0, unread = 0;
        for (baseDataStruct* l = Letters(box)->firstSon(); l; l = l->nextBrother()) {
            (teststate(l, STATE_VALID) ? valid : deleted)++;
            if (teststate(l, LETTER_HIDDEN)) ++hidden;
            if (!teststate(l, LETTER_READ)) ++unread;
        }
        auto counter = [&](const char* key) {
            return std::max(0L, TextToLong(getinfo(box, kThisNode, key)));
        };
        const std::string box_name = getinfo(box, kThisNode, "caption");
        EXPECT_EQ(counter("ValidateItemSum"), valid) << box_name;
        EXPECT_EQ(counter("DeleteItemSum"), deleted) << box_name;
        EXPECT_EQ(counter("HideItemSum"), hidden) << box_name;
        EXPECT_EQ(counter("UnreadItemSum"), unread) << box_name;
    }

    // Where each MailId is kept: a valid letter of the receive or drafts box, or any letter of
    // the trash (which the user deleted there, or undeleted again).
    std::map<std::string, int> KeptLetters() {
        std::map<std::string, int> kept;
        for (baseDataStruct* box : {receive, drafts, trash}) {
            for (baseDataStruct* l = Letters(box)->firstSon(); l; l = l->nextBrother()) {
                if (box == trash || teststate(l, STATE_VALID))
                    ++kept[getinfo(l, kThisNode, "MailId")];
            }
        }
        return kept;
    }

    test::FakePop3 server;
    baseDataStruct* account = nullptr;
    baseDataStruct* receive = nullptr;
    baseDataStruct* drafts = nullptr;
    baseDataStruct* trash = nullptr;

    MemoryListView rowsView;
    CBaseListControl rowsControl{rowsView};
    QuietViewer viewer;
    QuietFrame frame;
    ManualClock clock;
    CLetterList list{rowsControl, sys(), viewer, frame, clock};

    MemoryListView taskView;
    CBaseListControl taskControl{taskView};
    QuietEvents events;
    CDlgRSMail engine{taskControl, events,
                      MakeTaskWork(*stores, MakeReceiveRunner(*stores, list),
                                   SocketTimeouts{std::chrono::milliseconds(5000),
                                                  std::chrono::milliseconds(10000)}),
                      MakeAccountLookup(*stores)};

    std::mt19937 rng{20040106};
    int steps = 0;
    int stepsWhileRunning = 0;
    int moves = 0;
    int deletes = 0;
};

TEST_F(ReceiveRaceTest, EveryLetterArrivesOnceWhileTheUserWorksTheBoxes) {
    RunTask();
    EXPECT_EQ(TaskCell(2), "Run over!");
    EXPECT_EQ(TaskCell(3), "ok");
    EXPECT_GT(stepsWhileRunning, 50);
    EXPECT_GT(moves, 0);
    EXPECT_GT(deletes, 0);

    const auto kept = KeptLetters();
    for (int i = 0; i < kLetters; ++i) {
        auto it = kept.find(Uid(i));
        EXPECT_TRUE(it != kept.end() && it->second == 1)
            << Uid(i) << " kept " << (it == kept.end() ? 0 : it->second) << " times";
    }
    EXPECT_EQ(kept.size(), size_t(kLetters));
    // The user's moves really happened during the receive.
    EXPECT_FALSE(Letters(drafts)->firstSon() == nullptr);
    EXPECT_FALSE(Letters(trash)->firstSon() == nullptr);
    // Every letter was stored before the server deleted it.
    EXPECT_TRUE(server.letters().empty());
    for (baseDataStruct* box : {receive, drafts, trash}) ExpectCountersMatch(box);
}

TEST_F(ReceiveRaceTest, CancelMidReceiveKeepsWhatArrivedAndTheServerWhole) {
    // The server stalls on one letter until the user has pressed Cancel.
    std::mutex mutex;
    std::condition_variable changed;
    bool stalled = false, cancelled = false;
    server.OnCommand([&](const std::string& command) {
        if (command != "RETR 120") return;
        std::unique_lock<std::mutex> hold(mutex);
        stalled = true;
        changed.wait_for(hold, std::chrono::seconds(30), [&] { return cancelled; });
    });
    RunTask([&] {
        std::lock_guard<std::mutex> hold(mutex);
        if (stalled && !cancelled) {
            engine.Cancel();
            cancelled = true;
            changed.notify_all();
        }
    });
    EXPECT_TRUE(cancelled);
    // A cancel is no failure: the task's texts stay.
    EXPECT_EQ(TaskCell(2), "Run over!");
    EXPECT_GT(stepsWhileRunning, 20);

    // The letters before the stalled one arrived once each; none after it.
    const auto kept = KeptLetters();
    for (int i = 0; i < kLetters; ++i) {
        auto it = kept.find(Uid(i));
        const int times = it == kept.end() ? 0 : it->second;
        EXPECT_EQ(times, i < 119 ? 1 : 0) << Uid(i);
    }
    // Deletions take effect at the QUIT, which the cancelled session never sent.
    EXPECT_EQ(server.letters().size(), size_t(kLetters));
    for (baseDataStruct* box : {receive, drafts, trash}) ExpectCountersMatch(box);
}

}  // namespace
}  // namespace korvo
