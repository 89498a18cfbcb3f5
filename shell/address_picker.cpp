#include "shell/address_picker.h"

#include "shell/address_book.h"
#include "shell/address_rows.h"
#include "store/node_tree.h"

namespace korvo {
namespace {

constexpr std::array<std::string_view, 3> kEmptyReceiverColumns = {
    "Receiver =130 ,Name =50", "CC =130 ,Name =50", "Hide =130 ,Name =50"};

}  // namespace

CAddressPicker::CAddressPicker(CSysData& sys, CBaseTreeControl& tree, CBaseListControl& persons,
                               std::array<CBaseListControl*, 3> receivers, PickerFace& face,
                               PersonEditor& editor)
    : sys_(sys),
      tree_(tree),
      persons_(persons),
      receivers_(receivers),
      face_(face),
      editor_(editor) {
    for (auto& list : lists_) list = CreateRootNode();
}

CAddressPicker::~CAddressPicker() = default;

void CAddressPicker::Open(baseDataStruct* account, const ReceiverLines& lines) {
    const std::string* texts[] = {&lines.to, &lines.cc, &lines.hidden};
    for (int i = 0; i < 3; ++i) {
        deletesons(lists_[size_t(i)].get());
        ParseReceivers(*texts[i], lists_[size_t(i)].get());
        Refill(i);
    }
    persons_.Reset(kPickPersonColumns);
    folderId_ = 0;
    sys_.SysShowBookTree(account, &tree_, false);
    if (baseDataStruct* book = sys_.DataGetSysPoint(account, kKindBookFolder)) {
        const TreeItem item = tree_.FindItem(kNoItem, book->nodeId());
        if (item != kNoItem) tree_.SelectNodeItem(item);
        ListFolder(book);
    }
    showingPersons_ = false;
    face_.ShowPersons(false);
}

baseDataStruct* CAddressPicker::Folder() const {
    return folderId_ ? findid(sys_.root(), folderId_) : nullptr;
}

void CAddressPicker::ListFolder(baseDataStruct* folder) {
    folderId_ = folder->nodeId();
    persons_.Reset(kFilledPersonColumns);
    ListPersons(persons_, PersonsOf(sys_.mailBox(), folder), PickPersonRow);
}

void CAddressPicker::OnSelectTree(TreeItem item) {
    if (item == kNoItem) return;
    baseDataStruct* folder = findid(sys_.root(), tree_.view().ItemData(item) & kNodeIdMask);
    if (!IsFolderOrTeam(folder)) return;
    ListFolder(folder);
    showingPersons_ = true;
    face_.ShowPersons(true);
}

void CAddressPicker::OnSwitch() {
    showingPersons_ = !showingPersons_;
    face_.ShowPersons(showingPersons_);
}

std::vector<int> CAddressPicker::SelectedRows(CBaseListControl& list) const {
    std::vector<int> rows;
    for (int row = 0; row < list.view().RowCount(); ++row)
        if (list.view().IsRowSelected(row)) rows.push_back(row);
    return rows;
}

void CAddressPicker::Refill(int which) {
    CBaseListControl& list = *receivers_[size_t(which)];
    baseDataStruct* root = lists_[size_t(which)].get();
    list.Reset(root->firstSon() ? kFilledPersonColumns : kEmptyReceiverColumns[size_t(which)]);
    for (baseDataStruct* p = root->firstSon(); p; p = p->nextBrother())
        list.InsertRow(PickPersonRow(p), p->nodeId());
}

void CAddressPicker::CopySelected(int which) {
    if (which < 0 || which > 2) return;
    baseDataStruct* holder = PersonsOf(sys_.mailBox(), Folder());
    bool copied = false;
    for (int row : SelectedRows(persons_)) {
        if (baseDataStruct* person = PersonOfRow(persons_, holder, row)) {
            AddSonText(lists_[size_t(which)].get(), person->propertyText());
            copied = true;
        }
    }
    if (copied) Refill(which);
}

void CAddressPicker::OnPersonDoubleClick() {
    CopySelected(lists_[kToList]->firstSon() ? kCcList : kToList);
}

void CAddressPicker::RemoveSelected() {
    CBaseListControl& list = *receivers_[size_t(current_)];
    baseDataStruct* root = lists_[size_t(current_)].get();
    const std::vector<int> rows = SelectedRows(list);
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        deletepoint(PersonOfRow(list, root, *row));
    if (!rows.empty()) Refill(current_);
}

void CAddressPicker::AddNew() {
    baseDataStruct* folder = Folder();
    if (!IsFolderOrTeam(folder)) return;
    baseDataStruct fresh;
    if (editor_.EditPerson(false, &fresh) != 1) return;
    if (AddPersonTo(sys_.mailBox(), folder, fresh)) ListFolder(folder);
}

void CAddressPicker::Property() {
    const std::vector<int> rows = SelectedRows(persons_);
    if (rows.size() != 1) return;
    baseDataStruct* person = PersonOfRow(persons_, PersonsOf(sys_.mailBox(), Folder()), rows[0]);
    if (!person || editor_.EditPerson(true, person) != 1) return;
    sys_.mailBox().DataSavePoint(person);
    persons_.SetRowTexts(PickPersonRow(person), rows[0]);
}

ReceiverLines CAddressPicker::Lines() const {
    return {ReceiverText(lists_[kToList].get()), ReceiverText(lists_[kCcList].get()),
            ReceiverText(lists_[kHiddenList].get())};
}

}  // namespace korvo
