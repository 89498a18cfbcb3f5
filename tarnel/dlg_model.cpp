// The library's exports: the person sheet over a working copy, and the texts it hands back.
#include <wx/app.h>
#include <wx/msgdlg.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "platform/message_hook.h"
#include "platform/wide_text.h"
#include "store/node.h"
#include "tarnel/person_sheet.h"
#include "tarnel/tarnel.h"

namespace korvo::tarnel {
namespace {

// A new length-prefixed wide text of `bytes`, or null when memory runs out.
wchar_t* NewText(std::string_view bytes) {
    const std::wstring wide = WideFromBytes(bytes);
    static_assert(sizeof(wchar_t) >= sizeof(uint32_t), "the prefix keeps the alignment");
    auto* block = static_cast<wchar_t*>(std::malloc((wide.size() + 2) * sizeof(wchar_t)));
    if (!block) return nullptr;
    const auto length = static_cast<uint32_t>(wide.size());
    std::memset(block, 0, sizeof(wchar_t));
    std::memcpy(reinterpret_cast<char*>(block + 1) - sizeof length, &length, sizeof length);
    std::memcpy(block + 1, wide.data(), wide.size() * sizeof(wchar_t));
    block[wide.size() + 1] = L'\0';
    return block + 1;
}

int32_t RunSheet(int32_t existing, baseDataStruct* person, wchar_t** propertyText,
                 wchar_t** sdataText) {
    if (!wxTheApp) return -1;  // no toolkit running: nothing can be shown
    // Reads of another node's id tell the user the caller is out of date.
    SetMessageHook([](const std::string& text) {
        wxMessageBox(wxString(WideFromBytes(text)), "tarnel", wxOK | wxICON_WARNING);
    });
    UseOldVersionGetinfoWarning();
    baseDataStruct copy;
    copyfrom(&copy, person, 15);
    CSheetPerson sheet(wxTheApp->GetTopWindow(), &copy, existing != 0);
    const int result = sheet.ShowModal();
    // Only the sheet's OK is OK.
    if (result != wxID_OK) return 2;
    wchar_t* property = NewText(copy.propertyText());
    wchar_t* sdata = NewText(getinfo(&copy, kThisNode, "SDATA"));
    if (!property || !sdata) {
        std::free(property ? property - 1 : nullptr);
        std::free(sdata ? sdata - 1 : nullptr);
        return 2;
    }
    if (propertyText)
        *propertyText = property;
    else
        std::free(property - 1);
    if (sdataText)
        *sdataText = sdata;
    else
        std::free(sdata - 1);
    return 1;
}

}  // namespace
}  // namespace korvo::tarnel

extern "C" int32_t DlgModel(int32_t mode, int32_t existing, korvo::baseDataStruct* person,
                            wchar_t** propertyText, wchar_t** sdataText) {
    if (mode != 1) return -1;
    try {
        return korvo::tarnel::RunSheet(existing, person, propertyText, sdataText);
    } catch (...) {
        return -1;
    }
}

extern "C" void TarnelFreeText(wchar_t* text) {
    if (text) std::free(text - 1);
}
