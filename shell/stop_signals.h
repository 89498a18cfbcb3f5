// SIGINT and SIGTERM for a run without a window: they stop the run cleanly instead of killing
// it where it stands.
//
// The signals are blocked in the thread that makes the watcher, and so in every thread it
// starts afterwards (make it before any other thread exists); one thread of the watcher's own
// takes them with sigtimedwait, so no work is done in a signal handler. While nothing is open
// that a sudden end could leave half-written, a signal ends the process at once with its exit
// status; once the run holds its stores it only records the signal, and the run cancels its
// task, closes the stores and returns the status itself.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace korvo {

class StopSignals {
  public:
    StopSignals();
    // Stops watching and restores the signal mask; a signal still pending is then delivered.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // From now on a signal is only recorded (false) or ends the process at once (true, the
    // start). A signal that came before the switch to false has ended the process already.
    void SetExitAtOnce(bool atOnce);
    // The signal that arrived, 0 while none has.
    int received() const { return received_; }

    // The exit status of a run stopped by `signal`: 130 for SIGINT, 143 for SIGTERM.
    static int ExitStatus(int signal) { return 128 + signal; }

  private:
    void Watch();

    std::mutex mutex_;
    bool exitAtOnce_ = true;
    std::atomic<int> received_{0};
    std::atomic<bool> stop_{false};
    bool masked_ = false;
    std::thread thread_;
};

}  // namespace korvo
