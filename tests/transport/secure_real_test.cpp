// Secured sessions against the real test servers: each security setting of each protocol, the
// certificates that must be refused, and pins.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "store/node.h"
#include "tests/support/mail_servers.h"
#include "tests/transport/recording_view.h"
#include "transport/net_rp.h"
#include "transport/task_record.h"
#include "transport/tls_stream.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;
using test::Pop3Options;
using test::SmtpOptions;
using test::TestCert;

const std::string kLetter = "Received: from test by localhost\r\nSubject: hi\r\n\r\nbody\r\n";

std::string Fingerprint(TestCert cert) {
    FILE* file = std::fopen(test::TestCertPath(cert, "pem").c_str(), "r");
    if (!file) return "";
    X509* x = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    unsigned char* der = nullptr;
    const int size = x ? i2d_X509(x, &der) : 0;
    std::string hex = size > 0 ? Sha256Hex(der, static_cast<size_t>(size)) : "";
    OPENSSL_free(der);
    X509_free(x);
    return hex;
}

class SecureRealTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_FALSE(test::TestCertDir(&error).empty()) << error;
        ::setenv("SSL_CERT_FILE", test::TestCaFile().c_str(), 1);
        task_.view = &view_;
        ASSERT_TRUE(servers_.AddUser("ann", "pw-ann")) << servers_.error();
    }

    std::unique_ptr<CNetRP> Pop3Session(const std::string& host, int port,
                                        const std::string& security,
                                        const std::string& pin = "") {
        setinfo(&account_, kThisNode, "pop3Server", host);
        setinfo(&account_, kThisNode, "pop3Port", std::to_string(port));
        setinfo(&account_, kThisNode, "username", "ann");
        setinfo(&account_, kThisNode, "password", "pw-ann");
        setinfo(&account_, kThisNode, kPop3SecurityKey, security);
        setinfo(&account_, kThisNode, kPop3CertSha256Key, pin);
        task_.certificate.reset();
        auto session = std::make_unique<CNetRP>(SocketTimeouts{5000ms, 20000ms});
        session->InitialzeAccount(&account_, &task_);
        return session;
    }

    test::MailServers servers_;
    baseDataStruct account_;
    TaskRecord task_;
    test::RecordingView view_;
};

TEST_F(SecureRealTest, Pop3SecuritySettings) {
    struct Case {
        const char* name;
        Pop3Options::Tls tls;
        const char* address;
        const char* host;
        bool implicitPort;
        const char* security;
        bool connects;
        bool secure;
    } cases[] = {
        {"ssl on the TLS port", Pop3Options::Tls::kRequired, "127.0.0.2", "127.0.0.2", true,
         "ssl", true, true},
        {"ssl with a host name", Pop3Options::Tls::kRequired, "127.0.0.1", "localhost", true,
         "ssl", true, true},
        {"starttls", Pop3Options::Tls::kRequired, "127.0.0.2", "127.0.0.2", false, "starttls",
         true, true},
        {"unset takes the offered STLS", Pop3Options::Tls::kRequired, "127.0.0.2", "127.0.0.2",
         false, "", true, true},
        // Proves the server refuses plain logins, which the cases above therefore did not use.
        {"none against a server that wants TLS", Pop3Options::Tls::kRequired, "127.0.0.2",
         "127.0.0.2", false, "none", false, false},
        {"unset without an offer stays plain", Pop3Options::Tls::kNo, "127.0.0.2", "127.0.0.2",
         false, "", true, false},
        {"starttls without an offer", Pop3Options::Tls::kNo, "127.0.0.2", "127.0.0.2", false,
         "starttls", false, false},
    };
    ASSERT_TRUE(servers_.Seed("ann", "1.letter", kLetter));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pop3Options options;
        options.tls = c.tls;
        options.address = c.address;
        ASSERT_TRUE(servers_.StartPop3(options)) << servers_.error();
        auto session = Pop3Session(c.host, c.implicitPort ? servers_.pop3sPort()
                                                          : servers_.pop3Port(),
                                   c.security);
        ASSERT_EQ(session->ConnectPop3(), c.connects ? 1 : 0)
            << session->lastError() << servers_.Pop3Log();
        EXPECT_EQ(session->pop3Secure(), c.secure);
        if (!c.connects) continue;
        EXPECT_EQ(session->GetNumMessages(), 1);
        std::string text;
        EXPECT_EQ(session->GetMessage(1, text), std::to_string(kLetter.size()));
        EXPECT_EQ(text + "\r\n", kLetter);
        EXPECT_EQ(session->DisconnectPop3(), 1);
    }
}

TEST_F(SecureRealTest, BadCertificatesAreRefusedUnlessPinned) {
    struct Case {
        TestCert cert;
        const char* reason;
    } cases[] = {
        {TestCert::kUntrusted, "untrusted issuer: CN=Korvo Test Authority other-ca"},
        {TestCert::kSelfSigned, "untrusted issuer: self-signed (CN=localhost)"},
        {TestCert::kExpired, "expired on Feb  1 00:00:00 2020 GMT"},
        {TestCert::kWrongName,
         "name mismatch: expected 127.0.0.2, the certificate holds elsewhere.test"},
    };
    ASSERT_TRUE(servers_.Seed("ann", "1.letter", kLetter));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        Pop3Options options;
        options.tls = Pop3Options::Tls::kRequired;
        options.address = "127.0.0.2";
        options.cert = c.cert;
        ASSERT_TRUE(servers_.StartPop3(options)) << servers_.error();
        const std::string fingerprint = Fingerprint(c.cert);
        ASSERT_EQ(fingerprint.size(), 64u);

        auto session = Pop3Session("127.0.0.2", servers_.pop3sPort(), "ssl");
        EXPECT_EQ(session->ConnectPop3(), 0);
        session->ReportError();
        ASSERT_TRUE(task_.certificate.has_value()) << session->lastError();
        EXPECT_EQ(task_.stateText, "Faile");
        EXPECT_EQ(task_.certificate->reason, c.reason);
        EXPECT_EQ(task_.certificate->sha256, fingerprint);
        EXPECT_NE(task_.infoText.find(c.reason), std::string::npos) << task_.infoText;
        EXPECT_TRUE(task_.infoText.ends_with(fingerprint)) << task_.infoText;

        // The pin of another certificate does not help; the pin of this one does.
        auto other = Pop3Session("127.0.0.2", servers_.pop3sPort(), "ssl",
                                 Fingerprint(TestCert::kGood));
        EXPECT_EQ(other->ConnectPop3(), 0);
        auto pinned = Pop3Session("127.0.0.2", servers_.pop3sPort(), "ssl", fingerprint);
        ASSERT_EQ(pinned->ConnectPop3(), 1) << pinned->lastError();
        EXPECT_EQ(pinned->GetNumMessages(), 1);
        EXPECT_EQ(pinned->DisconnectPop3(), 1);
    }
}

TEST_F(SecureRealTest, SmtpSecuritySettings) {
    ASSERT_TRUE(servers_.AddUser("bob", "pw-bob")) << servers_.error();
    const std::string letter =
        "From: ann@localhost\r\nTo: bob@localhost\r\nSubject: over TLS\r\n\r\nhello\r\n";
    struct Case {
        const char* name;
        SmtpOptions::Tls tls;
        TestCert cert;
        const char* security;
        bool sent;
        bool certificateProblem;
    } cases[] = {
        {"ssl", SmtpOptions::Tls::kImplicit, TestCert::kGood, "ssl", true, false},
        {"starttls", SmtpOptions::Tls::kStartTls, TestCert::kGood, "starttls", true, false},
        {"unset takes the offered STARTTLS", SmtpOptions::Tls::kStartTls, TestCert::kGood, "",
         true, false},
        {"none against a server that wants TLS", SmtpOptions::Tls::kStartTls, TestCert::kGood,
         "none", false, false},
        {"starttls without an offer", SmtpOptions::Tls::kNo, TestCert::kGood, "starttls", false,
         false},
        {"wrong name after STARTTLS", SmtpOptions::Tls::kStartTls, TestCert::kWrongName,
         "starttls", false, true},
    };
    size_t delivered = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpOptions options;
        options.authRequired = true;
        options.tls = c.tls;
        options.cert = c.cert;
        ASSERT_TRUE(servers_.StartSmtp(options)) << servers_.error();
        setinfo(&account_, kThisNode, "smtpServer", "127.0.0.1");
        setinfo(&account_, kThisNode, "smtpPort", std::to_string(servers_.smtpPort()));
        setinfo(&account_, kThisNode, "SmtpCheck", "True");
        setinfo(&account_, kThisNode, "SmtpUser", "ann");
        setinfo(&account_, kThisNode, "SmtpPass", "pw-ann");
        setinfo(&account_, kThisNode, kSmtpSecurityKey, c.security);
        task_.certificate.reset();
        CNetRP session(SocketTimeouts{5000ms, 20000ms});
        session.InitialzeAccount(&account_, &task_);
        const bool connected = session.ConnectSmtp() == 1;
        EXPECT_EQ(connected, c.sent) << session.lastError();
        if (connected) {
            EXPECT_TRUE(session.smtpSecure());
            EXPECT_EQ(session.SendMailText(letter), 1) << session.lastError();
            EXPECT_EQ(session.DisconnectSmtp(), 1);
            ++delivered;
        }
        EXPECT_EQ(task_.certificate.has_value(), c.certificateProblem);
        if (c.certificateProblem) {
            EXPECT_EQ(task_.certificate->server, CertificateProblem::Server::kSmtp);
        }
        EXPECT_EQ(servers_.Letters("bob").size(), delivered);
        servers_.StopSmtp();
    }
}

}  // namespace
}  // namespace korvo
