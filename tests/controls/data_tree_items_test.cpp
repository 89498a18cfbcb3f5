// Items of nodes in a tree: labels with counts, item data, lock images and refreshing.
#include "controls/data_tree_items.h"

#include <gtest/gtest.h>

#include "controls/memory_tree_view.h"
#include "store/node_tree.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

TEST(DataTreeItemTextTest, CountsInTheLabel) {
    baseDataStruct box;
    setinfo(&box, kThisNode, "caption", "Inbox");
    EXPECT_EQ(DataTreeItemText(&box).label, "Inbox");
    EXPECT_FALSE(DataTreeItemText(&box).unread);
    setinfo(&box, kThisNode, "ValidateItemSum", "10");
    EXPECT_EQ(DataTreeItemText(&box).label, "Inbox (10)");
    EXPECT_FALSE(DataTreeItemText(&box).unread);
    setinfo(&box, kThisNode, "UnreadItemSum", "3");
    EXPECT_EQ(DataTreeItemText(&box).label, "Inbox (3/10)");
    EXPECT_TRUE(DataTreeItemText(&box).unread);
    setinfo(&box, kThisNode, "ValidateItemSum", "0");
    EXPECT_EQ(DataTreeItemText(&box).label, "Inbox (3/0)");
    setinfo(&box, kThisNode, "UnreadItemSum", "-4");
    EXPECT_EQ(DataTreeItemText(&box).label, "Inbox");
}

class DataTreeItemsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(store.DataOpen("items.dat", "New")); }

    test::TempDir dir;
    test::ScopedDataDir dataDir{dir.path()};
    CBaseDataManage store;
    MemoryTreeView view;
    CBaseTreeControl tree{view};
};

TEST_F(DataTreeItemsTest, InsertSetsDataAndLockImageUnderAParent) {
    baseDataStruct* user = addson(store.root(), "%s", "type =User ,caption =Ann");
    baseDataStruct* box = addson(user, "%s", "type =Box ,caption =Inbox ,UnreadItemSum =2");
    setinfo(box, kThisNode, "LockState", "lock");
    const TreeItem top = DataInsertTreeItem(store, user, &tree, kNoItem, 2, 3);
    const TreeItem item = DataInsertTreeItem(store, box, &tree, top, 6, 7);
    EXPECT_EQ(view.StateImage(top), 0);  // top level: no lock image
    EXPECT_EQ(view.Label(top), "Ann");
    EXPECT_EQ(view.ItemData(top), user->nodeId());
    EXPECT_EQ(view.Label(item), "Inbox (2/0)");
    EXPECT_EQ(view.ItemData(item), box->nodeId() | kTreeItemUnread);
    EXPECT_EQ(view.StateImage(item), kLockedImage);
    EXPECT_EQ(view.Image(item), 6);
    EXPECT_EQ(view.SelectedImage(item), 7);
    // Without caption and counts the label is the type.
    baseDataStruct* bare = addson(user, "%s", "type =PBoxTree");
    EXPECT_EQ(view.Label(DataInsertTreeItem(store, bare, &tree, top, 0, 1)), "PBoxTree");
    setinfo(bare, kThisNode, "LockState", "unLock");
    EXPECT_EQ(view.StateImage(DataInsertTreeItem(store, bare, &tree, top, 0, 1)), kUnlockedImage);
}

TEST_F(DataTreeItemsTest, UpdateRefreshesSelectsAndWrites) {
    baseDataStruct* user = addson(store.root(), "%s", "type =User ,caption =Ann");
    baseDataStruct* box = addson(user, "%s", "type =Box ,caption =Inbox");
    baseDataStruct* other = addson(user, "%s", "type =Box ,caption =Other");
    store.DataSaveList(store.root(), 2);
    const TreeItem top = DataInsertTreeItem(store, user, &tree, kNoItem, 2, 3);
    const TreeItem item = DataInsertTreeItem(store, box, &tree, top, 6, 7);
    view.Expand(top);

    setinfo(box, kThisNode, "UnreadItemSum", "5");
    ASSERT_TRUE(DataUpdateTreeItem(store, box, &tree, 2));
    EXPECT_EQ(view.Label(item), "Inbox (5/0)");
    EXPECT_EQ(view.ItemData(item), box->nodeId() | kTreeItemUnread);
    EXPECT_EQ(view.StateImage(item), kNoLockImage);
    EXPECT_EQ(view.Caret(), item);
    EXPECT_TRUE(view.IsExpanded(item));
    EXPECT_FALSE(teststate(box, STATE_MODIFIED));  // written

    // A locked user: the selection moves up to it and it is closed, whatever was asked.
    setinfo(user, kThisNode, "LockState", "lock");
    ASSERT_TRUE(DataUpdateTreeItem(store, user, &tree, 2));
    EXPECT_EQ(view.StateImage(top), kLockedImage);
    EXPECT_FALSE(view.IsExpanded(top));
    ASSERT_TRUE(DataUpdateTreeItem(store, box, &tree, 1));
    EXPECT_EQ(view.Caret(), top);
    EXPECT_FALSE(view.IsExpanded(item));

    EXPECT_FALSE(DataUpdateTreeItem(store, other, &tree, 0));
    EXPECT_FALSE(DataUpdateTreeItem(store, nullptr, &tree, 0));
}

}  // namespace
}  // namespace korvo
