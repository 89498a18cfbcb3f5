// What a network session shows while it works: the task's status line, its caption line and
// its progress bar. The task window implements it; the session calls it from the worker
// thread, so an implementation passes the texts on to its own thread.
#pragma once

#include <string>

namespace korvo {

class SessionView {
  public:
    virtual ~SessionView() = default;
    virtual void SetStatus(const std::string& text) = 0;
    // The text last set with SetStatus.
    virtual std::string Status() const = 0;
    virtual void SetCaption(const std::string& text) = 0;
    // The title line: whose task it is (the account's caption).
    virtual void SetTitle(const std::string& text) = 0;
    // 0 to 100.
    virtual void SetProgress(int percent) = 0;
};

}  // namespace korvo
