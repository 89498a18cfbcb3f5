// The tool bar's button images, drawn here so they look the same with any icon theme (and
// with none, as under a virtual display).
#pragma once

#include <wx/bitmap.h>

#include <string_view>

namespace korvo {

inline constexpr int kToolImageWidth = 24;
inline constexpr int kToolImageHeight = 23;

// A button image: a coloured plate with the first letters of `label`; `hue` picks the colour.
wxBitmap ToolBitmap(std::string_view label, int hue);

}  // namespace korvo
