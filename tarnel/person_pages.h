// The four pages of the person sheet.
#pragma once

#include <wx/panel.h>

#include <array>
#include <string>

#include "store/node.h"

class wxButton;
class wxComboBox;
class wxDatePickerCtrl;
class wxStaticText;
class wxTextCtrl;

namespace korvo::tarnel {

class PersonPage : public wxPanel {
  public:
    PersonPage(wxWindow* parent, baseDataStruct* node, bool existing);

    bool built() const { return built_; }
    // Builds the controls and loads the copy, the first time only.
    void EnsureBuilt();
    // The page's own check on OK; false keeps the sheet open.
    virtual bool Check() { return true; }
    virtual void Save() = 0;

  protected:
    virtual void Build() = 0;
    // Adds a label and an edit named `key` to a two-column grid.
    wxTextCtrl* AddEdit(wxSizer* grid, std::string_view label, std::string_view key,
                        long style = 0);
    void LoadEdit(wxTextCtrl* edit, std::string_view key);
    void SaveEdit(wxTextCtrl* edit, std::string_view key);

    baseDataStruct* node_;
    bool existing_;

  private:
    bool built_ = false;
};

class CPagePersonInfo : public PersonPage {
  public:
    using PersonPage::PersonPage;
    bool Check() override;
    void Save() override;

  private:
    void Build() override;
    wxTextCtrl* first_ = nullptr;
    wxTextCtrl* last_ = nullptr;
    wxTextCtrl* email_ = nullptr;
    wxTextCtrl* returnEmail_ = nullptr;
};

class CPagePersonDetails : public PersonPage {
  public:
    using PersonPage::PersonPage;
    void Save() override;

  private:
    void Build() override;
    void OnPhoneButton(wxCommandEvent& event);
    void OnPhoneKind(wxCommandEvent& event);
    void OnPhoneText(wxCommandEvent& event);

    wxComboBox* title_ = nullptr;
    std::array<wxTextCtrl*, 4> edits_{};
    wxDatePickerCtrl* birthday_ = nullptr;
    long long birthdayTimeOfDay_ = 0;  // seconds after local midnight, kept on writing
    wxButton* phoneButton_ = nullptr;
    wxStaticText* phoneLabel_ = nullptr;
    wxTextCtrl* phone_ = nullptr;
    std::array<std::string, 12> phones_;
    size_t phoneKind_ = 0;
};

class CPagePersonLink : public PersonPage {
  public:
    using PersonPage::PersonPage;
    void Save() override;

  private:
    void Build() override;
    std::array<wxTextCtrl*, 12> edits_{};
};

class CPagePersonNote : public PersonPage {
  public:
    using PersonPage::PersonPage;
    void Save() override;

  private:
    void Build() override;
    wxTextCtrl* note_ = nullptr;
};

// Menu ids of the phone kinds: kPhoneMenuId + the kind's index.
inline constexpr int kPhoneMenuId = 20100;

}  // namespace korvo::tarnel
