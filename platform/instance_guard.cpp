#include "platform/instance_guard.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace korvo {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr char kExitRequest[] = "exit";
constexpr char kExitAnswer[] = "ok";
// A holder that has not listened for this long is a run without a window.
constexpr auto kQuietHolder = 1s;

std::string WithSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

// The socket's address. A data directory too long for sun_path is reached through the
// directory's descriptor in /proc, which stays short.
bool SocketAddress(const std::string& dir, int dirFd, sockaddr_un* address) {
    std::memset(address, 0, sizeof(*address));
    address->sun_family = AF_UNIX;
    std::string path = dir + InstanceGuard::kSocketFile;
    if (path.size() >= sizeof(address->sun_path)) {
        if (dirFd < 0) return false;
        path = "/proc/self/fd/" + std::to_string(dirFd) + "/" + InstanceGuard::kSocketFile;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

enum class Asked { kNoListener, kNoAnswer, kAnswered };

Asked Ask(const std::string& dir, std::chrono::milliseconds timeout) {
    std::unique_ptr<InstanceConnection> peer = InstanceConnection::Connect(dir);
    if (!peer) return Asked::kNoListener;
    std::string answer;
    return peer->Send(kExitRequest) &&
                   peer->ReadLine(&answer, timeout) == InstanceConnection::Read::kLine &&
                   answer == kExitAnswer
               ? Asked::kAnswered
               : Asked::kNoAnswer;
}

}  // namespace

// ---- DataDirLock ---------------------------------------------------------------------------

DataDirLock::~DataDirLock() {
    Release();
}

DataDirLock::Result DataDirLock::TryTake(const std::string& dataDir) {
    if (held_) return Result::kTaken;
    const std::string path = WithSlash(dataDir) + InstanceGuard::kLockFile;
    if (fd_ >= 0 && path != path_) {
        close(fd_);
        fd_ = -1;
    }
    path_ = path;
    if (fd_ < 0) {
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            error_ = "cannot open " + path_ + ": " + std::strerror(errno);
            return Result::kFailed;
        }
    }
    for (;;) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return Result::kTaken;
        }
        if (errno == EWOULDBLOCK) return Result::kBusy;
        if (errno != EINTR) break;
    }
    error_ = "cannot lock " + path_ + ": " + std::strerror(errno);
    return Result::kFailed;
}

void DataDirLock::Release() {
    // Closing the only descriptor of the open file drops the lock.
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    held_ = false;
}

// ---- InstanceConnection --------------------------------------------------------------------

InstanceConnection::InstanceConnection(int fd) : fd_(fd) {}

InstanceConnection::~InstanceConnection() {
    if (fd_ >= 0) close(fd_);
}

std::unique_ptr<InstanceConnection> InstanceConnection::Connect(const std::string& dataDir) {
    const std::string dir = WithSlash(dataDir);
    sockaddr_un address;
    int dirFd = -1;
    if (!SocketAddress(dir, -1, &address)) {
        dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (!SocketAddress(dir, dirFd, &address)) {
            if (dirFd >= 0) close(dirFd);
            return nullptr;
        }
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int connected = -1;
    if (fd >= 0) {
        do {
            connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        } while (connected != 0 && errno == EINTR);
    }
    if (dirFd >= 0) close(dirFd);
    if (connected != 0) {
        if (fd >= 0) close(fd);
        return nullptr;
    }
    return std::make_unique<InstanceConnection>(fd);
}

bool InstanceConnection::Send(std::string_view line) {
    if (broken_) return false;
    std::string text(line);
    text += '\n';
    const char* data = text.data();
    size_t size = text.size();
    while (size > 0) {
        const ssize_t n = send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // Gone, or not reading: a torn line must not be followed by more.
            broken_ = true;
            shutdown(fd_, SHUT_RDWR);
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

InstanceConnection::Read InstanceConnection::ReadLine(std::string* line,
                                                      std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const size_t newline = buffer_.find('\n');
        if (newline != std::string::npos) {
            line->assign(buffer_, 0, newline);
            buffer_.erase(0, newline + 1);
            return Read::kLine;
        }
        if (buffer_.size() > kMaxLine) return Read::kTooLong;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return Read::kTimedOut;
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Read::kClosed;
        if (ready == 0) return Read::kTimedOut;
        char chunk[4096];
        const ssize_t n = read(fd_, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Read::kClosed;
        buffer_.append(chunk, static_cast<size_t>(n));
    }
}

// ---- InstanceGuard -------------------------------------------------------------------------

InstanceGuard::~InstanceGuard() {
    Release();
}

InstanceGuard::Outcome InstanceGuard::Acquire(const std::string& dataDir,
                                              std::function<void()> onExitRequest,
                                              std::chrono::milliseconds wait) {
    Release();
    error_.clear();
    dir_ = WithSlash(dataDir);
    onExit_ = std::move(onExitRequest);
    exitRequested_ = false;
    dirFd_ = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd_ < 0) {
        error_ = "cannot open the data directory " + dir_ + ": " + std::strerror(errno);
        return Outcome::kFailed;
    }

    Outcome outcome = Outcome::kFirst;
    DataDirLock::Result taken = lock_.TryTake(dir_);
    if (taken == DataDirLock::Result::kBusy) {
        // Another instance runs: ask it to go (again while it does not answer, in case it was
        // still starting and not yet listening) and wait for its lock.
        const auto start = Clock::now();
        const auto deadline = start + wait;
        const auto quiet = start + std::min<Clock::duration>(wait, kQuietHolder);
        auto lastAsked = start - 1s;
        bool listened = false;
        while (taken == DataDirLock::Result::kBusy) {
            if (Clock::now() - lastAsked >= 500ms) {
                const Asked asked = Ask(dir_, 500ms);
                if (asked != Asked::kNoListener) listened = true;
                if (asked == Asked::kAnswered) lastAsked = Clock::now();
            }
            taken = lock_.TryTake(dir_);
            if (taken != DataDirLock::Result::kBusy) break;
            const auto now = Clock::now();
            if (!listened && now >= quiet) {
                Release();
                return Outcome::kBusy;
            }
            if (now >= deadline) {
                Release();
                return Outcome::kStillRunning;
            }
            std::this_thread::sleep_for(20ms);
        }
        outcome = Outcome::kReplaced;
    }
    if (taken == DataDirLock::Result::kFailed) {
        error_ = lock_.error();
        Release();
        return Outcome::kFailed;
    }
    if (!Listen()) {
        Release();
        return Outcome::kFailed;
    }
    return outcome;
}

bool InstanceGuard::Listen() {
    sockaddr_un address;
    if (!SocketAddress(dir_, dirFd_, &address)) {
        error_ = "no socket address for " + dir_;
        return false;
    }
    // Holding the lock, any socket file here is a leftover of an instance that is gone.
    unlinkat(dirFd_, kSocketFile, 0);
    listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) ||
        listen(listenFd_, 8) != 0 || pipe2(stopPipe_, O_CLOEXEC) != 0) {
        error_ =
            std::string("cannot listen on ") + dir_ + kSocketFile + ": " + std::strerror(errno);
        return false;
    }
    fchmodat(dirFd_, kSocketFile, 0600, 0);
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void InstanceGuard::Serve() {
    for (;;) {
        pollfd p[2] = {{listenFd_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[1].revents) return;
        if (!(p[0].revents & POLLIN)) continue;
        const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        auto peer = std::make_shared<InstanceConnection>(client);
        // Only a program of the same user may ask anything of this one.
        ucred credentials{};
        socklen_t size = sizeof(credentials);
        if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
            credentials.uid != getuid()) {
            continue;
        }
        std::string request;
        if (peer->ReadLine(&request, 1s) != InstanceConnection::Read::kLine) continue;
        if (request == kExitRequest) {
            peer->Send(kExitAnswer);
            peer.reset();
            if (!exitRequested_.exchange(true) && onExit_) onExit_();
        } else if (onRequest_) {
            onRequest_(std::move(request), std::move(peer));
        }
    }
}

void InstanceGuard::Release() {
    if (thread_.joinable()) {
        const char stop = 1;
        while (write(stopPipe_[1], &stop, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    if (listenFd_ >= 0) {
        close(listenFd_);
        listenFd_ = -1;
        // Removed while the lock is still held, so it cannot be a newer instance's socket.
        if (dirFd_ >= 0) unlinkat(dirFd_, kSocketFile, 0);
    }
    for (int& fd : stopPipe_) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    lock_.Release();
    if (dirFd_ >= 0) close(dirFd_);
    dirFd_ = -1;
}

bool RequestInstanceExit(const std::string& dataDir, std::chrono::milliseconds timeout) {
    return Ask(WithSlash(dataDir), timeout) == Asked::kAnswered;
}

}  // namespace korvo
