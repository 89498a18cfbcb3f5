// All five modes in turn on one mailbox of a real POP3 server, checked in the reopened stores
// and in what the server still holds.
#include <gtest/gtest.h>

#include "tests/support/fake_pop3.h"
#include "tests/support/mail_servers.h"
#include "tests/transport/receive_fixture.h"

namespace korvo::test {
namespace {

class ReceiveMailRealTest : public ReceiveTest {
  protected:
    void SetUp() override {
        ReceiveTest::SetUp();
        ASSERT_TRUE(servers.AddUser("ann", "pw-ann")) << servers.error();
    }
    // A letter as stored: its last line end belongs to the reply's terminator.
    static std::string Stored(const std::string& text) { return text.substr(0, text.size() - 2); }
    std::string Key(const std::string& id) { return "__:" + id + ";__"; }

    MailServers servers;
};

TEST_F(ReceiveMailRealTest, FiveModesOnASeededMailbox) {
    const std::string texts[] = {SizedLetter("first", 400), SizedLetter("second", 1500),
                                 SizedLetter("third", 500), SizedLetter("fourth", 600)};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(servers.Seed("ann", std::to_string(i + 1) + ".letter", texts[i]));
    }
    ASSERT_TRUE(servers.StartPop3()) << servers.error();
    Point("127.0.0.1", servers.pop3Port(), "ann", "pw-ann");
    KeepOnServer(false);

    ASSERT_EQ(Run(0), 1) << task->infoText << servers.Pop3Log();
    EXPECT_EQ(result, 2);
    auto preview = View(kBoxPreview);
    ASSERT_EQ(preview.size(), 4u);
    EXPECT_EQ(preview[0].text, Stored(texts[0]));
    EXPECT_EQ(preview[1].read, "0");
    EXPECT_EQ(preview[1].text, texts[1].substr(0, texts[1].find("\r\n\r\n")));
    std::vector<std::string> ids;
    for (const LetterView& l : preview) ids.push_back(l.id);
    EXPECT_EQ(servers.Letters("ann").size(), 4u);

    ASSERT_EQ(Run(2, Key(ids[1])), 1);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(servers.Letters("ann").size(), 4u);

    ASSERT_EQ(Run(3, Key(ids[2])), 1);
    EXPECT_EQ(servers.Letters("ann").size(), 3u);

    ASSERT_EQ(Run(4, Key(ids[3])), 1);
    EXPECT_EQ(servers.Letters("ann").size(), 2u);

    // The second letter is in both boxes already: it is not fetched again, and as the account
    // keeps nothing on the server it goes with the first.
    ASSERT_EQ(Run(1), 1);
    EXPECT_EQ(result, 2);
    EXPECT_EQ(servers.Letters("ann").size(), 0u);

    ReopenStores();
    auto received = View(kBoxReceive);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].id, ids[1]);
    EXPECT_EQ(received[0].text, Stored(texts[1]));
    EXPECT_EQ(received[1].id, ids[3]);
    EXPECT_EQ(received[2].id, ids[0]);
    EXPECT_EQ(received[2].text, Stored(texts[0]));
    ExpectCountersMatch(kBoxReceive);

    // The preview follows the empty server.
    ASSERT_EQ(Run(0), 1);
    EXPECT_EQ(result, 0);
    preview = View(kBoxPreview);
    ASSERT_EQ(preview.size(), 4u);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(preview[i].state & STATE_VALID, 0u) << i;
    ExpectCountersMatch(kBoxPreview);
}

}  // namespace
}  // namespace korvo::test
