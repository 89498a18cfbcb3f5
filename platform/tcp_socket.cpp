#include "platform/tcp_socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace korvo {

namespace {

// Slice of a wait, so a cancel during connect is noticed quickly.
constexpr std::chrono::milliseconds kWaitSlice{50};

}  // namespace

TcpSocket::TcpSocket(SocketTimeouts timeouts) : timeouts_(timeouts) {}

TcpSocket::~TcpSocket() {
    Close();
}

bool TcpSocket::isOpen() const {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
}

void TcpSocket::Close() {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void TcpSocket::Cancel() {
    cancelled_.store(true);
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
}

int TcpSocket::fd() const {
    std::lock_guard lock(mutex_);
    return fd_;
}

std::chrono::milliseconds TcpSocket::ReceiveLimit(Clock::time_point deadline) const {
    if (deadline == Clock::time_point::max()) return timeouts_.receive;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(std::chrono::milliseconds(0), std::min(left, timeouts_.receive));
}

bool TcpSocket::WaitFor(short events, std::chrono::milliseconds limit) {
    const int fd = this->fd();
    if (fd < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (cancelled_.load()) return false;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        // Receives wait in one piece: shutdown() from Cancel wakes them.
        if (events == POLLOUT && left > kWaitSlice) left = kWaitSlice;
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, static_cast<int>(left.count()));
        // An error or hang-up is ready too: the read or write that follows reports it.
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

ConnectResult TcpSocket::Connect(const std::string& host, int port) {
    Close();
    if (cancelled_.load()) return ConnectResult::kConnectFailed;
    if (port <= 0 || port > 65535) return ConnectResult::kConnectFailed;

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &list) != 0 || !list) {
        return ConnectResult::kConnectFailed;
    }

    ConnectResult result = ConnectResult::kConnectFailed;
    bool created = false;
    for (addrinfo* ai = list; ai && !cancelled_.load(); ai = ai->ai_next) {
        int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) continue;
        created = true;
        int flags = ::fcntl(fd, F_GETFL, 0);
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        {
            std::lock_guard lock(mutex_);
            fd_ = fd;
        }
        bool ok = ::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0;
        if (!ok && errno == EINPROGRESS && WaitFor(POLLOUT, timeouts_.connect)) {
            int err = 0;
            socklen_t len = sizeof err;
            ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
        }
        if (ok) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            // A cancel that raced with the connect must still cut the next read short.
            if (cancelled_.load()) ::shutdown(fd, SHUT_RDWR);
            result = ConnectResult::kOk;
            break;
        }
        Close();
    }
    ::freeaddrinfo(list);
    if (result != ConnectResult::kOk && !created) return ConnectResult::kCreateFailed;
    return result;
}

bool TcpSocket::SendAll(std::string_view bytes) {
    const int fd = this->fd();
    if (fd < 0 || cancelled_.load()) return false;
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            // A peer that stops reading cannot hold the session for longer than the time-out.
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFor(POLLOUT, timeouts_.send)) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

long TcpSocket::Receive(char* buffer, size_t size, Clock::time_point deadline) {
    if (size == 0) return -1;
    for (;;) {
        if (!WaitFor(POLLIN, ReceiveLimit(deadline))) return -1;
        const int fd = this->fd();
        if (fd < 0) return -1;
        ssize_t n = ::recv(fd, buffer, size, MSG_DONTWAIT);
        if (n > 0) return static_cast<long>(n);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        return -1;  // error or orderly close: either way no reply arrives
    }
}

}  // namespace korvo
