// The sending half of the session against scripted servers: exact bytes, every refusal, split
// replies, broken and silent servers, and what happens to the letters of the prepare box.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

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

std::string Letter(const std::string& to, const std::string& body, const std::string& cc = "") {
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
        baseDataStruct* letter =
            AddSonText(prepare_, "type =letter ,pointId =" + std::to_string(++points_));
        setinfo(letter, kThisNode, "SDATA", text);
        return letter;
    }

    std::unique_ptr<CNetRP> Session(const FakeServer& server, bool auth = false,
                                    SocketTimeouts timeouts = {2000ms, 3000ms}) {
        setinfo(&account_, kThisNode, "smtpServer", "127.0.0.1");
        setinfo(&account_, kThisNode, "smtpPort", std::to_string(server.port()));
        setinfo(&account_, kThisNode, "SmtpCheck", auth ? "True" : "true");
        // These scripts are plain-text servers.
        setinfo(&account_, kThisNode, "smtpSecurity", "none");
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
    EXPECT_EQ(server.received(),
              Helo() + "\r\n" + envelope1 + Wire(first) + envelope2 + Wire(second) + "QUIT\r\n");
    // The dot line is doubled, a letter ending in a line end gets ".", one without gets CR LF.
    EXPECT_NE(server.received().find("\r\n\r\n..dot line\r\nbody\r\n.\r\nMAIL"), std::string::npos);
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

TEST_F(SmtpFakeTest, BlindCopiesGetARcptAndStayOutOfTheData) {
    const std::string text = Letter("bob@example.test", "body\r\n");
    baseDataStruct* letter = AddLetter(text);
    setinfo(letter, kThisNode, kBlindCopyKey, "\"Se, cret\" <hid@example.test>; BOB@example.test");

    FakeServer server;
    server.Send("220 fake ESMTP\r\n").Expect(Helo()).Send("250 fake\r\n");
    server.Expect("MAIL FROM:<ann@example.test>").Send("250 ok\r\n");
    server.Expect("RCPT TO:<bob@example.test>").Send("250 ok\r\n");
    server.Expect("RCPT TO:<hid@example.test>").Send("250 ok\r\n");
    server.Expect("DATA").Send("354 go ahead\r\n");
    ExpectData(server, Wire(text));
    server.Send("250 queued\r\n").Expect("QUIT").Send("221 bye\r\n");
    server.Start();

    auto session = Session(server);
    Send(*session);
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
    // The send box's copy keeps the record of who got it.
    ASSERT_EQ(Sons(send_), 1);
    EXPECT_EQ(getinfo(send_->firstSon(), kThisNode, kBlindCopyKey),
              "\"Se, cret\" <hid@example.test>; BOB@example.test");
}

TEST_F(SmtpFakeTest, EhloAndAuthLoginWithSplitRepliesKeepCredentialsHidden) {
    test::TempDir dir;
    test::ScopedDataDir dataDir(dir.path());
    TheLog().SetFile("smtplog");
    TheLog().SetThreshold(DiagLog::kMessage);

    FakeServer server;
    // A two-line greeting in one packet, an EHLO reply cut inside its lines.
    server.Send("220-fake.test ESMTP\r\n220 welcome\r\n").Expect("EHLO " + CNetRP::LocalHostName());
    server.Send("250-fake.test\r\n25").Send("0-AUTH LOGIN\r\n250").Send(" HELP\r\n");
    server.Expect("AUTH LOGIN").Send("334 VXNlcm5hbWU6\r\n");
    server.Expect("YW5u").Send("334 UGFzc3dvcmQ6\r\n");
    server.Expect("cHctYW5u").Send("235 2.7.0 Authentication successful\r\n");
    server.Expect("QUIT").Send("221 bye\r\n");
    server.Start();
    auto session = Session(server, true);
    ASSERT_EQ(session->ConnectSmtp(), 1) << session->lastError();
    EXPECT_EQ(session->lastReply(), "235 2.7.0 Authentication successful\r\n");
    EXPECT_EQ(session->DisconnectSmtp(), 1);
    EXPECT_EQ(session->lastReply(), "221 bye\r\n");
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());

    std::string log = test::ReadFile(TheLog().filePath());
    TheLog().SetThreshold(DiagLog::kWarning);
    EXPECT_NE(log.find("CNetRP::ConnectSmtp() begin"), std::string::npos);
    EXPECT_NE(log.find("send AUTH LOGIN"), std::string::npos);
    for (const char* secret : {"YW5u", "cHctYW5u", "pw-ann"}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
        EXPECT_EQ(view_.AllStatus().find(secret), std::string::npos) << secret;
    }
}

// Two letters; the first one meets `script`'s refusal, the second goes through.
struct Refusal {
    const char* name;
    std::function<void(FakeServer&)> script;  // the dialogue of the first letter
    const char* error;
};

TEST_F(SmtpFakeTest, RefusedLetterStaysInThePrepareBoxAndTheNextOneGoes) {
    const std::string first = Letter("bob@example.test, nobody@example.test", "one\r\n");
    const std::string second = Letter("bob@example.test", "two\r\n");
    const Refusal refusals[] = {
        {"MAIL",
         [](FakeServer& s) {
             s.Expect("MAIL FROM:<ann@example.test>").Send("553 sender not allowed\r\n");
             s.Expect("RSET").Send("250 ok\r\n");
         },
         "SMTP server error"},
        {"every RCPT",
         [](FakeServer& s) {
             s.Expect("MAIL FROM:<ann@example.test>").Send("250 ok\r\n");
             s.Expect("RCPT TO:<bob@example.test>").Send("550 5.1.1 unknown\r\n");
             s.Expect("RCPT TO:<nobody@example.test>").Send("451 4.3.0 try later\r\n");
             s.Expect("RSET").Send("250 ok\r\n");
         },
         "SMTP server error"},
        {"DATA",
         [](FakeServer& s) {
             s.Expect("MAIL FROM:<ann@example.test>").Send("250 ok\r\n");
             s.Expect("RCPT TO:<bob@example.test>").Send("250 ok\r\n");
             s.Expect("RCPT TO:<nobody@example.test>").Send("250 ok\r\n");
             s.Expect("DATA").Send("554 no valid recipients\r\n");
             s.Expect("RSET").Send("250 ok\r\n");
         },
         "SMTP server not ready for data"},
        {"end of data",
         [](FakeServer& s) {
             s.Expect("MAIL FROM:<ann@example.test>").Send("250 ok\r\n");
             s.Expect("RCPT TO:<bob@example.test>").Send("250 ok\r\n");
             s.Expect("RCPT TO:<nobody@example.test>").Send("250 ok\r\n");
             s.Expect("DATA").Send("354 go\r\n");
             ExpectData(s, Wire(Letter("bob@example.test, nobody@example.test", "one\r\n")));
             s.Send("452 4.3.1 insufficient storage\r\n");
         },
         "SMTP server error"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        deletesons(prepare_);
        deletesons(send_);
        failures_.clear();
        stored_.clear();
        task_.stateText.clear();
        RecordingView view;
        task_.view = &view;
        test::MessageRecorder boxes;
        AddLetter(first);
        AddLetter(second);

        FakeServer server;
        server.Send("220 fake\r\n").Expect(Helo()).Send("250 fake\r\n");
        r.script(server);
        server.Expect("MAIL FROM:<ann@example.test>").Send("250 ok\r\n");
        server.Expect("RCPT TO:<bob@example.test>").Send("250 ok\r\n");
        server.Expect("DATA").Send("354 go\r\n");
        ExpectData(server, Wire(second));
        server.Send("250 queued\r\n").Expect("QUIT").Send("221 bye\r\n");
        server.Start();
        auto session = Session(server);
        Send(*session);
        EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());

        // The failed letter is untouched and valid; only the second one was copied.
        baseDataStruct* failed = prepare_->firstSon();
        EXPECT_TRUE(teststate(failed, STATE_VALID));
        EXPECT_EQ(getinfo(failed, kThisNode, "SDATA"), first);
        EXPECT_FALSE(teststate(failed->nextBrother(), STATE_VALID));
        ASSERT_EQ(Sons(send_), 1);
        EXPECT_EQ(getinfo(send_->firstSon(), kThisNode, "SDATA"), second);
        EXPECT_EQ(failures_, std::vector<std::string>{r.error});
        EXPECT_EQ(task_.stateText, "Faile");
        EXPECT_EQ(task_.infoText, r.error);
        EXPECT_NE(view.AllStatus().find(r.error), std::string::npos);
        const bool endOfData = std::string(r.name) == "end of data";
        EXPECT_EQ(boxes.messages(), endOfData ? std::vector<std::string>{"con't send this mail!"}
                                              : std::vector<std::string>{});
    }
}

TEST_F(SmtpFakeTest, PartlyRefusedRecipientsStillSendTheLetter) {
    AddLetter(Letter("bob@example.test, nobody@example.test, not an address", "one\r\n",
                     "gone@example.test"));
    FakeServer server;
    server.Send("220 fake\r\n").Expect(Helo()).Send("250 fake\r\n");
    server.Expect("MAIL FROM:<ann@example.test>").Send("250 ok\r\n");
    server.Expect("RCPT TO:<bob@example.test>").Send("250 ok\r\n");
    server.Expect("RCPT TO:<nobody@example.test>").Send("550 5.1.1 unknown\r\n");
    server.Expect("RCPT TO:<gone@example.test>").Send("551 moved\r\n");
    server.Expect("DATA").Send("354 go\r\n");
    ExpectData(server, Wire(getinfo(prepare_->firstSon(), kThisNode, "SDATA")));
    server.Send("250 queued\r\n").Expect("QUIT").Send("221 bye\r\n");
    server.Start();
    auto session = Session(server);
    Send(*session);
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
    EXPECT_EQ(Sons(send_), 1);
    EXPECT_FALSE(teststate(prepare_->firstSon(), STATE_VALID));
    EXPECT_EQ(task_.stateText, "Run over!");
    EXPECT_EQ(task_.infoText, "Refused: not an address, nobody@example.test, gone@example.test");
}

TEST_F(SmtpFakeTest, ConnectionRefusalsTouchNoLetter) {
    struct Case {
        const char* name;
        std::function<void(FakeServer&)> script;
        bool auth;
        const char* error;
        const char* shown;  // the table text shown when the reply came
    } cases[] = {
        {"greeting", [](FakeServer& s) { s.Send("554 go away\r\n"); }, false,
         "Server didn't respond.", "SMTP server not available"},
        {"silent greeting", [](FakeServer& s) { s.Silence(); }, false, "Server didn't respond.",
         "Socket Error"},
        {"HELO",
         [](FakeServer& s) { s.Send("220 fake\r\n").Expect(Helo()).Send("501 bad name\r\n"); },
         false, "SMTP server error", "SMTP server error"},
        {"silent after HELO", [](FakeServer& s) { s.Send("220 fake\r\n").Silence(); }, false,
         "Socket Error", "Socket Error"},
        {"AUTH LOGIN",
         [](FakeServer& s) {
             s.Send("220 fake\r\n").Expect("EHLO " + CNetRP::LocalHostName());
             s.Send("250 fake\r\n").Expect("AUTH LOGIN").Send("504 not supported\r\n");
         },
         true, "SMTP server error", "SMTP server error"},
        {"password",
         [](FakeServer& s) {
             s.Send("220 fake\r\n").Expect("EHLO " + CNetRP::LocalHostName());
             s.Send("250 fake\r\n").Expect("AUTH LOGIN").Send("334 VXNlcm5hbWU6\r\n");
             s.Expect("YW5u").Send("334 UGFzc3dvcmQ6\r\n");
             s.Expect("cHctYW5u").Send("535 5.7.8 Authentication credentials invalid\r\n");
         },
         true, "SMTP server error", "SMTP server error"},
        {"reply without code",
         [](FakeServer& s) { s.Send("220 fake\r\n").Expect(Helo()).Send("hello there\r\n"); },
         false, "SMTP server error", "SMTP server error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        deletesons(prepare_);
        AddLetter(Letter("bob@example.test", "one\r\n"));
        RecordingView view;
        task_.view = &view;
        FakeServer server;
        c.script(server);
        server.Start();
        auto session = Session(server, c.auth, {2000ms, 300ms});
        Send(*session);
        EXPECT_EQ(task_.stateText, "Faile");
        EXPECT_EQ(task_.infoText, c.error);
        EXPECT_NE(view.AllStatus().find(c.shown), std::string::npos) << view.AllStatus();
        EXPECT_EQ(view.Status(), c.error);
        EXPECT_TRUE(teststate(prepare_->firstSon(), STATE_VALID));
        EXPECT_EQ(Sons(send_), 0);
        EXPECT_TRUE(stored_.empty());
        session.reset();
        server.Finish();
        // Nothing of a letter was sent, and no QUIT on a connection that was never set up.
        EXPECT_EQ(server.received().find("MAIL"), std::string::npos);
        EXPECT_EQ(server.received().find("QUIT"), std::string::npos);
    }

    // No port: port 0 cannot be reached.
    task_.view = &view_;
    CNetRP session({1000ms, 1000ms});
    baseDataStruct account;
    setinfo(&account, kThisNode, "smtpServer", "127.0.0.1");
    session.InitialzeAccount(&account, &task_);
    NodeOutbox outbox(prepare_, send_, sendBox_, hooks_);
    session.SendMail(outbox);
    EXPECT_EQ(task_.infoText, "Unable to connect to server");
    EXPECT_EQ(task_.stateText, "Faile");
}

TEST_F(SmtpFakeTest, BrokenConnectionsStopTheRun) {
    struct Case {
        const char* name;
        std::function<void(FakeServer&)> script;  // after the first MAIL FROM
        const char* error;
    } cases[] = {
        {"closed in the middle of the data",
         [](FakeServer& s) {
             s.Send("250 ok\r\n").Expect("RCPT TO:<bob@example.test>").Send("250 ok\r\n");
             s.Expect("DATA").Send("354 go\r\n").Expect("From: Ann <ann@example.test>").Close();
         },
         "Socket Error"},
        {"silent after RCPT",
         [](FakeServer& s) { s.Send("250 ok\r\n").Expect("RCPT TO:<bob@example.test>").Silence(); },
         "Socket Error"},
        {"421 closing", [](FakeServer& s) { s.Send("421 4.3.2 shutting down\r\n").Close(); },
         "SMTP server error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        deletesons(prepare_);
        failures_.clear();
        // A letter big enough that the close is seen while it is still being written.
        std::string body;
        while (body.size() < 3'000'000) body += "a line of the letter body, long enough\r\n";
        AddLetter(Letter("bob@example.test", body));
        AddLetter(Letter("bob@example.test", "two\r\n"));
        FakeServer server;
        server.Send("220 fake\r\n").Expect(Helo()).Send("250 fake\r\n");
        server.Expect("MAIL FROM:<ann@example.test>");
        c.script(server);
        server.Start();
        auto session = Session(server, false, {2000ms, 500ms});
        Send(*session);
        server.Finish();
        EXPECT_FALSE(session->smtpConnected());
        EXPECT_EQ(task_.stateText, "Faile");
        EXPECT_EQ(task_.infoText, c.error);
        EXPECT_EQ(failures_, std::vector<std::string>{c.error});
        // Both letters stay; the second one was not tried on a dead connection.
        EXPECT_TRUE(teststate(prepare_->firstSon(), STATE_VALID));
        EXPECT_TRUE(teststate(prepare_->firstSon()->nextBrother(), STATE_VALID));
        EXPECT_EQ(Sons(send_), 0);
        EXPECT_EQ(server.received().find("RSET"), std::string::npos);
        EXPECT_EQ(server.received().find("QUIT"), std::string::npos);
    }
}

TEST_F(SmtpFakeTest, DataGoesInChunksWithProgress) {
    // Header and body padded to exactly one chunk, then one byte more.
    auto sized = [](size_t size) {
        std::string text = Letter("bob@example.test", "");
        std::string line(98, 'x');
        while (text.size() + 100 <= size) text += line + "\r\n";
        text += std::string(size - text.size(), 'y');
        return text;
    };
    const std::string one = sized(CNetRP::kDataChunk);
    const std::string two = sized(CNetRP::kDataChunk + 1);
    ASSERT_EQ(one.size(), CNetRP::kDataChunk);
    AddLetter(one);
    AddLetter(two);
    FakeServer server;
    server.Send("220 fake\r\n").Expect(Helo()).Send("250 fake\r\n");
    for (const std::string* text : {&one, &two}) {
        server.Expect("MAIL FROM:<ann@example.test>").Send("250 ok\r\n");
        server.Expect("RCPT TO:<bob@example.test>").Send("250 ok\r\n");
        server.Expect("DATA").Send("354 go\r\n");
        ExpectData(server, Wire(*text));
        server.Send("250 queued\r\n");
    }
    server.Expect("QUIT").Send("221 bye\r\n");
    server.Start();
    view_.SetStatus("Sending");
    auto session = Session(server);
    Send(*session);
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
    EXPECT_EQ(Sons(send_), 2);
    // First letter: 0, one chunk 100, 100 at the end; second: 0, 50, 100, 100.
    EXPECT_EQ(view_.progress(), (std::vector<int>{0, 100, 100, 0, 50, 100, 100}));
    const std::string all = view_.AllStatus();
    EXPECT_NE(all.find("Sending(51200)\n"), std::string::npos) << all;
    EXPECT_NE(all.find("Sending(51201)\n"), std::string::npos);
    // The progress text never grows from one letter to the next.
    EXPECT_EQ(all.find(")("), std::string::npos);
}

TEST_F(SmtpFakeTest, BoxWithoutValidLettersStillConnectsAndQuits) {
    changestate(AddLetter(Letter("bob@example.test", "old")), STATE_VALID, 0);
    FakeServer server;
    server.Send("220 fake\r\n").Expect(Helo()).Send("250 fake\r\n");
    server.Expect("QUIT").Send("221 bye\r\n");
    server.Start();
    auto session = Session(server);
    Send(*session);
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
    EXPECT_EQ(server.received(), Helo() + "\r\nQUIT\r\n");
    EXPECT_EQ(task_.stateText, "Run over!");
    EXPECT_EQ(Sons(send_), 0);
}

TEST_F(SmtpFakeTest, CancelStopsABlockedSendAndKeepsTheLetters) {
    AddLetter(Letter("bob@example.test", "one\r\n"));
    AddLetter(Letter("bob@example.test", "two\r\n"));
    FakeServer server;
    server.Send("220 fake\r\n").Expect(Helo()).Send("250 fake\r\n");
    server.Expect("MAIL FROM:<ann@example.test>").Silence();
    server.Start();
    auto session = Session(server, false, {2000ms, 20000ms});
    std::thread window([this] {
        std::this_thread::sleep_for(300ms);
        task_.RequestCancel();
    });
    const auto start = std::chrono::steady_clock::now();
    Send(*session);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    window.join();
    session.reset();
    server.Finish();
    EXPECT_EQ(task_.stateText, "Faile");
    EXPECT_EQ(Sons(send_), 0);
    EXPECT_TRUE(teststate(prepare_->firstSon(), STATE_VALID));
    EXPECT_TRUE(teststate(prepare_->lastSon(), STATE_VALID));
    EXPECT_EQ(server.received().find("RCPT"), std::string::npos);
}

}  // namespace
}  // namespace korvo
