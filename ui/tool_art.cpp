#include "ui/tool_art.h"

#include <wx/dcmemory.h>
#include <wx/font.h>

#include "ui/wx_text.h"

namespace korvo {

wxBitmap ToolBitmap(std::string_view label, int hue) {
    static const wxColour kPlates[] = {{40, 110, 190}, {40, 150, 80}, {190, 120, 30},
                                       {150, 60, 160}, {180, 50, 50}, {70, 70, 70}};
    wxBitmap bitmap(kToolImageWidth, kToolImageHeight, 32);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    const wxColour& plate = kPlates[unsigned(hue) % (sizeof kPlates / sizeof kPlates[0])];
    dc.SetPen(wxPen(plate.ChangeLightness(70)));
    dc.SetBrush(wxBrush(plate));
    dc.DrawRoundedRectangle(1, 1, kToolImageWidth - 2, kToolImageHeight - 2, 4);
    dc.SetTextForeground(*wxWHITE);
    dc.SetFont(wxFont(wxFontInfo(8).Bold()));
    const wxString text = WxFromBytes(label.substr(0, 2));
    const wxSize size = dc.GetTextExtent(text);
    dc.DrawText(text, (kToolImageWidth - size.x) / 2, (kToolImageHeight - size.y) / 2);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

}  // namespace korvo
