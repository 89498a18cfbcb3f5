// The main window's place, size and splitters kept in the settings between runs.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/display.h>
#include <wx/fileconf.h>

#include <memory>

#include "tests/support/temp_dir.h"
#include "ui/main_window.h"
#include "ui/window_layout.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

void Settle() {
    for (int i = 0; i < 5; ++i) wxTheApp->Yield(true);
}

struct Windows {
    NullCommandSink sink;
    std::vector<MainWindow*> made;
    MainWindow* Make() {
        auto* window = new MainWindow(sink);
        window->Show();
        made.push_back(window);
        Settle();
        return window;
    }
    ~Windows() {
        for (MainWindow* window : made) window->Destroy();
        wxTheApp->Yield(true);
    }
};

TEST(WindowLayout, SizeAndSplittersComeBackAndBadPlacesAreRefused) {
    test::TempDir temp;
    wxFileConfig config("korvo", wxEmptyString, WxFromBytes(temp.path() + "korvo.conf"),
                        wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
    Windows windows;

    MainWindow* first = windows.Make();
    EXPECT_FALSE(RestoreWindowLayout(*first, config)) << "nothing saved yet";
    first->SetSize(wxRect(40, 30, 900, 650));
    Settle();
    first->splitters()[0]->SetSashPosition(260);
    first->splitters()[2]->SetSashPosition(180);
    Settle();
    SaveWindowLayout(*first, config);

    MainWindow* second = windows.Make();
    ASSERT_TRUE(RestoreWindowLayout(*second, config));
    Settle();
    EXPECT_EQ(second->GetSize(), wxSize(900, 650));
    EXPECT_EQ(second->splitters()[0]->GetSashPosition(), 260);
    EXPECT_EQ(second->splitters()[2]->GetSashPosition(), 180);

    // A place no screen shows any more: the size is kept, the window comes onto the screen.
    config.Write("/MainWindow/X", -20000);
    config.Write("/MainWindow/Y", -20000);
    MainWindow* third = windows.Make();
    ASSERT_TRUE(RestoreWindowLayout(*third, config));
    Settle();
    EXPECT_EQ(third->GetSize(), wxSize(900, 650));
    EXPECT_NE(wxDisplay::GetFromPoint(third->GetScreenPosition() + wxPoint(10, 10)), wxNOT_FOUND);

    // Sizes below the window's minimum (or absurd ones) are not used at all.
    const wxSize before = third->GetSize();
    config.Write("/MainWindow/Width", 10);
    EXPECT_FALSE(RestoreWindowLayout(*third, config));
    config.Write("/MainWindow/Width", 5000000);
    EXPECT_FALSE(RestoreWindowLayout(*third, config));
    EXPECT_EQ(third->GetSize(), before);
}

}  // namespace
}  // namespace korvo
