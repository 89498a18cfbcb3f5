#include "tests/support/mail_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "tests/support/temp_dir.h"

#ifndef KORVO_TEST_SUPPORT_DIR
#error "KORVO_TEST_SUPPORT_DIR must name tests/support"
#endif

namespace korvo::test {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDovecot = "/usr/sbin/dovecot";
// Debian's interpreter: the one that sees Debian's python modules.
constexpr const char* kPython = "/usr/bin/python3";

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool MakeOwnedDir(const std::string& path, int uid) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    return ::chown(path.c_str(), uid, uid) == 0;
}

// Starts `argv` with stdout and stderr going to `logPath`.
// Everything is prepared before fork: the child of a threaded process may only exec.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& logPath) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int log = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    if (log >= 0) ::close(log);
    return pid;
}

void StopProcess(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    // The POP3 master takes about a second to wind down its children.
    for (int i = 0; i < 100; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool Exited(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

uint16_t FreeLoopbackPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port;
}

const std::string& TestCertDir(std::string* error) {
    static std::string dir;
    static std::string failure;
    static std::once_flag once;
    std::call_once(once, [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvo-certs-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            failure = "cannot make a directory for certificates";
            return;
        }
        const std::string command = "/bin/bash " + std::string(KORVO_TEST_SUPPORT_DIR) +
                                    "/make_test_certs.sh " + pattern + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            failure = "make_test_certs.sh failed (is openssl installed? run scripts/setup)";
            return;
        }
        // The POP3 server's login processes read nothing here, its master reads as root.
        ::chmod(pattern.c_str(), 0755);
        dir = pattern + "/";
        static const std::string remove = dir;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(remove, ignored);
        });
    });
    if (error) *error = failure;
    return dir;
}

std::string TestCertPath(TestCert cert, const char* extension) {
    static const char* const kNames[] = {"good", "untrusted", "wrong-name", "expired",
                                         "self-signed"};
    return TestCertDir() + kNames[static_cast<int>(cert)] + "." + extension;
}

std::string TestCaFile() {
    return TestCertDir() + "ca.pem";
}

bool WaitForGreeting(uint16_t port, const std::string& prefix, int timeoutMs,
                     const std::string& address) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
        addr.sin_port = htons(port);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            std::string got;
            char buffer[512];
            pollfd p{fd, POLLIN, 0};
            while (got.find('\n') == std::string::npos && ::poll(&p, 1, 2000) > 0) {
                ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                got.append(buffer, static_cast<size_t>(n));
            }
            ::close(fd);
            if (got.compare(0, prefix.size(), prefix) == 0) return true;
        } else {
            ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

MailServers::MailServers() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvo-mail-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        Fail("cannot make a temporary directory");
        return;
    }
    dir_ = pattern + "/";
    // The mail uid must be able to pass through to the maildirs.
    ::chmod(dir_.c_str(), 0711);
    MakeOwnedDir(dir_ + "mail", kMailUid);
    WriteFile(dir_ + "users", "");
}

MailServers::~MailServers() {
    StopSmtp();
    StopPop3();
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
}

bool MailServers::Fail(std::string text) {
    error_ = std::move(text);
    return false;
}

std::string MailServers::Maildir(const std::string& user) const {
    return dir_ + "mail/" + user + "/";
}

bool MailServers::AddUser(const std::string& user, const std::string& password) {
    if (dir_.empty()) return false;
    std::ofstream out(dir_ + "users", std::ios::app);
    out << user << ":{PLAIN}" << password << "::::::\n";
    if (!out) return Fail("cannot write the user file");
    const std::string box = Maildir(user);
    for (const char* sub : {"", "cur", "new", "tmp"}) {
        if (!MakeOwnedDir(box + sub, kMailUid)) return Fail("cannot make maildir " + box + sub);
    }
    return true;
}

bool MailServers::Seed(const std::string& user, const std::string& fileName,
                       const std::string& bytes) {
    const std::string tmp = Maildir(user) + "tmp/" + fileName;
    const std::string target = Maildir(user) + "new/" + fileName;
    if (!WriteFile(tmp, bytes) || ::chown(tmp.c_str(), kMailUid, kMailUid) != 0 ||
        ::rename(tmp.c_str(), target.c_str()) != 0) {
        return Fail("cannot seed " + target);
    }
    return true;
}

std::vector<std::string> MailServers::Letters(const std::string& user) const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const char* sub : {"new", "cur"}) {
        for (const auto& entry : fs::directory_iterator(Maildir(user) + sub, ec)) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string MailServers::Pop3Log() const {
    return ReadFile(dir_ + "dovecot.log");
}

bool MailServers::StartPop3(const Pop3Options& options) {
    if (dir_.empty()) return Fail("no temporary directory");
    if (::geteuid() != 0) return Fail("the POP3 test server needs root (it runs mail as uid 8)");
    if (::access(kDovecot, X_OK) != 0) {
        return Fail(std::string(kDovecot) + " is missing: run scripts/setup");
    }
    StopPop3();
    std::string certError;
    if (options.tls != Pop3Options::Tls::kNo && TestCertDir(&certError).empty()) {
        return Fail(certError);
    }
    pop3Port_ = FreeLoopbackPort();
    pop3sPort_ = options.tls != Pop3Options::Tls::kNo ? FreeLoopbackPort() : 0;
    // A run directory left from an earlier start delays the next one by seconds.
    std::error_code ignored;
    fs::remove_all(dir_ + "run", ignored);
    const std::string conf = dir_ + "dovecot.conf";
    std::string text;
    text += "base_dir = " + dir_ + "run\n";
    text += "state_dir = " + dir_ + "state\n";
    text += "log_path = " + dir_ + "dovecot.log\n";
    text += "instance_name = korvo-" + std::to_string(::getpid()) + "-" +
            std::to_string(pop3Port_) + "\n";
    text += "protocols = pop3\nlisten = " + options.address + "\n";
    switch (options.tls) {
        case Pop3Options::Tls::kNo:
            text += "ssl = no\ndisable_plaintext_auth = no\n";
            break;
        case Pop3Options::Tls::kOffered:
            text += "ssl = yes\ndisable_plaintext_auth = no\n";
            break;
        case Pop3Options::Tls::kRequired:
            text += "ssl = required\ndisable_plaintext_auth = yes\n";
            break;
    }
    if (options.tls != Pop3Options::Tls::kNo) {
        text += "ssl_cert = <" + TestCertPath(options.cert, "pem") + "\n";
        text += "ssl_key = <" + TestCertPath(options.cert, "key") + "\n";
        text += "ssl_min_protocol = TLSv1.2\n";
    }
    text +=
        "auth_mechanisms = plain login\n"
        "auth_failure_delay = 0 secs\n"
        "first_valid_uid = 8\n"
        "mail_max_userip_connections = 50\n";
    text += "mail_location = maildir:" + dir_ + "mail/%u\n";
    text += "passdb {\n  driver = passwd-file\n  args = " + dir_ + "users\n}\n";
    text += "userdb {\n  driver = static\n  args = uid=8 gid=8 home=" + dir_ + "mail/%u\n}\n";
    text += "service pop3-login {\n  inet_listener pop3 {\n    address = " + options.address +
            "\n    port = " + std::to_string(pop3Port_) +
            "\n  }\n  inet_listener pop3s {\n    address = " + options.address +
            "\n    port = " + std::to_string(pop3sPort_) + "\n    ssl = yes\n  }\n}\n";
    text += "service auth {\n  user = root\n}\n";
    text += "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
    if (!WriteFile(conf, text)) return Fail("cannot write " + conf);

    pop3Pid_ = Spawn({kDovecot, "-F", "-c", conf}, dir_ + "dovecot.out");
    if (pop3Pid_ < 0) return Fail("cannot start the POP3 server");
    if (!WaitForGreeting(pop3Port_, "+OK", 10000, options.address)) {
        std::string why = Exited(pop3Pid_) ? "it exited" : "no +OK greeting within 10 s";
        if (Exited(pop3Pid_)) pop3Pid_ = -1;
        StopPop3();
        return Fail("the POP3 test server did not start (" + why +
                    "): " + ReadFile(dir_ + "dovecot.out") + Pop3Log());
    }
    return true;
}

bool MailServers::StartSmtp(bool authRequired) {
    SmtpOptions options;
    options.authRequired = authRequired;
    return StartSmtp(options);
}

bool MailServers::StartSmtp(const SmtpOptions& options) {
    if (dir_.empty()) return Fail("no temporary directory");
    std::string certError;
    if (options.tls != SmtpOptions::Tls::kNo && TestCertDir(&certError).empty()) {
        return Fail(certError);
    }
    if (::access(kPython, X_OK) != 0) return Fail(std::string(kPython) + " is missing");
    StopSmtp();
    smtpPort_ = FreeLoopbackPort();
    std::vector<std::string> argv = {
        kPython,       std::string(KORVO_TEST_SUPPORT_DIR) + "/smtp_server.py",
        "--port",      std::to_string(smtpPort_),
        "--users",     dir_ + "users",
        "--mail-root", dir_ + "mail",
        "--owner",     std::to_string(kMailUid)};
    if (options.authRequired) argv.push_back("--auth-required");
    if (options.tls != SmtpOptions::Tls::kNo) {
        argv.insert(argv.end(), {"--tls-cert", TestCertPath(options.cert, "pem"), "--tls-key",
                                 TestCertPath(options.cert, "key"), "--tls",
                                 options.tls == SmtpOptions::Tls::kImplicit ? "implicit"
                                                                            : "starttls"});
    }
    // Truncated, so "ready" is this start's.
    WriteFile(dir_ + "smtp.log", "");
    smtpPid_ = Spawn(argv, dir_ + "smtp.log");
    if (smtpPid_ < 0) return Fail("cannot start the SMTP server");
    // A server speaking TLS from the first byte greets nobody in clear: it says when it listens.
    auto ready = [&] {
        if (options.tls != SmtpOptions::Tls::kImplicit) {
            return WaitForGreeting(smtpPort_, "220", 10000);
        }
        for (int i = 0; i < 200 && !Exited(smtpPid_); ++i) {
            if (ReadFile(dir_ + "smtp.log").find("ready") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    };
    if (!ready()) {
        if (Exited(smtpPid_)) smtpPid_ = -1;
        StopSmtp();
        return Fail(
            "the SMTP test server did not start (is python3-aiosmtpd installed? run "
            "scripts/setup): " +
            ReadFile(dir_ + "smtp.log"));
    }
    return true;
}

void MailServers::StopPop3() {
    StopProcess(pop3Pid_);
}

void MailServers::StopSmtp() {
    StopProcess(smtpPid_);
}

}  // namespace korvo::test
