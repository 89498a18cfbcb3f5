#include "tests/support/fake_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvo::test {

namespace {

bool WaitReadable(int fd, std::chrono::milliseconds limit) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(limit.count())) > 0;
}

}  // namespace

FakeServer::FakeServer() {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 4) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        Problem("cannot listen on 127.0.0.1");
        return;
    }
    port_ = ntohs(addr.sin_port);
}

FakeServer::~FakeServer() {
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
}

FakeServer& FakeServer::Send(std::string bytes) {
    steps_.push_back({Step::kSend, std::move(bytes)});
    return *this;
}

FakeServer& FakeServer::Expect(std::string line) {
    steps_.push_back({Step::kExpect, std::move(line) + "\r\n"});
    return *this;
}

FakeServer& FakeServer::Pause(std::chrono::milliseconds time) {
    steps_.push_back({Step::kPause, {}, time});
    return *this;
}

FakeServer& FakeServer::Silence() {
    steps_.push_back({Step::kSilence, {}});
    return *this;
}

FakeServer& FakeServer::Close() {
    steps_.push_back({Step::kClose, {}});
    return *this;
}

void FakeServer::Start() {
    thread_ = std::thread([this] { Run(); });
}

bool FakeServer::Finish() {
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    return problems_.empty();
}

std::string FakeServer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> FakeServer::problems() const {
    std::lock_guard lock(mutex_);
    return problems_;
}

void FakeServer::Problem(std::string text) {
    std::lock_guard lock(mutex_);
    problems_.push_back(std::move(text));
}

bool FakeServer::ReadLine(int fd, std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
    for (;;) {
        size_t lf = unread_.find('\n');
        if (lf != std::string::npos) {
            line = unread_.substr(0, lf + 1);
            unread_.erase(0, lf + 1);
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitReadable(fd, left)) return false;
        char buffer[65536];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return false;
        unread_.append(buffer, static_cast<size_t>(n));
        std::lock_guard lock(mutex_);
        received_.append(buffer, static_cast<size_t>(n));
    }
}

void FakeServer::Run() {
    if (listenFd_ < 0) return;
    if (!WaitReadable(listenFd_, kWaitLimit)) {
        Problem("no client connected");
        return;
    }
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        Problem("accept failed");
        return;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    bool previousWasSend = false;
    for (const Step& step : steps_) {
        bool stop = false;
        switch (step.kind) {
            case Step::kSend:
                // Consecutive writes would merge on loopback; a pause keeps them apart.
                if (previousWasSend) std::this_thread::sleep_for(std::chrono::milliseconds(30));
                if (::send(fd, step.text.data(), step.text.size(), MSG_NOSIGNAL) !=
                    static_cast<ssize_t>(step.text.size())) {
                    Problem("send failed");
                    stop = true;
                }
                break;
            case Step::kExpect: {
                std::string line;
                if (!ReadLine(fd, line)) {
                    Problem("expected '" + step.text + "', got nothing");
                    stop = true;
                } else if (line != step.text) {
                    Problem("expected '" + step.text + "', got '" + line + "'");
                    stop = true;
                }
                break;
            }
            case Step::kPause:
                std::this_thread::sleep_for(step.time);
                break;
            case Step::kSilence: {
                // Drain until the client goes away.
                const auto deadline = std::chrono::steady_clock::now() + kWaitLimit;
                char buffer[4096];
                while (std::chrono::steady_clock::now() < deadline) {
                    if (!WaitReadable(fd, std::chrono::milliseconds(100))) continue;
                    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                    if (n <= 0) break;
                    std::lock_guard lock(mutex_);
                    received_.append(buffer, static_cast<size_t>(n));
                }
                break;
            }
            case Step::kClose:
                stop = true;
                break;
        }
        previousWasSend = step.kind == Step::kSend;
        if (stop) break;
    }
    // The client sees the end of the stream now; what it still sends is recorded briefly.
    ::shutdown(fd, SHUT_WR);
    char buffer[4096];
    while (WaitReadable(fd, std::chrono::milliseconds(200))) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        std::lock_guard lock(mutex_);
        received_.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
}

}  // namespace korvo::test
