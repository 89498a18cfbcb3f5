// The user tree as a drop target: letters dragged from the letter list (the desktop's own
// format) and files from other programs. While something is over the tree the tree logic keeps
// the drop target, expands an item held under the cursor and scrolls at the edges, as for a
// drag of one of its items.
#pragma once

#include <wx/dnd.h>
#include <wx/timer.h>

#include <functional>
#include <string>
#include <vector>

#include "controls/tree_control.h"
#include "ui/wx_control_events.h"
#include "ui/wx_tree_view.h"

namespace korvo {

// The format of letters dragged from the letter list; the data is the node id of their box as
// decimal text. The letters themselves are the list's selection.
const wxDataFormat& LetterDragFormat();

class TreeDropTarget : public wxDropTarget {
  public:
    struct Handlers {
        // Whether letters of box `boxId` may be dropped on the item.
        std::function<bool(TreeItem item, uint32_t boxId)> acceptsLetters;
        // `copy`: Ctrl was held (a copy), otherwise a move.
        std::function<void(TreeItem item, uint32_t boxId, bool copy)> dropLetters;
        std::function<bool(TreeItem item)> acceptsFiles;
        std::function<void(TreeItem item, const std::vector<std::string>& paths)> dropFiles;
    };

    // `view` and `logic` must outlive the target, which the tree control owns once set.
    TreeDropTarget(WxTreeView& view, CBaseTreeControl& logic, Handlers handlers,
                   MsClock clock = SteadyMs);

    wxDragResult OnEnter(wxCoord x, wxCoord y, wxDragResult def) override;
    wxDragResult OnDragOver(wxCoord x, wxCoord y, wxDragResult def) override;
    void OnLeave() override;
    bool OnDrop(wxCoord x, wxCoord y) override;
    wxDragResult OnData(wxCoord x, wxCoord y, wxDragResult def) override;

  private:
    class Ticker : public wxTimer {
      public:
        explicit Ticker(TreeDropTarget& target) : target_(target) {}
        void Notify() override;

      private:
        TreeDropTarget& target_;
    };

    // What is dragged: letters, files or neither.
    enum class Kind { kNone, kLetters, kFiles };
    Kind DraggedKind();
    wxDragResult Answer(wxCoord x, wxCoord y, wxDragResult def);
    void Stop();

    WxTreeView& view_;
    CBaseTreeControl& logic_;
    Handlers handlers_;
    MsClock clock_;
    Ticker ticker_{*this};
    wxCustomDataObject* letters_;  // owned by the composite
    wxFileDataObject* files_;
    wxPoint cursor_;
};

}  // namespace korvo
