// `korvo --receive-all` killed at random moments while it moves 500 letters from the server into
// the receive box: after the last, complete run every letter is there exactly once, the
// server is empty and both stores are sound. And two runs started together, as a timer job
// beside another: one waits for the other, both end well, and no letter is lost or doubled.
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
#include "tests/support/receive_process.h"
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
    // `letters` letters on the server and an account that fetches and deletes them.
    void SetUpServerAndAccount(int letters) {
        ASSERT_TRUE(servers.AddUser("ann", "pw-ann")) << servers.error();
        char name[16];
        for (int i = 0; i < letters; ++i) {
            std::snprintf(name, sizeof name, "m%04d", i);
            ASSERT_TRUE(servers.Seed("ann", name, Seeded(i)));
        }
        ASSERT_TRUE(servers.StartPop3()) << servers.error();
        baseDataStruct* account = AddAccount(AddUser("ann"), "work", "ann@localhost");
        test::PointAtPop3(account, servers.pop3Port(), "ann", "pw-ann");
        sys().DataSaveList(account, 1);
        stores.reset();
    }

    pid_t Start(const std::string& output = "/dev/null") {
        return test::StartReceiveAll(KORVO_BINARY, dir.path(), output);
    }

    static int Wait(pid_t pid) { return test::WaitForExit(pid, std::chrono::seconds(300)); }

    // The server is empty, the stores are sound, and each of the `letters` letters is in the
    // receive box once, whole.
    void ExpectEveryLetterOnce(int letters) {
        EXPECT_TRUE(servers.Letters("ann").empty()) << servers.Letters("ann").size() << " left";
        for (const char* file : {"Korvo.dat", "system.sdb"}) {
            std::ostringstream report;
            EXPECT_EQ(CheckStore(dir.path() + file, report), InspectStatus::kSound) << report.str();
        }
        stores = std::make_unique<CDataStores>();
        ASSERT_TRUE(stores->OpenSystemStore());
        baseDataStruct* account = findinfo(sys().root(), "caption", "work");
        ASSERT_NE(account, nullptr);
        baseDataStruct* box = mail().SysReadLinkTree(
            sys().DataGetSysPoint(account, kKindBox, kBoxReceive), kLoadProperty | kLoadSdata);
        ASSERT_NE(box, nullptr);
        std::map<std::string, int> seen;  // body line -> count
        for (baseDataStruct* l = box->firstSon(); l; l = l->nextBrother()) {
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
        EXPECT_EQ(seen.size(), size_t(letters));
        for (const auto& [line, count] : seen) EXPECT_EQ(count, 1) << line;
    }

    test::MailServers servers;
};

TEST_F(ReceiveCrashTest, EveryLetterArrivesOnceWhateverTheKills) {
    SetUpServerAndAccount(kLetters);
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
    EXPECT_EQ(Wait(Start(dir.path() + "last.txt")), 0) << test::ReadFile(dir.path() + "last.txt");
    // Most kills must land while letters were moving (a run takes longer than the longest wait).
    EXPECT_GE(killedMidway, 10);
    std::cout << killedMidway << " of 20 runs killed before they ended\n";
    ExpectEveryLetterOnce(kLetters);
}

TEST_F(ReceiveCrashTest, TwoRunsAtOnceTakeTurns) {
    SetUpServerAndAccount(300);
    const std::string outs[] = {dir.path() + "first.txt", dir.path() + "second.txt"};
    const pid_t first = Start(outs[0]);
    const pid_t second = Start(outs[1]);
    EXPECT_EQ(Wait(first), 0);
    EXPECT_EQ(Wait(second), 0);
    for (const std::string& out : outs)
        EXPECT_EQ(test::ReadFile(out), "Receive\twork [ann]\tRun over!\tok\n");
    ExpectEveryLetterOnce(300);
}

}  // namespace
}  // namespace korvo
