// CBaseTreeControl: the tree of nodes. Every item stands for one node; its item data carries the
// node id in the low 24 bits. Adds to the TreeView: lookup by node id, the selection path, the
// rule that keeps the selection out of locked branches, and the drag rules.
//
// The logic owns no timers. While a drag runs the widget calls DragTick every kDragTickMs with
// the current time and cursor; the hover wait and the auto-scroll period are computed from
// those. The widget makes the drag image and captures the mouse when BeginDrag agrees.
#pragma once

#include <cstdint>
#include <string>

#include "controls/tree_view.h"

namespace korvo {

// A drag starts only this long after the button went down.
inline constexpr int64_t kDragMinPressMs = 60;
// Holding a dragged item over another this long selects and toggles that item.
inline constexpr int64_t kDragHoverMs = 800;
// The period of the scroll timer while dragging.
inline constexpr int kDragTickMs = 40;
// The hot spot of the drag image.
inline constexpr int kDragHotSpot = 8;
// Within this distance of the left edge there is no drop target.
inline constexpr int kDropLeftMargin = 20;
// The zone at the top and bottom edges where a drag scrolls.
inline constexpr int kScrollZone = 10;

// Scroll ticks per line for a cursor `beyond` pixels past the inner limit of the scroll zone
// (top + 10 or bottom - 10, counted outwards): 6 just inside the edge, down to 1.
int DragScrollPeriod(int beyond);

class CBaseTreeControl {
  public:
    // `view` must outlive the control.
    explicit CBaseTreeControl(TreeView& view) : view_(view) {}

    TreeView& view() { return view_; }

    // Depth-first from `start` (kNoItem: the first top item): the item, its subtree, then its
    // later siblings and their subtrees. Compares the low 24 bits of the item data.
    TreeItem FindItem(TreeItem start, uint32_t nodeId) const;

    // Selects the topmost ancestor-or-self showing state image 1 (a locked branch), or the
    // item itself: it becomes caret, drop highlight and current.
    void SelectNodeItem(TreeItem item);
    void SelectNodeItemAndRedraw(TreeItem item);
    TreeItem HitTestScreen(ViewPoint screenPoint) const;

    TreeItem currentItem() const { return current_; }
    long currentNodeId() const { return currentNodeId_; }
    // Node ids of the current item and its ancestors, innermost first: "7,3,0".
    const std::string& selectionPath() const { return selectionPath_; }
    // kTreeHit* parts hit by the last click.
    unsigned lastHitParts() const { return hitParts_; }

    // Mouse and keyboard, before the widget's default handling.
    void OnLeftButtonDown(ViewPoint clientPoint, int64_t nowMs);
    void OnRightButtonDown(ViewPoint clientPoint, int64_t nowMs);
    void OnKeyDown();

    void EnableDrag(bool on) { dragEnabled_ = on; }
    // True when a drag of `item` may start now; the widget then shows the drag image and
    // starts calling DragTick.
    bool BeginDrag(TreeItem item, int64_t nowMs);
    // Something dragged from another window (letters from the list) came over the tree: moves
    // and ticks run the hover wait and the auto-scroll as for an item drag, until EndDrag.
    void BeginOutsideDrag();
    bool dragging() const { return dragging_; }
    TreeItem draggedItem() const { return dragged_; }
    void DragMove(ViewPoint clientPoint, int64_t nowMs);
    void DragTick(ViewPoint clientPoint, int64_t nowMs);
    void EndDrag();

    // The item a drag would drop on; kNoItem near the left edge or over no item. Drags from
    // other windows keep it current through UpdateDropTarget.
    TreeItem dropTarget() const { return dropTarget_; }
    void UpdateDropTarget(ViewPoint clientPoint);

  private:
    void MakeCurrent(TreeItem item);

    TreeView& view_;
    TreeItem current_ = kNoItem;
    long currentNodeId_ = -1;
    std::string selectionPath_;
    unsigned hitParts_ = 0;
    int64_t pressMs_ = 0;
    bool pressed_ = false;

    bool dragEnabled_ = false;
    bool dragging_ = false;
    TreeItem dragged_ = kNoItem;
    TreeItem dropTarget_ = kNoItem;
    bool hoverPending_ = false;
    int64_t hoverDueMs_ = 0;
    ViewPoint hoverPoint_;
    long ticks_ = 0;
};

}  // namespace korvo
