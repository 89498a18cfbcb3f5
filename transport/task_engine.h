// The task engine: network work queued as tasks and run one at a time on a worker thread.
//
// Tasks are nodes of the engine's own in-memory tree ("type =TASK" with `ACCOUNT_PTR`, `TASK`
// and `MailIdList`); STATE_VALID marks a task that has not run yet. The window calls Tick()
// once a second on its own thread: it starts the next pending task, notices when the running
// one has ended, copies its State and Info into the task list, raises the mail indicator, and
// closes the window five ticks after the queue ran dry (titles "Korvo task(04)" ...
// "Korvo task(00)").
//
// A task refers to its account by node id, looked up when the task starts, so a task whose
// account was deleted while it waited finds none and does nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "controls/list_control.h"
#include "store/node.h"
#include "transport/task_record.h"

namespace korvo {

inline constexpr int kTaskReceive = 0;
inline constexpr int kTaskPreview = 1;
inline constexpr int kTaskSend = 2;
inline constexpr int kTaskReceiveList = 3;
inline constexpr int kTaskDelete = 4;

// "Receive", "Preview", "Send", "Receive list", "Delete"; empty for other numbers.
const char* TaskTypeName(int type);

// What a task does on its worker thread.
struct TaskAction {
    enum Kind { kNothing, kReceive, kSend } kind = kNothing;
    int receiveMode = 0;  // the mode of the receive procedure, for kReceive
};
// Receive: mode 1, with a list mode 4; Preview: mode 0; Send; Receive list: mode 2 with a list,
// else nothing; Delete: mode 3 with a list, else nothing.
TaskAction TaskActionOf(int type, bool hasList);

// What the engine asks of its window; called on the window's thread.
class TaskWindowEvents {
  public:
    virtual ~TaskWindowEvents() = default;
    virtual void SetTitle(const std::string& title) = 0;
    // The window stops its timer and closes.
    virtual void CloseWindow() = 0;
    // A task ended; `result` is the highest task result of this window so far: the frame's
    // mail indicator becomes the larger of itself and this.
    virtual void RaiseMailIndicator(int result) = 0;
    // A task's end was written into its row `row` of the task list.
    virtual void TaskEnded(int row) { (void)row; }
};

// Runs a task's work on the worker thread: builds the session for `account`, binds it to
// `record` (whose view shows the account's caption, the step and the progress) and performs
// `action`. Supplied by the program (and by tests).
using TaskWork =
    std::function<void(baseDataStruct* account, TaskRecord& record, const TaskAction& action)>;

// Finds a live account by node id (none when it no longer exists). Called on the worker thread;
// it takes whatever lock guards the tree.
using AccountLookup = std::function<baseDataStruct*(uint32_t nodeId)>;

// The work of a task that belongs to no account (an import): runs on the worker thread and
// writes its State and Info into `record` as TaskWork does.
using TaskJob = std::function<void(TaskRecord& record)>;

class CDlgRSMail {
  public:
    static constexpr int kIdleTicks = 5;

    CDlgRSMail(CBaseListControl& list, TaskWindowEvents& events, TaskWork work,
               AccountLookup lookup);
    ~CDlgRSMail();  // waits for a running task
    CDlgRSMail(const CDlgRSMail&) = delete;
    CDlgRSMail& operator=(const CDlgRSMail&) = delete;

    // Sets up the task list: "Task =65 ,Account =215 ,State =80 ,Info =%d", Info taking the
    // list's client width less 360.
    void SetupList(int clientWidth);

    // Queues a task unless a pending one has the same account, type and list. `userCaption`
    // is the caption of the user that owns the account. Returns the task node, or null when
    // an equal task is already waiting.
    baseDataStruct* AddTask(const baseDataStruct* account, const std::string& userCaption, int type,
                            const std::string& mailIdList = "-1");
    // Queues a task that runs `job`, shown as `name` for `caption` in the task list; never
    // merged with another. Returns the task node.
    baseDataStruct* AddJob(const std::string& name, const std::string& caption, TaskJob job);
    // The pending task with that account, type and list, or null.
    baseDataStruct* PendingTask(const baseDataStruct* account, int type,
                                const std::string& mailIdList = "-1") const;

    // One timer tick (once a second).
    void Tick();
    // The "Cancel" button.
    void Cancel();
    // Closing the window: cancels and closes once the running task has ended.
    void RequestClose();
    // The ">>" button: shows or hides the task list. The choice is shared by all task windows
    // of the process; returns whether the list is shown now.
    static bool ToggleTaskList();
    static bool taskListShown();

    bool taskRunning() const { return worker_.joinable(); }
    // The running task's worker has returned (its end is noticed at the next tick).
    bool workerDone() const { return exited_ && !running_; }
    int highestResult() const { return highestResult_; }
    int idleCountdown() const { return idle_; }
    baseDataStruct* tasks() const { return root_.get(); }
    TaskRecord& record() { return *record_; }

  private:
    baseDataStruct* NextPending() const;
    void Start(baseDataStruct* task);
    void Finish();
    int RowOf(const baseDataStruct* task) const;

    CBaseListControl& list_;
    TaskWindowEvents& events_;
    TaskWork work_;
    AccountLookup lookup_;
    std::unique_ptr<baseDataStruct> root_;
    baseDataStruct* current_ = nullptr;  // where the search for the next pending task starts
    baseDataStruct* runningTask_ = nullptr;
    std::unique_ptr<TaskRecord> record_;
    std::map<uint32_t, TaskJob> jobs_;  // of job tasks not started yet, by task node id
    std::thread worker_;
    std::atomic<bool> running_{false};  // the task's work is not done yet
    std::atomic<bool> exited_{true};    // the worker thread has returned
    int highestResult_ = 0;
    int idle_ = kIdleTicks;
    bool closeRequested_ = false;
    bool closed_ = false;
};

}  // namespace korvo
