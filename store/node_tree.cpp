#include "store/node_tree.h"

#include <cstdarg>

#include "platform/string_format.h"
#include "store/tree_links.h"

namespace korvo {
namespace {

using L = TreeLinks;

// Next node in pre-order below `top`: first son, else next brother, else the next brother of
// the nearest ancestor that has one, climbing no higher than `top`.
baseDataStruct* NextInPreorder(baseDataStruct* cur, const baseDataStruct* top) {
    if (cur->firstSon()) return cur->firstSon();
    while (cur && cur != top) {
        if (cur->nextBrother()) return cur->nextBrother();
        cur = cur->parent();
    }
    return nullptr;
}

}  // namespace

std::unique_ptr<baseDataStruct> CreateRootNode() {
    auto root = std::make_unique<baseDataStruct>();
    setinfo(root.get(), kThisNode, "PROPERTY", "MaxId =0");
    setinfo(root.get(), kThisNode, "caption", "Korvo");
    setinfo(root.get(), kThisNode, "type", "Root");
    setinfo(root.get(), kThisNode, "pType", "1");
    changestate(root.get(), 0, 0x000F0001);
    return root;
}

baseDataStruct* AddBrotherText(baseDataStruct* node, std::string text) {
    if (!node) return nullptr;
    baseDataStruct* parent = node->parent();
    baseDataStruct* last = parent ? parent->lastSon() : getlink(node, "listEnd");
    auto* added = new baseDataStruct(last, parent, std::move(text));
    if (last) L::nextBrother(last) = added;
    return added;
}

baseDataStruct* AddSonText(baseDataStruct* node, std::string text) {
    if (!node) return nullptr;
    if (!node->firstSon()) {
        L::firstSon(node) = new baseDataStruct(nullptr, node, std::move(text));
        return node->firstSon();
    }
    return AddBrotherText(node->firstSon(), std::move(text));
}

baseDataStruct* addson(baseDataStruct* node, const char* format, ...) {
    if (!node) return nullptr;
    va_list args;
    va_start(args, format);
    std::string text = StrVPrintf(format, args);
    va_end(args);
    return AddSonText(node, std::move(text));
}

baseDataStruct* addbrother(baseDataStruct* node, const char* format, ...) {
    if (!node) return nullptr;
    va_list args;
    va_start(args, format);
    std::string text = StrVPrintf(format, args);
    va_end(args);
    return AddBrotherText(node, std::move(text));
}

baseDataStruct* getlink(baseDataStruct* node, std::string_view link) {
    if (!node) return nullptr;
    if (link == "lastSon") return node->lastSon();
    if (link == "parent") return node->parent();
    if (link == "listEnd") {
        if (node->parent()) return node->parent()->lastSon();
        while (node->nextBrother()) node = node->nextBrother();
        return node;
    }
    if (link == "Root") {
        while (node->parent()) node = node->parent();
        while (node->prevBrother()) node = node->prevBrother();
        return node;
    }
    return nullptr;
}

baseDataStruct* findid(baseDataStruct* node, uint32_t id) {
    if (!node) return nullptr;
    const baseDataStruct* stop = node->parent();
    for (baseDataStruct* cur = node; cur; cur = NextInPreorder(cur, stop)) {
        if (cur->nodeId() == id) return cur;
    }
    return nullptr;
}

baseDataStruct* findinfo(baseDataStruct* start, std::string_view key, std::string_view value,
                         bool fromRoot, const baseDataStruct* after) {
    baseDataStruct* top = fromRoot ? getlink(start, "Root") : start;
    if (!top) return nullptr;
    bool skipping = after != nullptr;
    for (baseDataStruct* cur = top->firstSon(); cur; cur = NextInPreorder(cur, top)) {
        if (skipping) {
            skipping = cur != after;
            continue;
        }
        if (getinfo(cur, kThisNode, key) == value) return cur;
    }
    return nullptr;
}

int deletepoint(baseDataStruct* node) {
    if (!node) return -1;
    baseDataStruct* prev = node->prevBrother();
    baseDataStruct* next = node->nextBrother();
    baseDataStruct* parent = node->parent();
    if (next) L::prevBrother(next) = prev;
    if (prev) L::nextBrother(prev) = next;
    if (parent) {
        if (!prev) L::firstSon(parent) = next;
        if (parent->lastSon() == node) L::lastSon(parent) = prev;
    }
    L::parent(node) = nullptr;
    L::prevBrother(node) = nullptr;
    L::nextBrother(node) = nullptr;
    delete node;
    return 0;
}

int deletesons(baseDataStruct* node) {
    if (!node) return -1;
    baseDataStruct* first = node->firstSon();
    L::firstSon(node) = nullptr;
    L::lastSon(node) = nullptr;
    delete first;  // takes its later brothers with it
    return 0;
}

}  // namespace korvo
