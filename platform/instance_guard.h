// The instance guard: one running program per data directory, the newest one winning.
//
// The running instance holds an exclusive lock on "korvo.lock" in the data directory and
// listens on the Unix domain socket "korvo.sock" beside it. A new instance that cannot take
// the lock connects, asks the running one to exit, and waits (a bounded time) for the lock to
// come free; then it takes over. The lock goes with the process however it ends, so a socket
// file left by a killed instance is just removed by the next one.
//
// The running instance learns of the request on the guard's own thread: the callback must hand
// the exit to the user-interface thread (the wx program posts it) and return at once.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace korvo {

class InstanceGuard {
  public:
    enum class Outcome {
        kFirst,         // no other instance was running
        kReplaced,      // a running instance was asked to exit and has gone
        kStillRunning,  // the running instance did not go in time; this one must not start
        kFailed,        // the lock or the socket could not be made (see error())
    };

    InstanceGuard() = default;
    ~InstanceGuard();  // stops listening, removes the socket, releases the lock
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // Takes the guard of `dataDir` (which must exist), asking a running instance to exit and
    // waiting up to `wait` for it. On kFirst and kReplaced this instance holds the guard and
    // `onExitRequest` runs (once, on the guard's thread) when a newer instance asks it to go.
    Outcome Acquire(const std::string& dataDir, std::function<void()> onExitRequest,
                    std::chrono::milliseconds wait = std::chrono::seconds(10));

    bool held() const { return lockFd_ >= 0; }
    const std::string& error() const { return error_; }

    static constexpr const char* kLockFile = "korvo.lock";
    static constexpr const char* kSocketFile = "korvo.sock";

  private:
    bool TryLock();
    bool Listen();
    void Serve();
    void Release();

    std::string dir_;
    std::string error_;
    int dirFd_ = -1;
    int lockFd_ = -1;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    std::function<void()> onExit_;
    std::atomic<bool> exitRequested_{false};
    std::thread thread_;
};

// Asks the instance that holds the guard of `dataDir` to exit. True when it took the request.
bool RequestInstanceExit(const std::string& dataDir,
                         std::chrono::milliseconds timeout = std::chrono::seconds(2));

}  // namespace korvo
