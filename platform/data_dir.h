// The data directory: where the store files, the log and the caches live.
//
// It is the program's directory + "MailData/", unless `--data-dir DIR` or KORVO_DATA_DIR
// names another one. When the program's directory cannot be written (an installed program),
// it is $XDG_DATA_HOME/korvo/MailData/ (default ~/.local/share/korvo/MailData/).
#pragma once

#include <functional>
#include <string>

namespace korvo {

// Everything the choice depends on, gathered so that the rule itself is a pure function.
struct DataDirInputs {
    std::string programDir;   // directory of the executable
    std::string cliDataDir;   // value of --data-dir, empty when not given
    std::string envDataDir;   // KORVO_DATA_DIR, empty when not set
    std::string xdgDataHome;  // XDG_DATA_HOME, empty when not set
    std::string home;         // HOME
    std::string currentDir;   // relative overrides are taken from here
};

// Applies the rule above; the result always ends in '/'. `isWritable` tells whether a
// directory can be written (the default asks the file system).
std::string ResolveDataDir(const DataDirInputs& in,
                           const std::function<bool(const std::string&)>& isWritable = {});

// Reads the inputs of this process: /proc/self/exe, the command line and the environment.
DataDirInputs DataDirInputsFromProcess(int argc, const char* const* argv);

// The full path of the running executable; empty when it cannot be read.
std::string ProgramPath();
// The directory of the running executable, without a trailing '/'.
std::string ProgramDirectory();

// The process-wide data directory, set once at start-up (tests set a temporary one).
void SetDataDirectory(const std::string& dir);
std::string DataDirectory();

// The user's settings directory, ending in '/': XDG_CONFIG_HOME, or HOME + "/.config/" (empty
// values count as unset; a relative XDG_CONFIG_HOME is ignored, as the base directory rules
// ask). Empty when neither is usable.
std::string ConfigHomeDir(const std::string& xdgConfigHome, const std::string& home);
// The same from this process's environment.
std::string ConfigHomeDir();

}  // namespace korvo
