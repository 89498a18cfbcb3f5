// A scripted server on 127.0.0.1 for protocol tests.
//
// The script is a list of steps run on the server's own thread against the first client that
// connects: expect a line from the client, send exact bytes (each Send is one write; a short
// pause between writes makes them separate packets), stay silent, close. Every wait is bounded,
// so a client that misbehaves ends the script instead of hanging the test. All bytes the
// client sent are recorded.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvo::test {

class FakeServer {
  public:
    FakeServer();
    ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    uint16_t port() const { return port_; }

    // Script steps, in order.
    FakeServer& Send(std::string bytes);
    // Reads one line (up to LF) and checks it equals `line` + "\r\n".
    FakeServer& Expect(std::string line);
    FakeServer& Pause(std::chrono::milliseconds time);
    // Says nothing until the client closes the connection (or the bound runs out).
    FakeServer& Silence();
    // Closes the connection; later steps are not run.
    FakeServer& Close();

    // Starts the script. Call once, after the steps.
    void Start();
    // Waits for the script to end; true when every expected line matched.
    bool Finish();

    std::string received() const;
    // What went wrong, one line per problem.
    std::vector<std::string> problems() const;

    // Bound of every wait.
    static constexpr std::chrono::seconds kWaitLimit{10};

  private:
    struct Step {
        enum Kind { kSend, kExpect, kPause, kSilence, kClose } kind;
        std::string text;
        std::chrono::milliseconds time{0};
    };

    void Run();
    bool ReadLine(int fd, std::string& line);
    void Problem(std::string text);

    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::vector<Step> steps_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::string received_;
    std::string unread_;  // received beyond the last line read
    std::vector<std::string> problems_;
};

}  // namespace korvo::test
