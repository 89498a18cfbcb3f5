#include "ui/window_layout.h"

#include <wx/display.h>

#include "ui/main_window.h"

namespace korvo {
namespace {

constexpr const char* kGroup = "/MainWindow/";

wxString Key(const char* name) {
    return wxString(kGroup) + name;
}

wxString SashKey(size_t index) {
    return Key("Sash") + wxString::Format("%zu", index);
}

}  // namespace

void SaveWindowLayout(MainWindow& window, wxConfigBase& config) {
    const bool maximized = window.IsMaximized();
    // A maximized window keeps the place it had before, so that it comes back there.
    const wxRect rect =
        maximized ? wxRect(window.GetPosition(), window.GetSize()) : window.GetScreenRect();
    config.Write(Key("X"), rect.x);
    config.Write(Key("Y"), rect.y);
    config.Write(Key("Width"), rect.width);
    config.Write(Key("Height"), rect.height);
    config.Write(Key("Maximized"), maximized);
    const auto& splitters = window.splitters();
    for (size_t i = 0; i < splitters.size(); ++i) {
        if (splitters[i] && splitters[i]->IsSplit()) {
            config.Write(SashKey(i), splitters[i]->GetSashPosition());
        }
    }
    config.Flush();
}

bool RestoreWindowLayout(MainWindow& window, wxConfigBase& config) {
    long x = 0, y = 0, width = 0, height = 0;
    if (!config.Read(Key("X"), &x) || !config.Read(Key("Y"), &y) ||
        !config.Read(Key("Width"), &width) || !config.Read(Key("Height"), &height)) {
        return false;
    }
    const wxSize minimum = window.ClientToWindowSize(wxSize(kMinClientWidth, kMinClientHeight));
    if (width < minimum.x || height < minimum.y || width > 100000 || height > 100000) {
        return false;
    }
    // The title bar's corner must be on a screen, or the window could not be reached.
    const wxRect rect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(width),
                      static_cast<int>(height));
    if (wxDisplay::GetFromPoint(rect.GetTopLeft() + wxPoint(10, 10)) == wxNOT_FOUND) {
        window.SetSize(rect.GetSize());
        window.Centre();
    } else {
        window.SetSize(rect);
    }
    const auto& splitters = window.splitters();
    for (size_t i = 0; i < splitters.size(); ++i) {
        long sash = 0;
        if (splitters[i] && config.Read(SashKey(i), &sash) && sash > 0 && sash < 100000) {
            splitters[i]->SetSashPosition(int(sash));
        }
    }
    bool maximized = false;
    if (config.Read(Key("Maximized"), &maximized) && maximized) window.Maximize();
    return true;
}

}  // namespace korvo
