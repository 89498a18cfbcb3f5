#include "shell/tray_animation.h"

namespace korvo {

const std::vector<int>& TraySequence(int state) {
    static const std::vector<int> kSequences[kTrayStateCount] = {
        {16}, {0, 1, 2, 3},         {4, 5, 6, 7}, {8, 9, 10, 11}, {12, 13, 14, 15},
        {0},  {25, 26, 27, 28, 29},
    };
    static const std::vector<int> kNone;
    if (state < 0 || state >= kTrayStateCount) return kNone;
    return kSequences[state];
}

void CTrayAnimation::SetState(int state) {
    if (state < 0 || state >= kTrayStateCount || state == state_) return;
    state_ = state;
    index_ = 0;
}

void CTrayAnimation::Tick() {
    const std::vector<int>& sequence = TraySequence(state_);
    const int image = sequence[index_];
    index_ = (index_ + 1) % static_cast<int>(sequence.size());
    if (image == shown_) {
        if (unchanged_ >= kMaxUnchangedUpdates) return;
        ++unchanged_;
    } else {
        unchanged_ = 0;
    }
    shown_ = image;
    view_.ShowImage(image, kTrayTip);
}

void CTrayAnimation::Remove() {
    view_.Remove();
    shown_ = -1;
    unchanged_ = 0;
}

}  // namespace korvo
