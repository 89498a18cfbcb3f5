// Nodes shown as tree items: the label with its counters, the item data (node id, bit 31 for
// unread) and the lock state image.
//
// Label: the node's `caption`, followed by " (unread/valid)", " (unread/0)" or " (valid)" when
// `UnreadItemSum` or `ValidateItemSum` is above 0. State image (items under a parent, and
// every refreshed item): 1 locked, 2 lock set but unlocked, 3 no lock.
#pragma once

#include <cstdint>
#include <string>

#include "controls/tree_control.h"
#include "store/data_manager.h"

namespace korvo {

inline constexpr uint32_t kTreeItemUnread = 0x80000000u;

// The label text and item data a node shows with. `forInsert` uses the node's `type` when it
// has neither caption nor counters.
struct TreeItemLook {
    std::string label;
    uint32_t itemData = 0;
    int stateImage = 3;
};
TreeItemLook TreeItemLookOf(const baseDataStruct* node, bool forInsert);

// Appends an item for `node` as the last child of `parent` (kNoItem: at the top level).
TreeItem DataInsertTreeItem(CBaseDataManage& data, baseDataStruct* node, CBaseTreeControl* tree,
                            TreeItem parent, int image, int selectedImage);

// Refreshes the item of `node` (label, item data, state image). A locked item is collapsed;
// otherwise `expandAction` 1 collapses and 2 expands it. The selection is moved out of a
// locked branch to its outermost locked item. Then the node is written. False when the node
// has no item.
bool DataUpdateTreeItem(CBaseDataManage& data, baseDataStruct* node, CBaseTreeControl* tree,
                        int expandAction);

}  // namespace korvo
