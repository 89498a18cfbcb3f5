// A connected byte stream the mail protocols read and write: a plain TCP connection or a TLS
// session on top of one. Both keep the same rules, so a session does not care which it has.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace korvo {

class ByteStream {
  public:
    using Clock = std::chrono::steady_clock;

    virtual ~ByteStream() = default;

    // Sends the whole buffer within the send time-out; false when the connection is gone.
    virtual bool SendAll(std::string_view bytes) = 0;

    // Receives up to `size` bytes, waiting at most the receive time-out and never beyond
    // `deadline`: the count (at least 1), or -1 on a time-out, error, close or cancel.
    virtual long Receive(char* buffer, size_t size,
                         Clock::time_point deadline = Clock::time_point::max()) = 0;
};

}  // namespace korvo
