#include "transport/task_record.h"

namespace korvo {

void TaskRecord::RequestCancel() {
    cancel.store(true);
    std::lock_guard lock(mutex_);
    if (interrupt_) interrupt_();
}

void TaskRecord::SetInterrupter(std::function<void()> interrupt) {
    std::lock_guard lock(mutex_);
    interrupt_ = std::move(interrupt);
}

}  // namespace korvo
