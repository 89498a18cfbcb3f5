// The desktop application object. Every event handler runs under the model lock, wx logging
// goes to the diagnostic log and stderr, and ShowMessage opens a message box on the UI thread.
// It takes the data directory's instance guard (a running instance is asked to exit first; a
// command-line run that holds the directory is waited for, in a small window the user may
// cancel), then runs one Desktop until its exit path ends the program. The command line's task
// requests that reach the guard go to the desktop.
#pragma once

#include <wx/app.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/instance_guard.h"

namespace korvo {

class Desktop;
class WaitingFrame;

// Installs what every wx program of ours needs: the log route and the message-box hook.
void SetUpDesktopServices();

// A mailto: link of the command line: the desktop opens a composer for it once it has
// started. Empty: none.
void SetStartupMailto(std::string link);

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
    class ModalDialogs;

    // Starts the desktop once the guard is ours; false when the program cannot run.
    bool StartDesktop(InstanceGuard::Outcome outcome);
    // Tries the guard again while a command-line run holds the data directory.
    void RetryGuard();
    // A command line's task request, posted from the guard's thread.
    void TakeRequest(const std::string& request, std::shared_ptr<InstanceConnection> peer);
    // A newer instance asked us to go: the desktop's exit path, once no dialog is open.
    void ExitRequested();
    // The desktop has closed: it goes, and the program ends, once no dialog is open.
    void TearDown();
    // Ends the open dialogs (cancelled) and runs `step` again shortly; false when none is open.
    bool WaitForDialogs(std::function<void()> step);

    std::unique_ptr<ModalDialogs> dialogs_;
    wxTimer retry_;
    std::function<void()> retryStep_;
    std::string dir_;
    std::unique_ptr<InstanceGuard> guard_;
    WaitingFrame* waiting_ = nullptr;  // destroyed through wx
    std::unique_ptr<Desktop> desktop_;
};

}  // namespace korvo
