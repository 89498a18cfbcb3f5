// Secured and bounded sessions against scripted servers: offers of TLS stripped on the way,
// servers that trickle or never end, and a TLS connection cut in the middle of a letter.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "store/node.h"
#include "tests/support/fake_server.h"
#include "tests/support/mail_servers.h"
#include "tests/transport/recording_view.h"
#include "transport/net_rp.h"
#include "transport/task_record.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;
using test::FakeServer;

class SecureFakeTest : public ::testing::Test {
  protected:
    void SetUp() override { task_.view = &view_; }

    std::unique_ptr<CNetRP> Session(int port, const std::string& pop3Security,
                                    const std::string& smtpSecurity,
                                    SocketTimeouts timeouts = {2000ms, 3000ms}) {
        setinfo(&account_, kThisNode, "pop3Server", "127.0.0.1");
        setinfo(&account_, kThisNode, "pop3Port", std::to_string(port));
        setinfo(&account_, kThisNode, "smtpServer", "127.0.0.1");
        setinfo(&account_, kThisNode, "smtpPort", std::to_string(port));
        setinfo(&account_, kThisNode, "username", "bob");
        setinfo(&account_, kThisNode, "password", "s3cret");
        setinfo(&account_, kThisNode, "SmtpCheck", "True");
        setinfo(&account_, kThisNode, "SmtpUser", "bob");
        setinfo(&account_, kThisNode, "SmtpPass", "s3cret");
        setinfo(&account_, kThisNode, kPop3SecurityKey, pop3Security);
        setinfo(&account_, kThisNode, kSmtpSecurityKey, smtpSecurity);
        auto session = std::make_unique<CNetRP>(timeouts);
        session->InitialzeAccount(&account_, &task_);
        return session;
    }

    baseDataStruct account_;
    TaskRecord task_;
    test::RecordingView view_;
};

TEST_F(SecureFakeTest, NoCredentialLeavesWithoutTheTlsTheAccountAsksFor) {
    struct Case {
        const char* name;
        bool smtp;
        std::function<void(FakeServer&)> script;
    } cases[] = {
        {"STLS missing from CAPA", false,
         [](FakeServer& s) {
             s.Send("+OK ready\r\n").Expect("CAPA");
             s.Send("+OK\r\nUSER\r\nSASL PLAIN\r\n.\r\n").Silence();
         }},
        {"STLS offered, then refused", false,
         [](FakeServer& s) {
             s.Send("+OK ready\r\n").Expect("CAPA").Send("+OK\r\nSTLS\r\nUSER\r\n.\r\n");
             s.Expect("STLS").Send("-ERR not now\r\n").Silence();
         }},
        {"STARTTLS missing from EHLO", true,
         [](FakeServer& s) {
             s.Send("220 fake\r\n").Expect("EHLO " + CNetRP::LocalHostName());
             s.Send("250-fake\r\n250 AUTH PLAIN LOGIN\r\n").Silence();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer server;
        c.script(server);
        server.Start();
        auto session = Session(server.port(), "starttls", "starttls", {2000ms, 1000ms});
        EXPECT_EQ(c.smtp ? session->ConnectSmtp() : session->ConnectPop3(), 0);
        session.reset();
        server.Finish();
        const std::string sent = server.received();
        for (const char* secret : {"USER", "PASS", "AUTH", "s3cret", "czNjcmV0"}) {
            EXPECT_EQ(sent.find(secret), std::string::npos) << secret << " in " << sent;
        }
    }
}

TEST_F(SecureFakeTest, TricklingEndlessAndOversizedRepliesEnd) {
    auto loginScript = [](FakeServer& s) {
        s.Send("+OK ready\r\n").Expect("CAPA").Send("-ERR\r\n");
        s.Expect("USER bob").Send("+OK\r\n").Expect("PASS s3cret");
        s.Send("+OK\r\n");
    };
    struct Case {
        const char* name;
        std::function<void(FakeServer&)> script;
        const char* result;  // of GetMessage(1); nullptr: the login fails
        bool inStep;         // the session still reads the next reply right
    } cases[] = {
        {"greeting trickles in", [](FakeServer& s) {
             s.Send("+OK ");
             for (int i = 0; i < 40; ++i) s.Send("x");
         },
         nullptr, false},
        {"letter never ends", [&](FakeServer& s) {
             loginScript(s);
             s.Expect("LIST 1").Send("+OK 1 100\r\n").Expect("RETR 1").Send("+OK\r\n");
             for (int i = 0; i < 60; ++i) s.Send(std::string(65536, 'y') + "\r\n");
         },
         "-1", false},
        {"letter far larger than LIST said", [&](FakeServer& s) {
             loginScript(s);
             s.Expect("LIST 1").Send("+OK 1 100\r\n").Expect("RETR 1").Send("+OK\r\n");
             for (int i = 0; i < 3; ++i) s.Send(std::string(2000, 'z'));
             s.Send("\r\n.\r\n").Expect("STAT").Send("+OK 0 0\r\n");
             s.Expect("QUIT").Send("+OK bye\r\n");
         },
         CNetRP::kTooLarge, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer server;
        c.script(server);
        server.Start();
        SocketTimeouts timeouts{2000ms, 3000ms};
        timeouts.reply = 400ms;
        auto session = Session(server.port(), "none", "none", timeouts);
        const auto start = std::chrono::steady_clock::now();
        if (!c.result) {
            EXPECT_EQ(session->ConnectPop3(), 0);
        } else {
            ASSERT_EQ(session->ConnectPop3(), 1) << session->lastError();
            std::string text;
            EXPECT_EQ(session->GetMessage(1, text), c.result);
            EXPECT_TRUE(text.empty());
            EXPECT_EQ(session->pop3Connected(), c.inStep);
            if (c.inStep) {
                EXPECT_EQ(session->GetNumMessages(), 0);
                EXPECT_EQ(session->DisconnectPop3(), 1);
            }
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
        session.reset();
        server.Finish();
    }
}

// A POP3 server over TLS that knows no CAPA, answers every other command "+OK" and cuts the
// connection half-way into the letter RETR asks for. A silent one completes the handshake and
// then says nothing until the client goes.
class CutTlsServer {
  public:
    explicit CutTlsServer(bool silent = false) : silent_(silent), thread_([this] { Run(); }) {}
    ~CutTlsServer() { thread_.join(); }
    int port() const { return port_; }

  private:
    void Run() {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return;
        const int fd = ::accept(listen_, nullptr, nullptr);
        timeval bound{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
        SSL_CTX_set_num_tickets(ctx, 0);  // nothing written after the handshake unasked
        SSL_CTX_use_certificate_file(ctx, Path("pem").c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_use_PrivateKey_file(ctx, Path("key").c_str(), SSL_FILETYPE_PEM);
        SSL* ssl = SSL_new(ctx);
        SSL_set_fd(ssl, fd);
        auto say = [ssl](const std::string& text) {
            size_t n = 0;
            return SSL_write_ex(ssl, text.data(), text.size(), &n) == 1;
        };
        std::string line;
        char c;
        size_t n = 0;
        bool open = SSL_accept(ssl) == 1 && (silent_ || say("+OK ready\r\n"));
        while (open && SSL_read_ex(ssl, &c, 1, &n) == 1) {
            line += c;
            if (c != '\n') continue;
            const bool retr = line.starts_with("RETR");
            const char* reply = line.starts_with("LIST")   ? "+OK 1 5000\r\n"
                                : line.starts_with("CAPA") ? "-ERR\r\n"
                                                           : "+OK\r\n";
            open = say(reply) && !retr;
            if (retr) say("Received: by test\r\nSubject: half\r\n\r\n" + std::string(2000, 'h'));
            line.clear();
        }
        SSL_free(ssl);  // gone without a word of TLS farewell
        SSL_CTX_free(ctx);
        ::close(fd);
        ::close(listen_);
    }
    static std::string Path(const char* extension) {
        return test::TestCertPath(test::TestCert::kGood, extension);
    }
    int Listen() {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd, 1);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        return fd;
    }

    bool silent_;
    int port_ = 0;
    int listen_ = Listen();
    std::thread thread_;
};

TEST_F(SecureFakeTest, TlsCutMidLetterKeepsNothingAndDeletesNothing) {
    std::string error;
    ASSERT_FALSE(test::TestCertDir(&error).empty()) << error;
    ::setenv("SSL_CERT_FILE", test::TestCaFile().c_str(), 1);
    CutTlsServer server;
    auto session = Session(server.port(), "ssl", "none");
    ASSERT_EQ(session->ConnectPop3(), 1) << session->lastError();
    EXPECT_TRUE(session->pop3Secure());
    std::string text;
    EXPECT_EQ(session->GetMessage(1, text), "-1");
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(session->pop3Connected());
    EXPECT_EQ(session->DeleteMessage(1), 0);
}

TEST_F(SecureFakeTest, CancelEndsAWaitInsideTls) {
    std::string error;
    ASSERT_FALSE(test::TestCertDir(&error).empty()) << error;
    ::setenv("SSL_CERT_FILE", test::TestCaFile().c_str(), 1);
    CutTlsServer server(true);
    auto session = Session(server.port(), "ssl", "none", {2000ms, 20000ms});
    std::thread canceller([this] {
        std::this_thread::sleep_for(300ms);
        task_.RequestCancel();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(session->ConnectPop3(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    canceller.join();
}

}  // namespace
}  // namespace korvo
