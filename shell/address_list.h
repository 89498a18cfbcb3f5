// CViewAddressList: the main window's address list panel. It follows the account of the main
// window's current node: the account's address books in a tree, the persons of one folder in a
// list (only one of the two fills the panel; "V" switches), the folder's caption above them. A
// double click on a person asks the frame for a new letter to that person.
#pragma once

#include <cstdint>
#include <string_view>

#include "controls/list_control.h"
#include "controls/tree_control.h"
#include "model/sys_data.h"
#include "shell/frame_host.h"

namespace korvo {

inline constexpr std::string_view kWriteMailTitle = "Write Mail";

// The panel's own widgets besides the tree and the list.
class AddressPanelFace {
  public:
    virtual ~AddressPanelFace() = default;
    virtual void SetCaption(std::string_view caption) = 0;
    virtual void EnableSwitch(bool on) = 0;
    // True: the person list fills the panel; false: the tree.
    virtual void ShowPersons(bool persons) = 0;
};

class CViewAddressList {
  public:
    CViewAddressList(CSysData& sys, CBaseTreeControl& tree, CBaseListControl& persons,
                     AddressPanelFace& face, SecondaryWindows& windows)
        : sys_(sys), tree_(tree), persons_(persons), face_(face), windows_(windows) {}

    // The main window chose `node`: another account's books are shown, the same account's
    // stay as they are.
    void OnCurrentNodeChanged(baseDataStruct* node);
    // A folder or team chosen in the panel's tree: its persons are listed and shown.
    void OnSelectTree(TreeItem item);
    // "V": tree or person list.
    void OnSwitch();
    void OnPersonDoubleClick(int row);
    // Shows nothing (the user or account shown is going away).
    void Clear();

    baseDataStruct* folder() const;
    bool showingPersons() const { return showingPersons_; }

  private:
    // Lists the folder's persons; false when it has none.
    bool ListFolder(baseDataStruct* folder);
    void Show(bool persons);

    CSysData& sys_;
    CBaseTreeControl& tree_;
    CBaseListControl& persons_;
    AddressPanelFace& face_;
    SecondaryWindows& windows_;
    // Ids rather than pointers: the nodes may be deleted while the panel shows them.
    uint32_t accountId_ = 0;
    uint32_t folderId_ = 0;
    uint32_t currentId_ = 0;
    bool showingPersons_ = false;
};

}  // namespace korvo
