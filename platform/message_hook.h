// Where messages meant for the user go: the desktop program installs a hook that shows a
// message box; without one the text goes to stderr. Tests install a recorder.
#pragma once

#include <functional>
#include <string>

namespace korvo {

using MessageHook = std::function<void(const std::string& text)>;

// Installs `hook` (an empty function restores the stderr default) and returns the previous one.
MessageHook SetMessageHook(MessageHook hook);

// Hands `text` to the current hook. Safe to call from any thread; the hook decides how to
// reach the user interface thread.
void ShowMessage(const std::string& text);

}  // namespace korvo
