#include "tarnel/person_sheet.h"

#include <wx/bookctrl.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>

#include "platform/wide_text.h"
#include "tarnel/person_keys.h"
#include "tarnel/person_pages.h"

namespace korvo::tarnel {
namespace {

enum Page { kInfo = 0, kDetails = 1, kCompany = 2, kNote = 3 };

wxString Wx(std::string_view bytes) {
    return wxString(WideFromBytes(bytes));
}

}  // namespace

std::string FieldValue(const baseDataStruct* node, std::string_view key) {
    std::string value = getinfo(node, kThisNode, key);
    return value == kAbsent ? std::string() : value;
}

CSheetPerson::CSheetPerson(wxWindow* parent, baseDataStruct* copy, bool existing)
    : copy_(copy), existing_(existing) {
    Create(parent, wxID_ANY, Wx(kSheetTitle), wxDefaultPosition, wxDefaultSize,
           wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER);
    CreateButtons(wxOK | wxCANCEL);
    wxBookCtrlBase* book = GetBookCtrl();
    pages_ = {new CPagePersonInfo(book, copy, existing),
              new CPagePersonDetails(book, copy, existing),
              new CPagePersonLink(book, copy, existing), new CPagePersonNote(book, copy, existing)};
    const char* captions[] = {"Info", "Details", "Dept/Company", "Note"};
    for (size_t i = 0; i < pages_.size(); ++i) book->AddPage(pages_[i], captions[i]);
    // Dept/Company, Details and Info are built (and loaded) at once; Note when it is opened.
    for (Page page : {kCompany, kDetails, kInfo}) {
        pages_[page]->EnsureBuilt();
        book->SetSelection(page);
    }
    if (!existing) book->SetPageText(kInfo, Wx(kNewPersonTitle));
    book->Bind(wxEVT_BOOKCTRL_PAGE_CHANGED, &CSheetPerson::OnPageChanged, this);
    Bind(wxEVT_BUTTON, &CSheetPerson::OnOk, this, wxID_OK);
    LayoutDialog();
    SetSize(wxSize(560, 520));
    SetTitle(existing ? Wx(FieldValue(copy, "name") + " modify") : Wx(kNewPersonTitle));
}

void CSheetPerson::OnPageChanged(wxBookCtrlEvent& event) {
    event.Skip();
    const int page = event.GetSelection();
    if (page >= 0 && size_t(page) < pages_.size()) pages_[size_t(page)]->EnsureBuilt();
}

void CSheetPerson::OnOk(wxCommandEvent&) {
    if (!pages_[kInfo]->Check()) {
        GetBookCtrl()->SetSelection(kInfo);
        wxMessageBox(Wx(kNoFirstNameMessage), Wx(kSheetTitle), wxOK | wxICON_WARNING, this);
        return;
    }
    for (Page page : {kDetails, kCompany})
        if (!pages_[page]->Check()) return;
    for (PersonPage* page : pages_)
        if (page->built()) page->Save();
    EndModal(wxID_OK);
}

}  // namespace korvo::tarnel
