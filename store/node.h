// The node: one object of the tree (root, user, account, box, letter, person, template, ...).
//
// A node carries three data blocks:
//   "PROPERTY"  the property text, items `key =value` joined by " ,"; values are escaped
//               (a backslash before each of "=", ":", ",", "-"), keys are not;
//   "SDATA"     a longer text kept verbatim;
//   "STRDATA"   an opaque byte buffer with a length (raw letters, cached columns).
// plus a 32-bit state word and its tree links. Absent values read as the text "-1".
//
// Every operation takes the node as a pointer and accepts a null one: reads give "-1", none
// or 0, writes give -1 and change nothing. A node owns its first son and its next brother,
// so destroying a node destroys its subtree and every brother after it; the tree operations
// (node_tree.h) unlink a node before they destroy it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace korvo {

// State word bits kept by the store. The other bits belong to the node kinds.
inline constexpr uint32_t STATE_VALID = 0x00000001;             // live; shown in trees
inline constexpr uint32_t STATE_PROPERTY_CHANGED = 0x00000002;  // property text not yet saved
inline constexpr uint32_t STATE_STRDATA_CHANGED = 0x00000004;   // STRDATA not yet saved
inline constexpr uint32_t STATE_SDATA_CHANGED = 0x00000008;     // SDATA not yet saved
inline constexpr uint32_t STATE_LOCK_SET = 0x00000020;          // a lock password is set
inline constexpr uint32_t STATE_LOCKED = 0x00000040;            // currently locked
inline constexpr uint32_t STATE_HAS_SDATA = 0x00000100;         // an SDATA block exists
inline constexpr uint32_t STATE_HAS_STRDATA = 0x00000200;       // a STRDATA block exists
inline constexpr uint32_t STATE_MODIFIED = 0x00000400;          // must be written back

// State word of every new node: modified, property changed, valid.
inline constexpr uint32_t kNewNodeState = 0x00000403;

// Node ids are 24-bit numbers.
inline constexpr uint32_t kNodeIdMask = 0x00FFFFFF;

// Node-id argument meaning "this node, whatever its id".
inline constexpr long kThisNode = -1;

// The text every read gives for an absent value.
inline constexpr std::string_view kAbsent = "-1";

class baseDataStruct {
  public:
    // A standalone node: empty texts, node id 0, no links. Roots and detached copies start so.
    baseDataStruct();

    // Tree construction: links the node after `prevBrother` under `parent` (the parent's last
    // son becomes this node; the caller links `prevBrother`'s next brother) and draws its node
    // id from `MaxId` of the tree's root. Used by addson and addbrother.
    baseDataStruct(baseDataStruct* prevBrother, baseDataStruct* parent, std::string text);

    ~baseDataStruct();

    baseDataStruct(const baseDataStruct&) = delete;
    baseDataStruct& operator=(const baseDataStruct&) = delete;

    uint32_t nodeId() const { return nodeId_; }
    baseDataStruct* parent() const { return parent_; }
    baseDataStruct* firstSon() const { return firstSon_; }
    baseDataStruct* lastSon() const { return lastSon_; }
    baseDataStruct* prevBrother() const { return prevBrother_; }
    baseDataStruct* nextBrother() const { return nextBrother_; }

    // The property text as stored (escaped values).
    const std::string& propertyText() const { return property_; }

  private:
    friend std::string getinfo(const baseDataStruct*, long, std::string_view);
    friend int setinfo(baseDataStruct*, long, std::string_view, std::string_view);
    friend std::optional<std::string_view> getdata(const baseDataStruct*, std::string_view);
    friend int32_t getdatasize(const baseDataStruct*, std::string_view);
    friend int setdata(baseDataStruct*, std::unique_ptr<char[]>, int32_t);
    friend int freedata(baseDataStruct*, uint32_t);
    friend int copyfrom(baseDataStruct*, const baseDataStruct*, uint32_t);
    friend uint32_t getstate(const baseDataStruct*);
    friend uint32_t setstate(baseDataStruct*, uint32_t);
    friend uint32_t changestate(baseDataStruct*, uint32_t, uint32_t);
    friend class TreeLinks;

    // Fields in the order of the stored node record.
    std::unique_ptr<char[]> strData_;  // "STRDATA", or none
    int32_t strDataLen_ = 0;
    uint32_t state_ = kNewNodeState;
    std::string sData_;     // "SDATA"
    std::string property_;  // "PROPERTY"
    baseDataStruct* lastSon_ = nullptr;
    baseDataStruct* prevBrother_ = nullptr;
    baseDataStruct* parent_ = nullptr;
    uint32_t nodeId_ = 0;
    baseDataStruct* nextBrother_ = nullptr;  // owned
    baseDataStruct* firstSon_ = nullptr;     // owned
};

// Reads a value. `id` must be kThisNode or the node's own id, otherwise "-1" (the node is not
// searched further). Special keys: "LockState" ("-1", "lock" or "unLock"), "SDATA" (the SDATA
// text) and "sumSon" (number of children).
std::string getinfo(const baseDataStruct* node, long id, std::string_view key);

// Writes a value: replaces the first item found for `key` in place or appends a new one.
// An `id` that is not this node's is looked for along the following brothers. Special keys:
// "LockState", "SDATA" (verbatim) and "PROPERTY" (the whole text, verbatim).
// Returns 0, or -1 when nothing was written.
int setinfo(baseDataStruct* node, long id, std::string_view key, std::string_view value);

// "PROPERTY", "SDATA" (when present) or "STRDATA" (when present); none otherwise.
std::optional<std::string_view> getdata(const baseDataStruct* node, std::string_view block);
int32_t getdatasize(const baseDataStruct* node, std::string_view block);

// Makes `buffer` the node's STRDATA block (none clears it). Returns 0, or -1 for no node.
int setdata(baseDataStruct* node, std::unique_ptr<char[]> buffer, int32_t length);
// Copies `bytes` into a new STRDATA block.
int setdata(baseDataStruct* node, std::string_view bytes);

// Releases blocks after they were written to the store: mask 8 empties SDATA, mask 4 frees
// STRDATA, each clearing its change bit; presence bits stay.
int freedata(baseDataStruct* node, uint32_t mask);

// Copies from `other`, in this order: 8 the state word, 1 the property text, 2 SDATA,
// 4 STRDATA.
int copyfrom(baseDataStruct* node, const baseDataStruct* other, uint32_t mask);

uint32_t getstate(const baseDataStruct* node);
// Replaces the state word and sets STATE_MODIFIED; returns the new word.
uint32_t setstate(baseDataStruct* node, uint32_t state);
// Clears `clearMask`, sets `setMask`, then sets STATE_MODIFIED unless `clearMask` holds it.
uint32_t changestate(baseDataStruct* node, uint32_t clearMask, uint32_t setMask);
bool teststate(const baseDataStruct* node, uint32_t mask);

// Escaping of values in the property text.
std::string encodeinfo(std::string_view value);
std::string decodeinfo(std::string_view stored);

// Reads `key` from a detached property text, comparing whole names. "-1" when absent.
std::string getinfofromtext(std::string_view text, std::string_view key);

// Numbers in property texts: "%ld" out; in, leading blanks are skipped, a sign is allowed and
// reading stops at the first non-digit, so non-numeric text reads as 0.
std::string LongToText(long value);
long TextToLong(std::string_view text);

// Called when getinfo is asked for another node's id. The program leaves it unset; the person
// editor library installs one that tells the user the caller is out of date.
using ForeignIdReadHook = void (*)();
ForeignIdReadHook SetForeignIdReadHook(ForeignIdReadHook hook);

// What the person editor library shows through that hook.
inline constexpr std::string_view kOldVersionGetinfoMessage =
    "old version baseDataStruct::getinfo(...)";

// Installs the hook above that shows kOldVersionGetinfoMessage through the message hook.
void UseOldVersionGetinfoWarning();

}  // namespace korvo
