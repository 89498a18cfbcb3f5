// Running network tasks from the command line, without a window or a display:
//
//   korvo [--data-dir DIR] --receive-all | --preview-all | --send-all
//   korvo --help | --version
//
// `korvo [--data-dir DIR] mailto:...` opens a composer for the link (shell/mailto.h) instead:
// in the desktop program that runs on the data directory, or in a new one.
//
// or letters in and out of a box (shell/mail_transfer_command.h), under the same lock:
//
//   korvo [--data-dir DIR] --import PATH... --box USER/ACCOUNT/BOX
//   korvo [--data-dir DIR] --export USER/ACCOUNT/BOX --mbox FILE
//
// One task of the chosen kind for every account of every user that is not locked (a locked
// user's accounts are skipped with a line saying so), run one after the other through the
// task engine. Each task prints its row when it ends: name, account [user], State, Info,
// separated by tabs. Exit status: 0 when every task ended "Run over!", 1 otherwise, 2 for bad
// arguments, 3 when the data directory stayed busy, 130 or 143 when SIGINT or SIGTERM stopped
// the run.
//
// A run that watches the stop signals (shell/stop_signals.h) ends at once on one while it
// holds no store; once it does, the signal cancels the running task, the tasks still waiting
// do not start, and the stores are written out, synced and closed before the run ends.
//
// One process works on a data directory at a time. A desktop program running there is handed
// the request (shell/task_hand_off.h): it runs the tasks, and this run prints their rows (or,
// for letters and persons in and out, what the desktop's run of them printed).
// Otherwise the run holds the directory's lock (platform/instance_guard.h) from before it opens
// a store until it ends. While another run holds it, this one waits, handing the request to a
// desktop program should one start meanwhile; after `lockWait` it gives up.
#pragma once

#include <chrono>
#include <ostream>
#include <string>

#include "shell/mail_transfer_command.h"
#include "shell/task_hand_off.h"

namespace korvo {

struct CommandLine {
    bool valid = true;
    std::string error;         // why it is not valid
    std::string dataDir;       // --data-dir, empty when not given
    int taskType = -1;         // a task type when one of the task options was given
    bool showHelp = false;     // --help: the usage text, nothing else
    bool showVersion = false;  // --version: the program's version, nothing else
    std::string mailto;        // a mailto: link to write a letter for (checked by ParseMailto)
    // --import / --export of letters (shell/mail_transfer_command.h).
    MailTransferRequest transfer;

    // Not from the arguments: how long to wait for a busy data directory and for a desktop.
    std::chrono::milliseconds lockWait{std::chrono::seconds(60)};
    HandOffWaits handOff;
    // SIGINT and SIGTERM stop the run (set by the program; the watcher must be made before
    // any other thread of the process exists).
    bool stopOnSignals = false;
};

CommandLine ParseCommandLine(int argc, const char* const* argv);

// The usage text.
std::string CommandLineUsage();
// The program's version ("0.1").
std::string ProgramVersion();

// Runs the tasks of `command` in the current data directory (set by the caller). Returns the
// exit status.
int RunCommandLineTasks(const CommandLine& command, std::ostream& out, std::ostream& err);

}  // namespace korvo
