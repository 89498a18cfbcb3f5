// The part of a task that its worker thread's session reads and writes. The task window owns
// it and outlives the session.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "transport/certificate_problem.h"

namespace korvo {

class SessionView;

class TaskRecord {
  public:
    SessionView* view = nullptr;  // status line, caption line and progress bar
    std::atomic<bool> cancel{false};
    std::atomic<int> result{0};
    std::string stateText;   // "Run over!" or "Faile"
    std::string infoText;    // "ok" or the error text
    std::string mailIdList;  // "__:id;__" entries, or "-1"
    // Set by the session when a server certificate did not verify (the task then fails);
    // read once the task has ended.
    std::optional<CertificateProblem> certificate;

    // From any thread: sets the cancel flag and cuts short a receive the session is blocked
    // in, so the task stops now rather than when the server next sends something.
    void RequestCancel();

    // The session that serves the task registers how to interrupt it, and clears it (with an
    // empty function) before it goes away.
    void SetInterrupter(std::function<void()> interrupt);

  private:
    std::mutex mutex_;
    std::function<void()> interrupt_;
};

}  // namespace korvo
