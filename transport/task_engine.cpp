#include "transport/task_engine.h"

#include <algorithm>

#include "platform/string_format.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

constexpr int kStateColumn = 2;
constexpr int kInfoColumn = 3;

}  // namespace

const char* TaskTypeName(int type) {
    static const char* const kNames[] = {"Receive", "Preview", "Send", "Receive list", "Delete"};
    return type >= 0 && type < 5 ? kNames[type] : "";
}

TaskAction TaskActionOf(int type, bool hasList) {
    switch (type) {
        case kTaskReceive:
            return {TaskAction::kReceive, hasList ? 4 : 1};
        case kTaskPreview:
            return {TaskAction::kReceive, 0};
        case kTaskSend:
            return {TaskAction::kSend, 0};
        case kTaskReceiveList:
            return hasList ? TaskAction{TaskAction::kReceive, 2} : TaskAction{};
        case kTaskDelete:
            return hasList ? TaskAction{TaskAction::kReceive, 3} : TaskAction{};
        default:
            return {};
    }
}

CDlgRSMail::CDlgRSMail(CBaseListControl& list, TaskWindowEvents& events, TaskWork work,
                       AccountLookup lookup)
    : list_(list),
      events_(events),
      work_(std::move(work)),
      lookup_(std::move(lookup)),
      root_(std::make_unique<baseDataStruct>()),
      record_(std::make_unique<TaskRecord>()) {
    setinfo(root_.get(), kThisNode, "PROPERTY", "type =TaskRoot");
}

CDlgRSMail::~CDlgRSMail() {
    if (worker_.joinable()) {
        record_->RequestCancel();
        worker_.join();
    }
}

void CDlgRSMail::SetupList(int clientWidth) {
    list_.Reset(StrPrintf("Task =65 ,Account =215 ,State =80 ,Info =%d", clientWidth - 360));
}

baseDataStruct* CDlgRSMail::PendingTask(const baseDataStruct* account, int type,
                                        const std::string& mailIdList) const {
    if (!account) return nullptr;
    const std::string accountId = LongToText(long(account->nodeId()));
    const std::string typeText = LongToText(type);
    const std::string list = mailIdList.empty() ? std::string(kAbsent) : mailIdList;
    for (baseDataStruct* t = root_->firstSon(); t; t = t->nextBrother()) {
        if (teststate(t, STATE_VALID) && getinfo(t, kThisNode, "ACCOUNT_PTR") == accountId &&
            getinfo(t, kThisNode, "TASK") == typeText &&
            getinfo(t, kThisNode, "MailIdList") == list) {
            return t;
        }
    }
    return nullptr;
}

baseDataStruct* CDlgRSMail::AddTask(const baseDataStruct* account, const std::string& userCaption,
                                    int type, const std::string& mailIdList) {
    if (!account || PendingTask(account, type, mailIdList)) return nullptr;
    const std::string accountId = LongToText(long(account->nodeId()));
    const std::string typeText = LongToText(type);
    const std::string list = mailIdList.empty() ? std::string(kAbsent) : mailIdList;
    baseDataStruct* task = addson(root_.get(), "%s", "type =TASK");
    setinfo(task, kThisNode, "ACCOUNT_PTR", accountId);
    setinfo(task, kThisNode, "TASK", typeText);
    setinfo(task, kThisNode, "MailIdList", list);
    // The captions are escaped so that a comma in a name stays in its column.
    list_.InsertRow(StrPrintf("%s ,%s [%s] ,Waiting", TaskTypeName(type),
                              encodeinfo(getinfo(account, kThisNode, "caption")).c_str(),
                              encodeinfo(userCaption).c_str()),
                    task->nodeId());
    return task;
}

baseDataStruct* CDlgRSMail::AddJob(const std::string& name, const std::string& caption,
                                   TaskJob job) {
    // No account and no type: PendingTask never takes a job for an account's task.
    baseDataStruct* task = addson(root_.get(), "%s", "type =TASK");
    jobs_[task->nodeId()] = std::move(job);
    list_.InsertRow(StrPrintf("%s ,%s ,Waiting", encodeinfo(name).c_str(),
                              encodeinfo(caption).c_str()),
                    task->nodeId());
    return task;
}

baseDataStruct* CDlgRSMail::NextPending() const {
    for (baseDataStruct* t = current_ ? current_ : root_->firstSon(); t; t = t->nextBrother()) {
        if (teststate(t, STATE_VALID)) return t;
    }
    return nullptr;
}

int CDlgRSMail::RowOf(const baseDataStruct* task) const {
    ListView& view = list_.view();
    for (int row = 0; row < view.RowCount(); ++row) {
        if (view.ItemData(row) == task->nodeId()) return row;
    }
    return -1;
}

void CDlgRSMail::Start(baseDataStruct* task) {
    idle_ = kIdleTicks;
    runningTask_ = task;
    const int type = int(TextToLong(getinfo(task, kThisNode, "TASK")));
    const uint32_t accountId = uint32_t(TextToLong(getinfo(task, kThisNode, "ACCOUNT_PTR")));
    TaskRecord& record = *record_;
    record.cancel = false;
    record.result = 0;
    record.stateText = "Run over!";
    record.infoText = "ok";
    record.mailIdList = getinfo(task, kThisNode, "MailIdList");
    if (const int row = RowOf(task); row >= 0)
        list_.view().SetCellText(row, kStateColumn, "Runing...");

    running_ = true;
    exited_ = false;
    if (auto job = jobs_.extract(task->nodeId())) {
        worker_ = std::thread([this, run = std::move(job.mapped())] {
            run(*record_);
            running_ = false;
            exited_ = true;
        });
        return;
    }
    worker_ = std::thread([this, type, accountId] {
        TaskRecord& rec = *record_;
        if (baseDataStruct* account = lookup_(accountId)) {
            const TaskAction action = TaskActionOf(type, rec.mailIdList != kAbsent);
            if (action.kind != TaskAction::kNothing) work_(account, rec, action);
        } else {
            rec.stateText = "Faile";
            rec.infoText = "Account not found";
        }
        running_ = false;
        exited_ = true;
    });
}

void CDlgRSMail::Finish() {
    worker_.join();
    baseDataStruct* task = runningTask_;
    runningTask_ = nullptr;
    const int row = RowOf(task);
    if (row >= 0) {
        list_.view().SetCellText(row, kStateColumn, record_->stateText);
        list_.view().SetCellText(row, kInfoColumn, record_->infoText);
    }
    changestate(task, STATE_VALID, 0);
    current_ = task->nextBrother();
    highestResult_ = std::max(highestResult_, record_->result.load());
    events_.RaiseMailIndicator(highestResult_);
    events_.TaskEnded(row);
}

void CDlgRSMail::Tick() {
    if (closed_) return;
    // A window asked to close starts nothing new.
    if (!worker_.joinable() && !closeRequested_) {
        if (baseDataStruct* task = NextPending()) Start(task);
    }
    if (worker_.joinable() && !running_ && exited_) {
        Finish();
        if (closeRequested_) {
            closed_ = true;
            events_.CloseWindow();
            return;
        }
    }
    if (!worker_.joinable() && (closeRequested_ || !NextPending())) {
        --idle_;
        events_.SetTitle(StrPrintf("Korvo task(%02d)", std::max(idle_, 0)));
        if (idle_ <= 0 || closeRequested_) {
            closed_ = true;
            events_.CloseWindow();
        }
    }
}

void CDlgRSMail::Cancel() {
    record_->RequestCancel();
}

void CDlgRSMail::RequestClose() {
    closeRequested_ = true;
    Cancel();
}

namespace {
std::atomic<bool> g_taskListShown{true};
}  // namespace

bool CDlgRSMail::ToggleTaskList() {
    bool shown = g_taskListShown.load();
    while (!g_taskListShown.compare_exchange_weak(shown, !shown)) {
    }
    return !shown;
}

bool CDlgRSMail::taskListShown() {
    return g_taskListShown;
}

}  // namespace korvo
