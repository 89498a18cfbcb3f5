// A receive that meets a full disk, a failing disk or a power cut: whatever the server was
// allowed to delete is in the receive box, once and whole, and the stores stay sound.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "tests/support/fake_pop3.h"
#include "tests/support/faulty_store_env.h"
#include "tests/support/message_recorder.h"
#include "tests/transport/receive_fixture.h"
#include "tools/store_audit.h"

namespace korvo::test {
namespace {

namespace fs = std::filesystem;

class ReceiveDurabilityTest : public ReceiveTest {
  protected:
    void SetUp() override {
        ReceiveTest::SetUp();
        Point("127.0.0.1", server.port(), "bob", "s3cret");
        KeepOnServer(false);
        ReopenStores();
        ASSERT_NE(Letters(kBoxReceive), nullptr);  // the mail store exists
        stores.reset();
        fs::create_directory(snapshot);
        for (const char* name : kFiles) fs::copy_file(dir.path() + name, snapshot + name);
        for (int i = 0; i < 4; ++i) {
            const std::string uid = "uid-" + std::to_string(i);
            // One letter needs chains of several blocks.
            letters.push_back({uid, SizedLetter("about " + uid, i == 1 ? 14000 : 400 + 300 * i)});
        }
    }

    // Puts the stores back as they were after SetUp and opens them (through whatever store
    // environment is current).
    void Restore() {
        stores.reset();
        for (const char* name : kFiles) {
            fs::copy_file(snapshot + name, dir.path() + name, fs::copy_options::overwrite_existing);
        }
        stores = std::make_unique<CDataStores>();
        ASSERT_TRUE(stores->OpenSystemStore());
        user = UserNamed("Ann");
        account = sys().DataGetSysPoint(user, kKindUATree)->firstSon();
        ASSERT_NE(Letters(kBoxReceive), nullptr);
        server.SetLetters(letters);
        // Deletes written ahead are where a pipelined pass could get ahead of the disk.
        server.SetCapabilities({"PIPELINING"});
    }

    // After a pass and a reopen: every letter the server deleted is in the receive box once
    // and whole, no letter is there twice, and both files are sound.
    void ExpectNothingLost(const std::string& trial) {
        SCOPED_TRACE(trial);
        for (const char* name : kFiles) {
            std::ostringstream report;
            EXPECT_EQ(CheckStore(dir.path() + name, report), InspectStatus::kSound) << name << "\n"
                                                                                    << report.str();
        }
        Reopen();
        user = UserNamed("Ann");
        account = sys().DataGetSysPoint(user, kKindUATree)->firstSon();
        const std::vector<std::string> left = server.Uids();
        std::map<std::string, int> copies;
        for (const LetterView& l : View(kBoxReceive)) ++copies[l.id];
        for (const auto& [id, count] : copies) EXPECT_EQ(count, 1) << id;
        for (const FakePop3::Letter& letter : letters) {
            if (std::find(left.begin(), left.end(), letter.uid) != left.end()) continue;
            ++deletedSeen;
            const LetterView* kept = nullptr;
            const auto box = View(kBoxReceive);
            for (const LetterView& l : box) {
                if (l.id == letter.uid) kept = &l;
            }
            ASSERT_NE(kept, nullptr) << letter.uid << " was deleted on the server and is lost";
            EXPECT_EQ(kept->read, "1");
            EXPECT_EQ(kept->text, letter.text.substr(0, letter.text.size() - 2)) << letter.uid;
        }
    }

    static constexpr const char* kFiles[] = {"Korvo.dat", "system.sdb"};
    FakePop3 server;
    const std::string snapshot = dir.path() + "snapshot/";
    std::vector<FakePop3::Letter> letters;
    int deletedSeen = 0;
};

TEST_F(ReceiveDurabilityTest, EveryFailedWriteOrSyncStopsThePassAndLosesNoLetter) {
    long writes = 0, syncs = 0;
    {
        FaultyStoreEnv env;
        Restore();
        const long w = env.writes(), s = env.syncs();
        Run(1);
        writes = env.writes() - w;
        syncs = env.syncs() - s;
        EXPECT_EQ(task->stateText, "Run over!");
        EXPECT_TRUE(server.Uids().empty());
        stores.reset();
    }
    ASSERT_GT(writes, 10);
    ASSERT_GT(syncs, 0);
    MessageRecorder messages;
    std::mt19937 random(81208);
    auto trial = [&](const std::function<void(FaultyStoreEnv&)>& arm, const std::string& name,
                     const char* why) {
        {
            FaultyStoreEnv env;
            Restore();
            arm(env);
            Run(1);
            EXPECT_EQ(task->stateText, "Faile") << name;
            EXPECT_EQ(task->infoText, why) << name;
            stores.reset();
            // What a failed sync left unsynced may never reach the disk.
            env.CutPower(random, false);
        }
        ExpectNothingLost(name);
    };
    for (long k = 1; k <= writes; ++k) {
        trial([&](FaultyStoreEnv& env) { env.FailWrite(k, ENOSPC, k % 2 == 0); },
              "write " + std::to_string(k), "No space left on device");
    }
    for (long k = 1; k <= syncs; ++k) {
        trial([&](FaultyStoreEnv& env) { env.FailSync(k, EIO); }, "sync " + std::to_string(k),
              "Input/output error");
    }
    // Failures early and late: some passes deleted letters, so the check above had teeth.
    EXPECT_GT(deletedSeen, 0);
}

TEST_F(ReceiveDurabilityTest, PowerCutsNeverLoseALetterTheServerDeleted) {
    std::mt19937 random(20261208);
    long writes = 0;
    {
        FaultyStoreEnv env;
        Restore();
        const long w = env.writes();
        Run(1);
        writes = env.writes() - w;
        stores.reset();
    }
    MessageRecorder messages;
    for (int cut = 0; cut < 300; ++cut) {
        const long at = std::uniform_int_distribution<long>(1, writes + 5)(random);
        {
            FaultyStoreEnv env;
            Restore();
            env.PowerOffAtWrite(at);
            Run(1);
            stores.reset();
            env.CutPower(random, cut % 3 != 0);
        }
        ExpectNothingLost("cut " + std::to_string(cut) + " at write " + std::to_string(at));
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(deletedSeen, 0);
}

// Ids as long as a server may make them, sharing most of their length, and ids no server may
// send: the first are all received under their whole id, the others neither stored nor
// deleted. An id stored cut short by an older version is never taken for a longer one.
TEST_F(ReceiveDurabilityTest, LongIdsAreKeptWholeAndBadIdsSkipped) {
    Restore();
    const std::string prefix = "0123456789abcdefghijklmnopqrstuvwxyz-0123456789abcdefghijklmno";
    std::vector<FakePop3::Letter> serverLetters;
    for (int i = 0; i < 30; ++i) {
        serverLetters.push_back(
            {prefix + StrPrintf("%06d", i), SizedLetter("long " + std::to_string(i), 500)});
        ASSERT_EQ(serverLetters.back().uid.size(), 68u);
    }
    const std::vector<std::string> bad = {prefix + "0123456789", "bad\x01id",
                                          std::string("nul\0id", 6)};
    for (const std::string& id : bad) serverLetters.push_back({id, SizedLetter("bad", 400)});
    server.SetLetters(serverLetters);
    // A letter stored under the first id as an older version cut it.
    baseDataStruct* old = AddSonText(Letters(kBoxReceive), "type =letter ,read =1 ,MailId =" +
                                                               serverLetters[0].uid.substr(0, 43));
    setinfo(old, kThisNode, "SDATA", "old");
    ASSERT_GE(mail().DataSaveList(old, 1), 0);

    Run(1);
    EXPECT_EQ(task->stateText, "Faile");
    EXPECT_EQ(task->infoText, "3 letters skipped: no valid unique id from the server");
    std::vector<std::string> left = server.Uids();
    std::sort(left.begin(), left.end());
    std::vector<std::string> badSorted = bad;
    std::sort(badSorted.begin(), badSorted.end());
    EXPECT_EQ(left, badSorted);
    ReopenStores();
    std::set<std::string> ids;
    for (const LetterView& l : View(kBoxReceive)) ids.insert(l.id);
    EXPECT_EQ(ids.size(), 31u);
    for (const auto& letter : serverLetters) {
        if (letter.uid.size() == 68) {
            EXPECT_TRUE(ids.count(letter.uid)) << letter.uid;
        }
    }
}

// A real file system that fills up during a receive (needs root to mount it).
TEST_F(ReceiveDurabilityTest, AFullDiskStopsTheReceiveAndLosesNothing) {
    const std::string mount = dir.path() + "small/";
    fs::create_directory(mount);
    if (::geteuid() != 0 || ::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=10m") != 0) {
        GTEST_SKIP() << "mounting a small file system needs root";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mount};
    std::vector<FakePop3::Letter> big;
    // More than one group of letters is stored before the disk is full.
    for (int i = 0; i < 120; ++i) {
        big.push_back({"big-" + std::to_string(i), SizedLetter("big " + std::to_string(i), 60000)});
    }
    MessageRecorder messages;
    {
        ScopedDataDir inSmall(mount);
        stores = std::make_unique<CDataStores>();
        ASSERT_TRUE(stores->OpenSystemStore());
        user = AddUser("Ann");
        account = AddAccount(user, "Work", "bob@mail.example.org");
        Point("127.0.0.1", server.port(), "bob", "s3cret");
        KeepOnServer(false);
        ASSERT_GE(sys().DataSaveList(account, 1), 0);
        ASSERT_NE(Letters(kBoxReceive), nullptr);
        server.SetLetters(big);
        Run(1);
        EXPECT_EQ(task->stateText, "Faile");
        EXPECT_EQ(task->infoText, "No space left on device");
        EXPECT_FALSE(messages.messages().empty());
        stores.reset();
        const std::vector<std::string> left = server.Uids();
        EXPECT_FALSE(left.empty());
        EXPECT_LT(left.size(), big.size());  // some letters fitted and were deleted

        std::ostringstream report;
        EXPECT_EQ(CheckStore(mount + "system.sdb", report), InspectStatus::kSound) << report.str();
        stores = std::make_unique<CDataStores>();
        ASSERT_TRUE(stores->OpenSystemStore());
        user = UserNamed("Ann");
        account = sys().DataGetSysPoint(user, kKindUATree)->firstSon();
        std::set<std::string> stored;
        for (const LetterView& l : View(kBoxReceive)) {
            stored.insert(l.id);
            EXPECT_EQ(l.read, "1");
            EXPECT_EQ(l.text.size(), 60000u - 2) << l.id;
        }
        for (const auto& letter : big) {
            if (std::find(left.begin(), left.end(), letter.uid) == left.end()) {
                EXPECT_TRUE(stored.count(letter.uid)) << letter.uid << " is lost";
            }
        }
        stores.reset();
    }
    stores = std::make_unique<CDataStores>();
}

}  // namespace
}  // namespace korvo::test
