#include "store/data_manager.h"

#include <sys/stat.h>

#include <cstring>
#include <unordered_set>
#include <vector>

#include "platform/data_dir.h"
#include "store/node_tree.h"

namespace korvo {

using namespace storefmt;

namespace {

constexpr uint32_t kChangeBits =
    STATE_PROPERTY_CHANGED | STATE_STRDATA_CHANGED | STATE_SDATA_CHANGED;

long PointIdOf(const baseDataStruct* node) {
    const std::string id = getinfo(node, kThisNode, "pointId");
    return id == kAbsent ? -1 : TextToLong(id);
}

// Reads a chain's data of `length` bytes, refusing lengths the chain cannot hold (a damaged
// record must not make us allocate more than the file has).
bool ReadChainData(StoreFile& file, uint32_t chain, uint32_t length, std::string* out) {
    if (uint64_t(file.ChainBlocks(chain)) * kBlockSize < length) return false;
    out->resize(length);
    return file.ReadAt(chain, length, out->data(), 0);
}

baseDataStruct* Ancestor(baseDataStruct* node, std::string_view type) {
    for (; node; node = node->parent()) {
        if (getinfo(node, kThisNode, "type") == type) return node;
    }
    return nullptr;
}

baseDataStruct* SonWith(baseDataStruct* anchor, std::string_view key, std::string_view value,
                        std::string_view key2 = {}, std::string_view value2 = {}) {
    if (!anchor) return nullptr;
    for (baseDataStruct* s = anchor->firstSon(); s; s = s->nextBrother()) {
        if (getinfo(s, kThisNode, key) != value) continue;
        if (!key2.empty() && getinfo(s, kThisNode, key2) != value2) continue;
        return s;
    }
    return nullptr;
}

// A node of `type` below `anchor`: among its sons, or else following first sons downwards.
// The sons are searched too because a node created on demand is appended as the last son,
// where a walk along first sons alone would never find it again.
baseDataStruct* FindBelow(baseDataStruct* anchor, std::string_view type) {
    if (baseDataStruct* son = SonWith(anchor, "type", type)) return son;
    for (baseDataStruct* n = anchor->firstSon(); n; n = n->firstSon()) {
        if (getinfo(n, kThisNode, "type") == type) return n;
    }
    return nullptr;
}

}  // namespace

CBaseDataManage::CBaseDataManage() : root_(CreateRootNode()) {}

CBaseDataManage::~CBaseDataManage() {
    file_.Close();
}

void CBaseDataManage::ResetRoot() {
    const std::string maxId = getinfo(root_.get(), kThisNode, "MaxId");
    deletesons(root_.get());
    setinfo(root_.get(), kThisNode, "PROPERTY", "MaxId =" + maxId);
    setinfo(root_.get(), kThisNode, "caption", "Korvo");
    setinfo(root_.get(), kThisNode, "type", "Root");
    setinfo(root_.get(), kThisNode, "pType", "1");
    setstate(root_.get(), kNewNodeState | 0x000F0001);
}

bool CBaseDataManage::DataOpen(const std::string& path, std::string_view mode) {
    std::string full = path;
    if (full.empty() || full.front() != '/') full = DataDirectory() + full;
    struct stat st {};
    if (::stat(full.c_str(), &st) == 0 && mode != "New") {
        if (!file_.Open(full, mode)) {
            deletesons(root_.get());
            return false;
        }
        return DataLoadTree(nullptr, kRootPoint, kLoadProperty, true);
    }
    if (!file_.Open(full, "New")) {
        deletesons(root_.get());
        return false;
    }
    ResetRoot();
    return DataSaveList(root_.get(), 1) == long(kRootPoint);
}

bool CBaseDataManage::DataSync() {
    return file_.Sync();
}

bool CBaseDataManage::DataClose() {
    return file_.Close();
}

std::string CBaseDataManage::failureText() const {
    const int error = file_.writeError();
    return error == 0 ? std::string() : StoreErrorText(error);
}

bool CBaseDataManage::DataGetPointBlock(long pointId) {
    return file_.GetPointBlock(pointId);
}

int CBaseDataManage::DataSavePoint(baseDataStruct* node) {
    if (!node || !teststate(node, STATE_MODIFIED)) return 1;
    const long id = PointIdOf(node);
    if (id < 0) return 0;
    PointRecord record;
    if (!file_.ReadRecord(id, &record)) return 0;

    // Chains the record stops referring to are freed once it is written.
    std::vector<uint32_t> stale;
    auto replaceChain = [&](uint32_t field, uint32_t chain) {
        const uint32_t old = record.get(field);
        if (old != 0 && old != chain) stale.push_back(old);
        record.set(field, chain);
    };
    const uint32_t state = getstate(node);

    if (state & STATE_PROPERTY_CHANGED) {
        const std::string_view text = node->propertyText();
        record.set(rec::kPropertyLen, uint32_t(text.size()));
        uint8_t* area = record.bytes.data() + rec::kInlineProperty;
        std::memset(area, 0, kInlinePropertyArea);
        if (text.size() < kInlinePropertyLimit) {
            std::memcpy(area, text.data(), text.size());
            replaceChain(rec::kPropertyChain, 0);
        } else {
            const uint32_t chain = file_.WriteChain(record.get(rec::kPropertyChain), text);
            if (chain == 0) return 0;
            replaceChain(rec::kPropertyChain, chain);
        }
    }
    if (state & STATE_STRDATA_CHANGED) {
        const std::string_view data = getdata(node, "STRDATA").value_or(std::string_view());
        record.set(rec::kStrdataLen, uint32_t(data.size()));
        uint8_t* area = record.bytes.data() + rec::kInlineStrdata;
        if (data.size() <= kInlineStrdataLimit) {
            std::memset(area, 0, kInlineStrdataLimit);
            if (!data.empty()) std::memcpy(area, data.data(), data.size());
            replaceChain(rec::kStrdataChain, 0);
        } else {
            std::memset(area, 0, kInlineStrdataLimit);
            const uint32_t chain = file_.WriteChain(record.get(rec::kStrdataChain), data);
            if (chain == 0) return 0;
            replaceChain(rec::kStrdataChain, chain);
        }
    }
    if (state & STATE_SDATA_CHANGED) {
        const std::string_view text = getdata(node, "SDATA").value_or(std::string_view());
        record.set(rec::kSdataLen, uint32_t(text.size()));
        if (text.empty()) {
            replaceChain(rec::kSdataChain, 0);
        } else {
            const uint32_t chain = file_.WriteChain(record.get(rec::kSdataChain), text);
            if (chain == 0) return 0;
            replaceChain(rec::kSdataChain, chain);
        }
    }

    // The slot holds the kind code; a node without one (or with a code that would read as a
    // free or reserved slot) is stored as 0, so that its record is never taken for free.
    long kind = TextToLong(getinfo(node, kThisNode, "pType"));
    if (kind == kSlotFree || kind == kSlotReserved) kind = 0;
    record.set(rec::kSlot, uint32_t(kind));
    // The node keeps its change bits until the record is written: a failed save leaves it
    // marked for the next one.
    record.set(rec::kState, state & ~kChangeBits);
    if (!file_.WriteRecord(id, record)) return 0;
    for (uint32_t chain : stale) {
        if (!file_.FreeChain(chain)) return 0;
    }
    ApplyRecord(node, record);
    return 1;
}

void CBaseDataManage::ApplyRecord(baseDataStruct* node, const PointRecord& record) {
    setinfo(node, kThisNode, "pointId", LongToText(long(record.get(rec::kPointId))));
    setstate(node, record.get(rec::kState));
    changestate(node, STATE_MODIFIED | kChangeBits, 0);
    // Each of these is a state change and marks the node modified again.
    if (record.get(rec::kSdataLen) != 0) changestate(node, 0, STATE_HAS_SDATA);
    if (record.get(rec::kStrdataLen) != 0) changestate(node, 0, STATE_HAS_STRDATA);
    if (!node->parent() && !node->prevBrother() && !node->firstSon()) {
        setinfo(node, kThisNode, "MaxId", "0");
    }
}

long CBaseDataManage::DataNewPoint(baseDataStruct* node, long parentPoint) {
    if (!node || !file_.isOpen()) return -1;
    if (parentPoint == -1 && node->parent()) {
        parentPoint = PointIdOf(node->parent());
        // A parent that was never written gets its point first, so the son is not taken for
        // the root.
        if (parentPoint < 0) parentPoint = DataSaveList(node->parent(), 1);
        if (parentPoint < 0) return -1;
    }
    const long id = file_.AllocatePoint(parentPoint);
    if (id < 0) return -1;
    setinfo(node, kThisNode, "pointId", LongToText(id));
    // The record is complete before anything links to it. A node whose point did not come
    // into being stays without one (and modified), so nothing takes it for stored.
    if (DataSavePoint(node) != 1 || !file_.LinkPoint(id)) {
        setinfo(node, kThisNode, "pointId", "-1");
        changestate(node, 0, STATE_MODIFIED | kChangeBits);
        return -1;
    }
    return id;
}

long CBaseDataManage::DataSaveList(baseDataStruct* node, int mode) {
    long last = -1;
    bool failed = false;
    auto save = [&](baseDataStruct* n) {
        const long id = PointIdOf(n);
        if (id < 0) {
            last = DataNewPoint(n, -1);
            failed = failed || last < 0;
        } else {
            failed = failed || DataSavePoint(n) != 1;
            last = id;
        }
    };
    if (!node) return last;
    if (mode == 1) {
        save(node);
        return failed ? -1 : last;
    }
    if (mode == 0) {
        for (baseDataStruct* n = node; n && !failed; n = n->nextBrother()) save(n);
        return failed ? -1 : last;
    }
    // Pre-order over the node, its later brothers and their descendants: parents first.
    const baseDataStruct* stop = node->parent();
    for (baseDataStruct* n = node; n && !failed;) {
        save(n);
        if (n->firstSon()) {
            n = n->firstSon();
            continue;
        }
        while (n && n != stop && !n->nextBrother()) n = n->parent();
        n = (n && n != stop) ? n->nextBrother() : nullptr;
    }
    return failed ? -1 : last;
}

bool CBaseDataManage::LoadOne(baseDataStruct* node, long pointId, int mask, PointLinks* links) {
    PointRecord record;
    if (!file_.GetPointBlock(pointId) || !file_.ReadRecord(pointId, &record)) return false;
    const int32_t slot = record.slot();
    if (slot == kSlotFree || slot == kSlotReserved) return false;
    if (links) {
        links->parent = record.get(rec::kParent);
        links->prevBrother = record.get(rec::kPrevBrother);
        links->nextBrother = record.get(rec::kNextBrother);
        links->firstSon = record.get(rec::kFirstSon);
        links->lastSon = record.get(rec::kLastSon);
    }
    if (mask & kLoadProperty) {
        const uint32_t chain = record.get(rec::kPropertyChain);
        if (chain != 0) {
            std::string text;
            if (!ReadChainData(file_, chain, record.get(rec::kPropertyLen), &text)) return false;
            setinfo(node, kThisNode, "PROPERTY", text);
        } else {
            const char* area =
                reinterpret_cast<const char*>(record.bytes.data()) + rec::kInlineProperty;
            setinfo(node, kThisNode, "PROPERTY",
                    std::string_view(area, strnlen(area, kInlinePropertyArea)));
        }
    }
    if (mask & kLoadSdata) {
        const uint32_t chain = record.get(rec::kSdataChain);
        if (chain != 0) {
            std::string text;
            if (ReadChainData(file_, chain, record.get(rec::kSdataLen), &text)) {
                setinfo(node, kThisNode, "SDATA", text);
            }
        }
    }
    if (mask & kLoadStrdata) {
        const uint32_t chain = record.get(rec::kStrdataChain);
        const uint32_t length = record.get(rec::kStrdataLen);
        std::string data;
        if (chain != 0) {
            if (ReadChainData(file_, chain, length, &data)) setdata(node, data);
        } else if (length > 0 && length <= kInlineStrdataLimit) {
            setdata(node, std::string_view(reinterpret_cast<const char*>(record.bytes.data()) +
                                               rec::kInlineStrdata,
                                           length));
        }
    }
    ApplyRecord(node, record);
    return true;
}

bool CBaseDataManage::DataLoadPoint(baseDataStruct* node, long pointId, int mask) {
    if (!node) return false;
    if (pointId == -1) pointId = PointIdOf(node);
    if (pointId < 0) return false;
    return LoadOne(node, pointId, mask, nullptr);
}

bool CBaseDataManage::DataLoadTree(baseDataStruct* node, long pointId, int mask, bool onlyOne) {
    if (!node) {
        deletesons(root_.get());
        node = root_.get();
        pointId = kRootPoint;
    } else if (pointId == -1) {
        pointId = PointIdOf(node);
        if (pointId < 0) return false;
    }
    if (!file_.isOpen()) return false;

    // Without recursion: a damaged file may link points into long chains or cycles. Each
    // point is loaded once; a node made for a point that cannot be loaded is removed again.
    struct Pending {
        baseDataStruct* node;
        uint32_t point;
        bool withBrothers;
    };
    std::unordered_set<uint32_t> loaded;
    std::vector<Pending> work{{node, uint32_t(pointId), !onlyOne}};
    bool first = true;
    while (!work.empty()) {
        const Pending item = work.back();
        work.pop_back();
        PointLinks links;
        if (!loaded.insert(item.point).second ||
            !LoadOne(item.node, long(item.point), mask, &links)) {
            if (first) return false;
            deletepoint(item.node);
            continue;
        }
        first = false;
        if (getinfo(item.node, kThisNode, "LockState") != kAbsent) {
            setinfo(item.node, kThisNode, "LockState", "lock");
        }
        if (item.withBrothers && links.nextBrother != 0) {
            work.push_back({addbrother(item.node, ""), links.nextBrother, true});
        }
        if (links.firstSon != 0 &&
            (!teststate(item.node, STATE_LAZY_SONS) || (mask & kLoadLazySons))) {
            work.push_back({addson(item.node, ""), links.firstSon, true});
        }
    }
    return true;
}

bool CBaseDataManage::DataDeletePoint(baseDataStruct* node, int mode) {
    if (!node) return false;
    if (mode == 1) {
        changestate(node, STATE_VALID, 0);
        const bool saved = DataSaveList(node, 1) >= 0;
        deletepoint(node);
        return saved;
    }
    const long id = PointIdOf(node);
    const bool ok = id >= 0 && file_.DeletePointTree(id, false);
    if (node == root_.get()) {
        deletesons(node);
    } else {
        deletepoint(node);
    }
    return ok;
}

baseDataStruct* CBaseDataManage::DataGetSysPoint(baseDataStruct* start, int kind, int subKind) {
    if (!start) return nullptr;
    static const char* const kBoxes[] = {"preview", "receive", "prepare",
                                         "send",    "trash",   "drafts"};
    static const char* const kTemplateFolders[] = {"NewLetter", "Write back", "Forward"};
    auto sys = [&](int k) { return DataGetSysPoint(start, k, subKind); };
    switch (kind) {
        case 1:
            return Ancestor(start, "Root");
        case 2:
            return Ancestor(start, "User");
        case 4:
            return Ancestor(start, "Account");
        case 8:
            return Ancestor(start, "BookTeam");
        case 3:
            return SonWith(sys(2), "type", "UATree");
        case 16:
            return SonWith(sys(2), "type", "UBTree");
        case 18:
            return SonWith(sys(2), "type", "UTTree");
        case 20:
            return SonWith(sys(2), "type", "UFTree");
        case 17:
        case 19:
        case 21: {
            baseDataStruct* anchor = sys(kind - 1);
            return anchor ? anchor->firstSon() : nullptr;
        }
        case 5:
            return SonWith(sys(4), "type", "ABTree");
        case 9:
            return SonWith(sys(4), "type", "PBoxTree");
        case 11:
            return SonWith(sys(4), "type", "PTTree");
        case 14:
            return SonWith(sys(4), "type", "PFTree");
        case 6:
        case 12: {
            baseDataStruct* anchor = sys(kind - 1);
            return anchor ? anchor->firstSon() : nullptr;
        }
        case 7:
            return SonWith(sys(6), "style", "sys");
        case 10:
            if (subKind < 1 || subKind > 6) return nullptr;
            return SonWith(sys(9), "type", "Box", "subType", kBoxes[subKind - 1]);
        case 13:
            if (subKind < 1 || subKind > 3) return nullptr;
            return SonWith(sys(12), "type", "TFolder", "subType", kTemplateFolders[subKind - 1]);
        case 23: {
            baseDataStruct* user = sys(2);
            if (!user) return nullptr;
            if (baseDataStruct* info = FindBelow(user, "PublicInfo")) return info;
            baseDataStruct* info =
                addson(user, "%s", "type =PublicInfo ,caption =Public infomation");
            DataSaveList(info, 1);
            return info;
        }
        case 24: {
            baseDataStruct* info = sys(23);
            if (!info) return nullptr;
            if (baseDataStruct* data = FindBelow(info, "PublicData")) return data;
            baseDataStruct* data = addson(info, "%s", "type =PublicData ,caption =Public Data");
            DataNewPoint(data, -1);
            return data;
        }
        default:
            return nullptr;
    }
}

}  // namespace korvo
