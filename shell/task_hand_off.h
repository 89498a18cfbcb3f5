// Task requests of the command line, handed to the desktop program that runs on the same data
// directory.
//
// `korvo --receive-all` (--preview-all, --send-all) beside a running desktop program opens no
// store: it asks the desktop over the instance socket (platform/instance_guard.h), which queues
// the tasks in its task window as if the user had asked for them and sends each task's row
// back when the task ends; the command line prints them as it would have printed its own.
//
// The conversation, in lines:
//   command line: "run receive-all" | "run preview-all" | "run send-all"
//   desktop:      "accepted"      the tasks are queued; or "fail TEXT" and the end: not taken
//                 "note TEXT"     a line printed as it is ("skipped: the user X is locked",
//                                 "no accounts to work on")
//                 "row NAME\tACCOUNT\tSTATE\tINFO"   a task has ended
//                 "wait"          every two seconds while tasks are pending, from the desktop's
//                                 user-interface thread: it is alive and working on them
//                 "done"          every task of the request has ended
//                 "fail TEXT"     the desktop gives up (it is leaving, its task window closed)
// Texts escape backslash, tab, newline and carriage return as \\, \t, \n and \r. Lines of
// other kinds are ignored, so that a later desktop may send more.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/sys_data.h"
#include "platform/instance_guard.h"
#include "shell/mail_transfer_command.h"

namespace korvo {

inline constexpr char kNoAccountsNote[] = "no accounts to work on";
inline constexpr char kRanOverState[] = "Run over!";

// An account a request for all accounts works on, and the caption of its user.
struct TaskTarget {
    baseDataStruct* account = nullptr;
    std::string user;
};

// Every valid account of every user that is not locked, in tree order; `notes` gets a line for
// each locked user. Under the model lock.
std::vector<TaskTarget> FindTaskTargets(CSysData& sys, std::vector<std::string>* notes);

// A task's row as the command line prints it: the cells joined by tabs.
std::string TaskRowLine(const std::vector<std::string>& cells);

// "run receive-all" for kTaskReceive ...; empty for a type that cannot be asked for.
std::string TaskRequestLine(int type);

// ---- the command line's side ---------------------------------------------------------------

struct HandOffWaits {
    std::chrono::milliseconds answer{std::chrono::seconds(10)};  // for "accepted"
    std::chrono::milliseconds idle{std::chrono::seconds(60)};    // for any later line
};

struct HandOffResult {
    bool taken = false;  // the desktop took the request; `status` is the run's exit status
    int status = 1;
};

// Hands a request for tasks of `type` to the desktop that listens on `dataDir`. When it takes
// the request, prints the notes and rows it sends (a failure goes to `err`) and returns the
// exit status a run of its own would have had: 0 when every task ran over, 1 otherwise.
HandOffResult HandOffTasks(const std::string& dataDir, int type, const HandOffWaits& waits,
                           std::ostream& out, std::ostream& err);

// ---- mailto: links ---------------------------------------------------------------------------
//
// `korvo mailto:...` beside a running desktop hands the link over instead of starting one:
//   command line: "mailto LINK" (escaped as above)
//   desktop:      "accepted" (a composer is open with the link's fields) or "fail TEXT"

std::string MailtoRequestLine(std::string_view link);

// Hands the link to the desktop that listens on `dataDir`; true when it opened a composer for
// it. False when no desktop listens, it refused, or it did not answer within `answer`.
bool HandOffMailto(const std::string& dataDir, std::string_view link,
                   std::chrono::milliseconds answer = std::chrono::seconds(10));

// On the desktop: when `request` is a mailto request, answers it on `peer` (after `open` has
// tried the link; it says whether a composer opened) and returns true; false for any other
// request, which is left unanswered.
bool AnswerMailtoRequest(std::string_view request, InstanceConnection& peer,
                         const std::function<bool(const std::string& link)>& open);

// ---- letters and persons in and out ------------------------------------------------------------
//
// `korvo --import/--export/--import-vcard/--export-vcard ...` beside a running desktop:
//   command line: "transfer ARG\tARG..."  the transfer's arguments, paths made absolute
//   desktop:      "accepted" or "fail TEXT" (not taken: the run may go on by itself)
//                 "out TEXT", "err TEXT"  a line of the run's output or error stream
//                 "wait"          as above, while an import runs in the task window
//                 "exit N"        the run's exit status; the end
// An import runs as a task of the desktop's task window; the others at once.

std::string TransferRequestLine(const MailTransferRequest& request);

// Hands the transfer to the desktop that listens on `dataDir`; when it takes it, prints what
// it sends and returns its exit status.
HandOffResult HandOffTransfer(const std::string& dataDir, const MailTransferRequest& request,
                              const HandOffWaits& waits, std::ostream& out, std::ostream& err);

// ---- the desktop's side --------------------------------------------------------------------

// Where the desktop queues a request's tasks.
class TaskQueue {
  public:
    virtual ~TaskQueue() = default;
    // False while no task can be queued (the program is leaving).
    virtual bool CanQueue() = 0;
    // Queues a task of `type` for `account` as the user's command does, or finds the equal
    // task already waiting; the task's id in the task list, none when it cannot.
    virtual std::optional<uint32_t> QueueTask(baseDataStruct* account, int type) = 0;
    // Queues an import of `paths` into `box` as a task; `done` gets its result on the task's
    // thread before the task ends. The task's id, none when it cannot.
    virtual std::optional<uint32_t> QueueImport(baseDataStruct* box,
                                                const std::vector<std::string>& paths,
                                                std::function<void(const ImportResult&)> done) {
        (void)box;
        (void)paths;
        (void)done;
        return std::nullopt;
    }
};

// The requests the desktop works on. Everything runs on the user-interface thread.
class TaskHandOff {
  public:
    static constexpr int kKeepAliveMs = 2000;

    TaskHandOff(CSysData& sys, TaskQueue& queue) : sys_(sys), queue_(queue) {}
    ~TaskHandOff();  // fails the requests still open
    TaskHandOff(const TaskHandOff&) = delete;
    TaskHandOff& operator=(const TaskHandOff&) = delete;

    // A request from the instance socket: queues its tasks and answers.
    void Take(const std::string& request, std::shared_ptr<InstanceConnection> peer);
    // A task of the task window has ended with these row texts.
    void TaskEnded(uint32_t taskId, const std::vector<std::string>& cells);
    // The task window has gone: its tasks that had not ended never will.
    void TasksDropped(const std::string& why);
    // Every kKeepAliveMs while open(): tells the waiting peers the desktop is still there.
    void KeepAlive();

    bool open() const { return !requests_.empty(); }

  private:
    struct Request {
        std::shared_ptr<InstanceConnection> peer;
        std::vector<uint32_t> waiting;  // task ids
        // An import's result, written by its task before the task ends; null for tasks
        // whose rows are sent.
        std::shared_ptr<ImportResult> import;
    };

    void TakeTransfer(std::string_view arguments, std::shared_ptr<InstanceConnection> peer);

    CSysData& sys_;
    TaskQueue& queue_;
    std::vector<Request> requests_;
};

}  // namespace korvo
