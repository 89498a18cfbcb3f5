// The main window's place, size and splitter positions, kept between runs in the program's
// settings (wxConfig). A saved place that is no longer on any screen is not used.
#pragma once

#include <wx/confbase.h>

namespace korvo {

class MainWindow;

void SaveWindowLayout(MainWindow& window, wxConfigBase& config);
// Returns false (and leaves the window as it is) when nothing usable was saved.
bool RestoreWindowLayout(MainWindow& window, wxConfigBase& config);

}  // namespace korvo
