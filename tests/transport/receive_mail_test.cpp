// Receive and preview passes against an in-memory POP3 server: what each mode fetches, stores
// and deletes, how the preview box follows the server, and what a refused, broken or
// cancelled exchange leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/support/fake_pop3.h"
#include "tests/transport/receive_fixture.h"
#include "transport/mail_id_index.h"

namespace korvo::test {
namespace {

using ServerLetters = std::vector<FakePop3::Letter>;

FakePop3::Letter L(const std::string& uid, size_t size = 300) {
    return {uid, SizedLetter("about " + uid, size)};
}

// A letter as stored: its last line end belongs to the reply's terminator.
std::string Stored(const std::string& text) {
    return text.substr(0, text.size() - 2);
}

bool Sent(const FakePop3& server, const std::string& command) {
    auto c = server.commands();
    return std::find(c.begin(), c.end(), command) != c.end();
}

std::vector<std::string> Ids(const std::vector<LetterView>& letters) {
    std::vector<std::string> ids;
    for (const LetterView& l : letters) ids.push_back(l.id);
    return ids;
}

class ReceiveMailTest : public ReceiveTest {
  protected:
    void SetUp() override {
        ReceiveTest::SetUp();
        Point("127.0.0.1", server.port(), "bob", "s3cret");
        KeepOnServer(false);
    }
    void Keep(int subKind, const std::string& id) {
        baseDataStruct* letter = Find(subKind, id);
        ASSERT_NE(letter, nullptr) << id;
        changestate(letter, 0, LETTER_KEEP);
        mail().DataSaveList(letter, 1);
    }

    FakePop3 server;
};

constexpr uint32_t kShown = STATE_VALID | LETTER_READ;

TEST_F(ReceiveMailTest, PreviewFollowsTheServerAndFetchesOnlyUnknownLetters) {
    server.SetLetters({L("u2")});
    ASSERT_EQ(Run(0), 1);
    EXPECT_EQ(result, 2);

    // Three letters, one already previewed: two fetched, the known one swept and revived.
    server.SetLetters({L("u1"), L("u2"), L("u3")});
    server.ClearCommands();
    ASSERT_EQ(Run(0), 1);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(server.Count("RETR"), 2);
    EXPECT_FALSE(Sent(server, "RETR 2"));
    EXPECT_EQ(server.Count("DELE"), 0);
    auto preview = View(kBoxPreview);
    EXPECT_EQ(Ids(preview), (std::vector<std::string>{"u2", "u1", "u3"}));
    for (const LetterView& l : preview) EXPECT_EQ(l.state, kShown) << l.id;
    EXPECT_EQ(preview[1].text, Stored(server.letters()[0].text));
    EXPECT_EQ(preview[1].read, "1");
    EXPECT_GE(listener.shown[Find(kBoxPreview, "u2")], 2);  // swept row, then revived row
    EXPECT_EQ(View(kBoxReceive).size(), 0u);
    EXPECT_NE(view.AllStatus().find("Receive 2/3 Receive\n"), std::string::npos);
    EXPECT_NE(view.AllStatus().find("Have 3 letters\n"), std::string::npos);
    ExpectCountersMatch(kBoxPreview);

    // u2 left the server: it ends deleted (and read); a kept letter is never swept.
    Keep(kBoxPreview, "u3");
    server.SetLetters({L("u1")});
    server.ClearCommands();
    ASSERT_EQ(Run(0), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(server.Count("RETR") + server.Count("TOP"), 0);
    ReopenStores();
    preview = View(kBoxPreview);
    ASSERT_EQ(preview.size(), 3u);
    EXPECT_EQ(preview[0].state, LETTER_READ);
    EXPECT_EQ(preview[1].state, kShown);
    EXPECT_EQ(preview[2].state, kShown | LETTER_KEEP);
    ExpectCountersMatch(kBoxPreview);
}

TEST_F(ReceiveMailTest, PreviewTakesOnlyTheHeaderOfLettersAbove1024Bytes) {
    server.SetLetters({L("small", 1024), L("large", 1025)});
    ASSERT_EQ(server.letters()[1].text.size(), 1025u);
    ASSERT_EQ(Run(0), 1);
    EXPECT_TRUE(Sent(server, "RETR 1"));
    EXPECT_TRUE(Sent(server, "TOP 2 1"));
    EXPECT_FALSE(Sent(server, "RETR 2"));
    auto preview = View(kBoxPreview);
    ASSERT_EQ(preview.size(), 2u);
    const std::string large = server.letters()[1].text;
    EXPECT_EQ(preview[0].read, "1");
    EXPECT_EQ(preview[0].text, Stored(server.letters()[0].text));
    EXPECT_EQ(preview[1].read, "0");
    EXPECT_EQ(preview[1].text, large.substr(0, large.find("\r\n\r\n")));
    EXPECT_EQ(Get(Find(kBoxPreview, "large"), "mailLong"), "1025");
    // The columns come from the header block alone.
    EXPECT_EQ(ReadColumnBlock(*getdata(Find(kBoxPreview, "large"), "STRDATA"))[2], "about large");
}

TEST_F(ReceiveMailTest, ReceiveDeletesStoredLettersUnlessKept) {
    // An id with characters that the property text escapes must still be recognised.
    server.SetLetters({L("u1"), L("x,y=-1"), L("u3")});
    ASSERT_EQ(Run(0), 1);
    EXPECT_TRUE(listener.arrived.empty()) << "a preview brings no new mail";
    Keep(kBoxPreview, "x,y=-1");
    server.ClearCommands();

    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 2);
    // Each new letter is announced once, with its sender.
    ASSERT_EQ(listener.arrived.size(), 3u);
    for (const auto& [box, sender] : listener.arrived) {
        EXPECT_EQ(box, sys().DataGetSysPoint(account, kKindBox, kBoxReceive));
        EXPECT_EQ(sender, "a");
    }
    EXPECT_EQ(server.Count("RETR"), 3);
    EXPECT_TRUE(Sent(server, "DELE 1"));
    EXPECT_FALSE(Sent(server, "DELE 2"));
    EXPECT_TRUE(Sent(server, "DELE 3"));
    EXPECT_EQ(server.Uids(), std::vector<std::string>{"x,y=-1"});
    auto received = View(kBoxReceive);
    EXPECT_EQ(Ids(received), (std::vector<std::string>{"u1", "x,y=-1", "u3"}));
    for (const LetterView& l : received) EXPECT_EQ(l.state, STATE_VALID) << l.id;  // unread
    EXPECT_EQ(Ids(View(kBoxPreview)), Ids(received));  // no second preview letter
    ExpectCountersMatch(kBoxReceive);
    ExpectCountersMatch(kBoxPreview);

    // The kept letter is in both boxes: nothing to fetch, nothing to delete.
    server.ClearCommands();
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(server.Count("RETR") + server.Count("DELE"), 0);
    EXPECT_TRUE(listener.arrived.empty());
    ReopenStores();
    EXPECT_EQ(View(kBoxReceive).size(), 3u);
    EXPECT_EQ(Get(Find(kBoxReceive, "u3"), "mailLong"),
              std::to_string(SizedLetter("about u3", 300).size()));
}

TEST_F(ReceiveMailTest, KeepAllReceivesEverythingAndDeletesNothing) {
    KeepOnServer(true);
    server.SetLetters({L("u1"), L("u2")});
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(View(kBoxReceive).size(), 2u);
    EXPECT_EQ(server.Count("DELE"), 0);
    EXPECT_EQ(server.Uids().size(), 2u);
    server.ClearCommands();
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(server.Count("RETR"), 0);
    EXPECT_EQ(View(kBoxReceive).size(), 2u);

    // Without keeping, letters received before leave the server without being fetched again
    // (as after a pass that was killed before its QUIT).
    KeepOnServer(false);
    server.ClearCommands();
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(server.Count("RETR"), 0);
    EXPECT_EQ(server.Count("DELE"), 2);
    EXPECT_TRUE(server.Uids().empty());
    EXPECT_EQ(View(kBoxReceive).size(), 2u);
}

TEST_F(ReceiveMailTest, ReceivedLetterMissingFromPreviewIsMirroredWithoutFetching) {
    KeepOnServer(true);
    server.SetLetters({L("u1")});
    ASSERT_EQ(Run(1), 1);
    mail().DataDeletePoint(Find(kBoxPreview, "u1"), 0);
    setinfo(Box(kBoxPreview), kThisNode, "ValidateItemSum", "0");
    KeepOnServer(false);
    server.ClearCommands();
    const std::string text = server.letters()[0].text;

    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(server.Count("RETR"), 0);
    EXPECT_EQ(server.Count("DELE"), 1);  // it is stored, and the account keeps nothing
    ReopenStores();
    auto preview = View(kBoxPreview);
    ASSERT_EQ(preview.size(), 1u);
    EXPECT_EQ(preview[0].state, kShown);
    EXPECT_EQ(preview[0].text, Stored(text));
    EXPECT_NE(Get(Find(kBoxPreview, "u1"), "pointId"), Get(Find(kBoxReceive, "u1"), "pointId"));
    EXPECT_EQ(View(kBoxReceive).size(), 1u);
    ExpectCountersMatch(kBoxPreview);
}

TEST_F(ReceiveMailTest, ReceivedLetterHeldInPartIsFetchedAgainIntoTheSameNode) {
    KeepOnServer(true);
    server.SetLetters({L("u1")});
    ASSERT_EQ(Run(1), 1);
    baseDataStruct* partial = Find(kBoxReceive, "u1");
    ASSERT_NE(partial, nullptr);
    setinfo(partial, kThisNode, "read", "0");
    setinfo(partial, kThisNode, "SDATA", "Subject: about u1");
    mail().DataSavePoint(partial);
    server.ClearCommands();

    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(server.Count("RETR"), 1);
    EXPECT_TRUE(listener.arrived.empty()) << "a letter completed in place is not new";
    ReopenStores();
    auto received = View(kBoxReceive);
    ASSERT_EQ(received.size(), 1u);  // refreshed in place, never a second letter of one id
    EXPECT_EQ(received[0].text, Stored(server.letters()[0].text));
    ExpectCountersMatch(kBoxReceive);
}

TEST_F(ReceiveMailTest, ListModesActOnlyOnListedLettersAndStopWhenTheListIsDone) {
    server.SetLetters({L("u1"), L("u2"), L("u3"), L("u4")});
    ASSERT_EQ(Run(0), 1);

    // Without a list the list modes do nothing at all.
    server.ClearCommands();
    ASSERT_EQ(Run(3, "-1"), 1);
    EXPECT_EQ(server.Count("UIDL") + server.Count("DELE"), 0);

    // Receive list: the listed letter only, nothing deleted, the walk ends at it.
    server.ClearCommands();
    ASSERT_EQ(Run(2, "__:u2;__"), 1);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(server.Count("RETR"), 1);
    EXPECT_FALSE(Sent(server, "UIDL 3"));
    EXPECT_EQ(server.Count("DELE"), 0);
    EXPECT_EQ(Ids(View(kBoxReceive)), std::vector<std::string>{"u2"});

    // Receiving it again reuses the received letter.
    ASSERT_EQ(Run(2, "__:u2;__"), 1);
    EXPECT_EQ(Ids(View(kBoxReceive)), std::vector<std::string>{"u2"});
    EXPECT_EQ(View(kBoxReceive)[0].state, STATE_VALID);

    // Delete with ids no longer on the server: nothing deleted.
    server.ClearCommands();
    ASSERT_EQ(Run(3, "__:gone;__"), 1);
    EXPECT_EQ(server.Count("DELE"), 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(server.Uids().size(), 4u);

    // Delete: the server letter goes, its preview letter is marked deleted.
    server.ClearCommands();
    ASSERT_EQ(Run(3, "__:u3;__"), 1);
    EXPECT_TRUE(Sent(server, "DELE 3"));
    EXPECT_FALSE(Sent(server, "UIDL 4"));
    EXPECT_EQ(server.Uids(), (std::vector<std::string>{"u1", "u2", "u4"}));
    EXPECT_EQ(getstate(Find(kBoxPreview, "u3")) & STATE_VALID, 0u);

    // Receive and delete; a kept letter is received but stays on the server; a letter not
    // previewed before gets a preview letter that is marked deleted with the server's.
    Keep(kBoxPreview, "u4");
    server.SetLetters({L("u1"), L("u2"), L("u4"), L("u5")});
    server.ClearCommands();
    ASSERT_EQ(Run(4, "__:u1;____:u4;____:u5;__"), 1);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(server.Count("RETR"), 3);
    EXPECT_TRUE(Sent(server, "DELE 1"));
    EXPECT_FALSE(Sent(server, "DELE 3"));
    EXPECT_TRUE(Sent(server, "DELE 4"));
    EXPECT_EQ(server.Uids(), (std::vector<std::string>{"u2", "u4"}));
    EXPECT_EQ(Ids(View(kBoxReceive)), (std::vector<std::string>{"u2", "u1", "u4", "u5"}));
    EXPECT_EQ(getstate(Find(kBoxPreview, "u1")) & STATE_VALID, 0u);
    EXPECT_NE(getstate(Find(kBoxPreview, "u4")) & STATE_VALID, 0u);
    EXPECT_EQ(getstate(Find(kBoxPreview, "u5")) & STATE_VALID, 0u);
    ExpectCountersMatch(kBoxPreview);
    ExpectCountersMatch(kBoxReceive);
}

TEST_F(ReceiveMailTest, TaskResultSaysWhetherAnythingWasFetched) {
    server.SetLetters({});
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(listener.tray, std::vector<int>{1});
    EXPECT_TRUE(listener.flagged.empty());

    ServerLetters twelve;
    for (int i = 1; i <= 12; ++i) twelve.push_back(L("m" + std::to_string(i)));
    server.SetLetters(twelve);
    KeepOnServer(true);
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 2);
    EXPECT_NE(view.AllStatus().find("Receive 03/12 Receive\n"), std::string::npos);
    EXPECT_EQ(
        (std::vector<int>{listener.tray[0], listener.tray[1], listener.tray[2], listener.tray[3]}),
        (std::vector<int>{1, 2, 3, 4}));
    ASSERT_EQ(listener.flagged.size(), 1u);
    EXPECT_EQ(listener.flagged[0], Box(kBoxReceive));

    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(task->stateText, "Run over!");
}

TEST_F(ReceiveMailTest, RefusedFetchSkipsTheLetterWithoutDeletingIt) {
    server.SetLetters({L("u1"), L("u2"), L("u3")});
    server.Refuse("RETR 2");
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(Ids(View(kBoxReceive)), (std::vector<std::string>{"u1", "u3"}));
    EXPECT_EQ(Ids(View(kBoxPreview)), (std::vector<std::string>{"u1", "u3"}));
    EXPECT_FALSE(Sent(server, "DELE 2"));
    EXPECT_EQ(server.Uids(), std::vector<std::string>{"u2"});
    // u3 carries its own text, not the one of a letter before it.
    EXPECT_EQ(View(kBoxReceive)[1].text, Stored(SizedLetter("about u3", 300)));
}

TEST_F(ReceiveMailTest, LetterThatCannotBeStoredStaysOnTheServer) {
    server.SetLetters({L("u1")});
    server.OnCommand([this](const std::string& command) {
        if (command != "RETR 1") return;
        std::lock_guard lock(modelLock);
        mail().file().Close();
    });
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(server.Count("DELE"), 0);
    EXPECT_EQ(server.Uids(), std::vector<std::string>{"u1"});
    EXPECT_EQ(Letters(kBoxReceive)->firstSon(), nullptr);
}

TEST_F(ReceiveMailTest, BrokenConnectionKeepsWhatWasStoredAndReportsTheFailure) {
    server.SetLetters({L("u3")});
    ASSERT_EQ(Run(0), 1);
    server.SetLetters({L("u1"), L("u2"), L("u3")});
    server.DropAt("RETR 2");
    server.ClearCommands();

    ASSERT_EQ(Run(0), 1);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(task->stateText, "Faile");
    EXPECT_EQ(task->infoText, "Socket Error");
    EXPECT_EQ(server.Count("QUIT"), 0);
    ReopenStores();
    auto preview = View(kBoxPreview);
    EXPECT_EQ(Ids(preview), (std::vector<std::string>{"u3", "u1"}));
    // The walk never reached u3: it is not taken for gone from the server.
    EXPECT_EQ(preview[0].state, kShown);
    ExpectCountersMatch(kBoxPreview);
}

TEST_F(ReceiveMailTest, RefusedCountLeavesThePreviewBoxAsItWas) {
    server.SetLetters({L("u1"), L("u2")});
    ASSERT_EQ(Run(0), 1);
    server.Refuse("STAT");
    ASSERT_EQ(Run(0), 1);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(task->stateText, "Faile");
    EXPECT_EQ(task->infoText, "STATus couldn't be retrieved");
    for (const LetterView& l : View(kBoxPreview)) EXPECT_EQ(l.state, kShown) << l.id;
    ExpectCountersMatch(kBoxPreview);
}

TEST_F(ReceiveMailTest, CancelDuringALetterDropsThatLetterAndEndsTheWalk) {
    server.SetLetters({L("u1"), L("u2"), L("u3")});
    server.OnCommand([this](const std::string& command) {
        if (command == "RETR 2") task->RequestCancel();
    });
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(Ids(View(kBoxReceive)), std::vector<std::string>{"u1"});
    EXPECT_EQ(Ids(View(kBoxPreview)), std::vector<std::string>{"u1"});
    EXPECT_FALSE(Sent(server, "DELE 2"));
    EXPECT_FALSE(Sent(server, "UIDL 3"));
    EXPECT_EQ(task->stateText, "Run over!");
}

TEST_F(ReceiveMailTest, FailedLoginTouchesNoBox) {
    server.SetLetters({L("u1")});
    ASSERT_EQ(Run(0), 1);
    const auto before = View(kBoxPreview);
    Point("127.0.0.1", server.port(), "bob", "wrong");
    server.SetLetters({});
    EXPECT_EQ(Run(0), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(task->stateText, "Faile");
    EXPECT_EQ(task->infoText, "Invalid username/password combination");
    EXPECT_EQ(view.statuses().back(), "Invalid username/password combination");
    EXPECT_EQ(listener.tray, (std::vector<int>{1, -1}));
    EXPECT_EQ(View(kBoxPreview), before);
    EXPECT_TRUE(listener.shown.empty());
}

// Pipelining changes when commands travel, never which: every server shape gets the same
// dialogue and the same letters, in fewer round trips when the server pipelines.
TEST_F(ReceiveMailTest, PipelinedSessionsSendTheSameCommandsInFewerRoundTrips) {
    struct Case {
        const char* name;
        std::vector<std::string> capabilities;
        size_t split;
    } cases[] = {
        {"no CAPA", {}, 0},
        {"CAPA without PIPELINING", {"TOP", "UIDL"}, 0},
        {"pipelining", {"UIDL", "PIPELINING"}, 0},
        {"pipelining, replies byte by byte", {"PIPELINING"}, 1},
        {"pipelining, replies in 7-byte pieces", {"pipelining"}, 7},
    };
    std::vector<std::string> plainDialogue;
    int plainTurns = 0;
    int caseNumber = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++caseNumber;
        ServerLetters letters;
        for (int i = 1; i <= 6; ++i) {
            letters.push_back(L("c" + std::to_string(caseNumber) + "-" + std::to_string(i)));
        }
        server.SetLetters(letters);
        server.SetCapabilities(c.capabilities);
        server.SplitReplies(c.split);
        server.ClearCommands();
        const int turnsBefore = server.Turns();

        ASSERT_EQ(Run(1), 1);
        EXPECT_EQ(result, 2);
        EXPECT_TRUE(server.Uids().empty());
        ReopenStores();
        std::map<std::string, std::string> texts;
        for (const LetterView& l : View(kBoxReceive)) texts[l.id] = l.text;
        for (const auto& letter : letters) EXPECT_EQ(texts[letter.uid], Stored(letter.text));
        const int turns = server.Turns() - turnsBefore;
        // Deletes go out when their group is synced, which depends on time as well.
        std::vector<std::string> dialogue;
        int deletes = 0;
        for (const std::string& command : server.commands()) {
            if (command.compare(0, 5, "DELE ") == 0) {
                EXPECT_EQ(command, "DELE " + std::to_string(++deletes));
            } else {
                dialogue.push_back(command);
            }
        }
        EXPECT_EQ(deletes, 6);
        if (plainDialogue.empty()) {
            plainDialogue = dialogue;
            plainTurns = turns;
        } else {
            EXPECT_EQ(dialogue, plainDialogue);
        }
        if (c.capabilities.size() == 1) {
            EXPECT_LE(turns * 2, plainTurns) << turns;
        }
    }
}

// A command that fails in the middle of a pipelined run: what came before it is stored and
// deleted, the failed letter stays on the server, a broken connection deletes nothing.
TEST_F(ReceiveMailTest, FailureInAPipelinedRunLosesNothing) {
    struct Case {
        const char* name;
        bool drop;
        std::vector<std::string> stored;
        std::vector<std::string> leftOnServer;
    } cases[] = {
        {"refused", false, {"r1", "r2", "r4", "r5"}, {"r3"}},
        {"dropped", true, {"d1", "d2"}, {"d1", "d2", "d3", "d4", "d5"}},
    };
    server.SetCapabilities({"PIPELINING"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string p(1, c.name[0]);
        server.SetLetters({L(p + "1"), L(p + "2"), L(p + "3"), L(p + "4"), L(p + "5")});
        if (c.drop) {
            server.DropAt("RETR 3");
        } else {
            server.Refuse("RETR 3");
        }
        ASSERT_EQ(Run(1), 1);
        EXPECT_EQ(server.Uids(), c.leftOnServer);
        ReopenStores();
        std::vector<std::string> stored;
        for (const LetterView& l : View(kBoxReceive)) {
            if (l.id[0] == c.name[0]) stored.push_back(l.id);
        }
        EXPECT_EQ(stored, c.stored);
    }
}

// The next letter is matched while the one before is stored: a server that lists one id twice
// in a row still leaves one letter of it in the receive box, as an unpipelined session does.
TEST_F(ReceiveMailTest, RepeatedIdsLeaveOneLetterWithOrWithoutPipelining) {
    std::vector<std::string> plain;
    for (bool pipelining : {false, true}) {
        SCOPED_TRACE(pipelining ? "pipelining" : "no pipelining");
        const std::string p = pipelining ? "p" : "u";
        server.SetCapabilities(pipelining ? std::vector<std::string>{"PIPELINING"}
                                          : std::vector<std::string>{});
        server.SetLetters({L(p + "1"), L(p + "dup", 400), L(p + "dup", 500), L(p + "4")});
        ASSERT_EQ(Run(1), 1);
        ReopenStores();
        std::vector<std::string> ids;
        for (const LetterView& l : View(kBoxReceive)) {
            if (l.id[0] == p[0]) ids.push_back(l.id.substr(1));
        }
        std::sort(ids.begin(), ids.end());
        EXPECT_EQ(ids, (std::vector<std::string>{"1", "4", "dup"}));
        if (plain.empty()) {
            plain = server.commands();
        } else {
            EXPECT_EQ(server.commands(), plain);
        }
        server.ClearCommands();
    }
}

// Replies written ahead and not asked for are read past, a whole letter included, and the
// session stays in step with the server.
TEST(PipelinedSessionTest, RepliesWrittenAheadAndNotAskedForAreReadPast) {
    FakePop3 server;
    server.SetLetters({L("u1", 4000), L("u2")});
    server.SetCapabilities({"PIPELINING"});
    baseDataStruct account;
    setinfo(&account, kThisNode, "pop3Server", "127.0.0.1");
    setinfo(&account, kThisNode, "pop3Port", std::to_string(server.port()));
    setinfo(&account, kThisNode, "pop3Security", "none");
    setinfo(&account, kThisNode, "username", "bob");
    setinfo(&account, kThisNode, "password", "s3cret");
    TaskRecord task;
    CNetRP session;
    session.InitialzeAccount(&account, &task);
    ASSERT_EQ(session.ConnectPop3(), 1);
    ASSERT_TRUE(session.pipelining());
    session.WriteAheadMessage(1, true);  // LIST 1 three times and RETR 1, never asked for
    EXPECT_EQ(session.GetNumMessages(), 2);
    std::string id;
    EXPECT_EQ(session.GetMessageId(2, id), CNetRP::UidResult::kOk);
    EXPECT_EQ(id, "u2");
    EXPECT_EQ(session.DisconnectPop3(), 1);
    EXPECT_EQ(server.Count("RETR"), 1);
}

TEST(MailIdIndexTest, FirstLetterOfAnIdWinsAndTheNextTakesOverOnErase) {
    auto root = CreateRootNode();
    baseDataStruct* a = addson(root.get(), "%s", "type =letter ,MailId =same");
    baseDataStruct* b = addson(root.get(), "%s", "type =letter ,MailId =same");
    addson(root.get(), "%s", "type =letter");
    MailIdIndex index;
    index.Build(root.get());
    EXPECT_EQ(index.size(), 1u);
    EXPECT_EQ(index.Find("same"), a);
    EXPECT_EQ(index.Find(""), nullptr);
    baseDataStruct* c = addson(root.get(), "%s", "type =letter ,MailId =other");
    index.Insert(c);
    EXPECT_EQ(index.Find("other"), c);
    index.Erase(a);
    deletepoint(a);
    EXPECT_EQ(index.Find("same"), b);

    // Counters follow the change of bits and never fall below 0.
    baseDataStruct* box = addson(root.get(), "%s", "type =Box ,DeleteItemSum =0");
    EXPECT_TRUE(AdjustBoxCounters(box, true, STATE_VALID, LETTER_READ));
    EXPECT_EQ(getinfo(box, kThisNode, "ValidateItemSum"), "0");
    EXPECT_EQ(getinfo(box, kThisNode, "DeleteItemSum"), "1");
    EXPECT_EQ(getinfo(box, kThisNode, "UnreadItemSum"), "0");
    EXPECT_FALSE(AdjustBoxCounters(box, true, LETTER_READ, LETTER_READ));
}

}  // namespace
}  // namespace korvo::test
