// The task window running scripted work, and the worker's letter events reaching the UI
// thread.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/utils.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "platform/model_lock.h"
#include "store/node_tree.h"
#include "transport/session_view.h"
#include "ui/posting_letter_listener.h"
#include "ui/task_window.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;

// Pumps the UI thread until `done` holds (at most ten seconds).
template <typename Pred>
bool PumpUntil(Pred done) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Work that reports through the session view like a session does and, when told to, waits
// for the cancel flag.
struct ScriptedWork {
    std::atomic<bool> waitForCancel{false};
    std::atomic<bool> certificateFails{false};
    std::atomic<bool> inside{false};
    std::atomic<int> runs{0};

    TaskWork AsWork() {
        return [this](baseDataStruct* account, TaskRecord& record, const TaskAction&) {
            inside = true;
            record.view->SetStatus("connecting");
            record.view->SetCaption(getinfo(account, kThisNode, "caption"));
            record.view->SetProgress(40);
            record.view->SetStatus("+OK ready");
            if (waitForCancel) {
                const auto end = std::chrono::steady_clock::now() + 10s;
                while (!record.cancel && std::chrono::steady_clock::now() < end)
                    std::this_thread::sleep_for(1ms);
                record.stateText = "Faile";
                record.infoText = record.cancel ? "cancelled" : "not cancelled";
            }
            if (certificateFails) {
                record.stateText = "Faile";
                record.certificate = CertificateProblem{};
                record.certificate->host = "pop.example.org";
                record.certificate->sha256 = std::string(64, 'e');
            }
            record.result = 2;
            ++runs;
            inside = false;
        };
    }
};

struct RecordingOwner : TaskWindowOwner {
    int indicator = 0;
    int closed = 0;
    void RaiseMailIndicator(int result) override { indicator = std::max(indicator, result); }
    void TaskWindowClosed() override { ++closed; }
    void CertificateRefused(const RefusedTask& task) override { refused.push_back(task); }
    std::vector<RefusedTask> refused;
};

class TaskWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = new TaskWindow(
            nullptr, work.AsWork(), [this](uint32_t id) { return findid(system.get(), id); }, true,
            &owner);
        window->StopTimer();
    }
    void TearDown() override {
        if (owner.closed == 0) window->Destroy();
        wxTheApp->Yield(true);  // the window goes at idle time
    }
    std::string Cell(int column) { return window->taskList().CellText(0, column); }
    // Ticks until the task's row shows an end (bounded).
    bool RunToEnd() {
        return PumpUntil([&] {
            window->Tick();
            const std::string state = Cell(2);
            return state == "Run over!" || state == "Faile";
        });
    }
    void Press(wxButton* button) {
        wxCommandEvent event(wxEVT_BUTTON, button->GetId());
        event.SetEventObject(button);
        button->ProcessWindowEvent(event);
    }

    std::unique_ptr<baseDataStruct> system = CreateRootNode();
    baseDataStruct* account = addson(system.get(), "type =Account ,caption =work");
    ScriptedWork work;
    RecordingOwner owner;
    TaskWindow* window = nullptr;
};

TEST_F(TaskWindowTest, RunsATaskToItsEndAndShowsWhatTheSessionReported) {
    EXPECT_EQ(window->GetTitle(), "Korvo Task");
    EXPECT_EQ(window->userNameLabel()->GetLabel(), "USER NAME");
    ASSERT_NE(window->engine().AddTask(account, "ann", kTaskReceive), nullptr);
    EXPECT_EQ(Cell(0), "Receive");
    EXPECT_EQ(Cell(1), "work [ann]");
    EXPECT_EQ(Cell(2), "Waiting");

    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Cell(2), "Run over!");
    EXPECT_EQ(Cell(3), "ok");
    EXPECT_EQ(work.runs, 1);
    EXPECT_EQ(owner.indicator, 2);
    // The session's calls were queued from the worker and shown on this thread.
    ASSERT_TRUE(PumpUntil([&] { return window->progressBar()->GetValue() == 40; }));
    EXPECT_EQ(window->stepLabel()->GetLabel(), "work");
    EXPECT_EQ(window->statusLabel()->GetLabel(), "+OK ready");

    // With the queue empty the title counts down and the window closes itself.
    EXPECT_EQ(window->GetTitle(), "Korvo task(04)");
    for (int i = 0; i < 3; ++i) window->Tick();
    EXPECT_EQ(window->GetTitle(), "Korvo task(01)");
    EXPECT_EQ(owner.closed, 0);
    window->Tick();
    EXPECT_EQ(owner.closed, 1);
}

// A certificate the session refused reaches the owner with the task it belongs to, once.
TEST_F(TaskWindowTest, ARefusedCertificateIsHandedOnWithItsTask) {
    work.certificateFails = true;
    window->engine().AddTask(account, "ann", kTaskReceive, "__:3;__");
    ASSERT_TRUE(RunToEnd());
    ASSERT_EQ(owner.refused.size(), 1u);
    EXPECT_EQ(owner.refused[0].accountId, account->nodeId());
    EXPECT_EQ(owner.refused[0].type, kTaskReceive);
    EXPECT_EQ(owner.refused[0].mailIdList, "__:3;__");
    EXPECT_EQ(owner.refused[0].problem.sha256, std::string(64, 'e'));

    work.certificateFails = false;
    window->engine().AddTask(account, "ann", kTaskSend);
    ASSERT_TRUE(PumpUntil([&] {
        window->Tick();
        return window->taskList().CellText(1, 2) == "Run over!";
    }));
    EXPECT_EQ(owner.refused.size(), 1u);
}

TEST_F(TaskWindowTest, CancelReachesTheRunningTaskAndXClosesAfterIt) {
    work.waitForCancel = true;
    window->engine().AddTask(account, "ann", kTaskPreview);
    window->Tick();
    ASSERT_TRUE(PumpUntil([&] { return work.inside.load(); }));
    Press(window->cancelButton());
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(Cell(2), "Faile");
    EXPECT_EQ(Cell(3), "cancelled");

    // "X" while a task runs: the window stays until that task has ended.
    window->engine().AddTask(account, "ann", kTaskSend);
    window->Tick();
    ASSERT_TRUE(PumpUntil([&] { return work.inside.load(); }));
    Press(window->closeButton());
    EXPECT_EQ(owner.closed, 0);
    ASSERT_TRUE(PumpUntil([&] {
        window->Tick();
        return owner.closed == 1;
    }));
    EXPECT_EQ(work.runs, 2);
}

TEST_F(TaskWindowTest, ListButtonShowsAndHidesTheTaskList) {
    wxWindow* list = window->taskList().control();
    const bool shown = list->IsShown();
    EXPECT_EQ(shown, CDlgRSMail::taskListShown());
    EXPECT_EQ(window->listButton()->GetLabel(), ">>");
    Press(window->listButton());
    EXPECT_EQ(list->IsShown(), !shown);
    EXPECT_EQ(CDlgRSMail::taskListShown(), !shown);
    Press(window->listButton());
    EXPECT_EQ(list->IsShown(), shown);
}

// What reached the target, in order, with where and how it ran.
struct RecordingListener : LetterListener {
    std::vector<std::string> calls;
    bool allOnUiThread = true;
    bool allUnderLock = true;

    void Note(std::string what) {
        allOnUiThread = allOnUiThread && wxIsMainThread();
        // Another thread cannot take the model lock while this call runs.
        auto other = std::async(std::launch::async, [] {
            if (!ModelLock().try_lock()) return false;
            ModelLock().unlock();
            return true;
        });
        allUnderLock = allUnderLock && !other.get();
        calls.push_back(std::move(what));
    }
    void ShowLetter(baseDataStruct* letter) override {
        Note("letter " + getinfo(letter, kThisNode, "caption"));
    }
    void BoxChanged(baseDataStruct* box) override {
        Note("box " + getinfo(box, kThisNode, "caption"));
    }
    void SetTrayState(int state) override { Note("tray " + std::to_string(state)); }
    void RestoreTrayState() override { Note("restore"); }
    void FlagNewMail(baseDataStruct* box) override {
        Note("flag " + getinfo(box, kThisNode, "caption"));
    }
};

TEST(PostingLetterListener, WorkerCallsArriveOnTheUiThreadInOrderUnderTheLock) {
    auto mail = CreateRootNode();
    auto sys = CreateRootNode();
    baseDataStruct* a = addson(mail.get(), "caption =a");
    baseDataStruct* b = addson(mail.get(), "caption =b");
    baseDataStruct* gone = addson(mail.get(), "caption =gone");
    baseDataStruct* box = addson(sys.get(), "caption =Receive");
    RecordingListener target;
    PostingLetterListener posting(
        target, [&](uint32_t id) { return findid(mail.get(), id); },
        [&](uint32_t id) { return findid(sys.get(), id); });

    std::thread worker([&] {
        posting.SetTrayState(1);
        posting.ShowLetter(a);
        posting.ShowLetter(gone);
        posting.BoxChanged(box);
        posting.SetTrayState(3);
        posting.ShowLetter(b);
        posting.FlagNewMail(box);
        posting.RestoreTrayState();
    });
    worker.join();
    EXPECT_TRUE(target.calls.empty()) << "nothing runs before the UI thread gets to it";
    // A letter deleted before its turn is skipped, not followed into freed memory.
    deletepoint(gone);
    ASSERT_TRUE(PumpUntil([&] { return target.calls.size() >= 7; }));
    wxTheApp->Yield(true);
    EXPECT_EQ(target.calls, (std::vector<std::string>{"tray 1", "letter a", "box Receive", "tray 3",
                                                      "letter b", "flag Receive", "restore"}));
    EXPECT_TRUE(target.allOnUiThread);
    EXPECT_TRUE(target.allUnderLock);
}

TEST(PostingLetterListener, CallsQueuedWhenTheListenerGoesAreDropped) {
    auto mail = CreateRootNode();
    baseDataStruct* a = addson(mail.get(), "caption =a");
    RecordingListener target;
    auto finder = [&](uint32_t id) { return findid(mail.get(), id); };
    {
        PostingLetterListener posting(target, finder, finder);
        std::thread([&] { posting.ShowLetter(a); }).join();
    }
    PostingLetterListener later(target, finder, finder);
    std::thread([&] { later.SetTrayState(2); }).join();
    ASSERT_TRUE(PumpUntil([&] { return !target.calls.empty(); }));
    EXPECT_EQ(target.calls, std::vector<std::string>{"tray 2"});
}

}  // namespace
}  // namespace korvo
