// The sending half of the session against scripted servers: exact bytes, every refusal, split
// replies, broken and silent servers, and what happens to the letters of the prepare box.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "store/diag_log.h"
#include "store/node_tree.h"
#include "tests/support/fake_server.h"
#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"
#include "tests/transport/recording_view.h"
#include "transport/net_rp.h"
#include "transport/outbox.h"
#include "transport/smtp_envelope.h"
#include "transport/task_record.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;
using test::FakeServer;
using test::RecordingView;

std::string Letter(const std::string& to, const std::string& body,
                   const std::string& cc = "") {
    return "From: Ann <ann@example.test>\r\nTo: " + to + "\r\n" +
           (cc.empty() ? "" : "CC:" + cc + "\r\n") + "Subject: test\r\n\r\n" + body;
}

// The wire form of a stored letter, up to and including the end of data.
std::string Wire(const std::string& text) {
    DataStuffer stuffer;
    std::string out;
    stuffer.Add(text, out);
    out += stuffer.Terminator();
    return out;
}

// The server reads the letter line by line.
void ExpectData(FakeServer& server, const std::string& wire) {
    size_t start = 0;
    for (size_t end; (end = wire.find("\r\n", start)) != std::string::npos; start = end + 2) {
        server.Expect(wire.substr(start, end - start));
    }
}

class SmtpFakeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        task_.view = &view_;
        prepare_ = AddSonText(root_.get(), "type =Box ,pType =10");
        sendBox_ = AddSonText(root_.get(), "type =Box ,subType =send ,showColumn =46947");
        send_ = AddSonText(root_.get(), "type =Box ,pType =10");
        hooks_.store = [this](baseDataStruct* letter) { stored_.push_back(letter); };
        hooks_.failed = [this](baseDataStruct*, const std::string& error) {
            failures_.push_back(error);
        };
    }

    baseDataStruct* AddLetter(const std::string& text) {
        baseDataStruct* letter = AddSonText(prepare_, "type =letter ,pointId =" +
                                                          std::to_string(++points_));
        setinfo(letter, kThisNode, "SDATA", text);
        return letter;
    }

    std::unique_ptr<CNetRP> Session(const FakeServer& server, bool auth = false,
                                    SocketTimeouts timeouts = {2000ms, 3000ms}) {
        setinfo(&account_, kThisNode, "smtpServer", "127.0.0.1");
        setinfo(&account_, kThisNode, "smtpPort", std::to_string(server.port()));
        setinfo(&account_, kThisNode, "SmtpCheck", auth ? "True" : "true");
        setinfo(&account_, kThisNode, "SmtpUser", "ann");
        setinfo(&account_, kThisNode, "SmtpPass", "pw-ann");
        auto session = std::make_unique<CNetRP>(timeouts);
        session->InitialzeAccount(&account_, &task_);
        return session;
    }

    void Send(CNetRP& session) {
        NodeOutbox outbox(prepare_, send_, sendBox_, hooks_);
        session.SendMail(outbox);
    }

    int Sons(const baseDataStruct* node) const {
        int n = 0;
        for (baseDataStruct* s = node->firstSon(); s; s = s->nextBrother()) ++n;
        return n;
    }

    static std::string Helo() { return "HELO " + CNetRP::LocalHostName(); }

    std::unique_ptr<baseDataStruct> root_ = CreateRootNode();
    baseDataStruct* prepare_ = nullptr;
    baseDataStruct* sendBox_ = nullptr;
    baseDataStruct* send_ = nullptr;
    OutboxHooks hooks_;
    std::vector<baseDataStruct*> stored_;
    std::vector<std::string> failures_;
    int points_ = 100;
    baseDataStruct account_;
    TaskRecord task_;
    RecordingView view_;
};

TEST_F(SmtpFakeTest, HeloSendsEveryValidLetterAndCopiesItToTheSendBox) {
    const std::string first = Letter("\"Bob, B.\" <bob@example.test>; carl@example.test",
                                     ".dot line\r\nbody\r\n", "Cy <cy@example.test>");
    const std::string second = Letter("bob@example.test", "no final line end");
    AddLetter(first);
    baseDataStruct* deleted = AddLetter(Letter("bob@example.test", "deleted earlier"));
    changestate(deleted, STATE_VALID, 0);
    AddLetter(second);

    FakeServer server;
    server.Send("220 fake ESMTP\r\n").Expect(Helo()).Send("250 fake\r\n");
    server.Expect("MAIL FROM:<ann@example.test>").Send("250 ok\r\n");
    server.Expect("RCPT TO:<bob@example.test>").Send("250 ok\r\n");
    server.Expect("RCPT TO:<carl@example.test>").Send("250 ok\r\n");
    server.Expect("RCPT TO:<cy@example.test>").Send("250 ok\r\n");
    server.Expect("DATA").Send("354 go ahead\r\n");
    ExpectData(server, Wire(first));
    server.Send("250 queued\r\n");
    server.Expect("MAIL FROM:<ann@example.test>").Send("250 ok\r\n");
    server.Expect("RCPT TO:<bob@example.test>").Send("250 ok\r\n");
    server.Expect("DATA").Send("354 go ahead\r\n");
    ExpectData(server, Wire(second));
    server.Send("250 queued\r\n").Expect("QUIT").Send("221 bye\r\n");
    server.Start();

    auto session = Session(server);
    Send(*session);
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
    const std::string envelope1 =
        "MAIL FROM:<ann@example.test>\r\nRCPT TO:<bob@example.test>\r\n"
        "RCPT TO:<carl@example.test>\r\nRCPT TO:<cy@example.test>\r\nDATA\r\n";
    const std::string envelope2 =
        "MAIL FROM:<ann@example.test>\r\nRCPT TO:<bob@example.test>\r\nDATA\r\n";
    EXPECT_EQ(server.received(), Helo() + "\r\n" + envelope1 + Wire(first) + envelope2 +
                                     Wire(second) + "QUIT\r\n");
    // The dot line is doubled, a letter ending in a line end gets ".", one without gets CR LF.
    EXPECT_NE(server.received().find("\r\n\r\n..dot line\r\nbody\r\n.\r\nMAIL"),
              std::string::npos);
    EXPECT_NE(server.received().find("\r\n\r\nno final line end\r\n.\r\nQUIT\r\n"),
              std::string::npos);
    EXPECT_FALSE(session->smtpConnected());
    EXPECT_EQ(task_.stateText, "Run over!");
    EXPECT_EQ(task_.infoText, "ok");

    // Each sent letter now exists twice: valid in the send box, deleted in the prepare box.
    ASSERT_EQ(Sons(send_), 2);
    baseDataStruct* copy = send_->firstSon();
    EXPECT_EQ(getinfo(copy, kThisNode, "SDATA"), first);
    EXPECT_EQ(getinfo(copy, kThisNode, "pointId"), "-1");
    EXPECT_EQ(getinfo(copy, kThisNode, "pType"), "26");
    EXPECT_TRUE(teststate(copy, STATE_VALID));
    EXPECT_EQ(getinfo(copy->nextBrother(), kThisNode, "SDATA"), second);
    for (baseDataStruct* l = prepare_->firstSon(); l; l = l->nextBrother()) {
        EXPECT_FALSE(teststate(l, STATE_VALID));
    }
    // The stored text is unchanged by the dot-stuffing on the wire.
    EXPECT_EQ(getinfo(prepare_->firstSon(), kThisNode, "SDATA"), first);
    EXPECT_EQ(stored_.size(), 4u);  // copy and original of each letter
    EXPECT_TRUE(failures_.empty());
}

}  // namespace
}  // namespace korvo
