#include "controls/data_tree_items.h"

namespace korvo {

TreeItemText DataTreeItemText(const baseDataStruct* node) {
    TreeItemText out;
    out.label = getinfo(node, kThisNode, "caption");
    std::string count(kAbsent);
    const long valid = TextToLong(getinfo(node, kThisNode, "ValidateItemSum"));
    if (valid > 0) count = LongToText(valid);
    const long unread = TextToLong(getinfo(node, kThisNode, "UnreadItemSum"));
    if (unread > 0) {
        count = LongToText(unread) + "/" + (count == kAbsent ? std::string("0") : count);
        out.unread = true;
    }
    if (count != kAbsent && !count.empty()) out.label += " (" + count + ")";
    return out;
}

uint32_t DataTreeItemData(const baseDataStruct* node, bool unread) {
    const uint32_t id = node ? node->nodeId() & 0x7FFFFFFF : 0;
    return unread ? id | kTreeItemUnread : id;
}

int DataLockImage(const baseDataStruct* node) {
    const std::string lock = getinfo(node, kThisNode, "LockState");
    if (lock == "lock") return kLockedImage;
    if (lock == "unLock") return kUnlockedImage;
    return kNoLockImage;
}

TreeItem DataInsertTreeItem(CBaseDataManage&, baseDataStruct* node, CBaseTreeControl* tree,
                            TreeItem parent, int image, int selectedImage) {
    if (!node || !tree) return kNoItem;
    TreeItemText text = DataTreeItemText(node);
    if (text.label == kAbsent) text.label = getinfo(node, kThisNode, "type");
    TreeView& view = tree->view();
    const TreeItem item = view.InsertItem(parent, text.label, image, selectedImage,
                                          DataTreeItemData(node, text.unread));
    if (item != kNoItem && parent != kNoItem) view.SetStateImage(item, DataLockImage(node));
    return item;
}

bool DataUpdateTreeItem(CBaseDataManage& manager, baseDataStruct* node, CBaseTreeControl* tree,
                        int expandAction) {
    if (!node || !tree) return false;
    const TreeItem item = tree->FindItem(kNoItem, node->nodeId());
    if (item == kNoItem) return false;
    TreeView& view = tree->view();
    const TreeItemText text = DataTreeItemText(node);
    view.SetLabel(item, text.label);
    view.SetItemData(item, DataTreeItemData(node, text.unread));
    const int lockImage = DataLockImage(node);
    view.SetStateImage(item, lockImage);
    tree->SelectNodeItem(item);
    if (lockImage == kLockedImage) {
        view.Collapse(item);
    } else if (expandAction == 1) {
        view.Collapse(item);
    } else if (expandAction == 2) {
        view.Expand(item);
    }
    manager.DataSaveList(node, 1);
    return true;
}

}  // namespace korvo
