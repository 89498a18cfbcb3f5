#include "platform/data_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

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

bool DirIsWritable(const std::string& dir) {
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

bool DirExists(const std::string& dir) {
    return ::access(dir.c_str(), F_OK) == 0;
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

std::string ResolveDataDir(const DataDirInputs& in,
                           const std::function<bool(const std::string&)>& isWritable) {
    if (!in.cliDataDir.empty()) return WithSlash(Absolute(in.cliDataDir, in.currentDir));
    if (!in.envDataDir.empty()) return WithSlash(Absolute(in.envDataDir, in.currentDir));

    auto writable = isWritable ? isWritable : DirIsWritable;
    const std::string beside = WithSlash(in.programDir) + "MailData/";
    // An existing MailData that can be written wins even when its parent is read-only.
    if (!in.programDir.empty() &&
        (writable(in.programDir) || (DirExists(beside) && writable(beside)))) {
        return beside;
    }
    std::string base = in.xdgDataHome;
    if (base.empty() || base.front() != '/') {
        base = WithSlash(in.home.empty() ? std::string("/tmp") : in.home) + ".local/share";
    }
    return WithSlash(base) + "korvo/MailData/";
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
