// The main window's address list panel, built into the window's address place: the chosen
// folder's caption with the switch button "V" at its right end, and below it either the tree of
// the account's address books or the folder's persons (CViewAddressList decides).
#pragma once

#include <wx/button.h>
#include <wx/panel.h>
#include <wx/textctrl.h>

#include <memory>

#include "shell/address_list.h"
#include "ui/wx_list_view.h"
#include "ui/wx_tree_view.h"

namespace korvo {

class AddressPanel : private AddressPanelFace {
  public:
    // Fills `place`; `sys` and `windows` must outlive the panel.
    AddressPanel(wxPanel* place, CSysData& sys, SecondaryWindows& windows);
    ~AddressPanel() override;

    // The main window's current node changed.
    void OnCurrentNodeChanged(baseDataStruct* node);
    void Clear();

    CViewAddressList& logic() { return *logic_; }
    WxTreeView& tree() { return *treeView_; }
    WxListView& persons() { return *listView_; }
    wxButton* switchButton() const { return switch_; }
    wxTextCtrl* captionField() const { return caption_; }

  private:
    void SetCaption(std::string_view caption) override;
    void EnableSwitch(bool on) override;
    void ShowPersons(bool persons) override;

    void OnTreeSelection(wxTreeEvent& event);
    void OnPersonActivated(wxListEvent& event);

    wxPanel* place_;
    wxTextCtrl* caption_ = nullptr;
    wxButton* switch_ = nullptr;
    std::unique_ptr<WxTreeView> treeView_;
    std::unique_ptr<CBaseTreeControl> treeLogic_;
    std::unique_ptr<WxListView> listView_;
    std::unique_ptr<CBaseListControl> listLogic_;
    std::unique_ptr<CViewAddressList> logic_;
    bool busy_ = false;
};

}  // namespace korvo
