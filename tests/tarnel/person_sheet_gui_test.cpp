// The person editor through its export, with the sheet filled in as a user would.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/bookctrl.h>
#include <wx/combobox.h>
#include <wx/msgdlg.h>
#include <wx/propdlg.h>
#include <wx/testing.h>
#include <wx/textctrl.h>

#include <ctime>
#include <functional>
#include <string>

#include "platform/wide_text.h"
#include "store/node.h"
#include "tarnel/person_pages.h"
#include "tarnel/tarnel.h"

namespace korvo {
namespace {

struct Outcome {
    int32_t result = 0;
    std::string property;
    std::string sdata;
    bool propertySet = false;
    bool sdataSet = false;
    std::string title;
};

wxPropertySheetDialog* ShownSheet() {
    for (wxWindow* w : wxTopLevelWindows) {
        auto* sheet = dynamic_cast<wxPropertySheetDialog*>(w);
        if (sheet && sheet->IsModal()) return sheet;
    }
    return nullptr;
}

template <class Control>
Control* Field(wxWindow* sheet, const char* name) {
    auto* control = dynamic_cast<Control*>(wxWindow::FindWindowByName(name, sheet));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

void Type(wxWindow* sheet, const char* name, const char* text) {
    if (auto* edit = Field<wxTextCtrl>(sheet, name)) edit->SetValue(wxString::FromUTF8(text));
}

void Press(wxWindow* sheet, int id) {
    wxCommandEvent click(wxEVT_BUTTON, id);
    click.SetEventObject(sheet);
    sheet->ProcessWindowEvent(click);
}

// Runs DlgModel while `user` acts on the sheet once it is shown; `user` must end it.
Outcome RunSheet(int32_t existing, baseDataStruct* person, std::function<void(wxWindow*)> user) {
    Outcome out;
    wxTheApp->CallAfter([&] {
        wxPropertySheetDialog* sheet = ShownSheet();
        if (!sheet) {
            ADD_FAILURE() << "no sheet shown";
            return;
        }
        out.title = sheet->GetTitle().ToStdString(wxConvUTF8);
        user(sheet);
    });
    wchar_t* property = nullptr;
    wchar_t* sdata = nullptr;
    out.result = DlgModel(1, existing, person, &property, &sdata);
    out.propertySet = property != nullptr;
    out.sdataSet = sdata != nullptr;
    if (property) {
        out.property = BytesFromWide({property, TarnelTextLength(property)});
        out.sdata = BytesFromWide({sdata, TarnelTextLength(sdata)});
    }
    TarnelFreeText(property);
    TarnelFreeText(sdata);
    return out;
}

// Presses OK in a message box after checking its text.
class ExpectMessage : public wxExpectModalBase<wxMessageDialog, ExpectMessage> {
  public:
    explicit ExpectMessage(std::string text) : text_(std::move(text)) {}

  protected:
    int OnInvoked(wxMessageDialog* box) const override {
        EXPECT_EQ(box->GetMessage().ToStdString(wxConvUTF8), text_);
        return wxID_OK;
    }

  private:
    std::string text_;
};

std::string Empty(std::initializer_list<const char*> keys) {
    std::string text;
    for (const char* key : keys) text += std::string(" ,") + key + " =";
    return text;
}

TEST(PersonSheet, ModesOtherThanOneShowNothing) {
    for (int32_t mode : {0, 2, -1}) {
        wchar_t* property = nullptr;
        wchar_t* sdata = nullptr;
        EXPECT_EQ(DlgModel(mode, 0, nullptr, &property, &sdata), -1) << mode;
        EXPECT_EQ(property, nullptr);
        EXPECT_EQ(sdata, nullptr);
    }
}

TEST(PersonSheet, NewPersonWithOnlyAFirstName) {
    baseDataStruct person;
    const Outcome out = RunSheet(0, &person, [](wxWindow* sheet) {
        Type(sheet, "name", "Ann \xC3\xA9 \xF0\x9F\x98\x80");
        Press(sheet, wxID_OK);
    });
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(out.title, "Add new person info");
    std::tm day{};
    day.tm_year = 77, day.tm_mon = 0, day.tm_mday = 1, day.tm_hour = 1, day.tm_min = 1,
    day.tm_sec = 1, day.tm_isdst = -1;
    const std::string birthday = std::to_string(static_cast<long long>(std::mktime(&day)));
    // The copy of an empty node starts empty: the first key is appended after a separator.
    EXPECT_EQ(out.property, " ,type =PersonInfo ,pType =100 ,name =Ann \xC3\xA9 \xF0\x9F\x98\x80" +
                                Empty({"LASTNAME", "email", "ReturnEmail", "PHADDRESS", "PHWebsite",
                                       "PHZipcode", "PHNickname", "PHTitle"}) +
                                " ,PHBirthday =" + birthday + Empty({"PHONEASSISTANT",
                                                                     "PHONEBP",
                                                                     "PHONEBUSINESS",
                                                                     "PHONEBUSINESS2",
                                                                     "PHONEBUSINESSFAX",
                                                                     "PHONECARPHONE",
                                                                     "PHONECOMPANY",
                                                                     "PHONEHANDPHONE",
                                                                     "PHONEHOME",
                                                                     "PHONEHOME2",
                                                                     "PHONEHOMEFAX",
                                                                     "PHONETTY",
                                                                     "PADDRESS",
                                                                     "PCITY",
                                                                     "PCOMPANY",
                                                                     "PCOUNTRY",
                                                                     "PCWEB",
                                                                     "PDEPT",
                                                                     "PFAX",
                                                                     "PMANAGER",
                                                                     "PPHONE1",
                                                                     "PPHONE2",
                                                                     "PPROFESSION",
                                                                     "PSTATE"}));
    EXPECT_EQ(out.sdata, "");
}

TEST(PersonSheet, ExistingPersonKeepsWhatTheSheetDoesNotWrite) {
    baseDataStruct person;
    setinfo(&person, kThisNode, "PROPERTY",
            "type =PersonInfo ,name =Bob ,PHPhone =555 ,PHTitle =Sir ,PHBirthday =4102444800 "
            ",PHONEHOME =111 ,custom =kept");
    setinfo(&person, kThisNode, "SDATA", "block \xE5\xA7\x93");
    const Outcome out = RunSheet(1, &person, [](wxWindow* sheet) {
        auto* book = static_cast<wxPropertySheetDialog*>(sheet)->GetBookCtrl();
        book->SetSelection(3);  // builds the Note page
        Type(sheet, "note", "line one\nline two, with =");
        // The phone menu: Business is picked and given a number.
        wxWindow* phone = Field<wxTextCtrl>(sheet, "phone");
        wxCommandEvent pick(wxEVT_MENU, tarnel::kPhoneMenuId + 2);
        phone->GetParent()->ProcessWindowEvent(pick);
        Type(sheet, "phone", "777");
        Press(sheet, wxID_OK);
    });
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(out.title, "Bob modify");
    const auto value = [&](const char* key) { return getinfofromtext(out.property, key); };
    EXPECT_EQ(value("PHPhone"), "555");
    EXPECT_EQ(value("PHTitle"), "Sir");
    EXPECT_EQ(value("custom"), "kept");
    EXPECT_EQ(value("PHBirthday"), "4102444800");  // 2100-01-01, past 32 bits
    EXPECT_EQ(value("PHONEHOME"), "111");
    EXPECT_EQ(value("PHONEBUSINESS"), "777");
    EXPECT_EQ(value("note"), "line one\nline two, with =");
    EXPECT_EQ(out.sdata, "block \xE5\xA7\x93");
    EXPECT_EQ(getinfo(&person, kThisNode, "PHONEBUSINESS"), "-1")
        << "the caller's node is read only";
}

TEST(PersonSheet, EmptyFirstNameKeepsTheSheetOpenAndCancelReturnsNothing) {
    baseDataStruct person;
    const Outcome out = RunSheet(0, &person, [](wxWindow* sheet) {
        Type(sheet, "email", "x@example.org");
        wxTEST_DIALOG(Press(sheet, wxID_OK), ExpectMessage("Please input person's first name!"));
        EXPECT_TRUE(static_cast<wxDialog*>(sheet)->IsModal());
        Press(sheet, wxID_CANCEL);
    });
    EXPECT_EQ(out.result, 2);
    EXPECT_FALSE(out.propertySet);
    EXPECT_FALSE(out.sdataSet);
}

}  // namespace
}  // namespace korvo
