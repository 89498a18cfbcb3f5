// The filter manager window titled "korvo": the user's filter folders in a tree, the rules of
// the chosen folder in a list, and the filter property sheet with its pages "Show ", "Modify
// wizard" and "Modify edit" for the chosen rule. The tool bar's "add new filter" adds a rule.
// Every command goes to CFilterManager and CFilterEditor; this class only holds the widgets.
#pragma once

#include <wx/checkbox.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/notebook.h>
#include <wx/radiobut.h>
#include <wx/treectrl.h>

#include <map>
#include <memory>

#include "filters/filter_manager.h"
#include "model/prompter.h"
#include "shell/receiver_picker.h"
#include "ui/filter_dialogs.h"
#include "ui/wx_edit_views.h"
#include "ui/wx_list_view.h"
#include "ui/wx_tree_view.h"

namespace korvo {

class FilterFrame : public wxFrame, public FilterWizardView {
  public:
    enum Command {
        kAddFilter = wxID_HIGHEST + 900,
        kAddFolder,
        kDeleteItem,
        kPreview,
        kConditionAdd,
        kConditionDelete,
        kToActions,
        kActionAdd,
        kActionDelete,
        kToConditions,
        kChooseValue,
    };
    enum Page { kShowPage, kWizardPage, kEditPage };

    // `sys` must outlive the window; `receivers` (may be null) picks a forward's receivers.
    FilterFrame(wxWindow* parent, CSysData& sys, ReceiverPicker* receivers);
    ~FilterFrame() override;

    // Fills the window for the user of `current`; -1 when it is the root or in no user.
    int Start(baseDataStruct* current);
    // Runs a command as its button does.
    void Run(int command);

    // FilterWizardView
    ComboView& fields() override { return *fields_; }
    ComboView& operators() override { return *operators_; }
    ComboView& macros() override { return *macros_; }
    ComboView& actions() override { return *actions_; }
    ComboView& actionValues() override { return *actionValues_; }
    TextView& value() override { return *value_; }
    TextView& betweenFrom() override { return *from_; }
    TextView& betweenTo() override { return *to_; }
    TextView& actionValue() override { return *actionValue_; }
    CBaseListControl& explanation() override { return *wizardList_; }
    bool Checked(FilterCheck check) const override;
    void SetChecked(FilterCheck check, bool on) override;
    void Show(FilterPart part, bool visible) override;
    using wxFrame::Show;

    CFilterManager& manager() { return *manager_; }
    CFilterEditor& editor() { return *editor_; }
    WxTreeView& tree() { return *treeView_; }
    WxListView& rules() { return *rulesView_; }
    WxListView& pageList(Page page);
    wxCheckBox* checkBox(FilterCheck check) { return checks_[check]; }
    wxNotebook* sheet() { return sheet_; }

  private:
    wxWindow* BuildWizard(wxWindow* parent);
    wxWindow* BuildConditions(wxWindow* parent);
    wxWindow* BuildActions(wxWindow* parent);
    void RefreshPages();
    void OnTreeSelection(wxTreeEvent& event);
    void OnTreeExpansion(wxTreeEvent& event);
    void OnRuleSelection(wxListEvent& event);
    void SyncRuleSelection();
    void OnExplanationClick(wxListEvent& event);
    void OnPageChanged(wxBookCtrlEvent& event);
    void OnChoice(wxCommandEvent& event);
    void OnCheck(wxCommandEvent& event);

    MessageHookPrompter prompter_;
    WxFilterDialogs dialogs_;
    std::unique_ptr<WxTreeView> treeView_;
    std::unique_ptr<CBaseTreeControl> treeLogic_;
    std::unique_ptr<WxListView> rulesView_;
    std::unique_ptr<CBaseListControl> rulesLogic_;
    std::unique_ptr<WxListView> pageViews_[3];
    std::unique_ptr<CBaseListControl> pageLists_[3];
    CBaseListControl* wizardList_ = nullptr;
    std::unique_ptr<WxComboView> fields_, operators_, macros_, actions_, actionValues_;
    std::unique_ptr<WxTextView> value_, from_, to_, actionValue_;
    std::map<FilterCheck, wxCheckBox*> checks_;
    wxRadioButton* all_ = nullptr;
    wxRadioButton* any_ = nullptr;
    std::map<FilterPart, std::vector<wxWindow*>> parts_;
    wxNotebook* sheet_ = nullptr;
    wxWindow* wizard_ = nullptr;
    std::unique_ptr<CFilterEditor> editor_;
    std::unique_ptr<CFilterManager> manager_;
    // Set while the logic changes the widgets, whose events are then not news.
    bool busy_ = false;
    bool syncPending_ = false;
};

// Opens the filter manager for the user of `current`, or raises the one already open. Null
// when `current` is the root or lies in no user.
FilterFrame* OpenFilterWindow(wxWindow* parent, CSysData& sys, baseDataStruct* current,
                              ReceiverPicker* receivers);

}  // namespace korvo
