#include "ui/tool_art.h"

#include <wx/artprov.h>
#include <wx/dcmemory.h>
#include <wx/font.h>

#include "ui/wx_text.h"

namespace korvo {

std::string_view ToolIconName(std::string_view label) {
    static constexpr std::pair<std::string_view, std::string_view> kNames[] = {
        {"Receive", "mail-send-receive"},
        {"Preview", "mail-read"},
        {"Send", "mail-send"},
        {"New", "mail-message-new"},
        {"Back", "mail-reply-sender"},
        {"Forward", "mail-forward"},
        {"User", "avatar-default"},
        {"Account", "preferences-system"},
        {"Box", "folder"},
        {"Email", "mail-unread"},
        {"Address", "x-office-address-book"},
        {"Template", "text-x-generic-template"},
        {"Filter", "edit-find-replace"},
    };
    for (const auto& [button, name] : kNames) {
        if (button == label) return name;
    }
    return {};
}

wxBitmap ToolIcon(std::string_view label, int hue, bool* fromTheme) {
    const std::string_view name = ToolIconName(label);
    wxBitmap icon;
    if (!name.empty()) {
        icon = wxArtProvider::GetBitmap(wxString::FromUTF8(name.data(), name.size()), wxART_TOOLBAR,
                                        wxSize(kToolImageWidth, kToolImageHeight));
    }
    if (fromTheme) *fromTheme = icon.IsOk();
    return icon.IsOk() ? icon : ToolBitmap(label, hue);
}

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
