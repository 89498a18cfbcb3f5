#include "shell/command_line.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "controls/list_control.h"
#include "controls/memory_list_view.h"
#include "filters/account_rules.h"
#include "model/data_stores.h"
#include "model/sys_schema.h"
#include "platform/data_dir.h"
#include "platform/instance_guard.h"
#include "platform/model_lock.h"
#include "shell/mailto.h"
#include "shell/stop_signals.h"
#include "transport/task_engine.h"
#include "transport/task_work.h"

namespace korvo {
namespace {

// The engine's window events, for a run without a window.
class HeadlessEvents : public TaskWindowEvents {
  public:
    HeadlessEvents(MemoryListView& list, std::ostream& out) : list_(list), out_(out) {}
    void SetTitle(const std::string&) override {}
    void CloseWindow() override { closed = true; }
    void RaiseMailIndicator(int) override {}
    void TaskEnded(int row) override {
        std::vector<std::string> cells;
        for (int column = 0; column < 4; ++column) cells.push_back(list_.CellText(row, column));
        out_ << TaskRowLine(cells) << '\n';
        out_.flush();
        if (cells[2] != kRanOverState) allRanOver = false;
    }

    bool closed = false;
    bool allRanOver = true;

  private:
    MemoryListView& list_;
    std::ostream& out_;
};

// Nothing shows letters in a run without a window.
class QuietLetters : public LetterListener {
  public:
    void ShowLetter(baseDataStruct*) override {}
    void BoxChanged(baseDataStruct*) override {}
};

}  // namespace

std::string CommandLineUsage() {
    return "usage: korvo [--data-dir DIR]                 open the window\n"
           "       korvo [--data-dir DIR] --receive-all | --preview-all | --send-all\n"
           "  --receive-all   receive the mail of every account of every unlocked user\n"
           "  --preview-all   preview the servers of those accounts (nothing is deleted)\n"
           "  --send-all      send the letters waiting in their prepare boxes\n"
           "  --data-dir DIR  use DIR as the data directory\n"
           "       korvo [--data-dir DIR] mailto:ADDRESS[?subject=...&body=...]\n"
           "  opens a letter to ADDRESS in the running Korvo, or starts Korvo with it\n"
           "       korvo [--data-dir DIR] --import PATH... --box USER/ACCOUNT/BOX\n"
           "       korvo [--data-dir DIR] --export USER/ACCOUNT/BOX --mbox FILE\n"
           "       korvo [--data-dir DIR] --import-vcard FILE --book USER/ACCOUNT/FOLDER\n"
           "       korvo [--data-dir DIR] --export-vcard FILE --book USER/ACCOUNT/FOLDER\n"
           "  --import        mbox files, Maildir folders and .eml files into the box\n"
           "  --export        the box's letters to an mbox file\n"
           "  --help          show this text;  --version  show the version\n";
}

std::string ProgramVersion() {
    return KORVO_VERSION;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    CommandLine command;
    auto fail = [&](std::string why) {
        command.valid = false;
        command.error = std::move(why);
        return command;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        // Letters in and out.
        std::string transferError;
        if (const int taken =
                ParseTransferArgument(argc, argv, &i, &command.transfer, &transferError)) {
            if (taken < 0) return fail(transferError);
            continue;
        }
        int type = -1;
        if (arg == "--receive-all") {
            type = kTaskReceive;
        } else if (arg == "--preview-all") {
            type = kTaskPreview;
        } else if (arg == "--send-all") {
            type = kTaskSend;
        } else if (arg == "--help" || arg == "-h") {
            command.showHelp = true;
            continue;
        } else if (arg == "--version") {
            command.showVersion = true;
            continue;
        } else if (arg == "--data-dir") {
            if (i + 1 >= argc || !argv[i + 1] || !*argv[i + 1])
                return fail("--data-dir needs a directory");
            command.dataDir = argv[++i];
            continue;
        } else if (arg.rfind("--data-dir=", 0) == 0 && arg.size() > 11) {
            command.dataDir = arg.substr(11);
            continue;
        } else if (IsMailtoLink(arg)) {
            if (!command.mailto.empty()) return fail("give only one mailto: link");
            if (arg.size() > kMaxMailtoLink || !ParseMailto(arg))
                return fail("not a usable mailto: link: " + arg.substr(0, 200));
            command.mailto = arg;
            continue;
        } else {
            return fail("unknown argument: " + arg);
        }
        if (command.taskType >= 0 && command.taskType != type) {
            return fail("give only one of --receive-all, --preview-all and --send-all");
        }
        command.taskType = type;
    }
    if (command.taskType >= 0 && !command.mailto.empty())
        return fail("a mailto: link opens a window; give no task option with it");
    // Letters in and out go alone.
    std::string transferError;
    if (!CheckTransferRequest(command.transfer, &transferError)) return fail(transferError);
    if (command.transfer.kind != MailTransferRequest::Kind::kNone && command.taskType >= 0)
        return fail("--import and --export go without the task options");
    if (command.transfer.kind != MailTransferRequest::Kind::kNone && !command.mailto.empty())
        return fail("a mailto: link opens a window; give no --import or --export with it");
    return command;
}

namespace {

// Writes out, syncs and closes both stores; false (with a line on `err`) when one failed.
bool CloseStores(CDataStores& stores, std::ostream& err) {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    bool closed = true;
    for (CBaseDataManage* store : {static_cast<CBaseDataManage*>(&stores.mail()),
                                   static_cast<CBaseDataManage*>(&stores.sys())}) {
        if (!store->isOpen()) continue;
        if (!store->DataClose()) {
            err << "korvo: a store could not be written: " << store->failureText() << '\n';
            closed = false;
        }
    }
    return closed;
}

const char* SignalName(int signal) {
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

// The tasks run here, with the data directory's lock held. `stop` is null when signals are
// not watched.
int RunHere(const CommandLine& command, std::ostream& out, std::ostream& err, StopSignals* stop) {
    // From here on a stop signal must not end the process where it stands.
    if (stop) stop->SetExitAtOnce(false);
    CDataStores stores;
    if (!stores.OpenSystemStore()) {
        err << "korvo: cannot open the system store " << kSystemStoreFile << '\n';
        return 1;
    }
    if (command.transfer.kind != MailTransferRequest::Kind::kNone) {
        const int status = RunMailTransfer(stores, command.transfer, out, err,
                                           [stop] { return stop && stop->received(); });
        const bool closed = CloseStores(stores, err);
        if (stop && stop->received()) {
            err << "korvo: stopped by " << SignalName(stop->received()) << '\n';
            return StopSignals::ExitStatus(stop->received());
        }
        return closed ? status : 1;
    }
    MemoryListView view;
    CBaseListControl list(view);
    HeadlessEvents events(view, out);
    QuietLetters letters;
    CDlgRSMail engine(
        list, events,
        MakeTaskWork(stores, MakeReceiveRunner(stores, letters, AccountRulesSource(stores.sys()))),
        MakeAccountLookup(stores));
    engine.SetupList(600);

    int tasks = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        std::vector<std::string> notes;
        const std::vector<TaskTarget> targets = FindTaskTargets(stores.sys(), &notes);
        for (const std::string& note : notes) out << note << '\n';
        for (const TaskTarget& target : targets) {
            if (engine.AddTask(target.account, target.user, command.taskType)) ++tasks;
        }
    }
    if (tasks == 0) {
        out << kNoAccountsNote << '\n';
        return 0;
    }
    // The engine's tick drives everything; a run without a window ticks fast and stops as
    // soon as the last task has ended.
    int ended = 0;
    bool stopping = false;
    for (;;) {
        if (stop && stop->received() && !stopping) {
            // Cancels the running task; the engine then starts no other and closes.
            stopping = true;
            engine.RequestClose();
        }
        engine.Tick();
        ended = 0;
        for (baseDataStruct* t = engine.tasks()->firstSon(); t; t = t->nextBrother()) {
            if (!teststate(t, STATE_VALID)) ++ended;
        }
        if (ended == tasks || events.closed) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const bool closed = CloseStores(stores, err);
    if (stopping) {
        err << "korvo: stopped by " << SignalName(stop->received()) << '\n';
        return StopSignals::ExitStatus(stop->received());
    }
    return events.allRanOver && closed ? 0 : 1;
}

}  // namespace

int RunCommandLineTasks(const CommandLine& command, std::ostream& out, std::ostream& err) {
    if (command.valid && command.showHelp) {
        out << CommandLineUsage();
        return 0;
    }
    if (command.valid && command.showVersion) {
        out << "korvo " << ProgramVersion() << '\n';
        return 0;
    }
    const bool transfer = command.transfer.kind != MailTransferRequest::Kind::kNone;
    if (!command.valid || (command.taskType < 0 && !transfer)) {
        if (!command.error.empty()) err << "korvo: " << command.error << '\n';
        err << CommandLineUsage();
        return 2;
    }
    std::optional<StopSignals> stop;
    if (command.stopOnSignals) stop.emplace();
    const std::string dir = DataDirectory();
    if (dir.empty()) {
        err << "korvo: no data directory\n";
        return 1;
    }
    DataDirLock lock;
    const auto deadline = std::chrono::steady_clock::now() + command.lockWait;
    for (;;) {
        const HandOffResult handed =
            transfer ? HandOffTransfer(dir, command.transfer, command.handOff, out, err)
                     : HandOffTasks(dir, command.taskType, command.handOff, out, err);
        if (handed.taken) return handed.status;
        const DataDirLock::Result taken = lock.TryTake(dir);
        if (taken == DataDirLock::Result::kTaken) break;
        if (taken == DataDirLock::Result::kFailed) {
            err << "korvo: " << lock.error() << '\n';
            return 1;
        }
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) {
            err << "Korvo is already using " << dir << '\n';
            return 3;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(250)));
    }
    return RunHere(command, out, err, stop ? &*stop : nullptr);
}

}  // namespace korvo
