// The mail indicator: the highest task result (0 no letters, 1 none new, 2 new letters fetched)
// seen since the user last looked at the letter list. One value for the whole process; tasks
// raise it when they end and a click in the letter list clears it.
#pragma once

namespace korvo {

class MailIndicator {
  public:
    static int Value();
    // The indicator becomes the larger of itself and `result`; returns the new value.
    static int Raise(int result);
    static void Clear();
};

// The tray icon state that shows an indicator value: 0 idle, 5 letters waiting on a server,
// 6 new mail fetched.
int TrayStateForIndicator(int indicator);

}  // namespace korvo
