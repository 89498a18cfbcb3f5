#include "store/node_tree.h"

#include <gtest/gtest.h>

#include <vector>

namespace korvo {
namespace {

std::string Name(const baseDataStruct* node) {
    return getinfo(node, kThisNode, "n");
}

// The names of a node's sons, first to last, checking the back links on the way.
std::string Sons(const baseDataStruct* parent) {
    std::string out;
    const baseDataStruct* prev = nullptr;
    for (const baseDataStruct* s = parent->firstSon(); s; s = s->nextBrother()) {
        EXPECT_EQ(s->prevBrother(), prev);
        EXPECT_EQ(s->parent(), parent);
        out += Name(s);
        prev = s;
    }
    EXPECT_EQ(parent->lastSon(), prev);
    return out;
}

TEST(Root, IsBuiltInItsFixedOrder) {
    auto root = CreateRootNode();
    EXPECT_EQ(root->propertyText(), "MaxId =0 ,caption =Korvo ,type =Root ,pType =1");
    EXPECT_EQ(root->nodeId(), 0u);
    EXPECT_EQ(getstate(root.get()) & 0x000F0001u, 0x000F0001u);
}

TEST(NodeIds, DrawnFromMaxIdInCreationOrderAcrossParents) {
    auto root = CreateRootNode();
    baseDataStruct* a = addson(root.get(), "n =a");
    EXPECT_EQ(a->nodeId(), 1u);
    EXPECT_EQ(getinfo(root.get(), kThisNode, "MaxId"), "1");
    baseDataStruct* b = addson(root.get(), "n =b");
    baseDataStruct* a1 = addson(a, "n =a1");
    baseDataStruct* c = addbrother(a1, "n =c");  // brother of a1, under a
    EXPECT_EQ(b->nodeId(), 2u);
    EXPECT_EQ(a1->nodeId(), 3u);
    EXPECT_EQ(c->nodeId(), 4u);
    EXPECT_EQ(getstate(c), kNewNodeState);
    EXPECT_EQ(Sons(a), "a1c");
}

TEST(NodeIds, WrapAt24BitsWhileMaxIdKeepsCounting) {
    auto root = CreateRootNode();
    setinfo(root.get(), kThisNode, "MaxId", "16777214");
    EXPECT_EQ(addson(root.get(), "")->nodeId(), 16777215u);
    EXPECT_EQ(addson(root.get(), "")->nodeId(), 0u);
    EXPECT_EQ(addson(root.get(), "")->nodeId(), 1u);
    EXPECT_EQ(getinfo(root.get(), kThisNode, "MaxId"), "16777217");
}

TEST(NodeIds, ALoneConstructedNodeIsItsOwnRoot) {
    baseDataStruct alone(nullptr, nullptr, "n =x");
    EXPECT_EQ(alone.nodeId(), 0u);
    EXPECT_EQ(alone.propertyText(), "n =x ,MaxId =0");
    // A root without MaxId counts from -1 as well.
    auto root = std::make_unique<baseDataStruct>();
    EXPECT_EQ(addson(root.get(), "")->nodeId(), 0u);
    EXPECT_EQ(getinfo(root.get(), kThisNode, "MaxId"), "0");
}

TEST(Append, SonsAndBrothersGoToTheEndAndTextIsFormattedOnce) {
    auto root = CreateRootNode();
    baseDataStruct* box = addson(root.get(), "n =box");
    baseDataStruct* first = addson(box, "n =%s%d", "x", 1);
    EXPECT_EQ(Name(first), "x1");
    baseDataStruct* second = addson(box, "n =%s", "50%d");
    EXPECT_EQ(second, box->lastSon());
    EXPECT_EQ(Name(second), "50%d");
    baseDataStruct* third = addbrother(first, "n =%s", "%s%n");
    EXPECT_EQ(Name(third), "%s%n");
    EXPECT_EQ(AddSonText(box, "n =100%")->propertyText(), "n =100%");
    EXPECT_EQ(Sons(box), "x150%d%s%n100%");
    EXPECT_EQ(addson(nullptr, "x"), nullptr);
    EXPECT_EQ(addbrother(nullptr, "x"), nullptr);
}

TEST(Append, TopLevelBrothersShareTheRoot) {
    auto root = CreateRootNode();
    baseDataStruct* second = addbrother(root.get(), "n =second");
    baseDataStruct* third = addbrother(second, "n =third");
    EXPECT_EQ(root->nextBrother(), second);
    EXPECT_EQ(third->prevBrother(), second);
    EXPECT_EQ(getlink(third, "Root"), root.get());
    EXPECT_EQ(getlink(root.get(), "listEnd"), third);
    EXPECT_EQ(getinfo(root.get(), kThisNode, "MaxId"), "2");
    baseDataStruct* deep = addson(third, "n =deep");
    EXPECT_EQ(getlink(deep, "Root"), root.get());
}

TEST(Links, WordsAndMissingNodes) {
    auto root = CreateRootNode();
    baseDataStruct* a = addson(root.get(), "n =a");
    baseDataStruct* b = addson(root.get(), "n =b");
    EXPECT_EQ(getlink(a, "listEnd"), b);
    EXPECT_EQ(getlink(b, "listEnd"), b);
    EXPECT_EQ(getlink(a, "parent"), root.get());
    EXPECT_EQ(getlink(root.get(), "lastSon"), b);
    EXPECT_EQ(getlink(b, "Root"), root.get());
    EXPECT_EQ(getlink(a, "firstSon"), nullptr);
    EXPECT_EQ(getlink(a, "root"), nullptr);
    EXPECT_EQ(getlink(nullptr, "Root"), nullptr);
}

// root
//   a (t=1)
//     a1 (t=1)
//     a2
//   b (t=1)
//     b1 (t=1)
struct SampleTree {
    std::unique_ptr<baseDataStruct> root = CreateRootNode();
    baseDataStruct* a = addson(root.get(), "n =a ,t =1");
    baseDataStruct* a1 = addson(a, "n =a1 ,t =1");
    baseDataStruct* a2 = addson(a, "n =a2");
    baseDataStruct* b = addson(root.get(), "n =b ,t =1");
    baseDataStruct* b1 = addson(b, "n =b1 ,t =1");
};

TEST(Find, InfoSearchesDescendantsInPreorderAndSkipsPastAfter) {
    SampleTree t;
    EXPECT_EQ(findinfo(t.root.get(), "t", "1"), t.a);
    EXPECT_EQ(findinfo(t.root.get(), "t", "1", false, t.a), t.a1);
    EXPECT_EQ(findinfo(t.root.get(), "t", "1", false, t.a1), t.b);
    EXPECT_EQ(findinfo(t.root.get(), "t", "1", false, t.b1), nullptr);
    // The start node itself never matches; its brothers are outside the search.
    EXPECT_EQ(findinfo(t.a, "n", "a"), nullptr);
    EXPECT_EQ(findinfo(t.a, "t", "1"), t.a1);
    EXPECT_EQ(findinfo(t.a, "n", "b1"), nullptr);
    // From the root of the start node's tree.
    EXPECT_EQ(findinfo(t.a2, "n", "b1", true), t.b1);
    // Exact, case-sensitive comparison; absent keys read "-1".
    EXPECT_EQ(findinfo(t.root.get(), "n", "A"), nullptr);
    EXPECT_EQ(findinfo(t.root.get(), "t", "-1"), t.a2);
    EXPECT_EQ(findinfo(nullptr, "n", "a"), nullptr);
}

TEST(Find, IdSearchesTheNodeLaterBrothersAndDescendants) {
    SampleTree t;
    EXPECT_EQ(findid(t.root.get(), t.b1->nodeId()), t.b1);
    EXPECT_EQ(findid(t.a, t.b1->nodeId()), t.b1);
    EXPECT_EQ(findid(t.a, t.a->nodeId()), t.a);
    EXPECT_EQ(findid(t.a2, t.a1->nodeId()), nullptr);   // earlier brother
    EXPECT_EQ(findid(t.a1, t.b->nodeId()), nullptr);    // parent's brother
    EXPECT_EQ(findid(t.b, t.root->nodeId()), nullptr);  // ancestor
    EXPECT_EQ(findid(t.root.get(), 12345), nullptr);
    EXPECT_EQ(findid(nullptr, 0), nullptr);
}

TEST(Delete, FirstLastAndOnlySonsKeepTheListConsistent) {
    SampleTree t;
    baseDataStruct* a3 = addson(t.a, "n =a3");
    EXPECT_EQ(deletepoint(t.a1), 0);  // first son
    EXPECT_EQ(Sons(t.a), "a2a3");
    EXPECT_EQ(deletepoint(a3), 0);  // last son
    EXPECT_EQ(Sons(t.a), "a2");
    baseDataStruct* a4 = addson(t.a, "n =a4");
    EXPECT_EQ(Sons(t.a), "a2a4");
    EXPECT_EQ(a4->prevBrother(), t.a2);
    EXPECT_EQ(deletepoint(t.a2), 0);
    EXPECT_EQ(deletepoint(a4), 0);  // only son
    EXPECT_EQ(t.a->firstSon(), nullptr);
    EXPECT_EQ(t.a->lastSon(), nullptr);
    EXPECT_EQ(getinfo(t.a, kThisNode, "sumSon"), "0");
    // A middle node with a subtree.
    addson(t.root.get(), "n =c");
    EXPECT_EQ(deletepoint(t.b), 0);
    EXPECT_EQ(Sons(t.root.get()), "ac");
    EXPECT_EQ(deletepoint(nullptr), -1);
}

TEST(Delete, SonsGoWithTheirSubtrees) {
    SampleTree t;
    EXPECT_EQ(deletesons(t.root.get()), 0);
    EXPECT_EQ(Sons(t.root.get()), "");
    baseDataStruct* again = addson(t.root.get(), "n =again");
    EXPECT_EQ(again->nodeId(), 6u);  // ids are not reused
    EXPECT_EQ(Sons(t.root.get()), "again");
    EXPECT_EQ(deletesons(nullptr), -1);
}

// A box of letters is one brother list; a million must not exhaust the stack anywhere.
TEST(LargeTrees, MillionBrothersAndDeepChainsAreWalkedIteratively) {
    constexpr int kCount = 1000000;
    auto root = CreateRootNode();
    baseDataStruct* box = addson(root.get(), "n =box");
    for (int i = 0; i < kCount; ++i) addson(box, "n =%d", i);
    EXPECT_EQ(getinfo(box, kThisNode, "sumSon"), std::to_string(kCount));
    baseDataStruct* last = box->lastSon();
    EXPECT_EQ(findid(box->firstSon(), last->nodeId()), last);
    EXPECT_EQ(findinfo(box, "n", std::to_string(kCount - 1)), last);
    EXPECT_EQ(findinfo(root.get(), "n", "none"), nullptr);

    baseDataStruct* deep = addson(root.get(), "n =deep");
    for (int i = 0; i < 30000; ++i) deep = addson(deep, "n =d");
    EXPECT_EQ(findid(root.get(), deep->nodeId()), deep);
    EXPECT_EQ(getlink(deep, "Root"), root.get());

    EXPECT_EQ(deletesons(box), 0);
    EXPECT_EQ(getinfo(box, kThisNode, "sumSon"), "0");
    root.reset();  // destroys the deep chain
}

}  // namespace
}  // namespace korvo
