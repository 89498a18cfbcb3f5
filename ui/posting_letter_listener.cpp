#include "ui/posting_letter_listener.h"

#include <wx/app.h>

#include <mutex>

#include "platform/model_lock.h"

namespace korvo {

// What the queued calls need; it outlives the listener while calls are queued.
struct PostingLetterListener::Shared {
    LetterListener& target;
    NodeFinder letters;
    NodeFinder boxes;
    bool alive = true;  // read and written on the UI thread only
};

PostingLetterListener::PostingLetterListener(LetterListener& target, NodeFinder letters,
                                             NodeFinder boxes, wxEvtHandler* poster)
    : shared_(std::make_shared<Shared>(Shared{target, std::move(letters), std::move(boxes)})),
      poster_(poster ? poster : wxTheApp) {}

PostingLetterListener::~PostingLetterListener() {
    shared_->alive = false;
}

void PostingLetterListener::Post(std::function<void(Shared&)> call) {
    if (!poster_) return;
    poster_->CallAfter([shared = shared_, call = std::move(call)] {
        if (!shared->alive) return;
        std::lock_guard<std::recursive_mutex> lock(ModelLock());
        call(*shared);
    });
}

void PostingLetterListener::ShowLetter(baseDataStruct* letter) {
    if (!letter) return;
    Post([id = letter->nodeId()](Shared& s) {
        if (baseDataStruct* node = s.letters(id)) s.target.ShowLetter(node);
    });
}

void PostingLetterListener::BoxChanged(baseDataStruct* box) {
    if (!box) return;
    Post([id = box->nodeId()](Shared& s) {
        if (baseDataStruct* node = s.boxes(id)) s.target.BoxChanged(node);
    });
}

void PostingLetterListener::SetTrayState(int state) {
    Post([state](Shared& s) { s.target.SetTrayState(state); });
}

void PostingLetterListener::RestoreTrayState() {
    Post([](Shared& s) { s.target.RestoreTrayState(); });
}

void PostingLetterListener::FlagNewMail(baseDataStruct* box) {
    if (!box) return;
    Post([id = box->nodeId()](Shared& s) {
        if (baseDataStruct* node = s.boxes(id)) s.target.FlagNewMail(node);
    });
}

void PostingLetterListener::LetterArrived(baseDataStruct* box, const ArrivedLetter& letter) {
    if (!box) return;
    Post([id = box->nodeId(), letter](Shared& s) {
        if (baseDataStruct* node = s.boxes(id)) s.target.LetterArrived(node, letter);
    });
}

}  // namespace korvo
