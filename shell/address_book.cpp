#include "shell/address_book.h"

#include <vector>

#include "shell/address_rows.h"
#include "shell/vcard_transfer.h"
#include "store/node_tree.h"

namespace korvo {

baseDataStruct* AddPersonTo(CSysMailBox& mail, baseDataStruct* folder,
                            const baseDataStruct& fresh) {
    baseDataStruct* holder = PersonsOf(mail, folder);
    if (!holder) return nullptr;
    baseDataStruct* person = AddSonText(holder, fresh.propertyText());
    const std::string sdata = getinfo(&fresh, kThisNode, "SDATA");
    if (!sdata.empty()) setinfo(person, kThisNode, "SDATA", sdata);
    // A node without a point would not be written at all.
    if (mail.DataNewPoint(person) < 0) {
        deletepoint(person);
        return nullptr;
    }
    return person;
}

baseDataStruct* FindByPoint(baseDataStruct* root, std::string_view pointId) {
    if (pointId.empty() || pointId == kAbsent) return nullptr;
    return findinfo(root, "pointId", pointId);
}

baseDataStruct* CViewBookAddress::NodeOf(TreeItem item) const {
    if (item == kNoItem) return nullptr;
    return findid(sys_.root(), tree_.view().ItemData(item) & kNodeIdMask);
}

bool CViewBookAddress::Open(baseDataStruct* current) {
    current_ = current;
    user_ = sys_.DataGetSysPoint(current, kKindUser);
    chosen_ = nullptr;
    persons_.Reset(kBookPersonColumns);
    if (!user_) return false;
    sys_.SysShowBookTree(current_, &tree_, allAccounts_);
    baseDataStruct* remembered = FindByPoint(user_, getinfo(user_, kThisNode, "SelectItem"));
    const TreeItem item = remembered ? tree_.FindItem(kNoItem, remembered->nodeId()) : kNoItem;
    if (item != kNoItem) {
        tree_.SelectNodeItem(item);
        chosen_ = remembered;
        ShowPersons(remembered);
    }
    return true;
}

void CViewBookAddress::OnSelectTree(TreeItem item) {
    baseDataStruct* node = NodeOf(item);
    if (!node || !user_) return;
    chosen_ = node;
    setinfo(user_, kThisNode, "SelectItem", getinfo(node, kThisNode, "pointId"));
    sys_.DataSaveList(user_, 1);
    ShowPersons(HoldsPersons(node) ? node : nullptr);
}

void CViewBookAddress::OnItemExpanded(TreeItem item, bool expanded) {
    baseDataStruct* node = NodeOf(item);
    if (!node) return;
    changestate(node, expanded ? 0 : STATE_EXPANDED, expanded ? STATE_EXPANDED : 0);
    sys_.DataSavePoint(node);
}

void CViewBookAddress::ShowPersons(baseDataStruct* node) {
    persons_.Reset(kBookPersonColumns);
    if (node) ListPersons(persons_, PersonsOf(sys_.mailBox(), node), BookPersonRow);
}

bool CViewBookAddress::IsCommandEnabled(BookCommand command) const {
    switch (command) {
        case BookCommand::kAddFolder:
            return HoldsPersons(chosen_);
        case BookCommand::kAddTeam:
            return getinfo(chosen_, kThisNode, "type") == "BookFolder";
        case BookCommand::kAddPerson:
        case BookCommand::kModifyItem:
            return IsFolderOrTeam(chosen_);
        case BookCommand::kDeleteItem:
            return IsFolderOrTeam(chosen_) && getinfo(chosen_, kThisNode, "style") != "sys";
        case BookCommand::kModifyPerson:
        case BookCommand::kDeletePerson:
            return IsFolderOrTeam(chosen_) || HoldsPersons(chosen_);
        case BookCommand::kShowAllAccounts:
            return user_ != nullptr;
        case BookCommand::kImportVCard:
        case BookCommand::kExportVCard:
            return HoldsPersons(chosen_);
    }
    return false;
}

void CViewBookAddress::RunCommand(BookCommand command) {
    if (!IsCommandEnabled(command)) return;
    switch (command) {
        case BookCommand::kAddFolder:
            return AddFolder(false);
        case BookCommand::kAddTeam:
            return AddFolder(true);
        case BookCommand::kAddPerson:
            return AddPerson();
        case BookCommand::kModifyItem:
            return ModifyItem();
        case BookCommand::kDeleteItem:
            return DeleteItem();
        case BookCommand::kModifyPerson:
            return ModifyPerson();
        case BookCommand::kDeletePerson:
            return DeletePersons();
        case BookCommand::kImportVCard:
            return TransferVCards(true);
        case BookCommand::kExportVCard:
            return TransferVCards(false);
        case BookCommand::kShowAllAccounts:
            allAccounts_ = !allAccounts_;
            sys_.SysShowBookTree(current_, &tree_, allAccounts_);
            if (chosen_) {
                const TreeItem item = tree_.FindItem(kNoItem, chosen_->nodeId());
                if (item != kNoItem) tree_.SelectNodeItem(item);
            }
            return;
    }
}

void CViewBookAddress::AddFolder(bool team) {
    FolderForm form;
    baseDataStruct* folder = addson(chosen_, "%s", "");
    if (!dialogs_.EditFolder(form, folder, team ? kNewTeamTitle : form.Title())) {
        deletepoint(folder);
        return;
    }
    if (team) setinfo(folder, kThisNode, "type", "BookTeam");
    const TreeItem parent = tree_.FindItem(kNoItem, chosen_->nodeId());
    sys_.SysCreateBookFolder(folder, int(TextToLong(getinfo(chosen_, kThisNode, "pointId"))),
                             &tree_, parent);
}

void CViewBookAddress::ModifyItem() {
    baseDataStruct copy;
    copyfrom(&copy, chosen_, 15);
    FolderForm form(chosen_);
    if (!dialogs_.EditFolder(form, &copy, form.Title())) return;
    // The dialog writes a folder's type and kind; the node keeps what ties it to the store,
    // its kind and its link to its persons.
    std::vector<std::pair<const char*, std::string>> kept;
    for (const char* key : {"pointId", "pType", "type", "LinkId"})
        kept.emplace_back(key, getinfo(chosen_, kThisNode, key));
    copyfrom(chosen_, &copy, 15);
    for (const auto& [key, value] : kept)
        if (value != kAbsent) setinfo(chosen_, kThisNode, key, value);
    changestate(chosen_, 0, STATE_PROPERTY_CHANGED);
    sys_.DataSavePoint(chosen_);
    const TreeItem item = tree_.FindItem(kNoItem, chosen_->nodeId());
    tree_.view().SetLabel(item, getinfo(chosen_, kThisNode, "caption"));
}

void CViewBookAddress::DeleteItem() {
    const std::string caption = "WARN :" + getinfo(chosen_, kThisNode, "caption");
    if (!dialogs_.AskWarning(kDeleteFolderQuestion, caption)) return;
    baseDataStruct* folder = chosen_;
    chosen_ = nullptr;
    sys_.SysDeleteBookFolder(folder, &tree_, &persons_);
}

void CViewBookAddress::AddPerson() {
    baseDataStruct fresh;
    if (editor_.EditPerson(false, &fresh) != 1) return;
    if (baseDataStruct* person = AddPersonTo(sys_.mailBox(), chosen_, fresh))
        persons_.InsertRow(BookPersonRow(person), person->nodeId());
}

void CViewBookAddress::ModifyPerson() {
    const int row = persons_.view().FocusedRow();
    baseDataStruct* person = PersonOfRow(persons_, PersonsOf(sys_.mailBox(), chosen_), row);
    if (!person || editor_.EditPerson(true, person) != 1) return;
    sys_.mailBox().DataSavePoint(person);
    persons_.SetRowTexts(BookPersonRow(person), row);
}

void CViewBookAddress::DeletePersons() {
    std::vector<int> rows;
    for (int row = 0; row < persons_.view().RowCount(); ++row)
        if (persons_.view().IsRowSelected(row)) rows.push_back(row);
    if (rows.empty() || !dialogs_.AskWarning(kDeletePersonsQuestion, "WARN")) return;
    baseDataStruct* holder = PersonsOf(sys_.mailBox(), chosen_);
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        if (baseDataStruct* person = PersonOfRow(persons_, holder, *row))
            sys_.mailBox().DataDeletePoint(person, 2);
        persons_.view().DeleteRow(*row);
    }
    ShowPersons(chosen_);
}

void CViewBookAddress::TransferVCards(bool in) {
    baseDataStruct* folder = chosen_;
    const std::string path =
        dialogs_.ChooseVCardFile(!in, getinfo(folder, kThisNode, "caption") + ".vcf");
    // The dialog ran its own loop: the folder is the chosen one still only if nothing changed.
    if (path.empty() || folder != chosen_) return;
    const VCardResult result =
        in ? ImportVCardFile(sys_, folder, path) : ExportVCardFile(sys_, folder, path);
    if (in) ShowPersons(folder);
    std::string text = std::to_string(result.persons) +
                       (result.persons == 1 ? " person" : " persons") +
                       (in ? " imported." : " exported.");
    if (!result.error.empty()) text += "\n" + result.error;
    dialogs_.Report(text);
}

}  // namespace korvo
