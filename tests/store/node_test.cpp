#include "store/node.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "store/node_tree.h"
#include "tests/support/message_recorder.h"

namespace korvo {
namespace {

// A standalone node whose property text is `text`, with clean state.
std::unique_ptr<baseDataStruct> NodeWithText(std::string_view text) {
    auto node = std::make_unique<baseDataStruct>();
    setinfo(node.get(), kThisNode, "PROPERTY", text);
    setstate(node.get(), 0);
    changestate(node.get(), STATE_MODIFIED, 0);
    return node;
}

TEST(PropertyText, AppendsReplacesInPlaceAndKeepsOrder) {
    baseDataStruct node;
    EXPECT_EQ(setinfo(&node, kThisNode, "type", "Box"), 0);
    // An empty text does not end with " ," so the first item is preceded by one.
    EXPECT_EQ(node.propertyText(), " ,type =Box");
    setinfo(&node, kThisNode, "caption", "Inbox");
    setinfo(&node, kThisNode, "pointId", "12");
    setinfo(&node, kThisNode, "type", "Folder");
    EXPECT_EQ(node.propertyText(), " ,type =Folder ,caption =Inbox ,pointId =12");
    setinfo(&node, kThisNode, "pointId", "");
    EXPECT_EQ(node.propertyText(), " ,type =Folder ,caption =Inbox ,pointId =");
    EXPECT_EQ(getinfo(&node, kThisNode, "pointId"), "");
    EXPECT_EQ(getinfo(&node, kThisNode, "missing"), "-1");
}

TEST(PropertyText, KeySearchMatchesTheTailOfAnEarlierLongerKey) {
    auto node = NodeWithText("username =x ,name =y");
    EXPECT_EQ(getinfo(node.get(), kThisNode, "name"), "x");
    EXPECT_EQ(getinfofromtext(node->propertyText(), "name"), "y");
    EXPECT_EQ(getinfofromtext(node->propertyText(), "username"), "x");
    EXPECT_EQ(getinfofromtext(node->propertyText(), "user"), "-1");
    // setinfo finds the same (tail) item and so overwrites username's value.
    setinfo(node.get(), kThisNode, "name", "z");
    EXPECT_EQ(node->propertyText(), "username =z ,name =y");
}

TEST(PropertyText, EscapedValuesSurviveAndStoredTextHasNoSeparators) {
    baseDataStruct node;
    const std::string hard = "a ,b =c:d-e,f\\ \\";
    setinfo(&node, kThisNode, "k", hard);
    setinfo(&node, kThisNode, "after", "1");
    EXPECT_EQ(getinfo(&node, kThisNode, "k"), hard);
    EXPECT_EQ(getinfo(&node, kThisNode, "after"), "1");
    EXPECT_EQ(node.propertyText(), " ,k =a \\,b \\=c\\:d\\-e\\,f\\ \\ ,after =1");
    EXPECT_EQ(getinfofromtext(node.propertyText(), "k"), hard);
}

TEST(PropertyText, EncodeDecodeRoundTripsAnyBytes) {
    std::mt19937 rng(7);
    const std::string alphabet = "=:,- \\ab\x80\xff";
    for (int round = 0; round < 20000; ++round) {
        std::string text(rng() % 12, ' ');
        for (char& c : text) {
            c = (rng() % 4 == 0) ? static_cast<char>(rng() % 256)
                                 : alphabet[rng() % alphabet.size()];
        }
        const std::string encoded = encodeinfo(text);
        ASSERT_EQ(decodeinfo(encoded), text) << "round " << round;
        ASSERT_EQ(encoded.find(" ,"), std::string::npos);
        ASSERT_EQ(encoded.find(" ="), std::string::npos);
    }
}

TEST(PropertyText, MalformedTextsReadWithoutCrashing) {
    // No " =" at all: the item is a name with an empty value.
    auto bare = NodeWithText("lonely");
    EXPECT_EQ(getinfo(bare.get(), kThisNode, "lonely"), "-1");
    EXPECT_EQ(getinfofromtext("lonely", "lonely"), "");
    // Trailing backslash: decoding leaves it.
    auto trailing = NodeWithText("k =abc\\");
    EXPECT_EQ(getinfo(trailing.get(), kThisNode, "k"), "abc\\");
    // Separators at the start and end.
    auto edges = NodeWithText(" ,a =1 ,");
    EXPECT_EQ(getinfo(edges.get(), kThisNode, "a"), "1");
    EXPECT_EQ(getinfofromtext(" ,a =1 ,", "a"), "1");
    EXPECT_EQ(getinfofromtext(" ,a =1 ,", ""), "");
    setinfo(edges.get(), kThisNode, "b", "2");
    EXPECT_EQ(edges->propertyText(), " ,a =1 ,b =2");
    // Empty texts.
    EXPECT_EQ(getinfofromtext("", "a"), "-1");
    EXPECT_EQ(getinfofromtext("", ""), "-1");
    // High bytes in keys and values.
    auto high = NodeWithText("\xe6\x84\x8f =\xff\x80 ,x =1");
    EXPECT_EQ(getinfo(high.get(), kThisNode, "\xe6\x84\x8f"), "\xff\x80");
}

TEST(PropertyText, MegabyteValuesAreKeptWhole) {
    baseDataStruct node;
    std::string big(1 << 20, 'v');
    big[1000] = ',';
    big[5000] = '-';
    setinfo(&node, kThisNode, "first", "1");
    setinfo(&node, kThisNode, "big", big);
    setinfo(&node, kThisNode, "last", "2");
    EXPECT_EQ(getinfo(&node, kThisNode, "big"), big);
    EXPECT_EQ(getinfo(&node, kThisNode, "last"), "2");
    EXPECT_EQ(getinfofromtext(node.propertyText(), "big"), big);
    setinfo(&node, kThisNode, "big", "small");
    EXPECT_EQ(node.propertyText(), " ,first =1 ,big =small ,last =2");
}

TEST(NodeInfo, SpecialKeys) {
    baseDataStruct node;
    EXPECT_EQ(getinfo(&node, kThisNode, "sumSon"), "0");
    EXPECT_EQ(getinfo(&node, kThisNode, "LockState"), "-1");
    setinfo(&node, kThisNode, "LockState", "unLock");
    EXPECT_EQ(getinfo(&node, kThisNode, "LockState"), "unLock");
    setinfo(&node, kThisNode, "LockState", "lock");
    EXPECT_EQ(getinfo(&node, kThisNode, "LockState"), "lock");
    EXPECT_TRUE(teststate(&node, STATE_LOCK_SET));
    setinfo(&node, kThisNode, "LockState", "-1");
    EXPECT_EQ(getinfo(&node, kThisNode, "LockState"), "-1");
    EXPECT_FALSE(teststate(&node, STATE_LOCK_SET | STATE_LOCKED));
    setinfo(&node, kThisNode, "LockState", "Lock");  // case matters
    EXPECT_EQ(getinfo(&node, kThisNode, "LockState"), "-1");
    // Special keys never enter the property text.
    EXPECT_EQ(node.propertyText(), "");
}

TEST(NodeInfo, SdataPresenceFollowsTheText) {
    baseDataStruct node;
    EXPECT_FALSE(getdata(&node, "SDATA"));
    setinfo(&node, kThisNode, "SDATA", "a ,b =c");
    EXPECT_EQ(getinfo(&node, kThisNode, "SDATA"), "a ,b =c");  // verbatim
    EXPECT_EQ(getdata(&node, "SDATA").value(), "a ,b =c");
    EXPECT_EQ(getdatasize(&node, "SDATA"), 7);
    EXPECT_TRUE(teststate(&node, STATE_HAS_SDATA | STATE_SDATA_CHANGED));
    setinfo(&node, kThisNode, "SDATA", "");
    EXPECT_FALSE(teststate(&node, STATE_HAS_SDATA));
    EXPECT_FALSE(getdata(&node, "SDATA"));
    EXPECT_EQ(getdatasize(&node, "SDATA"), 0);
    EXPECT_FALSE(getdata(&node, "OTHER"));
}

TEST(NodeInfo, NodeIdsSelectTheNodeOrALaterBrother) {
    auto root = CreateRootNode();
    baseDataStruct* a = addson(root.get(), "n =a");
    baseDataStruct* b = addson(root.get(), "n =b");
    baseDataStruct* c = addson(root.get(), "n =c");
    EXPECT_EQ(setinfo(a, c->nodeId(), "n", "C"), 0);
    EXPECT_EQ(getinfo(c, kThisNode, "n"), "C");
    EXPECT_EQ(getinfo(a, kThisNode, "n"), "a");
    // Earlier brothers are not searched; nothing is written.
    EXPECT_EQ(setinfo(b, a->nodeId(), "n", "X"), -1);
    EXPECT_EQ(getinfo(a, kThisNode, "n"), "a");
    EXPECT_EQ(getinfo(b, kThisNode, "n"), "b");
    // getinfo never looks at another node.
    EXPECT_EQ(getinfo(a, b->nodeId(), "n"), "-1");
    EXPECT_EQ(getinfo(a, a->nodeId(), "n"), "a");
    EXPECT_EQ(getinfo(root.get(), kThisNode, "sumSon"), "3");
}

TEST(NodeInfo, ForeignIdHookIsASeamForThePersonEditor) {
    baseDataStruct node;
    setinfo(&node, kThisNode, "k", "v");
    test::MessageRecorder recorder;
    EXPECT_EQ(getinfo(&node, 99, "k"), "-1");
    EXPECT_TRUE(recorder.messages().empty());
    UseOldVersionGetinfoWarning();
    EXPECT_EQ(getinfo(&node, 99, "k"), "-1");
    EXPECT_EQ(getinfo(&node, kThisNode, "k"), "v");
    SetForeignIdReadHook(nullptr);
    EXPECT_EQ(recorder.messages(),
              std::vector<std::string>{"old version baseDataStruct::getinfo(...)"});
}

TEST(NodeState, ChangeStateMarksModifiedUnlessClearingIt) {
    auto node = NodeWithText("");
    EXPECT_EQ(getstate(node.get()), 0u);
    EXPECT_EQ(changestate(node.get(), 0, 0x10), 0x410u);
    EXPECT_EQ(changestate(node.get(), STATE_MODIFIED | 0x10, 0x1), 0x1u);
    EXPECT_EQ(setstate(node.get(), 0x20), 0x420u);
    EXPECT_TRUE(teststate(node.get(), 0x21));
    EXPECT_FALSE(teststate(node.get(), 0x1));
    setinfo(node.get(), kThisNode, "x", "1");
    EXPECT_EQ(getstate(node.get()), 0x420u | STATE_PROPERTY_CHANGED);
}

TEST(NodeData, StrdataOwnershipFreeAndCopy) {
    baseDataStruct src;
    setdata(&src, std::string_view("raw\0letter", 10));
    EXPECT_EQ(getdatasize(&src, "STRDATA"), 10);
    EXPECT_EQ(getdata(&src, "STRDATA").value(), std::string_view("raw\0letter", 10));
    EXPECT_TRUE(teststate(&src, STATE_HAS_STRDATA | STATE_STRDATA_CHANGED));
    setinfo(&src, kThisNode, "SDATA", "notes");
    setinfo(&src, kThisNode, "type", "Letter");

    baseDataStruct copy;
    EXPECT_EQ(copyfrom(&copy, &src, 15), 0);
    EXPECT_EQ(copy.propertyText(), src.propertyText());
    EXPECT_EQ(getinfo(&copy, kThisNode, "SDATA"), "notes");
    ASSERT_TRUE(getdata(&copy, "STRDATA"));
    EXPECT_EQ(*getdata(&copy, "STRDATA"), *getdata(&src, "STRDATA"));
    EXPECT_NE(getdata(&copy, "STRDATA")->data(), getdata(&src, "STRDATA")->data());

    // freedata releases contents but keeps the presence bits.
    freedata(&src, 4 | 8);
    EXPECT_TRUE(teststate(&src, STATE_HAS_STRDATA | STATE_HAS_SDATA));
    EXPECT_FALSE(teststate(&src, STATE_STRDATA_CHANGED | STATE_SDATA_CHANGED));
    EXPECT_EQ(getdatasize(&src, "STRDATA"), 0);
    EXPECT_EQ(getinfo(&src, kThisNode, "SDATA"), "");

    // Copying from a node without STRDATA releases the block.
    baseDataStruct empty;
    copyfrom(&copy, &empty, 4);
    EXPECT_FALSE(getdata(&copy, "STRDATA"));
    EXPECT_FALSE(teststate(&copy, STATE_HAS_STRDATA));
    EXPECT_TRUE(teststate(&copy, STATE_STRDATA_CHANGED));

    // Mask 1 copies only the property text; a length without a buffer is not kept.
    baseDataStruct only;
    copyfrom(&only, &src, 1);
    EXPECT_EQ(only.propertyText(), src.propertyText());
    EXPECT_FALSE(teststate(&only, STATE_HAS_SDATA));
    EXPECT_EQ(setdata(&only, nullptr, 50), 0);
    EXPECT_EQ(getdatasize(&only, "STRDATA"), 0);
}

TEST(NodeData, MissingNodeIsTolerated) {
    baseDataStruct* none = nullptr;
    EXPECT_EQ(getinfo(none, kThisNode, "type"), "-1");
    EXPECT_EQ(setinfo(none, kThisNode, "type", "x"), -1);
    EXPECT_FALSE(getdata(none, "PROPERTY"));
    EXPECT_EQ(getdatasize(none, "PROPERTY"), 0);
    EXPECT_EQ(setdata(none, "x"), -1);
    EXPECT_EQ(freedata(none, 12), -1);
    EXPECT_EQ(copyfrom(none, none, 15), -1);
    EXPECT_EQ(getstate(none), 0u);
    EXPECT_EQ(setstate(none, 1), 0u);
    EXPECT_EQ(changestate(none, 0, 1), 0u);
    EXPECT_FALSE(teststate(none, ~0u));
}

TEST(Numbers, ReadLikeCAndSaturate) {
    EXPECT_EQ(TextToLong("  42abc"), 42);
    EXPECT_EQ(TextToLong("-17"), -17);
    EXPECT_EQ(TextToLong("+5"), 5);
    EXPECT_EQ(TextToLong("-1"), -1);
    EXPECT_EQ(TextToLong("Box"), 0);
    EXPECT_EQ(TextToLong(""), 0);
    EXPECT_EQ(TextToLong("- 3"), 0);
    EXPECT_EQ(TextToLong("99999999999999999999999"), LONG_MAX);
    EXPECT_EQ(TextToLong("-99999999999999999999999"), LONG_MIN);
    EXPECT_EQ(LongToText(-2147483648L), "-2147483648");
}

}  // namespace
}  // namespace korvo
