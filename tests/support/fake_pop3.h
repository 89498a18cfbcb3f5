// A small POP3 server on 127.0.0.1 that serves a mailbox held in memory: CAPA, USER, PASS,
// STAT, LIST n, UIDL n, TOP n k, RETR n, DELE n, QUIT. Commands that arrive together are
// answered together, in one write or in pieces of a chosen size. Deletions take effect at QUIT, as
// on a real server. It serves one connection after another until it is destroyed, records every
// command, and can refuse or drop chosen commands. Every wait is bounded.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvo::test {

class FakePop3 {
  public:
    struct Letter {
        std::string uid;
        std::string text;  // CRLF line ends; dot-stuffed on the wire
    };

    explicit FakePop3(std::string user = "bob", std::string password = "s3cret");
    ~FakePop3();
    FakePop3(const FakePop3&) = delete;
    FakePop3& operator=(const FakePop3&) = delete;

    uint16_t port() const { return port_; }

    // The mailbox; change it only while no client is connected.
    void SetLetters(std::vector<Letter> letters);
    std::vector<Letter> letters() const;
    std::vector<std::string> Uids() const;

    // A command (exact text without CRLF, e.g. "RETR 2") answered "-ERR refused".
    void Refuse(const std::string& command);
    // A command on which the server closes the connection without answering.
    void DropAt(const std::string& command);
    // The CAPA reply's capability lines (e.g. {"UIDL", "PIPELINING"}); none: "-ERR".
    void SetCapabilities(std::vector<std::string> capabilities);
    // Replies go out in writes of at most this many bytes (0: whole).
    void SplitReplies(size_t bytes);
    // How many times the server waited for the client: one per round trip.
    int Turns() const;

    // Called with each command before it is answered (on the server's thread).
    void OnCommand(std::function<void(const std::string&)> hook);

    // Every command received, in order, over all connections.
    std::vector<std::string> commands() const;
    // How many commands started with `verb` ("RETR", "TOP", "DELE", "QUIT").
    int Count(const std::string& verb) const;
    void ClearCommands();

  private:
    void Serve();
    void Session(int fd);
    std::string Answer(const std::string& command, std::vector<bool>& marked, bool& quit);

    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::string user_;
    std::string password_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Letter> letters_;
    std::map<std::string, int> refuse_;  // command -> 1 refuse, 2 drop
    std::function<void(const std::string&)> hook_;
    std::vector<std::string> commands_;
    std::vector<std::string> capabilities_;
    size_t split_ = 0;
    int turns_ = 0;
    std::thread thread_;
};

// A letter with a trace header (so it is fetched once) whose whole text is exactly `size`
// bytes when `size` is large enough; otherwise as short as its header allows.
std::string SizedLetter(const std::string& subject, size_t size);

}  // namespace korvo::test
