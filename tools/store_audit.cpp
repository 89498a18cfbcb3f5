#include "tools/store_audit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <unordered_set>
#include <vector>

#include "platform/string_format.h"
#include "store/store_file.h"
#include "store/store_format.h"

namespace korvo {
namespace {

using namespace storefmt;

constexpr uint32_t kPointChainBlocks = (kPointBlockSize + kBlockSize - 1) / kBlockSize;

struct Findings {
    std::vector<std::string> problems;
    std::vector<std::string> notes;
    void problem(std::string s) { problems.push_back(std::move(s)); }
    void note(std::string s) { notes.push_back(std::move(s)); }
};

// What a point record says, kept for the link checks.
struct PointInfo {
    int32_t slot = kSlotFree;
    uint32_t parent = 0, prev = 0, next = 0, firstSon = 0, lastSon = 0;
};

// Reads a store file without ever writing it.
class Reader {
  public:
    ~Reader() {
        if (fd_ >= 0) ::close(fd_);
    }

    // False when the file is not a store file (or cannot be read).
    bool Open(const std::string& path, std::string* why) {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            *why = StrPrintf("cannot open %s: %s", path.c_str(), std::strerror(errno));
            return false;
        }
        struct stat st {};
        ::fstat(fd_, &st);
        size_ = uint64_t(st.st_size);
        if (!Read(0, header_, sizeof header_) || Get32(header_ + hdr::kSize) != kHeaderSize ||
            std::memcmp(header_, kMagic, 8) != 0) {
            *why = "not a store file (no FILEHEAD header)";
            return false;
        }
        fileEnd_ = Get32(header_ + hdr::kFileEnd);
        if (fileEnd_ < kHeaderBlockSize + kTableBlocks * kBlockSize ||
            (fileEnd_ - kHeaderBlockSize) % kBlockSize != 0 || fileEnd_ > size_) {
            *why = StrPrintf("the header's file end %u does not fit a file of %llu bytes", fileEnd_,
                             static_cast<unsigned long long>(size_));
            return false;
        }
        blocks_ = (fileEnd_ - kHeaderBlockSize) / kBlockSize;
        // Blocks the tables already hold beyond the header's file end: the next open takes
        // them in, as the last growth had not rewritten the header yet.
        while (blocks_ % kEntriesPerSegment != 0 && BlockOffset(blocks_) + kBlockSize <= size_) {
            const Segment& seg = SegmentOf(blocks_ - 1);
            if (!seg.readable || seg.effective[blocks_ % kEntriesPerSegment] == kNoBlock) break;
            ++blocks_;
            ++unfinishedGrowth_;
        }
        if (unfinishedGrowth_ != 0) segments_.clear();  // re-read with the full block count
        return true;
    }

    uint32_t unfinishedGrowth() const { return unfinishedGrowth_; }

    uint32_t blocks() const { return blocks_; }
    uint32_t fileEnd() const { return fileEnd_; }
    uint64_t size() const { return size_; }
    uint32_t header(uint32_t offset) const { return Get32(header_ + offset); }

    bool Read(uint64_t offset, void* data, size_t n) {
        auto* p = static_cast<uint8_t*>(data);
        while (n > 0) {
            const ssize_t got = ::pread(fd_, p, n, off_t(offset));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            p += got;
            offset += uint64_t(got);
            n -= size_t(got);
        }
        return true;
    }

    struct Segment {
        bool readable = false;
        std::vector<uint32_t> primary, mirror, effective;
    };

    // The segment holding `block`, with the table the next open would keep.
    const Segment& SegmentOf(uint32_t block) {
        const uint32_t first = block - block % kEntriesPerSegment;
        auto [it, added] = segments_.try_emplace(first);
        Segment& seg = it->second;
        if (!added) return seg;
        std::vector<uint8_t> raw(2 * kTableBytes);
        if (first >= blocks_ || !Read(BlockOffset(first), raw.data(), raw.size())) return seg;
        seg.readable = true;
        seg.primary.resize(kEntriesPerSegment);
        seg.mirror.resize(kEntriesPerSegment);
        for (uint32_t i = 0; i < kEntriesPerSegment; ++i) {
            seg.primary[i] = Get32(raw.data() + 4 * i);
            seg.mirror[i] = Get32(raw.data() + kTableBytes + 4 * i);
        }
        const bool undo = seg.primary != seg.mirror && seg.primary[0] == kUpdating;
        seg.effective = undo || seg.primary == seg.mirror ? seg.primary : seg.mirror;
        seg.effective[0] = kTableBlock;
        return seg;
    }

    uint32_t Entry(uint32_t block) {
        if (block >= blocks_) return kNoBlock;
        const Segment& seg = SegmentOf(block);
        return seg.readable ? seg.effective[block % kEntriesPerSegment] : kNoBlock;
    }

    // Follows a chain (all of it when `want` is 0). False, with the reason, when it runs into
    // a free, missing or table block or loops.
    bool Chain(uint32_t start, uint32_t want, std::vector<uint32_t>* out, std::string* why) {
        out->clear();
        uint32_t b = start;
        for (uint32_t steps = 0; steps <= blocks_; ++steps) {
            if (b == 0 || b >= blocks_) {
                *why = StrPrintf("reaches block %u, outside the file", b);
                return false;
            }
            const uint32_t next = Entry(b);
            if (next == kFree) {
                *why = StrPrintf("runs into free block %u", b);
                return false;
            }
            if (next == kNoBlock || next == kTableBlock || next == kUpdating) {
                *why = StrPrintf("runs into block %u, which is not a data block", b);
                return false;
            }
            out->push_back(b);
            if (want != 0 && out->size() == want) return true;
            if (next == kChainEnd) {
                if (want == 0) return true;
                *why = StrPrintf("ends after %zu blocks, %u needed", out->size(), want);
                return false;
            }
            b = next;
        }
        *why = "loops";
        return false;
    }

    bool ReadChain(const std::vector<uint32_t>& chain, uint64_t offset, uint64_t length,
                   void* into) {
        auto* p = static_cast<uint8_t*>(into);
        while (length > 0) {
            const size_t index = size_t(offset / kBlockSize);
            if (index >= chain.size()) return false;
            const uint64_t in = offset % kBlockSize;
            const uint64_t n = std::min<uint64_t>(kBlockSize - in, length);
            if (!Read(BlockOffset(chain[index]) + in, p, n)) return false;
            p += n;
            offset += n;
            length -= n;
        }
        return true;
    }

    // Data of `length` bytes in the chain at `start`; false when the chain cannot hold it.
    bool ChainData(uint32_t start, uint32_t length, std::string* out, std::string* why) {
        std::vector<uint32_t> chain;
        if (!Chain(start, 0, &chain, why)) return false;
        if (uint64_t(chain.size()) * kBlockSize < length) {
            *why = StrPrintf("holds %zu blocks, too few for %u bytes", chain.size(), length);
            return false;
        }
        out->resize(length);
        return ReadChain(chain, 0, length, out->data());
    }

    struct PointBlockEntry {
        uint32_t chain = 0;
        std::vector<uint32_t> blocks;
        uint8_t head[kPointHeaderSize] = {};
    };

    // Follows the point-block list; problems go to `f`.
    void LoadPointBlocks(Findings* f) {
        std::unordered_set<uint32_t> seen;
        uint32_t chain = header(hdr::kFirstPointBlock);
        uint32_t prev = 0;
        while (chain != 0) {
            if (!seen.insert(chain).second) {
                f->problem(StrPrintf("the point-block list loops back to block %u", chain));
                break;
            }
            PointBlockEntry e;
            e.chain = chain;
            std::string why;
            if (!Chain(chain, 0, &e.blocks, &why)) {
                f->problem(StrPrintf("point block %zu (chain %u) %s", pointBlocks_.size(), chain,
                                     why.c_str()));
                break;
            }
            if (e.blocks.size() != kPointChainBlocks ||
                !ReadChain(e.blocks, 0, kPointHeaderSize, e.head) ||
                std::memcmp(e.head, "POINT", 6) != 0 ||
                Get32(e.head + pbh::kSize) != kPointBlockSize ||
                Get32(e.head + pbh::kPerBlock) != kPointsPerBlock) {
                f->problem(StrPrintf("point block %zu (chain %u) has no valid point-block header",
                                     pointBlocks_.size(), chain));
                break;
            }
            if (Get32(e.head + pbh::kOwn) != chain) {
                f->problem(StrPrintf("point block %zu names chain %u as its own, not %u",
                                     pointBlocks_.size(), Get32(e.head + pbh::kOwn), chain));
            }
            if (Get32(e.head + pbh::kPrev) != prev) {
                f->problem(StrPrintf("point block %zu links back to %u, not %u",
                                     pointBlocks_.size(), Get32(e.head + pbh::kPrev), prev));
            }
            prev = chain;
            chain = Get32(e.head + pbh::kNext);
            pointBlocks_.push_back(std::move(e));
        }
        if (!pointBlocks_.empty() && header(hdr::kLastPointBlock) != pointBlocks_.back().chain) {
            f->note(StrPrintf("the header names %u as last point block; the list ends at %u",
                              header(hdr::kLastPointBlock), pointBlocks_.back().chain));
        }
    }

    const std::vector<PointBlockEntry>& pointBlocks() const { return pointBlocks_; }
    uint32_t pointCount() const { return uint32_t(pointBlocks_.size()) * kPointsPerBlock; }

    bool Record(uint32_t id, PointRecord* r) {
        if (id >= pointCount()) return false;
        const auto& e = pointBlocks_[id / kPointsPerBlock];
        return ReadChain(e.blocks, kPointHeaderSize + uint64_t(id % kPointsPerBlock) * kRecordSize,
                         kRecordSize, r->bytes.data());
    }

    std::string PropertyText(const PointRecord& r, std::string* why) {
        const uint32_t chain = r.get(rec::kPropertyChain);
        if (chain == 0) {
            const char* area = reinterpret_cast<const char*>(r.bytes.data()) + rec::kInlineProperty;
            return std::string(area, strnlen(area, kInlinePropertyArea));
        }
        std::string text;
        if (!ChainData(chain, r.get(rec::kPropertyLen), &text, why)) return {};
        return text;
    }

  private:
    int fd_ = -1;
    uint64_t size_ = 0;
    uint8_t header_[kHeaderSize] = {};
    uint32_t fileEnd_ = 0;
    uint32_t blocks_ = 0;
    uint32_t unfinishedGrowth_ = 0;
    std::map<uint32_t, Segment> segments_;
    std::vector<PointBlockEntry> pointBlocks_;
};

// Visits the points reachable from the root in pre-order: a point, its sons, its next brother.
// `visit` gets the point, its depth and its record; the walk never visits a point twice.
template <typename Visit>
void WalkTree(Reader& reader, Findings* f, Visit visit) {
    struct Item {
        uint32_t id;
        int depth;
    };
    std::vector<Item> stack{{kRootPoint, 0}};
    std::unordered_set<uint32_t> seen;
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        if (!seen.insert(item.id).second) {
            if (f) f->problem(StrPrintf("point %u is reached twice (a link cycle)", item.id));
            continue;
        }
        PointRecord r;
        if (!reader.Record(item.id, &r)) {
            if (f) f->problem(StrPrintf("point %u is linked but lies in no point block", item.id));
            continue;
        }
        if (!visit(item.id, item.depth, r)) continue;
        if (const uint32_t next = r.get(rec::kNextBrother); next != 0 && item.id != kRootPoint) {
            stack.push_back({next, item.depth});
        }
        if (const uint32_t son = r.get(rec::kFirstSon); son != 0) {
            stack.push_back({son, item.depth + 1});
        }
    }
}

void HexDump(std::string_view data, const std::string& indent, std::ostream& out) {
    for (size_t at = 0; at < data.size(); at += 16) {
        std::string hex, text;
        for (size_t i = at; i < at + 16; ++i) {
            if (i < data.size()) {
                const auto c = static_cast<unsigned char>(data[i]);
                hex += StrPrintf("%02x ", c);
                text += (c >= 0x20 && c < 0x7f) ? char(c) : '.';
            } else {
                hex += "   ";
            }
        }
        out << indent << StrPrintf("%08zx  ", at) << hex << ' ' << text << '\n';
    }
}

}  // namespace

InspectStatus DumpStore(const std::string& path, const DumpOptions& options, std::ostream& out,
                        std::ostream& err) {
    Reader reader;
    std::string why;
    if (!reader.Open(path, &why)) {
        err << path << ": " << why << '\n';
        return InspectStatus::kNotStore;
    }
    Findings f;
    reader.LoadPointBlocks(&f);
    WalkTree(reader, nullptr, [&](uint32_t id, int depth, const PointRecord& r) {
        const int32_t slot = r.slot();
        if (slot == kSlotFree || slot == kSlotReserved) return false;
        const std::string indent(size_t(depth) * 2, ' ');
        std::string problem;
        const std::string text = reader.PropertyText(r, &problem);
        out << indent << id << StrPrintf(" 0x%08X ", r.get(rec::kState)) << text;
        const uint32_t sdata = r.get(rec::kSdataLen);
        const uint32_t strdata = r.get(rec::kStrdataLen);
        if (sdata != 0) out << " [SDATA " << sdata << "]";
        if (strdata != 0) out << " [STRDATA " << strdata << "]";
        out << '\n';
        if (!problem.empty()) err << "point " << id << ": property chain " << problem << '\n';
        if (!options.data) return true;
        if (sdata != 0) {
            std::string data;
            if (reader.ChainData(r.get(rec::kSdataChain), sdata, &data, &problem)) {
                out << indent << "  SDATA:\n";
                size_t start = 0;
                while (start <= data.size()) {
                    const size_t nl = data.find('\n', start);
                    const size_t end = nl == std::string::npos ? data.size() : nl;
                    out << indent << "    " << data.substr(start, end - start) << '\n';
                    if (nl == std::string::npos) break;
                    start = nl + 1;
                }
            } else {
                err << "point " << id << ": SDATA chain " << problem << '\n';
            }
        }
        if (strdata != 0) {
            std::string data;
            const uint32_t chain = r.get(rec::kStrdataChain);
            bool ok = true;
            if (chain != 0) {
                ok = reader.ChainData(chain, strdata, &data, &problem);
            } else if (strdata <= kInlineStrdataLimit) {
                data.assign(reinterpret_cast<const char*>(r.bytes.data()) + rec::kInlineStrdata,
                            strdata);
            } else {
                ok = false;
                problem = "is missing for an inline length above 500";
            }
            if (ok) {
                out << indent << "  STRDATA:\n";
                HexDump(data, indent + "    ", out);
            } else {
                err << "point " << id << ": STRDATA " << problem << '\n';
            }
        }
        return true;
    });
    return InspectStatus::kSound;
}

InspectStatus CheckStore(const std::string& path, std::ostream& out) {
    Reader reader;
    std::string why;
    if (!reader.Open(path, &why)) {
        out << path << ": " << why << '\n';
        return InspectStatus::kNotStore;
    }
    Findings f;
    const uint32_t blocks = reader.blocks();

    // Header.
    if (reader.header(hdr::kEntries) != kEntriesPerSegment ||
        reader.header(hdr::kSegmentBytes) != kSegmentBytes) {
        f.problem("the header's segment sizes are not 6144 entries of 5120 bytes");
    }
    if (reader.unfinishedGrowth() != 0) {
        f.note(
            StrPrintf("the file grew by %u blocks the header does not count yet; the next "
                      "open completes that",
                      reader.unfinishedGrowth()));
    } else if (reader.size() != uint64_t(reader.fileEnd()) + kTrailerSize) {
        f.note(StrPrintf("the file is %llu bytes; the header's file end plus the trailer make %llu",
                         static_cast<unsigned long long>(reader.size()),
                         static_cast<unsigned long long>(reader.fileEnd()) + kTrailerSize));
    }

    // Allocation tables.
    uint64_t freeBlocks = 0;
    for (uint32_t first = 0; first < blocks; first += kEntriesPerSegment) {
        const Reader::Segment& seg = reader.SegmentOf(first);
        if (!seg.readable) {
            f.problem(StrPrintf("the allocation table of segment %u cannot be read",
                                first / kEntriesPerSegment));
            continue;
        }
        if (seg.primary != seg.mirror) {
            f.note(StrPrintf(
                "segment %u: the table copies differ (an interrupted update); the "
                "next open will %s it",
                first / kEntriesPerSegment, seg.primary[0] == kUpdating ? "undo" : "complete"));
        }
        for (uint32_t i = 0; i < kEntriesPerSegment; ++i) {
            const uint32_t b = first + i;
            const uint32_t e = seg.effective[i];
            if (i < kTableBlocks) {
                if (e != kTableBlock) {
                    f.problem(StrPrintf("block %u holds a table but is not marked so", b));
                }
            } else if (b >= blocks) {
                if (e != kNoBlock) f.problem(StrPrintf("block %u lies past the file end", b));
            } else if (e == kFree) {
                ++freeBlocks;
            } else if (e != kChainEnd && (e >= blocks || e == 0)) {
                f.problem(StrPrintf("block %u links to %u, which is no block", b, e));
            }
        }
    }
    if (uint64_t(reader.header(hdr::kFreeBytes)) != freeBlocks * kBlockSize) {
        f.note(StrPrintf("the header counts %u free bytes; the tables %llu",
                         reader.header(hdr::kFreeBytes),
                         static_cast<unsigned long long>(freeBlocks * kBlockSize)));
    }

    // Chains: every block belongs to at most one.
    std::vector<uint32_t> owner(blocks, 0);  // 1 + index of the owning chain's description
    std::vector<std::string> owners{""};
    auto claim = [&](uint32_t start, uint64_t length, const std::string& what) {
        std::vector<uint32_t> chain;
        std::string problem;
        if (!reader.Chain(start, 0, &chain, &problem)) {
            f.problem(what + " " + problem);
            return false;
        }
        if (uint64_t(chain.size()) * kBlockSize < length) {
            f.problem(StrPrintf("%s holds %zu blocks, too few for %llu bytes", what.c_str(),
                                chain.size(), static_cast<unsigned long long>(length)));
        }
        owners.push_back(what);
        for (uint32_t b : chain) {
            if (owner[b] != 0) {
                f.problem(StrPrintf("block %u is in two chains: %s and %s", b,
                                    owners[owner[b]].c_str(), what.c_str()));
            }
            owner[b] = uint32_t(owners.size() - 1);
        }
        return true;
    };

    // Point blocks and records.
    reader.LoadPointBlocks(&f);
    const auto& pbs = reader.pointBlocks();
    for (size_t k = 0; k < pbs.size(); ++k) {
        claim(pbs[k].chain, kPointBlockSize, StrPrintf("point block %zu", k));
    }
    std::vector<PointInfo> points(reader.pointCount());
    for (size_t k = 0; k < pbs.size(); ++k) {
        uint32_t used = 0;
        for (uint32_t r = 0; r < kPointsPerBlock; ++r) {
            const uint32_t id = uint32_t(k) * kPointsPerBlock + r;
            PointRecord rec;
            if (!reader.Record(id, &rec)) continue;
            PointInfo& p = points[id];
            p.slot = rec.slot();
            if (rec.get(rec::kSize) != kRecordSize || rec.get(rec::kPointId) != id) {
                f.problem(StrPrintf("record %u has size %u and names point %u", id,
                                    rec.get(rec::kSize), rec.get(rec::kPointId)));
            }
            const bool reserved = k == 0 && r < kReservedPoints;
            if (reserved != (p.slot == kSlotReserved)) {
                f.problem(StrPrintf("record %u is %sreserved", id, reserved ? "not " : ""));
            }
            if (p.slot != kSlotFree) ++used;
            if (p.slot == kSlotFree || p.slot == kSlotReserved) continue;
            p.parent = rec.get(rec::kParent);
            p.prev = rec.get(rec::kPrevBrother);
            p.next = rec.get(rec::kNextBrother);
            p.firstSon = rec.get(rec::kFirstSon);
            p.lastSon = rec.get(rec::kLastSon);
            const uint32_t propLen = rec.get(rec::kPropertyLen);
            if (const uint32_t c = rec.get(rec::kPropertyChain); c != 0) {
                claim(c, propLen, StrPrintf("the property chain of point %u", id));
            } else if (propLen >= kInlinePropertyArea ||
                       rec.bytes[rec::kInlineProperty + propLen] != 0) {
                f.problem(StrPrintf("point %u: inline property length %u does not match its text",
                                    id, propLen));
            }
            const uint32_t strLen = rec.get(rec::kStrdataLen);
            if (const uint32_t c = rec.get(rec::kStrdataChain); c != 0) {
                claim(c, strLen, StrPrintf("the STRDATA chain of point %u", id));
            } else if (strLen > kInlineStrdataLimit) {
                f.problem(StrPrintf("point %u: %u STRDATA bytes without a chain", id, strLen));
            }
            const uint32_t sLen = rec.get(rec::kSdataLen);
            if (const uint32_t c = rec.get(rec::kSdataChain); c != 0) {
                claim(c, sLen, StrPrintf("the SDATA chain of point %u", id));
            } else if (sLen != 0) {
                f.problem(StrPrintf("point %u: %u SDATA bytes without a chain", id, sLen));
            }
        }
        const uint32_t counted = Get32(pbs[k].head + pbh::kUsed);
        if (counted != used) {
            f.note(StrPrintf("point block %zu counts %u records in use; %u are", k, counted, used));
        }
    }

    // Links from the root.
    size_t reachable = 0;
    if (!pbs.empty()) {
        if (points.size() <= kRootPoint || points[kRootPoint].slot == kSlotFree) {
            f.problem("the root point 10 is not in use");
        }
        std::vector<bool> reached(points.size(), false);
        WalkTree(reader, &f, [&](uint32_t id, int, const PointRecord&) {
            const PointInfo& p = points[id];
            if (p.slot == kSlotFree || p.slot == kSlotReserved) {
                f.problem(StrPrintf("point %u is linked into the tree but its record is %s", id,
                                    p.slot == kSlotFree ? "free" : "reserved"));
                return false;
            }
            reached[id] = true;
            ++reachable;
            // Sons: forward links are the truth; back links must agree.
            uint32_t prev = 0;
            std::unordered_set<uint32_t> sons;
            for (uint32_t s = p.firstSon; s != 0 && s < points.size() && sons.insert(s).second;
                 s = points[s].next) {
                if (points[s].slot == kSlotFree) break;
                if (points[s].parent != id) {
                    f.problem(StrPrintf("point %u is a son of %u but names %u as parent", s, id,
                                        points[s].parent));
                }
                if (points[s].prev != prev) {
                    f.note(
                        StrPrintf("point %u names %u as previous brother, not %u (mended at "
                                  "the next change)",
                                  s, points[s].prev, prev));
                }
                prev = s;
            }
            if (p.lastSon != prev) {
                f.note(
                    StrPrintf("point %u names %u as last son, not %u (mended at the next "
                              "change)",
                              id, p.lastSon, prev));
            }
            return true;
        });
        size_t orphans = 0;
        for (size_t id = kReservedPoints; id < points.size(); ++id) {
            if (!reached[id] && points[id].slot != kSlotFree) ++orphans;
        }
        if (orphans != 0) {
            f.note(
                StrPrintf("%zu points in use are not in the tree (left by an interrupted "
                          "delete or insert)",
                          orphans));
        }
    } else if (reader.header(hdr::kFirstPointBlock) == 0) {
        f.note("the store holds no points yet");
    }

    size_t leaked = 0;
    for (uint32_t b = 0; b < blocks; ++b) {
        const uint32_t e = reader.Entry(b);
        if (owner[b] == 0 && e != kFree && e != kTableBlock && e != kNoBlock) ++leaked;
    }
    if (leaked != 0) {
        f.note(
            StrPrintf("%zu blocks are in use by no chain (left by an interrupted write)", leaked));
    }

    for (const auto& p : f.problems) out << "problem: " << p << '\n';
    for (const auto& n : f.notes) out << "note: " << n << '\n';
    out << path << ": " << blocks << " blocks, " << reachable << " points in the tree, "
        << f.problems.size() << " problems, " << f.notes.size()
        << " notes: " << (f.problems.empty() ? "sound" : "damaged") << '\n';
    return f.problems.empty() ? InspectStatus::kSound : InspectStatus::kDamaged;
}

}  // namespace korvo
