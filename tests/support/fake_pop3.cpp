#include "tests/support/fake_pop3.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace korvo::test {
namespace {

constexpr int kWaitMs = 10000;

bool SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string Stuffed(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 8);
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (!out.empty() && out.back() != '\n') out += "\r\n";
    return out;
}

}  // namespace

std::string SizedLetter(const std::string& subject, size_t size) {
    std::string letter =
        "Received: from fake by localhost\r\nFrom: a@example.test\r\nSubject: " + subject +
        "\r\n\r\n";
    while (letter.size() + 2 < size) {
        const size_t line = std::min<size_t>(70, size - letter.size() - 2);
        letter += std::string(line, 'x') + "\r\n";
    }
    if (letter.size() < size) letter += std::string(size - letter.size(), 'y');
    return letter;
}

FakePop3::FakePop3(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 4) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

FakePop3::~FakePop3() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
}

void FakePop3::SetLetters(std::vector<Letter> letters) {
    std::lock_guard lock(mutex_);
    letters_ = std::move(letters);
}

std::vector<FakePop3::Letter> FakePop3::letters() const {
    std::lock_guard lock(mutex_);
    return letters_;
}

std::vector<std::string> FakePop3::Uids() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> uids;
    for (const Letter& l : letters_) uids.push_back(l.uid);
    return uids;
}

void FakePop3::Refuse(const std::string& command) {
    std::lock_guard lock(mutex_);
    refuse_[command] = 1;
}

void FakePop3::DropAt(const std::string& command) {
    std::lock_guard lock(mutex_);
    refuse_[command] = 2;
}

void FakePop3::SetCapabilities(std::vector<std::string> capabilities) {
    std::lock_guard lock(mutex_);
    capabilities_ = std::move(capabilities);
}

void FakePop3::SplitReplies(size_t bytes) {
    std::lock_guard lock(mutex_);
    split_ = bytes;
}

int FakePop3::Turns() const {
    std::lock_guard lock(mutex_);
    return turns_;
}

void FakePop3::OnCommand(std::function<void(const std::string&)> hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

std::vector<std::string> FakePop3::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

int FakePop3::Count(const std::string& verb) const {
    std::lock_guard lock(mutex_);
    int count = 0;
    for (const std::string& c : commands_) {
        if (c.compare(0, verb.size(), verb) == 0) ++count;
    }
    return count;
}

void FakePop3::ClearCommands() {
    std::lock_guard lock(mutex_);
    commands_.clear();
}

void FakePop3::Serve() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        Session(fd);
        ::close(fd);
    }
}

void FakePop3::Session(int fd) {
    if (!SendAll(fd, "+OK fake ready.\r\n")) return;
    std::vector<bool> marked;
    {
        std::lock_guard lock(mutex_);
        marked.assign(letters_.size(), false);
    }
    std::string buffer;
    std::string out;  // answers to the commands that arrived together
    char chunk[65536];
    int idleMs = 0;
    // Sends what is answered, in pieces when asked to.
    auto flush = [&]() {
        size_t split;
        {
            std::lock_guard lock(mutex_);
            split = split_ == 0 ? out.size() : split_;
            if (!out.empty()) ++turns_;
        }
        for (size_t at = 0; at < out.size(); at += split) {
            if (!SendAll(fd, out.substr(at, split))) return false;
        }
        out.clear();
        return true;
    };
    while (!stop_ && idleMs < kWaitMs) {
        size_t eol = buffer.find("\r\n");
        if (eol == std::string::npos) {
            if (!flush()) return;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                idleMs += 50;
                continue;
            }
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return;  // client gone: DELE marks are forgotten
            buffer.append(chunk, static_cast<size_t>(n));
            idleMs = 0;
            continue;
        }
        const std::string command = buffer.substr(0, eol);
        buffer.erase(0, eol + 2);
        std::function<void(const std::string&)> hook;
        int fault = 0;
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(command);
            hook = hook_;
            auto it = refuse_.find(command);
            if (it != refuse_.end()) fault = it->second;
        }
        if (hook) hook(command);
        if (fault == 2) {
            flush();
            return;
        }
        if (fault == 1) {
            out += "-ERR refused\r\n";
            continue;
        }
        bool quit = false;
        out += Answer(command, marked, quit);
        if (quit) {
            flush();
            return;
        }
    }
}

std::string FakePop3::Answer(const std::string& command, std::vector<bool>& marked, bool& quit) {
    std::lock_guard lock(mutex_);
    const size_t space = command.find(' ');
    const std::string verb = command.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : command.substr(space + 1);
    auto letterAt = [&](int& n) -> const Letter* {
        n = std::atoi(arg.c_str());
        if (n < 1 || n > static_cast<int>(letters_.size()) || marked[size_t(n - 1)]) {
            return nullptr;
        }
        return &letters_[size_t(n - 1)];
    };
    int n = 0;
    if (verb == "CAPA") {
        if (capabilities_.empty()) return "-ERR unknown command\r\n";
        std::string reply = "+OK\r\n";
        for (const std::string& c : capabilities_) reply += c + "\r\n";
        return reply + ".\r\n";
    }
    if (verb == "USER") return "+OK\r\n";
    if (verb == "PASS") {
        return arg == password_ ? "+OK Logged in.\r\n" : "-ERR [AUTH] Authentication failed.\r\n";
    }
    if (verb == "STAT") {
        size_t total = 0;
        for (const Letter& l : letters_) total += l.text.size();
        return "+OK " + std::to_string(letters_.size()) + " " + std::to_string(total) + "\r\n";
    }
    if (verb == "LIST" || verb == "UIDL") {
        const Letter* l = letterAt(n);
        if (!l) return "-ERR no such message\r\n";
        return "+OK " + std::to_string(n) + " " +
               (verb == "LIST" ? std::to_string(l->text.size()) : l->uid) + "\r\n";
    }
    if (verb == "RETR") {
        const Letter* l = letterAt(n);
        if (!l) return "-ERR no such message\r\n";
        return "+OK " + std::to_string(l->text.size()) + " octets\r\n" + Stuffed(l->text) + ".\r\n";
    }
    if (verb == "TOP") {
        const Letter* l = letterAt(n);
        if (!l) return "-ERR no such message\r\n";
        const size_t blank = l->text.find("\r\n\r\n");
        std::string head = blank == std::string::npos ? l->text : l->text.substr(0, blank + 4);
        // One body line.
        if (blank != std::string::npos) {
            const size_t end = l->text.find("\r\n", blank + 4);
            head += l->text.substr(
                blank + 4, end == std::string::npos ? std::string::npos : end + 2 - blank - 4);
        }
        return "+OK\r\n" + Stuffed(head) + ".\r\n";
    }
    if (verb == "DELE") {
        if (!letterAt(n)) return "-ERR no such message\r\n";
        marked[size_t(n - 1)] = true;
        return "+OK Marked to be deleted.\r\n";
    }
    if (verb == "QUIT") {
        quit = true;
        std::vector<Letter> kept;
        for (size_t i = 0; i < letters_.size(); ++i) {
            if (!marked[i]) kept.push_back(letters_[i]);
        }
        letters_ = std::move(kept);
        return "+OK Logging out.\r\n";
    }
    return "-ERR unknown command\r\n";
}

}  // namespace korvo::test
