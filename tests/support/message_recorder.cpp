#include "tests/support/message_recorder.h"

namespace korvo::test {

MessageRecorder::MessageRecorder() {
    previous_ = SetMessageHook([this](const std::string& text) {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(text);
    });
}

MessageRecorder::~MessageRecorder() {
    SetMessageHook(std::move(previous_));
}

std::vector<std::string> MessageRecorder::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

}  // namespace korvo::test
