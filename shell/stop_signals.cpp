#include "shell/stop_signals.h"

#include <signal.h>
#include <unistd.h>

#include <ctime>

namespace korvo {
namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t set = StopSet();
    masked_ = pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
    if (masked_) thread_ = std::thread([this] { Watch(); });
}

StopSignals::~StopSignals() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (masked_) {
        const sigset_t set = StopSet();
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
}

void StopSignals::SetExitAtOnce(bool atOnce) {
    std::lock_guard<std::mutex> lock(mutex_);
    exitAtOnce_ = atOnce;
}

void StopSignals::Watch() {
    const sigset_t set = StopSet();
    // The wait is short so that the destructor is not kept waiting.
    const timespec wait{0, 100 * 1000 * 1000};
    while (!stop_) {
        const int signal = sigtimedwait(&set, nullptr, &wait);
        if (signal <= 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        if (exitAtOnce_) _exit(ExitStatus(signal));
        // The first signal counts; a second one while the run winds down changes nothing.
        int none = 0;
        received_.compare_exchange_strong(none, signal);
    }
}

}  // namespace korvo
