#include "controls/tree_control.h"

#include <gtest/gtest.h>

#include "controls/memory_tree_view.h"

namespace korvo {
namespace {

class TreeControlTest : public ::testing::Test {
  protected:
    TreeItem Add(TreeItem parent, uint32_t id, const char* label = "item") {
        return view.InsertItem(parent, label, 0, 1, id);
    }
    // The client point of the label of the n-th visible line at the given depth.
    static ViewPoint Label(int line, int depth = 0) {
        return {depth * MemoryTreeView::kIndent + 3 * MemoryTreeView::kPartWidth + 5,
                line * MemoryTreeView::kLineHeight + 3};
    }

    MemoryTreeView view{ViewRect{0, 0, 200, 160}};
    CBaseTreeControl tree{view};
};

TEST_F(TreeControlTest, FindItemSearchesSubtreeThenLaterSiblings) {
    const TreeItem root = Add(kNoItem, 0);
    const TreeItem a = Add(root, 1);
    const TreeItem b = Add(root, 2);
    const TreeItem a1 = Add(a, 3);
    const TreeItem b1 = Add(b, 4);
    const TreeItem other = Add(kNoItem, 5);

    EXPECT_EQ(tree.FindItem(kNoItem, 4), b1);
    EXPECT_EQ(tree.FindItem(root, 5), other) << "a later top item is a sibling of root";
    EXPECT_EQ(tree.FindItem(kNoItem, 5), other);
    EXPECT_EQ(tree.FindItem(a, 4), b1) << "a's later sibling b is searched";
    EXPECT_EQ(tree.FindItem(b, 3), kNoItem) << "an earlier sibling's subtree is not";
    EXPECT_EQ(tree.FindItem(a1, 2), kNoItem) << "the search never climbs above its start";
    EXPECT_EQ(tree.FindItem(root, 0x7F000003), a1) << "only the low 24 bits count";
    view.SetItemData(b, 0x80000002);
    EXPECT_EQ(tree.FindItem(root, 2), b);
    EXPECT_EQ(tree.FindItem(root, 99), kNoItem);
}

TEST_F(TreeControlTest, FindItemReachesTheLastChildOfADeepBranch) {
    // Deep enough that a recursive walk would strain the stack under the sanitizers.
    TreeItem item = Add(kNoItem, 1);
    for (uint32_t id = 2; id < 200000; ++id) item = Add(item, id);
    const TreeItem sibling = Add(view.Parent(item), 500000);
    const TreeItem last = Add(sibling, 600000);
    Add(kNoItem, 700000);
    EXPECT_EQ(tree.FindItem(kNoItem, 600000), last);
    EXPECT_EQ(tree.FindItem(kNoItem, 700000), view.NextSibling(view.FirstTopItem()));
    EXPECT_EQ(tree.FindItem(kNoItem, 650000), kNoItem);
}

TEST_F(TreeControlTest, SelectionPathRunsFromTheItemToTheTop) {
    const TreeItem root = Add(kNoItem, 0);
    const TreeItem mid = Add(root, 3);
    const TreeItem leaf = Add(mid, 0x80000007);
    tree.SelectNodeItem(leaf);
    EXPECT_EQ(tree.currentItem(), leaf);
    EXPECT_EQ(tree.currentNodeId(), 7);
    EXPECT_EQ(tree.selectionPath(), "7,3,0");
    EXPECT_EQ(view.Caret(), leaf);
    EXPECT_EQ(view.DropHighlight(), leaf);
    tree.SelectNodeItem(root);
    EXPECT_EQ(tree.selectionPath(), "0");
}

TEST_F(TreeControlTest, SelectNodeItemLeavesLockedBranchesAtTheirTop) {
    const TreeItem root = Add(kNoItem, 0);
    const TreeItem user = Add(root, 1);
    const TreeItem account = Add(user, 2);
    const TreeItem box = Add(account, 3);
    const TreeItem openUser = Add(root, 4);
    const TreeItem openBox = Add(openUser, 5);
    view.SetStateImage(user, 1);
    view.SetStateImage(account, 1);  // nested lock: the outermost one wins
    view.SetStateImage(box, 2);
    view.SetStateImage(openUser, 2);

    tree.SelectNodeItem(box);
    EXPECT_EQ(tree.currentItem(), user);
    EXPECT_EQ(view.Caret(), user);
    EXPECT_EQ(view.DropHighlight(), user);
    EXPECT_EQ(tree.selectionPath(), "1,0");

    tree.SelectNodeItem(openBox);
    EXPECT_EQ(tree.currentItem(), openBox);
    EXPECT_EQ(tree.selectionPath(), "5,4,0");

    view.Expand(root);
    view.Expand(user);
    view.Expand(account);
    // Lines: root, user, account, box, openUser. A right click on box selects user.
    tree.OnRightButtonDown(Label(3, 3), 1000);
    EXPECT_EQ(tree.currentItem(), user);
    EXPECT_EQ(view.Caret(), user);
}

TEST_F(TreeControlTest, ClicksRecordPartsAndCurrentItem) {
    const TreeItem root = Add(kNoItem, 10);
    const TreeItem child = Add(root, 11);
    view.Expand(root);

    tree.OnLeftButtonDown(Label(1, 1), 0);
    EXPECT_EQ(tree.lastHitParts(), kTreeHitLabel);
    EXPECT_EQ(tree.currentItem(), child);
    EXPECT_EQ(view.DropHighlight(), child);
    EXPECT_EQ(tree.selectionPath(), "11,10");

    // The expand button is hit: the item becomes current but is not highlighted.
    view.SetDropHighlight(kNoItem);
    tree.OnLeftButtonDown({2, 3}, 0);
    EXPECT_EQ(tree.lastHitParts(), kTreeHitButton);
    EXPECT_EQ(tree.currentItem(), root);
    EXPECT_EQ(view.DropHighlight(), kNoItem);

    tree.OnLeftButtonDown({5, 150}, 0);
    EXPECT_EQ(tree.currentItem(), kNoItem);
    EXPECT_EQ(tree.currentNodeId(), -1);
    EXPECT_EQ(tree.selectionPath(), "");

    view.SetCaret(child);
    tree.OnKeyDown();
    EXPECT_EQ(tree.currentItem(), child);
    EXPECT_EQ(tree.selectionPath(), "11,10");

    view.SetScreenOrigin({100, 200});
    EXPECT_EQ(tree.HitTestScreen({100 + Label(0).x, 200 + Label(0).y}), root);
}

TEST_F(TreeControlTest, DragStartsOnlyWhenEnabledAndAfterTheMinimumPress) {
    const TreeItem item = Add(kNoItem, 1);
    tree.OnLeftButtonDown(Label(0), 1000);
    EXPECT_FALSE(tree.BeginDrag(item, 2000)) << "dragging is off by default";
    tree.EnableDrag(true);
    EXPECT_FALSE(tree.BeginDrag(item, 1000 + kDragMinPressMs - 1));
    EXPECT_FALSE(tree.dragging());
    EXPECT_TRUE(tree.BeginDrag(item, 1000 + kDragMinPressMs));
    EXPECT_TRUE(tree.dragging());
    EXPECT_EQ(tree.draggedItem(), item);
    tree.EndDrag();
    EXPECT_FALSE(tree.dragging());
}

TEST_F(TreeControlTest, HoverTogglesAfterTheWaitAndMovesRestartIt) {
    const TreeItem a = Add(kNoItem, 1);
    const TreeItem b = Add(kNoItem, 2);
    Add(b, 3);
    tree.EnableDrag(true);
    tree.OnLeftButtonDown(Label(0), 0);
    ASSERT_TRUE(tree.BeginDrag(a, 100));

    const ViewPoint overB = Label(1);
    tree.DragMove(overB, 200);
    EXPECT_EQ(tree.dropTarget(), b);
    EXPECT_EQ(view.DropHighlight(), b);
    tree.DragTick(overB, 200 + kDragHoverMs - 1);
    EXPECT_FALSE(view.IsExpanded(b));
    // A move restarts the wait.
    tree.DragMove({overB.x + 1, overB.y}, 900);
    tree.DragTick(overB, 200 + kDragHoverMs);
    EXPECT_FALSE(view.IsExpanded(b));
    tree.DragTick(overB, 900 + kDragHoverMs);
    EXPECT_TRUE(view.IsExpanded(b));
    EXPECT_EQ(view.Caret(), b);
    // It fires once per wait, and a second wait collapses again.
    tree.DragTick(overB, 5000);
    EXPECT_TRUE(view.IsExpanded(b));
    tree.DragMove(overB, 6000);
    tree.DragTick(overB, 6000 + kDragHoverMs);
    EXPECT_FALSE(view.IsExpanded(b));
}

TEST_F(TreeControlTest, NoDropTargetNearTheLeftEdge) {
    const TreeItem a = Add(kNoItem, 1);
    tree.UpdateDropTarget({kDropLeftMargin, 3});
    EXPECT_EQ(tree.dropTarget(), a);
    tree.UpdateDropTarget({kDropLeftMargin - 1, 3});
    EXPECT_EQ(tree.dropTarget(), kNoItem);
}

TEST(DragScrollPeriod, ShortensWithDistanceDownToEveryTick) {
    EXPECT_EQ(DragScrollPeriod(1), 6);
    EXPECT_EQ(DragScrollPeriod(19), 6);
    EXPECT_EQ(DragScrollPeriod(20), 5);
    EXPECT_EQ(DragScrollPeriod(40), 4);
    EXPECT_EQ(DragScrollPeriod(99), 2);
    EXPECT_EQ(DragScrollPeriod(100), 1);
    EXPECT_EQ(DragScrollPeriod(1000000), 1);
}

TEST_F(TreeControlTest, DragScrollsAtTheEdgesByThePeriod) {
    for (uint32_t id = 1; id <= 40; ++id) Add(kNoItem, id);  // 10 lines shown of 40
    tree.EnableDrag(true);
    tree.OnLeftButtonDown(Label(0), 0);
    ASSERT_TRUE(tree.BeginDrag(view.FirstTopItem(), 100));

    // Inside the middle: no scrolling.
    for (int t = 0; t < 12; ++t) tree.DragTick({50, 80}, 200);
    EXPECT_EQ(view.scrollLine(), 0);

    // Just above the bottom edge: one line every sixth tick.
    int scrolled = 0;
    for (int t = 1; t <= 12; ++t) {
        tree.DragTick({50, 159}, 200);
        if (view.scrollLine() != scrolled) {
            scrolled = view.scrollLine();
            EXPECT_EQ(t % 6, 0) << "tick " << t;
        }
    }
    EXPECT_EQ(scrolled, 2);
    EXPECT_EQ(tree.dropTarget(), view.LastVisibleItem());
    EXPECT_EQ(view.ItemData(tree.dropTarget()), 12u);

    // Far below: every tick.
    for (int t = 0; t < 5; ++t) tree.DragTick({50, 160 + 90}, 200);
    EXPECT_EQ(view.scrollLine(), 7);

    // Just inside the top edge scrolls up every sixth tick; 90 pixels above, every tick.
    const int before = view.scrollLine();
    for (int t = 0; t < 6; ++t) tree.DragTick({50, 5}, 200);
    EXPECT_EQ(view.scrollLine(), before - 1);
    EXPECT_EQ(tree.dropTarget(), view.FirstVisibleItem());
    for (int t = 0; t < 3; ++t) tree.DragTick({50, -90}, 200);
    EXPECT_EQ(view.scrollLine(), before - 4);
    EXPECT_EQ(view.ItemData(tree.dropTarget()), static_cast<uint32_t>(before - 4 + 1));

    tree.EndDrag();
    tree.DragTick({50, -90}, 200);
    EXPECT_EQ(view.scrollLine(), before - 4) << "no scrolling after the drag";
}

TEST(MemoryTreeView, DeletingAnItemDropsItsSubtreeAndMarks) {
    MemoryTreeView view;
    const TreeItem a = view.InsertItem(kNoItem, "a", 0, 0, 1);
    const TreeItem b = view.InsertItem(kNoItem, "b", 0, 0, 2);
    const TreeItem b1 = view.InsertItem(b, "b1", 0, 0, 3);
    const TreeItem c = view.InsertItem(kNoItem, "c", 0, 0, 4);
    view.SetCaret(b1);
    view.SetDropHighlight(b);
    view.DeleteItem(b);
    EXPECT_EQ(view.NextSibling(a), c);
    EXPECT_EQ(view.Caret(), kNoItem);
    EXPECT_EQ(view.DropHighlight(), kNoItem);
    EXPECT_EQ(view.Label(b1), "");
    EXPECT_EQ(view.InsertItem(b1, "orphan", 0, 0, 9), kNoItem);
    view.DeleteItem(a);
    EXPECT_EQ(view.FirstTopItem(), c);
}

}  // namespace
}  // namespace korvo
