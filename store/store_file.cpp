// Block layer of the store file: header, allocation tables and chains.
#include "store/store_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/message_hook.h"
#include "store/diag_log.h"

namespace korvo {

using namespace storefmt;

namespace {

bool IsBlockNumber(uint32_t value, uint32_t blockCount) {
    return value != 0 && value < blockCount;
}

bool MakeParentDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string dir = path.substr(0, slash);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

}  // namespace

StoreFile::~StoreFile() {
    Close();
}

bool StoreFile::isOpen() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return io_ != nullptr;
}

int StoreFile::writeError() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return writeError_;
}

int StoreFile::openError() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return openError_;
}

void StoreFile::Fence(int error) {
    if (writeError_ != 0) return;
    writeError_ = error != 0 ? error : EIO;
    const std::string why = StoreErrorText(writeError_);
    // A warning in the log: the message below is what the user sees.
    LogLine(DiagLog::kWarning, "StoreFile: cannot write %s: %s", path_.c_str(), why.c_str());
    ShowMessage("Korvo cannot write its store file " + path_ + ": " + why +
                ".\nNothing more is written to it until Korvo starts again; what was saved "
                "before is kept.");
}

bool StoreFile::Sync() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!io_ || writeError_ != 0) return false;
    if (const int error = io_->Sync(); error != 0) Fence(error);
    return writeError_ == 0;
}

std::string StoreFile::path() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return path_;
}

uint32_t StoreFile::headerField(uint32_t offset) const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return Get32(header_.data() + offset);
}

uint32_t StoreFile::fileEnd() const {
    return Get32(header_.data() + hdr::kFileEnd);
}

void StoreFile::setFileEnd(uint32_t end) {
    Put32(header_.data() + hdr::kFileEnd, end);
}

uint32_t StoreFile::blockCount() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const uint32_t end = fileEnd();
    return end > kHeaderBlockSize ? (end - kHeaderBlockSize) / kBlockSize : 0;
}

bool StoreFile::ReadBytes(uint64_t offset, void* data, size_t size) {
    if (!io_) return false;
    size_t got = 0;
    return io_->ReadAt(offset, data, size, &got) == 0 && got == size;
}

bool StoreFile::WriteBytes(uint64_t offset, const void* data, size_t size) {
    // Rule F1: after one failure nothing more reaches the disk.
    if (!io_ || writeError_ != 0) return false;
    if (const int error = io_->WriteAt(offset, data, size); error != 0) {
        Fence(error);
        return false;
    }
    return true;
}

bool StoreFile::WriteHeader() {
    return WriteBytes(0, header_.data(), header_.size());
}

bool StoreFile::WriteTrailer() {
    uint8_t trailer[kTrailerSize] = {};
    Put32(trailer, kTrailerSize);
    std::memcpy(trailer + 4, kBanner, sizeof kBanner);
    return WriteBytes(fileEnd(), trailer, sizeof trailer);
}

bool StoreFile::Open(const std::string& path, std::string_view mode) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    Close();
    openError_ = 0;
    writeError_ = 0;
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (!exists || mode == "New") return CreateFile(path);

    if (const int error = CurrentStoreEnv().Open(path, false, &io_); error != 0) {
        openError_ = error;
        io_.reset();
        return false;
    }
    uint64_t size = 0;
    if (const int error = io_->Size(&size); error != 0) {
        openError_ = error;
        io_.reset();
        return false;
    }
    header_.fill(0);
    const uint32_t end = [&] {
        if (!ReadBytes(0, header_.data(), header_.size())) return 0u;
        return fileEnd();
    }();
    const bool sound = Get32(header_.data() + hdr::kSize) == kHeaderSize &&
                       std::memcmp(header_.data(), kMagic, 8) == 0 &&
                       // A file end that does not match the file would make growth overwrite
                       // blocks in use.
                       end >= kHeaderBlockSize + kTableBlocks * kBlockSize &&
                       (end - kHeaderBlockSize) % kBlockSize == 0 &&
                       static_cast<uint64_t>(end) <= size;
    path_ = path;
    if (!sound || !LoadTable(0)) {
        // A file that is not a store is left untouched; a failed repair write is reported.
        openError_ = writeError_;
        io_.reset();
        tables_.clear();
        path_.clear();
        return false;
    }
    CompleteGrowth(size);
    LoadPointIndex();
    if (writeError_ != 0) {
        openError_ = writeError_;
        CloseQuietly();
        return false;
    }
    return true;
}

void StoreFile::CompleteGrowth(uint64_t fileSize) {
    // Growing writes the new blocks and commits their table entries before it rewrites the
    // header; a crash in between leaves blocks the tables know and the header does not.
    bool grew = false;
    for (;;) {
        const uint32_t count = blockCount();
        if (count % kEntriesPerSegment == 0) break;
        Table* table = LoadTable(count - count % kEntriesPerSegment);
        if (!table || table->primary[count - table->first] == kNoBlock) break;
        if (BlockOffset(count) + kBlockSize > fileSize) break;
        setFileEnd(fileEnd() + kBlockSize);
        grew = true;
    }
    if (grew && WriteTrailer()) WriteHeader();
}

bool StoreFile::CreateFile(const std::string& path) {
    if (!MakeParentDirectories(path)) {
        openError_ = errno;
        return false;
    }
    StoreEnv& env = CurrentStoreEnv();
    if (const int error = env.Open(path, true, &io_); error != 0) {
        openError_ = error;
        io_.reset();
        return false;
    }
    path_ = path;
    header_.fill(0);
    std::memcpy(header_.data() + hdr::kMagic, kMagic, sizeof kMagic);
    Put32(header_.data() + hdr::kSize, kHeaderSize);
    Put32(header_.data() + hdr::kEntries, kEntriesPerSegment);
    Put32(header_.data() + hdr::kSegmentBytes, kSegmentBytes);
    std::memcpy(header_.data() + hdr::kVersion, kVersion, sizeof kVersion);
    Put32(header_.data() + hdr::kFreeBytes, 0);
    setFileEnd(kHeaderBlockSize);
    for (int i = 0; i < kSegmentCacheSlots; ++i) {
        Put32(header_.data() + hdr::kCacheFirst + 4 * i, kNoBlock);
        Put32(header_.data() + hdr::kCacheFree + 4 * i, kNoBlock);
        Put32(header_.data() + hdr::kCacheUsed + 4 * i, kNoBlock);
    }
    std::vector<uint8_t> block(kHeaderBlockSize, 0);
    std::memcpy(block.data(), header_.data(), header_.size());
    const bool written = WriteBytes(0, block.data(), block.size()) && WriteTrailer() &&
                         AddSegment() && io_->Sync() == 0;
    // The new name must survive a power cut as well as the bytes behind it.
    const size_t slash = path.rfind('/');
    const int dirError =
        written ? env.SyncDirectory(slash == std::string::npos ? "." : path.substr(0, slash + 1))
                : 0;
    if (!written || dirError != 0 || writeError_ != 0) {
        openError_ = writeError_ != 0 ? writeError_ : dirError != 0 ? dirError : EIO;
        CloseQuietly();
        return false;
    }
    return true;
}

void StoreFile::CloseQuietly() {
    io_.reset();
    path_.clear();
    tables_.clear();
    pointBlocks_.clear();
    pointCache_.clear();
    currentPointBlock_ = -1;
    headerPending_ = false;
}

bool StoreFile::Close() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!io_) return true;
    WriteBackTables();
    WriteHeader();
    if (writeError_ == 0) {
        if (const int error = io_->Sync(); error != 0) Fence(error);
    }
    const bool ok = writeError_ == 0;
    CloseQuietly();
    return ok;
}

// --- Allocation tables ---

StoreFile::Table* StoreFile::LoadTable(uint32_t block) {
    const uint32_t first = block - block % kEntriesPerSegment;
    if (auto it = tables_.find(first); it != tables_.end()) {
        currentSegment_ = first;
        return it->second.get();
    }
    if (block >= blockCount()) return nullptr;

    auto table = std::make_unique<Table>();
    table->first = first;
    table->primary.resize(kEntriesPerSegment);
    table->mirror.resize(kEntriesPerSegment);
    std::vector<uint8_t> raw(2 * kTableBytes);
    if (!ReadBytes(BlockOffset(first), raw.data(), raw.size())) return nullptr;
    for (uint32_t i = 0; i < kEntriesPerSegment; ++i) {
        table->primary[i] = Get32(raw.data() + 4 * i);
        table->mirror[i] = Get32(raw.data() + kTableBytes + 4 * i);
    }
    // Rule T4: an unfinished update is undone; a finished one is completed.
    if (table->primary != table->mirror) {
        if (table->primary[0] == kUpdating) {
            table->mirror = table->primary;
        } else {
            table->primary = table->mirror;
        }
        table->wholeDirty = true;
    }
    if (table->primary[0] != kTableBlock || table->mirror[0] != kTableBlock) {
        table->wholeDirty = true;
    }
    table->freeCount = 0;
    table->usedCount = 0;
    bool beforeEnd = true;
    for (uint32_t e : table->primary) {
        if (e == kNoBlock) beforeEnd = false;
        if (e == kFree) {
            ++table->freeCount;
        } else if (beforeEnd) {
            ++table->usedCount;
        }
    }
    Table* loaded = table.get();
    tables_[first] = std::move(table);
    currentSegment_ = first;
    if (loaded->wholeDirty) {
        loaded->primary[0] = kUpdating;
        WriteBackTables();
    }
    return loaded;
}

uint32_t StoreFile::Entry(uint32_t block) {
    Table* table = LoadTable(block);
    return table ? table->primary[block - table->first] : kNoBlock;
}

bool StoreFile::SetEntry(uint32_t block, uint32_t value) {
    if (writeError_ != 0) return false;
    Table* table = LoadTable(block);
    if (!table) return false;
    const uint32_t index = block - table->first;
    const uint64_t primaryAt = BlockOffset(table->first);
    const uint64_t mirrorAt = primaryAt + kTableBytes;

    // Rule T2: mark the primary on disk before its first change.
    if (table->primary[0] == kTableBlock) {
        table->primary[0] = kUpdating;
        uint8_t raw[4];
        Put32(raw, kUpdating);
        if (!WriteBytes(primaryAt, raw, 4)) return false;
    }

    const uint32_t old = table->primary[index];
    uint32_t freeBytes = Get32(header_.data() + hdr::kFreeBytes);
    if (value >= 1 && value <= kChainEnd) {
        --table->freeCount;
        ++table->usedCount;
        freeBytes -= kBlockSize;
    } else {
        ++table->freeCount;
        if (old != kNoBlock) --table->usedCount;
        freeBytes += kBlockSize;
    }
    Put32(header_.data() + hdr::kFreeBytes, freeBytes);

    if (value == kFree || value == kNoBlock) table->scanFrom = std::min(table->scanFrom, index);
    // Rule T1: the mirror on disk follows every change at once.
    table->primary[index] = value;
    table->mirror[index] = value;
    table->dirtyLo = std::min(table->dirtyLo, index);
    table->dirtyHi = std::max(table->dirtyHi, index);
    uint8_t raw[4];
    Put32(raw, value);
    WriteBytes(mirrorAt + 4 * index, raw, 4);

    if (value == kChainEnd) WriteBackTables();
    UpdateSegmentCache(*table);
    return writeError_ == 0;
}

void StoreFile::WriteBackTables() {
    for (auto& [first, table] : tables_) {
        if (!table->updating()) continue;
        table->primary[0] = kTableBlock;
        table->mirror[0] = kTableBlock;
        const uint64_t primaryAt = BlockOffset(first);
        auto writeEntries = [&](const std::vector<uint32_t>& entries, uint64_t at, uint32_t lo,
                                uint32_t hi) {
            std::vector<uint8_t> raw(4 * size_t(hi - lo + 1));
            for (uint32_t i = lo; i <= hi; ++i) Put32(raw.data() + 4 * (i - lo), entries[i]);
            WriteBytes(at + 4 * lo, raw.data(), raw.size());
        };
        if (table->wholeDirty) {
            writeEntries(table->primary, primaryAt, 0, kEntriesPerSegment - 1);
            writeEntries(table->mirror, primaryAt + kTableBytes, 0, kEntriesPerSegment - 1);
        } else {
            // Rule T3: entry 0 first, so that a crash in between completes from the mirror.
            writeEntries(table->primary, primaryAt, 0, 0);
            if (table->dirtyLo <= table->dirtyHi) {
                writeEntries(table->primary, primaryAt, std::max(table->dirtyLo, 1u),
                             std::max(table->dirtyHi, 1u));
            }
        }
        table->wholeDirty = false;
        table->dirtyLo = UINT32_MAX;
        table->dirtyHi = 0;
    }
}

bool StoreFile::AddSegment() {
    const uint32_t first = (fileEnd() - kHeaderBlockSize) / kBlockSize;
    auto table = std::make_unique<Table>();
    table->first = first;
    table->primary.assign(kEntriesPerSegment, kNoBlock);
    std::fill_n(table->primary.begin(), kTableBlocks, kTableBlock);
    table->mirror = table->primary;
    table->freeCount = 0;
    table->usedCount = kTableBlocks;

    std::vector<uint8_t> raw(kTableBlocks * kBlockSize, 0);
    for (uint32_t i = 0; i < kEntriesPerSegment; ++i) {
        Put32(raw.data() + 4 * i, table->primary[i]);
        Put32(raw.data() + kTableBytes + 4 * i, table->mirror[i]);
    }
    if (!WriteBytes(BlockOffset(first), raw.data(), raw.size())) return false;
    setFileEnd(fileEnd() + kTableBlocks * kBlockSize);
    currentSegment_ = first;
    UpdateSegmentCache(*table);
    tables_[first] = std::move(table);
    return WriteTrailer() && WriteHeader();
}

void StoreFile::UpdateSegmentCache(const Table& table) {
    auto at = [&](uint32_t field, int slot) { return header_.data() + field + 4 * slot; };
    int slot = -1;
    for (int i = 0; i < kSegmentCacheSlots && slot < 0; ++i) {
        if (Get32(at(hdr::kCacheFirst, i)) == table.first) slot = i;
    }
    for (int i = 0; i < kSegmentCacheSlots && slot < 0; ++i) {
        const bool unused = Get32(at(hdr::kCacheFirst, i)) == kNoBlock;
        const bool full = Get32(at(hdr::kCacheFree, i)) == 0 &&
                          Get32(at(hdr::kCacheUsed, i)) == kEntriesPerSegment;
        if (unused || full) slot = i;
    }
    if (slot < 0) return;
    Put32(at(hdr::kCacheFirst, slot), table.first);
    Put32(at(hdr::kCacheFree, slot), table.freeCount);
    Put32(at(hdr::kCacheUsed, slot), table.usedCount);
}

bool StoreFile::ExtendFile(uint32_t blocks) {
    static const std::vector<uint8_t> zeros(kBlockSize * 16 + kTrailerSize, 0);
    uint32_t left = blocks;
    while (left > 0) {
        uint32_t count = blockCount();
        if (count % kEntriesPerSegment == 0) {
            // The new segment's header write must not count blocks whose entries could still
            // be undone: commit what this growth did so far first.
            WriteBackTables();
            if (!AddSegment()) return false;
            count = blockCount();
        }
        // A run of new zero blocks up to the segment's end, written in one go; the last run
        // carries the trailer at the new end of the file.
        const uint32_t run =
            std::min({left, kEntriesPerSegment - count % kEntriesPerSegment, uint32_t(16)});
        const bool last = run == left;
        std::vector<uint8_t> bytes(zeros.begin(),
                                   zeros.begin() + run * kBlockSize + (last ? kTrailerSize : 0));
        if (last) {
            Put32(bytes.data() + run * kBlockSize, kTrailerSize);
            std::memcpy(bytes.data() + run * kBlockSize + 4, kBanner, sizeof kBanner);
        }
        if (!WriteBytes(BlockOffset(count), bytes.data(), bytes.size())) return false;
        setFileEnd(fileEnd() + run * kBlockSize);
        for (uint32_t b = count; b < count + run; ++b) {
            if (!SetEntry(b, kFree)) return false;
        }
        left -= run;
    }
    // The new entries are committed with the allocation that needed them, and the header is
    // rewritten after that commit (rule T5).
    headerPending_ = true;
    return true;
}

uint32_t StoreFile::Allocate(uint64_t length, bool contiguous) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!io_) return 0;
    const uint64_t wanted = (length + kBlockSize - 1) / kBlockSize;
    if (wanted == 0 || wanted > UINT32_MAX / 2) return 0;
    const uint32_t n = static_cast<uint32_t>(wanted);

    // 1. The cached segment with the lowest first block that still has room.
    uint32_t start = kNoBlock;
    for (int i = 0; i < kSegmentCacheSlots; ++i) {
        const uint32_t first = Get32(header_.data() + hdr::kCacheFirst + 4 * i);
        const uint32_t freeCount = Get32(header_.data() + hdr::kCacheFree + 4 * i);
        const uint32_t used = Get32(header_.data() + hdr::kCacheUsed + 4 * i);
        if (first == kNoBlock) continue;
        if ((freeCount > 0 || used < kEntriesPerSegment) && first < start) start = first;
    }
    if (writeError_ != 0) return 0;
    // 2. A file that ends on a segment boundary gets its next segment now.
    if (blockCount() % kEntriesPerSegment == 0 && !AddSegment()) return 0;
    // 3. Otherwise start with the last segment.
    if (start == kNoBlock || start >= blockCount()) {
        const uint32_t last = blockCount() - 1;
        start = last - last % kEntriesPerSegment;
    }

    // 4. Scan segment by segment. Entries below a table's scan hint are all in use, so the
    // scan may start there and finds what a scan from entry 0 would.
    std::vector<uint32_t> found;
    found.reserve(n);
    std::vector<std::pair<Table*, uint32_t>> hints;
    for (uint32_t seg = start; found.size() < n && seg < blockCount(); seg += kEntriesPerSegment) {
        Table* table = LoadTable(seg);
        if (!table) return 0;
        uint32_t i = contiguous ? 0 : table->scanFrom;
        for (; i < kEntriesPerSegment && found.size() < n; ++i) {
            if (table->primary[i] == kNoBlock) {
                // The file is too short: grow it by what is still needed.
                if (!ExtendFile(n - static_cast<uint32_t>(found.size()))) return 0;
                table = LoadTable(seg);
                if (!table || table->primary[i] == kNoBlock) return 0;
            }
            if (table->primary[i] == kFree) {
                found.push_back(seg + i);
            } else if (contiguous) {
                found.clear();
            }
        }
        if (!contiguous) hints.emplace_back(table, i);  // everything before i is taken now
    }
    if (found.size() < n) return 0;
    // 5. Every block must exist and be free.
    for (uint32_t b : found) {
        if (!IsBlockNumber(b, blockCount()) || Entry(b) != kFree) return 0;
    }
    // 6. Link them; the chain end writes the tables back.
    for (size_t i = 0; i < found.size(); ++i) {
        SetEntry(found[i], i + 1 < found.size() ? found[i + 1] : kChainEnd);
    }
    for (auto [table, from] : hints) table->scanFrom = std::max(table->scanFrom, from);
    if (headerPending_ && WriteHeader()) headerPending_ = false;
    return Kept(true) ? found.front() : 0;
}

bool StoreFile::ListChain(uint32_t start, uint32_t needed, std::vector<uint32_t>* blocks) {
    blocks->clear();
    const uint32_t count = blockCount();
    uint32_t b = start;
    // A sound chain visits each block once, so the file's block count bounds the walk.
    for (uint32_t steps = 0; steps <= count; ++steps) {
        if (!IsBlockNumber(b, count)) return false;
        const uint32_t next = Entry(b);
        if (next == kFree || next == kNoBlock || next == kTableBlock || next == kUpdating) {
            return false;
        }
        blocks->push_back(b);
        if (needed != 0 && blocks->size() == needed) return true;
        if (next == kChainEnd) return needed == 0;
        b = next;
    }
    return false;
}

uint32_t StoreFile::ChainBlocks(uint32_t start) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    std::vector<uint32_t> blocks;
    return ListChain(start, 0, &blocks) ? static_cast<uint32_t>(blocks.size()) : 0;
}

bool StoreFile::TransferChain(const std::vector<uint32_t>& blocks, uint64_t offset, char* readInto,
                              const char* writeFrom, uint64_t length) {
    size_t index = static_cast<size_t>(offset / kBlockSize);
    uint64_t inBlock = offset % kBlockSize;
    uint64_t done = 0;
    while (done < length) {
        if (index >= blocks.size()) return false;
        // Merge a run of consecutive block numbers into one transfer.
        size_t runEnd = index + 1;
        while (runEnd < blocks.size() && blocks[runEnd] == blocks[runEnd - 1] + 1) ++runEnd;
        const uint64_t runBytes = (runEnd - index) * uint64_t(kBlockSize) - inBlock;
        const uint64_t n = std::min(runBytes, length - done);
        const uint64_t at = BlockOffset(blocks[index]) + inBlock;
        const bool ok =
            readInto ? ReadBytes(at, readInto + done, n) : WriteBytes(at, writeFrom + done, n);
        if (!ok) return false;
        done += n;
        index = runEnd;
        inBlock = 0;
    }
    return true;
}

uint32_t StoreFile::WriteChain(uint32_t start, std::string_view bytes) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    (void)start;  // the old chain stays intact until its record no longer refers to it
    if (!io_ || bytes.empty() || writeError_ != 0) return 0;
    const uint32_t chain = Allocate(bytes.size());
    if (chain == 0) return 0;
    std::vector<uint32_t> blocks;
    if (!ListChain(chain, BlocksFor(bytes.size()), &blocks)) return 0;
    return Kept(TransferChain(blocks, 0, nullptr, bytes.data(), bytes.size())) ? chain : 0;
}

bool StoreFile::ReadAt(uint32_t start, uint64_t length, char* buffer, uint64_t offset) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!io_) return false;
    if (length == 0) return true;
    const uint64_t needed = BlocksFor(offset + length);
    if (needed > blockCount()) return false;
    std::vector<uint32_t> blocks;
    if (!ListChain(start, static_cast<uint32_t>(needed), &blocks)) return false;
    return TransferChain(blocks, offset, buffer, nullptr, length);
}

bool StoreFile::WriteAt(uint32_t start, std::string_view bytes, uint64_t offset) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!io_ || writeError_ != 0) return false;
    if (bytes.empty()) return true;
    const uint64_t needed = BlocksFor(offset + bytes.size());
    if (needed > blockCount()) return false;
    std::vector<uint32_t> blocks;
    if (!ListChain(start, static_cast<uint32_t>(needed), &blocks)) return false;
    return Kept(TransferChain(blocks, offset, nullptr, bytes.data(), bytes.size()));
}

bool StoreFile::FreeChain(uint32_t start) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!io_ || writeError_ != 0) return false;
    const uint32_t count = blockCount();
    uint32_t b = start;
    for (uint32_t steps = 0; steps < count && IsBlockNumber(b, count); ++steps) {
        const uint32_t next = Entry(b);
        // Never free a block twice or a table's own block.
        if (next == kFree || next == kNoBlock || next == kTableBlock || next == kUpdating) break;
        if (!SetEntry(b, kFree)) break;
        if (!IsBlockNumber(next, count)) break;
        b = next;
    }
    WriteBackTables();
    return Kept(true);
}

}  // namespace korvo
