#include "controls/data_tree_items.h"

#include <gtest/gtest.h>

#include "controls/memory_tree_view.h"
#include "store/node_tree.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

class DataTreeItemsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(data.DataOpen(dir.path() + "Korvo.dat", "New")); }

    baseDataStruct* Node(baseDataStruct* parent, const char* text) {
        return addson(parent, "%s", text);
    }

    test::TempDir dir;
    CBaseDataManage data;
    MemoryTreeView view;
    CBaseTreeControl tree{view};
};

TEST_F(DataTreeItemsTest, LabelsCarryTheCounters) {
    baseDataStruct* box =
        Node(data.root(), "caption =Inbox ,UnreadItemSum =3 ,ValidateItemSum =10");
    EXPECT_EQ(TreeItemLookOf(box, false).label, "Inbox (3/10)");
    setinfo(box, kThisNode, "ValidateItemSum", "0");
    EXPECT_EQ(TreeItemLookOf(box, false).label, "Inbox (3/0)");
    setinfo(box, kThisNode, "UnreadItemSum", "0");
    EXPECT_EQ(TreeItemLookOf(box, false).label, "Inbox");
    setinfo(box, kThisNode, "ValidateItemSum", "7");
    EXPECT_EQ(TreeItemLookOf(box, false).label, "Inbox (7)");
    setinfo(box, kThisNode, "ValidateItemSum", "junk");
    EXPECT_EQ(TreeItemLookOf(box, false).label, "Inbox");

    // Without a caption an inserted item shows the type.
    baseDataStruct* bare = Node(data.root(), "type =UATree");
    EXPECT_EQ(TreeItemLookOf(bare, true).label, "UATree");
    EXPECT_EQ(TreeItemLookOf(bare, false).label, "-1");
}

TEST_F(DataTreeItemsTest, ItemDataMarksUnreadAndStateImagesShowLocks) {
    baseDataStruct* user = Node(data.root(), "caption =ann");
    baseDataStruct* box = Node(user, "caption =Inbox ,UnreadItemSum =1");
    setinfo(user, kThisNode, "LockState", "unLock");
    const TreeItem top = DataInsertTreeItem(data, user, &tree, kNoItem, 1, 2);
    const TreeItem child = DataInsertTreeItem(data, box, &tree, top, 3, 4);
    EXPECT_EQ(view.ItemData(top), user->nodeId());
    EXPECT_EQ(view.ItemData(child), box->nodeId() | kTreeItemUnread);
    EXPECT_EQ(view.StateImage(top), 0);  // top-level items get no lock image
    EXPECT_EQ(view.StateImage(child), 3);
    EXPECT_EQ(view.Image(child), 3);
    EXPECT_EQ(view.SelectedImage(child), 4);
    EXPECT_EQ(tree.FindItem(kNoItem, box->nodeId()), child);

    ASSERT_TRUE(DataUpdateTreeItem(data, user, &tree, 0));
    EXPECT_EQ(view.StateImage(top), 2);
    setinfo(box, kThisNode, "UnreadItemSum", "0");
    ASSERT_TRUE(DataUpdateTreeItem(data, box, &tree, 0));
    EXPECT_EQ(view.ItemData(child), box->nodeId());
    // Refreshing writes the node.
    EXPECT_NE(getinfo(box, kThisNode, "pointId"), "-1");
    EXPECT_FALSE(DataUpdateTreeItem(data, Node(user, "caption =no item"), &tree, 0));
}

TEST_F(DataTreeItemsTest, LockedBranchesCollapseAndGiveUpTheSelection) {
    baseDataStruct* user = Node(data.root(), "caption =ann");
    baseDataStruct* account = Node(user, "caption =work");
    baseDataStruct* box = Node(account, "caption =Inbox");
    baseDataStruct* other = Node(user, "caption =home");
    const TreeItem userItem = DataInsertTreeItem(data, user, &tree, kNoItem, 0, 0);
    const TreeItem accountItem = DataInsertTreeItem(data, account, &tree, userItem, 0, 0);
    const TreeItem boxItem = DataInsertTreeItem(data, box, &tree, accountItem, 0, 0);
    const TreeItem otherItem = DataInsertTreeItem(data, other, &tree, userItem, 0, 0);

    // Refreshing an unlocked item leaves the user's selection where it is.
    view.SetCaret(otherItem);
    ASSERT_TRUE(DataUpdateTreeItem(data, box, &tree, 2));
    EXPECT_EQ(view.Caret(), otherItem);
    EXPECT_TRUE(view.IsExpanded(boxItem));
    ASSERT_TRUE(DataUpdateTreeItem(data, box, &tree, 1));
    EXPECT_FALSE(view.IsExpanded(boxItem));

    // Locking the account: it collapses and takes the selection.
    view.Expand(accountItem);
    view.SetCaret(boxItem);
    setinfo(account, kThisNode, "LockState", "lock");
    ASSERT_TRUE(DataUpdateTreeItem(data, account, &tree, 2));
    EXPECT_EQ(view.StateImage(accountItem), 1);
    EXPECT_FALSE(view.IsExpanded(accountItem));
    EXPECT_EQ(view.Caret(), accountItem);
    EXPECT_EQ(view.DropHighlight(), accountItem);

    // A box inside the locked account sends the selection to the account.
    view.SetCaret(boxItem);
    ASSERT_TRUE(DataUpdateTreeItem(data, box, &tree, 0));
    EXPECT_EQ(view.Caret(), accountItem);
}

}  // namespace
}  // namespace korvo
