// Real mail servers for protocol tests: a private POP3 server (dovecot) and a private SMTP
// server (aiosmtpd, AUTH LOGIN) on 127.0.0.1, with their users, configuration, logs and
// maildirs in one temporary directory. Both share the user file and the maildirs, so a letter
// delivered by SMTP can be fetched by POP3. Mail files belong to uid 8 (the POP3 server does
// not give mail access to root). Needs root.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvo::test {

// Certificates made once per test process with the openssl command (make_test_certs.sh) in a
// directory removed at exit. The authority "ca" is what the tests trust (SSL_CERT_FILE).
enum class TestCert { kGood, kUntrusted, kWrongName, kExpired, kSelfSigned };
// The directory, or empty with `error` set.
const std::string& TestCertDir(std::string* error = nullptr);
std::string TestCertPath(TestCert cert, const char* extension);  // "pem" or "key"
// The test authority's certificate, to put in SSL_CERT_FILE.
std::string TestCaFile();

// How the POP3 server runs: STLS offered on the plain port (kOffered) or TLS required for
// logins (kRequired); with either, the implicit TLS port is open too. With which certificate, on
// which
// address. The server treats a client on its own address as secure: listen on 127.0.0.2 for
// plain logins to be refused.
struct Pop3Options {
    enum class Tls { kNo, kOffered, kRequired } tls = Tls::kNo;
    TestCert cert = TestCert::kGood;
    std::string address = "127.0.0.1";
};

// SMTP: STARTTLS required before any login or letter, or TLS from the first byte.
struct SmtpOptions {
    bool authRequired = false;
    enum class Tls { kNo, kStartTls, kImplicit } tls = Tls::kNo;
    TestCert cert = TestCert::kGood;
};

class MailServers {
  public:
    static constexpr int kMailUid = 8;

    MailServers();
    // Stops whatever runs and removes the directory.
    ~MailServers();
    MailServers(const MailServers&) = delete;
    MailServers& operator=(const MailServers&) = delete;

    // Adds a user with an empty maildir; call before starting a server.
    bool AddUser(const std::string& user, const std::string& password);

    // Start a server and wait until it greets; false with error() telling why.
    bool StartPop3(const Pop3Options& options = {});
    bool StartSmtp(bool authRequired = false);
    bool StartSmtp(const SmtpOptions& options);
    void StopPop3();
    void StopSmtp();

    uint16_t pop3Port() const { return pop3Port_; }
    // The implicit TLS port (with TLS), else 0.
    uint16_t pop3sPort() const { return pop3sPort_; }
    uint16_t smtpPort() const { return smtpPort_; }

    // Writes a letter into the user's new/ directory. The POP3 server numbers the letters it
    // finds in one scan in file-name order; a name must not be used twice.
    bool Seed(const std::string& user, const std::string& fileName, const std::string& bytes);

    // File names in the user's new/ and cur/ directories.
    std::vector<std::string> Letters(const std::string& user) const;
    std::string Maildir(const std::string& user) const;

    const std::string& dir() const { return dir_; }
    const std::string& error() const { return error_; }
    // The POP3 server's log, for failure messages.
    std::string Pop3Log() const;

  private:
    bool Fail(std::string text);

    std::string dir_;
    std::string error_;
    pid_t pop3Pid_ = -1;
    pid_t smtpPid_ = -1;
    uint16_t pop3Port_ = 0;
    uint16_t pop3sPort_ = 0;
    uint16_t smtpPort_ = 0;
};

// Waits until a server on address:port sends a first line starting with `prefix`.
bool WaitForGreeting(uint16_t port, const std::string& prefix, int timeoutMs,
                     const std::string& address = "127.0.0.1");

// A port on 127.0.0.1 that was free a moment ago.
uint16_t FreeLoopbackPort();

}  // namespace korvo::test
