// A blocking TCP client connection with time-outs that another thread can cut short.
//
// Connect resolves a host name or dotted address and tries each address in turn, each within
// the connect time-out. Receive waits at most the receive time-out; a time-out, an error, a
// closed connection and a cancelled socket all read as -1, so the caller has one failure to
// handle. Sends wait at most the send time-out for room in the socket buffer. Cancel() may be
// called from any thread: it makes a blocked Connect, Send or Receive return at once and every
// later call fail. The descriptor stays non-blocking once connected, so a TLS session on top of
// it waits through WaitFor like the plain reads do.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/byte_stream.h"

namespace korvo {

struct SocketTimeouts {
    std::chrono::milliseconds connect{30000};
    std::chrono::milliseconds receive{120000};
    std::chrono::milliseconds send{120000};
    // A whole reply, however it trickles in (enforced by the reply reader).
    std::chrono::milliseconds reply{std::chrono::minutes(5)};
};

enum class ConnectResult { kOk, kCreateFailed, kConnectFailed };

class TcpSocket final : public ByteStream {
  public:
    explicit TcpSocket(SocketTimeouts timeouts = {});
    ~TcpSocket() override;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Closes any earlier connection first. Sets TCP_NODELAY on success: every command and
    // every data chunk goes out in one write, so Nagle would only add delay.
    ConnectResult Connect(const std::string& host, int port);

    // Sends the whole buffer; false when the connection is gone. Never raises SIGPIPE.
    bool SendAll(std::string_view bytes) override;

    // Receives up to `size` bytes; the count (at least 1) or -1 as described above.
    long Receive(char* buffer, size_t size,
                 Clock::time_point deadline = Clock::time_point::max()) override;

    // Closes the connection (idempotent). Does not clear a cancel.
    void Close();

    // Thread-safe: see the header comment.
    void Cancel();
    bool cancelled() const { return cancelled_.load(); }

    bool isOpen() const;
    void SetTimeouts(SocketTimeouts timeouts) { timeouts_ = timeouts; }
    const SocketTimeouts& timeouts() const { return timeouts_; }

    // Waits for `events` (POLLIN, POLLOUT) on the socket; writes wait in short slices so
    // that a cancel is seen during a connect, where shutdown() does not wake poll(). True when
    // ready; false on time-out, cancel or a closed socket.
    bool WaitFor(short events, std::chrono::milliseconds limit);
    // The receive time-out, cut short by `deadline`.
    std::chrono::milliseconds ReceiveLimit(Clock::time_point deadline) const;
    // The descriptor, for a TLS session on top; -1 when closed.
    int fd() const;

  private:

    SocketTimeouts timeouts_;
    mutable std::mutex mutex_;  // guards fd_ against Close/Cancel from two threads
    int fd_ = -1;
    std::atomic<bool> cancelled_{false};
};

}  // namespace korvo
