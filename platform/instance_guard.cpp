#include "platform/instance_guard.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace korvo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kExitRequest[] = "exit\n";
constexpr char kExitAnswer[] = "ok\n";

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

// Reads a short line: up to a newline, the peer closing, or the deadline.
std::string ReadLine(int fd, Clock::time_point deadline) {
    std::string text;
    char buffer[32];
    while (text.size() < 64 && text.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

bool WriteAll(int fd, const char* text, size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, text, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Ask(const std::string& dir, int dirFd, std::chrono::milliseconds timeout) {
    sockaddr_un address;
    if (!SocketAddress(dir, dirFd, &address)) return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool answered = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        WriteAll(fd, kExitRequest, sizeof(kExitRequest) - 1)) {
        answered = ReadLine(fd, Clock::now() + timeout) == kExitAnswer;
    }
    close(fd);
    return answered;
}

}  // namespace

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
    const std::string lockPath = dir_ + kLockFile;
    lockFd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) {
        error_ = "cannot open " + lockPath + ": " + std::strerror(errno);
        Release();
        return Outcome::kFailed;
    }

    Outcome outcome = Outcome::kFirst;
    if (!TryLock()) {
        if (errno != EWOULDBLOCK) {
            error_ = "cannot lock " + lockPath + ": " + std::strerror(errno);
            Release();
            return Outcome::kFailed;
        }
        // Another instance runs: ask it to go (again now and then, in case it was still
        // starting and not yet listening) and wait for its lock.
        const auto deadline = Clock::now() + wait;
        auto lastAsked = Clock::now() - std::chrono::seconds(1);
        bool locked = false;
        while (!locked && Clock::now() < deadline) {
            if (Clock::now() - lastAsked >= std::chrono::milliseconds(500) &&
                Ask(dir_, dirFd_, std::chrono::milliseconds(500))) {
                lastAsked = Clock::now();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            locked = TryLock();
        }
        if (!locked) {
            Release();
            return Outcome::kStillRunning;
        }
        outcome = Outcome::kReplaced;
    }
    if (!Listen()) {
        Release();
        return Outcome::kFailed;
    }
    return outcome;
}

bool InstanceGuard::TryLock() {
    for (;;) {
        if (flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EINTR) return false;
    }
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
        // Only a program of the same user may end this one.
        ucred peer{};
        socklen_t size = sizeof(peer);
        const bool sameUser =
            getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == getuid();
        bool exit = false;
        if (sameUser && ReadLine(client, Clock::now() + std::chrono::seconds(1)) == kExitRequest) {
            WriteAll(client, kExitAnswer, sizeof(kExitAnswer) - 1);
            exit = true;
        }
        close(client);
        if (exit && !exitRequested_.exchange(true) && onExit_) onExit_();
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
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
    if (dirFd_ >= 0) close(dirFd_);
    dirFd_ = -1;
}

bool RequestInstanceExit(const std::string& dataDir, std::chrono::milliseconds timeout) {
    const std::string dir = WithSlash(dataDir);
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool answered = Ask(dir, dirFd, timeout);
    if (dirFd >= 0) close(dirFd);
    return answered;
}

}  // namespace korvo
