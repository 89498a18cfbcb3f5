#include "shell/tree_user.h"

#include <mutex>

#include "controls/data_tree_items.h"
#include "filters/apply_rules.h"
#include "platform/model_lock.h"
#include "store/diag_log.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

constexpr uint32_t kShowUserTree = CATEGORY_USER | CATEGORY_ACCOUNT | CATEGORY_BOX;

bool LockedState(const baseDataStruct* node) {
    return getinfo(node, kThisNode, "LockState") == "lock";
}

bool HasLock(const baseDataStruct* node) {
    return node && getinfo(node, kThisNode, "LockState") != kAbsent;
}

}  // namespace

std::string_view TreeMenuName(TreeMenu menu) {
    switch (menu) {
        case TreeMenu::kSystem:
            return "System";
        case TreeMenu::kUser:
            return "User";
        case TreeMenu::kAccount:
            return "Account";
        case TreeMenu::kBox:
            return "Box";
        case TreeMenu::kNone:
            break;
    }
    return "";
}

CTreeUser::CTreeUser(CDataStores& stores, CBaseTreeControl& tree, CLetterList& letters,
                     ShellDialogs& dialogs, TreeUserHost& host)
    : stores_(stores), tree_(tree), letters_(letters), dialogs_(dialogs), host_(host) {}

bool CTreeUser::InitialUpdate() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnInitialUpdate()");
    CSysData& sys = stores_.sys();
    // Whoever opened the store first may already hold its nodes: opening it again would
    // destroy them.
    if (!sys.isOpen() && !stores_.OpenSystemStore()) return false;
    tree_.view().DeleteAllItems();
    // The current item went with the items: take the (now empty) caret as current.
    tree_.OnKeyDown();
    sys.SysShowSysTree(nullptr, &tree_, kNoItem, kShowUserTree, false);

    baseDataStruct* root = sys.root();
    if (getinfo(root, kThisNode, "RUNSTART") == kAbsent) {
        setinfo(root, kThisNode, "RUNSTART", "RUNSTART");
        sys.DataSavePoint(root);
        host_.RegisterAutostart();
    }
    bool haveUser = false;
    for (baseDataStruct* s = root->firstSon(); s && !haveUser; s = s->nextBrother()) {
        haveUser = teststate(s, STATE_VALID) && teststate(s, CATEGORY_USER);
    }
    if (!haveUser) host_.RequestCreateUser();
    return true;
}

baseDataStruct* CTreeUser::NodeOfItem(TreeItem item) const {
    if (item == kNoItem) return nullptr;
    return findid(stores_.sys().root(), tree_.view().ItemData(item) & kNodeIdMask);
}

TreeItem CTreeUser::ItemOfNode(const baseDataStruct* node) const {
    return node ? tree_.FindItem(kNoItem, node->nodeId()) : kNoItem;
}

baseDataStruct* CTreeUser::selectedNode() {
    Lock lock(ModelLock());
    return NodeOfItem(tree_.currentItem());
}

baseDataStruct* CTreeUser::Above(baseDataStruct* node, uint32_t category) const {
    const baseDataStruct* root = stores_.sys().root();
    for (baseDataStruct* n = node; n && n != root; n = n->parent()) {
        if (getstate(n) & category) return n;
    }
    return nullptr;
}

TreeMenu CTreeUser::MenuFor(const baseDataStruct* node) const {
    if (!node) return TreeMenu::kNone;
    if (node == stores_.sys().root()) return TreeMenu::kSystem;
    const uint32_t state = getstate(node);
    if (state & CATEGORY_USER) return TreeMenu::kUser;
    if (state & CATEGORY_ACCOUNT) return TreeMenu::kAccount;
    if (state & CATEGORY_BOX) return TreeMenu::kBox;
    return TreeMenu::kNone;
}

CTreeUser::ViewState CTreeUser::ComputeViewState() {
    ViewState v;
    baseDataStruct* node = NodeOfItem(tree_.currentItem());
    if (!node) return v;
    v.system = true;
    const TreeMenu kind = MenuFor(node);
    const bool isUser = kind == TreeMenu::kUser;
    const bool isAccount = kind == TreeMenu::kAccount;
    const bool isBox = kind == TreeMenu::kBox;
    v.user = isUser || isAccount || isBox;
    v.account = isAccount || isBox;
    v.box = isBox;
    v.userLocked = isUser && LockedState(node);
    v.accountLocked = isAccount && LockedState(node);
    v.boxLocked = isBox && LockedState(node);
    v.boxHaveLock = isBox && HasLock(node);
    v.accountHaveLock = HasLock(Above(node, CATEGORY_ACCOUNT));
    v.userHaveLock = HasLock(Above(node, CATEGORY_USER));
    return v;
}

bool CTreeUser::askMenuState(std::string_view question) {
    Lock lock(ModelLock());
    const ViewState v = ComputeViewState();
    if (question == "HaveSystem") return v.system;
    if (question == "HaveUser") return v.user;
    if (question == "HaveAccount") return v.account;
    if (question == "HaveBox") return v.box;
    if (question == "UserLocked") return v.userLocked;
    if (question == "AccountLocked") return v.accountLocked;
    if (question == "BoxLocked") return v.boxLocked;
    if (question == "BoxHaveLock") return v.boxHaveLock;
    if (question == "AccountHaveLock") return v.accountHaveLock;
    if (question == "UserHaveLock") return v.userHaveLock;
    return false;
}

bool CTreeUser::IsCommandEnabled(TreeCommand command) {
    Lock lock(ModelLock());
    const ViewState v = ComputeViewState();
    switch (command) {
        case TreeCommand::kAddUser:
        case TreeCommand::kSystemOption:
            return true;
        case TreeCommand::kUserOption:
        case TreeCommand::kDeleteUser:
        case TreeCommand::kLockUser:
        case TreeCommand::kAddAccount:
            return v.user;
        case TreeCommand::kClearUserLock:
            return v.user && v.userHaveLock;
        case TreeCommand::kAccountOption:
        case TreeCommand::kDeleteAccount:
        case TreeCommand::kLockAccount:
            return v.account;
        case TreeCommand::kClearAccountLock:
            return v.account && v.accountHaveLock;
        case TreeCommand::kAddBox:
            return v.account || v.box;
        case TreeCommand::kBoxOption:
        case TreeCommand::kLockBox:
        case TreeCommand::kApplyFilters:
            return v.box;
        case TreeCommand::kDeleteBox:
            return v.box && getinfo(Selected(CATEGORY_BOX), kThisNode, "style") != "sys";
        case TreeCommand::kClearBoxLock:
            return v.box && v.boxHaveLock;
    }
    return false;
}

bool CTreeUser::IsCommandChecked(TreeCommand command) {
    Lock lock(ModelLock());
    const ViewState v = ComputeViewState();
    switch (command) {
        case TreeCommand::kLockUser:
            return v.userLocked;
        case TreeCommand::kLockAccount:
            return v.accountLocked;
        case TreeCommand::kLockBox:
            return v.boxLocked;
        default:
            return false;
    }
}

void CTreeUser::RunCommand(TreeCommand command) {
    Lock lock(ModelLock());
    if (!IsCommandEnabled(command)) return;
    switch (command) {
        case TreeCommand::kAddUser:
            return CreateUser();
        case TreeCommand::kSystemOption:
            return;
        case TreeCommand::kUserOption:
            return OnPModifyUser();
        case TreeCommand::kDeleteUser:
            return OnPDelUser();
        case TreeCommand::kLockUser:
            return LockItem(CATEGORY_USER);
        case TreeCommand::kClearUserLock:
            return ClearItemLock(CATEGORY_USER);
        case TreeCommand::kAddAccount:
            return CreateAccount();
        case TreeCommand::kAccountOption:
            return OnPModifyAccount();
        case TreeCommand::kDeleteAccount:
            return OnPDeleteAccount();
        case TreeCommand::kLockAccount:
            return LockItem(CATEGORY_ACCOUNT);
        case TreeCommand::kClearAccountLock:
            return ClearItemLock(CATEGORY_ACCOUNT);
        case TreeCommand::kAddBox:
            return OnPAddBox();
        case TreeCommand::kBoxOption:
            return OnPModifyBox();
        case TreeCommand::kDeleteBox:
            return OnPDelBox();
        case TreeCommand::kLockBox:
            return LockItem(CATEGORY_BOX);
        case TreeCommand::kClearBoxLock:
            return ClearItemLock(CATEGORY_BOX);
        case TreeCommand::kApplyFilters:
            return ApplyFilters();
    }
}

void CTreeUser::OnSelectionChanged(TreeItem item) {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnSelchanged(NMHDR* pNMHDR, LRESULT* pResult)");
    if (item == kNoItem) return;
    // The selection never rests inside a locked branch, so nothing of it is shown.
    tree_.SelectNodeItem(item);
    baseDataStruct* node = NodeOfItem(tree_.currentItem());
    if (!node) {
        ClearList();
        return;
    }
    CSysData& sys = stores_.sys();
    setinfo(sys.root(), kThisNode, "SelectItem", getinfo(node, kThisNode, "pointId"));
    sys.DataSavePoint(sys.root());
    ShowSelection(node);
}

void CTreeUser::ShowSelection(baseDataStruct* node) {
    switch (MenuFor(node)) {
        case TreeMenu::kBox:
            letters_.showList(LockedState(node) ? nullptr : node);
            return;
        case TreeMenu::kAccount:
            if (!LockedState(node)) {
                letters_.ShowAccount(node);
                return;
            }
            break;
        default:
            break;
    }
    ClearList();
}

void CTreeUser::ClearList() {
    letters_.showList(nullptr);
    host_.ClearAddressView();
}

void CTreeUser::Reselect() {
    // The current item is what the tree works on; a refresh may have moved only the caret,
    // which selecting the current item again moves out of a locked branch anyway.
    TreeItem item = tree_.currentItem();
    if (item == kNoItem) item = tree_.view().Caret();
    if (item != kNoItem) OnSelectionChanged(item);
}

void CTreeUser::ApplyFilters() {
    baseDataStruct* box = Selected(CATEGORY_BOX);
    if (!box || !EnsureUnlocked(box)) return;
    const ApplyResult result =
        ApplyRulesToBox(stores_.sys(), box, host_.ShowProgress("Apply filters"));
    for (baseDataStruct* changed : result.boxes) RefreshNodeLabel(changed);
    letters_.showList(box);
}

void CTreeUser::RefreshNodeLabel(baseDataStruct* node) {
    Lock lock(ModelLock());
    DataUpdateTreeItem(stores_.sys(), node, &tree_, 0);
}

void CTreeUser::SelectNode(baseDataStruct* node) {
    Lock lock(ModelLock());
    const TreeItem item = ItemOfNode(node);
    if (item != kNoItem) OnSelectionChanged(item);
}

baseDataStruct* CTreeUser::getTypeItem(int kind, int subKind, TreeItem* item) {
    Lock lock(ModelLock());
    baseDataStruct* node = selectedNode();
    baseDataStruct* found = nullptr;
    if (kind == -1) {
        found = node;
    } else if (kind == kKindBox && subKind == 0) {
        found = Above(node, CATEGORY_BOX);
    } else {
        found = stores_.sys().DataGetSysPoint(node, kind, subKind);
    }
    if (item) *item = ItemOfNode(found);
    return found;
}

TreeMenu CTreeUser::OnRightClick(ViewPoint clientPoint, int64_t nowMs) {
    Lock lock(ModelLock());
    tree_.OnRightButtonDown(clientPoint, nowMs);
    const TreeItem item = tree_.currentItem();
    if (item == kNoItem) return TreeMenu::kNone;
    OnSelectionChanged(item);
    if (!(tree_.lastHitParts() & kTreeHitLabel)) return TreeMenu::kNone;
    return MenuFor(NodeOfItem(tree_.currentItem()));
}

void CTreeUser::OnStateImageClick(TreeItem item, bool doubleClick) {
    Lock lock(ModelLock());
    baseDataStruct* node = NodeOfItem(item);
    if (!node || MenuFor(node) == TreeMenu::kSystem || MenuFor(node) == TreeMenu::kNone) return;
    const bool open = getinfo(node, kThisNode, "LockState") == "unLock";
    // One click locks an open lock again; locking anew or unlocking takes a double click.
    if (doubleClick != open) LockNode(node);
}

bool CTreeUser::OnItemExpanding(TreeItem item, bool expanding) {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnItemexpanding(NMHDR* pNMHDR, LRESULT* pResult)");
    baseDataStruct* node = NodeOfItem(item);
    if (!node) return false;
    if (node == stores_.sys().root()) return true;
    if (tree_.view().StateImage(item) == kLockedStateImage && !UnlockNode(node)) return false;
    OnSelectionChanged(item);
    changestate(node, expanding ? 0 : STATE_EXPANDED, expanding ? STATE_EXPANDED : 0);
    stores_.sys().DataSavePoint(node);
    return true;
}

}  // namespace korvo
