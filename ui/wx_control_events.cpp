#include "ui/wx_control_events.h"

#include <chrono>

namespace korvo {

int64_t SteadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

WxListEvents::WxListEvents(WxListView& view, CBaseListControl& logic)
    : list_(view.control()), logic_(logic) {
    list_->Bind(wxEVT_LIST_COL_CLICK, &WxListEvents::OnColumnClick, this);
}

WxListEvents::~WxListEvents() {
    if (list_) list_->Unbind(wxEVT_LIST_COL_CLICK, &WxListEvents::OnColumnClick, this);
}

void WxListEvents::OnColumnClick(wxListEvent& event) {
    logic_.SortByColumn(event.GetColumn());
}

namespace {

ViewPoint ToView(const wxPoint& p) {
    return {p.x, p.y};
}

}  // namespace

WxTreeEvents::WxTreeEvents(WxTreeView& view, CBaseTreeControl& logic, MsClock clock)
    : tree_(view.control()), logic_(logic), clock_(std::move(clock)), timer_(this) {
    tree_->Bind(wxEVT_LEFT_DOWN, &WxTreeEvents::OnLeftDown, this);
    tree_->Bind(wxEVT_RIGHT_DOWN, &WxTreeEvents::OnRightDown, this);
    tree_->Bind(wxEVT_KEY_DOWN, &WxTreeEvents::OnKeyDown, this);
    tree_->Bind(wxEVT_TREE_BEGIN_DRAG, &WxTreeEvents::OnBeginDrag, this);
    tree_->Bind(wxEVT_TREE_BEGIN_RDRAG, &WxTreeEvents::OnBeginDrag, this);
    tree_->Bind(wxEVT_MOTION, &WxTreeEvents::OnMotion, this);
    tree_->Bind(wxEVT_LEFT_UP, &WxTreeEvents::OnButtonUp, this);
    tree_->Bind(wxEVT_RIGHT_UP, &WxTreeEvents::OnButtonUp, this);
    tree_->Bind(wxEVT_MOUSE_CAPTURE_LOST, &WxTreeEvents::OnCaptureLost, this);
    Bind(wxEVT_TIMER, &WxTreeEvents::OnTimer, this);
}

WxTreeEvents::~WxTreeEvents() {
    timer_.Stop();
    if (image_ && tree_) image_->EndDrag();
    if (!tree_) return;
    tree_->Unbind(wxEVT_LEFT_DOWN, &WxTreeEvents::OnLeftDown, this);
    tree_->Unbind(wxEVT_RIGHT_DOWN, &WxTreeEvents::OnRightDown, this);
    tree_->Unbind(wxEVT_KEY_DOWN, &WxTreeEvents::OnKeyDown, this);
    tree_->Unbind(wxEVT_TREE_BEGIN_DRAG, &WxTreeEvents::OnBeginDrag, this);
    tree_->Unbind(wxEVT_TREE_BEGIN_RDRAG, &WxTreeEvents::OnBeginDrag, this);
    tree_->Unbind(wxEVT_MOTION, &WxTreeEvents::OnMotion, this);
    tree_->Unbind(wxEVT_LEFT_UP, &WxTreeEvents::OnButtonUp, this);
    tree_->Unbind(wxEVT_RIGHT_UP, &WxTreeEvents::OnButtonUp, this);
    tree_->Unbind(wxEVT_MOUSE_CAPTURE_LOST, &WxTreeEvents::OnCaptureLost, this);
}

void WxTreeEvents::OnLeftDown(wxMouseEvent& event) {
    logic_.OnLeftButtonDown(ToView(event.GetPosition()), clock_());
    event.Skip();
}

void WxTreeEvents::OnRightDown(wxMouseEvent& event) {
    logic_.OnRightButtonDown(ToView(event.GetPosition()), clock_());
    event.Skip();
}

void WxTreeEvents::OnKeyDown(wxKeyEvent& event) {
    logic_.OnKeyDown();
    event.Skip();
}

void WxTreeEvents::OnBeginDrag(wxTreeEvent& event) {
    // The control's own drag stays vetoed: the drag image and timers are ours.
    event.Veto();
    if (!tree_ || logic_.dragging()) return;
    wxTreeItemId id = event.GetItem();
    if (!logic_.BeginDrag(WxTreeView::FromWx(id), clock_())) return;
    image_ = std::make_unique<wxDragImage>(*tree_, id);
    if (image_->BeginDrag(wxPoint(kDragHotSpot, kDragHotSpot), tree_)) {
        image_->Move(event.GetPoint());
        image_->Show();
    } else {
        image_.reset();
    }
    timer_.Start(kDragTickMs);
}

void WxTreeEvents::OnMotion(wxMouseEvent& event) {
    if (logic_.dragging()) {
        if (image_) image_->Hide();
        logic_.DragMove(ToView(event.GetPosition()), clock_());
        if (image_) {
            tree_->Update();
            image_->Move(event.GetPosition());
            image_->Show();
        }
    }
    event.Skip();
}

void WxTreeEvents::StopDrag() {
    timer_.Stop();
    if (image_) {
        image_->Hide();
        image_->EndDrag();  // releases the mouse capture
        image_.reset();
    }
    logic_.EndDrag();
}

void WxTreeEvents::OnButtonUp(wxMouseEvent& event) {
    if (logic_.dragging()) StopDrag();
    event.Skip();
}

void WxTreeEvents::OnCaptureLost(wxMouseCaptureLostEvent&) {
    if (logic_.dragging()) StopDrag();
}

void WxTreeEvents::Tick() {
    if (!tree_ || !logic_.dragging()) return;
    const wxPoint cursor = tree_->ScreenToClient(wxGetMousePosition());
    if (image_) image_->Hide();
    logic_.DragTick(ToView(cursor), clock_());
    if (image_) {
        tree_->Update();
        image_->Show();
    }
}

void WxTreeEvents::OnTimer(wxTimerEvent&) {
    Tick();
}

}  // namespace korvo
