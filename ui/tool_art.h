// The tool bar's button images: the desktop icon theme's icons by their freedesktop names, and
// our own drawings where the theme has none (or there is no theme).
#pragma once

#include <wx/bitmap.h>

#include <string_view>

namespace korvo {

inline constexpr int kToolImageWidth = 24;
inline constexpr int kToolImageHeight = 24;

// A button image: a coloured plate with the first letters of `label`; `hue` picks the colour.
wxBitmap ToolBitmap(std::string_view label, int hue);

// The icon theme's name for a tool bar button's picture (empty for labels without one).
std::string_view ToolIconName(std::string_view label);

// The button's picture from the icon theme, or ToolBitmap when the theme lacks it.
// `fromTheme` tells which.
wxBitmap ToolIcon(std::string_view label, int hue, bool* fromTheme = nullptr);

}  // namespace korvo
