#include "platform/autostart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/data_dir.h"
#include "platform/private_file.h"

namespace korvo {
namespace {

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

}  // namespace

std::string AutostartEntryPath(const std::string& xdgConfigHome, const std::string& home) {
    const std::string base = ConfigHomeDir(xdgConfigHome, home);
    return base.empty() ? base : base + "autostart/" + kAutostartFileName;
}

std::string AutostartEntryPath() {
    const std::string base = ConfigHomeDir();
    return base.empty() ? base : base + "autostart/" + kAutostartFileName;
}

std::string QuoteExecArgument(const std::string& program) {
    // First the quoting of the Exec key, then the escapes every string value gets.
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        switch (c) {
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\t':
                value += "\\t";
                break;
            case '\r':
                value += "\\r";
                break;
            default:
                value += c;
        }
    }
    return value;
}

std::string AutostartEntryText(const std::string& program, const std::string& dataDir) {
    std::string exec = QuoteExecArgument(program);
    if (!dataDir.empty()) exec += " --data-dir " + QuoteExecArgument(dataDir);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Korvo\n"
           "Comment=Korvo mail client\n"
           "Icon=korvo\n"
           "Exec=" +
           exec +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::string AutostartDataDir(const std::string& dataDir, DataDirInputs in) {
    in.cliDataDir.clear();
    in.envDataDir.clear();
    const std::string plain = ResolveDataDir(in).dir;
    std::string given = dataDir;
    if (!given.empty() && given.back() != '/') given += '/';
    return given == plain ? std::string() : dataDir;
}

std::string AutostartDataDir(const std::string& dataDir) {
    return AutostartDataDir(dataDir, DataDirInputsFromProcess(0, nullptr));
}

bool WriteAutostartEntry(const std::string& path, const std::string& program,
                         const std::string& dataDir, std::string* error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (ec) {
        SetError(error, "cannot create " + target.parent_path().string() + ": " + ec.message());
        return false;
    }
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(error, "cannot create a file beside " + path + ": " + std::strerror(errno));
        return false;
    }
    const bool written =
        fchmod(fd, 0644) == 0 && WriteAll(fd, AutostartEntryText(program, dataDir)) && fsync(fd) == 0;
    const int savedErrno = errno;
    if (close(fd) != 0 || !written) {
        unlink(temp.c_str());
        SetError(error,
                 "cannot write " + temp + ": " + std::strerror(written ? errno : savedErrno));
        return false;
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        SetError(error, "cannot rename " + temp + " to " + path + ": " + std::strerror(errno));
        unlink(temp.c_str());
        return false;
    }
    // The rename itself is durable only once the directory is synced.
    const int dirFd = open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

}  // namespace korvo
