// CFilterManager: the logic of the filter manager window. A tree of the user's filter set book
// and accounts with their filter folders, the rules of the chosen folder in a list, and the
// filter editor for the chosen rule.
//
// Like the editor it keeps no node pointers between calls: the folder is known by its node id
// in the system store, and the list's rows carry the rules' point ids in the mail store.
#pragma once

#include <cstdint>
#include <string_view>

#include "controls/list_control.h"
#include "controls/tree_control.h"
#include "filters/filter_editor.h"
#include "model/sys_data.h"

namespace korvo {

inline constexpr std::string_view kFilterWindowTitle = "korvo";
inline constexpr std::string_view kFilterListColumns = "Filter =210";
inline constexpr std::string_view kNewRuleNode = "type =FilterInfo ,pType =25 ,caption =New Filter";

class CFilterManager {
  public:
    // All references must outlive the manager.
    CFilterManager(CSysData& sys, CBaseTreeControl& tree, CBaseListControl& rules,
                   CFilterEditor& editor);

    // Fills the tree for the user of `current`. -1 (nothing shown) when `current` is the root
    // or lies in no user: the window is not opened then.
    int InitialUpdate(baseDataStruct* current);

    // The tree's item was expanded or collapsed: its node keeps the state.
    void OnExpanded(TreeItem item, bool expanded);
    // The tree's selection changed: a filter folder shows its rules, anything else none.
    void OnTreeSelection(TreeItem item);
    // Lists the rules of the folder with node id `folderId`.
    void ShowFolder(uint32_t folderId);
    // The rule list's current row changed (-1: none): the editor shows that rule.
    void OnRuleSelection(int row);
    // "add new filter": a new rule in the shown folder, with the text every rule starts with.
    void AddFilter();

    // The folder shown, found afresh; null when none.
    baseDataStruct* folder();

  private:
    baseDataStruct* Link();

    CSysData& sys_;
    CBaseTreeControl& tree_;
    CBaseListControl& rules_;
    CFilterEditor& editor_;
    uint32_t folderId_ = 0;  // 0: none (the root's id)
};

}  // namespace korvo
