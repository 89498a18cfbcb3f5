// Event pumping with a bound, and a counting HTTP listener on 127.0.0.1, for the browser tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/utils.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace korvo::test {

// Runs the event loop until `done` holds or `timeoutMs` passed; returns done().
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        wxYield();
        wxMilliSleep(5);
    }
    return true;
}

// Runs the event loop for `ms` milliseconds.
inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

// Accepts connections on 127.0.0.1 and counts them; each gets an empty 200 answer.
class CountingHttpServer {
  public:
    CountingHttpServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            listen(fd_, 16) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
            return;
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~CountingHttpServer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) close(fd_);
    }
    int port() const { return port_; }
    int connections() const { return accepted_; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    void Run() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const int client = accept(fd_, nullptr, nullptr);
            if (client < 0) continue;
            ++accepted_;
            pollfd c{client, POLLIN, 0};
            char buffer[4096];
            if (poll(&c, 1, 500) > 0) (void)!read(client, buffer, sizeof buffer);
            static const char kAnswer[] = "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n";
            (void)!write(client, kAnswer, sizeof kAnswer - 1);
            close(client);
        }
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

}  // namespace korvo::test
