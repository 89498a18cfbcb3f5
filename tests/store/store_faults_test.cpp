// Every write and every sync of the store's operations is made to fail in turn. Each time the
// operation must say so, the file must take no further writes, and the file opened again must
// be sound and hold every node saved before exactly as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "store/data_manager.h"
#include "store/node_tree.h"
#include "tests/support/faulty_store_env.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"
#include "tools/store_audit.h"

namespace korvo {
namespace {

struct Stored {
    std::string property;
    std::string sdata;
    std::string strdata;
    std::string parent;
    bool operator==(const Stored&) const = default;
};

// Every node of a store by its name `N`, with all three blocks as stored.
std::map<std::string, Stored> ReadAll(const std::string& path) {
    CBaseDataManage store;
    std::map<std::string, Stored> nodes;
    if (!store.DataOpen(path)) return nodes;
    store.DataLoadTree(nullptr, -1, kLoadProperty | kLoadSdata | kLoadStrdata | kLoadLazySons,
                       true);
    std::function<void(baseDataStruct*)> walk = [&](baseDataStruct* n) {
        for (baseDataStruct* s = n->firstSon(); s; s = s->nextBrother()) {
            const auto data = getdata(s, "STRDATA");
            nodes[getinfo(s, kThisNode, "N")] = {
                std::string(s->propertyText()), getinfo(s, kThisNode, "SDATA"),
                data ? std::string(*data) : std::string(), getinfo(n, kThisNode, "N")};
            walk(s);
        }
    };
    walk(store.root());
    return nodes;
}

baseDataStruct* Named(baseDataStruct* root, const std::string& name) {
    return findinfo(root, "N", name);
}

// One operation on a store that holds the base tree; true when it says it succeeded.
struct Operation {
    const char* name;
    std::function<bool(CBaseDataManage&)> run;
    // Nodes the operation changes or removes: after a failure each is either as before or
    // gone, never damaged.
    std::vector<std::string> touched;
};

class StoreFaultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CBaseDataManage store;
        ASSERT_TRUE(store.DataOpen(base, "New"));
        baseDataStruct* root = store.root();
        addson(root, "N =a ,pType =2");
        baseDataStruct* b = addson(root, "N =b ,pType =3");
        setinfo(b, kThisNode, "SDATA", std::string(12000, 'b'));
        setdata(b, std::string(700, 'B'));
        baseDataStruct* c = addson(root, "N =c ,long =%s", std::string(400, 'c').c_str());
        addson(c, "N =c1");
        baseDataStruct* c2 = addson(c, "N =c2");
        setinfo(c2, kThisNode, "SDATA", std::string(6000, '2'));
        ASSERT_GE(store.DataSaveList(root->firstSon(), 2), 0);
        ASSERT_TRUE(store.DataClose());
        before = ReadAll(base);
        ASSERT_EQ(before.size(), 5u);
    }

    // Runs `op` on a fresh copy of the base store while `arm` sets up the fault; checks what
    // the failure must leave. Returns the number of writes and syncs the run made.
    void RunFaulty(const Operation& op, const std::function<void(test::FaultyStoreEnv&)>& arm,
                   const std::string& label) {
        SCOPED_TRACE(std::string(op.name) + ", " + label);
        std::filesystem::copy_file(base, work, std::filesystem::copy_options::overwrite_existing);
        test::MessageRecorder messages;
        {
            test::FaultyStoreEnv env;
            CBaseDataManage store;
            ASSERT_TRUE(store.DataOpen(work));
            store.DataLoadTree(nullptr, -1, kLoadProperty | kLoadSdata | kLoadStrdata, true);
            arm(env);
            const bool ok = op.run(store) && store.DataSync();
            EXPECT_FALSE(ok);
            EXPECT_TRUE(store.failed());
            EXPECT_FALSE(store.failureText().empty());
            // The file is fenced: a later save reports failure and leaves the node modified.
            baseDataStruct* a = Named(store.root(), "a");
            ASSERT_NE(a, nullptr);
            setinfo(a, kThisNode, "late", "1");
            EXPECT_EQ(store.DataSavePoint(a), 0);
            EXPECT_TRUE(teststate(a, STATE_MODIFIED));
            EXPECT_FALSE(store.DataClose());
        }
        EXPECT_EQ(messages.messages().size(), 1u) << messages.messages().back();
        std::ostringstream report;
        EXPECT_EQ(CheckStore(work, report), InspectStatus::kSound) << report.str();
        const auto after = ReadAll(work);
        for (const auto& [name, node] : before) {
            const bool touched =
                std::find(op.touched.begin(), op.touched.end(), name) != op.touched.end();
            auto it = after.find(name);
            if (touched && it == after.end()) continue;
            ASSERT_NE(it, after.end()) << name << " is lost";
            if (!touched) {
                EXPECT_EQ(it->second, node) << name << " changed";
            }
            // A touched node is as before or as the operation left it, never a mixture.
            if (touched && !(it->second == node)) changed.insert(name);
        }
    }

    // Counts the writes and syncs of a run that succeeds.
    std::pair<long, long> Count(const Operation& op) {
        std::filesystem::copy_file(base, work, std::filesystem::copy_options::overwrite_existing);
        test::FaultyStoreEnv env;
        CBaseDataManage store;
        EXPECT_TRUE(store.DataOpen(work));
        store.DataLoadTree(nullptr, -1, kLoadProperty | kLoadSdata | kLoadStrdata, true);
        const long writes = env.writes();
        const long syncs = env.syncs();
        EXPECT_TRUE(op.run(store) && store.DataSync()) << op.name;
        return {env.writes() - writes, env.syncs() - syncs};
    }

    test::TempDir dir;
    const std::string base = dir.path() + "base.dat";
    const std::string work = dir.path() + "work.dat";
    std::map<std::string, Stored> before;
    std::set<std::string> changed;
};

TEST_F(StoreFaultsTest, EveryFailedWriteOrSyncIsReportedAndLosesNothingSaved) {
    const Operation operations[] = {
        {"save a node",
         [](CBaseDataManage& s) {
             baseDataStruct* b = Named(s.root(), "b");
             setinfo(b, kThisNode, "grown", std::string(500, 'g'));
             setinfo(b, kThisNode, "SDATA", std::string(20000, 'n'));
             setdata(b, std::string(60, 'd'));
             return s.DataSavePoint(b) == 1;
         },
         {"b"}},
        {"save a list",
         [](CBaseDataManage& s) {
             baseDataStruct* n = addson(s.root(), "N =n");
             setinfo(addson(n, "N =n1"), kThisNode, "SDATA", std::string(8000, '1'));
             addson(n, "N =n2 ,long =%s", std::string(300, 'x').c_str());
             setinfo(Named(s.root(), "a"), kThisNode, "seen", "1");
             return s.DataSaveList(s.root()->firstSon(), 2) >= 0;
         },
         {"a"}},
        {"new point",
         [](CBaseDataManage& s) {
             baseDataStruct* p = addson(Named(s.root(), "a"), "N =p");
             setinfo(p, kThisNode, "SDATA", std::string(6000, 'p'));
             return s.DataNewPoint(p, -1) >= 0;
         },
         {}},
        {"delete point tree",
         [](CBaseDataManage& s) { return s.DataDeletePoint(Named(s.root(), "c"), 0); },
         {"c", "c1", "c2"}},
        {"hide a node",
         [](CBaseDataManage& s) { return s.DataDeletePoint(Named(s.root(), "b"), 1); },
         {"b"}},
    };
    for (const Operation& op : operations) {
        const auto [writes, syncs] = Count(op);
        ASSERT_GT(writes, 0) << op.name;
        ASSERT_GT(syncs, 0) << op.name;
        for (long k = 1; k <= writes; ++k) {
            for (bool shortWrite : {false, true}) {
                RunFaulty(
                    op, [&](test::FaultyStoreEnv& env) { env.FailWrite(k, ENOSPC, shortWrite); },
                    "write " + std::to_string(k) + (shortWrite ? " short" : ""));
            }
        }
        for (long k = 1; k <= syncs; ++k) {
            RunFaulty(
                op, [&](test::FaultyStoreEnv& env) { env.FailSync(k, EIO); },
                "sync " + std::to_string(k));
        }
    }
    // The injected failures reached far enough that the changed nodes were seen both ways.
    EXPECT_TRUE(changed.count("b"));
}

// The file refuses a second writer, in this process or another.
TEST(StoreLockTest, AnOpenStoreCannotBeOpenedAgain) {
    test::TempDir dir;
    CBaseDataManage first;
    ASSERT_TRUE(first.DataOpen(dir.path() + "Korvo.dat", "New"));
    CBaseDataManage second;
    EXPECT_FALSE(second.DataOpen(dir.path() + "Korvo.dat"));
    EXPECT_EQ(second.file().openError(), EWOULDBLOCK);
    // "New" must not empty a file someone else holds.
    EXPECT_FALSE(second.DataOpen(dir.path() + "Korvo.dat", "New"));
    EXPECT_TRUE(first.DataClose());
    EXPECT_TRUE(second.DataOpen(dir.path() + "Korvo.dat"));
    EXPECT_EQ(getinfo(second.root(), kThisNode, "type"), "Root");
}

}  // namespace
}  // namespace korvo
