#include "ui/korvo_app.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/autostart.h"
#include "platform/data_dir.h"
#include "platform/instance_guard.h"
#include "platform/message_hook.h"
#include "platform/model_lock.h"
#include "platform/string_format.h"
#include "shell/mailto.h"
#include "ui/desktop.h"
#include "ui/message_box_hook.h"
#include "ui/wx_log_route.h"
#include "ui/wx_text.h"

namespace korvo {

void SetUpDesktopServices() {
    RouteWxLogging();
    InstallMessageBoxHook();
}

namespace {

std::string& StartupMailto() {
    static std::string link;
    return link;
}

void StartFailed(const std::string& text) {
    wxMessageBox(WxFromBytes(text), "Korvo", wxOK | wxICON_ERROR);
}

// $XDG_CONFIG_HOME/korvo/korvo.conf, by default under ~/.config; empty when neither is known.
std::string SettingsFilePath() {
    const std::string base = ConfigHomeDir();
    return base.empty() ? base : base + "korvo/korvo.conf";
}

}  // namespace

void SetStartupMailto(std::string link) {
    StartupMailto() = std::move(link);
}

// Shown while a command-line run holds the data directory: the start goes on when the run
// has ended, or the user gives up.
class WaitingFrame : public wxFrame {
  public:
    static constexpr int kPollMs = 500;

    WaitingFrame(const std::string& dir, std::function<void()> poll, std::function<void()> cancel)
        : wxFrame(nullptr, wxID_ANY, "Korvo"), timer_(this), cancel_(std::move(cancel)) {
        auto* panel = new wxPanel(this);
        auto* text = new wxStaticText(
            panel, wxID_ANY,
            WxFromBytes(StrPrintf("Korvo is receiving or sending mail from the command line in "
                                  "the mail folder %s.\nThe window opens when it has finished.",
                                  dir.c_str())));
        auto* button = new wxButton(panel, wxID_CANCEL, "Cancel");
        auto* sizer = new wxBoxSizer(wxVERTICAL);
        sizer->Add(text, 0, wxALL, 12);
        sizer->Add(button, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, 12);
        panel->SetSizer(sizer);
        sizer->SetSizeHints(this);
        button->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); });
        Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
            timer_.Stop();
            Destroy();
            if (cancel_) cancel_();
        });
        Bind(wxEVT_TIMER, [poll = std::move(poll)](wxTimerEvent&) { poll(); });
        Centre();
        Show();
        timer_.Start(kPollMs);
    }
    ~WaitingFrame() override { timer_.Stop(); }

    void StopPolling() { timer_.Stop(); }
    // Goes without asking anyone: the start goes on.
    void Done() {
        timer_.Stop();
        cancel_ = nullptr;
        Destroy();
    }

  private:
    wxTimer timer_;
    std::function<void()> cancel_;
};

// The modal dialogs open now, message boxes included. Leaving while one of them runs its own
// event loop would destroy windows under it.
class KorvoApp::ModalDialogs : public wxModalDialogHook {
  public:
    std::vector<wxDialog*> open;

  protected:
    int Enter(wxDialog* dialog) override {
        open.push_back(dialog);
        return wxID_NONE;
    }
    void Exit(wxDialog* dialog) override { std::erase(open, dialog); }
};

KorvoApp::KorvoApp() = default;
KorvoApp::~KorvoApp() = default;

bool KorvoApp::WaitForDialogs(std::function<void()> step) {
    if (dialogs_->open.empty()) return false;
    // Our settings and lock dialogs end as if cancelled; a message box waits for its answer.
    for (wxDialog* dialog : dialogs_->open) {
        if (dialog->IsModal()) dialog->EndModal(wxID_CANCEL);
    }
    retryStep_ = std::move(step);
    retry_.StartOnce(100);
    return true;
}

void KorvoApp::ExitRequested() {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    if (!desktop_ || WaitForDialogs([this] { ExitRequested(); })) return;
    desktop_->frame().Exit();
}

void KorvoApp::TearDown() {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    if (WaitForDialogs([this] { TearDown(); })) return;
    desktop_.reset();
    ExitMainLoop();
}

bool KorvoApp::OnInit() {
    // The base class would parse the command line, which main() has done already.
    SetUpDesktopServices();
    SetAppName("korvo");
    dialogs_ = std::make_unique<ModalDialogs>();
    dialogs_->Register();
    retry_.SetOwner(this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        if (retryStep_) retryStep_();
    });

    dir_ = DataDirectory();
    std::error_code error;
    std::filesystem::create_directories(dir_, error);
    guard_ = std::make_unique<InstanceGuard>();
    guard_->SetRequestHandler(
        [this](std::string request, std::shared_ptr<InstanceConnection> peer) {
            CallAfter([this, request = std::move(request), peer = std::move(peer)] {
                TakeRequest(request, peer);
            });
        });
    // A newer instance asks us to go: the exit path runs on the UI thread.
    const auto outcome = guard_->Acquire(dir_, [this] { CallAfter(&KorvoApp::ExitRequested); });
    if (outcome != InstanceGuard::Outcome::kBusy) return StartDesktop(outcome);
    // Never beside a command-line run: wait for it to end.
    waiting_ = new WaitingFrame(
        dir_, [this] { RetryGuard(); },
        [this] {
            waiting_ = nullptr;
            ExitMainLoop();
        });
    return true;
}

void KorvoApp::RetryGuard() {
    if (!waiting_) return;
    auto outcome = guard_->Acquire(
        dir_, [this] { CallAfter(&KorvoApp::ExitRequested); }, std::chrono::milliseconds(0));
    if (outcome == InstanceGuard::Outcome::kBusy) return;
    WaitingFrame* waiting = std::exchange(waiting_, nullptr);
    waiting->StopPolling();
    // A desktop has started meanwhile: it is replaced as at any start.
    if (outcome == InstanceGuard::Outcome::kStillRunning)
        outcome = guard_->Acquire(dir_, [this] { CallAfter(&KorvoApp::ExitRequested); });
    const bool started = StartDesktop(outcome);
    // After the main window exists, so that the program does not end with this frame.
    waiting->Done();
    if (!started) {
        if (wxEventLoopBase* loop = GetMainLoop()) loop->Exit(1);
    }
}

bool KorvoApp::StartDesktop(InstanceGuard::Outcome outcome) {
    if (outcome == InstanceGuard::Outcome::kStillRunning) {
        StartFailed(
            StrPrintf("Korvo is already running on the mail folder %s and did not close "
                      "when asked. Close it and start Korvo again.",
                      dir_.c_str()));
        return false;
    }
    if (outcome == InstanceGuard::Outcome::kFailed) {
        StartFailed(StrPrintf("Korvo cannot use the mail folder %s: %s", dir_.c_str(),
                              guard_->error().c_str()));
        return false;
    }

    DesktopOptions options;
    options.autostartProgram = ProgramPath();
    options.autostartDataDir = AutostartDataDir(dir_);
    options.settingsFile = SettingsFilePath();
    options.onClosed = [this] {
        // Not from inside the desktop's own call: it is deleted after that has returned.
        CallAfter(&KorvoApp::TearDown);
    };
    desktop_ = std::make_unique<Desktop>(std::move(options));
    if (!desktop_->Start()) {
        desktop_.reset();
        return false;
    }
    if (const std::string link = std::exchange(StartupMailto(), {}); !link.empty()) {
        // Once the main window is up, so that the account question opens over it.
        CallAfter([this, link] {
            std::lock_guard<std::recursive_mutex> lock(ModelLock());
            if (const std::optional<MailtoLink> parsed = ParseMailto(link); parsed && desktop_)
                desktop_->OpenMailto(*parsed);
        });
    }
    return true;
}

void KorvoApp::TakeRequest(const std::string& request, std::shared_ptr<InstanceConnection> peer) {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    // Without a desktop the peer is just let go: it runs the tasks itself once the lock is free.
    if (desktop_) desktop_->TakeTaskRequest(request, std::move(peer));
}

int KorvoApp::OnExit() {
    {
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        desktop_.reset();
    }
    guard_.reset();
    retry_.Stop();
    if (dialogs_) dialogs_->Unregister();
    SetMessageHook({});
    return wxApp::OnExit();
}

void KorvoApp::CallEventHandler(wxEvtHandler* handler, wxEventFunctor& functor,
                                wxEvent& event) const {
    std::lock_guard<std::recursive_mutex> lock(ModelLock());
    wxApp::CallEventHandler(handler, functor, event);
}

}  // namespace korvo
