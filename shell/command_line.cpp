#include "shell/command_line.h"

#include <chrono>
#include <thread>
#include <vector>

#include "controls/list_control.h"
#include "controls/memory_list_view.h"
#include "model/data_stores.h"
#include "model/sys_schema.h"
#include "platform/model_lock.h"
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
        const std::string state = list_.CellText(row, 2);
        out_ << list_.CellText(row, 0) << '\t' << list_.CellText(row, 1) << '\t' << state << '\t'
             << list_.CellText(row, 3) << '\n';
        out_.flush();
        if (state != "Run over!") allRanOver = false;
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
    return "usage: korvo [--data-dir DIR] --receive-all | --preview-all | --send-all\n"
           "  --receive-all   receive the mail of every account of every unlocked user\n"
           "  --preview-all   preview the servers of those accounts (nothing is deleted)\n"
           "  --send-all      send the letters waiting in their prepare boxes\n"
           "  --data-dir DIR  use DIR as the data directory\n";
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
        int type = -1;
        if (arg == "--receive-all") {
            type = kTaskReceive;
        } else if (arg == "--preview-all") {
            type = kTaskPreview;
        } else if (arg == "--send-all") {
            type = kTaskSend;
        } else if (arg == "--data-dir") {
            if (i + 1 >= argc || !argv[i + 1] || !*argv[i + 1])
                return fail("--data-dir needs a directory");
            command.dataDir = argv[++i];
            continue;
        } else if (arg.rfind("--data-dir=", 0) == 0 && arg.size() > 11) {
            command.dataDir = arg.substr(11);
            continue;
        } else {
            return fail("unknown argument: " + arg);
        }
        if (command.taskType >= 0 && command.taskType != type) {
            return fail("give only one of --receive-all, --preview-all and --send-all");
        }
        command.taskType = type;
    }
    return command;
}

int RunCommandLineTasks(const CommandLine& command, std::ostream& out, std::ostream& err) {
    if (!command.valid || command.taskType < 0) {
        if (!command.error.empty()) err << "korvo: " << command.error << '\n';
        err << CommandLineUsage();
        return 2;
    }
    CDataStores stores;
    if (!stores.OpenSystemStore()) {
        err << "korvo: cannot open the system store " << kSystemStoreFile << '\n';
        return 1;
    }
    MemoryListView view;
    CBaseListControl list(view);
    HeadlessEvents events(view, out);
    QuietLetters letters;
    CDlgRSMail engine(list, events, MakeTaskWork(stores, MakeReceiveRunner(stores, letters)),
                      MakeAccountLookup(stores));
    engine.SetupList(600);

    int tasks = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        for (baseDataStruct* user = stores.sys().root()->firstSon(); user;
             user = user->nextBrother()) {
            if (getinfo(user, kThisNode, "type") != "User") continue;
            const std::string userCaption = getinfo(user, kThisNode, "caption");
            baseDataStruct* accounts = stores.sys().DataGetSysPoint(user, kKindUATree);
            if (getinfo(user, kThisNode, "LockState") == "lock") {
                out << "skipped: the user " << userCaption << " is locked\n";
                continue;
            }
            for (baseDataStruct* a = accounts ? accounts->firstSon() : nullptr; a;
                 a = a->nextBrother()) {
                if (getinfo(a, kThisNode, "type") != "Account" || !teststate(a, STATE_VALID)) {
                    continue;
                }
                if (engine.AddTask(a, userCaption, command.taskType)) ++tasks;
            }
        }
    }
    if (tasks == 0) {
        out << "no accounts to work on\n";
        return 0;
    }
    // The engine's tick drives everything; a run without a window ticks fast and stops as
    // soon as the last task has ended.
    int ended = 0;
    for (;;) {
        engine.Tick();
        ended = 0;
        for (baseDataStruct* t = engine.tasks()->firstSon(); t; t = t->nextBrother()) {
            if (!teststate(t, STATE_VALID)) ++ended;
        }
        if (ended == tasks || events.closed) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return events.allRanOver ? 0 : 1;
}

}  // namespace korvo
