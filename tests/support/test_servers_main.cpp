// korvo-test-servers: the private POP3 and SMTP servers of the tests, started by hand so the
// program can be tried against them. Prints the settings of an account that reaches them,
// seeds a few letters and runs until interrupted (Ctrl-C), then removes everything.
//
//   korvo-test-servers [--user NAME] [--password WORD] [--letters N] [--tls]
//
// With --tls the POP3 server offers STLS and listens for TLS on a second port, the SMTP server
// wants STARTTLS before a login, and both show certificates of a private test authority.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/string_format.h"
#include "tests/support/mail_servers.h"

namespace {

volatile sig_atomic_t stopRequested = 0;

void OnSignal(int) {
    stopRequested = 1;
}

// A small letter; every third one is HTML and every fourth carries an attachment, so the
// viewer has something of each kind to show.
std::string SampleLetter(int index, const std::string& user) {
    const std::string date =
        "Mon, 7 Dec 2026 09:" + korvo::StrPrintf("%02d", index % 60) + ":00 +0000";
    std::string head = "From: Sample Sender " + std::to_string(index) + " <sender" +
                       std::to_string(index) + "@example.test>\r\n" + "To: " + user +
                       "@localhost\r\n" + "Subject: Sample letter " + std::to_string(index) +
                       "\r\n" + "Date: " + date + "\r\n" + "Message-ID: <sample" +
                       std::to_string(index) + "@example.test>\r\n" + "MIME-Version: 1.0\r\n";
    if (index % 4 == 0) {
        return head +
               "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
               "--b1\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n"
               "This letter carries a small text file.\r\n"
               "--b1\r\nContent-Type: text/plain; name=\"notes.txt\"\r\n"
               "Content-Disposition: attachment; filename=\"notes.txt\"\r\n"
               "Content-Transfer-Encoding: base64\r\n\r\n"
               "U29tZSBub3Rlcy4K\r\n"
               "--b1--\r\n";
    }
    if (index % 3 == 0) {
        return head +
               "Content-Type: text/html; charset=utf-8\r\n\r\n"
               "<html><body><h3>Sample letter " +
               std::to_string(index) + "</h3><p>An <b>HTML</b> letter.</p></body></html>\r\n";
    }
    return head + "Content-Type: text/plain; charset=utf-8\r\n\r\nHello,\r\n\r\nthis is letter " +
           std::to_string(index) + ".\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string user = "demo";
    std::string password = "demo";
    int letters = 5;
    bool tls = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 < argc && arg == "--user") {
            user = argv[++i];
        } else if (i + 1 < argc && arg == "--password") {
            password = argv[++i];
        } else if (i + 1 < argc && arg == "--letters") {
            letters = std::atoi(argv[++i]);
        } else if (arg == "--tls") {
            tls = true;
        } else {
            std::cerr
                << "usage: korvo-test-servers [--user NAME] [--password WORD] [--letters N] "
                   "[--tls]\n";
            return 2;
        }
    }
    if (geteuid() != 0) {
        std::cerr << "korvo-test-servers: the POP3 server needs root to run privately\n";
        return 1;
    }

    korvo::test::MailServers servers;
    korvo::test::Pop3Options pop3;
    korvo::test::SmtpOptions smtp;
    smtp.authRequired = true;
    if (tls) {
        pop3.tls = korvo::test::Pop3Options::Tls::kOffered;
        smtp.tls = korvo::test::SmtpOptions::Tls::kStartTls;
    }
    if (!servers.AddUser(user, password) || !servers.StartPop3(pop3) ||
        !servers.StartSmtp(smtp)) {
        std::cerr << "korvo-test-servers: " << servers.error() << "\n";
        return 1;
    }
    for (int i = 1; i <= letters; ++i) {
        if (!servers.Seed(user, korvo::StrPrintf("%06d.sample", i), SampleLetter(i, user))) {
            std::cerr << "korvo-test-servers: " << servers.error() << "\n";
            return 1;
        }
    }

    std::cout << "POP3 server: 127.0.0.1 port " << servers.pop3Port()
              << (tls ? " (STLS), port " + std::to_string(servers.pop3sPort()) + " (SSL/TLS)" : "")
              << "\n"
              << "SMTP server: 127.0.0.1 port " << servers.smtpPort()
              << (tls ? " (STARTTLS, then AUTH)\n" : " (AUTH LOGIN)\n")
              << "Account settings: e-mail " << user << "@localhost, user name " << user
              << ", password " << password << ", POP3 and SMTP server 127.0.0.1, the ports above,\n"
              << "  SMTP authentication on with the same user name and password.\n"
              << letters << " letters are waiting. Mail sent to " << user
              << "@localhost arrives in the same mailbox.\n"
              << (tls ? "Start Korvo with SSL_CERT_FILE=" + korvo::test::TestCaFile() +
                            " so that it trusts the test authority.\n"
                      : "")
              << "Press Ctrl-C to stop the servers.\n"
              << std::flush;

    // Block the stop signals and wait for them atomically, so one that arrives between the
    // check and the wait is not missed.
    sigset_t stopSignals, waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    while (!stopRequested) sigsuspend(&waitMask);
    std::cout << "stopping\n";
    return 0;
}
