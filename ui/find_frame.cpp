#include "ui/find_frame.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "platform/string_format.h"
#include "store/node_tree.h"
#include "ui/wx_text.h"

namespace korvo {
namespace {

// How often the window takes the worker's hits: often enough that they seem to stream in.
constexpr int kPollMs = 40;

enum Column { kBoxColumn, kSenderColumn, kSubjectColumn, kDateColumn };

bool IsDayOrEmpty(const std::string& text) {
    return text.empty() || (text.size() == 10 && IsDayText(text));
}

}  // namespace

FindFrame::FindFrame(wxWindow* parent, CSysData& sys, baseDataStruct* user, ShowLetter show)
    : wxFrame(parent, wxID_ANY, "Find", wxDefaultPosition, wxSize(760, 480),
              wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT),
      sys_(sys),
      show_(std::move(show)),
      timer_(this) {
    auto* panel = new wxPanel(this);
    words_ = new wxTextCtrl(panel, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                            wxTE_PROCESS_ENTER);
    words_->SetHint("Words in sender, receivers or subject");
    scope_ = new wxChoice(panel, wxID_ANY);
    if (user) {
        scope_->Append("All accounts of " + WxFromBytes(getinfo(user, kThisNode, "caption")));
        scopeIds_.push_back(user->nodeId());
        // The accounts lie below the user's account tree.
        std::vector<baseDataStruct*> stack = {user};
        while (!stack.empty()) {
            baseDataStruct* node = stack.back();
            stack.pop_back();
            if (getinfo(node, kThisNode, "type") == "Account") {
                scope_->Append(WxFromBytes(getinfo(node, kThisNode, "caption")));
                scopeIds_.push_back(node->nodeId());
                continue;
            }
            for (baseDataStruct* son = node->lastSon(); son; son = son->prevBrother())
                stack.push_back(son);
        }
        scope_->SetSelection(0);
    }
    body_ = new wxCheckBox(panel, wxID_ANY, "Body text");
    attachments_ = new wxCheckBox(panel, wxID_ANY, "Attachment names");
    firstDay_ = new wxTextCtrl(panel, wxID_ANY);
    firstDay_->SetHint("YYYY-MM-DD");
    lastDay_ = new wxTextCtrl(panel, wxID_ANY);
    lastDay_->SetHint("YYYY-MM-DD");
    find_ = new wxButton(panel, wxID_FIND, "&Find");
    find_->SetDefault();
    cancel_ = new wxButton(panel, wxID_CANCEL, "Cancel");
    cancel_->Enable(false);
    results_ = new wxListCtrl(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                              wxLC_REPORT | wxLC_SINGLE_SEL);
    results_->InsertColumn(kBoxColumn, "Box", wxLIST_FORMAT_LEFT, 110);
    results_->InsertColumn(kSenderColumn, "Sender", wxLIST_FORMAT_LEFT, 200);
    results_->InsertColumn(kSubjectColumn, "Subject", wxLIST_FORMAT_LEFT, 280);
    results_->InsertColumn(kDateColumn, "Date", wxLIST_FORMAT_LEFT, 130);
    status_ = new wxStaticText(panel, wxID_ANY, wxString());

    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(words_, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    top->Add(scope_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 6);
    top->Add(find_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    top->Add(cancel_, 0, wxALIGN_CENTER_VERTICAL);
    auto* options = new wxBoxSizer(wxHORIZONTAL);
    options->Add(body_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
    options->Add(attachments_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 18);
    options->Add(new wxStaticText(panel, wxID_ANY, "From day"), 0,
                 wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
    options->Add(firstDay_, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 10);
    options->Add(new wxStaticText(panel, wxID_ANY, "to day"), 0, wxALIGN_CENTER_VERTICAL | wxRIGHT,
                 4);
    options->Add(lastDay_, 0, wxALIGN_CENTER_VERTICAL);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(top, 0, wxEXPAND | wxALL, 6);
    column->Add(options, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 6);
    column->Add(results_, 1, wxEXPAND | wxLEFT | wxRIGHT, 6);
    column->Add(status_, 0, wxEXPAND | wxALL, 6);
    panel->SetSizer(column);

    find_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { StartFind(); });
    words_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { StartFind(); });
    cancel_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { CancelFind(); });
    results_->Bind(wxEVT_LIST_ITEM_ACTIVATED,
                   [this](wxListEvent& event) { ShowResult(event.GetIndex()); });
    Bind(wxEVT_TIMER, &FindFrame::OnTimer, this, timer_.GetId());
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE && searching())
            CancelFind();
        else
            event.Skip();
    });
    words_->SetFocus();
}

FindFrame::~FindFrame() {
    timer_.Stop();
    task_.reset();  // cancels and waits for the worker, which is a letter's work away
}

void FindFrame::StartFind() {
    timer_.Stop();
    task_.reset();
    results_->DeleteAllItems();
    hits_.clear();
    FindQuery query;
    query.words = BytesFromWx(words_->GetValue());
    query.body = body_->GetValue();
    query.attachments = attachments_->GetValue();
    query.firstDay = BytesFromWx(firstDay_->GetValue().Trim().Trim(false));
    query.lastDay = BytesFromWx(lastDay_->GetValue().Trim().Trim(false));
    if (!IsDayOrEmpty(query.firstDay) || !IsDayOrEmpty(query.lastDay)) {
        Finish("Write days as YYYY-MM-DD.");
        return;
    }
    const int choice = scope_->GetSelection();
    baseDataStruct* scope = choice >= 0 && size_t(choice) < scopeIds_.size()
                                ? findid(sys_.root(), scopeIds_[size_t(choice)])
                                : nullptr;
    if (!scope) {
        Finish("Nothing to search.");
        return;
    }
    task_ = std::make_unique<FindTask>(sys_, scope, std::move(query));
    status_->SetLabel("Searching...");
    cancel_->Enable(true);
    timer_.Start(kPollMs);
}

void FindFrame::CancelFind() {
    if (!task_) return;
    task_->Cancel();
    TakeHits();
    task_.reset();
    Finish(StrPrintf("Cancelled. Found: %zu.", hits_.size()));
}

void FindFrame::Finish(const std::string& status) {
    timer_.Stop();
    cancel_->Enable(false);
    status_->SetLabel(WxFromBytes(status));
}

std::string FindFrame::statusText() const {
    return BytesFromWx(status_->GetLabel());
}

void FindFrame::OnTimer(wxTimerEvent&) {
    if (!task_) return;
    const bool running = task_->running();
    TakeHits();
    if (running) return;
    task_.reset();
    Finish(StrPrintf("Found: %zu.", hits_.size()));
}

void FindFrame::TakeHits() {
    std::vector<FindHit> hits = task_->TakeHits();
    if (hits.empty()) return;
    results_->Freeze();
    for (FindHit& hit : hits) {
        const long row = results_->InsertItem(results_->GetItemCount(), WxFromBytes(hit.box));
        results_->SetItem(row, kSenderColumn, WxFromBytes(hit.sender));
        results_->SetItem(row, kSubjectColumn, WxFromBytes(hit.subject));
        results_->SetItem(row, kDateColumn, WxFromBytes(hit.date));
        hits_.push_back(std::move(hit));
    }
    results_->Thaw();
    if (task_->running())
        status_->SetLabel(WxFromBytes(StrPrintf("Searching... found: %zu", hits_.size())));
}

void FindFrame::ShowResult(long row) {
    if (row < 0 || size_t(row) >= hits_.size()) return;
    if (show_) show_(hits_[size_t(row)].boxId, hits_[size_t(row)].letterId);
}

}  // namespace korvo
