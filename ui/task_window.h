// The task window "Korvo Task": the running task's account, step and status lines, its
// progress bar, the "Cancel", "X" and ">>" buttons and the task list. It owns the task
// engine, ticks it once a second and shows what the worker's session reports; the session's
// calls come from the worker thread and are queued to the UI thread.
#pragma once

#include <wx/button.h>
#include <wx/frame.h>
#include <wx/gauge.h>
#include <wx/panel.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controls/list_control.h"
#include "shell/certificate_acceptance.h"
#include "transport/session_view.h"
#include "transport/task_engine.h"
#include "ui/wx_list_view.h"

namespace korvo {

// What the task window tells its owner; called on the UI thread.
class TaskWindowOwner {
  public:
    virtual ~TaskWindowOwner() = default;
    // The frame's mail indicator becomes the larger of itself and `result`.
    virtual void RaiseMailIndicator(int result) = 0;
    // The window is closing and will be destroyed: forget it.
    virtual void TaskWindowClosed() = 0;
    // A task has ended; `cells` are its row's texts (name, account [user], State, Info).
    virtual void TaskEnded(uint32_t taskId, const std::vector<std::string>& cells) {
        (void)taskId;
        (void)cells;
    }
    // A task failed because a server certificate did not verify (after TaskEnded).
    virtual void CertificateRefused(const RefusedTask& task) { (void)task; }
};

class TaskWindow : public wxFrame, private TaskWindowEvents {
  public:
    static constexpr int kTickMs = 1000;

    // `owner` may be null. The window starts its timer at once; it is shown only when
    // `visible` (a scheduled check runs unseen while the program sits in the tray).
    TaskWindow(wxWindow* parent, TaskWork work, AccountLookup lookup, bool visible,
               TaskWindowOwner* owner = nullptr);
    ~TaskWindow() override;

    CDlgRSMail& engine() { return *engine_; }
    // One timer tick, as the timer runs it.
    void Tick() { engine_->Tick(); }
    // Stops the timer (tests drive Tick themselves).
    void StopTimer() { timer_.Stop(); }

    WxListView& taskList() { return *list_; }
    wxStaticText* userNameLabel() const { return userName_; }
    wxStaticText* stepLabel() const { return step_; }
    wxStaticText* statusLabel() const { return status_; }
    wxGauge* progressBar() const { return progress_; }
    wxButton* cancelButton() const { return cancel_; }
    wxButton* closeButton() const { return close_; }
    wxButton* listButton() const { return more_; }

  private:
    class PostedSessionView;

    // TaskWindowEvents
    void SetTitle(const std::string& title) override;
    void CloseWindow() override;
    void RaiseMailIndicator(int result) override;
    void TaskEnded(int row) override;

    void ShowList(bool shown);
    void OnClose(wxCloseEvent& event);

    TaskWindowOwner* owner_;
    wxPanel* panel_;
    wxStaticText* userName_;
    wxStaticText* step_;
    wxStaticText* status_;
    wxGauge* progress_;
    wxButton* cancel_;
    wxButton* close_;
    wxButton* more_;
    std::unique_ptr<WxListView> list_;
    std::unique_ptr<CBaseListControl> listControl_;
    std::unique_ptr<PostedSessionView> sessionView_;
    std::unique_ptr<CDlgRSMail> engine_;
    wxTimer timer_;
    bool closing_ = false;
};

}  // namespace korvo
