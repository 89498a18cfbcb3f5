// The desktop's message hook: every text given to ShowMessage appears in a message box on the
// UI thread. A call from another thread is queued to the UI thread and returns at once.
#pragma once

#include <string>

namespace korvo {

inline constexpr const char* kMessageBoxTitle = "Korvo";

// Shows `text` in an OK message box now; call on the UI thread.
void ShowMessageBoxNow(const std::string& text);

// Installs the hook; without a running wx application the texts go to stderr.
void InstallMessageBoxHook();

}  // namespace korvo
