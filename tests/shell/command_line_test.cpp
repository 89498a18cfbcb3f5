#include "shell/command_line.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <iostream>
#include <map>
#include <sstream>

#include "content/message_composer.h"
#include "model/sys_schema.h"
#include "tests/model/model_fixture.h"
#include "tests/shell/scripted_desktop.h"
#include "tests/support/mail_servers.h"
#include "tests/support/receive_process.h"
#include "tools/store_audit.h"
#include "transport/task_engine.h"

namespace korvo {
namespace {

CommandLine Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "korvo");
    return ParseCommandLine(int(args.size()), args.data());
}

TEST(CommandLineParse, OptionsAndMistakes) {
    EXPECT_EQ(Parse({"--receive-all"}).taskType, kTaskReceive);
    EXPECT_EQ(Parse({"--data-dir", "/d", "--preview-all"}).dataDir, "/d");
    EXPECT_EQ(Parse({"--data-dir=/e", "--send-all"}).taskType, kTaskSend);
    EXPECT_EQ(Parse({}).taskType, -1);
    EXPECT_TRUE(Parse({}).valid);
    EXPECT_FALSE(Parse({"--send-all", "--receive-all"}).valid);
    EXPECT_TRUE(Parse({"--send-all", "--send-all"}).valid);
    EXPECT_FALSE(Parse({"--data-dir"}).valid);
    EXPECT_FALSE(Parse({"-x"}).valid);
    std::ostringstream out, err;
    EXPECT_EQ(RunCommandLineTasks(Parse({"--what"}), out, err), 2);
    EXPECT_NE(err.str().find("unknown argument: --what"), std::string::npos);
    EXPECT_NE(err.str().find("usage: korvo"), std::string::npos);

    // --help and --version answer on standard output and run nothing, whatever else is given.
    for (const auto& [args, said] : std::vector<std::pair<std::vector<const char*>, std::string>>{
             {{"--help"}, "usage: korvo"},
             {{"--receive-all", "-h"}, "usage: korvo"},
             {{"--version"}, "korvo " + ProgramVersion() + "\n"}}) {
        std::ostringstream helpOut, helpErr;
        EXPECT_EQ(RunCommandLineTasks(Parse(args), helpOut, helpErr), 0) << args[0];
        EXPECT_EQ(helpOut.str().rfind(said, 0), 0u) << helpOut.str();
        EXPECT_EQ(helpErr.str(), "");
    }
    EXPECT_FALSE(ProgramVersion().empty());
}

TEST(CommandLineWait, ABusyDirectoryIsWaitedForAndADesktopStartingMeanwhileTakesOver) {
    using namespace std::chrono_literals;
    test::TempDir dir;
    test::ScopedDataDir data(dir.path());
    const std::string store = dir.path() + std::string(kSystemStoreFile);
    DataDirLock other;  // another run, without a window
    ASSERT_EQ(other.TryTake(dir.path()), DataDirLock::Result::kTaken);
    CommandLine command;
    command.taskType = kTaskReceive;
    command.lockWait = 400ms;
    std::ostringstream out, err;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunCommandLineTasks(command, out, err), 3);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 400ms);
    EXPECT_EQ(err.str(), "Korvo is already using " + dir.path() + "\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_FALSE(std::filesystem::exists(store)) << "no store is opened while waiting";

    // A desktop that starts while the run waits is handed the request.
    command.lockWait = 20s;
    std::ostringstream handedOut, handedErr;
    auto run = std::async(std::launch::async,
                          [&] { return RunCommandLineTasks(command, handedOut, handedErr); });
    std::this_thread::sleep_for(500ms);
    {
        test::ScriptedDesktop desktop(dir.path(),
                                      "accepted\nrow Receive\twork [ann]\tRun over!\tok\ndone\n");
        EXPECT_EQ(run.get(), 0) << handedErr.str();
        EXPECT_EQ(desktop.requests(), std::vector<std::string>{"run receive-all"});
    }
    EXPECT_EQ(handedOut.str(), "Receive\twork [ann]\tRun over!\tok\n");
    EXPECT_FALSE(std::filesystem::exists(store));

    // Once the directory is free the run is its own.
    other.Release();
    std::ostringstream ownOut, ownErr;
    EXPECT_EQ(RunCommandLineTasks(command, ownOut, ownErr), 0) << ownErr.str();
    EXPECT_EQ(ownOut.str(), "no accounts to work on\n");
    EXPECT_TRUE(std::filesystem::exists(store));
}

class CommandLineTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        ASSERT_TRUE(servers.AddUser("ann", "pw-ann")) << servers.error();
        ASSERT_TRUE(servers.AddUser("bob", "pw-bob")) << servers.error();
        for (int i = 1; i <= 3; ++i) {
            ASSERT_TRUE(servers.Seed("ann", "m" + std::to_string(i),
                                     "From: bob@localhost\r\nTo: ann@localhost\r\nSubject: n" +
                                         std::to_string(i) + "\r\n\r\nbody\r\n"));
        }
        ASSERT_TRUE(servers.StartPop3()) << servers.error();
        ASSERT_TRUE(servers.StartSmtp(false)) << servers.error();

        baseDataStruct* account = AddAccount(AddUser("ann"), "work", "ann@localhost");
        test::PointAtPop3(account, servers.pop3Port(), "ann", "pw-ann");
        setinfo(account, kThisNode, "smtpServer", "127.0.0.1");
        setinfo(account, kThisNode, "smtpPort", std::to_string(servers.smtpPort()));
        setinfo(account, kThisNode, "smtpSecurity", "none");
        setinfo(account, kThisNode, "SmtpCheck", "False");
        setinfo(account, kThisNode, "keepOnServer", "0");
        sys().DataSaveList(account, 1);

        baseDataStruct* prepare = sys().DataGetSysPoint(account, kKindBox, kBoxPrepare);
        SendParam param;
        param.From = "Ann <ann@localhost>";
        param.To = "bob@localhost";
        param.Subject = "from the command line";
        param.Body = "Hi.\r\n";
        param.Box = prepare;
        param.Letter = addson(mail().SysReadLinkTree(prepare, kLoadProperty), "%s", "");
        BuildLetter(param, std::time(nullptr), &mail());

        baseDataStruct* locked = AddUser("carl", "carl.sdb");
        AddAccount(locked, "secret", "carl@localhost");
        setinfo(locked, kThisNode, "LockState", "lock");
        sys().DataSaveList(locked, 1);
        stores.reset();  // the program opens the stores itself
    }

    int Run(int type, std::string* printed) {
        CommandLine command;
        command.taskType = type;
        std::ostringstream out, err;
        const int status = RunCommandLineTasks(command, out, err);
        *printed = out.str() + err.str();
        return status;
    }

    test::MailServers servers;
};

TEST_F(CommandLineTest, ReceiveAndSendEveryUnlockedAccount) {
    std::string printed;
    EXPECT_EQ(Run(kTaskReceive, &printed), 0) << printed;
    EXPECT_NE(printed.find("skipped: the user carl is locked"), std::string::npos) << printed;
    EXPECT_NE(printed.find("Receive\twork [ann]\tRun over!\tok\n"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("secret"), std::string::npos);
    EXPECT_TRUE(servers.Letters("ann").empty());  // received and deleted on the server

    EXPECT_EQ(Run(kTaskSend, &printed), 0) << printed;
    EXPECT_NE(printed.find("Send\twork [ann]\tRun over!\tok\n"), std::string::npos) << printed;
    EXPECT_EQ(servers.Letters("bob").size(), 1u);

    // The letters are in the stores.
    Reopen();
    baseDataStruct* account = findinfo(sys().root(), "caption", "work");
    ASSERT_NE(account, nullptr);
    baseDataStruct* receive = sys().DataGetSysPoint(account, kKindBox, kBoxReceive);
    baseDataStruct* letters = mail().SysReadLinkTree(receive, kLoadProperty);
    ASSERT_NE(letters, nullptr);
    EXPECT_EQ(getinfo(letters, kThisNode, "sumSon"), "3");
    baseDataStruct* send = sys().DataGetSysPoint(account, kKindBox, kBoxSend);
    EXPECT_EQ(getinfo(mail().SysReadLinkTree(send, kLoadProperty), kThisNode, "sumSon"), "1");
}

TEST_F(CommandLineTest, AFailingServerGivesStatusOne) {
    servers.StopPop3();
    std::string printed;
    EXPECT_EQ(Run(kTaskPreview, &printed), 1) << printed;
    EXPECT_NE(printed.find("Preview\twork [ann]\tFaile\t"), std::string::npos) << printed;
}

#ifdef KORVO_BINARY
// SIGTERM while `korvo --receive-all` moves many letters: the run ends with 143 and leaves sound
// stores holding whole letters, and the next run brings the rest, each letter once.
class CommandLineStopTest : public test::ModelTest {
  protected:
    static constexpr int kLetters = 1500;
    // About 2 KB more per letter, in lines of a usual length.
    inline static const std::string kFiller = [] {
        std::string lines;
        for (int i = 0; i < 25; ++i) lines += std::string(76, 'x') + "\r\n";
        return lines;
    }();

    static std::string Letter(int i) {
        return "From: bob@localhost\r\nTo: ann@localhost\r\nSubject: letter " + std::to_string(i) +
               "\r\n\r\nThis is letter number " + std::to_string(i) + ".\r\n" + kFiller;
    }

    pid_t Start(const std::string& output) {
        return test::StartReceiveAll(KORVO_BINARY, dir.path(), output);
    }

    static int Wait(pid_t pid) { return test::WaitForExit(pid, std::chrono::seconds(120)); }

    // Both stores check sound; returns how often each letter is in the receive box, and
    // fails for a letter that is not whole.
    std::map<int, int> ReceivedLetters() {
        std::map<int, int> seen;
        for (const char* file : {"Korvo.dat", "system.sdb"}) {
            std::ostringstream report;
            EXPECT_EQ(CheckStore(dir.path() + file, report), InspectStatus::kSound) << report.str();
        }
        Reopen();
        baseDataStruct* account = findinfo(sys().root(), "caption", "work");
        if (!account) return seen;
        baseDataStruct* box = mail().SysReadLinkTree(
            sys().DataGetSysPoint(account, kKindBox, kBoxReceive), kLoadProperty | kLoadSdata);
        for (baseDataStruct* l = box ? box->firstSon() : nullptr; l; l = l->nextBrother()) {
            if (!teststate(l, STATE_VALID)) continue;
            const std::string text = getinfo(l, kThisNode, "SDATA");
            const size_t at = text.find("This is letter number ");
            const int number = at == std::string::npos ? -1 : std::atoi(text.c_str() + at + 22);
            const std::string sent = Letter(number);
            EXPECT_EQ(text.substr(0, sent.size() - 2), sent.substr(0, sent.size() - 2));
            ++seen[number];
        }
        stores.reset();  // the next run opens them itself
        return seen;
    }

    test::MailServers servers;
};

TEST_F(CommandLineStopTest, SigtermStopsAReceiveCleanly) {
    ASSERT_TRUE(servers.AddUser("ann", "pw-ann")) << servers.error();
    char name[16];
    for (int i = 0; i < kLetters; ++i) {
        std::snprintf(name, sizeof name, "m%05d", i);
        ASSERT_TRUE(servers.Seed("ann", name, Letter(i)));
    }
    ASSERT_TRUE(servers.StartPop3()) << servers.error();
    baseDataStruct* account = AddAccount(AddUser("ann"), "work", "ann@localhost");
    test::PointAtPop3(account, servers.pop3Port(), "ann", "pw-ann");
    sys().DataSaveList(account, 1);
    stores.reset();

    // Signalled once letters are arriving in the mail store.
    const std::string store = dir.path() + "system.sdb";
    const std::string output = dir.path() + "first.txt";
    const pid_t pid = Start(output);
    ASSERT_GT(pid, 0);
    std::error_code error;
    const uintmax_t empty = std::filesystem::file_size(store, error);
    for (int i = 0; i < 3000 && std::filesystem::file_size(store, error) < empty + 256 * 1024; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 143) << test::ReadFile(output);

    std::map<int, int> seen = ReceivedLetters();
    EXPECT_GT(seen.size(), 0u);
    EXPECT_LT(seen.size(), size_t(kLetters)) << "the run ended before the signal";
    EXPECT_FALSE(servers.Letters("ann").empty());
    std::cout << seen.size() << " of " << kLetters << " letters stored before the signal\n";

    EXPECT_EQ(Wait(Start(dir.path() + "second.txt")), 0)
        << test::ReadFile(dir.path() + "second.txt");
    seen = ReceivedLetters();
    EXPECT_EQ(seen.size(), size_t(kLetters));
    for (const auto& [number, count] : seen) EXPECT_EQ(count, 1) << "letter " << number;
    EXPECT_TRUE(servers.Letters("ann").empty());
}
#endif

}  // namespace
}  // namespace korvo
