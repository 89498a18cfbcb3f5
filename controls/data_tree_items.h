// Tree items for nodes: the label, item data and lock image of a node's item, and inserting or
// refreshing such an item. The data manager is passed for the write that follows a refresh.
#pragma once

#include <string>

#include "controls/tree_control.h"
#include "store/data_manager.h"

namespace korvo {

// Bit 31 of a node's item data: the item shows unread contents.
inline constexpr uint32_t kTreeItemUnread = 0x80000000;

// State images of a node's item by its lock state.
inline constexpr int kLockedImage = 1;
inline constexpr int kUnlockedImage = 2;
inline constexpr int kNoLockImage = 3;

struct TreeItemText {
    std::string label;  // caption, with " (unread/valid)" or " (valid)" when there are counts
    bool unread = false;
};

// The label of a node's item: the caption, followed by the counts in brackets when
// `UnreadItemSum` or `ValidateItemSum` is above 0 ("Inbox (3/10)", "Inbox (3/0)", "Inbox (10)").
TreeItemText DataTreeItemText(const baseDataStruct* node);

// Item data: the node id in the low 31 bits, kTreeItemUnread when unread.
uint32_t DataTreeItemData(const baseDataStruct* node, bool unread);

// State image for the node's `LockState`: locked, unlocked, or none.
int DataLockImage(const baseDataStruct* node);

// Appends an item for `node` as the last child of `parent` (kNoItem: top level) and returns it.
// A node without caption or counts is labelled with its `type`. Under a parent the item gets the
// lock image of the node.
TreeItem DataInsertTreeItem(CBaseDataManage& manager, baseDataStruct* node, CBaseTreeControl* tree,
                            TreeItem parent, int image, int selectedImage);

// Finds the node's item and refreshes its label, item data and lock image. The selection moves
// to the outermost locked item above it (or to the item); a locked item is collapsed, any other
// gets `expandAction` (1 collapse, 2 expand, else nothing). Then the node is written. False when
// the node has no item.
bool DataUpdateTreeItem(CBaseDataManage& manager, baseDataStruct* node, CBaseTreeControl* tree,
                        int expandAction);

}  // namespace korvo
