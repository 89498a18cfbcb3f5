#include "shell/task_hand_off.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <sstream>

#include "model/sys_schema.h"
#include "tests/model/model_fixture.h"
#include "tests/shell/scripted_desktop.h"
#include "transport/task_engine.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;

struct Finished {
    HandOffResult result;
    std::string out, err;
};

Finished HandOff(const std::string& dir, HandOffWaits waits) {
    Finished done;
    std::ostringstream out, err;
    done.result = HandOffTasks(dir, kTaskReceive, waits, out, err);
    done.out = out.str();
    done.err = err.str();
    return done;
}

// The command line's side against desktops that answer as scripted.
TEST(TaskHandOffClient, PrintsWhatTheDesktopSendsAndSurvivesWhatItShouldNot) {
    struct Case {
        const char* name;
        std::string script;
        bool holdOpen;  // the desktop keeps the connection after its script
        bool taken;
        int status;
        std::string out;
        std::string err;  // a part of stderr; empty: nothing goes there
    };
    const std::string ok = "Receive\twork [ann]\tRun over!\tok\n";
    const Case cases[] = {
        {"notes and rows",
         "accepted\nnote skipped: the user carl is locked\nwait\nrow " + ok + "done\n", false, true,
         0, "skipped: the user carl is locked\n" + ok, ""},
        {"escaped texts and a failed task",
         "accepted\nrow Send\tw\\tx [a]\tFaile\tbad \\\\ reply\\r\\nhere\ndone\n", false, true, 1,
         "Send\tw\tx [a]\tFaile\tbad \\ reply\r\nhere\n", ""},
        {"lines of unknown kinds are passed over",
         "accepted\n\nhello there\nprogress 50\nrow " + ok + "done\n", false, true, 0, ok, ""},
        {"a row that cannot be read is no success", "accepted\nrow Receive only\ndone\n", false,
         true, 1, "", ""},
        {"the desktop ends mid-stream", "accepted\nrow " + ok, false, true, 1, ok,
         "ended before the tasks had run"},
        {"the desktop gives up", "accepted\nrow " + ok + "fail Korvo is closing\n", true, true, 1,
         ok, "korvo: Korvo is closing"},
        {"the desktop falls silent", "accepted\nwait\n", true, true, 1, "", "stopped answering"},
        {"a line without end", "accepted\nrow " + std::string(100000, 'x'), true, true, 1, "",
         "too long"},
        {"refused: the request can still run here", "fail Korvo is closing\n", false, false, 1, "",
         ""},
        {"hung up before an answer", "", false, false, 1, "", ""},
        {"hung up in the middle of the answer", "accep", false, false, 1, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        test::ScriptedDesktop desktop(dir.path(), c.script, c.holdOpen);
        const Finished done = HandOff(dir.path(), {5s, 300ms});
        EXPECT_EQ(desktop.requests(), std::vector<std::string>{"run receive-all"});
        EXPECT_EQ(done.result.taken, c.taken);
        if (c.taken) {
            EXPECT_EQ(done.result.status, c.status);
        }
        EXPECT_EQ(done.out, c.out);
        if (c.err.empty())
            EXPECT_EQ(done.err, "");
        else
            EXPECT_NE(done.err.find(c.err), std::string::npos) << done.err;
    }
    // Nobody listening: nothing is taken and nothing printed.
    test::TempDir empty;
    const Finished done = HandOff(empty.path(), {5s, 300ms});
    EXPECT_FALSE(done.result.taken);
    EXPECT_EQ(done.out + done.err, "");
}

// Queues as the desktop does: one task per account, shared by later requests.
class FakeQueue : public TaskQueue {
  public:
    bool CanQueue() override { return canQueue; }
    std::optional<uint32_t> QueueTask(baseDataStruct* account, int type) override {
        const std::string caption = getinfo(account, kThisNode, "caption");
        // Numbered from 0, as the task list's ids are.
        auto [at, added] = ids.emplace(caption, uint32_t(ids.size()));
        EXPECT_EQ(type, kTaskReceive);
        if (added) queued.push_back(caption);
        return at->second;
    }
    std::optional<uint32_t> QueueImport(baseDataStruct* box, const std::vector<std::string>& paths,
                                        std::function<void(const ImportResult&)> done) override {
        imports.push_back(getinfo(box, kThisNode, "caption") + ":" + std::to_string(paths.size()));
        importDone = std::move(done);
        return 77;
    }
    bool canQueue = true;
    std::vector<std::string> imports;  // "box:number of paths"
    std::function<void(const ImportResult&)> importDone;
    std::map<std::string, uint32_t> ids;  // by account caption
    std::vector<std::string> queued;
};

// The desktop's side, reached through a real instance guard by the command line's side.
class TaskHandOffTest : public test::ModelTest {
  protected:
    void SetUp() override {
        test::ModelTest::SetUp();
        ann = AddUser("ann");
        AddAccount(ann, "work");
        AddAccount(ann, "home");
        baseDataStruct* carl = AddUser("carl", "carl.sdb");
        AddAccount(carl, "secret");
        setinfo(carl, kThisNode, "LockState", "lock");
        guard.SetRequestHandler(
            [this](std::string request, std::shared_ptr<InstanceConnection> peer) {
                std::lock_guard<std::mutex> lock(mutex);
                requests.emplace_back(std::move(request), std::move(peer));
                arrived.notify_all();
            });
        ASSERT_EQ(guard.Acquire(dir.path(), [] {}), InstanceGuard::Outcome::kFirst);
    }

    std::future<Finished> StartCommandLine(HandOffWaits waits = {5s, 5s}) {
        return std::async(std::launch::async, [this, waits] { return HandOff(dir.path(), waits); });
    }
    // The next request, taken on this thread as the desktop's UI thread takes it.
    void TakeNext() {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(arrived.wait_for(lock, 10s, [&] { return !requests.empty(); }));
        auto [request, peer] = std::move(requests.front());
        requests.erase(requests.begin());
        lock.unlock();
        handOff.Take(request, std::move(peer));
    }
    void End(const std::string& account, const std::string& state, const std::string& info) {
        handOff.TaskEnded(queue.ids.at(account), {"Receive", account + " [ann]", state, info});
    }

    baseDataStruct* ann = nullptr;
    FakeQueue queue;
    TaskHandOff handOff{sys(), queue};
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::pair<std::string, std::shared_ptr<InstanceConnection>>> requests;
    InstanceGuard guard;  // last: its thread stops before what its handler uses goes
};

TEST_F(TaskHandOffTest, EveryWaitingCommandLineGetsTheRowsOfItsTasks) {
    // Two command lines at once share the tasks; the waits outlast their idle limit.
    auto first = StartCommandLine({5s, 600ms});
    TakeNext();
    auto second = StartCommandLine({5s, 600ms});
    TakeNext();
    EXPECT_EQ(queue.queued, (std::vector<std::string>{"work", "home"}));
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(300ms);
        handOff.KeepAlive();
    }
    handOff.TaskEnded(99, {"Receive", "other [bob]", "Run over!", "ok"});  // nobody's task
    End("work", "Run over!", "ok");
    EXPECT_TRUE(handOff.open());
    End("home", "Faile", "Socket Error");
    EXPECT_FALSE(handOff.open());
    for (auto* run : {&first, &second}) {
        const Finished done = run->get();
        EXPECT_TRUE(done.result.taken);
        EXPECT_EQ(done.result.status, 1);
        EXPECT_EQ(done.out,
                  "skipped: the user carl is locked\n"
                  "Receive\twork [ann]\tRun over!\tok\n"
                  "Receive\thome [ann]\tFaile\tSocket Error\n");
        EXPECT_EQ(done.err, "");
    }

    // With every user locked there is nothing to do, as a run of its own would say.
    setinfo(ann, kThisNode, "LockState", "lock");
    auto none = StartCommandLine();
    TakeNext();
    const Finished done = none.get();
    EXPECT_EQ(done.result.status, 0);
    EXPECT_EQ(done.out,
              "skipped: the user ann is locked\nskipped: the user carl is locked\n"
              "no accounts to work on\n");
}

TEST_F(TaskHandOffTest, ADesktopThatCannotFinishSaysSo) {
    // Leaving, it takes nothing: the command line may run the tasks itself.
    queue.canQueue = false;
    auto refused = StartCommandLine();
    TakeNext();
    EXPECT_FALSE(refused.get().result.taken);
    EXPECT_TRUE(queue.queued.empty());

    // Its task window goes with tasks not run: the rows so far, then the failure.
    queue.canQueue = true;
    auto dropped = StartCommandLine();
    TakeNext();
    End("work", "Run over!", "ok");
    handOff.TasksDropped("the task window was closed");
    const Finished done = dropped.get();
    EXPECT_TRUE(done.result.taken);
    EXPECT_EQ(done.result.status, 1);
    EXPECT_EQ(done.out, "skipped: the user carl is locked\nReceive\twork [ann]\tRun over!\tok\n");
    EXPECT_EQ(done.err, "korvo: the task window was closed\n");

    // A request it does not know is refused.
    std::unique_ptr<InstanceConnection> peer = InstanceConnection::Connect(dir.path());
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(peer->Send("run everything"));
    TakeNext();
    std::string answer;
    EXPECT_EQ(peer->ReadLine(&answer, 5s), InstanceConnection::Read::kLine);
    EXPECT_EQ(answer, "fail unknown request: run everything");
}

TEST_F(TaskHandOffTest, TransfersRunInTheDesktopAndTheCommandLinePrintsTheirOutcome) {
    using Kind = MailTransferRequest::Kind;
    ImportResult cancelled;
    cancelled.stored = 2;
    cancelled.cancelled = true;
    cancelled.problems = {"the box was deleted"};
    const std::string mbox = dir.path() + "out.mbox";
    const struct {
        const char* name;
        MailTransferRequest request;
        const ImportResult* import;  // the queued import's result; null: none is queued
        int status;
        std::string out, err;
    } cases[] = {
        {"an import as a task",
         {Kind::kImport, {"a.mbox", "b"}, "ann/work/Receive", "", "", ""},
         &cancelled,
         1,
         "2 letters imported\n",
         "korvo: the box was deleted\n"},
        {"an import into no box",
         {Kind::kImport, {"a.mbox"}, "ann/work/Nowhere", "", "", ""},
         nullptr,
         1,
         "",
         "korvo: no box Nowhere in ann/work\n"},
        {"an export at once", {Kind::kExport, {}, "ann/home/Drafts", "", "", ""}, nullptr, 0,
         "0 letters exported\n", ""},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        if (c.request.kind == Kind::kExport) c.request.mbox = mbox;
        auto run = std::async(std::launch::async, [&] {
            Finished done;
            std::ostringstream out, err;
            done.result = HandOffTransfer(dir.path(), c.request, {5s, 5s}, out, err);
            done.out = out.str();
            done.err = err.str();
            return done;
        });
        TakeNext();
        if (c.import) {
            ASSERT_TRUE(queue.importDone);
            EXPECT_EQ(queue.imports.back(), "Receive:2");
            EXPECT_TRUE(handOff.open());
            std::exchange(queue.importDone, {})(*c.import);
            handOff.TaskEnded(77, {"Import", "Receive [ann]", "Faile", "2 letters imported"});
        }
        const Finished done = run.get();
        EXPECT_TRUE(done.result.taken);
        EXPECT_EQ(done.result.status, c.status);
        EXPECT_EQ(done.out, c.out);
        EXPECT_EQ(done.err, c.err);
        EXPECT_FALSE(handOff.open());
    }
    EXPECT_EQ(queue.imports.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(mbox));
}

}  // namespace
}  // namespace korvo
