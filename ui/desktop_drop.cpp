// Drag and drop on the desktop: letters dragged from the list onto a box of the tree (a move,
// or a copy with Ctrl), and files dropped on a box, which are imported into it.
#include <wx/dnd.h>

#include "platform/model_lock.h"
#include "store/node_tree.h"
#include "ui/desktop.h"
#include "ui/tree_drop_target.h"

namespace korvo {
namespace {

bool IsBox(const baseDataStruct* node) {
    return node && getinfo(node, kThisNode, "type") == "Box";
}

}  // namespace

void Desktop::SetUpTreeDrop() {
    TreeDropTarget::Handlers handlers;
    // Letters go to another box of the same user: another user's letters live in another file.
    const auto letterTarget = [this](TreeItem item) -> baseDataStruct* {
        baseDataStruct* shown = letters_->shownBox();
        baseDataStruct* node = tree_->NodeOfItem(item);
        if (!shown || !IsBox(node) || node == shown) return nullptr;
        CSysData& sys = stores_.sys();
        return sys.DataGetSysPoint(node, kKindUser) == sys.DataGetSysPoint(shown, kKindUser)
                   ? node
                   : nullptr;
    };
    handlers.acceptsLetters = [this, letterTarget](TreeItem item, uint32_t boxId) {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        baseDataStruct* shown = letters_->shownBox();
        return letterTarget(item) && (boxId == 0 || (shown && shown->nodeId() == boxId));
    };
    handlers.dropLetters = [this, letterTarget](TreeItem item, uint32_t, bool copy) {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        if (baseDataStruct* box = letterTarget(item))
            letters_->boxCopyLetter(box, copy ? kCopyLetters : 0);
    };
    handlers.acceptsFiles = [this](TreeItem item) {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        return IsBox(tree_->NodeOfItem(item));
    };
    handlers.dropFiles = [this](TreeItem item, const std::vector<std::string>& paths) {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        baseDataStruct* box = tree_->NodeOfItem(item);
        if (!IsBox(box)) return;
        // The import runs once the other program's drag has ended.
        const uint32_t id = box->nodeId();
        window_->CallAfter([this, id, paths] {
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            baseDataStruct* target = findid(stores_.sys().root(), id);
            if (IsBox(target)) ImportLetterFiles(target, paths);
        });
    };
    window_->userTree().control()->SetDropTarget(
        new TreeDropTarget(window_->userTree(), *treeControl_, std::move(handlers)));
}

void Desktop::OnListBeginDrag(wxListEvent&) {
    baseDataStruct* box = letters_->shownBox();
    if (!box || letters_->selectedLetters().empty()) return;
    const std::string id = std::to_string(box->nodeId());
    wxCustomDataObject data(LetterDragFormat());
    data.SetData(id.size(), id.data());
    wxDropSource source(data, window_->letterList().control());
    source.DoDragDrop(wxDrag_AllowMove | wxDrag_DefaultMove);
}

}  // namespace korvo
