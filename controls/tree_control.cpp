#include "controls/tree_control.h"

#include "platform/string_format.h"
#include "store/node.h"

namespace korvo {
namespace {

constexpr int kLockedStateImage = 1;
constexpr int kSlowestScrollPeriod = 6;

}  // namespace

int DragScrollPeriod(int beyond) {
    const int d = beyond / 20;
    return d < kSlowestScrollPeriod ? kSlowestScrollPeriod - d : 1;
}

TreeItem CBaseTreeControl::FindItem(TreeItem start, uint32_t nodeId) const {
    if (start == kNoItem) start = view_.FirstTopItem();
    const uint32_t want = nodeId & kNodeIdMask;
    // Pre-order walk without recursion; depth is counted from `start` so the walk never climbs
    // above the start item's level.
    TreeItem item = start;
    long depth = 0;
    while (item != kNoItem) {
        if ((view_.ItemData(item) & kNodeIdMask) == want) return item;
        if (TreeItem child = view_.FirstChild(item); child != kNoItem) {
            item = child;
            ++depth;
            continue;
        }
        for (;;) {
            if (TreeItem next = view_.NextSibling(item); next != kNoItem) {
                item = next;
                break;
            }
            if (depth == 0) return kNoItem;
            item = view_.Parent(item);
            --depth;
        }
    }
    return kNoItem;
}

void CBaseTreeControl::MakeCurrent(TreeItem item) {
    current_ = item;
    selectionPath_.clear();
    if (item == kNoItem) {
        currentNodeId_ = -1;
        return;
    }
    currentNodeId_ = static_cast<long>(view_.ItemData(item) & kNodeIdMask);
    for (TreeItem i = item; i != kNoItem; i = view_.Parent(i)) {
        selectionPath_ += StrPrintf("%u,", view_.ItemData(i) & kNodeIdMask);
    }
    selectionPath_.pop_back();
}

void CBaseTreeControl::SelectNodeItem(TreeItem item) {
    if (item == kNoItem) return;
    TreeItem chosen = item;
    for (TreeItem i = item; i != kNoItem; i = view_.Parent(i)) {
        if (view_.StateImage(i) == kLockedStateImage) chosen = i;
    }
    view_.SetCaret(chosen);
    view_.SetDropHighlight(chosen);
    MakeCurrent(chosen);
}

void CBaseTreeControl::SelectNodeItemAndRedraw(TreeItem item) {
    view_.SetDropHighlight(item);
    MakeCurrent(item);
    view_.Redraw();
}

TreeItem CBaseTreeControl::HitTestScreen(ViewPoint screenPoint) const {
    return view_.HitTest(view_.ScreenToClient(screenPoint)).item;
}

void CBaseTreeControl::OnLeftButtonDown(ViewPoint clientPoint, int64_t nowMs) {
    pressMs_ = nowMs;
    pressed_ = true;
    const TreeHit hit = view_.HitTest(clientPoint);
    hitParts_ = hit.parts;
    if (hit.item != kNoItem &&
        (hit.parts & (kTreeHitLabel | kTreeHitIcon | kTreeHitStateImage)) != 0) {
        view_.SetDropHighlight(hit.item);
    }
    MakeCurrent(hit.item);
}

void CBaseTreeControl::OnRightButtonDown(ViewPoint clientPoint, int64_t nowMs) {
    pressMs_ = nowMs;
    pressed_ = true;
    const TreeHit hit = view_.HitTest(clientPoint);
    hitParts_ = hit.parts;
    MakeCurrent(hit.item);
    if (current_ != kNoItem) SelectNodeItem(current_);
}

void CBaseTreeControl::OnKeyDown() {
    MakeCurrent(view_.Caret());
}

bool CBaseTreeControl::BeginDrag(TreeItem item, int64_t nowMs) {
    if (!dragEnabled_ || item == kNoItem) return false;
    if (!pressed_ || nowMs - pressMs_ < kDragMinPressMs) return false;
    dragging_ = true;
    dragged_ = item;
    dropTarget_ = kNoItem;
    hoverPending_ = false;
    ticks_ = 0;
    return true;
}

void CBaseTreeControl::BeginOutsideDrag() {
    dragging_ = true;
    dragged_ = kNoItem;
    dropTarget_ = kNoItem;
    hoverPending_ = false;
    ticks_ = 0;
}

void CBaseTreeControl::UpdateDropTarget(ViewPoint clientPoint) {
    if (clientPoint.x < view_.ClientRect().left + kDropLeftMargin) {
        dropTarget_ = kNoItem;
        return;
    }
    dropTarget_ = view_.HitTest(clientPoint).item;
    if (dropTarget_ != kNoItem) view_.SetDropHighlight(dropTarget_);
}

void CBaseTreeControl::DragMove(ViewPoint clientPoint, int64_t nowMs) {
    if (!dragging_) return;
    // Every move restarts the hover wait.
    hoverPending_ = true;
    hoverDueMs_ = nowMs + kDragHoverMs;
    hoverPoint_ = clientPoint;
    UpdateDropTarget(clientPoint);
}

void CBaseTreeControl::DragTick(ViewPoint clientPoint, int64_t nowMs) {
    if (!dragging_) return;
    if (hoverPending_ && nowMs >= hoverDueMs_) {
        hoverPending_ = false;
        const TreeItem item = view_.HitTest(hoverPoint_).item;
        if (item != kNoItem) {
            view_.SetCaret(item);
            if (view_.IsExpanded(item)) {
                view_.Collapse(item);
            } else {
                view_.Expand(item);
            }
        }
    }

    ++ticks_;
    const ViewRect rect = view_.ClientRect();
    if (clientPoint.y < rect.top + kScrollZone) {
        if (ticks_ % DragScrollPeriod(rect.top + kScrollZone - clientPoint.y) == 0) {
            view_.ScrollLines(-1);
            dropTarget_ = view_.FirstVisibleItem();
        }
    } else if (clientPoint.y > rect.bottom - kScrollZone) {
        if (ticks_ % DragScrollPeriod(clientPoint.y - (rect.bottom - kScrollZone)) == 0) {
            view_.ScrollLines(1);
            dropTarget_ = view_.LastVisibleItem();
        }
    }
}

void CBaseTreeControl::EndDrag() {
    dragging_ = false;
    dragged_ = kNoItem;
    hoverPending_ = false;
    pressed_ = false;
}

}  // namespace korvo
