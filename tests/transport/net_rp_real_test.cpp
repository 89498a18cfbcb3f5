// The POP3 half of the session against a real POP3 server, and the SMTP test server that
// feeds the same maildirs.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/tcp_socket.h"
#include "store/node.h"
#include "tests/support/mail_servers.h"
#include "tests/transport/recording_view.h"
#include "transport/net_rp.h"
#include "transport/reply_reader.h"
#include "transport/task_record.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;

std::string Letter(const std::string& subject, const std::string& body) {
    return "Received: from test by localhost\r\nSubject: " + subject +
           "\r\nFrom: a@example.test\r\n\r\n" + body;
}

class NetRpRealTest : public ::testing::Test {
  protected:
    void SetUp() override {
        task_.view = &view_;
        ASSERT_TRUE(servers_.AddUser("ann", "pw-ann")) << servers_.error();
    }

    void StartPop3() { ASSERT_TRUE(servers_.StartPop3()) << servers_.error(); }

    std::unique_ptr<CNetRP> Session(const std::string& password = "pw-ann") {
        setinfo(&account_, kThisNode, "pop3Server", "127.0.0.1");
        setinfo(&account_, kThisNode, "pop3Port", std::to_string(servers_.pop3Port()));
        setinfo(&account_, kThisNode, "username", "ann");
        setinfo(&account_, kThisNode, "password", password);
        auto session = std::make_unique<CNetRP>(SocketTimeouts{5000ms, 20000ms});
        session->InitialzeAccount(&account_, &task_);
        return session;
    }

    test::MailServers servers_;
    baseDataStruct account_;
    TaskRecord task_;
    test::RecordingView view_;
};

TEST_F(NetRpRealTest, CountSizeIdHeadFetchAndDelete) {
    const std::string first = Letter("one", "plain\r\n");
    // Lines starting with dots, 8-bit text (UTF-8 and a raw Latin-1 byte), no final newline.
    const std::string second =
        Letter("dots", ".\r\n..two dots\r\n.single\r\nUmlaut \xc3\xbc and \xe9\r\n. end");
    const std::string third = "Subject: no trace header\r\n\r\nbody\r\n";
    ASSERT_TRUE(servers_.Seed("ann", "1.letter", first));
    ASSERT_TRUE(servers_.Seed("ann", "2.letter", second));
    ASSERT_TRUE(servers_.Seed("ann", "3.letter", third));
    StartPop3();

    auto session = Session();
    ASSERT_EQ(session->ConnectPop3(), 1) << session->lastError() << servers_.Pop3Log();
    EXPECT_TRUE(session->pipelining());  // announced in CAPA, so the receive walk pipelines
    EXPECT_EQ(session->GetNumMessages(), 3);
    EXPECT_EQ(session->GetMessageLen(1), static_cast<long>(first.size()));
    EXPECT_EQ(session->GetMessageLen(2), static_cast<long>(second.size()));

    std::string id1, id2;
    EXPECT_EQ(session->GetMessageId(1, id1), CNetRP::UidResult::kOk);
    EXPECT_EQ(session->GetMessageId(2, id2), CNetRP::UidResult::kOk);
    EXPECT_EQ(id1.size(), 16u) << id1;
    EXPECT_NE(id1, id2);

    std::string head;
    EXPECT_EQ(session->GetMessageHead(2, head), std::to_string(second.size()));
    EXPECT_EQ(head, second.substr(0, second.find("\r\n\r\n")));

    std::string text;
    EXPECT_EQ(session->GetMessage(1, text), std::to_string(first.size()));
    EXPECT_EQ(text, first.substr(0, first.size() - 2));
    EXPECT_EQ(session->GetMessage(2, text), std::to_string(second.size()));
    EXPECT_EQ(text, second);
    EXPECT_EQ(session->GetMessage(3, text), std::to_string(third.size()));
    EXPECT_EQ(text, third.substr(0, third.size() - 2));
    EXPECT_TRUE(session->pop3Connected());

    EXPECT_EQ(session->DeleteMessage(1), 1);
    // A deleted letter can no longer be fetched; the session stays usable.
    EXPECT_EQ(session->GetMessage(1, text), "-1");
    EXPECT_EQ(session->lastError(), "RETRieve failed");
    EXPECT_EQ(session->DisconnectPop3(), 1);
    EXPECT_EQ(session->lastReply(), "+OK Logging out, messages deleted.\r\n");

    auto again = Session();
    ASSERT_EQ(again->ConnectPop3(), 1) << again->lastError();
    EXPECT_EQ(again->GetNumMessages(), 2);
    std::string id;
    EXPECT_EQ(again->GetMessageId(1, id), CNetRP::UidResult::kOk);
    EXPECT_EQ(id, id2);
}

TEST_F(NetRpRealTest, WrongPasswordIsRefused) {
    StartPop3();
    auto session = Session("not-the-password");
    EXPECT_EQ(session->ConnectPop3(), 0);
    EXPECT_EQ(session->lastError(), "Invalid username/password combination");
    EXPECT_EQ(session->lastReply(), "-ERR [AUTH] Authentication failed.\r\n");
    EXPECT_EQ(view_.AllStatus().find("not-the-password"), std::string::npos);
    EXPECT_FALSE(session->pop3Connected());
}

TEST_F(NetRpRealTest, EmptyAndLargeLetters) {
    // 20 MB in lines of 100 bytes, every tenth starting with a dot.
    std::string big = "Received: from test\r\nSubject: big\r\n\r\n";
    std::string line(98, 'b');
    for (int i = 0; big.size() < 20'000'000; ++i) {
        line[0] = i % 10 == 0 ? '.' : 'b';
        big += line + "\r\n";
    }
    ASSERT_TRUE(servers_.Seed("ann", "1.empty", ""));
    ASSERT_TRUE(servers_.Seed("ann", "2.big", big));
    StartPop3();
    auto session = Session();
    ASSERT_EQ(session->ConnectPop3(), 1) << session->lastError();
    EXPECT_EQ(session->GetMessageLen(1), 0);
    std::string text = "old";
    EXPECT_EQ(session->GetMessage(1, text), "0");
    EXPECT_EQ(text, "");
    EXPECT_EQ(session->GetMessageLen(2), static_cast<long>(big.size()));
    view_.SetStatus("Receive 2/2");
    EXPECT_EQ(session->GetMessage(2, text), std::to_string(big.size()));
    ASSERT_EQ(text.size(), big.size() - 2);
    EXPECT_TRUE(text == big.substr(0, big.size() - 2));
    auto progress = view_.progress();
    ASSERT_GT(progress.size(), 10u);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_EQ(view_.Status().rfind("Receive 2/2(", 0), 0u);
    EXPECT_EQ(session->DisconnectPop3(), 1);
}

// A client for the SMTP test server, enough to deliver one letter.
class SmtpDialogue {
  public:
    explicit SmtpDialogue(uint16_t port)
        : socket_({5000ms, 5000ms}),
          reader_([this](char* b, size_t n) { return socket_.Receive(b, n); }) {
        connected_ = socket_.Connect("127.0.0.1", port) == ConnectResult::kOk;
    }
    bool connected() const { return connected_; }
    // Sends a command (none for the greeting) and returns the whole reply.
    std::string Say(const std::string& command) {
        if (!command.empty()) socket_.SendAll(command);
        std::string reply;
        return reader_.ReadSmtpReply(reply) ? reply : "(no reply)";
    }

  private:
    TcpSocket socket_;
    ReplyReader reader_;
    bool connected_ = false;
};

TEST_F(NetRpRealTest, LetterSentBySmtpIsFetchedByPop3) {
    ASSERT_TRUE(servers_.StartSmtp()) << servers_.error();
    StartPop3();
    SmtpDialogue smtp(servers_.smtpPort());
    ASSERT_TRUE(smtp.connected());
    EXPECT_EQ(smtp.Say("").substr(0, 4), "220 ");
    std::string ehlo = smtp.Say("EHLO client\r\n");
    EXPECT_NE(ehlo.find("250-AUTH LOGIN"), std::string::npos) << ehlo;
    EXPECT_EQ(ehlo.substr(ehlo.rfind("\r\n", ehlo.size() - 3) + 2, 4), "250 ");
    EXPECT_EQ(smtp.Say("AUTH LOGIN\r\n"), "334 VXNlcm5hbWU6\r\n");
    EXPECT_EQ(smtp.Say("YW5u\r\n"), "334 UGFzc3dvcmQ6\r\n");   // ann
    EXPECT_EQ(smtp.Say("cHctYW5u\r\n").substr(0, 4), "235 ");  // pw-ann
    EXPECT_EQ(smtp.Say("MAIL From: <a@example.test>\r\n").substr(0, 4), "250 ");
    EXPECT_EQ(smtp.Say("RCPT TO: <nobody@localhost>\r\n").substr(0, 4), "550 ");
    EXPECT_EQ(smtp.Say("RCPT TO: <ann@localhost>\r\n").substr(0, 4), "250 ");
    EXPECT_EQ(smtp.Say("DATA\r\n").substr(0, 4), "354 ");
    const std::string letter = Letter("by smtp", "sent through the test server\r\n");
    EXPECT_EQ(smtp.Say(letter + ".\r\n").substr(0, 4), "250 ");
    EXPECT_EQ(smtp.Say("QUIT\r\n").substr(0, 4), "221 ");

    auto session = Session();
    ASSERT_EQ(session->ConnectPop3(), 1) << session->lastError();
    ASSERT_EQ(session->GetNumMessages(), 1);
    std::string text;
    EXPECT_NE(session->GetMessage(1, text), "-1");
    EXPECT_NE(text.find("sent through the test server"), std::string::npos) << text;
    EXPECT_NE(text.find("Subject: by smtp"), std::string::npos);
}

}  // namespace
}  // namespace korvo
