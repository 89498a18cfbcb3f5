#include "model/box_place.h"

#include "controls/data_tree_items.h"
#include "model/form_fields.h"
#include "model/sys_schema.h"
#include "store/node_tree.h"

namespace korvo {

namespace {
constexpr uint32_t kPlaceCategories = CATEGORY_USER | CATEGORY_ACCOUNT | CATEGORY_BOX;
}

BoxPlaceTree::BoxPlaceTree(CSysData& sys, CBaseTreeControl& tree, Prompter& prompter)
    : sys_(sys), tree_(tree), prompter_(prompter), locks_(sys, tree, prompter) {
    locks_.EnableLockHandling(true);
}

std::vector<baseDataStruct*> BoxPlaceTree::Users() const {
    std::vector<baseDataStruct*> users;
    for (baseDataStruct* n = sys_.root()->firstSon(); n; n = n->nextBrother()) {
        if (teststate(n, STATE_VALID) && (getstate(n) & CATEGORY_USER)) users.push_back(n);
    }
    return users;
}

baseDataStruct* BoxPlaceTree::UserOf(baseDataStruct* node) const {
    if (!node) return nullptr;
    return sys_.DataGetSysPoint(node, kKindUser);
}

void BoxPlaceTree::ShowUser(baseDataStruct* user, baseDataStruct* start) {
    TreeView& view = tree_.view();
    view.DeleteAllItems();
    user_ = user;
    if (!user) return;
    sys_.SysShowSysTree(user, &tree_, kNoItem, kPlaceCategories, true);
    TreeItem item = start ? tree_.FindItem(kNoItem, start->nodeId() & kNodeIdMask) : kNoItem;
    if (item == kNoItem) item = tree_.FindItem(kNoItem, user->nodeId() & kNodeIdMask);
    if (item != kNoItem) tree_.SelectNodeItem(item);
}

baseDataStruct* BoxPlaceTree::NodeOf(TreeItem item) const {
    if (item == kNoItem) return nullptr;
    return findid(sys_.root(), tree_.view().ItemData(item) & kNodeIdMask);
}

baseDataStruct* BoxPlaceTree::ChosenPlace() {
    TreeView& view = tree_.view();
    const TreeItem chosen = view.Caret();
    baseDataStruct* node = NodeOf(chosen);
    if (!node) return nullptr;
    baseDataStruct* place = nullptr;
    if (getstate(node) & CATEGORY_BOX) {
        place = node;
    } else if (getstate(node) & CATEGORY_ACCOUNT) {
        place = sys_.DataGetSysPoint(node, kKindPBoxTree);
    }
    if (!place) {
        prompter_.Message("Choose the account or the box the new box goes into.", kErrorTitle);
        return nullptr;
    }
    // From the outermost item down: each one still locked here must be opened first.
    std::vector<TreeItem> path;
    for (TreeItem up = chosen; up != kNoItem; up = view.Parent(up)) path.push_back(up);
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        if (view.StateImage(*it) == kLockedStateImage && !locks_.OnItemExpanding(*it))
            return nullptr;
    }
    return place;
}

}  // namespace korvo
