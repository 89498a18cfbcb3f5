#include "ui/filter_frame.h"

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/splitter.h>
#include <wx/stattext.h>
#include <wx/toolbar.h>

#include "ui/view_images.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

class Busy {
  public:
    explicit Busy(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~Busy() { flag_ = was_; }

  private:
    bool& flag_;
    bool was_;
};

struct CheckLabel {
    FilterCheck check;
    const char* label;
};
constexpr CheckLabel kFlagLabels[] = {
    {FilterCheck::kDeleteAtOnce, "Delete at once"},
    {FilterCheck::kDeleteAfter, "Delete after receive"},
    {FilterCheck::kNothingToDo, "Nothing to do"},
    {FilterCheck::kAutoHide, "Automatin hidden"},
    {FilterCheck::kPopMessage, "Notice: Pop message"},
    {FilterCheck::kPlayIcon, "Notice: Play icon "},
};

wxBitmap ToolArt(const char* id) {
    return wxArtProvider::GetBitmap(id, wxART_TOOLBAR, wxSize(16, 16));
}

}  // namespace

FilterFrame::FilterFrame(wxWindow* parent, CSysData& sys, ReceiverPicker* receivers)
    : wxFrame(parent, wxID_ANY, WxFromBytes(kFilterWindowTitle), wxDefaultPosition,
              wxSize(900, 600)),
      dialogs_(this, sys) {
    dialogs_.SetReceiverPicker(receivers);
    wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT | wxTB_TEXT);
    bar->AddTool(kAddFilter, "add new filter", ToolArt(wxART_NEW));
    bar->AddSeparator();
    bar->AddTool(kAddFolder, "Add new folder", ToolArt(wxART_NEW_DIR));
    bar->AddTool(kDeleteItem, "Delete", ToolArt(wxART_DELETE));
    bar->AddTool(kPreview, "Preview", ToolArt(wxART_FIND));
    // Folders come with their accounts; rules are only kept, so there is nothing to preview.
    for (int id : {kAddFolder, kDeleteItem, kPreview}) bar->EnableTool(id, false);
    bar->Realize();
    Bind(
        wxEVT_TOOL, [this](wxCommandEvent& e) { Run(e.GetId()); }, kAddFilter);

    auto* columns = new wxSplitterWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                         wxSP_3D | wxSP_LIVE_UPDATE);
    auto* left = new wxSplitterWindow(columns, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                      wxSP_3D | wxSP_LIVE_UPDATE);
    treeView_ = std::make_unique<WxTreeView>(left);
    treeView_->control()->AssignImageList(MakeTreeImages());
    treeLogic_ = std::make_unique<CBaseTreeControl>(*treeView_);
    rulesView_ = std::make_unique<WxListView>(left);
    rulesLogic_ = std::make_unique<CBaseListControl>(*rulesView_);
    left->SplitHorizontally(treeView_->control(), rulesView_->control(), 150);

    sheet_ = new wxNotebook(columns, wxID_ANY);
    const char* titles[] = {"Show ", "Modify wizard", "Modify edit"};
    for (int page = 0; page < 3; ++page) {
        auto* panel = new wxPanel(sheet_);
        auto* column = new wxBoxSizer(wxVERTICAL);
        if (page == kWizardPage) column->Add(BuildWizard(panel), 0, wxEXPAND | wxALL, 4);
        if (page == kEditPage) {
            column->Add(new wxStaticText(panel, wxID_ANY,
                                         "Conditions and actions are changed on the page "
                                         "\"Modify wizard\"."),
                        0, wxALL, 6);
        }
        pageViews_[page] = std::make_unique<WxListView>(panel);
        pageLists_[page] = std::make_unique<CBaseListControl>(*pageViews_[page]);
        column->Add(pageViews_[page]->control(), 1, wxEXPAND);
        panel->SetSizer(column);
        sheet_->AddPage(panel, titles[page]);
    }
    wizardList_ = pageLists_[kWizardPage].get();
    columns->SplitVertically(left, sheet_, 200);
    columns->SetMinimumPaneSize(40);

    treeView_->control()->Bind(wxEVT_TREE_SEL_CHANGED, &FilterFrame::OnTreeSelection, this);
    treeView_->control()->Bind(wxEVT_TREE_ITEM_EXPANDED, &FilterFrame::OnTreeExpansion, this);
    treeView_->control()->Bind(wxEVT_TREE_ITEM_COLLAPSED, &FilterFrame::OnTreeExpansion, this);
    rulesView_->control()->Bind(wxEVT_LIST_ITEM_SELECTED, &FilterFrame::OnRuleSelection, this);
    rulesView_->control()->Bind(wxEVT_LIST_ITEM_DESELECTED, &FilterFrame::OnRuleSelection, this);
    pageViews_[kWizardPage]->control()->Bind(wxEVT_LIST_ITEM_SELECTED,
                                             &FilterFrame::OnExplanationClick, this);
    sheet_->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &FilterFrame::OnPageChanged, this);

    editor_ = std::make_unique<CFilterEditor>(sys, *this, prompter_, dialogs_);
    manager_ = std::make_unique<CFilterManager>(sys, *treeLogic_, *rulesLogic_, *editor_);
}

FilterFrame::~FilterFrame() {
    // The widgets go with the window; events they send while going are not news.
    busy_ = true;
    treeView_->control()->Unbind(wxEVT_TREE_SEL_CHANGED, &FilterFrame::OnTreeSelection, this);
    treeView_->control()->Unbind(wxEVT_TREE_ITEM_EXPANDED, &FilterFrame::OnTreeExpansion, this);
    treeView_->control()->Unbind(wxEVT_TREE_ITEM_COLLAPSED, &FilterFrame::OnTreeExpansion, this);
    rulesView_->control()->Unbind(wxEVT_LIST_ITEM_SELECTED, &FilterFrame::OnRuleSelection, this);
    rulesView_->control()->Unbind(wxEVT_LIST_ITEM_DESELECTED, &FilterFrame::OnRuleSelection, this);
    pageViews_[kWizardPage]->control()->Unbind(wxEVT_LIST_ITEM_SELECTED,
                                               &FilterFrame::OnExplanationClick, this);
    sheet_->Unbind(wxEVT_NOTEBOOK_PAGE_CHANGED, &FilterFrame::OnPageChanged, this);
}

wxWindow* FilterFrame::BuildWizard(wxWindow* parent) {
    wizard_ = new wxPanel(parent);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(BuildConditions(wizard_), 0, wxEXPAND);
    column->Add(BuildActions(wizard_), 0, wxEXPAND);
    wizard_->SetSizer(column);
    return wizard_;
}

wxWindow* FilterFrame::BuildConditions(wxWindow* parent) {
    auto* group = new wxPanel(parent);
    parts_[FilterPart::kConditionGroup] = {group};
    auto choice = [&](std::unique_ptr<WxComboView>& view) {
        view = std::make_unique<WxComboView>(new wxChoice(group, wxID_ANY));
        view->control()->Bind(wxEVT_CHOICE, &FilterFrame::OnChoice, this);
        return view->control();
    };
    auto edit = [&](std::unique_ptr<WxTextView>& view, int width) {
        view = std::make_unique<WxTextView>(
            new wxTextCtrl(group, wxID_ANY, wxString(), wxDefaultPosition, wxSize(width, -1)));
        return view->control();
    };
    auto button = [&](int id, const char* label) {
        auto* b = new wxButton(group, id, label, wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
        b->Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) { Run(e.GetId()); });
        return b;
    };
    auto check = [&](FilterCheck which, const char* label) {
        auto* box = new wxCheckBox(group, wxID_ANY, label);
        box->Bind(wxEVT_CHECKBOX, &FilterFrame::OnCheck, this);
        checks_[which] = box;
        return box;
    };

    auto* fieldRow = new wxBoxSizer(wxHORIZONTAL);
    fieldRow->Add(choice(fields_), 0, wxRIGHT, 4);
    fieldRow->Add(choice(operators_), 0, wxRIGHT, 4);
    fieldRow->Add(edit(value_, 160), 1, wxRIGHT, 4);
    auto* andLabel = new wxStaticText(group, wxID_ANY, "and");
    fieldRow->Add(edit(from_, 60), 0, wxRIGHT, 4);
    fieldRow->Add(andLabel, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    fieldRow->Add(edit(to_, 60), 0, wxRIGHT, 4);
    parts_[FilterPart::kValueEdit] = {value_->control()};
    parts_[FilterPart::kBetweenEdits] = {from_->control(), andLabel, to_->control()};

    auto* macroRow = new wxBoxSizer(wxHORIZONTAL);
    macroRow->Add(new wxStaticText(group, wxID_ANY, "Macro:"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
                  4);
    macroRow->Add(choice(macros_), 0, wxRIGHT, 12);
    macroRow->Add(check(FilterCheck::kConditionDisabled, "Disabled"), 0, wxALIGN_CENTER_VERTICAL);

    auto* howRow = new wxBoxSizer(wxHORIZONTAL);
    all_ = new wxRadioButton(group, wxID_ANY, "all conditon ok", wxDefaultPosition, wxDefaultSize,
                             wxRB_GROUP);
    any_ = new wxRadioButton(group, wxID_ANY, "any condition ok");
    for (wxRadioButton* radio : {all_, any_}) {
        radio->Bind(wxEVT_RADIOBUTTON, [this, radio](wxCommandEvent&) {
            if (busy_) return;
            Busy busy(busy_);
            editor_->OnAllConditions(radio == all_);
        });
        howRow->Add(radio, 0, wxRIGHT, 8);
    }
    howRow->Add(check(FilterCheck::kHaveAttachment, "have attachment"), 0);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(button(kConditionAdd, "Add/Modify"), 0, wxRIGHT, 4);
    buttons->Add(button(kConditionDelete, "Delete"), 0, wxRIGHT, 4);
    buttons->Add(button(kToActions, "Action >>"), 0);

    auto* column = new wxBoxSizer(wxVERTICAL);
    for (wxSizer* row : {fieldRow, macroRow, howRow, buttons})
        column->Add(row, 0, wxEXPAND | wxALL, 2);
    group->SetSizer(column);
    return group;
}

wxWindow* FilterFrame::BuildActions(wxWindow* parent) {
    auto* group = new wxPanel(parent);
    parts_[FilterPart::kActionGroup] = {group};
    actions_ = std::make_unique<WxComboView>(new wxChoice(group, wxID_ANY));
    actionValues_ = std::make_unique<WxComboView>(new wxChoice(group, wxID_ANY));
    actions_->control()->Bind(wxEVT_CHOICE, &FilterFrame::OnChoice, this);
    actionValue_ = std::make_unique<WxTextView>(
        new wxTextCtrl(group, wxID_ANY, wxString(), wxDefaultPosition, wxSize(220, -1)));
    parts_[FilterPart::kActionValueEdit] = {actionValue_->control()};
    parts_[FilterPart::kActionValueList] = {actionValues_->control()};
    auto button = [&](int id, const char* label) {
        auto* b = new wxButton(group, id, label, wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
        b->Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) { Run(e.GetId()); });
        return b;
    };
    auto check = [&](FilterCheck which, const char* label) {
        auto* box = new wxCheckBox(group, wxID_ANY, label);
        box->Bind(wxEVT_CHECKBOX, &FilterFrame::OnCheck, this);
        checks_[which] = box;
        return box;
    };

    auto* valueRow = new wxBoxSizer(wxHORIZONTAL);
    valueRow->Add(actions_->control(), 0, wxRIGHT, 4);
    valueRow->Add(actionValue_->control(), 1, wxRIGHT, 4);
    valueRow->Add(actionValues_->control(), 1, wxRIGHT, 4);
    valueRow->Add(button(kChooseValue, "..."), 0, wxRIGHT, 8);
    valueRow->Add(check(FilterCheck::kActionDisabled, "Disabled"), 0, wxALIGN_CENTER_VERTICAL);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(button(kActionAdd, "Add/Modify"), 0, wxRIGHT, 4);
    buttons->Add(button(kActionDelete, "Delete"), 0, wxRIGHT, 4);
    buttons->Add(button(kToConditions, "Condition >>"), 0);

    auto* flags = new wxGridSizer(2, 2, 8);
    for (const CheckLabel& flag : kFlagLabels) flags->Add(check(flag.check, flag.label));

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(valueRow, 0, wxEXPAND | wxALL, 2);
    column->Add(buttons, 0, wxALL, 2);
    column->Add(flags, 0, wxALL, 2);
    group->SetSizer(column);
    return group;
}

int FilterFrame::Start(baseDataStruct* current) {
    Busy busy(busy_);
    editor_->OpenWizard();
    const int result = manager_->InitialUpdate(current);
    RefreshPages();
    return result;
}

WxListView& FilterFrame::pageList(Page page) {
    return *pageViews_[page];
}

bool FilterFrame::Checked(FilterCheck check) const {
    if (check == FilterCheck::kAllConditions) return all_->GetValue();
    const auto it = checks_.find(check);
    return it != checks_.end() && it->second->GetValue();
}

void FilterFrame::SetChecked(FilterCheck check, bool on) {
    if (check == FilterCheck::kAllConditions) {
        (on ? all_ : any_)->SetValue(true);
        return;
    }
    const auto it = checks_.find(check);
    if (it != checks_.end()) it->second->SetValue(on);
}

void FilterFrame::Show(FilterPart part, bool visible) {
    for (wxWindow* window : parts_[part]) window->Show(visible);
    if (wizard_) wizard_->GetParent()->Layout();
}

void FilterFrame::RefreshPages() {
    editor_->ExplainInto(*pageLists_[kShowPage]);
    editor_->ExplainInto(*pageLists_[kEditPage]);
    editor_->Refresh();
}

void FilterFrame::Run(int command) {
    Busy busy(busy_);
    switch (command) {
        case kAddFilter:
            manager_->AddFilter();
            break;
        case kConditionAdd:
            editor_->AddModifyCondition();
            break;
        case kConditionDelete:
            editor_->DeleteCondition();
            break;
        case kToActions:
            editor_->ShowConditions(false);
            break;
        case kActionAdd:
            editor_->AddModifyAction();
            break;
        case kActionDelete:
            editor_->DeleteAction();
            break;
        case kToConditions:
            editor_->ShowConditions(true);
            break;
        case kChooseValue:
            editor_->ChooseActionValue();
            break;
        default:
            return;
    }
    RefreshPages();
}

void FilterFrame::OnChoice(wxCommandEvent& event) {
    if (busy_) return;
    Busy busy(busy_);
    wxObject* from = event.GetEventObject();
    if (from == fields_->control()) editor_->OnField();
    if (from == operators_->control()) editor_->OnOperator();
    if (from == macros_->control()) editor_->OnMacro();
    if (from == actions_->control()) editor_->OnAction();
}

void FilterFrame::OnCheck(wxCommandEvent& event) {
    if (busy_) return;
    Busy busy(busy_);
    for (const auto& [check, box] : checks_) {
        if (box != event.GetEventObject()) continue;
        if (check == FilterCheck::kConditionDisabled) {
            editor_->OnConditionDisabled();
        } else if (check == FilterCheck::kHaveAttachment) {
            editor_->OnHaveAttachment();
        } else if (check == FilterCheck::kActionDisabled) {
            editor_->OnActionDisabled();
        } else {
            editor_->OnFlag(check);
        }
    }
    RefreshPages();
}

void FilterFrame::OnTreeSelection(wxTreeEvent& event) {
    if (busy_) return;
    Busy busy(busy_);
    manager_->OnTreeSelection(WxTreeView::FromWx(event.GetItem()));
    RefreshPages();
}

void FilterFrame::OnTreeExpansion(wxTreeEvent& event) {
    if (busy_) return;
    Busy busy(busy_);
    manager_->OnExpanded(WxTreeView::FromWx(event.GetItem()),
                         event.GetEventType() == wxEVT_TREE_ITEM_EXPANDED);
}

void FilterFrame::OnRuleSelection(wxListEvent&) {
    // A click deselects the old row before it selects the new one: look once both are done.
    if (busy_ || syncPending_) return;
    syncPending_ = true;
    CallAfter(&FilterFrame::SyncRuleSelection);
}

void FilterFrame::SyncRuleSelection() {
    syncPending_ = false;
    Busy busy(busy_);
    const int row = static_cast<int>(
        rulesView_->control()->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED));
    manager_->OnRuleSelection(row);
    RefreshPages();
}

void FilterFrame::OnExplanationClick(wxListEvent& event) {
    if (busy_) return;
    Busy busy(busy_);
    editor_->OnExplanationRow(
        pageViews_[kWizardPage]->ItemData(static_cast<int>(event.GetIndex())));
}

void FilterFrame::OnPageChanged(wxBookCtrlEvent& event) {
    event.Skip();
    if (busy_) return;
    Busy busy(busy_);
    RefreshPages();
}

FilterFrame* OpenFilterWindow(wxWindow* parent, CSysData& sys, baseDataStruct* current,
                              ReceiverPicker* receivers) {
    static wxWeakRef<FilterFrame> open;
    if (open) {
        open->Raise();
        return open.get();
    }
    auto* frame = new FilterFrame(parent, sys, receivers);
    if (frame->Start(current) != 0) {
        frame->Destroy();
        return nullptr;
    }
    frame->Centre();
    frame->Show(true);
    open = frame;
    return frame;
}

}  // namespace korvo
