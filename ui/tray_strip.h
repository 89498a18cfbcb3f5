// The tray icon strip: kTrayImageCount images of 16 x 16 pixels side by side, drawn by
// icons/make_tray_strip.py and embedded in the program.
#pragma once

#include <wx/bitmap.h>
#include <wx/icon.h>

namespace korvo {

inline constexpr int kTrayImageCount = 30;
inline constexpr int kTrayImageSize = 16;

// The whole strip.
wxBitmap TrayStripBitmap();
// Image `index` of the strip; an index outside the strip gives image 16 (idle).
wxIcon TrayImage(int index);

}  // namespace korvo
