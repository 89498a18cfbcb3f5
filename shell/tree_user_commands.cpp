// The user tree's commands: locks, creating, changing and deleting users, accounts and boxes.
#include <mutex>

#include "content/letter_node.h"
#include "controls/data_tree_items.h"
#include "platform/model_lock.h"
#include "shell/tree_user.h"
#include "store/diag_log.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

std::string LockStateOf(const baseDataStruct* node) {
    return getinfo(node, kThisNode, "LockState");
}

std::string CaptionOf(const baseDataStruct* node) {
    return getinfo(node, kThisNode, "caption");
}

long ShowColumnOf(const baseDataStruct* node) {
    return TextToLong(getinfo(node, kThisNode, "showColumn"));
}

}  // namespace

void CTreeUser::Refresh(baseDataStruct* node) {
    if (!DataUpdateTreeItem(stores_.sys(), node, &tree_, 0)) stores_.sys().DataSavePoint(node);
}

bool CTreeUser::UnlockNode(baseDataStruct* node) {
    std::string typed;
    if (!dialogs_.AskPassword(CaptionOf(node), &typed)) return false;
    if (typed != getinfo(node, kThisNode, "lockPassword")) {
        dialogs_.Message(kPasswordInputError, kTreeMessageTitle);
        return false;
    }
    setinfo(node, kThisNode, "LockState", "unLock");
    Refresh(node);
    Reselect();
    return true;
}

bool CTreeUser::EnsureUnlocked(baseDataStruct* node) {
    if (!node) return false;
    if (LockStateOf(node) != "lock") return true;
    UnlockNode(node);
    return LockStateOf(node) != "lock";
}

void CTreeUser::LockNode(baseDataStruct* node) {
    LogScope scope("CTreeUser::LockItem(baseDataStruct *ptItem)");
    if (!node) return;
    const std::string state = LockStateOf(node);
    if (state == "unLock") {
        setinfo(node, kThisNode, "LockState", "lock");
        Refresh(node);
        Reselect();
        return;
    }
    if (state == "lock") {
        UnlockNode(node);
        return;
    }
    std::string password, repeated;
    if (!dialogs_.AskNewLock(CaptionOf(node), &password, &repeated)) return;
    if (password.empty() || password != repeated) {
        dialogs_.Message(kPasswordInputError, kTreeMessageTitle);
        return;
    }
    setinfo(node, kThisNode, "lockPassword", password);
    setinfo(node, kThisNode, "LockState", "lock");
    Refresh(node);
    Reselect();
}

void CTreeUser::ClearNodeLock(baseDataStruct* node) {
    LogScope scope("CTreeUser::ClearItemLock(baseDataStruct *ptItem)");
    const std::string state = LockStateOf(node);
    if (state == "lock") {
        std::string typed;
        if (!dialogs_.AskPassword(CaptionOf(node), &typed)) return;
        if (typed != getinfo(node, kThisNode, "lockPassword")) {
            dialogs_.Message(kPasswordInputError, kTreeMessageTitle);
            return;
        }
        setinfo(node, kThisNode, "lockPassword", kAbsent);
    } else if (state != "unLock") {
        return;
    }
    setinfo(node, kThisNode, "LockState", kAbsent);
    Refresh(node);
    Reselect();
}

void CTreeUser::LockItem(uint32_t category) {
    Lock lock(ModelLock());
    LockNode(Selected(category));
}

void CTreeUser::ClearItemLock(uint32_t category) {
    Lock lock(ModelLock());
    if (baseDataStruct* node = Selected(category)) ClearNodeLock(node);
}

void CTreeUser::CreateUser() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::CreateUser()");
    UserForm form;
    baseDataStruct draft;
    if (!dialogs_.EditUser(form, &draft)) return;
    CSysData& sys = stores_.sys();
    baseDataStruct* user = addson(sys.root(), "%s", "");
    copyfrom(user, &draft, 15);
    const TreeItem rootItem = ItemOfNode(sys.root());
    sys.SysCreateUser(user, &tree_, rootItem);
    tree_.view().Expand(rootItem);
}

void CTreeUser::CreateAccount() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::CreateAccount()");
    baseDataStruct* user = Selected(CATEGORY_USER);
    if (!EnsureUnlocked(user)) return;
    CSysData& sys = stores_.sys();
    baseDataStruct* folder = sys.DataGetSysPoint(user, kKindUATree);
    if (!folder) return;
    AccountForm form;
    baseDataStruct draft;
    if (!dialogs_.EditAccount(form, &draft, CaptionOf(user) + std::string(kAddAccountTitleSuffix)))
        return;
    baseDataStruct* account = addson(folder, "%s", "");
    copyfrom(account, &draft, 15);
    const TreeItem userItem = ItemOfNode(user);
    sys.SysCreateAccount(account, &tree_, userItem);
    tree_.view().Expand(userItem);
}

void CTreeUser::OnPAddBox() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnPAddBox()");
    baseDataStruct* owner = selectedNode();
    CSysData& sys = stores_.sys();
    baseDataStruct* parent = nullptr;
    switch (MenuFor(owner)) {
        case TreeMenu::kBox:
            parent = owner;
            break;
        case TreeMenu::kAccount:
            parent = sys.DataGetSysPoint(owner, kKindPBoxTree);
            break;
        default:
            return;
    }
    // A box added to a locked account or box would be reachable without its password.
    if (!parent || !EnsureUnlocked(owner)) return;
    BoxForm form;
    form.place = parent;
    baseDataStruct draft;
    if (!dialogs_.EditBox(form, &draft)) return;
    // The dialog's place tree may have chosen another box or account box folder.
    if (form.place && (getstate(form.place) & CATEGORY_BOX ||
                       getinfo(form.place, kThisNode, "type") == "PBoxTree")) {
        parent = form.place;
    }
    baseDataStruct* box = addson(parent, "%s", "");
    copyfrom(box, &draft, 15);
    setinfo(box, kThisNode, "subType", "user");
    setinfo(box, kThisNode, "style", "user");
    // The item the box shows under: the box, or the account of a box folder.
    baseDataStruct* shownOwner = getstate(parent) & CATEGORY_BOX ? parent : parent->parent();
    const TreeItem ownerItem = ItemOfNode(shownOwner);
    sys.SysCreateBox(box, &tree_, ownerItem);
    if (ownerItem != kNoItem) tree_.view().Expand(ownerItem);
}

void CTreeUser::OnPModifyUser() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnPModifyUser()");
    baseDataStruct* user = Selected(CATEGORY_USER);
    if (!EnsureUnlocked(user)) return;
    baseDataStruct copy;
    copyfrom(&copy, user, 15);
    UserForm form(&copy);
    if (!dialogs_.EditUser(form, &copy)) return;
    copyfrom(user, &copy, 15);
    Refresh(user);
}

void CTreeUser::OnPModifyAccount() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnPModifyAccount()");
    baseDataStruct* account = Selected(CATEGORY_ACCOUNT);
    if (!EnsureUnlocked(account)) return;
    baseDataStruct copy;
    copyfrom(&copy, account, 15);
    AccountForm form(&copy);
    if (!dialogs_.EditAccount(form, &copy, form.Title())) return;
    copyfrom(account, &copy, 15);
    Refresh(account);
}

void CTreeUser::OnPModifyBox() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnPModifyBox()");
    baseDataStruct* box = Selected(CATEGORY_BOX);
    // The box form shows the lock password: a locked box opens only with it.
    if (!EnsureUnlocked(box)) return;
    const long before = ShowColumnOf(box);
    baseDataStruct copy;
    copyfrom(&copy, box, 15);
    BoxForm form(&copy);
    form.place = box->parent();
    if (!dialogs_.EditBox(form, &copy)) return;
    copyfrom(box, &copy, 15);
    Refresh(box);
    const long changed = before ^ ShowColumnOf(box);
    if (changed & kBoxColumnBits) RebuildLetterRows(box);
    // The show-deleted bit chooses rows too.
    if ((changed & (kBoxColumnBits | kBoxShowBits | kShowDeleted)) && letters_.shownBox() == box) {
        letters_.showList(box);
    }
}

void CTreeUser::RebuildLetterRows(baseDataStruct* box) {
    LogScope scope("CTreeUser::RebuildLetterRows(baseDataStruct *ptBox)");
    CSysMailBox& mail = stores_.mail();
    baseDataStruct* container = mail.SysReadLinkTree(box, kLoadProperty | kLoadStrdata);
    if (!container) return;
    for (baseDataStruct* letter = container->firstSon(); letter; letter = letter->nextBrother()) {
        if (getinfo(letter, kThisNode, "SDATA").empty() && teststate(letter, STATE_HAS_SDATA)) {
            mail.DataLoadPoint(letter, kThisNode, kLoadSdata);
        }
        // A letter whose raw text is gone keeps the row it has.
        if (getinfo(letter, kThisNode, "SDATA").empty()) continue;
        mailInitProperty(letter, box, &mail);
        freedata(letter, 8);
    }
}

bool CTreeUser::AskDelete(baseDataStruct* node, std::string_view text) {
    return dialogs_.AskYesNo(text, std::string(kDeleteCaptionPrefix) + CaptionOf(node));
}

void CTreeUser::AfterDelete() {
    Reselect();
}

void CTreeUser::OnPDelUser() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnPDelUser()");
    baseDataStruct* user = Selected(CATEGORY_USER);
    if (!EnsureUnlocked(user) || !AskDelete(user, kDeleteUserText)) return;
    // The list may hold letters of the user's boxes.
    ClearList();
    stores_.sys().SysDeleteUser(user, &tree_);
    AfterDelete();
}

void CTreeUser::OnPDeleteAccount() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnPDeleteAccount()");
    baseDataStruct* account = Selected(CATEGORY_ACCOUNT);
    if (!EnsureUnlocked(account) || !AskDelete(account, kDeleteAccountText)) return;
    ClearList();
    stores_.sys().SysDeleteAccount(account, &tree_);
    AfterDelete();
}

void CTreeUser::OnPDelBox() {
    Lock lock(ModelLock());
    LogScope scope("CTreeUser::OnPDelBox()");
    baseDataStruct* box = Selected(CATEGORY_BOX);
    if (!box || getinfo(box, kThisNode, "style") == "sys") return;
    if (!EnsureUnlocked(box) || !AskDelete(box, kDeleteBoxText)) return;
    ClearList();
    stores_.sys().SysDeletePointItem(box, &tree_);
    AfterDelete();
}

}  // namespace korvo
