#include "ui/tree_drop_target.h"

#include <cstdlib>

#include "ui/wx_text.h"

namespace korvo {

const wxDataFormat& LetterDragFormat() {
    static const wxDataFormat format("application/x-korvo-letters");
    return format;
}

namespace {

ViewPoint ToView(wxCoord x, wxCoord y) {
    return ViewPoint{x, y};
}

}  // namespace

TreeDropTarget::TreeDropTarget(WxTreeView& view, CBaseTreeControl& logic, Handlers handlers,
                               MsClock clock)
    : view_(view), logic_(logic), handlers_(std::move(handlers)), clock_(std::move(clock)) {
    auto* both = new wxDataObjectComposite;
    letters_ = new wxCustomDataObject(LetterDragFormat());
    files_ = new wxFileDataObject;
    both->Add(letters_, true);
    both->Add(files_);
    SetDataObject(both);
}

TreeDropTarget::Kind TreeDropTarget::DraggedKind() {
    const wxDataFormat format = GetMatchingPair();
    if (format == LetterDragFormat()) return Kind::kLetters;
    if (format == wxDF_FILENAME) return Kind::kFiles;
    return Kind::kNone;
}

wxDragResult TreeDropTarget::OnEnter(wxCoord x, wxCoord y, wxDragResult def) {
    logic_.BeginOutsideDrag();
    ticker_.Start(kDragTickMs);
    return OnDragOver(x, y, def);
}

wxDragResult TreeDropTarget::OnDragOver(wxCoord x, wxCoord y, wxDragResult def) {
    cursor_ = wxPoint(x, y);
    logic_.DragMove(ToView(x, y), clock_());
    return Answer(x, y, def);
}

wxDragResult TreeDropTarget::Answer(wxCoord, wxCoord, wxDragResult def) {
    const TreeItem item = logic_.dropTarget();
    if (item == kNoItem) return wxDragNone;
    switch (DraggedKind()) {
        case Kind::kLetters:
            // The box is only known once the data is read; any box item may take letters.
            return handlers_.acceptsLetters && handlers_.acceptsLetters(item, 0) ? def : wxDragNone;
        case Kind::kFiles:
            return handlers_.acceptsFiles && handlers_.acceptsFiles(item) ? wxDragCopy : wxDragNone;
        case Kind::kNone:
            break;
    }
    return wxDragNone;
}

void TreeDropTarget::Stop() {
    ticker_.Stop();
    logic_.EndDrag();
    view_.SetDropHighlight(kNoItem);
}

void TreeDropTarget::OnLeave() {
    Stop();
}

bool TreeDropTarget::OnDrop(wxCoord x, wxCoord y) {
    logic_.UpdateDropTarget(ToView(x, y));
    return logic_.dropTarget() != kNoItem && DraggedKind() != Kind::kNone;
}

wxDragResult TreeDropTarget::OnData(wxCoord x, wxCoord y, wxDragResult def) {
    logic_.UpdateDropTarget(ToView(x, y));
    const TreeItem item = logic_.dropTarget();
    const Kind kind = DraggedKind();
    Stop();
    if (item == kNoItem || !GetData()) return wxDragNone;
    if (kind == Kind::kLetters) {
        const std::string text(static_cast<const char*>(letters_->GetData()), letters_->GetSize());
        const uint32_t box = static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
        if (!handlers_.acceptsLetters || !handlers_.acceptsLetters(item, box)) return wxDragNone;
        handlers_.dropLetters(item, box, def == wxDragCopy);
        return def;
    }
    if (kind == Kind::kFiles) {
        if (!handlers_.acceptsFiles || !handlers_.acceptsFiles(item)) return wxDragNone;
        std::vector<std::string> paths;
        for (const wxString& name : files_->GetFilenames()) paths.push_back(BytesFromWx(name));
        handlers_.dropFiles(item, paths);
        return wxDragCopy;
    }
    return wxDragNone;
}

void TreeDropTarget::Ticker::Notify() {
    target_.logic_.DragTick(ToView(target_.cursor_.x, target_.cursor_.y), target_.clock_());
}

}  // namespace korvo
