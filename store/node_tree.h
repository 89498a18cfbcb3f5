// The in-memory tree: creating, appending, finding and destroying nodes.
//
// Sons form a doubly linked brother list from first to last son, in the order they were
// appended. Every new node draws its node id from `MaxId` in the root's property text; ids
// are 24 bits and never reused within a run. None of this touches a store file.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "store/node.h"

namespace korvo {

// A fresh root as the data manager makes it: "MaxId =0", then `caption` "Korvo", `type`
// "Root", `pType` "1", and the state bits 0x000F0001. Its node id is 0.
std::unique_ptr<baseDataStruct> CreateRootNode();

// Appends a node with the formatted property text as the last son of `node`.
// Returns it, or null for a null node.
baseDataStruct* addson(baseDataStruct* node, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Appends a node with the formatted property text at the end of `node`'s brother list.
baseDataStruct* addbrother(baseDataStruct* node, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// The same with a ready text (taken as it is, percent signs included).
baseDataStruct* AddSonText(baseDataStruct* node, std::string text);
baseDataStruct* AddBrotherText(baseDataStruct* node, std::string text);

// "lastSon", "parent", "listEnd" (last node of the brother list) or "Root" (topmost node of
// the tree); null for any other word or a null node.
baseDataStruct* getlink(baseDataStruct* node, std::string_view link);

// Searches `node`, its later brothers and all their descendants in pre-order.
baseDataStruct* findid(baseDataStruct* node, uint32_t id);

// Searches the descendants of `start` (of the tree's root with `fromRoot`) in pre-order for
// the first node whose value of `key` equals `value`; the search root itself is never a match.
// With `after`, nodes up to and including `after` are skipped.
baseDataStruct* findinfo(baseDataStruct* start, std::string_view key, std::string_view value,
                         bool fromRoot = false, const baseDataStruct* after = nullptr);

// Unlinks `node` and destroys it with its subtree. Returns 0, or -1 for a null node.
int deletepoint(baseDataStruct* node);

// Destroys all sons of `node` with their subtrees. Returns 0, or -1 for a null node.
int deletesons(baseDataStruct* node);

}  // namespace korvo
