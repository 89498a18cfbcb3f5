#include "platform/instance_guard.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace korvo {
namespace {

using namespace std::chrono_literals;

// The helper program in a child process, its standard output read line by line.
class Helper {
  public:
    Helper(const std::string& dir, const std::string& mode, int waitMs = 10000) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string wait = std::to_string(waitMs);
        const char* argv[] = {KORVO_GUARD_HELPER, dir.c_str(), mode.c_str(), wait.c_str(), nullptr};
        EXPECT_EQ(posix_spawn(&pid_, KORVO_GUARD_HELPER, &actions, nullptr,
                              const_cast<char**>(argv), environ),
                  0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Helper() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }

    // The next line of output, or "" after `timeout`.
    std::string Line(std::chrono::milliseconds timeout = 15s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            const size_t nl = buffer_.find('\n');
            if (nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "";
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
            char chunk[128];
            const ssize_t n = read(out_, chunk, sizeof(chunk));
            if (n <= 0) return "";
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    // The exit code, or -1 when the process did not end within `timeout`.
    int Wait(std::chrono::milliseconds timeout = 15s) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

    void KillHard() {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

TEST(InstanceGuardTest, SecondStartEndsTheFirstThroughItsExitRequest) {
    test::TempDir dir;
    Helper first(dir.path(), "obey");
    ASSERT_EQ(first.Line(), "first");
    EXPECT_TRUE(Exists(dir.path() + InstanceGuard::kSocketFile));

    Helper second(dir.path(), "obey");
    EXPECT_EQ(first.Line(), "exit-requested");
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Line(), "replaced");

    // The newest one now answers for the directory in turn.
    EXPECT_TRUE(RequestInstanceExit(dir.path()));
    EXPECT_EQ(second.Line(), "exit-requested");
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_FALSE(Exists(dir.path() + InstanceGuard::kSocketFile));
}

TEST(InstanceGuardTest, SocketOfAKilledInstanceDoesNotBlockTheNext) {
    test::TempDir dir;
    {
        Helper killed(dir.path(), "obey");
        ASSERT_EQ(killed.Line(), "first");
        killed.KillHard();
    }
    ASSERT_TRUE(Exists(dir.path() + InstanceGuard::kSocketFile));
    EXPECT_FALSE(RequestInstanceExit(dir.path(), 200ms));

    const auto start = std::chrono::steady_clock::now();
    Helper next(dir.path(), "obey");
    EXPECT_EQ(next.Line(), "first");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(RequestInstanceExit(dir.path()));
    EXPECT_EQ(next.Wait(), 0);
}

TEST(InstanceGuardTest, InstanceThatWillNotGoKeepsTheGuard) {
    test::TempDir dir;
    Helper stubborn(dir.path(), "ignore");
    ASSERT_EQ(stubborn.Line(), "first");

    Helper late(dir.path(), "obey", 600);
    EXPECT_EQ(stubborn.Line(), "exit-requested");
    EXPECT_EQ(late.Line(), "still-running");
    EXPECT_EQ(late.Wait(), 1);
    // The running one still holds the directory and still listens.
    EXPECT_TRUE(Exists(dir.path() + InstanceGuard::kSocketFile));
    EXPECT_TRUE(RequestInstanceExit(dir.path()));
}

TEST(InstanceGuardTest, ARunWithoutWindowIsWaitedForNotAsked) {
    test::TempDir dir;
    DataDirLock commandLine;
    ASSERT_EQ(commandLine.TryTake(dir.path()), DataDirLock::Result::kTaken);
    auto desktop = std::make_unique<InstanceGuard>();
    for (const auto wait : {0ms, 10000ms}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(desktop->Acquire(
                      dir.path(), [] {}, wait),
                  InstanceGuard::Outcome::kBusy);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
        EXPECT_FALSE(desktop->held());
        EXPECT_FALSE(Exists(dir.path() + InstanceGuard::kSocketFile));
    }

    // The directory free, the desktop takes it; then no run without a window can.
    commandLine.Release();
    EXPECT_EQ(desktop->Acquire(dir.path(), [] {}), InstanceGuard::Outcome::kFirst);
    DataDirLock later;
    EXPECT_EQ(later.TryTake(dir.path()), DataDirLock::Result::kBusy);
    desktop.reset();
    EXPECT_EQ(later.TryTake(dir.path()), DataDirLock::Result::kTaken);
}

TEST(InstanceGuardTest, GuardsInOneProcessAndLongPaths) {
    test::TempDir dir;
    // A directory whose socket path does not fit a socket address.
    std::string deep = dir.path();
    while (deep.size() < 150) deep += "a-rather-long-directory-name/";
    ASSERT_TRUE(std::filesystem::create_directories(deep));

    std::atomic<int> asked{0};
    auto held = std::make_unique<InstanceGuard>();
    ASSERT_EQ(held->Acquire(deep, [&] { ++asked; }), InstanceGuard::Outcome::kFirst)
        << held->error();
    EXPECT_TRUE(held->held());

    // A second guard in the same process asks the first and waits; the first lets go when
    // asked, as the program's exit path would.
    std::thread exitPath([&] {
        for (int i = 0; i < 500 && asked == 0; ++i) std::this_thread::sleep_for(10ms);
        held.reset();
    });
    InstanceGuard newer;
    EXPECT_EQ(newer.Acquire(deep, [] {}), InstanceGuard::Outcome::kReplaced) << newer.error();
    exitPath.join();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(newer.held());

    // Other directories have guards of their own; a missing one is an error, not a hang.
    InstanceGuard other;
    EXPECT_EQ(other.Acquire(dir.path(), [] {}), InstanceGuard::Outcome::kFirst);
    InstanceGuard missing;
    EXPECT_EQ(missing.Acquire(dir.path() + "nowhere/", [] {}), InstanceGuard::Outcome::kFailed);
    EXPECT_NE(missing.error().find("nowhere"), std::string::npos);
    EXPECT_FALSE(missing.held());
}

TEST(InstanceGuardTest, OnlyTheExitRequestEndsTheInstance) {
    test::TempDir dir;
    std::atomic<int> asked{0};
    InstanceGuard guard;
    ASSERT_EQ(guard.Acquire(dir.path(), [&] { ++asked; }), InstanceGuard::Outcome::kFirst);

    // Anything else on the socket is dropped.
    const std::string path = dir.path() + InstanceGuard::kSocketFile;
    for (const std::string text : {"", "exit", "quit\n", "EXIT\n"}) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        if (!text.empty()) {
            ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
        }
        shutdown(fd, SHUT_WR);
        char answer[8];
        while (read(fd, answer, sizeof(answer)) > 0) {
        }
        close(fd);
    }
    EXPECT_EQ(asked, 0);

    // Two requests run the callback once.
    EXPECT_TRUE(RequestInstanceExit(dir.path()));
    EXPECT_TRUE(RequestInstanceExit(dir.path()));
    EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace korvo
