// The sending half of the session against a real SMTP server that delivers into maildirs, and
// the whole way of a letter: composed, sent, delivered and fetched again by POP3.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>

#include "content/mail_codec.h"
#include "content/message_composer.h"
#include "content/mime_walk.h"
#include "store/node_tree.h"
#include "tests/support/mail_servers.h"
#include "tests/support/temp_dir.h"
#include "tests/transport/recording_view.h"
#include "transport/net_rp.h"
#include "transport/outbox.h"
#include "transport/task_record.h"

namespace korvo {
namespace {

using namespace std::chrono_literals;

class SmtpRealTest : public ::testing::Test {
  protected:
    void SetUp() override {
        task_.view = &view_;
        ASSERT_TRUE(servers_.AddUser("ann", "pw-ann")) << servers_.error();
        ASSERT_TRUE(servers_.AddUser("bob", "pw-bob")) << servers_.error();
        prepare_ = AddSonText(root_.get(), "type =links");
        send_ = AddSonText(root_.get(), "type =links");
        sendBox_ = AddSonText(root_.get(), "type =Box ,subType =send ,showColumn =46947");
    }

    void StartSmtp(bool authRequired) {
        ASSERT_TRUE(servers_.StartSmtp(authRequired)) << servers_.error();
    }

    std::unique_ptr<CNetRP> Session(bool auth, const std::string& smtpPass = "pw-ann") {
        setinfo(&account_, kThisNode, "smtpServer", "127.0.0.1");
        setinfo(&account_, kThisNode, "smtpPort", std::to_string(servers_.smtpPort()));
        setinfo(&account_, kThisNode, "pop3Server", "127.0.0.1");
        setinfo(&account_, kThisNode, "pop3Port", std::to_string(servers_.pop3Port()));
        setinfo(&account_, kThisNode, "username", "bob");
        setinfo(&account_, kThisNode, "password", "pw-bob");
        setinfo(&account_, kThisNode, "SmtpCheck", auth ? "True" : "False");
        setinfo(&account_, kThisNode, "SmtpUser", "ann");
        setinfo(&account_, kThisNode, "SmtpPass", smtpPass);
        auto session = std::make_unique<CNetRP>(SocketTimeouts{5000ms, 60000ms});
        session->InitialzeAccount(&account_, &task_);
        return session;
    }

    baseDataStruct* AddLetter(const std::string& text) {
        baseDataStruct* letter = AddSonText(prepare_, "type =letter");
        setinfo(letter, kThisNode, "SDATA", text);
        return letter;
    }

    void Send(CNetRP& session) {
        NodeOutbox outbox(prepare_, send_, sendBox_);
        session.SendMail(outbox);
    }

    // The single letter delivered to `user`, as the server stored it.
    std::string Delivered(const std::string& user) {
        const auto names = servers_.Letters(user);
        if (names.size() != 1) return "(" + std::to_string(names.size()) + " letters)";
        return test::ReadFile(servers_.Maildir(user) + "new/" + names[0]);
    }

    int Sons(const baseDataStruct* node) const {
        int n = 0;
        for (baseDataStruct* s = node->firstSon(); s; s = s->nextBrother()) ++n;
        return n;
    }

    test::MailServers servers_;
    std::unique_ptr<baseDataStruct> root_ = CreateRootNode();
    baseDataStruct* prepare_ = nullptr;
    baseDataStruct* send_ = nullptr;
    baseDataStruct* sendBox_ = nullptr;
    baseDataStruct account_;
    TaskRecord task_;
    test::RecordingView view_;
};

std::string Raw(const std::string& to, const std::string& body) {
    return "From: Ann <ann@localhost>\r\nTo: " + to + "\r\nSubject: raw\r\n\r\n" + body;
}

TEST_F(SmtpRealTest, HeloAndAuthenticatedSendsArriveUnchanged) {
    // Dot lines, 8-bit text (UTF-8 and a raw Latin-1 byte), a lone "." line.
    const std::string text =
        Raw("Bob <bob@localhost>", ".\r\n..two\r\n.one\r\nUmlaut \xc3\xbc and \xe9\r\n. end\r\n");
    AddLetter(text);
    StartSmtp(false);
    Send(*Session(false));
    EXPECT_EQ(task_.stateText, "Run over!") << task_.infoText;
    EXPECT_EQ(Delivered("bob"), text);
    EXPECT_EQ(Sons(send_), 1);

    // A server that wants authentication: EHLO and AUTH LOGIN.
    servers_.StopSmtp();
    StartSmtp(true);
    const std::string second = Raw("ann@localhost", "authenticated\r\n");
    AddLetter(second);
    auto session = Session(true);
    Send(*session);
    EXPECT_EQ(task_.stateText, "Run over!") << task_.infoText;
    EXPECT_EQ(Delivered("ann"), second);
    EXPECT_EQ(Sons(send_), 2);
    EXPECT_FALSE(teststate(prepare_->lastSon(), STATE_VALID));

    // Without authentication the same server refuses the sender: the letter stays.
    AddLetter(Raw("ann@localhost", "not authenticated\r\n"));
    Send(*Session(false));
    EXPECT_EQ(task_.stateText, "Faile");
    EXPECT_EQ(task_.infoText, "SMTP server error");
    EXPECT_TRUE(teststate(prepare_->lastSon(), STATE_VALID));
    EXPECT_EQ(Sons(send_), 2);
    EXPECT_EQ(servers_.Letters("ann").size(), 1u);
}

TEST_F(SmtpRealTest, WrongPasswordAndRefusedRecipients) {
    StartSmtp(true);
    baseDataStruct* letter = AddLetter(Raw("bob@localhost, nobody@localhost", "hi\r\n"));
    auto wrong = Session(true, "not-the-password");
    Send(*wrong);
    EXPECT_EQ(task_.stateText, "Faile");
    EXPECT_EQ(task_.infoText, "SMTP server error");
    EXPECT_EQ(wrong->lastReply().substr(0, 4), "535 ");
    EXPECT_EQ(view_.AllStatus().find("not-the-password"), std::string::npos);
    EXPECT_TRUE(teststate(letter, STATE_VALID));
    EXPECT_EQ(Sons(send_), 0);

    // Only some recipients exist: the letter goes to them and the others are reported.
    Send(*Session(true));
    EXPECT_EQ(task_.stateText, "Run over!");
    EXPECT_EQ(task_.infoText, "Refused: nobody@localhost");
    EXPECT_FALSE(teststate(letter, STATE_VALID));
    EXPECT_EQ(servers_.Letters("bob").size(), 1u);

    // No recipient exists: nothing is sent and the letter stays.
    baseDataStruct* lost = AddLetter(Raw("nobody@localhost", "hi\r\n"));
    Send(*Session(true));
    EXPECT_EQ(task_.stateText, "Faile");
    EXPECT_TRUE(teststate(lost, STATE_VALID));
    EXPECT_EQ(Sons(send_), 1);
}

TEST_F(SmtpRealTest, ComposedLetterTravelsToPop3Unchanged) {
    test::TempDir dir;
    // 20 MB of every byte value.
    std::string big(20'000'000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    const std::string bigPath = dir.path() + "big.bin";
    {
        std::ofstream out(bigPath, std::ios::binary);
        out.write(big.data(), static_cast<std::streamsize>(big.size()));
    }
    auto form = CreateRootNode();
    SendParam param;
    param.From = "Ann <ann@localhost>";
    param.To = "\"Bob, the builder\" <bob@localhost>";
    param.CC = "ann@localhost";
    param.Subject =
        "Gr\xc3\xbc\xc3\x9f"
        "e";
    param.Body = "First line\r\n.\r\n.hidden dot\r\n8-bit: \xc3\xa4\xc3\xb6\xc3\xbc\r\n";
    param.Attachments = AddSonText(form.get(), "type =files");
    AddSonText(param.Attachments,
               "type =file ,fileFullName =" + encodeinfo(bigPath) + " ,fileName =big.bin ,icon =0");
    param.Box = AddSonText(form.get(), "type =Box ,showColumn =46947");
    param.Letter = AddLetter("");
    BuildLetter(param);
    const std::string text = getinfo(param.Letter, kThisNode, "SDATA");
    ASSERT_GT(text.size(), 27'000'000u);

    StartSmtp(false);
    ASSERT_TRUE(servers_.StartPop3()) << servers_.error();
    auto session = Session(false);
    Send(*session);
    EXPECT_EQ(task_.stateText, "Run over!") << task_.infoText;
    // Delivered once to each recipient, byte for byte.
    EXPECT_TRUE(Delivered("bob") == text);
    EXPECT_TRUE(Delivered("ann") == text);

    auto pop = Session(false);
    ASSERT_EQ(pop->ConnectPop3(), 1) << pop->lastError();
    std::string fetched;
    EXPECT_NE(pop->GetMessage(1, fetched), "-1");
    // The fetch ends before the final line end of the letter.
    ASSERT_EQ(fetched.size(), text.size() - 2);
    EXPECT_TRUE(fetched == text.substr(0, text.size() - 2));
    EXPECT_EQ(pop->DisconnectPop3(), 1);

    // And it reads back: the body with its dot lines kept apart, the attachment whole.
    baseDataStruct* view = AddSonText(form.get(), "type =view");
    mailProcess(fetched, view, true);
    ASSERT_NE(view->firstSon(), nullptr);
    EXPECT_EQ(getinfo(view->firstSon(), kThisNode, "SDATA"),
              "First line\r\n .\r\n.hidden dot\r\n8-bit: \xc3\xa4\xc3\xb6\xc3\xbc\r\n");
    baseDataStruct* attachment = view->firstSon()->nextBrother();
    ASSERT_NE(attachment, nullptr);
    EXPECT_EQ(getinfo(attachment, kThisNode, "fileName"), "big.bin");
    std::string decoded;
    const std::string part = getinfo(attachment, kThisNode, "SDATA");
    CMailCodec::DecodeBase64(part.substr(part.find("\r\n\r\n")), decoded);
    EXPECT_TRUE(decoded == big);
}

}  // namespace
}  // namespace korvo
