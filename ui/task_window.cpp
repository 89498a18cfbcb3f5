#include "ui/task_window.h"

#include <wx/panel.h>
#include <wx/sizer.h>

#include <algorithm>
#include <utility>

#include "store/node_tree.h"
#include "ui/wx_text.h"

namespace korvo {

// The session's view: every call arrives on the worker thread and is queued to the window.
// The engine (which joins the worker) goes before the window's event handler does, so no
// call is queued on a window that is gone; calls still queued then are dropped with it.
class TaskWindow::PostedSessionView : public SessionView {
  public:
    explicit PostedSessionView(TaskWindow& window) : window_(window) {}

    void SetStatus(const std::string& text) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            status_ = text;
        }
        window_.CallAfter([w = &window_, text] { w->status_->SetLabel(WxFromBytes(text)); });
    }
    std::string Status() const override {
        std::lock_guard<std::mutex> lock(mutex_);
        return status_;
    }
    void SetCaption(const std::string& text) override {
        window_.CallAfter([w = &window_, text] { w->step_->SetLabel(WxFromBytes(text)); });
    }
    void SetTitle(const std::string& text) override {
        window_.CallAfter([w = &window_, text] { w->userName_->SetLabel(WxFromBytes(text)); });
    }
    void SetProgress(int percent) override {
        percent = std::clamp(percent, 0, 100);
        window_.CallAfter([w = &window_, percent] { w->progress_->SetValue(percent); });
    }

  private:
    TaskWindow& window_;
    mutable std::mutex mutex_;
    std::string status_;
};

TaskWindow::TaskWindow(wxWindow* parent, TaskWork work, AccountLookup lookup, bool visible,
                       TaskWindowOwner* owner)
    : wxFrame(parent, wxID_ANY, "Korvo Task", wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT),
      owner_(owner),
      timer_(this) {
    panel_ = new wxPanel(this);
    wxPanel* panel = panel_;
    userName_ = new wxStaticText(panel, wxID_ANY, "USER NAME");
    step_ = new wxStaticText(panel, wxID_ANY, "STEP");
    status_ = new wxStaticText(panel, wxID_ANY, "STATUS");
    progress_ = new wxGauge(panel, wxID_ANY, 100, wxDefaultPosition, wxSize(300, -1));
    cancel_ = new wxButton(panel, wxID_ANY, "Cancel");
    close_ = new wxButton(panel, wxID_ANY, "X", wxDefaultPosition, wxSize(40, -1));
    more_ = new wxButton(panel, wxID_ANY, ">>", wxDefaultPosition, wxSize(40, -1));
    list_ = std::make_unique<WxListView>(panel);
    list_->control()->SetMinSize(wxSize(600, 150));

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(cancel_, 0, wxRIGHT, 4);
    buttons->Add(close_, 0, wxRIGHT, 4);
    buttons->Add(more_, 0);
    auto* top = new wxBoxSizer(wxVERTICAL);
    for (wxWindow* label : {userName_, step_, status_}) {
        top->Add(label, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 6);
    }
    top->Add(progress_, 0, wxEXPAND | wxALL, 6);
    top->Add(buttons, 0, wxALIGN_RIGHT | wxLEFT | wxRIGHT | wxBOTTOM, 6);
    top->Add(list_->control(), 1, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 6);
    panel->SetSizer(top);

    listControl_ = std::make_unique<CBaseListControl>(*list_);
    sessionView_ = std::make_unique<PostedSessionView>(*this);
    TaskWindowEvents& events = *this;  // a private base: converted here, inside the class
    engine_ =
        std::make_unique<CDlgRSMail>(*listControl_, events, std::move(work), std::move(lookup));
    engine_->record().view = sessionView_.get();
    engine_->SetupList(600);
    ShowList(CDlgRSMail::taskListShown());

    cancel_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { engine_->Cancel(); });
    close_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Close(); });
    more_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ShowList(CDlgRSMail::ToggleTaskList()); });
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { engine_->Tick(); });
    Bind(wxEVT_CLOSE_WINDOW, &TaskWindow::OnClose, this);

    timer_.Start(kTickMs);
    if (visible) Show();
}

TaskWindow::~TaskWindow() {
    timer_.Stop();
    // Waits for a running task; its session's last calls are queued on this window and are
    // dropped with it.
    engine_.reset();
    sessionView_.reset();
    listControl_.reset();
    list_.reset();
}

void TaskWindow::ShowList(bool shown) {
    list_->control()->Show(shown);
    panel_->GetSizer()->Layout();
    Fit();
}

void TaskWindow::SetTitle(const std::string& title) {
    wxFrame::SetTitle(WxFromBytes(title));
}

void TaskWindow::CloseWindow() {
    timer_.Stop();
    if (closing_) return;
    closing_ = true;
    if (owner_) owner_->TaskWindowClosed();
    Destroy();
}

void TaskWindow::RaiseMailIndicator(int result) {
    if (owner_) owner_->RaiseMailIndicator(result);
}

void TaskWindow::TaskEnded(int row) {
    // The worker has been joined: the record is ours. Taken, so the next task starts clean.
    std::optional<CertificateProblem> problem;
    problem.swap(engine_->record().certificate);
    if (!owner_ || row < 0) return;
    std::vector<std::string> cells;
    for (int column = 0; column < 4; ++column) cells.push_back(list_->CellText(row, column));
    const uint32_t taskId = list_->ItemData(row);
    owner_->TaskEnded(taskId, cells);
    // Among the tasks only: the root of their tree may carry the same id.
    const baseDataStruct* task = findid(engine_->tasks()->firstSon(), taskId);
    if (!problem || !task) return;
    RefusedTask refused;
    refused.accountId = uint32_t(TextToLong(getinfo(task, kThisNode, "ACCOUNT_PTR")));
    refused.type = int(TextToLong(getinfo(task, kThisNode, "TASK")));
    refused.mailIdList = getinfo(task, kThisNode, "MailIdList");
    refused.problem = std::move(*problem);
    owner_->CertificateRefused(refused);
}

void TaskWindow::OnClose(wxCloseEvent& event) {
    if (!event.CanVeto()) {
        CloseWindow();
        return;
    }
    // The engine closes the window at its next tick, once the running task has ended.
    event.Veto();
    engine_->RequestClose();
}

}  // namespace korvo
