// The korvo program. With a task option it runs network tasks without a window (see
// shell/command_line.h); the desktop window is opened otherwise.
#include <iostream>

#include "platform/data_dir.h"
#include "shell/command_line.h"
#include "store/diag_log.h"

int main(int argc, char** argv) {
    using namespace korvo;
    const CommandLine command = ParseCommandLine(argc, argv);
    SetDataDirectory(ResolveDataDir(DataDirInputsFromProcess(argc, argv)));
    TheLog().SetFile("Korvo");
    if (!command.valid || command.taskType >= 0) {
        return RunCommandLineTasks(command, std::cout, std::cerr);
    }
    std::cerr << "korvo: the desktop window is not built yet; use a task option.\n"
              << CommandLineUsage();
    return 2;
}
