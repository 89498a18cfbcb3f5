// Records what reaches the user through the message hook while it lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/message_hook.h"

namespace korvo::test {

class MessageRecorder {
  public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<std::string> messages() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
    MessageHook previous_;
};

}  // namespace korvo::test
