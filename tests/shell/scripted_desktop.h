// A desktop program as the command line meets it: it listens on a data directory's socket,
// reads each peer's request and answers with a fixed script, then hangs up (or, when told to,
// stays silent with the connection open until it goes).
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/instance_guard.h"

namespace korvo::test {

class ScriptedDesktop {
  public:
    ScriptedDesktop(const std::string& dataDir, std::string script, bool holdOpen = false)
        : script_(std::move(script)), holdOpen_(holdOpen) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = dataDir + InstanceGuard::kSocketFile;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            listen(listenFd_, 4) != 0 || pipe(stop_) != 0) {
            ADD_FAILURE() << "cannot listen on " << path;
            return;
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedDesktop() {
        if (thread_.joinable()) {
            (void)!write(stop_[1], "x", 1);
            thread_.join();
        }
        for (int fd : {listenFd_, stop_[0], stop_[1]})
            if (fd >= 0) close(fd);
    }

    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

  private:
    void Serve() {
        for (;;) {
            pollfd p[2] = {{listenFd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (poll(p, 2, 10000) <= 0 || p[1].revents) return;
            const int peer = accept(listenFd_, nullptr, nullptr);
            if (peer < 0) return;
            std::string request;
            char c = 0;
            pollfd in{peer, POLLIN, 0};
            while (poll(&in, 1, 5000) > 0 && read(peer, &c, 1) == 1 && c != '\n') request += c;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
            }
            (void)!send(peer, script_.data(), script_.size(), MSG_NOSIGNAL);
            if (holdOpen_) {
                pollfd stop{stop_[0], POLLIN, 0};
                poll(&stop, 1, 10000);
            }
            close(peer);
            if (holdOpen_) return;
        }
    }

    std::string script_;
    bool holdOpen_;
    int listenFd_ = -1;
    int stop_[2] = {-1, -1};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace korvo::test
