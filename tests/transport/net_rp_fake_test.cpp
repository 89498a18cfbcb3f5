// The POP3 half of the session against scripted servers: exact bytes sent, reply shapes,
// broken and silent servers.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "store/diag_log.h"
#include "store/node.h"
#include "tests/support/fake_server.h"
#include "tests/support/temp_dir.h"
#include "tests/transport/recording_view.h"
#include "transport/net_rp.h"
#include "transport/task_record.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;
using test::FakeServer;
using test::RecordingView;

constexpr const char* kGreeting = "+OK ready.\r\n";

// The greeting, and a server that knows no CAPA: the dialogue without pipelining.
FakeServer& Greet(FakeServer& server) {
    return server.Send(kGreeting).Expect("CAPA").Send("-ERR unknown command\r\n");
}

class NetRpFakeTest : public ::testing::Test {
  protected:
    void SetUp() override { task_.view = &view_; }

    // A session bound to an account that points at `server`.
    std::unique_ptr<CNetRP> Session(const FakeServer& server,
                                    SocketTimeouts timeouts = {2000ms, 3000ms}) {
        setinfo(&account_, kThisNode, "pop3Server", "127.0.0.1");
        setinfo(&account_, kThisNode, "pop3Port", std::to_string(server.port()));
        setinfo(&account_, kThisNode, "username", "bob");
        setinfo(&account_, kThisNode, "password", "s3cret");
        // These scripts are plain-text servers that know no CAPA.
        setinfo(&account_, kThisNode, "pop3Security", "none");
        auto session = std::make_unique<CNetRP>(timeouts);
        session->InitialzeAccount(&account_, &task_);
        return session;
    }

    // The log-in dialogue every session starts with.
    static void ScriptLogin(FakeServer& server) {
        Greet(server)
            .Expect("USER bob")
            .Send("+OK\r\n")
            .Expect("PASS s3cret")
            .Send("+OK Logged in.\r\n");
    }
    static constexpr const char* kLoginBytes = "CAPA\r\nUSER bob\r\nPASS s3cret\r\n";

    baseDataStruct account_;
    TaskRecord task_;
    RecordingView view_;
};

TEST_F(NetRpFakeTest, LoginSendsExactCommandsAndHidesThePassword) {
    test::TempDir dir;
    test::ScopedDataDir dataDir(dir.path());
    TheLog().SetFile("netlog");
    TheLog().SetThreshold(DiagLog::kMessage);

    FakeServer server;
    ScriptLogin(server);
    server.Expect("STAT").Send("+OK 2 320\r\n").Expect("QUIT").Send("+OK Logging out.\r\n");
    server.Start();
    {
        auto session = Session(server);
        EXPECT_EQ(task_.stateText, "Run over!");
        EXPECT_EQ(task_.infoText, "ok");
        ASSERT_EQ(session->ConnectPop3(), 1);
        EXPECT_TRUE(session->pop3Connected());
        EXPECT_EQ(session->ConnectPop3(), 1);  // already connected: nothing sent
        EXPECT_EQ(session->GetNumMessages(), 2);
        EXPECT_EQ(session->DisconnectPop3(), 1);
        EXPECT_FALSE(session->pop3Connected());
        EXPECT_EQ(session->DisconnectPop3(), 1);
    }
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
    EXPECT_EQ(server.received(), std::string(kLoginBytes) + "STAT\r\nQUIT\r\n");

    auto statuses = view_.statuses();
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(statuses[0], "Connect POP3 server...");
    EXPECT_EQ(statuses[1], "User USER bob");
    EXPECT_EQ(statuses[2], "password ********");
    EXPECT_EQ(view_.AllStatus().find("s3cret"), std::string::npos);

    std::string log = test::ReadFile(TheLog().filePath());
    TheLog().SetThreshold(DiagLog::kWarning);
    EXPECT_NE(log.find("CNetRP::ConnectPop3() begin"), std::string::npos);
    EXPECT_NE(log.find("CNetRP::GetNumMessages over"), std::string::npos);
    EXPECT_NE(log.find("PASS ********"), std::string::npos);
    EXPECT_EQ(log.find("s3cret"), std::string::npos);
}

TEST_F(NetRpFakeTest, RefusedLoginStepsShowTheirTexts) {
    struct Case {
        const char* name;
        std::function<void(FakeServer&)> script;
        const char* error;
        const char* sent;
    } cases[] = {
        {"greeting", [](FakeServer& s) { s.Send("-ERR go away\r\n"); }, "Server didn't connect",
         ""},
        {"user", [](FakeServer& s) { Greet(s).Expect("USER bob").Send("-ERR who?\r\n"); },
         "Bad user name", "CAPA\r\nUSER bob\r\n"},
        {"password",
         [](FakeServer& s) {
             Greet(s)
                 .Expect("USER bob")
                 .Send("+OK\r\n")
                 .Expect("PASS s3cret")
                 .Send("-ERR [AUTH] Authentication failed.\r\n");
         },
         "Invalid username/password combination", kLoginBytes},
        {"closed after greeting", [](FakeServer& s) { s.Send(kGreeting).Close(); }, "Socket Error",
         "CAPA\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingView view;
        task_.view = &view;
        FakeServer server;
        c.script(server);
        server.Start();
        auto session = Session(server);
        EXPECT_EQ(session->ConnectPop3(), 0);
        EXPECT_FALSE(session->pop3Connected());
        EXPECT_EQ(session->lastError(), c.error);
        EXPECT_EQ(view.Status(), c.error);
        EXPECT_EQ(session->ReportError(), c.error);
        EXPECT_EQ(task_.stateText, "Faile");
        EXPECT_EQ(task_.infoText, c.error);
        EXPECT_EQ(view.AllStatus().find("s3cret"), std::string::npos);
        session.reset();  // no QUIT for a session that never logged in
        server.Finish();
        EXPECT_EQ(server.received().substr(0, std::string(c.sent).size()), c.sent);
        EXPECT_EQ(server.received().find("QUIT"), std::string::npos);
    }
}

TEST_F(NetRpFakeTest, ConnectFailuresAndUnsafeCredentials) {
    // No port in the account reads as port 0.
    CNetRP session({1000ms, 1000ms});
    setinfo(&account_, kThisNode, "pop3Server", "127.0.0.1");
    session.InitialzeAccount(&account_, &task_);
    EXPECT_EQ(session.pop3Port(), 0);
    EXPECT_EQ(session.ConnectPop3(), 0);
    EXPECT_EQ(session.lastError(), "Unable to connect to server!");

    // A line break in the user name would send a command of its own: nothing is sent.
    FakeServer server;
    server.Send(kGreeting);
    server.Start();
    auto s = Session(server, {1000ms, 1000ms});
    setinfo(&account_, kThisNode, "username", "bob\r\nDELE 1");
    s->InitialzeAccount(&account_, &task_);
    EXPECT_EQ(s->ConnectPop3(), 0);
    EXPECT_EQ(s->lastError(), "Bad user name");
    s.reset();
    // The server takes one client: had the session connected, it would be that one.
    TcpSocket other;
    other.Connect("127.0.0.1", server.port());
    other.Close();
    server.Finish();
    EXPECT_EQ(server.received(), "");
}

TEST_F(NetRpFakeTest, ReplyClassification) {
    // Only "-ERR", "50x" and "40x" are refusals; other codes, 421 and 550 included, pass.
    const std::pair<const char*, int> replies[] = {
        {"+OK Marked to be deleted.", 1},
        {"-ERR Message is deleted.", 0},
        {"500 bad", 0},
        {"509 x", 0},
        {"400 x", 0},
        {"409 x", 0},
        {"421 closing", 1},
        {"451 later", 1},
        {"550 no such user", 1},
        {"+OK", 1},
    };
    FakeServer server;
    ScriptLogin(server);
    for (const auto& [reply, result] : replies) {
        server.Expect("DELE 3").Send(std::string(reply) + "\r\n");
    }
    server.Close();
    server.Start();
    auto session = Session(server);
    ASSERT_EQ(session->ConnectPop3(), 1);
    for (const auto& [reply, result] : replies) {
        SCOPED_TRACE(reply);
        view_.SetStatus("before");
        EXPECT_EQ(session->DeleteMessage(3), result);
        EXPECT_EQ(session->lastReply(), std::string(reply) + "\r\n");
        EXPECT_EQ(view_.Status(), result ? "before" : "Could not delete message");
    }
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
}

TEST_F(NetRpFakeTest, StatCounts) {
    const std::pair<const char*, int> replies[] = {
        {"+OK 0 0", 0}, {"+OK 12 34567", 12}, {"+OK  7", 7}, {"+OK 99999999999999 1", INT_MAX}};
    for (const auto& [reply, count] : replies) {
        SCOPED_TRACE(reply);
        FakeServer server;
        ScriptLogin(server);
        server.Expect("STAT").Send(std::string(reply) + "\r\n").Expect("QUIT").Send("+OK\r\n");
        server.Start();
        auto session = Session(server);
        ASSERT_EQ(session->ConnectPop3(), 1);
        EXPECT_EQ(session->GetNumMessages(), count);
        EXPECT_TRUE(session->pop3Connected());
        session.reset();
        EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
    }
    for (const char* reply : {"+OK none", "-ERR no"}) {
        SCOPED_TRACE(reply);
        FakeServer server;
        ScriptLogin(server);
        server.Expect("STAT").Send(std::string(reply) + "\r\n");
        server.Start();
        auto session = Session(server);
        ASSERT_EQ(session->ConnectPop3(), 1);
        EXPECT_EQ(session->GetNumMessages(), -1);
        // A broken session is not sent QUIT.
        EXPECT_FALSE(session->pop3Connected());
        session.reset();
        server.Finish();
        EXPECT_EQ(server.received(), std::string(kLoginBytes) + "STAT\r\n");
    }
}

TEST_F(NetRpFakeTest, ListSizeWaitsForTwoMatchingReplies) {
    FakeServer server;
    ScriptLogin(server);
    // Changing replies, one split over two packets.
    server.Expect("LIST 1").Send("+OK 1 100\r\n");
    server.Expect("LIST 1").Send("+OK 1 2").Send("00\r\n");
    server.Expect("LIST 1").Send("+OK 1 200\r\n");
    // Two replies merged into one packet: the second LIST is answered from the buffer.
    server.Expect("LIST 2").Send("+OK 2 5000\r\n+OK 2 5000\r\n").Expect("LIST 2");
    // A tiny letter: its size is taken once it was confirmed by a second pair.
    for (int i = 0; i < 4; ++i) server.Expect("LIST 3").Send("+OK 3 5\r\n");
    // No " n " in the reply: a second pair, then 0.
    for (int i = 0; i < 4; ++i) server.Expect("LIST 4").Send("+OK 4000\r\n");
    server.Expect("LIST 5").Send("-ERR There's no message 5.\r\n");
    server.Start();
    auto session = Session(server);
    ASSERT_EQ(session->ConnectPop3(), 1);
    EXPECT_EQ(session->GetMessageLen(1), 200);
    EXPECT_EQ(session->GetMessageLen(2), 5000);
    EXPECT_EQ(session->GetMessageLen(3), 5);
    EXPECT_EQ(session->GetMessageLen(4), 0);
    EXPECT_TRUE(session->pop3Connected());
    EXPECT_EQ(session->GetMessageLen(5), -1);
    EXPECT_FALSE(session->pop3Connected());
    EXPECT_EQ(session->lastError(), "RETRieve failed");
    session.reset();
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
    std::string expected = kLoginBytes;
    for (const char* c : {"LIST 1", "LIST 1", "LIST 1", "LIST 2", "LIST 2", "LIST 3", "LIST 3",
                          "LIST 3", "LIST 3", "LIST 4", "LIST 4", "LIST 4", "LIST 4", "LIST 5"}) {
        expected += std::string(c) + "\r\n";
    }
    EXPECT_EQ(server.received(), expected);
}

TEST_F(NetRpFakeTest, QueriesThatNeverSettleGiveUp) {
    FakeServer server;
    ScriptLogin(server);
    for (int i = 0; i < 2 * CNetRP::kMaxQueryPairs; ++i) {
        server.Expect("UIDL 1").Send("+OK 1 id" + std::to_string(i) + "\r\n");
    }
    server.Silence();
    server.Start();
    auto session = Session(server);
    ASSERT_EQ(session->ConnectPop3(), 1);
    std::string id = "unchanged";
    EXPECT_EQ(session->GetMessageId(1, id), CNetRP::UidResult::kBroken);
    EXPECT_EQ(id, "unchanged");
    EXPECT_FALSE(session->pop3Connected());
    EXPECT_EQ(session->lastError(), "RETRieve failed");
    session.reset();
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
}

TEST_F(NetRpFakeTest, UniqueIdsAreTakenWholeOrRefused) {
    const std::string prefix(60, 'p');
    struct Case {
        std::string reply;  // to UIDL 1, without CRLF
        CNetRP::UidResult result;
        std::string id;
    };
    const Case cases[] = {
        {"+OK 1 000000016b17276c", CNetRP::UidResult::kOk, "000000016b17276c"},
        {"+OK 1 " + prefix + "0123456789", CNetRP::UidResult::kOk, prefix + "0123456789"},
        {"+OK 1 " + prefix + "01234567890", CNetRP::UidResult::kInvalid, ""},  // 71
        {"+OK 1 ", CNetRP::UidResult::kInvalid, ""},
        {"+OK 1", CNetRP::UidResult::kInvalid, ""},
        {"+OK abc", CNetRP::UidResult::kInvalid, ""},
        {"+OK 2 abc", CNetRP::UidResult::kInvalid, ""},  // another letter's id
        {"+OK 12 abc", CNetRP::UidResult::kInvalid, ""},
        {"+OK 1 a\tb", CNetRP::UidResult::kInvalid, ""},
        {"+OK 1 a b", CNetRP::UidResult::kInvalid, ""},
        {std::string("+OK 1 a\0b", 9), CNetRP::UidResult::kInvalid, ""},
        {"+OK 1 caf\xC3\xA9", CNetRP::UidResult::kInvalid, ""},
        {"+OK 1 a\x7F", CNetRP::UidResult::kInvalid, ""},
    };
    FakeServer server;
    ScriptLogin(server);
    for (const Case& c : cases) {
        server.Expect("UIDL 1").Send(c.reply + "\r\n").Expect("UIDL 1").Send(c.reply + "\r\n");
    }
    server.Start();
    auto session = Session(server);
    ASSERT_EQ(session->ConnectPop3(), 1);
    for (const Case& c : cases) {
        std::string id = "unchanged";
        EXPECT_EQ(session->GetMessageId(1, id), c.result) << c.reply;
        EXPECT_EQ(id, c.result == CNetRP::UidResult::kOk ? c.id : "unchanged") << c.reply;
        // A refused id costs only that letter: the session goes on.
        EXPECT_TRUE(session->pop3Connected()) << c.reply;
    }
    session.reset();
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
}

TEST_F(NetRpFakeTest, FetchesLettersInPiecesAndRestoresDots) {
    FakeServer server;
    ScriptLogin(server);
    server.Expect("LIST 1").Send("+OK 1 50\r\n");
    server.Expect("RETR 1")
        .Send("+OK 60 octets\r\nReceived: fr")
        .Send("om a\r\nSubject: dots\r\n\r\n..lead")
        .Send("ing dot\r\n..\r\nx\r\n.")
        .Send("\r\n");
    // Everything in one packet.
    server.Expect("LIST 2").Send("+OK 2 20\r\n");
    server.Expect("RETR 2").Send("+OK\r\nReceived: by b\r\n\r\nhi\r\n.\r\n");
    server.Expect("QUIT").Send("+OK\r\n");
    server.Start();
    auto session = Session(server);
    ASSERT_EQ(session->ConnectPop3(), 1);
    view_.SetStatus("Receive 1/2");
    std::string text;
    EXPECT_EQ(session->GetMessage(1, text), "50");
    EXPECT_EQ(text, "Received: from a\r\nSubject: dots\r\n\r\n.leading dot\r\n.\r\nx");
    // Bytes of the letter received so far, counted on the wire, once per piece that arrived.
    // Pieces sent apart may still arrive together, so only the counts at piece boundaries are
    // known, and the last must be the whole letter.
    std::vector<std::string> counts;
    for (const std::string& status : view_.statuses()) {
        if (status.rfind("Receive 1/2(", 0) == 0) counts.push_back(status);
    }
    const std::vector<std::string> boundaries = {"Receive 1/2(41)", "Receive 1/2(58)",
                                                 "Receive 1/2(60)"};
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), "Receive 1/2(60)");
    size_t next = 0;  // counts grow: each is a later boundary than the one before
    for (const std::string& count : counts) {
        while (next < boundaries.size() && boundaries[next] != count) ++next;
        EXPECT_LT(next, boundaries.size()) << count << " is not a piece boundary in order";
        ++next;
    }
    auto progress = view_.progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
    for (int p : progress) EXPECT_LE(p, 100);  // more bytes on the wire than LIST said
    EXPECT_EQ(session->GetMessage(2, text), "20");
    EXPECT_EQ(text, "Received: by b\r\n\r\nhi");
    EXPECT_EQ(session->DisconnectPop3(), 1);
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
}

TEST_F(NetRpFakeTest, LetterWithoutTraceIsFetchedTwiceAndUnsizedShowsBytes) {
    FakeServer server;
    ScriptLogin(server);
    server.Expect("LIST 1").Send("+OK\r\n");
    server.Expect("RETR 1").Send("+OK\r\nSubject: first\r\n\r\nbody\r\n.\r\n");
    server.Expect("LIST 1").Send("+OK\r\n");
    server.Expect("RETR 1").Send("+OK\r\nSubject: second\r\n").Send("\r\nbody\r\n.\r\n");
    server.Start();
    auto session = Session(server);
    ASSERT_EQ(session->ConnectPop3(), 1);
    view_.SetStatus("Receive");
    std::string text;
    EXPECT_EQ(session->GetMessage(1, text), "0");
    EXPECT_EQ(text, "Subject: second\r\n\r\nbody");
    // Without a size only the byte count is shown; the bar jumps to 100 at the end.
    EXPECT_EQ(view_.progress(), (std::vector<int>{100, 100}));
    EXPECT_EQ(view_.Status(), "Receive(28)");
    session.reset();
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
    std::string expected = std::string(kLoginBytes) + "LIST 1\r\nRETR 1\r\nLIST 1\r\nRETR 1\r\n";
    EXPECT_EQ(server.received().substr(0, expected.size()), expected);
}

TEST_F(NetRpFakeTest, RefusedAndBrokenFetches) {
    FakeServer server;
    ScriptLogin(server);
    server.Expect("LIST 9").Send("-ERR There's no message 9.\r\n");
    server.Expect("LIST 1").Send("+OK 1 500\r\n");
    server.Expect("RETR 1").Send("-ERR Message is deleted.\r\n");
    server.Expect("LIST 2").Send("+OK 2 500\r\n");
    server.Expect("RETR 2").Send("+OK\r\nReceived: x\r\n\r\nhalf of the le").Close();
    server.Start();
    auto session = Session(server);
    ASSERT_EQ(session->ConnectPop3(), 1);
    std::string text = "old";
    EXPECT_EQ(session->GetMessage(9, text), "-1");
    EXPECT_EQ(session->GetMessage(1, text), "-1");
    EXPECT_TRUE(session->pop3Connected());
    EXPECT_EQ(session->lastError(), "RETRieve failed");
    EXPECT_EQ(session->GetMessage(2, text), "-1");
    EXPECT_EQ(text, "old");
    EXPECT_FALSE(session->pop3Connected());
    EXPECT_EQ(session->lastError(), "Socket Error");
    EXPECT_EQ(view_.Status(), "Socket Error");
    EXPECT_EQ(session->DisconnectPop3(), 1);
    session.reset();
    server.Finish();
    EXPECT_EQ(server.received().find("QUIT"), std::string::npos);
}

TEST_F(NetRpFakeTest, HeaderBlockKeepsTheStreamInStep) {
    FakeServer server;
    ScriptLogin(server);
    server.Expect("LIST 1").Send("+OK 1 4000\r\n");
    server.Expect("TOP 1 1")
        .Send("+OK\r\nReceived: x\r\nSubject: head\r\n\r\nfirst body line\r\n")
        .Send(".\r\n");
    server.Expect("DELE 1").Send("+OK Marked to be deleted.\r\n");
    server.Expect("LIST 2").Send("+OK 2 30\r\n");
    server.Expect("TOP 2 1").Send("+OK\r\nReceived: y\r\n.\r\n");
    server.Start();
    auto session = Session(server);
    ASSERT_EQ(session->ConnectPop3(), 1);
    std::string head;
    EXPECT_EQ(session->GetMessageHead(1, head), "4000");
    EXPECT_EQ(head, "Received: x\r\nSubject: head");
    // The next reply is the DELE answer, not the rest of the TOP reply.
    EXPECT_EQ(session->DeleteMessage(1), 1);
    EXPECT_EQ(session->lastReply(), "+OK Marked to be deleted.\r\n");
    EXPECT_EQ(session->GetMessageHead(2, head), "30");
    EXPECT_EQ(head, "Received: y");
    session.reset();
    EXPECT_TRUE(server.Finish()) << ::testing::PrintToString(server.problems());
}

TEST_F(NetRpFakeTest, SilentServerTimesOutAsSocketError) {
    FakeServer server;
    server.Silence();
    server.Start();
    auto session = Session(server, {1000ms, 300ms});
    EXPECT_EQ(session->ConnectPop3(), 0);
    EXPECT_EQ(session->lastError(), "Socket Error");
    EXPECT_EQ(view_.Status(), "Socket Error");
    session.reset();
    server.Finish();
}

TEST_F(NetRpFakeTest, CancelFromAnotherThreadStopsABlockedFetch) {
    FakeServer server;
    ScriptLogin(server);
    server.Expect("LIST 1").Send("+OK 1 900000\r\n");
    server.Expect("RETR 1").Send("+OK\r\nReceived: x\r\n\r\nthe first part\r\n").Silence();
    server.Start();
    auto session = Session(server, {2000ms, 20000ms});
    ASSERT_EQ(session->ConnectPop3(), 1);
    std::thread window([this] {
        std::this_thread::sleep_for(300ms);
        task_.RequestCancel();
    });
    auto start = std::chrono::steady_clock::now();
    std::string text;
    EXPECT_EQ(session->GetMessage(1, text), "-1");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    window.join();
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(session->pop3Connected());
    session.reset();
    server.Finish();

    // A cancel raised before the session was bound stops it before it connects.
    FakeServer second;
    auto late = Session(second, {2000ms, 20000ms});
    EXPECT_EQ(late->ConnectPop3(), 0);
    EXPECT_EQ(late->lastError(), "Unable to connect to server!");
}

TEST_F(NetRpFakeTest, AccountSettings) {
    baseDataStruct account;
    setinfo(&account, kThisNode, "pop3Server", "pop.example.test");
    setinfo(&account, kThisNode, "pop3Port", "110");
    setinfo(&account, kThisNode, "smtpServer", "smtp.example.test");
    setinfo(&account, kThisNode, "smtpPort", "587");
    setinfo(&account, kThisNode, "username", "ann");
    setinfo(&account, kThisNode, "SmtpUser", "ann@example.test");
    setinfo(&account, kThisNode, "SmtpPass", "pa:ss");
    setinfo(&account, kThisNode, "SmtpCheck", "True");
    task_.mailIdList = "__:A;____:B;__";
    CNetRP session;
    EXPECT_EQ(session.pop3Port(), 25);
    EXPECT_STREQ(session.errorText(0), "Server didn't connect");
    EXPECT_STREQ(session.errorText(10), "SMTP server didn't terminate session");
    session.InitialzeAccount(&account, &task_);
    EXPECT_EQ(session.pop3Server(), "pop.example.test");
    EXPECT_EQ(session.pop3Port(), 110);
    EXPECT_EQ(session.smtpServer(), "smtp.example.test");
    EXPECT_EQ(session.smtpPort(), 587);
    EXPECT_EQ(session.userName(), "ann");
    EXPECT_TRUE(session.smtpCheck());
    EXPECT_EQ(session.smtpUserLine(), "YW5uQGV4YW1wbGUudGVzdA==\r\n");
    EXPECT_EQ(session.smtpPassLine(), "cGE6c3M=\r\n");
    EXPECT_EQ(session.mailIdList(), "__:A;____:B;__");

    // Only the exact "True" turns authentication on; the credentials are then not read.
    setinfo(&account, kThisNode, "SmtpCheck", "true");
    session.InitialzeAccount(&account, &task_);
    EXPECT_FALSE(session.smtpCheck());
    EXPECT_EQ(session.smtpUserLine(), "");
    // Missing keys read as empty texts and port 0.
    baseDataStruct empty;
    session.InitialzeAccount(&empty, &task_);
    EXPECT_EQ(session.pop3Server(), "");
    EXPECT_EQ(session.smtpPort(), 0);
}

}  // namespace
}  // namespace korvo
