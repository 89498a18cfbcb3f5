#include "tarnel/person_pages.h"

#include <wx/button.h>
#include <wx/combobox.h>
#include <wx/datectrl.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "platform/wide_text.h"
#include "tarnel/person_keys.h"
#include "tarnel/person_sheet.h"

namespace korvo::tarnel {
namespace {

wxString Wx(std::string_view bytes) {
    return wxString(WideFromBytes(bytes));
}

std::string Bytes(const wxString& text) {
    return BytesFromWide(text.ToStdWstring());
}

constexpr int kGap = 5;

wxDateTime DateOfSeconds(long long seconds) {
    return wxDateTime(wxLongLong(seconds) * 1000);
}

long long SecondsOf(const wxDateTime& date) {
    return (date.GetValue() / 1000).GetValue();
}

}  // namespace

PersonPage::PersonPage(wxWindow* parent, baseDataStruct* node, bool existing)
    : wxPanel(parent), node_(node), existing_(existing) {}

void PersonPage::EnsureBuilt() {
    if (built_) return;
    built_ = true;
    Build();
    Layout();
}

wxTextCtrl* PersonPage::AddEdit(wxSizer* grid, std::string_view label, std::string_view key,
                                long style) {
    grid->Add(new wxStaticText(this, wxID_ANY, Wx(label)), 0, wxALIGN_CENTER_VERTICAL);
    auto* edit = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                style & wxTE_MULTILINE ? wxSize(-1, 60) : wxDefaultSize, style,
                                wxDefaultValidator, Wx(key));
    grid->Add(edit, 1, wxEXPAND);
    return edit;
}

void PersonPage::LoadEdit(wxTextCtrl* edit, std::string_view key) {
    if (existing_) edit->ChangeValue(Wx(FieldValue(node_, key)));
}

void PersonPage::SaveEdit(wxTextCtrl* edit, std::string_view key) {
    setinfo(node_, kThisNode, key, Bytes(edit->GetValue()));
}

// ---- Info ----------------------------------------------------------------------------------

void CPagePersonInfo::Build() {
    auto* grid = new wxFlexGridSizer(2, kGap, kGap);
    grid->AddGrowableCol(1);
    first_ = AddEdit(grid, "First", "name");
    last_ = AddEdit(grid, "Last", "LASTNAME");
    email_ = AddEdit(grid, "EMail", "email");
    returnEmail_ = AddEdit(grid, "Return", "ReturnEmail", wxTE_MULTILINE);
    auto* box = new wxBoxSizer(wxVERTICAL);
    box->Add(grid, 1, wxEXPAND | wxALL, 10);
    SetSizer(box);
    LoadEdit(first_, "name");
    LoadEdit(last_, "LASTNAME");
    LoadEdit(email_, "email");
    LoadEdit(returnEmail_, "ReturnEmail");
}

bool CPagePersonInfo::Check() {
    return !first_ || !first_->GetValue().empty();
}

void CPagePersonInfo::Save() {
    setinfo(node_, kThisNode, "type", "PersonInfo");
    setinfo(node_, kThisNode, "pType", "100");
    SaveEdit(first_, "name");
    SaveEdit(last_, "LASTNAME");
    SaveEdit(email_, "email");
    SaveEdit(returnEmail_, "ReturnEmail");
}

// ---- Details -------------------------------------------------------------------------------

void CPagePersonDetails::Build() {
    auto* grid = new wxFlexGridSizer(2, kGap, kGap);
    grid->AddGrowableCol(1);
    grid->Add(new wxStaticText(this, wxID_ANY, "Title"), 0, wxALIGN_CENTER_VERTICAL);
    title_ = new wxComboBox(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                            nullptr, wxCB_DROPDOWN, wxDefaultValidator, "PHTitle");
    for (std::string_view t : kTitles) title_->Append(Wx(t));
    grid->Add(title_, 1, wxEXPAND);
    std::array<const char*, 4> labels = {"Address", "Web address", "Zip code", "Nick name"};
    for (size_t i = 0; i < edits_.size(); ++i)
        edits_[i] = AddEdit(grid, labels[i], kDetailFields[i].key);
    grid->Add(new wxStaticText(this, wxID_ANY, "Birthday"), 0, wxALIGN_CENTER_VERTICAL);
    birthday_ =
        new wxDatePickerCtrl(this, wxID_ANY, wxDefaultDateTime, wxDefaultPosition, wxDefaultSize,
                             wxDP_DEFAULT | wxDP_SHOWCENTURY, wxDefaultValidator, "PHBirthday");
    auto* birthdayRow = new wxBoxSizer(wxHORIZONTAL);
    birthdayRow->Add(birthday_, 1, wxEXPAND);
    auto* card = new wxButton(this, wxID_ANY, "Send birthday card");
    auto* awake = new wxButton(this, wxID_ANY, "Awake");
    birthdayRow->Add(card, 0, wxLEFT, kGap);
    birthdayRow->Add(awake, 0, wxLEFT, kGap);
    grid->Add(birthdayRow, 1, wxEXPAND);

    phoneButton_ = new wxButton(this, wxID_ANY, "Phone", wxDefaultPosition, wxDefaultSize, 0,
                                wxDefaultValidator, "phoneButton");
    grid->Add(phoneButton_, 0);
    auto* phoneRow = new wxBoxSizer(wxHORIZONTAL);
    phoneLabel_ = new wxStaticText(this, wxID_ANY, Wx(kPhoneKinds[kFirstPhoneKind].label),
                                   wxDefaultPosition, wxSize(90, -1), 0, "phoneKind");
    phone_ = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize, 0,
                            wxDefaultValidator, "phone");
    phoneRow->Add(phoneLabel_, 0, wxALIGN_CENTER_VERTICAL);
    phoneRow->Add(phone_, 1, wxEXPAND);
    grid->Add(phoneRow, 1, wxEXPAND);

    auto* list = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 70),
                                wxLC_REPORT | wxLC_SINGLE_SEL);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    std::vector<wxButton*> inactive = {card, awake};
    for (const char* text : {"Add other", "Modify", "Delete", "Add", "Del"}) {
        inactive.push_back(new wxButton(this, wxID_ANY, text));
        buttons->Add(inactive.back(), 0, wxRIGHT, kGap);
    }
    for (wxButton* b : inactive) b->Disable();

    auto* box = new wxBoxSizer(wxVERTICAL);
    box->Add(grid, 0, wxEXPAND | wxALL, 10);
    box->Add(list, 1, wxEXPAND | wxLEFT | wxRIGHT, 10);
    box->Add(buttons, 0, wxALL, 10);
    SetSizer(box);
    Layout();
    // One column as wide as the list ("Person =<width>"), one row.
    list->InsertColumn(0, "Person", wxLIST_FORMAT_LEFT, list->GetClientSize().GetWidth());
    list->InsertItem(0, "No person on here!");

    phoneKind_ = kFirstPhoneKind;
    bool haveBirthday = false;
    long long birthday = 0;
    if (existing_) {
        // A decimal count of seconds, 64 bits wide (older 32-bit values read the same).
        const std::string stored = getinfo(node_, kThisNode, "PHBirthday");
        haveBirthday = stored != kAbsent;
        if (haveBirthday) birthday = TextToLong(stored);
        for (size_t i = 0; i < edits_.size(); ++i) LoadEdit(edits_[i], kDetailFields[i].key);
        phone_->ChangeValue(Wx(FieldValue(node_, "PHPhone")));
        const std::string title = FieldValue(node_, "PHTitle");
        int found = wxNOT_FOUND;
        for (size_t i = 0; i < kTitles.size() && found == wxNOT_FOUND && !title.empty(); ++i)
            if (kTitles[i].substr(0, title.size()) == title) found = int(i);
        // A title typed by hand stays as it was typed.
        if (found != wxNOT_FOUND) {
            title_->SetSelection(found);
        } else {
            title_->ChangeValue(Wx(title));
        }
        for (size_t i = 0; i < phones_.size(); ++i)
            phones_[i] = FieldValue(node_, kPhoneKinds[i].key);
    }
    wxDateTime date =
        haveBirthday ? DateOfSeconds(birthday) : wxDateTime(1, wxDateTime::Jan, 1977, 1, 1, 1);
    wxDateTime midnight = date;
    midnight.ResetTime();
    birthdayTimeOfDay_ = SecondsOf(date) - SecondsOf(midnight);
    birthday_->SetValue(date);

    phoneButton_->Bind(wxEVT_BUTTON, &CPagePersonDetails::OnPhoneButton, this);
    Bind(wxEVT_MENU, &CPagePersonDetails::OnPhoneKind, this, kPhoneMenuId,
         kPhoneMenuId + int(kPhoneKinds.size()) - 1);
    phone_->Bind(wxEVT_TEXT, &CPagePersonDetails::OnPhoneText, this);
}

void CPagePersonDetails::OnPhoneButton(wxCommandEvent&) {
    wxMenu menu;
    for (size_t i = 0; i < kPhoneKinds.size(); ++i) {
        menu.AppendCheckItem(kPhoneMenuId + int(i), Wx(kPhoneKinds[i].label));
        menu.Check(kPhoneMenuId + int(i), !phones_[i].empty());
    }
    const wxRect button = phoneButton_->GetRect();
    PopupMenu(&menu, button.GetLeft(), button.GetBottom());
}

void CPagePersonDetails::OnPhoneKind(wxCommandEvent& event) {
    const size_t kind = size_t(event.GetId() - kPhoneMenuId);
    if (kind >= phones_.size()) return;
    phoneKind_ = kind;
    phone_->ChangeValue(Wx(phones_[kind]));
    phoneLabel_->SetLabel(Wx(kPhoneKinds[kind].label));
}

void CPagePersonDetails::OnPhoneText(wxCommandEvent&) {
    phones_[phoneKind_] = Bytes(phone_->GetValue());
}

void CPagePersonDetails::Save() {
    for (size_t i = 0; i < edits_.size(); ++i) SaveEdit(edits_[i], kDetailFields[i].key);
    // Details write the title between the plain edits and the birthday.
    setinfo(node_, kThisNode, "PHTitle", Bytes(title_->GetValue()));
    wxDateTime day = birthday_->GetValue();
    day.ResetTime();
    setinfo(node_, kThisNode, "PHBirthday", std::to_string(SecondsOf(day) + birthdayTimeOfDay_));
    for (size_t i = 0; i < phones_.size(); ++i)
        setinfo(node_, kThisNode, kPhoneKinds[i].key, phones_[i]);
}

// ---- Dept/Company --------------------------------------------------------------------------

void CPagePersonLink::Build() {
    auto* grid = new wxFlexGridSizer(4, kGap, kGap);
    grid->AddGrowableCol(1);
    grid->AddGrowableCol(3);
    for (size_t i = 0; i < edits_.size(); ++i)
        edits_[i] = AddEdit(grid, kCompanyFields[i].label, kCompanyFields[i].key);
    auto* box = new wxBoxSizer(wxVERTICAL);
    box->Add(grid, 0, wxEXPAND | wxALL, 10);
    SetSizer(box);
    for (size_t i = 0; i < edits_.size(); ++i) LoadEdit(edits_[i], kCompanyFields[i].key);
}

void CPagePersonLink::Save() {
    for (size_t i = 0; i < edits_.size(); ++i) SaveEdit(edits_[i], kCompanyFields[i].key);
}

// ---- Note ----------------------------------------------------------------------------------

void CPagePersonNote::Build() {
    auto* box = new wxBoxSizer(wxVERTICAL);
    box->Add(new wxStaticText(this, wxID_ANY, "Note"), 0, wxALL, kGap);
    note_ = new wxTextCtrl(this, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                           wxTE_MULTILINE, wxDefaultValidator, "note");
    box->Add(note_, 1, wxEXPAND | wxALL, kGap);
    SetSizer(box);
    LoadEdit(note_, "note");
}

void CPagePersonNote::Save() {
    SaveEdit(note_, "note");
}

}  // namespace korvo::tarnel
