// CAddressPicker: the logic of the address selection dialog ("selece email"). The left side
// shows the user's address books or the persons of the chosen folder ("V" switches); ">>"
// copies the selected persons into the To, CC or blind-copy list; "X" removes rows of the
// receiver list clicked last. On OK the three lists become three receiver lines.
#pragma once

#include <array>
#include <memory>
#include <string_view>

#include "controls/list_control.h"
#include "controls/tree_control.h"
#include "model/sys_data.h"
#include "shell/person_editor.h"
#include "shell/receiver_picker.h"

namespace korvo {

inline constexpr std::string_view kPickerTitle = "selece email";

enum ReceiverList : int { kToList = 0, kCcList = 1, kHiddenList = 2 };

class PickerFace {
  public:
    virtual ~PickerFace() = default;
    // True: the person list takes the left side; false: the tree.
    virtual void ShowPersons(bool persons) = 0;
};

class CAddressPicker {
  public:
    CAddressPicker(CSysData& sys, CBaseTreeControl& tree, CBaseListControl& persons,
                   std::array<CBaseListControl*, 3> receivers, PickerFace& face,
                   PersonEditor& editor);
    ~CAddressPicker();

    // Fills the receiver lists from `lines` and shows the address books of `account`'s user
    // with the account's own book chosen.
    void Open(baseDataStruct* account, const ReceiverLines& lines);
    void OnSelectTree(TreeItem item);
    void OnSwitch();
    // ">>": the selected persons are copied into list `which`.
    void CopySelected(int which);
    // Into To while it is empty, otherwise into CC.
    void OnPersonDoubleClick();
    void OnReceiverListClick(int which) { current_ = which; }
    // "X": the selected rows of the receiver list clicked last go.
    void RemoveSelected();
    // "add new" and "property": the person editor over a new or the selected person.
    void AddNew();
    void Property();

    ReceiverLines Lines() const;
    bool showingPersons() const { return showingPersons_; }

  private:
    baseDataStruct* Folder() const;
    void ListFolder(baseDataStruct* folder);
    void Refill(int which);
    std::vector<int> SelectedRows(CBaseListControl& list) const;

    CSysData& sys_;
    CBaseTreeControl& tree_;
    CBaseListControl& persons_;
    std::array<CBaseListControl*, 3> receivers_;
    PickerFace& face_;
    PersonEditor& editor_;
    // The receivers, each list a root of person copies.
    std::array<std::unique_ptr<baseDataStruct>, 3> lists_;
    uint32_t folderId_ = 0;
    int current_ = kToList;
    bool showingPersons_ = false;
};

}  // namespace korvo
