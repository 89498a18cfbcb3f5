#include "platform/data_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/string_format.h"

namespace korvo {
namespace {

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

std::string Absolute(const std::string& dir, const std::string& base) {
    if (dir.empty() || dir.front() == '/' || base.empty()) return dir;
    return WithSlash(base) + dir;
}

// The path without trailing slashes, so that lstat looks at a link itself.
std::string WithoutSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

// A program directory, or a MailData inside it, that only the user can change.
bool OnlyTheUserCanChange(const PathFacts& facts, uid_t uid) {
    return facts.exists && DataDirProblem(facts, uid).empty();
}

std::mutex& DirMutex() {
    static std::mutex m;
    return m;
}

std::string& DirValue() {
    static std::string value;
    return value;
}

}  // namespace

PathFacts LookAtPath(const std::string& path) {
    PathFacts facts;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return facts;
    facts.exists = true;
    facts.directory = S_ISDIR(info.st_mode);
    facts.link = S_ISLNK(info.st_mode);
    facts.owner = info.st_uid;
    facts.mode = info.st_mode & 07777;
    return facts;
}

std::string DataDirProblem(const PathFacts& facts, uid_t uid) {
    if (!facts.exists) return "it does not exist";
    if (facts.link) return "it is a symbolic link; name the directory it points to instead";
    if (!facts.directory) return "it is not a directory";
    if (facts.owner != uid) {
        return StrPrintf("it belongs to another user (uid %u)", static_cast<unsigned>(facts.owner));
    }
    if (facts.mode & (S_IWGRP | S_IWOTH)) {
        return StrPrintf("other users can write to it (mode %04o)",
                         static_cast<unsigned>(facts.mode));
    }
    return {};
}

DataDirChoice ResolveDataDir(const DataDirInputs& in) {
    if (!in.cliDataDir.empty()) return {WithSlash(Absolute(in.cliDataDir, in.currentDir)), {}};
    if (!in.envDataDir.empty()) return {WithSlash(Absolute(in.envDataDir, in.currentDir)), {}};

    // Beside the program only where no one else can write: they could swap MailData for
    // their own folder or a link. A read-only program directory (an installed program) gets
    // no new MailData.
    if (!in.programDir.empty() && OnlyTheUserCanChange(in.programDirFacts, in.uid)) {
        const bool besideUsable = in.besideFacts.exists
                                      ? OnlyTheUserCanChange(in.besideFacts, in.uid)
                                      : (in.programDirFacts.mode & S_IWUSR) != 0;
        if (besideUsable) return {WithSlash(in.programDir) + "MailData/", {}};
    }
    std::string base;
    if (!in.xdgDataHome.empty() && in.xdgDataHome.front() == '/') {
        base = in.xdgDataHome;
    } else if (!in.home.empty() && in.home.front() == '/') {
        base = WithSlash(in.home) + ".local/share";
    } else {
        return {{},
                "no data directory: HOME is not set (or not an absolute path) and neither is "
                "XDG_DATA_HOME; name one with --data-dir DIR or KORVO_DATA_DIR"};
    }
    return {WithSlash(base) + "korvo/MailData/", {}};
}

bool PrepareDataDirectory(const std::string& dir, uid_t uid, std::string* error) {
    const std::string path = WithoutSlash(dir);
    PathFacts facts = LookAtPath(path);
    if (!facts.exists) {
        // Each missing folder on the way is made private too; existing ones are left alone.
        for (size_t slash = path.find('/', 1); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            ::mkdir(path.substr(0, slash).c_str(), 0700);
        }
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            if (error) {
                *error = StrPrintf("cannot create the data directory %s: %s", path.c_str(),
                                   std::strerror(errno));
            }
            return false;
        }
        facts = LookAtPath(path);
    }
    const std::string problem = DataDirProblem(facts, uid);
    if (problem.empty()) return true;
    if (error) {
        *error = StrPrintf("refusing the data directory %s: %s.", path.c_str(), problem.c_str());
    }
    return false;
}

std::string ProgramPath() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n <= 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

std::string ProgramDirectory() {
    const std::string path = ProgramPath();
    if (path.empty()) return ".";
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

DataDirInputs DataDirInputsFromProcess(int argc, const char* const* argv) {
    DataDirInputs in;
    in.programDir = ProgramDirectory();
    for (int i = 1; i < argc && argv[i]; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--data-dir" && i + 1 < argc && argv[i + 1]) {
            in.cliDataDir = argv[++i];
        } else if (arg.rfind("--data-dir=", 0) == 0) {
            in.cliDataDir = std::string(arg.substr(std::strlen("--data-dir=")));
        }
    }
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    in.envDataDir = env("KORVO_DATA_DIR");
    in.xdgDataHome = env("XDG_DATA_HOME");
    in.home = env("HOME");
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd)) in.currentDir = cwd;
    in.uid = ::geteuid();
    in.programDirFacts = LookAtPath(in.programDir);
    in.besideFacts = LookAtPath(WithSlash(in.programDir) + "MailData");
    return in;
}

void SetDataDirectory(const std::string& dir) {
    std::lock_guard<std::mutex> lock(DirMutex());
    DirValue() = WithSlash(dir);
}

std::string DataDirectory() {
    std::lock_guard<std::mutex> lock(DirMutex());
    return DirValue();
}

std::string ConfigHomeDir(const std::string& xdgConfigHome, const std::string& home) {
    std::string base;
    if (!xdgConfigHome.empty() && xdgConfigHome[0] == '/') {
        base = xdgConfigHome;
    } else if (!home.empty()) {
        base = home + (home.back() == '/' ? "" : "/") + ".config";
    } else {
        return {};
    }
    if (base.back() != '/') base += '/';
    return base;
}

std::string ConfigHomeDir() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    return ConfigHomeDir(xdg ? xdg : "", home ? home : "");
}

}  // namespace korvo
