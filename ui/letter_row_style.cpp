#include "ui/letter_row_style.h"

#include <wx/settings.h>

#include "shell/letter_list.h"

namespace korvo {

void StyleLetterRows(WxListView& list) {
    wxListCtrl* control = list.control();
    list.SetRowStyler([control](uint32_t data, wxItemAttr& look) {
        wxFont font = control->GetFont();
        if (data & kRowUnread) font.MakeBold();
        if (data & kRowHidden) font.MakeItalic();
        look.SetFont(font);
        if (data & kRowDeleted)
            look.SetTextColour(wxSystemSettings::GetColour(wxSYS_COLOUR_GRAYTEXT));
    });
}

}  // namespace korvo
