// Byte layout of a store file. All integers are 32-bit little-endian.
//
//   offset 0        header block (5120 bytes): the 2312-byte header, the rest zero
//   offset 5120     data blocks of 5120 bytes; block n starts at 5120 + n * 5120
//   file end        84-byte trailer: length 84, then an 80-byte NUL-padded banner (never read)
//
// Blocks are grouped in segments of 6144. Each segment starts with its allocation table, kept
// twice back to back (primary, then mirror; 6144 entries of 4 bytes each) and padded to 10
// blocks. Entry i describes block (segment start + i): 0 free, a block number = in use and the
// chain continues there, kChainEnd = last block of its chain, kNoBlock = beyond the file end,
// kTableBlock = holds the table itself, kUpdating = (primary entry 0 only) an update is in
// progress. Chains of blocks hold data; block number 0 means "no chain" everywhere.
//
// Point blocks are chains of 94136 bytes: a 536-byte header and 100 records of 936 bytes. They
// form a doubly linked list; the k-th point block holds point ids 100k .. 100k + 99. Ids 0-9
// are reserved; 10 is the root. See the offsets below for every field.
#pragma once

#include <cstdint>
#include <cstring>

namespace korvo::storefmt {

inline constexpr uint32_t kBlockSize = 5120;
inline constexpr uint32_t kHeaderBlockSize = 5120;
inline constexpr uint32_t kHeaderSize = 2312;
inline constexpr uint32_t kEntriesPerSegment = 6144;
inline constexpr uint32_t kSegmentBytes = kEntriesPerSegment * kBlockSize;  // 31457280
inline constexpr uint32_t kTableBytes = kEntriesPerSegment * 4;             // one copy
inline constexpr uint32_t kTableBlocks = 10;  // both copies, padded to whole blocks
inline constexpr uint32_t kTrailerSize = 84;
inline constexpr int kSegmentCacheSlots = 20;

inline constexpr const char kMagic[] = "FILEHEAD";
inline constexpr const char kVersion[] = "B1.00.00.0000";
inline constexpr const char kBanner[] = "Korvo store file";

// Allocation table entry values.
inline constexpr uint32_t kFree = 0;
inline constexpr uint32_t kChainEnd = 0xFFFFFFF0;    // -16
inline constexpr uint32_t kNoBlock = 0xFFFFFFFF;     // -1
inline constexpr uint32_t kTableBlock = 0xFFFFFFFE;  // -2
inline constexpr uint32_t kUpdating = 0xFFFFFFFD;    // -3

// Header fields (offsets in the header).
namespace hdr {
inline constexpr uint32_t kMagic = 0;  // 12 bytes
inline constexpr uint32_t kSize = 12;
inline constexpr uint32_t kEntries = 16;
inline constexpr uint32_t kSegmentBytes = 20;
inline constexpr uint32_t kVersion = 24;  // 40 bytes
inline constexpr uint32_t kFreeBytes = 64;
inline constexpr uint32_t kFileEnd = 68;
inline constexpr uint32_t kCacheFirst = 72;  // 20 x block number
inline constexpr uint32_t kCacheFree = 152;  // 20 x free count
inline constexpr uint32_t kCacheUsed = 232;  // 20 x used count
inline constexpr uint32_t kLastPointBlock = 312;
inline constexpr uint32_t kFirstPointBlock = 316;
}  // namespace hdr

// Point blocks.
inline constexpr uint32_t kPointsPerBlock = 100;
inline constexpr uint32_t kPointHeaderSize = 536;
inline constexpr uint32_t kRecordSize = 936;
inline constexpr uint32_t kPointBlockSize = kPointHeaderSize + kPointsPerBlock * kRecordSize;
inline constexpr uint32_t kReservedPoints = 10;
inline constexpr uint32_t kRootPoint = 10;
static_assert(kPointBlockSize == 94136);

namespace pbh {
inline constexpr uint32_t kName = 0;  // "POINT", 12 bytes
inline constexpr uint32_t kSize = 12;
inline constexpr uint32_t kUsed = 16;
inline constexpr uint32_t kPerBlock = 20;
inline constexpr uint32_t kPrev = 124;
inline constexpr uint32_t kNext = 128;
inline constexpr uint32_t kOwn = 132;
}  // namespace pbh

// Slot states of a record; any other value is an in-use record holding the node's pType.
inline constexpr int32_t kSlotFree = -1;
inline constexpr int32_t kSlotReserved = -2;

namespace rec {
inline constexpr uint32_t kSize = 0;
inline constexpr uint32_t kSlot = 4;
inline constexpr uint32_t kSdataLen = 8;
inline constexpr uint32_t kSdataChain = 24;
inline constexpr uint32_t kStrdataLen = 28;
inline constexpr uint32_t kStrdataChain = 44;
inline constexpr uint32_t kPropertyLen = 48;
inline constexpr uint32_t kPropertyChain = 64;
inline constexpr uint32_t kInlineProperty = 68;  // 300 bytes, NUL-terminated
inline constexpr uint32_t kInlineStrdata = 368;  // 500 bytes
inline constexpr uint32_t kPointId = 868;
inline constexpr uint32_t kPrevBrother = 872;
inline constexpr uint32_t kNextBrother = 876;
inline constexpr uint32_t kParent = 880;
inline constexpr uint32_t kFirstSon = 884;
inline constexpr uint32_t kLastSon = 888;
inline constexpr uint32_t kState = 892;
}  // namespace rec

// A property text shorter than this is stored inline (with its terminator).
inline constexpr uint32_t kInlinePropertyLimit = 299;
inline constexpr uint32_t kInlinePropertyArea = 300;
// STRDATA of at most this many bytes is stored inline.
inline constexpr uint32_t kInlineStrdataLimit = 500;

inline uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

inline uint64_t BlockOffset(uint32_t block) {
    return uint64_t(block) * kBlockSize + kHeaderBlockSize;
}

inline uint32_t BlocksFor(uint64_t length) {
    return static_cast<uint32_t>((length + kBlockSize - 1) / kBlockSize);
}

}  // namespace korvo::storefmt
