// Forwarding of widget events to the list and tree logic. Each binder attaches to the control
// of its view when made and detaches when destroyed; keep it beside the view and the logic.
#pragma once

#include <wx/defs.h>
#include <wx/dragimag.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "controls/list_control.h"
#include "controls/tree_control.h"
#include "ui/wx_list_view.h"
#include "ui/wx_tree_view.h"

namespace korvo {

// Milliseconds of a steady clock; tests pass their own.
using MsClock = std::function<int64_t()>;
int64_t SteadyMs();

// Header clicks sort the list.
class WxListEvents {
  public:
    WxListEvents(WxListView& view, CBaseListControl& logic);
    ~WxListEvents();
    WxListEvents(const WxListEvents&) = delete;
    WxListEvents& operator=(const WxListEvents&) = delete;

  private:
    void OnColumnClick(wxListEvent& event);

    wxWeakRef<wxListCtrl> list_;
    CBaseListControl& logic_;
};

// Clicks and keys keep the current item and selection path; item drags run with a drag image,
// the hover wait and auto-scroll, driven by a kDragTickMs timer.
class WxTreeEvents : public wxEvtHandler {
  public:
    WxTreeEvents(WxTreeView& view, CBaseTreeControl& logic, MsClock clock = SteadyMs);
    ~WxTreeEvents() override;

    // One timer step, as the timer would run it (also for tests).
    void Tick();

  private:
    void OnLeftDown(wxMouseEvent& event);
    void OnRightDown(wxMouseEvent& event);
    void OnKeyDown(wxKeyEvent& event);
    void OnBeginDrag(wxTreeEvent& event);
    void OnMotion(wxMouseEvent& event);
    void OnButtonUp(wxMouseEvent& event);
    void OnCaptureLost(wxMouseCaptureLostEvent& event);
    void OnTimer(wxTimerEvent& event);
    void StopDrag();

    wxWeakRef<wxTreeCtrl> tree_;
    CBaseTreeControl& logic_;
    MsClock clock_;
    wxTimer timer_;
    std::unique_ptr<wxDragImage> image_;
};

}  // namespace korvo
