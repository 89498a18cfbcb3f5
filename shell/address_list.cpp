#include "shell/address_list.h"

#include "shell/address_book.h"
#include "shell/address_rows.h"
#include "store/node_tree.h"

namespace korvo {

baseDataStruct* CViewAddressList::folder() const {
    return folderId_ ? findid(sys_.root(), folderId_) : nullptr;
}

void CViewAddressList::Clear() {
    accountId_ = folderId_ = 0;
    tree_.view().DeleteAllItems();
    persons_.Reset(kSidePersonColumns);
    face_.SetCaption("");
    face_.EnableSwitch(false);
}

void CViewAddressList::OnCurrentNodeChanged(baseDataStruct* node) {
    currentId_ = node ? node->nodeId() : 0;
    baseDataStruct* account = sys_.DataGetSysPoint(node, kKindAccount);
    const uint32_t accountId = account ? account->nodeId() : 0;
    if (accountId == accountId_) return;
    Clear();
    if (!account) return;
    accountId_ = accountId;
    sys_.SysShowBookTree(account, &tree_, false);
    // The remembered folder may be one of the user's shared books.
    baseDataStruct* folder = FindByPoint(sys_.DataGetSysPoint(account, kKindUser),
                                         getinfo(account, kThisNode, "SelectItem"));
    if (!folder) folder = findinfo(account, "SysMark", "NowBookFolder");
    if (!folder) return;
    const TreeItem item = tree_.FindItem(kNoItem, folder->nodeId());
    if (item != kNoItem) tree_.SelectNodeItem(item);
    Show(ListFolder(folder));
}

bool CViewAddressList::ListFolder(baseDataStruct* folder) {
    folderId_ = folder->nodeId();
    face_.SetCaption(getinfo(folder, kThisNode, "caption"));
    persons_.Reset(kSidePersonColumns);
    const int rows = ListPersons(persons_, PersonsOf(sys_.mailBox(), folder), SidePersonRow);
    if (rows == 0) persons_.InsertRow(kNoPersonRow, 0);
    face_.EnableSwitch(rows > 0);
    return rows > 0;
}

// Without persons the tree stays in front: "V" is off then, and the tree is where another
// folder can be chosen.
void CViewAddressList::Show(bool persons) {
    showingPersons_ = persons;
    face_.ShowPersons(persons);
}

void CViewAddressList::OnSelectTree(TreeItem item) {
    if (item == kNoItem) return;
    baseDataStruct* folder = findid(sys_.root(), tree_.view().ItemData(item) & kNodeIdMask);
    if (!IsFolderOrTeam(folder)) return;
    Show(ListFolder(folder));
    if (baseDataStruct* account = findid(sys_.root(), accountId_)) {
        setinfo(account, kThisNode, "SelectItem", getinfo(folder, kThisNode, "pointId"));
        sys_.DataSaveList(account, 1);
    }
}

void CViewAddressList::OnSwitch() {
    if (!folderId_) return;
    Show(!showingPersons_);
}

void CViewAddressList::OnPersonDoubleClick(int row) {
    baseDataStruct* person = PersonOfRow(persons_, PersonsOf(sys_.mailBox(), folder()), row);
    if (!person) return;
    ComposerRequest request;
    request.mode = 4;
    request.title = std::string(kWriteMailTitle);
    request.node = currentId_ ? findid(sys_.root(), currentId_) : nullptr;
    request.receiver = PersonAddress(person);
    windows_.OpenComposer(request);
}

}  // namespace korvo
