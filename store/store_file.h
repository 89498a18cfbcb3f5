// The store file: a small block file system holding one point record for every node.
//
// The byte layout is in store_format.h. This file states the rules that keep a store sound
// when the process is killed at any moment (the kernel keeps what was written, so each single
// write either happened or did not).
//
// Allocation tables
//  T1. The mirror copy on disk is always current: every entry change is written to the mirror
//      at once (SetEntry).
//  T2. Before the first change of an update, entry 0 of the primary copy on disk is set to
//      kUpdating (SetEntry). The primary therefore still holds the table as it was before.
//  T3. An update ends when a chain is completed (kChainEnd), freed, or the file has grown; then
//      the primary is written back: first its entry 0 (kTableBlock again), then the changed
//      entries (WriteBackTables). The primary then equals the mirror.
//  T4. Opening a segment compares the copies: a primary marked kUpdating belongs to an update
//      that did not finish and is copied over the mirror (the update is undone); otherwise the
//      mirror is complete and is copied over the primary (LoadTable).
//  T5. Growing the file writes the new blocks, sets their entries (free) in the same update as
//      the allocation that needed them, and rewrites the header with the new file end once that
//      update is committed. Opening finishes a growth whose header was not rewritten
//      (CompleteGrowth); an undone growth leaves only bytes past the file end.
//  So a chain allocation or release takes effect entirely or not at all.
//
// Points and data
//  P1. Data is never overwritten in place: changed data goes into a new chain, written before
//      the record that refers to it, and a chain a record no longer refers to is freed only
//      after that record was written (WriteChain, and the data manager's save). A crash leaves
//      each record with its old or its new data whole, and leaks blocks at worst; it never
//      leaves a record pointing into free blocks. Freed blocks are taken again by the next
//      allocations, lowest first, so rewriting data does not grow the file.
//  P2. A new point is made in two steps: AllocatePoint initialises a free record that nothing
//      refers to yet, LinkPoint hangs it under its parent (previous brother's forward link first,
//      then the parent's last-son link). A crash in between leaves an unreachable record.
//  P3. Deleting a point moves the parent's last-son link first, then the next brother's back
//      link, then the forward link that reaches it, and frees the record last. So a stale
//      last-son link always names a point still in the tree, and a stale back link names a
//      point whose forward link does not lead back: both are recognised and corrected when
//      next used (LinkPoint walks to the real last son, DeletePoint finds the real previous
//      brother along the parent's sons).
//  P4. A new point block is written whole (its own-chain field included) before the previous
//      block links to it; the point-block list is followed by its forward links.
//
// Failed writes
//  F1. The first write or sync that fails fences the file: no later write reaches it until it
//      is reopened. The disk therefore holds exactly what a process killed at that moment would
//      have left, and the rules above make the next open read the last complete state. The
//      operation that met the failure and every later writing operation report failure; reads
//      go on (from what this object holds, which may be ahead of the disk).
//  F2. Nothing counts as durable before Sync() has returned true: callers that act on a write
//      outside the store (a letter deleted on its server) sync first.
//
// All file access goes through a StoreFileIo (store_io.h), opened with the file's exclusive
// lock: one writer per store file, whatever process it is in.
//
// The object is safe to use from several threads: every public operation holds one mutex
// (the store's busy flag).
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "store/store_format.h"
#include "store/store_io.h"

namespace korvo {

// One 936-byte point record.
struct PointRecord {
    std::array<uint8_t, storefmt::kRecordSize> bytes{};

    uint32_t get(uint32_t offset) const { return storefmt::Get32(bytes.data() + offset); }
    void set(uint32_t offset, uint32_t value) { storefmt::Put32(bytes.data() + offset, value); }
    int32_t slot() const { return static_cast<int32_t>(get(storefmt::rec::kSlot)); }
};

// Links of a point as stored in its record (0 = none).
struct PointLinks {
    uint32_t parent = 0;
    uint32_t prevBrother = 0;
    uint32_t nextBrother = 0;
    uint32_t firstSon = 0;
    uint32_t lastSon = 0;
};

class StoreFile {
  public:
    StoreFile() = default;
    ~StoreFile();
    StoreFile(const StoreFile&) = delete;
    StoreFile& operator=(const StoreFile&) = delete;

    // Opens an existing store, or creates one (with missing directories) when the path does
    // not exist or `mode` is "New". Fails for a file that is not a store file, leaving it
    // untouched.
    bool Open(const std::string& path, std::string_view mode);
    // Writes what is pending, syncs and closes the file; false when something was not written.
    bool Close();
    bool isOpen() const;
    std::string path() const;

    // Makes everything written so far durable (rule F2). False when the file is fenced or the
    // sync failed (which fences it).
    bool Sync();
    // The errno of the failure that fenced the file (rule F1), 0 while every write succeeded.
    int writeError() const;
    // Why the last Open failed: an errno value (EWOULDBLOCK: another store object has the file
    // open), 0 for a file that is not a store file.
    int openError() const;

    // --- Block layer ---

    // Writes `bytes` into a new chain that replaces the chain at `start` (0: none). The old
    // chain is neither overwritten nor freed: the caller frees it once the record refers to
    // the new one (rule P1), so a crash leaves the old data whole. Returns the new chain's
    // first block, or 0 on failure.
    uint32_t WriteChain(uint32_t start, std::string_view bytes);
    bool ReadAt(uint32_t start, uint64_t length, char* buffer, uint64_t offset);
    bool WriteAt(uint32_t start, std::string_view bytes, uint64_t offset);
    bool FreeChain(uint32_t start);
    // Links ceil(length / 5120) free blocks into a chain; returns its first block or 0.
    uint32_t Allocate(uint64_t length, bool contiguous = false);
    // Number of blocks in a chain, following at most the blocks of the file; 0 if broken.
    uint32_t ChainBlocks(uint32_t start);

    // --- Point layer ---

    // Makes the point block covering `pointId` current (-1: the last one). Logs
    // "--CBaseDataManage::DataGetPointBlock(long lPointId) Point not find!" on failure.
    bool GetPointBlock(long pointId);
    // Appends a point block; returns the first id it covers, or -1.
    long NewPointBlock();
    // Both steps of a new point under `parent` (negative: the root point 10).
    long NewPoint(long parent);
    // A free record initialised for a new point under `parent`; not linked yet (rule P2).
    long AllocatePoint(long parent);
    // Hangs an allocated point under its parent as the last son.
    bool LinkPoint(long pointId);
    bool DeletePoint(long pointId);
    // Deletes a point with all its descendants (with `withBrothers`, also every later brother
    // with theirs).
    bool DeletePointTree(long pointId, bool withBrothers);
    bool GetPointLinks(long pointId, PointLinks* links);

    bool ReadRecord(long pointId, PointRecord* record);
    bool WriteRecord(long pointId, const PointRecord& record);

    // Header values, for tests and tools.
    uint32_t headerField(uint32_t offset) const;
    uint32_t blockCount() const;

  private:
    // One segment's allocation table, both copies.
    struct Table {
        uint32_t first = 0;  // the segment's first block
        std::vector<uint32_t> primary;
        std::vector<uint32_t> mirror;
        uint32_t freeCount = 0;
        uint32_t usedCount = 0;
        // Primary entries changed since the primary was last written (rule T3).
        uint32_t dirtyLo = UINT32_MAX;
        uint32_t dirtyHi = 0;
        bool wholeDirty = false;
        // Every entry below this one is in use: allocation scans may start here.
        uint32_t scanFrom = 0;

        bool updating() const { return primary[0] == storefmt::kUpdating; }
    };
    // A point block held in memory.
    struct PointBlock {
        size_t index = 0;
        std::vector<uint32_t> blocks;  // the chain
        std::vector<uint8_t> data;     // kPointBlockSize bytes

        uint32_t get(uint32_t offset) const { return storefmt::Get32(data.data() + offset); }
        void set(uint32_t offset, uint32_t value) { storefmt::Put32(data.data() + offset, value); }
    };
    struct PointBlockInfo {
        uint32_t chain = 0;
        uint32_t used = 0;
    };

    bool CreateFile(const std::string& path);
    void CompleteGrowth(uint64_t fileSize);
    // Records the failure that fences the file (rule F1) and tells the user once.
    void Fence(int error);
    // The result of a writing operation: `ok` and the file not fenced.
    bool Kept(bool ok) const { return ok && writeError_ == 0; }
    bool ReadBytes(uint64_t offset, void* data, size_t size);
    bool WriteBytes(uint64_t offset, const void* data, size_t size);
    bool WriteHeader();
    bool WriteTrailer();
    // Forgets the open file without writing anything more.
    void CloseQuietly();
    uint32_t fileEnd() const;
    void setFileEnd(uint32_t end);

    // Tables.
    Table* LoadTable(uint32_t block);
    uint32_t Entry(uint32_t block);
    bool SetEntry(uint32_t block, uint32_t value);
    void WriteBackTables();
    bool AddSegment();
    void UpdateSegmentCache(const Table& table);
    bool ExtendFile(uint32_t blocks);
    bool ListChain(uint32_t start, uint32_t needed, std::vector<uint32_t>* blocks);
    bool TransferChain(const std::vector<uint32_t>& blocks, uint64_t offset, char* readInto,
                       const char* writeFrom, uint64_t length);

    // Point blocks.
    void LoadPointIndex();
    PointBlock* Block(size_t index);
    bool RecordLocation(long pointId, PointBlock** block, uint32_t* offset);
    bool WritePointHeader(PointBlock* block);
    bool SetLink(long pointId, uint32_t field, uint32_t value);
    uint32_t RealLastSon(uint32_t parent, uint32_t lastSon);
    void LogPointNotFound();

    mutable std::recursive_mutex mutex_;
    std::unique_ptr<StoreFileIo> io_;
    int writeError_ = 0;
    int openError_ = 0;
    std::string path_;
    std::array<uint8_t, storefmt::kHeaderSize> header_{};
    std::map<uint32_t, std::unique_ptr<Table>> tables_;  // by segment start
    uint32_t currentSegment_ = 0;
    bool headerPending_ = false;  // grown, header not yet rewritten

    std::vector<PointBlockInfo> pointBlocks_;            // k-th block covers ids 100k .. 100k+99
    std::list<std::unique_ptr<PointBlock>> pointCache_;  // most recently used first
    long currentPointBlock_ = -1;
};

}  // namespace korvo
