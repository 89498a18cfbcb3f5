// The real program, started as a person starts it, twice on one data directory: the newer
// start makes the running one leave through its exit path (also while its first-start dialog
// is open) and then runs on; a request to exit ends it cleanly. Beside the command line: a
// command-line run hands its tasks to a running desktop, and a desktop started during a
// command-line run waits for it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "model/sys_schema.h"
#include "platform/instance_guard.h"
#include "tests/model/model_fixture.h"
#include "tests/support/mail_servers.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace korvo {
namespace {

using namespace std::chrono_literals;

// One run of the program, killed if the test leaves it behind.
class Program {
  public:
    // `options` follow the data directory; standard output goes to `out`; without `display`
    // the program sees none.
    Program(const std::string& dataDir, const std::string& configHome, const std::string& log,
            const std::vector<std::string>& options = {}, const std::string& out = "/dev/null",
            bool display = true) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("ASAN_OPTIONS=", 0) == 0) continue;
            if (entry.rfind("XDG_CONFIG_HOME=", 0) == 0) continue;
            if (!display &&
                (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0))
                continue;
            env.push_back(entry);
        }
        // GTK keeps its caches until exit: leak reports would change the exit status.
        env.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1");
        env.push_back("XDG_CONFIG_HOME=" + configHome);
        std::vector<char*> envp;
        for (std::string& entry : env) envp.push_back(entry.data());
        envp.push_back(nullptr);

        std::vector<std::string> args = {KORVO_PROGRAM, "--data-dir", dataDir};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
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
    // It starts this program at log-in, on the data directory it was given.
    EXPECT_NE(test::ReadFile(config + "/autostart/korvos.desktop")
                  .find(std::string("Exec=\"") + KORVO_PROGRAM + "\" --data-dir \"" + data + "\"\n"),
              std::string::npos);

    EXPECT_TRUE(RequestInstanceExit(data));
    EXPECT_EQ(second.WaitForExit(30s), 0) << test::ReadFile(log);
    EXPECT_FALSE(std::filesystem::exists(socket));
}

TEST(ProgramProcess, AnUnsafeDataDirectoryIsRefusedBeforeAnyDisplayOrFileIsNeeded) {
    namespace fs = std::filesystem;
    test::TempDir temp;
    const std::string real = temp.path() + "real";
    const std::string shared = temp.path() + "shared";
    ASSERT_EQ(::mkdir(real.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    fs::create_directory_symlink(real, temp.path() + "link");
    const std::string log = temp.path() + "stderr.txt";

    // The window start and a task run alike; the window start would say 1 for the missing
    // display had it got that far.
    for (const std::string& dir : {shared, temp.path() + "link/"}) {
        for (const std::vector<std::string>& options :
             {std::vector<std::string>{}, std::vector<std::string>{"--receive-all"}}) {
            Program run(dir, temp.path() + "config", log, options, "/dev/null", false);
            ASSERT_TRUE(run.started());
            EXPECT_EQ(run.WaitForExit(30s), 2) << dir << test::ReadFile(log);
        }
    }
    EXPECT_TRUE(fs::is_empty(real));
    EXPECT_TRUE(fs::is_empty(shared));
    EXPECT_EQ(test::ModeOf(shared), 0777u);
    const std::string said = test::ReadFile(log);
    EXPECT_NE(said.find(shared), std::string::npos) << said;
    EXPECT_NE(said.find(temp.path() + "link:"), std::string::npos) << said;

    // A missing one is made, parents included, for the user alone.
    Program fresh(temp.path() + "new/MailData", temp.path() + "config", log, {"--receive-all"},
                  "/dev/null", false);
    EXPECT_EQ(fresh.WaitForExit(30s), 0) << test::ReadFile(log);
    EXPECT_EQ(test::ModeOf(temp.path() + "new"), 0700u);
    EXPECT_EQ(test::ModeOf(temp.path() + "new/MailData"), 0700u);
}

// The desktop is a module loaded for the window only: a command-line run loads neither the
// toolkit nor the web engine, whose loading alone took longer than a short receive run.
TEST(ProgramProcess, ACommandLineRunLoadsNoToolkit) {
    test::TempDir temp;
    const std::string log = temp.path() + "stderr.txt";
    ::setenv("LD_DEBUG", "libs", 1);
    Program run(temp.path() + "data", temp.path() + "config", log, {"--receive-all"}, "/dev/null",
                false);
    ::unsetenv("LD_DEBUG");
    ASSERT_TRUE(run.started());
    EXPECT_EQ(run.WaitForExit(30s), 0) << test::ReadFile(log);
    const std::string loaded = test::ReadFile(log);
    ASSERT_NE(loaded.find("libssl"), std::string::npos) << "the loader's trace is missing";
    for (const char* library : {"libwx_", "libgtk", "libwebkit", "korvo-desktop"})
        EXPECT_EQ(loaded.find(library), std::string::npos) << library;
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

class ProgramWithMail : public test::ModelTest {};

// `korvo --receive-all` beside the running desktop: the desktop receives, the command line
// prints the row and ends well, and every letter is in the receive box once.
TEST_F(ProgramWithMail, ACommandLineRunHandsItsTasksToTheDesktop) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    constexpr int kLetters = 100;
    test::MailServers servers;
    ASSERT_TRUE(servers.AddUser("ann", "pw-ann")) << servers.error();
    for (int i = 0; i < kLetters; ++i) {
        ASSERT_TRUE(servers.Seed(
            "ann", "m" + std::to_string(1000 + i),
            "From: bob@localhost\r\nSubject: n\r\n\r\nletter " + std::to_string(i) + "\r\n"));
    }
    ASSERT_TRUE(servers.StartPop3()) << servers.error();
    baseDataStruct* account = AddAccount(AddUser("ann"), "work", "ann@localhost");
    test::PointAtPop3(account, servers.pop3Port(), "ann", "pw-ann");
    sys().DataSaveList(account, 1);
    stores.reset();

    test::TempDir temp;
    const std::string data = dir.path();
    const std::string config = temp.path() + "config";
    const std::string log = temp.path() + "stderr.txt";
    const std::string printed = temp.path() + "stdout.txt";
    Program desktop(data, config, log);
    ASSERT_TRUE(WaitFor(
        [&] {
            return std::filesystem::exists(data + InstanceGuard::kSocketFile) || !desktop.running();
        },
        60s));
    ASSERT_TRUE(desktop.running()) << test::ReadFile(log);

    const auto start = std::chrono::steady_clock::now();
    Program commandLine(data, config, log, {"--receive-all"}, printed);
    EXPECT_EQ(commandLine.WaitForExit(120s), 0) << test::ReadFile(log);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s) << "it waited instead";
    EXPECT_EQ(test::ReadFile(printed), "Receive\twork [ann]\tRun over!\tok\n");
    EXPECT_TRUE(desktop.running());
    EXPECT_TRUE(servers.Letters("ann").empty());
    // One receive ran: the desktop's, for the request.
    const std::string pop3Log = servers.Pop3Log();
    size_t logins = 0;
    for (size_t at = pop3Log.find("Login: user=<ann>"); at != std::string::npos;
         at = pop3Log.find("Login: user=<ann>", at + 1))
        ++logins;
    EXPECT_EQ(logins, 1u) << pop3Log;

    EXPECT_TRUE(RequestInstanceExit(data));
    EXPECT_EQ(desktop.WaitForExit(30s), 0) << test::ReadFile(log);
    stores = std::make_unique<CDataStores>();
    ASSERT_TRUE(stores->OpenSystemStore());
    account = findinfo(sys().root(), "caption", "work");
    ASSERT_NE(account, nullptr);
    baseDataStruct* letters = mail().SysReadLinkTree(
        sys().DataGetSysPoint(account, kKindBox, kBoxReceive), kLoadProperty | kLoadSdata);
    ASSERT_NE(letters, nullptr);
    std::map<std::string, int> seen;
    for (baseDataStruct* l = letters->firstSon(); l; l = l->nextBrother()) {
        const std::string text = getinfo(l, kThisNode, "SDATA");
        ++seen[text.substr(text.find("letter "))];
    }
    EXPECT_EQ(seen.size(), size_t(kLetters));
    for (const auto& [letter, count] : seen) EXPECT_EQ(count, 1) << letter;
}

// --import and --export beside the running desktop: the desktop runs them (the import as a
// task), the command line prints their counts and ends well.
TEST_F(ProgramWithMail, LettersInAndOutAreHandedToTheDesktop) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "no display";
    AddAccount(AddUser("ann"), "work");
    stores.reset();
    test::TempDir temp;
    const std::string data = dir.path();
    const std::string config = temp.path() + "config";
    const std::string log = temp.path() + "stderr.txt";
    Program desktop(data, config, log);
    ASSERT_TRUE(WaitFor(
        [&] {
            return std::filesystem::exists(data + InstanceGuard::kSocketFile) || !desktop.running();
        },
        60s));
    ASSERT_TRUE(desktop.running()) << test::ReadFile(log);

    const std::string archives = KORVO_ARCHIVE_DIR;
    const struct {
        std::vector<std::string> options;
        std::string printed;
    } runs[] = {
        {{"--import", archives + "/python.mbox", archives + "/maildir", "--box",
          "ann/work/Receive"},
         "7 letters imported\n"},
        {{"--export", "ann/work/Receive", "--mbox", temp.path() + "out.mbox"},
         "7 letters exported\n"},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.options.front());
        const auto start = std::chrono::steady_clock::now();
        const std::string printed = temp.path() + "stdout.txt";
        Program commandLine(data, config, log, run.options, printed);
        EXPECT_EQ(commandLine.WaitForExit(120s), 0) << test::ReadFile(log);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 60s) << "it waited instead";
        EXPECT_EQ(test::ReadFile(printed), run.printed);
    }
    EXPECT_TRUE(desktop.running());
    EXPECT_TRUE(RequestInstanceExit(data));
    EXPECT_EQ(desktop.WaitForExit(30s), 0) << test::ReadFile(log);
}

}  // namespace
}  // namespace korvo
