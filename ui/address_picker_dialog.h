// The address selection dialog ("selece email") and the ReceiverPicker the composer and the
// filter editor use: the address books or a folder's persons on the left ("V" switches), the
// To, CC and blind-copy lists on the right with a ">>" button each, "X" to remove, "add new"
// and "property" for persons. CAddressPicker holds the logic.
#pragma once

#include <wx/button.h>
#include <wx/dialog.h>

#include <array>
#include <memory>

#include "shell/address_picker.h"
#include "ui/wx_list_view.h"
#include "ui/wx_tree_view.h"

namespace korvo {

class AddressPickerDialog : public wxDialog, private PickerFace {
  public:
    AddressPickerDialog(wxWindow* parent, CSysData& sys, PersonEditor& editor);
    ~AddressPickerDialog() override;

    void Open(baseDataStruct* account, const ReceiverLines& lines);
    CAddressPicker& logic() { return *logic_; }
    WxTreeView& tree() { return *treeView_; }
    WxListView& persons() { return *personView_; }
    WxListView& receivers(int which) { return *receiverViews_[size_t(which)]; }

  private:
    void ShowPersons(bool persons) override;
    void OnTreeSelection(wxTreeEvent& event);
    // Runs a logic step with the widgets' own notifications ignored.
    template <class Step>
    void Act(Step&& step);

    std::unique_ptr<WxTreeView> treeView_;
    std::unique_ptr<CBaseTreeControl> treeLogic_;
    std::unique_ptr<WxListView> personView_;
    std::unique_ptr<CBaseListControl> personLogic_;
    std::array<std::unique_ptr<WxListView>, 3> receiverViews_;
    std::array<std::unique_ptr<CBaseListControl>, 3> receiverLogic_;
    std::unique_ptr<CAddressPicker> logic_;
    wxWindow* left_ = nullptr;
    bool busy_ = false;
};

class WxReceiverPicker : public ReceiverPicker {
  public:
    // `sys` and `editor` must outlive the picker.
    WxReceiverPicker(wxWindow* parent, CSysData& sys, PersonEditor& editor)
        : parent_(parent), sys_(sys), editor_(editor) {}
    bool PickReceivers(baseDataStruct* account, ReceiverLines& lines) override;

  private:
    wxWindow* parent_;
    CSysData& sys_;
    PersonEditor& editor_;
};

}  // namespace korvo
