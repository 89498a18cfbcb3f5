#include "ui/korvo_app.h"

#include <mutex>

#include "platform/message_hook.h"
#include "platform/model_lock.h"
#include "ui/main_window.h"
#include "ui/message_box_hook.h"
#include "ui/wx_log_route.h"
#include "ui/wx_tray_view.h"

namespace korvo {

void SetUpDesktopServices() {
    RouteWxLogging();
    InstallMessageBoxHook();
}

// Commands have nowhere to go yet: closing the window or the tray's "exit" ends the program.
class KorvoApp::StandaloneSink : public NullCommandSink, public TraySink {
  public:
    explicit StandaloneSink(KorvoApp& app) : app_(app) {}
    void CloseRequested() override { Exit(); }
    void TrayCommand(FrameCommand command) override {
        if (command == FrameCommand::kExit) Exit();
        if (command == FrameCommand::kShowMainAndTasks && app_.window_) app_.window_->Show();
    }
    bool IsTrayCommandEnabled(FrameCommand command) override {
        return command == FrameCommand::kExit || command == FrameCommand::kShowMainAndTasks;
    }
    void TrayDoubleClick() override {
        if (app_.window_) app_.window_->Show();
    }

  private:
    void Exit() {
        if (app_.tray_) app_.tray_->Remove();
        if (app_.window_) app_.window_->Destroy();
        app_.window_ = nullptr;
    }
    KorvoApp& app_;
};

KorvoApp::KorvoApp() = default;
KorvoApp::~KorvoApp() = default;

bool KorvoApp::OnInit() {
    // The base class would parse the command line, which main() has done already.
    SetUpDesktopServices();
    SetAppName("korvo");
    sink_ = std::make_unique<StandaloneSink>(*this);
    window_ = new MainWindow(*sink_);
    tray_ = std::make_unique<WxTrayView>(*sink_);
    tray_->ShowImage(16, "Korvo");
    window_->Show();
    return true;
}

int KorvoApp::OnExit() {
    tray_.reset();
    SetMessageHook({});
    return wxApp::OnExit();
}

void KorvoApp::CallEventHandler(wxEvtHandler* handler, wxEventFunctor& functor,
                                wxEvent& event) const {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    wxApp::CallEventHandler(handler, functor, event);
}

}  // namespace korvo
