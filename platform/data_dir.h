// The data directory: where the store files, the log and the caches live.
//
// `--data-dir DIR` or KORVO_DATA_DIR names it. Otherwise it is the program's directory +
// "MailData/" when that directory belongs to the user and no one else can write it (and a
// MailData already there passes the same check); an installed or shared program uses
// $XDG_DATA_HOME/korvo/MailData/ (default ~/.local/share/korvo/MailData/) instead.
//
// Whatever named it, the directory is made 0700 when missing; one that is not a directory
// (a link included), belongs to someone else or can be written by others is refused.
#pragma once

#include <sys/types.h>

#include <string>

namespace korvo {

// What lstat says about a path; a link is not followed.
struct PathFacts {
    bool exists = false;
    bool directory = false;  // a directory itself, not a link to one
    bool link = false;
    uid_t owner = 0;
    mode_t mode = 0;  // permission bits
};
PathFacts LookAtPath(const std::string& path);

// Why a path with these facts cannot be the data directory of `uid`; empty when it can.
std::string DataDirProblem(const PathFacts& facts, uid_t uid);

// Everything the choice depends on, gathered so that the rule itself is a pure function.
struct DataDirInputs {
    std::string programDir;   // directory of the executable
    std::string cliDataDir;   // value of --data-dir, empty when not given
    std::string envDataDir;   // KORVO_DATA_DIR, empty when not set
    std::string xdgDataHome;  // XDG_DATA_HOME, empty when not set
    std::string home;         // HOME
    std::string currentDir;   // relative overrides are taken from here
    uid_t uid = 0;            // the effective user
    PathFacts programDirFacts;
    PathFacts besideFacts;  // programDir + "/MailData"
};

struct DataDirChoice {
    std::string dir;    // ends in '/'; empty when there is none
    std::string error;  // why there is none
};

// Applies the rule above.
DataDirChoice ResolveDataDir(const DataDirInputs& in);

// Makes `dir` (and missing parents) with mode 0700 when it does not exist, then checks it for
// `uid` with DataDirProblem. False with a message naming the directory and the reason.
bool PrepareDataDirectory(const std::string& dir, uid_t uid, std::string* error);

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
