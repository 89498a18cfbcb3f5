#include "ui/address_panel.h"

#include <wx/sizer.h>

#include "ui/busy_flag.h"
#include "ui/view_images.h"
#include "ui/wx_text.h"

namespace korvo {
AddressPanel::AddressPanel(wxPanel* place, CSysData& sys, SecondaryWindows& windows)
    : place_(place) {
    caption_ = new wxTextCtrl(place, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                              wxTE_READONLY);
    switch_ = new wxButton(place, wxID_ANY, "V", wxDefaultPosition, wxSize(18, 20), wxBU_EXACTFIT);
    treeView_ = std::make_unique<WxTreeView>(place);
    treeView_->control()->AssignImageList(MakeTreeImages());
    treeLogic_ = std::make_unique<CBaseTreeControl>(*treeView_);
    listView_ = std::make_unique<WxListView>(place);
    listLogic_ = std::make_unique<CBaseListControl>(*listView_);
    AddressPanelFace& face = *this;
    logic_ = std::make_unique<CViewAddressList>(sys, *treeLogic_, *listLogic_, face, windows);

    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(caption_, 1, wxALIGN_CENTER_VERTICAL);
    top->Add(switch_, 0, wxALIGN_CENTER_VERTICAL);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(top, 0, wxEXPAND | wxBOTTOM, 2);
    column->Add(treeView_->control(), 1, wxEXPAND);
    column->Add(listView_->control(), 1, wxEXPAND);
    place->SetSizer(column);
    listView_->control()->Hide();
    switch_->Disable();

    switch_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        BusyFlag busy(busy_);
        logic_->OnSwitch();
    });
    treeView_->control()->Bind(wxEVT_TREE_SEL_CHANGED, &AddressPanel::OnTreeSelection, this);
    listView_->control()->Bind(wxEVT_LIST_ITEM_ACTIVATED, &AddressPanel::OnPersonActivated, this);
}

AddressPanel::~AddressPanel() {
    busy_ = true;
    if (wxTreeCtrl* tree = treeView_->control())
        tree->Unbind(wxEVT_TREE_SEL_CHANGED, &AddressPanel::OnTreeSelection, this);
    if (wxListCtrl* list = listView_->control())
        list->Unbind(wxEVT_LIST_ITEM_ACTIVATED, &AddressPanel::OnPersonActivated, this);
}

void AddressPanel::OnCurrentNodeChanged(baseDataStruct* node) {
    BusyFlag busy(busy_);
    logic_->OnCurrentNodeChanged(node);
}

void AddressPanel::Clear() {
    BusyFlag busy(busy_);
    logic_->Clear();
}

void AddressPanel::SetCaption(std::string_view caption) {
    caption_->ChangeValue(WxFromBytes(caption));
}

void AddressPanel::EnableSwitch(bool on) {
    switch_->Enable(on);
}

void AddressPanel::ShowPersons(bool persons) {
    treeView_->control()->Show(!persons);
    listView_->control()->Show(persons);
    place_->Layout();
}

void AddressPanel::OnTreeSelection(wxTreeEvent& event) {
    event.Skip();
    if (busy_) return;
    BusyFlag busy(busy_);
    logic_->OnSelectTree(WxTreeView::FromWx(event.GetItem()));
}

void AddressPanel::OnPersonActivated(wxListEvent& event) {
    event.Skip();
    if (busy_) return;
    BusyFlag busy(busy_);
    logic_->OnPersonDoubleClick(int(event.GetIndex()));
}

}  // namespace korvo
