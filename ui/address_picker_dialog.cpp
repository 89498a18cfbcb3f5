#include "ui/address_picker_dialog.h"

#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "ui/view_images.h"
#include "ui/wx_text.h"

namespace korvo {

template <class Step>
void AddressPickerDialog::Act(Step&& step) {
    if (busy_) return;
    busy_ = true;
    step();
    busy_ = false;
}

AddressPickerDialog::AddressPickerDialog(wxWindow* parent, CSysData& sys, PersonEditor& editor)
    : wxDialog(parent, wxID_ANY, WxFromBytes(kPickerTitle), wxDefaultPosition, wxSize(720, 460),
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    auto* left = new wxBoxSizer(wxVERTICAL);
    auto* leftTop = new wxBoxSizer(wxHORIZONTAL);
    auto* email =
        new wxRadioButton(this, wxID_ANY, "E", wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    auto* name = new wxRadioButton(this, wxID_ANY, "N");
    // What these would show is not settled: they stay off.
    email->Disable();
    name->Disable();
    auto* switchButton =
        new wxButton(this, wxID_ANY, "V", wxDefaultPosition, wxSize(18, 20), wxBU_EXACTFIT);
    leftTop->Add(email, 0, wxALIGN_CENTER_VERTICAL);
    leftTop->Add(name, 0, wxALIGN_CENTER_VERTICAL);
    leftTop->AddStretchSpacer();
    leftTop->Add(switchButton, 0);
    treeView_ = std::make_unique<WxTreeView>(this);
    treeView_->control()->AssignImageList(MakeTreeImages());
    treeLogic_ = std::make_unique<CBaseTreeControl>(*treeView_);
    personView_ = std::make_unique<WxListView>(this);
    personLogic_ = std::make_unique<CBaseListControl>(*personView_);
    auto* addNew = new wxButton(this, wxID_ANY, "add new");
    auto* property = new wxButton(this, wxID_ANY, "property");
    auto* personButtons = new wxBoxSizer(wxHORIZONTAL);
    personButtons->Add(addNew, 0, wxRIGHT, 4);
    personButtons->Add(property, 0);
    left->Add(leftTop, 0, wxEXPAND | wxBOTTOM, 2);
    left->Add(treeView_->control(), 1, wxEXPAND);
    left->Add(personView_->control(), 1, wxEXPAND);
    left->Add(personButtons, 0, wxTOP, 4);

    auto* right = new wxFlexGridSizer(2, 4, 4);
    right->AddGrowableCol(1);
    std::array<CBaseListControl*, 3> receivers{};
    for (int i = 0; i < 3; ++i) {
        auto* copy =
            new wxButton(this, wxID_ANY, ">>", wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
        copy->Bind(wxEVT_BUTTON,
                   [this, i](wxCommandEvent&) { Act([&] { logic_->CopySelected(i); }); });
        receiverViews_[size_t(i)] = std::make_unique<WxListView>(this);
        receiverLogic_[size_t(i)] = std::make_unique<CBaseListControl>(*receiverViews_[size_t(i)]);
        receivers[size_t(i)] = receiverLogic_[size_t(i)].get();
        wxListCtrl* list = receiverViews_[size_t(i)]->control();
        // Clicking a receiver list makes it the one "X" works on.
        auto choose = [this, i](auto& event) {
            event.Skip();
            if (!busy_) logic_->OnReceiverListClick(i);
        };
        list->Bind(wxEVT_LEFT_DOWN, [choose](wxMouseEvent& e) { choose(e); });
        list->Bind(wxEVT_LIST_ITEM_SELECTED, [choose](wxListEvent& e) { choose(e); });
        right->Add(copy, 0, wxALIGN_CENTER_VERTICAL);
        right->Add(list, 1, wxEXPAND);
        right->AddGrowableRow(size_t(i));
    }
    auto* remove =
        new wxButton(this, wxID_ANY, "X", wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
    right->AddSpacer(0);
    right->Add(remove, 0, wxALIGN_RIGHT);

    auto* columns = new wxBoxSizer(wxHORIZONTAL);
    columns->Add(left, 2, wxEXPAND | wxALL, 6);
    columns->Add(right, 3, wxEXPAND | wxALL, 6);
    auto* all = new wxBoxSizer(wxVERTICAL);
    all->Add(columns, 1, wxEXPAND);
    all->Add(CreateSeparatedButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 6);
    SetSizer(all);

    PickerFace& face = *this;
    logic_ =
        std::make_unique<CAddressPicker>(sys, *treeLogic_, *personLogic_, receivers, face, editor);
    switchButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Act([&] { logic_->OnSwitch(); }); });
    remove->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Act([&] { logic_->RemoveSelected(); }); });
    addNew->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Act([&] { logic_->AddNew(); }); });
    property->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Act([&] { logic_->Property(); }); });
    treeView_->control()->Bind(wxEVT_TREE_SEL_CHANGED, &AddressPickerDialog::OnTreeSelection, this);
    personView_->control()->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent& event) {
        event.Skip();
        Act([&] { logic_->OnPersonDoubleClick(); });
    });
}

AddressPickerDialog::~AddressPickerDialog() {
    busy_ = true;
    treeView_->control()->Unbind(wxEVT_TREE_SEL_CHANGED, &AddressPickerDialog::OnTreeSelection,
                                 this);
}

void AddressPickerDialog::Open(baseDataStruct* account, const ReceiverLines& lines) {
    Centre();
    Act([&] { logic_->Open(account, lines); });
}

void AddressPickerDialog::ShowPersons(bool persons) {
    treeView_->control()->Show(!persons);
    personView_->control()->Show(persons);
    Layout();
}

void AddressPickerDialog::OnTreeSelection(wxTreeEvent& event) {
    event.Skip();
    Act([&] { logic_->OnSelectTree(WxTreeView::FromWx(event.GetItem())); });
}

bool WxReceiverPicker::PickReceivers(baseDataStruct* account, ReceiverLines& lines) {
    AddressPickerDialog dialog(parent_, sys_, editor_);
    dialog.Open(account, lines);
    if (dialog.ShowModal() != wxID_OK) return false;
    lines = dialog.logic().Lines();
    return true;
}

}  // namespace korvo
