// `korvo --receive-all` killed at random moments while it moves 500 letters from the server into
// the receive box: after the last, complete run every letter is there exactly once, the
// server is empty and both stores are sound.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "model/sys_schema.h"
#include "tests/model/model_fixture.h"
#include "tests/support/mail_servers.h"
#include "tools/store_audit.h"

namespace korvo {
namespace {

constexpr int kLetters = 500;

std::string Seeded(int i) {
    return "From: bob@localhost\r\nTo: ann@localhost\r\nSubject: letter " + std::to_string(i) +
           "\r\n\r\nThis is letter number " + std::to_string(i) + ".\r\n";
}

class ReceiveCrashTest : public test::ModelTest {
  protected:
    // Starts korvo --receive-all; returns its pid.
    pid_t Start(bool quiet = true) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const std::string dataDir = dir.path();
            const int devnull = ::open("/dev/null", O_WRONLY);
            if (quiet) {
                ::dup2(devnull, 1);
                ::dup2(devnull, 2);
            }
            ::execl(KORVO_BINARY, KORVO_BINARY, "--data-dir", dataDir.c_str(), "--receive-all",
                    static_cast<char*>(nullptr));
            _exit(127);
        }
        return pid;
    }
};

TEST_F(ReceiveCrashTest, EveryLetterArrivesOnceWhateverTheKills) {
    test::MailServers servers;
    ASSERT_TRUE(servers.AddUser("ann", "pw-ann")) << servers.error();
    char name[16];
    for (int i = 0; i < kLetters; ++i) {
        std::snprintf(name, sizeof name, "m%04d", i);
        ASSERT_TRUE(servers.Seed("ann", name, Seeded(i)));
    }
    ASSERT_TRUE(servers.StartPop3()) << servers.error();
    baseDataStruct* account = AddAccount(AddUser("ann"), "work", "ann@localhost");
    setinfo(account, kThisNode, "pop3Server", "127.0.0.1");
    setinfo(account, kThisNode, "pop3Port", std::to_string(servers.pop3Port()));
    setinfo(account, kThisNode, "username", "ann");
    setinfo(account, kThisNode, "password", "pw-ann");
    setinfo(account, kThisNode, "keepOnServer", "0");
    sys().DataSaveList(account, 1);
    stores.reset();

    std::mt19937 rng(7);
    int killedMidway = 0;
    for (int round = 0; round < 20; ++round) {
        const pid_t pid = Start();
        ASSERT_GT(pid, 0);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(20 + rng() % 150);
        int status = 0;
        bool exited = false;
        while (std::chrono::steady_clock::now() < deadline) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!exited) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            ++killedMidway;
        }
    }
    // One run to the end.
    const pid_t pid = Start(false);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Most kills must land while letters were moving (a run takes longer than the longest wait).
    EXPECT_GE(killedMidway, 10);
    std::cout << killedMidway << " of 20 runs killed before they ended\n";
    EXPECT_TRUE(servers.Letters("ann").empty()) << servers.Letters("ann").size() << " left";

    for (const char* file : {"Korvo.dat", "system.sdb"}) {
        std::ostringstream report;
        EXPECT_EQ(CheckStore(dir.path() + file, report), InspectStatus::kSound) << report.str();
    }
    stores = std::make_unique<CDataStores>();
    ASSERT_TRUE(stores->OpenSystemStore());
    account = findinfo(sys().root(), "caption", "work");
    ASSERT_NE(account, nullptr);
    baseDataStruct* letters = mail().SysReadLinkTree(
        sys().DataGetSysPoint(account, kKindBox, kBoxReceive), kLoadProperty | kLoadSdata);
    ASSERT_NE(letters, nullptr);
    std::map<std::string, int> seen;  // body line -> count
    for (baseDataStruct* l = letters->firstSon(); l; l = l->nextBrother()) {
        if (!teststate(l, STATE_VALID)) continue;
        const std::string text = getinfo(l, kThisNode, "SDATA");
        const size_t at = text.find("This is letter number ");
        ASSERT_NE(at, std::string::npos) << text;
        const std::string line = text.substr(at, text.find('.', at) - at);
        const int number = std::stoi(line.substr(22));
        const std::string seeded = Seeded(number);
        EXPECT_EQ(text.substr(0, seeded.size() - 2), seeded.substr(0, seeded.size() - 2));
        ++seen[line];
    }
    EXPECT_EQ(seen.size(), size_t(kLetters));
    for (const auto& [line, count] : seen) EXPECT_EQ(count, 1) << line;
}

}  // namespace
}  // namespace korvo
