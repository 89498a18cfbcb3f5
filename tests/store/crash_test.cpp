// A writer is killed at random moments; after every kill the store must be sound and hold
// exactly what every finished operation wrote.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "store/data_manager.h"
#include "store/node_tree.h"
#include "tests/store/crash_content.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"
#include "tools/store_audit.h"

namespace korvo {
namespace {

enum class Exists { kYes, kMaybe };

// What the journal allows for one node.
struct Expected {
    Exists exists = Exists::kYes;
    std::set<long> versions;  // its content is one of these versions
    long parent = 0;          // uid, 0 = the root
};

// What the journal says the store may hold. An operation that was begun but not finished
// (its writer was killed) may or may not have taken effect, and no later run redoes it: its
// nodes stay uncertain until a finished operation settles them.
struct JournalState {
    std::map<long, Expected> nodes;
    size_t finished = 0;
};

void Below(const std::map<long, Expected>& nodes, long uid, std::set<long>* out) {
    out->insert(uid);
    for (const auto& [child, e] : nodes) {
        if (e.parent == uid && !out->count(child)) Below(nodes, child, out);
    }
}

void Apply(JournalState* s, const std::string& op, bool finished) {
    std::istringstream in(op);
    std::string b, kind;
    long uid = 0;
    in >> b >> kind >> uid;
    if (kind == "C") {
        Expected e;
        long version = 0;
        in >> version >> e.parent;
        e.versions = {version};
        e.exists = finished ? Exists::kYes : Exists::kMaybe;
        s->nodes[uid] = e;
    } else if (kind == "M") {
        long version = 0;
        in >> version;
        Expected& e = s->nodes[uid];
        if (finished) {
            e.versions = {version};
            e.exists = Exists::kYes;  // the writer found it, so it is there
        } else {
            e.versions.insert(version);
        }
    } else if (kind == "D") {
        std::set<long> gone;
        Below(s->nodes, uid, &gone);
        for (long g : gone) {
            if (finished) {
                s->nodes.erase(g);
            } else {
                s->nodes[g].exists = Exists::kMaybe;
            }
        }
    }
}

JournalState Replay(const std::string& text) {
    JournalState s;
    std::istringstream in(text);
    std::string line, begun;
    while (std::getline(in, line)) {
        if (in.eof() && !text.ends_with('\n')) break;  // a line cut short
        if (line == "E") {
            Apply(&s, begun, true);
            begun.clear();
            ++s.finished;
        } else {
            if (!begun.empty()) Apply(&s, begun, false);  // its writer was killed
            begun = line;
        }
    }
    if (!begun.empty()) Apply(&s, begun, false);
    return s;
}

void Verify(const std::string& path, const JournalState& journal, int round) {
    std::ostringstream report;
    ASSERT_EQ(CheckStore(path, report), InspectStatus::kSound) << "round " << round << "\n"
                                                               << report.str();
    CBaseDataManage store;
    ASSERT_TRUE(store.DataOpen(path)) << round;
    std::map<long, const baseDataStruct*> found;
    std::vector<baseDataStruct*> stack{store.root()};
    while (!stack.empty()) {
        baseDataStruct* n = stack.back();
        stack.pop_back();
        for (baseDataStruct* s = n->firstSon(); s; s = s->nextBrother()) {
            stack.push_back(s);
            EXPECT_TRUE(store.DataLoadPoint(s, -1, kLoadSdata | kLoadStrdata)) << round;
            const long uid = TextToLong(getinfo(s, kThisNode, "uid"));
            EXPECT_TRUE(found.emplace(uid, s).second) << "uid " << uid << " twice, round " << round;
        }
    }
    for (const auto& [uid, node] : found) {
        EXPECT_TRUE(journal.nodes.count(uid))
            << "uid " << uid << " should not exist, round " << round;
    }
    for (const auto& [uid, e] : journal.nodes) {
        auto it = found.find(uid);
        if (it == found.end()) {
            ASSERT_EQ(e.exists, Exists::kMaybe) << "uid " << uid << " lost, round " << round << "\n"
                                                << report.str();
            continue;
        }
        const baseDataStruct* node = it->second;
        const long version = TextToLong(getinfo(node, kThisNode, "v"));
        ASSERT_TRUE(e.versions.count(version))
            << "uid " << uid << " has version " << version << ", round " << round;
        const crashtest::Content c = crashtest::ContentOf(uid, version);
        const std::string property = node->propertyText();
        EXPECT_EQ(property.substr(0, property.rfind(" ,pointId =")), c.property)
            << "uid " << uid << " round " << round;
        EXPECT_EQ(getinfo(node, kThisNode, "SDATA"), c.sdata) << uid;
        EXPECT_EQ(std::string(getdata(node, "STRDATA").value_or("")), c.strdata) << uid;
        const long parent = node->parent() == store.root()
                                ? 0
                                : TextToLong(getinfo(node->parent(), kThisNode, "uid"));
        EXPECT_EQ(parent, e.parent) << "uid " << uid << " round " << round;
    }
}

TEST(CrashConsistency, KilledWritersLeaveASoundStoreWithEveryFinishedSave) {
    test::TempDir dir;
    const std::string store = dir.path() + "crash.dat";
    const std::string journal = dir.path() + "journal.txt";
    {
        CBaseDataManage create;
        ASSERT_TRUE(create.DataOpen(store, "New"));
    }
    std::mt19937 rng(20261207);
    constexpr int kRounds = 120;
    size_t operations = 0;
    for (int round = 0; round < kRounds; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const std::string seed = std::to_string(round + 1);
            const std::string base = std::to_string((round + 1) * 1000000L);
            ::execl(KORVO_CRASH_WRITER, KORVO_CRASH_WRITER, store.c_str(), journal.c_str(),
                    seed.c_str(), base.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Let the writer finish a random number of operations (however slow the machine is),
        // then kill it a random moment later, in the middle of whatever it does.
        const size_t target = Replay(test::ReadFile(journal)).finished + 1 + rng() % 40;
        for (int wait = 0; wait < 4000; ++wait) {
            if (Replay(test::ReadFile(journal)).finished >= target) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself: " << status;
        const JournalState state = Replay(test::ReadFile(journal));
        operations = state.finished;
        test::MessageRecorder quiet;
        Verify(store, state, round);
        if (HasFatalFailure()) return;
    }
    // The kills must have landed among real work, not only at start-up.
    EXPECT_GT(operations, size_t(kRounds) * 3);
    std::cout << operations << " operations finished across " << kRounds << " kills\n";
}

}  // namespace
}  // namespace korvo
