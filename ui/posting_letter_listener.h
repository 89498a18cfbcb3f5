// The receive worker's LetterListener for the desktop: each call is queued to the UI thread,
// where it runs in the order made, under the model lock, on a target listener.
//
// Nodes are passed on by id, not by pointer: between the worker's call and its turn on the UI
// thread the user may have deleted the letter or the box. The node is looked up again when
// the call runs; a call whose node no longer exists is dropped (whoever deleted the node has
// refreshed the views already).
#pragma once

#include <wx/event.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "transport/receive_mail.h"

namespace korvo {

// Finds a live node by id; called on the UI thread with the model lock held.
using NodeFinder = std::function<baseDataStruct*(uint32_t nodeId)>;

class PostingLetterListener : public LetterListener {
  public:
    // `letters` finds letters (in the mail store), `boxes` finds boxes (in the system store).
    // Calls are queued on `poster` (the application when none). Make and destroy the listener
    // on the UI thread; calls still queued when it is destroyed are dropped.
    PostingLetterListener(LetterListener& target, NodeFinder letters, NodeFinder boxes,
                          wxEvtHandler* poster = nullptr);
    ~PostingLetterListener() override;
    PostingLetterListener(const PostingLetterListener&) = delete;
    PostingLetterListener& operator=(const PostingLetterListener&) = delete;

    void ShowLetter(baseDataStruct* letter) override;
    void BoxChanged(baseDataStruct* box) override;
    void SetTrayState(int state) override;
    void RestoreTrayState() override;
    void FlagNewMail(baseDataStruct* box) override;
    void LetterArrived(baseDataStruct* box, const ArrivedLetter& letter) override;

  private:
    struct Shared;
    void Post(std::function<void(Shared&)> call);

    std::shared_ptr<Shared> shared_;
    wxEvtHandler* poster_;
};

}  // namespace korvo
