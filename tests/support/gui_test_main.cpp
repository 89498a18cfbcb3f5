// Runs GoogleTest inside the wx main loop. Without a display the binary exits with 77, which
// CTest reports as skipped. wx assertions fail the running test; wx log messages go to stderr
// instead of dialogs.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/model_lock.h"

namespace {

class GuiTestApp : public wxApp {
  public:
    bool OnInit() override {
        SetExitOnFrameDelete(false);
        delete wxLog::SetActiveTarget(new wxLogStderr);
        CallAfter([this] {
            result_ = RUN_ALL_TESTS();
            ExitMainLoop();
        });
        return true;
    }

    int OnRun() override {
        wxApp::OnRun();
        return result_;
    }

    // As in the program: every handler runs under the model lock.
    void CallEventHandler(wxEvtHandler* handler, wxEventFunctor& functor,
                          wxEvent& event) const override {
        std::lock_guard<std::recursive_mutex> lock(korvo::ModelLock());
        wxApp::CallEventHandler(handler, functor, event);
    }

    void OnAssertFailure(const wxChar* file, int line, const wxChar* func, const wxChar* cond,
                         const wxChar* msg) override {
        ADD_FAILURE() << "wx assertion " << wxString(cond) << " in " << wxString(func) << " at "
                      << wxString(file) << ":" << line << ": " << wxString(msg);
    }

  private:
    int result_ = 1;
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(GuiTestApp);

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) {
        std::fprintf(stderr, "no display: GUI tests skipped\n");
        return 77;
    }
    return wxEntry(argc, argv);
}
