// CSheetPerson: the modal sheet "Person property" over the library's working copy of a person,
// with the pages Info, Details, Dept/Company and Note. A page builds its controls and loads the
// copy the first time it is shown (the sheet shows Dept/Company, Details and Info while it
// opens, so only Note waits for the user); on OK every page that was built writes its fields
// into the copy. Controls are named after the keys they edit.
#pragma once

#include <wx/propdlg.h>

#include <array>
#include <string>

#include "store/node.h"

class wxBookCtrlEvent;
class wxTextCtrl;

namespace korvo::tarnel {

class PersonPage;

class CSheetPerson : public wxPropertySheetDialog {
  public:
    // `copy` is the working copy, written on OK only.
    CSheetPerson(wxWindow* parent, baseDataStruct* copy, bool existing);

    baseDataStruct* node() const { return copy_; }
    bool existing() const { return existing_; }

  private:
    void OnPageChanged(wxBookCtrlEvent& event);
    void OnOk(wxCommandEvent& event);

    baseDataStruct* copy_;
    bool existing_;
    std::array<PersonPage*, 4> pages_{};
};

// A value of the copy for a field: absent values show empty.
std::string FieldValue(const baseDataStruct* node, std::string_view key);

}  // namespace korvo::tarnel
