#include "store/data_manager.h"

#include <gtest/gtest.h>

#include <fstream>

#include "store/node_tree.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

std::string Get(const baseDataStruct* n, std::string_view key) {
    return getinfo(n, kThisNode, key);
}

// The names (`N`) of a subtree in pre-order, sons in brackets.
std::string Shape(const baseDataStruct* node) {
    std::string out = Get(node, "N") == "-1" ? "" : Get(node, "N");
    if (node->firstSon()) {
        out += "[";
        for (const baseDataStruct* s = node->firstSon(); s; s = s->nextBrother()) {
            if (s != node->firstSon()) out += ",";
            out += Shape(s);
        }
        out += "]";
    }
    return out;
}

class DataManagerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(store.DataOpen("Korvo.dat", "New")); }
    // Closes the store and opens it again in a fresh manager.
    CBaseDataManage& Reopen() {
        store.file().Close();
        again = std::make_unique<CBaseDataManage>();
        EXPECT_TRUE(again->DataOpen("Korvo.dat"));
        return *again;
    }

    test::TempDir dir;
    test::ScopedDataDir dataDir{dir.path()};
    CBaseDataManage store;
    std::unique_ptr<CBaseDataManage> again;
};

TEST_F(DataManagerTest, TreeRoundTripsWithBlocksStateAndOrder) {
    baseDataStruct* root = store.root();
    setinfo(root, kThisNode, "N", "root");
    baseDataStruct* a = addson(root, "N =a ,pType =2");
    baseDataStruct* a1 = addson(a, "N =a1");
    addson(a, "N =a2");
    addson(a1, "N =a11");
    baseDataStruct* b = addson(root, "N =b");
    setinfo(b, kThisNode, "SDATA", "header text");
    setdata(b, std::string(700, 'z'));
    changestate(b, 0, 0x00100000);
    store.DataSaveList(root, 2);

    CBaseDataManage& back = Reopen();
    EXPECT_EQ(Shape(back.root()), "root[a[a1[a11],a2],b]");
    baseDataStruct* b2 = back.root()->lastSon();
    // The tree is loaded with property texts only; the blocks come on demand.
    EXPECT_FALSE(getdata(b2, "STRDATA"));
    EXPECT_TRUE(teststate(b2, STATE_HAS_SDATA | STATE_HAS_STRDATA));
    EXPECT_TRUE(teststate(b2, 0x00100000));
    ASSERT_TRUE(back.DataLoadPoint(b2, -1, kLoadSdata | kLoadStrdata));
    EXPECT_EQ(Get(b2, "SDATA"), "header text");
    EXPECT_EQ(getdata(b2, "STRDATA").value(), std::string(700, 'z'));
    // Loading leaves nodes with blocks marked for writing once more; others are clean.
    EXPECT_TRUE(teststate(b2, STATE_MODIFIED));
    EXPECT_FALSE(teststate(back.root()->firstSon(), STATE_MODIFIED));
    // Node ids start again with the loaded tree.
    EXPECT_EQ(back.root()->firstSon()->nodeId(), 1u);
}

TEST_F(DataManagerTest, LazySonsAndLocksOnLoad) {
    baseDataStruct* box = addson(store.root(), "N =box");
    addson(box, "N =letter1");
    addson(box, "N =letter2");
    baseDataStruct* user = addson(store.root(), "N =user");
    setinfo(user, kThisNode, "LockState", "unLock");
    store.DataSaveList(store.root(), 2);
    changestate(box, 0, STATE_LAZY_SONS);
    store.DataSaveList(box, 1);

    CBaseDataManage& back = Reopen();
    EXPECT_EQ(Shape(back.root()), "[box,user]");
    baseDataStruct* lazy = back.root()->firstSon();
    EXPECT_EQ(Get(back.root()->lastSon(), "LockState"), "lock");
    // Asked for explicitly, the sons come.
    ASSERT_TRUE(back.DataLoadTree(lazy, -1, kLoadProperty | kLoadLazySons, true));
    EXPECT_EQ(Shape(lazy), "box[letter1,letter2]");
}

TEST_F(DataManagerTest, NewPointWritesAnUnsavedParentFirst) {
    baseDataStruct* parent = addson(store.root(), "N =parent");
    baseDataStruct* son = addson(parent, "N =son");
    const long id = store.DataSaveList(son, 1);
    EXPECT_EQ(Get(parent, "pointId"), "11");
    EXPECT_EQ(id, 12);
    PointLinks links;
    ASSERT_TRUE(store.file().GetPointLinks(12, &links));
    EXPECT_EQ(links.parent, 11u);
    EXPECT_EQ(Shape(Reopen().root()), "[parent[son]]");
}

TEST_F(DataManagerTest, RootPointIsNeverOverwritten) {
    baseDataStruct stray;
    setinfo(&stray, kThisNode, "N", "stray");
    EXPECT_EQ(store.DataNewPoint(&stray, -1), -1);
    EXPECT_EQ(Get(&stray, "pointId"), "-1");
    EXPECT_EQ(Get(Reopen().root(), "type"), "Root");
}

TEST_F(DataManagerTest, SaveListModes) {
    baseDataStruct* a = addson(store.root(), "N =a");
    baseDataStruct* b = addson(store.root(), "N =b");
    baseDataStruct* a1 = addson(a, "N =a1");
    EXPECT_EQ(store.DataSaveList(a, 1), 11);
    EXPECT_EQ(Get(b, "pointId"), "-1");
    EXPECT_EQ(store.DataSaveList(a, 0), 12);
    EXPECT_EQ(Get(a1, "pointId"), "-1");
    setinfo(b, kThisNode, "x", "1");
    EXPECT_EQ(store.DataSaveList(a, 2), 12);  // a, a1, b: b's point is the last handled
    EXPECT_EQ(Get(a1, "pointId"), "13");
    EXPECT_EQ(store.DataSaveList(nullptr, 2), -1);
    EXPECT_EQ(Shape(Reopen().root()), "[a[a1],b]");
}

TEST_F(DataManagerTest, DeleteHidesOrRemovesWithDescendants) {
    baseDataStruct* keep = addson(store.root(), "N =keep");
    baseDataStruct* hide = addson(store.root(), "N =hide");
    baseDataStruct* gone = addson(store.root(), "N =gone");
    addson(addson(gone, "N =g1"), "N =g11");
    addson(gone, "N =g2");
    store.DataSaveList(store.root(), 2);

    EXPECT_TRUE(store.DataDeletePoint(hide, 1));
    EXPECT_TRUE(store.DataDeletePoint(gone, 0));
    EXPECT_EQ(Shape(store.root()), "[keep]");
    EXPECT_FALSE(store.DataDeletePoint(addson(keep, "N =new"), 0));

    CBaseDataManage& back = Reopen();
    // A hidden node stays in the store, without its valid bit.
    EXPECT_EQ(Shape(back.root()), "[keep,hide]");
    EXPECT_FALSE(teststate(back.root()->lastSon(), STATE_VALID));
    // The four deleted records are free again: new points reuse them from the lowest id.
    baseDataStruct* fresh = addson(back.root(), "N =fresh");
    EXPECT_EQ(back.DataSaveList(fresh, 1), 13);
}

TEST_F(DataManagerTest, DamagedOrForeignFilesLeaveOnlyTheRoot) {
    addson(store.root(), "N =a");
    store.DataSaveList(store.root(), 2);
    store.file().Close();
    { std::ofstream(dir.path() + "Korvo.dat", std::ios::binary) << "not a store"; }
    CBaseDataManage broken;
    addson(broken.root(), "N =left over");
    EXPECT_FALSE(broken.DataOpen("Korvo.dat"));
    EXPECT_FALSE(broken.isOpen());
    EXPECT_EQ(broken.root()->firstSon(), nullptr);
    EXPECT_EQ(broken.DataSaveList(addson(broken.root(), "N =x"), 1), -1);
    EXPECT_FALSE(broken.DataLoadTree(nullptr, -1, kLoadProperty, true));
}

TEST_F(DataManagerTest, SwitchingFilesReloadsTheRoot) {
    addson(store.root(), "N =first");
    store.DataSaveList(store.root(), 2);
    ASSERT_TRUE(store.DataOpen("other.sdb", "New"));
    EXPECT_EQ(store.root()->firstSon(), nullptr);
    EXPECT_EQ(Get(store.root(), "pointId"), "10");
    addson(store.root(), "N =second");
    store.DataSaveList(store.root(), 2);
    ASSERT_TRUE(store.DataOpen("Korvo.dat"));
    EXPECT_EQ(Shape(store.root()), "[first]");
    ASSERT_TRUE(store.DataOpen(dir.path() + "other.sdb"));
    EXPECT_EQ(Shape(store.root()), "[second]");
}

// root > User > UATree, UBTree > UBook, PublicInfo... ; Account > PBoxTree > boxes
struct Schema {
    baseDataStruct* user;
    baseDataStruct* account;
    baseDataStruct* trash;
    baseDataStruct* letter;
    explicit Schema(baseDataStruct* root) {
        user = addson(root, "type =User ,caption =ann ,pType =2");
        baseDataStruct* ua = addson(user, "type =UATree ,caption =Private ,pType =3");
        addson(addson(user, "type =UBTree ,pType =16"), "type =UBook ,pType =17");
        baseDataStruct* tt = addson(user, "type =UTTree ,pType =18");
        addson(tt, "type =UTemplate ,style =sys ,pType =19");
        account = addson(ua, "type =Account ,caption =work ,pType =4");
        baseDataStruct* ab = addson(account, "type =ABTree ,pType =5");
        baseDataStruct* pbook = addson(ab, "type =PBook ,style =sys ,pType =6");
        addson(pbook, "type =BookFolder ,caption =Other ,pType =7");
        addson(pbook, "type =BookFolder ,style =sys ,caption =Private ,pType =7");
        baseDataStruct* boxes = addson(account, "type =PBoxTree ,pType =9");
        for (const char* sub : {"preview", "receive", "prepare", "send", "trash", "drafts"}) {
            baseDataStruct* box = addson(boxes, "type =Box ,style =sys ,subType =%s", sub);
            if (std::string_view(sub) == "trash") trash = box;
        }
        baseDataStruct* pt = addson(account, "type =PTTree ,pType =11");
        baseDataStruct* tpl = addson(pt, "type =Template ,pType =12");
        addson(tpl, "type =TFolder ,subType =NewLetter ,pType =13");
        addson(tpl, "type =TFolder ,subType =Write back ,pType =13");
        letter = addson(trash, "type =letter");
    }
};

TEST_F(DataManagerTest, SystemNodesAreFoundFromAnywhereBelow) {
    Schema s(store.root());
    auto sys = [&](int kind, int sub = 0) { return store.DataGetSysPoint(s.letter, kind, sub); };
    EXPECT_EQ(sys(1), store.root());
    EXPECT_EQ(sys(2), s.user);
    EXPECT_EQ(sys(4), s.account);
    EXPECT_EQ(sys(10, 5), s.trash);
    EXPECT_EQ(Get(sys(10, 1), "subType"), "preview");
    EXPECT_EQ(Get(sys(10, 6), "subType"), "drafts");
    EXPECT_EQ(sys(10, 7), nullptr);
    EXPECT_EQ(Get(sys(7), "caption"), "Private");
    EXPECT_EQ(Get(sys(17), "type"), "UBook");
    EXPECT_EQ(Get(sys(19), "type"), "UTemplate");
    EXPECT_EQ(sys(21), nullptr);  // no filter tree in this schema
    EXPECT_EQ(Get(sys(13, 2), "subType"), "Write back");
    EXPECT_EQ(sys(13, 3), nullptr);
    EXPECT_EQ(sys(8), nullptr);
    EXPECT_EQ(sys(99), nullptr);
    EXPECT_EQ(store.DataGetSysPoint(store.root(), 2), nullptr);
    EXPECT_EQ(store.DataGetSysPoint(nullptr, 1), nullptr);
}

TEST_F(DataManagerTest, PublicNodesAreCreatedOnceAndStored) {
    Schema s(store.root());
    baseDataStruct* info = store.DataGetSysPoint(s.letter, 23);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->parent(), s.user);
    EXPECT_EQ(Get(info, "caption"), "Public infomation");
    EXPECT_NE(Get(info, "pointId"), "-1");
    EXPECT_NE(Get(s.user, "pointId"), "-1");  // written first, as its parent
    baseDataStruct* data = store.DataGetSysPoint(s.account, 24);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->parent(), info);
    EXPECT_EQ(Get(data, "caption"), "Public Data");
    EXPECT_EQ(store.DataGetSysPoint(s.user, 24), data);
    EXPECT_EQ(store.DataGetSysPoint(s.user, 23), info);
    EXPECT_EQ(getinfo(s.user, kThisNode, "sumSon"), "4");  // three trees and one PublicInfo
}

}  // namespace
}  // namespace korvo
