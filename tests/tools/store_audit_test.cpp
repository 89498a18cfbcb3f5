// The inspection tool, and what damaged store files do to it and to the data manager.
#include "tools/store_audit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "store/data_manager.h"
#include "store/node_tree.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

using namespace storefmt;

// Record r of the first point block (blocks 10 to 28, consecutive in a small store).
uint64_t RecordAt(uint32_t id) {
    return BlockOffset(10) + kPointHeaderSize + uint64_t(id) * kRecordSize;
}
uint64_t PrimaryEntry(uint32_t block) {
    return BlockOffset(0) + 4 * uint64_t(block);
}
uint64_t MirrorEntry(uint32_t block) {
    return PrimaryEntry(block) + kTableBytes;
}

void Poke(const std::string& path, uint64_t offset, uint32_t value) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t raw[4];
    Put32(raw, value);
    f.seekp(std::streamoff(offset));
    f.write(reinterpret_cast<const char*>(raw), 4);
}

uint32_t Peek(const std::string& path, uint64_t offset) {
    const std::string bytes = test::ReadFile(path);
    return Get32(reinterpret_cast<const uint8_t*>(bytes.data()) + offset);
}

// Sets a table entry in both copies, so that opening keeps the damage.
void PokeEntry(const std::string& path, uint32_t block, uint32_t value) {
    Poke(path, PrimaryEntry(block), value);
    Poke(path, MirrorEntry(block), value);
}

std::string Check(const std::string& path, InspectStatus* status = nullptr) {
    std::ostringstream out;
    const InspectStatus s = CheckStore(path, out);
    if (status) *status = s;
    return out.str();
}

class StoreAuditTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CBaseDataManage store;
        ASSERT_TRUE(store.DataOpen(path, "New"));
        baseDataStruct* user = addson(store.root(), "type =User ,caption =ann ,pType =2");
        baseDataStruct* box = addson(user, "type =Box ,caption =In\\=box");
        setinfo(box, kThisNode, "SDATA", std::string(6000, 's'));  // 2-block chain
        setdata(box, std::string(600, 'd'));                       // 1-block chain
        baseDataStruct* big = addson(user, "%s", "");
        setinfo(big, kThisNode, "note", std::string(400, 'n'));  // property chain
        addson(store.root(), "type =User ,caption =bob ,pType =2");
        store.DataSaveList(store.root(), 2);
        store.file().Close();
        ASSERT_EQ(CheckStatus(), InspectStatus::kSound) << Check(path);
    }

    InspectStatus CheckStatus() {
        InspectStatus status;
        Check(path, &status);
        return status;
    }

    // Opens and loads everything; must never crash or hang, whatever the file holds.
    void OpenAndUse() {
        test::MessageRecorder quiet;
        CBaseDataManage store;
        if (!store.DataOpen(path)) return;
        std::vector<baseDataStruct*> stack{store.root()};
        while (!stack.empty()) {
            baseDataStruct* n = stack.back();
            stack.pop_back();
            store.DataLoadPoint(n, -1, kLoadSdata | kLoadStrdata);
            for (baseDataStruct* s = n->firstSon(); s; s = s->nextBrother()) stack.push_back(s);
        }
        baseDataStruct* added = addson(store.root(), "type =New");
        setinfo(added, kThisNode, "SDATA", std::string(7000, 'x'));
        store.DataSaveList(added, 1);
        store.DataDeletePoint(added, 0);
    }

    test::TempDir dir;
    std::string path = dir.path() + "Korvo.dat";
};

TEST_F(StoreAuditTest, DumpPrintsTheStoredTree) {
    std::ostringstream out, err;
    EXPECT_EQ(DumpStore(path, {}, out, err), InspectStatus::kSound);
    EXPECT_EQ(err.str(), "");
    const std::string expected =
        "10 0x000F0401 MaxId =4 ,caption =Korvo ,type =Root ,pType =1 ,pointId =10\n"
        "  11 0x00000401 type =User ,caption =ann ,pType =2 ,pointId =11\n"
        "    12 0x00000701 type =Box ,caption =In\\=box ,pointId =12 [SDATA 6000] "
        "[STRDATA 600]\n"
        "    13 0x00000401  ,note =" +
        std::string(400, 'n') +
        " ,pointId =13\n"
        "  14 0x00000401 type =User ,caption =bob ,pType =2 ,pointId =14\n";
    EXPECT_EQ(out.str(), expected);

    std::ostringstream data;
    DumpStore(path, {.data = true}, data, err);
    EXPECT_NE(data.str().find("      SDATA:\n        ssss"), std::string::npos);
    EXPECT_NE(data.str().find("      STRDATA:\n        00000000  64 64 "), std::string::npos);
    EXPECT_NE(data.str().find("        00000250  64 64 64 64 64 64 64 64 "), std::string::npos);
}

TEST_F(StoreAuditTest, NeverWritesAndRefusesOtherFiles) {
    const std::string before = test::ReadFile(path);
    // An interrupted update is reported, not repaired.
    Poke(path, PrimaryEntry(0), kUpdating);
    const std::string marked = test::ReadFile(path);
    InspectStatus status;
    const std::string report = Check(path, &status);
    EXPECT_EQ(status, InspectStatus::kSound);
    EXPECT_NE(report.find("note: segment 0: the table copies differ"), std::string::npos);
    std::ostringstream out, err;
    DumpStore(path, {.data = true}, out, err);
    EXPECT_EQ(test::ReadFile(path), marked);
    EXPECT_NE(before, marked);

    { std::ofstream(dir.path() + "text.txt") << "hello"; }
    EXPECT_NE(Check(dir.path() + "text.txt", &status).find("not a store file"), std::string::npos);
    EXPECT_EQ(status, InspectStatus::kNotStore);
    Check(dir.path() + "missing.dat", &status);
    EXPECT_EQ(status, InspectStatus::kNotStore);
}

TEST_F(StoreAuditTest, BrokenChainsAreProblems) {
    // The SDATA chain of point 12: its first block runs into a free block.
    const uint32_t sdata = Peek(path, RecordAt(12) + rec::kSdataChain);
    const uint32_t second = Peek(path, PrimaryEntry(sdata));
    PokeEntry(path, second, kFree);
    std::string report = Check(path);
    EXPECT_NE(report.find("problem: the SDATA chain of point 12 runs into free block"),
              std::string::npos)
        << report;
    EXPECT_EQ(CheckStatus(), InspectStatus::kDamaged);
    OpenAndUse();

    // A chain that loops back on itself.
    PokeEntry(path, second, sdata);
    report = Check(path);
    EXPECT_NE(report.find("problem: the SDATA chain of point 12 loops"), std::string::npos)
        << report;
    OpenAndUse();
}

TEST_F(StoreAuditTest, SharedBlocksAndOversizedLengthsAreProblems) {
    const uint32_t strdata = Peek(path, RecordAt(12) + rec::kStrdataChain);
    const uint32_t property = Peek(path, RecordAt(13) + rec::kPropertyChain);
    Poke(path, RecordAt(13) + rec::kPropertyChain, strdata);
    std::string report = Check(path);
    EXPECT_NE(report.find("is in two chains: the STRDATA chain of point 12 and the property "
                          "chain of point 13"),
              std::string::npos)
        << report;
    Poke(path, RecordAt(13) + rec::kPropertyChain, property);
    Poke(path, RecordAt(12) + rec::kSdataLen, 0x7FFFFFFF);
    report = Check(path);
    EXPECT_NE(report.find("SDATA chain of point 12 holds 2 blocks, too few for 2147483647 bytes"),
              std::string::npos)
        << report;
    OpenAndUse();
}

TEST_F(StoreAuditTest, LinkCyclesAndFreeLinkedPointsAreProblems) {
    Poke(path, RecordAt(13) + rec::kFirstSon, 11);  // a son pointing back at its grandparent
    std::string report = Check(path);
    EXPECT_NE(report.find("point 11 is reached twice"), std::string::npos) << report;
    OpenAndUse();

    Poke(path, RecordAt(13) + rec::kFirstSon, 0);
    Poke(path, RecordAt(14) + rec::kNextBrother, 15);  // a free record
    report = Check(path);
    EXPECT_NE(report.find("point 15 is linked into the tree but its record is free"),
              std::string::npos)
        << report;
    CBaseDataManage store;
    ASSERT_TRUE(store.DataOpen(path));
    EXPECT_EQ(getinfo(store.root(), kThisNode, "sumSon"), "2");  // the free record is skipped
}

TEST_F(StoreAuditTest, StaleBackLinksAreNotesAndMendThemselves) {
    // A crash while deleting the last son 14: the root's last-son link has moved already.
    Poke(path, RecordAt(10) + rec::kLastSon, 11);
    InspectStatus status;
    std::string report = Check(path, &status);
    EXPECT_EQ(status, InspectStatus::kSound) << report;
    EXPECT_NE(report.find("note: point 10 names 11 as last son, not 14"), std::string::npos);
    {
        CBaseDataManage store;
        ASSERT_TRUE(store.DataOpen(path));
        // A new son goes after the real last son.
        EXPECT_EQ(store.DataSaveList(addson(store.root(), "type =New"), 1), 15);
    }
    report = Check(path, &status);
    EXPECT_EQ(status, InspectStatus::kSound) << report;
    EXPECT_EQ(report.find("last son"), std::string::npos) << report;

    // A crash while deleting 12, the first son of 11: its brother's back link has moved, the
    // forward link not yet. Deleting the brother must still unlink it properly.
    Poke(path, RecordAt(13) + rec::kPrevBrother, 0);
    report = Check(path, &status);
    EXPECT_NE(report.find("note: point 13 names 0 as previous brother, not 12"), std::string::npos);
    {
        CBaseDataManage store;
        ASSERT_TRUE(store.DataOpen(path));
        baseDataStruct* user = store.root()->firstSon();
        ASSERT_EQ(getinfo(user, kThisNode, "sumSon"), "2");
        EXPECT_TRUE(store.DataDeletePoint(user->lastSon(), 0));
    }
    report = Check(path, &status);
    EXPECT_EQ(status, InspectStatus::kSound) << report;
    CBaseDataManage store;
    ASSERT_TRUE(store.DataOpen(path));
    EXPECT_EQ(getinfo(store.root()->firstSon(), kThisNode, "sumSon"), "1");
    EXPECT_EQ(getinfo(store.root()->lastSon(), kThisNode, "type"), "New");
}

TEST_F(StoreAuditTest, TruncatedFilesNeverCrash) {
    const std::string whole = test::ReadFile(path);
    const std::string cut = dir.path() + "cut.dat";
    for (size_t size = 0; size <= whole.size(); size += kBlockSize) {
        for (size_t n : {size, size + 84, size + 2312}) {
            if (n > whole.size()) continue;
            { std::ofstream(cut, std::ios::binary) << whole.substr(0, n); }
            InspectStatus status;
            Check(cut, &status);
            if (n < whole.size() - kTrailerSize) {
                EXPECT_NE(status, InspectStatus::kSound) << n;
            }
            std::ostringstream out, err;
            DumpStore(cut, {.data = true}, out, err);
            test::MessageRecorder quiet;
            CBaseDataManage store;
            if (store.DataOpen(cut)) {
                store.DataLoadTree(store.root()->firstSon(), -1, 7, false);
            }
        }
    }
}

TEST_F(StoreAuditTest, RandomDamageNeverCrashesOrHangs) {
    const std::string whole = test::ReadFile(path);
    std::string badPath = dir.path() + "bad.dat";
    const std::string bad = badPath;
    std::mt19937 rng(1234);
    // Header, tables, the first point block, and data chains.
    const std::pair<uint64_t, uint64_t> regions[] = {
        {0, kHeaderSize},
        {BlockOffset(0), 2 * kTableBytes},
        {BlockOffset(10), kPointBlockSize},
        {RecordAt(10), 5 * kRecordSize},
        {BlockOffset(29), whole.size() - BlockOffset(29)},
    };
    for (int round = 0; round < 300; ++round) {
        std::string bytes = whole;
        const auto& [start, length] = regions[round % std::size(regions)];
        const int writes = 1 + int(rng() % 8);
        for (int w = 0; w < writes; ++w) {
            const uint64_t at = start + rng() % length;
            const uint32_t value = (rng() % 2) ? rng() : uint32_t(rng() % 40);
            for (int i = 0; i < 4 && at + i < bytes.size(); ++i) {
                bytes[at + i] = char(value >> (8 * i));
            }
        }
        { std::ofstream(bad, std::ios::binary) << bytes; }
        Check(bad);
        std::ostringstream out, err;
        DumpStore(bad, {.data = true}, out, err);
        std::swap(path, badPath);
        OpenAndUse();
        std::swap(path, badPath);
    }
}

}  // namespace
}  // namespace korvo
