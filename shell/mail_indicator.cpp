#include "shell/mail_indicator.h"

#include <atomic>

namespace korvo {
namespace {

std::atomic<int> indicator{0};

}  // namespace

int MailIndicator::Value() {
    return indicator.load();
}

int MailIndicator::Raise(int result) {
    int current = indicator.load();
    while (result > current && !indicator.compare_exchange_weak(current, result)) {
    }
    return result > current ? result : current;
}

void MailIndicator::Clear() {
    indicator.store(0);
}

int TrayStateForIndicator(int indicator) {
    if (indicator >= 2) return 6;
    if (indicator == 1) return 5;
    return 0;
}

}  // namespace korvo
