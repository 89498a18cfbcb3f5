// The real program, started as a person starts it, twice on one data directory: the newer
// start makes the running one leave through its exit path (also while its first-start dialog
// is open) and then runs on; a request to exit ends it cleanly. A desktop started during a
// command-line run waits for it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/instance_guard.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace korvo {
namespace {

using namespace std::chrono_literals;

// One run of the program, killed if the test leaves it behind.
class Program {
  public:
    Program(const std::string& dataDir, const std::string& configHome, const std::string& log) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("ASAN_OPTIONS=", 0) == 0) continue;
            if (entry.rfind("XDG_CONFIG_HOME=", 0) == 0) continue;
            env.push_back(entry);
        }
        // GTK keeps its caches until exit: leak reports would change the exit status.
        env.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1");
        env.push_back("XDG_CONFIG_HOME=" + configHome);
        std::vector<char*> envp;
        for (std::string& entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);

        std::vector<std::string> args = {KORVO_PROGRAM, "--data-dir", dataDir};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, KORVO_PROGRAM, &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    bool started() const { return pid_ > 0; }
    bool running() {
        Poll();
        return !exited_;
    }
    // Waits up to `limit` for the exit; the exit status, or -1 when it has not ended normally.
    int WaitForExit(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!Poll() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(50ms);
        if (!exited_) return -1;
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

  private:
    bool Poll() {
        if (!exited_ && pid_ > 0 && waitpid(pid_, &status_, WNOHANG) == pid_) exited_ = true;
        return exited_;
    }
    pid_t pid_ = -1;
    int status_ = 0;
    bool exited_ = false;
};

template <class Pred>
bool WaitFor(Pred done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

TEST(ProgramProcess, NewerStartReplacesTheRunningOneWhichLeavesThroughItsExitPath) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    test::TempDir temp;
    const std::string data = temp.path() + "data/";
    const std::string config = temp.path() + "config";
    const std::string log = temp.path() + "stderr.txt";
    const std::string socket = data + InstanceGuard::kSocketFile;

    // The first start on an empty folder: it takes the guard and asks for a user.
    Program first(data, config, log);
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket) || !first.running(); }, 60s));
    ASSERT_TRUE(first.running()) << test::ReadFile(log);
    // Its window and dialog come up meanwhile; the exit request is served either way.
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(first.running()) << test::ReadFile(log);

    Program second(data, config, log);
    ASSERT_TRUE(second.started());
    EXPECT_EQ(first.WaitForExit(30s), 0) << test::ReadFile(log);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(socket) || !second.running(); }, 60s));
    std::this_thread::sleep_for(1000ms);
    EXPECT_TRUE(second.running()) << test::ReadFile(log);

    // The first run wrote the store and the autostart entry.
    EXPECT_TRUE(std::filesystem::exists(data + "Korvo.dat"));
    EXPECT_TRUE(std::filesystem::exists(config + "/autostart/korvos.desktop"));

    EXPECT_TRUE(RequestInstanceExit(data));
    EXPECT_EQ(second.WaitForExit(30s), 0) << test::ReadFile(log);
    EXPECT_FALSE(std::filesystem::exists(socket));
}

// Never beside a command-line run: the desktop waits until it has let the directory go.
TEST(ProgramProcess, ADesktopStartedDuringACommandLineRunWaitsForIt) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    test::TempDir temp;
    const std::string data = temp.path() + "data/";
    const std::string log = temp.path() + "stderr.txt";
    ASSERT_TRUE(std::filesystem::create_directories(data));
    DataDirLock commandLine;
    ASSERT_EQ(commandLine.TryTake(data), DataDirLock::Result::kTaken);

    Program desktop(data, temp.path() + "config", log);
    ASSERT_TRUE(desktop.started());
    std::this_thread::sleep_for(3000ms);
    EXPECT_TRUE(desktop.running()) << test::ReadFile(log);
    EXPECT_FALSE(std::filesystem::exists(data + InstanceGuard::kSocketFile));
    EXPECT_FALSE(std::filesystem::exists(data + "Korvo.dat"));

    commandLine.Release();
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(data + "Korvo.dat"); }, 60s))
        << test::ReadFile(log);
    EXPECT_TRUE(RequestInstanceExit(data));
    EXPECT_EQ(desktop.WaitForExit(30s), 0) << test::ReadFile(log);
}

}  // namespace
}  // namespace korvo
