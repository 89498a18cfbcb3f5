// The store file decoded byte by byte.
#include "store/store_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "store/data_manager.h"
#include "store/node_tree.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

using namespace storefmt;

struct Bytes {
    std::string data;
    explicit Bytes(const std::string& path) : data(test::ReadFile(path)) {}
    uint32_t u32(uint64_t offset) const {
        return Get32(reinterpret_cast<const uint8_t*>(data.data()) + offset);
    }
    std::string text(uint64_t offset, size_t max) const {
        return std::string(data.c_str() + offset, strnlen(data.c_str() + offset, max));
    }
    uint32_t entry(uint32_t block, bool mirror = false) const {
        const uint32_t first = block - block % kEntriesPerSegment;
        return u32(BlockOffset(first) + (mirror ? kTableBytes : 0) + 4 * (block - first));
    }
    bool zero(uint64_t offset, size_t size) const {
        return data.substr(offset, size).find_first_not_of('\0') == std::string::npos;
    }
};

// Offset in the file of record `r` of the point block whose chain starts at `chain`, when
// the chain's blocks are consecutive.
uint64_t RecordAt(uint32_t chain, uint32_t r) {
    return BlockOffset(chain) + kPointHeaderSize + uint64_t(r) * kRecordSize;
}

void WriteAt(const std::string& path, uint64_t offset, uint32_t value) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t raw[4];
    Put32(raw, value);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(reinterpret_cast<const char*>(raw), 4);
}

class StoreFileTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    test::ScopedDataDir dataDir{dir.path()};
    std::string path = dir.path() + "sub/dir/Korvo.dat";
};

TEST_F(StoreFileTest, NewFileHasHeaderSegmentZeroAndTrailer) {
    {
        StoreFile file;
        ASSERT_TRUE(file.Open(path, ""));  // missing directories are made
    }
    const Bytes f(path);
    ASSERT_EQ(f.data.size(), 56404u);
    EXPECT_EQ(f.text(0, 12), "FILEHEAD");
    EXPECT_TRUE(f.zero(8, 4));
    EXPECT_EQ(f.u32(12), 2312u);
    EXPECT_EQ(f.u32(16), 6144u);
    EXPECT_EQ(f.u32(20), 31457280u);
    EXPECT_EQ(f.text(24, 40), "B1.00.00.0000");
    EXPECT_TRUE(f.zero(24 + 13, 40 - 13));
    EXPECT_EQ(f.u32(64), 0u);      // free bytes
    EXPECT_EQ(f.u32(68), 56320u);  // file end
    EXPECT_EQ(f.u32(72), 0u);      // cache slot 0: segment 0, no free blocks, 10 used
    EXPECT_EQ(f.u32(152), 0u);
    EXPECT_EQ(f.u32(232), 10u);
    for (int i = 1; i < 20; ++i) {
        EXPECT_EQ(f.u32(72 + 4 * i), kNoBlock);
        EXPECT_EQ(f.u32(152 + 4 * i), kNoBlock);
        EXPECT_EQ(f.u32(232 + 4 * i), kNoBlock);
    }
    EXPECT_EQ(f.u32(312), 0u);
    EXPECT_EQ(f.u32(316), 0u);
    EXPECT_TRUE(f.zero(320, 5120 - 320));
    for (uint32_t b : {0u, 9u}) {
        EXPECT_EQ(f.entry(b), kTableBlock);
        EXPECT_EQ(f.entry(b, true), kTableBlock);
    }
    for (uint32_t b : {10u, 6143u}) {
        EXPECT_EQ(f.entry(b), kNoBlock);
        EXPECT_EQ(f.entry(b, true), kNoBlock);
    }
    EXPECT_TRUE(f.zero(5120 + 2 * kTableBytes, 2048));  // padding to block 10
    EXPECT_EQ(f.u32(56320), 84u);
    EXPECT_EQ(f.text(56324, 80), kBanner);
}

TEST_F(StoreFileTest, StoreWithRootIsPointBlockOfNineteenBlocks) {
    {
        CBaseDataManage store;
        ASSERT_TRUE(store.DataOpen("Korvo.dat", "New"));
        EXPECT_EQ(getinfo(store.root(), kThisNode, "pointId"), "10");
    }
    const Bytes f(dir.path() + "Korvo.dat");
    ASSERT_EQ(f.data.size(), 153684u);
    EXPECT_EQ(f.u32(312), 10u);
    EXPECT_EQ(f.u32(316), 10u);
    EXPECT_EQ(f.u32(68), 153600u);
    EXPECT_EQ(f.u32(64), 0u);
    EXPECT_EQ(f.u32(232), 29u);  // used entries of segment 0
    for (uint32_t b = 10; b < 28; ++b) {
        EXPECT_EQ(f.entry(b), b + 1);
        EXPECT_EQ(f.entry(b, true), b + 1);
    }
    EXPECT_EQ(f.entry(28), kChainEnd);
    EXPECT_EQ(f.entry(29), kNoBlock);

    const uint64_t pb = BlockOffset(10);
    EXPECT_EQ(f.text(pb, 12), "POINT");
    EXPECT_EQ(f.u32(pb + 12), 94136u);
    EXPECT_EQ(f.u32(pb + 16), 11u);  // 10 reserved + the root
    EXPECT_EQ(f.u32(pb + 20), 100u);
    EXPECT_EQ(f.u32(pb + 124), 0u);
    EXPECT_EQ(f.u32(pb + 128), 0u);
    EXPECT_EQ(f.u32(pb + 132), 10u);
    EXPECT_TRUE(f.zero(pb + 24, 100));
    EXPECT_TRUE(f.zero(pb + 136, 400));
    for (uint32_t r : {0u, 9u}) EXPECT_EQ(int32_t(f.u32(RecordAt(10, r) + 4)), -2);
    EXPECT_EQ(int32_t(f.u32(RecordAt(10, 11) + 4)), -1);
    EXPECT_EQ(f.u32(RecordAt(10, 99) + 868), 99u);

    const uint64_t root = RecordAt(10, 10);
    EXPECT_EQ(f.u32(root), 936u);
    EXPECT_EQ(f.u32(root + 4), 1u);  // pType of the root
    EXPECT_EQ(f.u32(root + 868), 10u);
    EXPECT_EQ(f.u32(root + 880), 0u);
    EXPECT_EQ(f.u32(root + 64), 0u);  // no property chain: the text is inline
    const std::string text = f.text(root + 68, 300);
    EXPECT_EQ(f.u32(root + 48), text.size());
    EXPECT_EQ(text, "MaxId =0 ,caption =Korvo ,type =Root ,pType =1 ,pointId =10");
    EXPECT_EQ(f.u32(root + 892) & 0x000F0001u, 0x000F0001u);

    // Reopening gives the stored root.
    CBaseDataManage again;
    ASSERT_TRUE(again.DataOpen(dir.path() + "Korvo.dat"));
    EXPECT_EQ(again.root()->propertyText(), text);
    EXPECT_EQ(again.root()->firstSon(), nullptr);
}

class DataStoreTest : public StoreFileTest {
  protected:
    void SetUp() override { ASSERT_TRUE(store.DataOpen(path, "New")); }
    Bytes Reopen() {
        store.file().Close();
        return Bytes(path);
    }
    PointRecord Record(long id) {
        PointRecord r;
        EXPECT_TRUE(store.file().ReadRecord(id, &r));
        return r;
    }
    CBaseDataManage store;
};

TEST_F(DataStoreTest, PropertyTextsMoveInlineAtTheBoundary) {
    baseDataStruct* node = addson(store.root(), "%s", "");
    const long id = store.DataSaveList(node, 1);
    ASSERT_EQ(id, 11);
    // A text of exactly `size` bytes that keeps the node's point id.
    auto textOf = [](size_t size, char fill) {
        const std::string head = "pointId =11 ,k =";
        return head + std::string(size - head.size(), fill);
    };
    setinfo(node, kThisNode, "PROPERTY", textOf(298, 'p'));
    store.DataSavePoint(node);
    PointRecord r = Record(id);
    EXPECT_EQ(r.get(rec::kPropertyChain), 0u);
    EXPECT_EQ(r.get(rec::kPropertyLen), 298u);
    EXPECT_EQ(r.bytes[rec::kInlineProperty + 297], 'p');
    EXPECT_EQ(r.bytes[rec::kInlineProperty + 298], 0);

    setinfo(node, kThisNode, "PROPERTY", textOf(299, 'q'));
    store.DataSavePoint(node);
    r = Record(id);
    const uint32_t chain = r.get(rec::kPropertyChain);
    EXPECT_NE(chain, 0u);
    EXPECT_EQ(r.get(rec::kPropertyLen), 299u);
    for (uint32_t i = 0; i < kInlinePropertyArea; ++i) {
        ASSERT_EQ(r.bytes[rec::kInlineProperty + i], 0) << i;
    }
    std::string back(299, '\0');
    ASSERT_TRUE(store.file().ReadAt(chain, 299, back.data(), 0));
    EXPECT_EQ(back, textOf(299, 'q'));

    // Shrinking moves it back inline and frees the chain.
    setinfo(node, kThisNode, "PROPERTY", textOf(100, 's'));
    store.DataSavePoint(node);
    r = Record(id);
    EXPECT_EQ(r.get(rec::kPropertyChain), 0u);
    EXPECT_EQ(store.file().ChainBlocks(chain), 0u);
    const Bytes f = Reopen();
    EXPECT_EQ(f.entry(chain), kFree);
    EXPECT_EQ(f.entry(chain, true), kFree);
}

TEST_F(DataStoreTest, StrdataInlineUpToFiveHundredBytes) {
    baseDataStruct* node = addson(store.root(), "type =Letter");
    setdata(node, std::string(500, 'x'));
    const long id = store.DataSaveList(node, 1);
    PointRecord r = Record(id);
    EXPECT_EQ(r.get(rec::kStrdataLen), 500u);
    EXPECT_EQ(r.get(rec::kStrdataChain), 0u);
    EXPECT_EQ(r.bytes[rec::kInlineStrdata + 499], 'x');

    setdata(node, std::string(501, 'y'));
    store.DataSavePoint(node);
    r = Record(id);
    EXPECT_EQ(r.get(rec::kStrdataLen), 501u);
    EXPECT_NE(r.get(rec::kStrdataChain), 0u);
    EXPECT_EQ(r.bytes[rec::kInlineStrdata], 0);

    baseDataStruct loaded;
    ASSERT_TRUE(store.DataLoadPoint(&loaded, id, kLoadProperty | kLoadStrdata));
    EXPECT_EQ(getdata(&loaded, "STRDATA").value(), std::string(501, 'y'));
    EXPECT_EQ(getinfo(&loaded, kThisNode, "type"), "Letter");
}

TEST_F(DataStoreTest, RewritesGoToFreshBlocksAndFreedBlocksAreTakenAgain) {
    baseDataStruct* node = addson(store.root(), "type =Letter");
    setinfo(node, kThisNode, "SDATA", std::string(6000, 'a'));  // two blocks
    const long id = store.DataSaveList(node, 1);
    const uint32_t first = Record(id).get(rec::kSdataChain);
    EXPECT_EQ(store.file().ChainBlocks(first), 2u);
    const uint32_t blocks = store.file().blockCount();

    // The same size: new blocks, the old ones freed once the record points elsewhere.
    setinfo(node, kThisNode, "SDATA", std::string(10240, 'b'));
    store.DataSavePoint(node);
    const uint32_t second = Record(id).get(rec::kSdataChain);
    EXPECT_NE(second, first);
    EXPECT_EQ(store.file().ChainBlocks(first), 0u);
    // The next rewrite takes the freed blocks again: the file stops growing.
    setinfo(node, kThisNode, "SDATA", std::string(10241, 'c'));  // three blocks
    store.DataSavePoint(node);
    const uint32_t third = Record(id).get(rec::kSdataChain);
    EXPECT_EQ(third, first);
    EXPECT_EQ(store.file().ChainBlocks(third), 3u);
    EXPECT_EQ(store.file().ChainBlocks(second), 0u);
    setinfo(node, kThisNode, "SDATA", std::string(7000, 'd'));
    store.DataSavePoint(node);
    EXPECT_EQ(store.file().blockCount(), blocks + 3);

    // Freed blocks go to the next allocation of any node.
    baseDataStruct* other = addson(store.root(), "type =Letter");
    setinfo(other, kThisNode, "SDATA", "short");
    const long otherId = store.DataSaveList(other, 1);
    EXPECT_EQ(Record(otherId).get(rec::kSdataChain), third);

    baseDataStruct loaded;
    ASSERT_TRUE(store.DataLoadPoint(&loaded, id, kLoadSdata));
    EXPECT_EQ(getinfo(&loaded, kThisNode, "SDATA"), std::string(7000, 'd'));
}

TEST_F(DataStoreTest, DeletedRecordsAreReusedInBlockOrder) {
    baseDataStruct* a = addson(store.root(), "n =a");
    baseDataStruct* b = addson(store.root(), "n =b");
    baseDataStruct* c = addson(store.root(), "n =c");
    store.DataSaveList(a, 0);
    EXPECT_EQ(getinfo(b, kThisNode, "pointId"), "12");
    EXPECT_TRUE(store.DataDeletePoint(b, 0));
    PointLinks links;
    ASSERT_TRUE(store.file().GetPointLinks(11, &links));
    EXPECT_EQ(links.nextBrother, 13u);
    ASSERT_TRUE(store.file().GetPointLinks(13, &links));
    EXPECT_EQ(links.prevBrother, 11u);
    EXPECT_EQ(int32_t(Record(12).slot()), kSlotFree);

    baseDataStruct* d = addson(store.root(), "n =d");
    EXPECT_EQ(store.DataSaveList(d, 1), 12);
    ASSERT_TRUE(store.file().GetPointLinks(10, &links));
    EXPECT_EQ(links.firstSon, 11u);
    EXPECT_EQ(links.lastSon, 12u);
    ASSERT_TRUE(store.file().GetPointLinks(13, &links));
    EXPECT_EQ(links.nextBrother, 12u);
    (void)c;
}

TEST_F(DataStoreTest, SegmentOneStartsAtBlock6144) {
    StoreFile& file = store.file();
    const uint32_t blocks = file.blockCount();  // 29: tables and the first point block
    // Fill segment 0 to its last block.
    const uint32_t chain = file.Allocate(uint64_t(kEntriesPerSegment - blocks) * kBlockSize);
    ASSERT_NE(chain, 0u);
    EXPECT_EQ(file.blockCount(), kEntriesPerSegment);
    const uint32_t next = file.Allocate(1);
    EXPECT_EQ(next, kEntriesPerSegment + kTableBlocks);
    file.Close();
    const Bytes f(path);
    EXPECT_EQ(f.entry(6143), kChainEnd);
    for (uint32_t b = 6144; b < 6154; ++b) EXPECT_EQ(f.entry(b), kTableBlock) << b;
    EXPECT_EQ(f.entry(6154), kChainEnd);
    EXPECT_EQ(f.entry(6155), kNoBlock);
    EXPECT_EQ(f.u32(68), BlockOffset(6155));
    EXPECT_EQ(f.data.size(), BlockOffset(6155) + 84);
    // Segment cache: the full segment 0 gave its slot to segment 1 (11 used entries).
    EXPECT_EQ(f.u32(72), 6144u);
    EXPECT_EQ(f.u32(152), 0u);
    EXPECT_EQ(f.u32(232), 11u);
    EXPECT_EQ(f.u32(76), kNoBlock);
}

TEST_F(StoreFileTest, UnfinishedTableUpdateIsUndoneAndFinishedOneCompleted) {
    {
        StoreFile file;
        ASSERT_TRUE(file.Open(path, "New"));
        ASSERT_NE(file.Allocate(3 * kBlockSize), 0u);  // blocks 10, 11, 12
    }
    const uint64_t primary = BlockOffset(0);
    const uint64_t mirror = primary + kTableBytes;
    // A crash during an update: the primary is marked, the mirror already has new entries.
    WriteAt(path, primary, kUpdating);
    WriteAt(path, mirror + 4 * 13, 14);
    WriteAt(path, mirror + 4 * 14, kChainEnd);
    {
        StoreFile file;
        ASSERT_TRUE(file.Open(path, ""));
    }
    Bytes f(path);
    EXPECT_EQ(f.entry(0), kTableBlock);
    EXPECT_EQ(f.entry(0, true), kTableBlock);
    EXPECT_EQ(f.entry(13, true), kNoBlock);  // the mirror took the primary back
    EXPECT_EQ(f.entry(14, true), kNoBlock);
    EXPECT_EQ(f.entry(12, true), kChainEnd);

    // A crash while the primary was written back: the mirror is complete.
    WriteAt(path, primary + 4 * 12, kFree);
    {
        StoreFile file;
        ASSERT_TRUE(file.Open(path, ""));
        EXPECT_EQ(file.ChainBlocks(10), 3u);
    }
    f = Bytes(path);
    EXPECT_EQ(f.entry(12), kChainEnd);
}

TEST_F(StoreFileTest, NonStoreFilesAreRefusedAndLeftAlone) {
    {
        StoreFile file;
        ASSERT_TRUE(file.Open(path, "New"));
    }
    std::string bytes = test::ReadFile(path);
    bytes[3] = 'X';
    { std::ofstream(path, std::ios::binary) << bytes; }
    StoreFile file;
    EXPECT_FALSE(file.Open(path, ""));
    EXPECT_FALSE(file.isOpen());
    EXPECT_EQ(test::ReadFile(path), bytes);
    EXPECT_EQ(file.Allocate(10), 0u);
    EXPECT_EQ(file.WriteChain(0, "x"), 0u);
    // Shorter than a header, or empty.
    { std::ofstream(path, std::ios::binary) << "FILEHEAD"; }
    EXPECT_FALSE(file.Open(path, ""));
    { std::ofstream(path, std::ios::binary); }
    EXPECT_FALSE(file.Open(path, ""));
    EXPECT_EQ(test::ReadFile(path), "");
}

}  // namespace
}  // namespace korvo
