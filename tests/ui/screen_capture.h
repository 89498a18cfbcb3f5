// What a window shows on the screen, and where GUI tests keep such pictures: the build tree
// (KORVO_TEST_ARTIFACT_DIR), never the sources.
#pragma once

#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/window.h>

#include <filesystem>
#include <string>

namespace korvo::test {

// The window's pixels as the screen has them now, frame decorations left out.
inline wxImage CaptureScreen(wxWindow* window) {
    const wxRect rect = window->GetScreenRect();
    wxBitmap bitmap(rect.GetSize());
    wxMemoryDC memory(bitmap);
    wxScreenDC screen;
    memory.Blit(0, 0, rect.width, rect.height, &screen, rect.x, rect.y);
    memory.SelectObject(wxNullBitmap);
    return bitmap.ConvertToImage();
}

inline std::string ArtifactPath(const std::string& name) {
    const std::string dir = KORVO_TEST_ARTIFACT_DIR;
    std::filesystem::create_directories(dir);
    return dir + "/" + name;
}

}  // namespace korvo::test
