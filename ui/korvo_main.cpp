// The korvo program. With a task option it runs network tasks without a window (see
// shell/command_line.h), which needs no display; otherwise it loads the desktop module and
// opens the window (ui/desktop_module.h). The program itself links no toolkit.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "platform/data_dir.h"
#include "shell/command_line.h"
#include "store/diag_log.h"
#include "ui/desktop_module.h"

namespace {

bool HaveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace korvo;
    // Everything the program writes (stores, log, caches) is the user's alone.
    ::umask(077);
    CommandLine command = ParseCommandLine(argc, argv);
    // No other thread exists yet: the stop signals can be taken by a thread of their own.
    command.stopOnSignals = true;
    if (!command.valid || command.showHelp || command.showVersion)
        return RunCommandLineTasks(command, std::cout, std::cerr);
    const DataDirChoice dataDir = ResolveDataDir(DataDirInputsFromProcess(argc, argv));
    std::string error = dataDir.error;
    if (dataDir.dir.empty() || !PrepareDataDirectory(dataDir.dir, ::geteuid(), &error)) {
        std::cerr << "korvo: " << error << '\n';
        return 2;
    }
    SetDataDirectory(dataDir.dir);
    TheLog().SetFile("Korvo");
    if (!command.mailto.empty() && HandOffMailto(dataDir.dir, command.mailto)) return 0;
    if (command.taskType >= 0 || command.transfer.kind != MailTransferRequest::Kind::kNone)
        return RunCommandLineTasks(command, std::cout, std::cerr);
    if (!HaveDisplay()) {
        std::cerr << "korvo: no display to open the window on (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set).\n"
                  << "Start it in a desktop session, or run a task without a window:\n"
                  << CommandLineUsage();
        return 1;
    }
    std::string programPath = ProgramPath();
    if (programPath.empty()) programPath = argv[0];
    const int status = RunDesktopModule(programPath, dataDir.dir, command.mailto, &error);
    if (status < 0) {
        std::cerr << "korvo: " << error << '\n';
        return 1;
    }
    if (status != 0) std::cerr << "korvo: the display could not be opened.\n";
    return status == 0 ? 0 : 1;
}
