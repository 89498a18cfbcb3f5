#include "store/node.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>

#include "platform/message_hook.h"
#include "store/tree_links.h"

namespace korvo {
namespace {

constexpr std::string_view kItemSep = " ,";
constexpr std::string_view kValueSep = " =";

std::atomic<ForeignIdReadHook> g_foreignIdHook{nullptr};

bool IdMatches(const baseDataStruct* node, long id) {
    return id == kThisNode || static_cast<uint32_t>(id) == node->nodeId();
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
}

// Position of the value of `key` in a property text: right after the first "key =".
size_t FindValue(const std::string& text, std::string_view key) {
    std::string needle(key);
    needle += kValueSep;
    const size_t at = text.find(needle);
    return at == std::string::npos ? std::string::npos : at + needle.size();
}

// The topmost node of `node`'s tree: the top-level ancestor, then the first of its list.
baseDataStruct* RootOf(baseDataStruct* node) {
    while (node->parent()) node = node->parent();
    while (node->prevBrother()) node = node->prevBrother();
    return node;
}

// Destroys a chain of owned nodes (a node, its sons and its later brothers) without
// recursion: a box of a million letters is one brother list and must not exhaust the stack.
// Each step either rotates a first son up in front of its parent or deletes a son-less node.
void DestroyOwned(baseDataStruct*& firstSon, baseDataStruct*& nextBrother) {
    for (baseDataStruct** start : {&firstSon, &nextBrother}) {
        baseDataStruct* cur = *start;
        *start = nullptr;
        while (cur) {
            baseDataStruct*& son = TreeLinks::firstSon(cur);
            if (son) {
                baseDataStruct* up = son;
                son = TreeLinks::nextBrother(up);
                TreeLinks::nextBrother(up) = cur;
                cur = up;
            } else {
                baseDataStruct* next = TreeLinks::nextBrother(cur);
                TreeLinks::nextBrother(cur) = nullptr;
                delete cur;
                cur = next;
            }
        }
    }
}

}  // namespace

baseDataStruct::baseDataStruct() = default;

baseDataStruct::baseDataStruct(baseDataStruct* prevBrother, baseDataStruct* parent,
                               std::string text)
    : property_(std::move(text)), prevBrother_(prevBrother), parent_(parent) {
    if (parent) parent->lastSon_ = this;
    baseDataStruct* root = RootOf(this);
    const long maxId = TextToLong(getinfo(root, kThisNode, "MaxId")) + 1;
    setinfo(root, kThisNode, "MaxId", LongToText(maxId));
    nodeId_ = static_cast<uint32_t>(maxId) & kNodeIdMask;
}

baseDataStruct::~baseDataStruct() {
    DestroyOwned(firstSon_, nextBrother_);
}

std::string getinfo(const baseDataStruct* node, long id, std::string_view key) {
    if (!node) return std::string(kAbsent);
    if (!IdMatches(node, id)) {
        if (ForeignIdReadHook hook = g_foreignIdHook.load()) hook();
        return std::string(kAbsent);
    }
    if (key == "LockState") {
        if (!(node->state_ & STATE_LOCK_SET)) return std::string(kAbsent);
        return (node->state_ & STATE_LOCKED) ? "lock" : "unLock";
    }
    if (key == "SDATA") return node->sData_;
    if (key == "sumSon") {
        long count = 0;
        for (const baseDataStruct* s = node->firstSon_; s; s = s->nextBrother_) ++count;
        return LongToText(count);
    }
    const size_t start = FindValue(node->property_, key);
    if (start == std::string::npos) return std::string(kAbsent);
    const size_t end = node->property_.find(kItemSep, start);
    return decodeinfo(
        std::string_view(node->property_)
            .substr(start, end == std::string::npos ? std::string::npos : end - start));
}

int setinfo(baseDataStruct* node, long id, std::string_view key, std::string_view value) {
    while (node && !IdMatches(node, id)) node = node->nextBrother_;
    if (!node) return -1;
    node->state_ |= STATE_MODIFIED;

    if (key == "LockState") {
        node->state_ &= ~(STATE_LOCK_SET | STATE_LOCKED);
        if (value == "lock") node->state_ |= STATE_LOCK_SET | STATE_LOCKED;
        if (value == "unLock") node->state_ |= STATE_LOCK_SET;
        return 0;
    }
    if (key == "SDATA") {
        node->sData_.assign(value);
        node->state_ |= STATE_SDATA_CHANGED;
        if (value.empty()) {
            node->state_ &= ~STATE_HAS_SDATA;
        } else {
            node->state_ |= STATE_HAS_SDATA;
        }
        return 0;
    }
    if (key == "PROPERTY") {
        node->property_.assign(value);
        node->state_ |= STATE_PROPERTY_CHANGED;
        return 0;
    }

    const std::string encoded = encodeinfo(value);
    std::string& text = node->property_;
    const size_t start = FindValue(text, key);
    if (start == std::string::npos) {
        if (!text.ends_with(kItemSep)) text += kItemSep;
        text += key;
        text += kValueSep;
        text += encoded;
    } else {
        const size_t end = text.find(kItemSep, start);
        text.replace(start, end == std::string::npos ? std::string::npos : end - start, encoded);
    }
    node->state_ |= STATE_PROPERTY_CHANGED;
    return 0;
}

std::optional<std::string_view> getdata(const baseDataStruct* node, std::string_view block) {
    if (!node) return std::nullopt;
    if (block == "PROPERTY") return std::string_view(node->property_);
    if (block == "SDATA") {
        if (!(node->state_ & STATE_HAS_SDATA)) return std::nullopt;
        return std::string_view(node->sData_);
    }
    if (block == "STRDATA") {
        if (!(node->state_ & STATE_HAS_STRDATA) || !node->strData_) return std::nullopt;
        return std::string_view(node->strData_.get(), static_cast<size_t>(node->strDataLen_));
    }
    return std::nullopt;
}

int32_t getdatasize(const baseDataStruct* node, std::string_view block) {
    const std::optional<std::string_view> data = getdata(node, block);
    return data ? static_cast<int32_t>(data->size()) : 0;
}

int setdata(baseDataStruct* node, std::unique_ptr<char[]> buffer, int32_t length) {
    if (!node) return -1;
    // A length without bytes behind it would let readers run off the end.
    if (!buffer || length < 0) length = 0;
    if (buffer) {
        node->state_ |= STATE_HAS_STRDATA;
    } else {
        node->state_ &= ~STATE_HAS_STRDATA;
    }
    node->strData_ = std::move(buffer);
    node->strDataLen_ = length;
    node->state_ |= STATE_STRDATA_CHANGED;
    return 0;
}

int setdata(baseDataStruct* node, std::string_view bytes) {
    if (!node) return -1;
    auto buffer = std::make_unique_for_overwrite<char[]>(bytes.size() ? bytes.size() : 1);
    if (!bytes.empty()) std::memcpy(buffer.get(), bytes.data(), bytes.size());
    return setdata(node, std::move(buffer), static_cast<int32_t>(bytes.size()));
}

int freedata(baseDataStruct* node, uint32_t mask) {
    if (!node) return -1;
    if (mask & 8) {
        node->state_ &= ~STATE_SDATA_CHANGED;
        std::string().swap(node->sData_);
    }
    if (mask & 4) {
        node->state_ &= ~STATE_STRDATA_CHANGED;
        node->strData_.reset();
        node->strDataLen_ = 0;
    }
    return 0;
}

int copyfrom(baseDataStruct* node, const baseDataStruct* other, uint32_t mask) {
    if (!node || !other) return -1;
    if (node == other) return 0;
    if (mask & 8) node->state_ = other->state_ | STATE_MODIFIED;
    if (mask & 1) {
        node->property_ = other->property_;
        node->state_ |= STATE_PROPERTY_CHANGED;
    }
    if (mask & 2) {
        node->sData_ = other->sData_;
        node->state_ |= STATE_SDATA_CHANGED;
    }
    if (mask & 4) {
        if (other->state_ & STATE_HAS_STRDATA) {
            setdata(node, getdata(other, "STRDATA").value_or(std::string_view()));
        } else {
            setdata(node, nullptr, 0);
        }
    }
    return 0;
}

uint32_t getstate(const baseDataStruct* node) {
    return node ? node->state_ : 0;
}

uint32_t setstate(baseDataStruct* node, uint32_t state) {
    if (!node) return 0;
    node->state_ = state | STATE_MODIFIED;
    return node->state_;
}

uint32_t changestate(baseDataStruct* node, uint32_t clearMask, uint32_t setMask) {
    if (!node) return 0;
    node->state_ = (node->state_ & ~clearMask) | setMask;
    if (!(clearMask & STATE_MODIFIED)) node->state_ |= STATE_MODIFIED;
    return node->state_;
}

bool teststate(const baseDataStruct* node, uint32_t mask) {
    return (getstate(node) & mask) != 0;
}

std::string encodeinfo(std::string_view value) {
    std::string out(value);
    ReplaceAll(out, "=", "\\=");
    ReplaceAll(out, ":", "\\:");
    ReplaceAll(out, ",", "\\,");
    ReplaceAll(out, "-", "\\-");
    return out;
}

std::string decodeinfo(std::string_view stored) {
    std::string out(stored);
    ReplaceAll(out, "\\=", "=");
    ReplaceAll(out, "\\:", ":");
    ReplaceAll(out, "\\,", ",");
    ReplaceAll(out, "\\-", "-");
    return out;
}

std::string getinfofromtext(std::string_view text, std::string_view key) {
    std::string_view rest = text;
    while (!rest.empty()) {
        std::string_view item = rest;
        const size_t sep = rest.find(kItemSep);
        if (sep == std::string_view::npos) {
            rest = {};
        } else {
            item = rest.substr(0, sep);
            rest = rest.substr(sep + kItemSep.size());
        }
        const size_t eq = item.find(kValueSep);
        const std::string_view name = eq == std::string_view::npos ? item : item.substr(0, eq);
        if (name == key) {
            return eq == std::string_view::npos ? std::string()
                                                : decodeinfo(item.substr(eq + kValueSep.size()));
        }
    }
    return std::string(kAbsent);
}

std::string LongToText(long value) {
    return std::to_string(value);
}

long TextToLong(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Out-of-range numbers saturate rather than overflow.
    unsigned long magnitude = 0;
    const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (magnitude > (limit - digit) / 10) {
            magnitude = limit;
            break;
        }
        magnitude = magnitude * 10 + digit;
    }
    if (negative) return magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude);
    return static_cast<long>(magnitude);
}

ForeignIdReadHook SetForeignIdReadHook(ForeignIdReadHook hook) {
    return g_foreignIdHook.exchange(hook);
}

void UseOldVersionGetinfoWarning() {
    SetForeignIdReadHook([] { ShowMessage(std::string(kOldVersionGetinfoMessage)); });
}

}  // namespace korvo
