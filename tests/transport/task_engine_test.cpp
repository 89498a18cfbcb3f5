#include "transport/task_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "controls/memory_list_view.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

struct RecordingEvents : TaskWindowEvents {
    std::vector<std::string> titles;
    int closes = 0;
    int indicator = 0;
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    void CloseWindow() override { ++closes; }
    void RaiseMailIndicator(int result) override { indicator = std::max(indicator, result); }
};

// Work that records what it was asked to do and, when held, blocks until released.
struct FakeWork {
    std::mutex mutex;
    std::condition_variable changed;
    bool held = false;
    bool inside = false;
    std::vector<std::string> done;  // "account:kind:mode"
    int result = 0;

    TaskWork AsWork() {
        return [this](baseDataStruct* account, TaskRecord& record, const TaskAction& action) {
            // Like a session blocked in a receive, it is woken by a cancel.
            record.SetInterrupter([this] {
                std::lock_guard<std::mutex> lock(mutex);
                changed.notify_all();
            });
            std::unique_lock<std::mutex> lock(mutex);
            inside = true;
            changed.notify_all();
            changed.wait(lock, [&] { return !held || record.cancel; });
            if (record.cancel) {
                record.stateText = "Faile";
                record.infoText = "cancelled";
            }
            record.result = result;
            done.push_back(getinfo(account, kThisNode, "caption") + ":" +
                           std::to_string(int(action.kind)) + ":" +
                           std::to_string(action.receiveMode));
            inside = false;
            lock.unlock();
            record.SetInterrupter({});
        };
    }
    void Hold() {
        std::lock_guard<std::mutex> lock(mutex);
        held = true;
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        held = false;
        changed.notify_all();
    }
    void WaitInside() {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(10), [&] { return inside; }));
    }
};

class TaskEngineTest : public ::testing::Test {
  protected:
    TaskEngineTest()
        : engine(list, events, work.AsWork(),
                 [this](uint32_t id) { return findid(system.get(), id); }) {
        engine.SetupList(600);
    }

    // Ticks until the running task's end has been noticed (bounded).
    void RunToEnd() {
        for (int i = 0; i < 5000 && !engine.workerDone(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(engine.workerDone());
        engine.Tick();
    }
    std::string Cell(int row, int column) { return view.CellText(row, column); }

    std::unique_ptr<baseDataStruct> system = CreateRootNode();
    baseDataStruct* work1 = addson(system.get(), "type =Account ,caption =work");
    baseDataStruct* home = addson(system.get(), "type =Account ,caption =home\\, sweet");
    MemoryListView view;
    CBaseListControl list{view};
    RecordingEvents events;
    FakeWork work;
    CDlgRSMail engine;
};

TEST(TaskActions, TypesMapToReceiveModesSendOrNothing) {
    auto is = [](TaskAction a, TaskAction::Kind kind, int mode) {
        return a.kind == kind && (kind != TaskAction::kReceive || a.receiveMode == mode);
    };
    EXPECT_TRUE(is(TaskActionOf(kTaskReceive, false), TaskAction::kReceive, 1));
    EXPECT_TRUE(is(TaskActionOf(kTaskReceive, true), TaskAction::kReceive, 4));
    EXPECT_TRUE(is(TaskActionOf(kTaskPreview, true), TaskAction::kReceive, 0));
    EXPECT_TRUE(is(TaskActionOf(kTaskSend, false), TaskAction::kSend, 0));
    EXPECT_TRUE(is(TaskActionOf(kTaskReceiveList, true), TaskAction::kReceive, 2));
    EXPECT_TRUE(is(TaskActionOf(kTaskReceiveList, false), TaskAction::kNothing, 0));
    EXPECT_TRUE(is(TaskActionOf(kTaskDelete, true), TaskAction::kReceive, 3));
    EXPECT_TRUE(is(TaskActionOf(kTaskDelete, false), TaskAction::kNothing, 0));
    EXPECT_TRUE(is(TaskActionOf(9, true), TaskAction::kNothing, 0));
    EXPECT_STREQ(TaskTypeName(3), "Receive list");
    // The ">>" choice is shared by every window.
    const bool shown = CDlgRSMail::taskListShown();
    EXPECT_EQ(CDlgRSMail::ToggleTaskList(), !shown);
    EXPECT_EQ(CDlgRSMail::ToggleTaskList(), shown);
    EXPECT_EQ(CDlgRSMail::taskListShown(), shown);
}

TEST_F(TaskEngineTest, EqualPendingTasksAreQueuedOnce) {
    EXPECT_EQ(view.ColumnWidth(3), 240);
    EXPECT_NE(engine.AddTask(work1, "ann", kTaskReceive), nullptr);
    EXPECT_EQ(engine.AddTask(work1, "ann", kTaskReceive), nullptr);
    EXPECT_NE(engine.AddTask(work1, "ann", kTaskReceive, "__:id1;__"), nullptr);
    EXPECT_NE(engine.AddTask(work1, "ann", kTaskPreview), nullptr);
    EXPECT_EQ(view.RowCount(), 3);
    EXPECT_EQ(Cell(0, 0), "Receive");
    EXPECT_EQ(Cell(0, 1), "work [ann]");
    EXPECT_EQ(Cell(0, 2), "Waiting");

    for (int i = 0; i < 3; ++i) {
        engine.Tick();
        RunToEnd();
    }
    // After it ran, the same command queues a new task.
    EXPECT_NE(engine.AddTask(work1, "ann", kTaskReceive), nullptr);
    EXPECT_EQ(view.RowCount(), 4);
}

TEST_F(TaskEngineTest, TasksRunInOrderAndReportIntoTheirRows) {
    engine.AddTask(work1, "ann", kTaskReceive);
    engine.AddTask(home, "bob", kTaskDelete);  // without a list: nothing to do
    engine.AddTask(home, "bob", kTaskSend);
    EXPECT_EQ(Cell(1, 1), "home, sweet [bob]");

    work.Hold();
    engine.Tick();
    work.WaitInside();
    EXPECT_EQ(Cell(0, 2), "Runing...");
    EXPECT_TRUE(engine.taskRunning());
    engine.Tick();  // still running: nothing else starts, no countdown
    EXPECT_TRUE(events.titles.empty());
    work.Release();
    RunToEnd();
    EXPECT_EQ(Cell(0, 2), "Run over!");
    EXPECT_EQ(Cell(0, 3), "ok");
    engine.Tick();
    RunToEnd();
    EXPECT_EQ(Cell(1, 2), "Run over!");
    EXPECT_EQ(Cell(1, 3), "ok");
    engine.Tick();
    RunToEnd();
    EXPECT_EQ(work.done, (std::vector<std::string>{"work:1:1", "home, sweet:2:0"}));
    for (baseDataStruct* t = engine.tasks()->firstSon(); t; t = t->nextBrother()) {
        EXPECT_FALSE(teststate(t, STATE_VALID));
    }
}

TEST_F(TaskEngineTest, IdleWindowCountsDownAndCloses) {
    work.result = 1;
    engine.AddTask(work1, "ann", kTaskReceive);
    engine.Tick();
    RunToEnd();  // the tick that notices the end counts down once
    EXPECT_EQ(events.indicator, 1);
    EXPECT_EQ(engine.highestResult(), 1);
    for (int i = 0; i < 6; ++i) engine.Tick();
    EXPECT_EQ(events.titles,
              (std::vector<std::string>{"Korvo task(04)", "Korvo task(03)", "Korvo task(02)",
                                        "Korvo task(01)", "Korvo task(00)"}));
    EXPECT_EQ(events.closes, 1);
}

TEST_F(TaskEngineTest, ClosingWhileRunningWaitsForTheTaskAndStartsNoOther) {
    engine.AddTask(work1, "ann", kTaskReceive);
    engine.AddTask(home, "bob", kTaskReceive);
    work.Hold();
    engine.Tick();
    work.WaitInside();
    engine.RequestClose();
    EXPECT_TRUE(engine.record().cancel);
    RunToEnd();  // the work sees the cancel flag and ends
    EXPECT_EQ(events.closes, 1);
    EXPECT_EQ(Cell(0, 2), "Faile");
    EXPECT_EQ(Cell(0, 3), "cancelled");
    EXPECT_EQ(Cell(1, 2), "Waiting");
    engine.Tick();
    EXPECT_EQ(events.closes, 1);
    EXPECT_EQ(work.done.size(), 1u);
}

TEST_F(TaskEngineTest, ATaskWhoseAccountWasDeletedDoesNothing) {
    engine.AddTask(home, "bob", kTaskReceive);
    deletepoint(home);
    home = nullptr;
    engine.Tick();
    RunToEnd();
    EXPECT_TRUE(work.done.empty());
    EXPECT_EQ(Cell(0, 2), "Faile");
    EXPECT_EQ(Cell(0, 3), "Account not found");
}

}  // namespace
}  // namespace korvo
