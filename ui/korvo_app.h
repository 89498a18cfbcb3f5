// The desktop application object. Every event handler runs under the model lock, wx logging
// goes to the diagnostic log and stderr, and ShowMessage opens a message box on the UI thread.
// Until the frame logic drives it, the main window's commands go to a sink that only knows
// how to close the window and leave.
#pragma once

#include <wx/app.h>

#include <memory>

namespace korvo {

class MainWindow;
class WxTrayView;

// Installs what every wx program of ours needs: the log route and the message-box hook.
void SetUpDesktopServices();

class KorvoApp : public wxApp {
  public:
    KorvoApp();
    ~KorvoApp() override;

    bool OnInit() override;
    int OnExit() override;

    // Holds the model lock around every handler: event tables, Bind and lambdas alike.
    void CallEventHandler(wxEvtHandler* handler, wxEventFunctor& functor,
                          wxEvent& event) const override;

  private:
    class StandaloneSink;
    std::unique_ptr<StandaloneSink> sink_;
    std::unique_ptr<WxTrayView> tray_;
    MainWindow* window_ = nullptr;
};

}  // namespace korvo
