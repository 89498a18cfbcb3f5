#include "controls/data_tree_items.h"

#include "store/node.h"

namespace korvo {
namespace {

int LockImage(const baseDataStruct* node) {
    const std::string lock = getinfo(node, kThisNode, "LockState");
    if (lock == "lock") return 1;
    if (lock == "unLock") return 2;
    return 3;
}

}  // namespace

TreeItemLook TreeItemLookOf(const baseDataStruct* node, bool forInsert) {
    TreeItemLook look;
    const std::string caption = getinfo(node, kThisNode, "caption");
    std::string count(kAbsent);
    const long valid = TextToLong(getinfo(node, kThisNode, "ValidateItemSum"));
    if (valid > 0) count = LongToText(valid);
    const long unread = TextToLong(getinfo(node, kThisNode, "UnreadItemSum"));
    bool markedUnread = false;
    if (unread > 0) {
        count = LongToText(unread) + "/" + (count == kAbsent ? std::string("0") : count);
        markedUnread = true;
    }
    look.label = caption;
    if (count != kAbsent && !count.empty()) look.label = caption + " (" + count + ")";
    if (forInsert && look.label == kAbsent) look.label = getinfo(node, kThisNode, "type");
    look.itemData = (node ? node->nodeId() : 0) & 0x7FFFFFFFu;
    if (markedUnread) look.itemData |= kTreeItemUnread;
    look.stateImage = LockImage(node);
    return look;
}

TreeItem DataInsertTreeItem(CBaseDataManage&, baseDataStruct* node, CBaseTreeControl* tree,
                            TreeItem parent, int image, int selectedImage) {
    if (!node || !tree) return kNoItem;
    const TreeItemLook look = TreeItemLookOf(node, true);
    TreeView& view = tree->view();
    const TreeItem item = view.InsertItem(parent, look.label, image, selectedImage, look.itemData);
    if (parent != kNoItem) view.SetStateImage(item, look.stateImage);
    return item;
}

bool DataUpdateTreeItem(CBaseDataManage& data, baseDataStruct* node, CBaseTreeControl* tree,
                        int expandAction) {
    if (!node || !tree) return false;
    const TreeItem item = tree->FindItem(kNoItem, node->nodeId() & kNodeIdMask);
    if (item == kNoItem) return false;
    TreeView& view = tree->view();
    const TreeItemLook look = TreeItemLookOf(node, false);
    view.SetLabel(item, look.label);
    view.SetItemData(item, look.itemData);
    view.SetStateImage(item, look.stateImage);

    // The outermost locked item at or above this one, if any. Refreshing an item never takes
    // the selection elsewhere unless it sits in a locked branch.
    TreeItem lockedTop = kNoItem;
    for (TreeItem up = item; up != kNoItem; up = view.Parent(up)) {
        if (view.StateImage(up) == 1) lockedTop = up;
    }
    if (lockedTop != kNoItem) {
        view.SetCaret(lockedTop);
        view.SetDropHighlight(lockedTop);
    }
    if (look.stateImage == 1) {
        view.Collapse(item);
    } else if (expandAction == 1) {
        view.Collapse(item);
    } else if (expandAction == 2) {
        view.Expand(item);
    }
    data.DataSaveList(node, 1);
    return true;
}

}  // namespace korvo
