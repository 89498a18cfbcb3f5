#include "ui/tray_strip.h"

#include <wx/image.h>
#include <wx/imagpng.h>

#include "ui/icons/tray_strip_png.h"

namespace korvo {

wxBitmap TrayStripBitmap() {
    // The PNG decoder is not registered by default.
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    return wxBitmap::NewFromPNGData(kTrayStripPng, sizeof kTrayStripPng);
}

wxIcon TrayImage(int index) {
    static const wxBitmap strip = TrayStripBitmap();
    if (index < 0 || index >= kTrayImageCount) index = 16;
    wxIcon icon;
    icon.CopyFromBitmap(
        strip.GetSubBitmap(wxRect(index * kTrayImageSize, 0, kTrayImageSize, kTrayImageSize)));
    return icon;
}

}  // namespace korvo
