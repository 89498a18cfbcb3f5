// Point layer of the store file: point blocks and point records.
#include <algorithm>
#include <unordered_set>

#include "store/diag_log.h"
#include "store/store_file.h"

namespace korvo {

using namespace storefmt;

namespace {

// Point blocks kept in memory. Saving a son touches its parent's block and its own; loading
// walks blocks in order. A few blocks cover both without re-reading 94 KB per record.
constexpr size_t kCachedPointBlocks = 8;

constexpr uint32_t kPointBlockChainBlocks = (kPointBlockSize + kBlockSize - 1) / kBlockSize;

}  // namespace

void StoreFile::LogPointNotFound() {
    LogLine(DiagLog::kError, "--CBaseDataManage::DataGetPointBlock(long lPointId) Point not find!");
}

void StoreFile::LoadPointIndex() {
    pointBlocks_.clear();
    pointCache_.clear();
    currentPointBlock_ = -1;
    std::unordered_set<uint32_t> seen;
    const uint32_t limit = blockCount() / kPointBlockChainBlocks + 1;
    uint32_t chain = Get32(header_.data() + hdr::kFirstPointBlock);
    while (chain != 0 && pointBlocks_.size() < limit && seen.insert(chain).second) {
        uint8_t head[kPointHeaderSize];
        if (!ReadAt(chain, sizeof head, reinterpret_cast<char*>(head), 0)) break;
        if (std::memcmp(head, "POINT", 6) != 0 || Get32(head + pbh::kSize) != kPointBlockSize ||
            Get32(head + pbh::kPerBlock) != kPointsPerBlock ||
            ChainBlocks(chain) != kPointBlockChainBlocks) {
            break;
        }
        pointBlocks_.push_back({chain, Get32(head + pbh::kUsed)});
        chain = Get32(head + pbh::kNext);
    }
}

StoreFile::PointBlock* StoreFile::Block(size_t index) {
    if (index >= pointBlocks_.size()) return nullptr;
    for (auto it = pointCache_.begin(); it != pointCache_.end(); ++it) {
        if ((*it)->index == index) {
            pointCache_.splice(pointCache_.begin(), pointCache_, it);
            return pointCache_.front().get();
        }
    }
    auto block = std::make_unique<PointBlock>();
    block->index = index;
    block->data.resize(kPointBlockSize);
    if (!ListChain(pointBlocks_[index].chain, kPointBlockChainBlocks, &block->blocks) ||
        !TransferChain(block->blocks, 0, reinterpret_cast<char*>(block->data.data()), nullptr,
                       kPointBlockSize)) {
        return nullptr;
    }
    pointCache_.push_front(std::move(block));
    if (pointCache_.size() > kCachedPointBlocks) pointCache_.pop_back();
    return pointCache_.front().get();
}

bool StoreFile::GetPointBlock(long pointId) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!io_) return false;
    if (pointBlocks_.empty()) {
        // A store without point blocks gets its first one; the id is still not there.
        NewPointBlock();
        return false;
    }
    const long index = pointId == -1 ? long(pointBlocks_.size()) - 1 : pointId / kPointsPerBlock;
    if (pointId < -1 || index >= long(pointBlocks_.size()) || !Block(size_t(index))) {
        LogPointNotFound();
        return false;
    }
    currentPointBlock_ = index;
    return true;
}

bool StoreFile::RecordLocation(long pointId, PointBlock** block, uint32_t* offset) {
    if (pointId < 0 || !GetPointBlock(pointId)) return false;
    *block = Block(size_t(pointId / kPointsPerBlock));
    *offset = kPointHeaderSize + uint32_t(pointId % kPointsPerBlock) * kRecordSize;
    return *block != nullptr;
}

bool StoreFile::ReadRecord(long pointId, PointRecord* record) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    PointBlock* block;
    uint32_t offset;
    if (!RecordLocation(pointId, &block, &offset)) return false;
    std::memcpy(record->bytes.data(), block->data.data() + offset, kRecordSize);
    return true;
}

bool StoreFile::WriteRecord(long pointId, const PointRecord& record) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    PointBlock* block;
    uint32_t offset;
    if (!RecordLocation(pointId, &block, &offset)) return false;
    if (writeError_ != 0) return false;
    std::memcpy(block->data.data() + offset, record.bytes.data(), kRecordSize);
    return Kept(TransferChain(block->blocks, offset, nullptr,
                              reinterpret_cast<const char*>(block->data.data() + offset),
                              kRecordSize));
}

bool StoreFile::WritePointHeader(PointBlock* block) {
    pointBlocks_[block->index].used = block->get(pbh::kUsed);
    return TransferChain(block->blocks, 0, nullptr,
                         reinterpret_cast<const char*>(block->data.data()), kPointHeaderSize);
}

bool StoreFile::GetPointLinks(long pointId, PointLinks* links) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    PointRecord record;
    if (!ReadRecord(pointId, &record)) return false;
    links->parent = record.get(rec::kParent);
    links->prevBrother = record.get(rec::kPrevBrother);
    links->nextBrother = record.get(rec::kNextBrother);
    links->firstSon = record.get(rec::kFirstSon);
    links->lastSon = record.get(rec::kLastSon);
    return true;
}

bool StoreFile::SetLink(long pointId, uint32_t field, uint32_t value) {
    PointRecord record;
    if (!ReadRecord(pointId, &record)) return false;
    if (record.get(field) == value) return true;
    record.set(field, value);
    return WriteRecord(pointId, record);
}

long StoreFile::NewPointBlock() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!io_ || writeError_ != 0) return -1;
    const long firstId = long(pointBlocks_.size()) * kPointsPerBlock;
    const uint32_t chain = Allocate(kPointBlockSize);
    if (chain == 0) return -1;
    const uint32_t prev = pointBlocks_.empty() ? 0 : pointBlocks_.back().chain;

    auto block = std::make_unique<PointBlock>();
    block->index = pointBlocks_.size();
    block->data.assign(kPointBlockSize, 0);
    std::memcpy(block->data.data() + pbh::kName, "POINT", 6);
    block->set(pbh::kSize, kPointBlockSize);
    block->set(pbh::kPerBlock, kPointsPerBlock);
    block->set(pbh::kPrev, prev);
    block->set(pbh::kNext, 0);
    block->set(pbh::kOwn, chain);  // rule P4: complete before anything links to it
    uint32_t used = 0;
    for (uint32_t r = 0; r < kPointsPerBlock; ++r) {
        const uint32_t at = kPointHeaderSize + r * kRecordSize;
        const bool reserved = firstId == 0 && r < kReservedPoints;
        block->set(at + rec::kSize, kRecordSize);
        block->set(at + rec::kSlot, uint32_t(reserved ? kSlotReserved : kSlotFree));
        block->set(at + rec::kPointId, uint32_t(firstId) + r);
        used += reserved ? 1 : 0;
    }
    block->set(pbh::kUsed, used);
    if (!ListChain(chain, kPointBlockChainBlocks, &block->blocks) ||
        !TransferChain(block->blocks, 0, nullptr, reinterpret_cast<const char*>(block->data.data()),
                       kPointBlockSize)) {
        return -1;
    }

    if (!pointBlocks_.empty()) {
        PointBlock* last = Block(pointBlocks_.size() - 1);
        if (!last) return -1;
        last->set(pbh::kNext, chain);
        if (!WritePointHeader(last)) return -1;
    } else {
        Put32(header_.data() + hdr::kFirstPointBlock, chain);
    }
    Put32(header_.data() + hdr::kLastPointBlock, chain);
    pointBlocks_.push_back({chain, used});
    currentPointBlock_ = long(block->index);
    pointCache_.push_front(std::move(block));
    if (pointCache_.size() > kCachedPointBlocks) pointCache_.pop_back();
    return WriteHeader() ? firstId : -1;
}

uint32_t StoreFile::RealLastSon(uint32_t parent, uint32_t lastSon) {
    // The stored last son is right unless a crash interrupted a change; then the forward
    // links, which are always written first, tell the truth (rules P2, P3).
    PointRecord record;
    uint32_t son = lastSon;
    if (son != 0 && (!ReadRecord(son, &record) || record.slot() == kSlotFree ||
                     record.get(rec::kParent) != parent)) {
        son = 0;
    }
    if (son == 0) {
        PointRecord parentRecord;
        if (!ReadRecord(parent, &parentRecord)) return 0;
        son = parentRecord.get(rec::kFirstSon);
        if (son == 0) return 0;
    }
    const size_t limit = pointBlocks_.size() * kPointsPerBlock;
    for (size_t steps = 0; steps < limit; ++steps) {
        if (!ReadRecord(son, &record)) return 0;
        const uint32_t next = record.get(rec::kNextBrother);
        if (next == 0) return son;
        son = next;
    }
    return 0;
}

long StoreFile::AllocatePoint(long parent) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!io_ || writeError_ != 0) return -1;
    long id = -1;
    PointRecord record;
    if (parent < 0) {
        // The root point; it is made once and never overwritten.
        if (pointBlocks_.empty() && NewPointBlock() < 0) return -1;
        if (!ReadRecord(kRootPoint, &record) || record.slot() != kSlotFree) return -1;
        id = kRootPoint;
        parent = 0;
    } else {
        for (size_t k = 0; k < pointBlocks_.size() && id < 0; ++k) {
            if (pointBlocks_[k].used >= kPointsPerBlock) continue;
            PointBlock* block = Block(k);
            if (!block) continue;
            for (uint32_t r = 0; r < kPointsPerBlock; ++r) {
                const uint32_t at = kPointHeaderSize + r * kRecordSize;
                if (int32_t(block->get(at + rec::kSlot)) == kSlotFree) {
                    id = long(k * kPointsPerBlock + r);
                    break;
                }
            }
        }
        if (id < 0) id = NewPointBlock();
        if (id < 0) return -1;
    }

    record = PointRecord{};
    record.set(rec::kSize, kRecordSize);
    record.set(rec::kSlot, 0);
    record.set(rec::kPointId, uint32_t(id));
    record.set(rec::kParent, uint32_t(parent));
    if (parent > 0) {
        PointLinks links;
        if (!GetPointLinks(parent, &links)) return -1;
        record.set(rec::kPrevBrother, RealLastSon(uint32_t(parent), links.lastSon));
    }
    record.set(rec::kState, 1);
    if (!WriteRecord(id, record)) return -1;
    PointBlock* block = Block(size_t(id / kPointsPerBlock));
    block->set(pbh::kUsed, block->get(pbh::kUsed) + 1);
    return WritePointHeader(block) ? id : -1;
}

bool StoreFile::LinkPoint(long pointId) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    PointRecord record;
    if (!ReadRecord(pointId, &record)) return false;
    const uint32_t parent = record.get(rec::kParent);
    if (parent == 0) return true;  // the root hangs nowhere
    PointLinks parentLinks;
    if (!GetPointLinks(parent, &parentLinks)) return false;
    const uint32_t last = RealLastSon(parent, parentLinks.lastSon);
    if (last == uint32_t(pointId)) return true;  // already linked
    if (record.get(rec::kPrevBrother) != last) {
        record.set(rec::kPrevBrother, last);
        if (!WriteRecord(pointId, record)) return false;
    }
    // Forward link first (rule P2).
    const bool linked = last != 0 ? SetLink(last, rec::kNextBrother, uint32_t(pointId))
                                  : SetLink(parent, rec::kFirstSon, uint32_t(pointId));
    return Kept(linked && SetLink(parent, rec::kLastSon, uint32_t(pointId)));
}

long StoreFile::NewPoint(long parent) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const long id = AllocatePoint(parent);
    if (id < 0 || !LinkPoint(id)) return -1;
    return id;
}

bool StoreFile::DeletePoint(long pointId) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    PointRecord record;
    if (!ReadRecord(pointId, &record)) return false;
    const int32_t slot = record.slot();
    if (slot == kSlotFree || slot == kSlotReserved) return false;
    const uint32_t id = uint32_t(pointId);
    const uint32_t parent = record.get(rec::kParent);
    const uint32_t next = record.get(rec::kNextBrother);
    uint32_t prev = record.get(rec::kPrevBrother);

    PointLinks parentLinks;
    const bool hasParent = parent != 0 && GetPointLinks(parent, &parentLinks);
    // The brother whose forward link reaches this point (rule P3). The stored back link is
    // checked; after a crash it may be stale, and the parent's son list tells the truth.
    PointLinks prevLinks;
    bool linked = prev != 0 ? GetPointLinks(prev, &prevLinks) && prevLinks.nextBrother == id
                            : !hasParent || parentLinks.firstSon == id;
    if (!linked && hasParent) {
        prev = 0;
        linked = parentLinks.firstSon == id;
        const size_t limit = pointBlocks_.size() * kPointsPerBlock;
        uint32_t son = parentLinks.firstSon;
        for (size_t steps = 0; !linked && son != 0 && steps < limit; ++steps) {
            PointLinks links;
            if (!GetPointLinks(son, &links)) break;
            if (links.nextBrother == id) {
                prev = son;
                linked = true;
            }
            son = links.nextBrother;
        }
    }

    // A point no forward link reaches (left by an interrupted delete) touches no other record.
    if (linked) {
        if (hasParent && parentLinks.lastSon == id) SetLink(parent, rec::kLastSon, prev);
        if (next != 0) SetLink(next, rec::kPrevBrother, prev);
        if (prev != 0) {
            SetLink(prev, rec::kNextBrother, next);
        } else if (hasParent) {
            SetLink(parent, rec::kFirstSon, next);
        }
    }

    record.set(rec::kSlot, uint32_t(kSlotFree));
    if (!WriteRecord(pointId, record)) return false;
    PointBlock* block = Block(size_t(pointId / kPointsPerBlock));
    block->set(pbh::kUsed, block->get(pbh::kUsed) - 1);
    WritePointHeader(block);
    // Rule P1: the chains go once the record no longer counts.
    for (uint32_t field : {rec::kPropertyChain, rec::kSdataChain, rec::kStrdataChain}) {
        if (record.get(field) != 0) FreeChain(record.get(field));
    }
    return Kept(true);
}

bool StoreFile::DeletePointTree(long pointId, bool withBrothers) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const size_t limit = 2 * pointBlocks_.size() * kPointsPerBlock + 2;
    size_t steps = 0;
    bool ok = true;
    long point = pointId;
    while (point > 0) {
        PointLinks links;
        if (!GetPointLinks(point, &links) || !DeletePoint(point)) return false;
        // The descendants, sons after their own descendants, first son first. Deleting a son
        // moves its parent's first-son link on to the next brother.
        std::vector<uint32_t> stack{uint32_t(point)};
        while (!stack.empty()) {
            if (++steps > limit) return false;  // a damaged file with a link cycle
            PointLinks top;
            if (!GetPointLinks(stack.back(), &top)) return false;
            if (top.firstSon != 0 &&
                std::find(stack.begin(), stack.end(), top.firstSon) == stack.end()) {
                stack.push_back(top.firstSon);
                continue;
            }
            const uint32_t done = stack.back();
            stack.pop_back();
            if (!stack.empty()) ok = DeletePoint(done) && ok;
            if (!stack.empty() && top.firstSon != 0) return false;  // cycle through a son
            if (writeError_ != 0) return false;
        }
        point = withBrothers ? long(links.nextBrother) : 0;
        if (++steps > limit) return false;
    }
    return Kept(ok);
}

}  // namespace korvo
