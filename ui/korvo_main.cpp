// The korvo program. With a task option it runs network tasks without a window (see
// shell/command_line.h), which needs no display; otherwise it opens the desktop window.
#include <sys/stat.h>
#include <unistd.h>
#include <wx/init.h>

#include <cstdlib>
#include <iostream>

#include "platform/data_dir.h"
#include "shell/command_line.h"
#include "store/diag_log.h"
#include "ui/korvo_app.h"

wxIMPLEMENT_APP_NO_MAIN(korvo::KorvoApp);

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
    if (!command.valid) return RunCommandLineTasks(command, std::cout, std::cerr);
    const DataDirChoice dataDir = ResolveDataDir(DataDirInputsFromProcess(argc, argv));
    std::string error = dataDir.error;
    if (dataDir.dir.empty() || !PrepareDataDirectory(dataDir.dir, ::geteuid(), &error)) {
        std::cerr << "korvo: " << error << '\n';
        return 2;
    }
    SetDataDirectory(dataDir.dir);
    TheLog().SetFile("Korvo");
    if (!command.mailto.empty() && HandOffMailto(dataDir.dir, command.mailto)) return 0;
    SetStartupMailto(command.mailto);
    if (command.taskType >= 0) return RunCommandLineTasks(command, std::cout, std::cerr);
    if (!HaveDisplay()) {
        std::cerr << "korvo: no display to open the window on (neither DISPLAY nor "
                     "WAYLAND_DISPLAY is set).\n"
                  << "Start it in a desktop session, or run a task without a window:\n"
                  << CommandLineUsage();
        return 1;
    }
    // Our options are not wx's: hand the toolkit the program name only.
    int wxArgc = 1;
    char* wxArgv[] = {argv[0], nullptr};
    const int status = wxEntry(wxArgc, wxArgv);
    if (status != 0) std::cerr << "korvo: the display could not be opened.\n";
    return status == 0 ? 0 : 1;
}
