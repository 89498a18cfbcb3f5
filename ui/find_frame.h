// The "Find" window: words, where to look (all accounts of the user or one), whether to read
// the body text and attachment names, and a range of days. The search runs on a worker
// (shell/letter_find.h); its hits stream into the list while it runs, a double click shows the
// letter in its box, and Cancel stops it at once.
#pragma once

#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/letter_find.h"

class wxButton;
class wxStaticText;

namespace korvo {

class FindFrame : public wxFrame {
  public:
    // Shows a letter of a hit in its box (box and letter node ids).
    using ShowLetter = std::function<void(uint32_t boxId, uint32_t letterId)>;

    // Searches the boxes of `user` (a user node); `sys` must outlive the window.
    FindFrame(wxWindow* parent, CSysData& sys, baseDataStruct* user, ShowLetter show);
    ~FindFrame() override;

    // Starts a search with what the fields hold (the Find button); a running one is dropped.
    void StartFind();
    // Stops the running search (the Cancel button).
    void CancelFind();
    bool searching() const { return task_ && task_->running(); }

    wxTextCtrl* wordsField() const { return words_; }
    wxChoice* scopeChoice() const { return scope_; }
    wxCheckBox* bodyOption() const { return body_; }
    wxCheckBox* attachmentOption() const { return attachments_; }
    wxTextCtrl* firstDayField() const { return firstDay_; }
    wxTextCtrl* lastDayField() const { return lastDay_; }
    wxListCtrl* results() const { return results_; }
    wxButton* cancelButton() const { return cancel_; }
    std::string statusText() const;
    // The hits shown, one per result row.
    const std::vector<FindHit>& hits() const { return hits_; }
    // Shows the letter of result row `row`, as a double click does.
    void ShowResult(long row);

  private:
    void OnTimer(wxTimerEvent& event);
    void TakeHits();
    void Finish(const std::string& status);

    CSysData& sys_;
    ShowLetter show_;
    std::vector<uint32_t> scopeIds_;  // node ids of the scope choice's items
    wxTextCtrl* words_ = nullptr;
    wxChoice* scope_ = nullptr;
    wxCheckBox* body_ = nullptr;
    wxCheckBox* attachments_ = nullptr;
    wxTextCtrl* firstDay_ = nullptr;
    wxTextCtrl* lastDay_ = nullptr;
    wxButton* find_ = nullptr;
    wxButton* cancel_ = nullptr;
    wxListCtrl* results_ = nullptr;
    wxStaticText* status_ = nullptr;
    std::vector<FindHit> hits_;  // one per result row
    std::unique_ptr<FindTask> task_;
    wxTimer timer_;
};

}  // namespace korvo
