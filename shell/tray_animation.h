// CTrayAnimation: the tray icon's image sequences, advanced by the frame's 200 ms timer.
//
// Each state shows its images of the icon strip in turn. A state set while another one runs
// starts at its first image; setting the running state again changes nothing. An image that is
// already shown is handed to the desktop again only until five unchanged updates in a row have
// been made, so an idle icon stops costing anything.
#pragma once

#include <string_view>
#include <vector>

#include "shell/desktop_interfaces.h"

namespace korvo {

inline constexpr std::string_view kTrayTip = "Korvo";
inline constexpr int kTrayTimerMs = 200;
inline constexpr int kTrayStateCount = 7;

// The images of a state's sequence: 0 idle, 1 connecting, 2 letters on the server, 3 and 4
// fetching, 5 letters waiting (indicator 1), 6 new mail (indicator 2). Empty for other states.
const std::vector<int>& TraySequence(int state);

class CTrayAnimation {
  public:
    static constexpr int kMaxUnchangedUpdates = 5;

    explicit CTrayAnimation(TrayView& view) : view_(view) {}

    // Switches to `state` (0 to 6; others are ignored).
    void SetState(int state);
    // One timer tick: shows the next image of the current state.
    void Tick();
    // Takes the icon off the desktop; a later tick puts it back.
    void Remove();

    int state() const { return state_; }
    // The position in the sequence of the image the next tick shows.
    int nextIndex() const { return index_; }

  private:
    TrayView& view_;
    int state_ = 0;
    int index_ = 0;
    int shown_ = -1;  // the image the desktop has, -1 for none
    int unchanged_ = 0;
};

}  // namespace korvo
