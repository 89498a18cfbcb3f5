// A letter with non-ASCII texts composed here, sent through the real SMTP server, delivered into
// the POP3 server's maildir and fetched back: it reads as it was written.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "content/mail_header.h"
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

TEST(CharsetRoundTrip, NonAsciiLetterComesBackFromTheRealServers) {
    test::MailServers servers;
    ASSERT_TRUE(servers.AddUser("bob", "pw-bob")) << servers.error();
    ASSERT_TRUE(servers.StartSmtp(false)) << servers.error();
    ASSERT_TRUE(servers.StartPop3()) << servers.error();

    test::TempDir dir;
    const std::string fileName = "Отчёт 第一季度 résumé.txt";
    std::ofstream(dir.path() + fileName) << "report";
    auto root = CreateRootNode();
    SendParam param;
    param.From = "Jörg Müller <ann@localhost>";
    param.To = "\"Боб Строитель\" <bob@localhost>";
    param.Subject = "Grüße aus München — 你好，世界 — Привет, как дела? " + std::string(30, '!');
    param.Body = "Текст письма: 中文 und Umlaute äöü\r\n";
    param.Attachments = AddSonText(root.get(), "type =files");
    AddSonText(param.Attachments, "type =file ,fileFullName =" + encodeinfo(dir.path() + fileName) +
                                      " ,fileName =x ,icon =0");
    baseDataStruct* prepare = AddSonText(root.get(), "type =links");
    baseDataStruct* sent = AddSonText(root.get(), "type =links");
    param.Box = AddSonText(root.get(), "type =Box ,subType =send ,showColumn =46947");
    param.Letter = AddSonText(prepare, "type =letter");
    BuildLetter(param);

    baseDataStruct account;
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"smtpServer", "127.0.0.1"},
                                     {"smtpPort", std::to_string(servers.smtpPort())},
                                     {"pop3Server", "127.0.0.1"},
                                     {"pop3Port", std::to_string(servers.pop3Port())},
                                     {"username", "bob"},
                                     {"password", "pw-bob"},
                                     {"SmtpCheck", "False"}})
        setinfo(&account, kThisNode, key, value);
    test::RecordingView view;
    TaskRecord task;
    task.view = &view;
    CNetRP session(SocketTimeouts{5000ms, 30000ms});
    session.InitialzeAccount(&account, &task);
    NodeOutbox outbox(prepare, sent, param.Box);
    session.SendMail(outbox);
    ASSERT_EQ(task.stateText, "Run over!") << task.infoText;

    CNetRP pop(SocketTimeouts{5000ms, 30000ms});
    pop.InitialzeAccount(&account, &task);
    ASSERT_EQ(pop.ConnectPop3(), 1) << pop.lastError();
    std::string fetched;
    ASSERT_NE(pop.GetMessage(1, fetched), "-1");
    pop.DisconnectPop3();

    const std::string header = fetched.substr(0, fetched.find("\r\n\r\n"));
    EXPECT_EQ(MailGetHeaderItem(header, "Subject"), param.Subject);
    EXPECT_EQ(MailGetHeaderItem(header, "From"), param.From);
    EXPECT_EQ(MailGetHeaderItem(header, "To"), "Боб Строитель <bob@localhost>");
    baseDataStruct* letter = AddSonText(root.get(), "type =letter");
    mailProcess(fetched, letter, true);
    ASSERT_NE(letter->firstSon(), nullptr);
    EXPECT_EQ(getinfo(letter->firstSon(), kThisNode, "SDATA"), param.Body);
    EXPECT_EQ(getinfo(letter, kThisNode, "filename"), fileName + ";");
}

}  // namespace
}  // namespace korvo
