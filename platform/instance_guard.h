// The instance guard: one running program per data directory, the newest one winning.
//
// The running instance holds an exclusive lock on "korvo.lock" in the data directory and
// listens on the Unix domain socket "korvo.sock" beside it. A new instance that cannot take
// the lock connects, asks the running one to exit, and waits (a bounded time) for the lock to
// come free; then it takes over. The lock goes with the process however it ends, so a socket
// file left by a killed instance is just removed by the next one. A run without a window
// (the command line) takes the same lock through DataDirLock and does not listen.
//
// The socket speaks in lines. A peer of another user is dropped unheard. "exit" is answered
// "ok" and asks the instance to go; any other first line is a request for the request handler,
// which answers on the connection it is given (see shell/task_hand_off.h for the task
// requests). An instance without a handler drops such peers, as it always did.
//
// The running instance learns of requests on the guard's own thread: the callbacks must hand
// them to the user-interface thread (the wx program posts them) and return at once.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace korvo {

// The lock of a data directory. Whoever works on the directory's stores holds it for as long
// as it does: the desktop program through its InstanceGuard, a command-line run directly.
class DataDirLock {
  public:
    enum class Result { kTaken, kBusy, kFailed };

    DataDirLock() = default;
    ~DataDirLock();  // releases
    DataDirLock(const DataDirLock&) = delete;
    DataDirLock& operator=(const DataDirLock&) = delete;

    // One attempt, without waiting. kBusy: another process holds it; kFailed: see error().
    Result TryTake(const std::string& dataDir);
    void Release();
    bool held() const { return held_; }
    const std::string& error() const { return error_; }

  private:
    std::string path_;
    std::string error_;
    int fd_ = -1;
    bool held_ = false;
};

// One connection on a data directory's instance socket, used in lines ("\n" ends each).
class InstanceConnection {
  public:
    enum class Read { kLine, kClosed, kTimedOut, kTooLong };
    static constexpr size_t kMaxLine = 64 * 1024;

    explicit InstanceConnection(int fd);  // takes the socket
    ~InstanceConnection();
    InstanceConnection(const InstanceConnection&) = delete;
    InstanceConnection& operator=(const InstanceConnection&) = delete;

    // The instance listening for `dataDir`; null when none does.
    static std::unique_ptr<InstanceConnection> Connect(const std::string& dataDir);

    // Sends `line` and a newline without waiting. A peer that has gone, or does not read what
    // it is sent, breaks the connection: the socket is shut down (the peer sees its end) and
    // this and every later send return false.
    bool Send(std::string_view line);
    // The next line without its newline, waiting at most `limit` for it.
    Read ReadLine(std::string* line, std::chrono::milliseconds limit);
    bool broken() const { return broken_; }

  private:
    int fd_;
    bool broken_ = false;
    std::string buffer_;
};

class InstanceGuard {
  public:
    enum class Outcome {
        kFirst,         // no other instance was running
        kReplaced,      // a running instance was asked to exit and has gone
        kStillRunning,  // the running instance did not go in time; this one must not start
        kBusy,          // a run that takes no requests (the command line) holds the directory
        kFailed,        // the lock or the socket could not be made (see error())
    };
    // A request line and the connection to answer it on.
    using RequestHandler =
        std::function<void(std::string request, std::shared_ptr<InstanceConnection> peer)>;

    InstanceGuard() = default;
    ~InstanceGuard();  // stops listening, removes the socket, releases the lock
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Takes the guard of `dataDir` (which must exist), asking a running instance to exit and
    // waiting up to `wait` for it. On kFirst and kReplaced this instance holds the guard and
    // `onExitRequest` runs (once, on the guard's thread) when a newer instance asks it to go.
    // A holder that does not listen is not asked: kBusy as soon as that is clear (about a
    // second, or `wait` when shorter).
    Outcome Acquire(const std::string& dataDir, std::function<void()> onExitRequest,
                    std::chrono::milliseconds wait = std::chrono::seconds(10));

    // Set before Acquire: runs on the guard's thread for every request other than "exit".
    void SetRequestHandler(RequestHandler handler) { onRequest_ = std::move(handler); }

    bool held() const { return lock_.held(); }
    const std::string& error() const { return error_; }

    static constexpr const char* kLockFile = "korvo.lock";
    static constexpr const char* kSocketFile = "korvo.sock";

  private:
    bool Listen();
    void Serve();
    void Release();

    std::string dir_;
    std::string error_;
    int dirFd_ = -1;
    DataDirLock lock_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::function<void()> onExit_;
    RequestHandler onRequest_;
    std::atomic<bool> exitRequested_{false};
    std::thread thread_;
};

// Asks the instance that holds the guard of `dataDir` to exit. True when it took the request.
bool RequestInstanceExit(const std::string& dataDir,
                         std::chrono::milliseconds timeout = std::chrono::seconds(2));

}  // namespace korvo
