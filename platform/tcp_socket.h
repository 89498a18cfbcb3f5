// A blocking TCP client connection with time-outs that another thread can cut short.
//
// Connect resolves a host name or dotted address and tries each address in turn, each within
// the connect time-out. Receive waits at most the receive time-out; a time-out, an error, a
// closed connection and a cancelled socket all read as -1, so the caller has one failure to
// handle. Cancel() may be called from any thread: it makes a blocked Connect or Receive return
// at once and every later call fail.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace korvo {

struct SocketTimeouts {
    std::chrono::milliseconds connect{30000};
    std::chrono::milliseconds receive{120000};
};

enum class ConnectResult { kOk, kCreateFailed, kConnectFailed };

class TcpSocket {
  public:
    explicit TcpSocket(SocketTimeouts timeouts = {});
    ~TcpSocket();
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Closes any earlier connection first. Sets TCP_NODELAY on success: every command and
    // every data chunk goes out in one write, so Nagle would only add delay.
    ConnectResult Connect(const std::string& host, int port);

    // Sends the whole buffer; false when the connection is gone. Never raises SIGPIPE.
    bool SendAll(std::string_view bytes);

    // Receives up to `size` bytes; the count (at least 1) or -1 as described above.
    long Receive(char* buffer, size_t size);

    // Closes the connection (idempotent). Does not clear a cancel.
    void Close();

    // Thread-safe: see the header comment.
    void Cancel();
    bool cancelled() const { return cancelled_.load(); }

    bool isOpen() const;
    void SetTimeouts(SocketTimeouts timeouts) { timeouts_ = timeouts; }
    const SocketTimeouts& timeouts() const { return timeouts_; }

  private:
    // Waits for `events` on the socket in short slices so that a cancel is seen during a
    // connect, where shutdown() does not wake poll(). True when ready.
    bool WaitFor(short events, std::chrono::milliseconds limit);

    SocketTimeouts timeouts_;
    mutable std::mutex mutex_;  // guards fd_ against Close/Cancel from two threads
    int fd_ = -1;
    std::atomic<bool> cancelled_{false};
};

}  // namespace korvo
