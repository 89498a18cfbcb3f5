#include "content/message_composer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <regex>
#include <set>

#include "content/header_encode.h"
#include "content/mail_codec.h"
#include "content/mail_header.h"
#include "content/mime_walk.h"
#include "store/node_tree.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string_view::npos; start = end + 2) {
        lines.emplace_back(text.substr(start, end - start));
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class ComposerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        if (tz) savedTz_ = tz;
        hadTz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
        std::tm t{};
        t.tm_year = 2026 - 1900;
        t.tm_mon = 11;
        t.tm_mday = 7;
        t.tm_hour = 9;
        t.tm_min = 5;
        t.tm_sec = 3;
        now_ = timegm(&t);
        param_.From = "Ann <ann@example.test>";
        param_.To = "bob@example.test";
        param_.Subject = "Plans";
        param_.Attachments = AddSonText(root_.get(), "type =files");
        param_.Box = AddSonText(root_.get(), "type =Box ,showColumn =46947");
        param_.Letter = AddSonText(param_.Box, "");
    }
    void TearDown() override {
        if (hadTz_) {
            setenv("TZ", savedTz_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

    baseDataStruct* AddFile(const std::string& path) {
        return AddSonText(param_.Attachments, "type =file ,fileFullName =" + encodeinfo(path) +
                                                  " ,fileName =x ,icon =0");
    }
    baseDataStruct* AddCarried(const std::string& raw) {
        baseDataStruct* item = AddSonText(
            param_.Attachments, "type =file ,fileFullName =attachment ,fileName =a ,icon =0");
        setinfo(item, kThisNode, "SDATA", raw);
        return item;
    }

    std::unique_ptr<baseDataStruct> root_ = CreateRootNode();
    SendParam param_;
    std::time_t now_ = 0;
    test::TempDir dir_;
    std::string savedTz_;
    bool hadTz_ = false;
};

TEST_F(ComposerTest, MessageLineByLine) {
    param_.CC = "Cy <cy@example.test>";
    param_.Body = "Hello\r\n.\r\n.\r\nBye";
    const std::string message = ComposeMessage(param_, now_);
    const std::vector<std::string> expected = {
        "Date: Mon, 07 Dec 26 09:05:03 UTC",
        "From: Ann <ann@example.test>",
        "To: bob@example.test",
        "CC:Cy <cy@example.test>",
        "Subject: Plans",
        "MIME-Version: 1.0",
        "Content-Type: multipart/mixed; boundary=Korvo_Mail_2003_05_08",
        "X-Mailer: Korvo v1.0 ",
        "",
        "",
        "--Korvo_Mail_2003_05_08",
        "Content-Type: text/plain;",
        "Content-Transfer-Encoding: base64",
        "",
        CMailCodec::EncodeBase64("Hello\r\n .\r\n .\r\nBye"),
        "",
        "--Korvo_Mail_2003_05_08--",
    };
    EXPECT_EQ(Lines(message), expected);
    EXPECT_TRUE(message.ends_with("--\r\n"));
    // Every dot line of the form changed, the first and the last one included.
    param_.Body = ".\r\nmid\r\n.";
    textTo64(param_);
    EXPECT_EQ(param_.Body, " .\r\nmid\r\n .");
    param_.Body = "a.\r\n..\r\n";
    textTo64(param_);
    EXPECT_EQ(param_.Body, "a.\r\n..\r\n");
}

TEST_F(ComposerTest, EmptyCcEmptyBodyAndHeaderLineBreaks) {
    param_.Subject = "two\r\nBcc: eve@example.test";
    const std::string message = ComposeMessage(param_, now_);
    EXPECT_EQ(message.find("CC:"), std::string::npos);
    EXPECT_NE(message.find("\r\nTo: bob@example.test\r\nSubject: two  Bcc: eve@example.test\r\n"),
              std::string::npos);
    // The text part header runs straight into the closing delimiter.
    EXPECT_TRUE(message.ends_with(
        "Content-Transfer-Encoding: base64\r\n\r\n\r\n--Korvo_Mail_2003_05_08--\r\n"))
        << message;
}

TEST_F(ComposerTest, FilesInChunksMissingEmptyAndUnreadable) {
    std::string bytes(kAttachChunk, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    const std::string exact = dir_.path() + "exact.bin";
    WriteFile(exact, bytes);
    std::string part;
    attach_file(exact, part);
    std::vector<std::string> lines = Lines(part);
    ASSERT_EQ(lines.size(), 1 + 4 + 1 + 2000 + 1u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "--Korvo_Mail_2003_05_08");
    EXPECT_EQ(lines[2], "Content-Type: application/octet-stream; file=exact.bin");
    EXPECT_EQ(lines[3], "Content-Transfer-Encoding: base64");
    EXPECT_EQ(lines[4], "Content-Disposition: attachment; filename=exact.bin");
    EXPECT_EQ(lines[5], "");
    for (size_t i = 6; i < 2006; ++i) ASSERT_EQ(lines[i].size(), 76u) << i;
    EXPECT_EQ(lines[2006], "");
    std::string decoded;
    CMailCodec::DecodeBase64(part.substr(part.find("\r\n\r\n")), decoded);
    EXPECT_TRUE(decoded == bytes);

    // One byte more: a second chunk that ends in padding.
    WriteFile(exact, bytes + "z");
    attach_file(exact, part);
    CMailCodec::DecodeBase64(part.substr(part.find("\r\n\r\n")), decoded);
    EXPECT_TRUE(decoded == bytes + "z");
    EXPECT_TRUE(part.ends_with("==\r\n\r\n"));

    const std::string empty = dir_.path() + "empty.txt";
    WriteFile(empty, "");
    attach_file(empty, part);
    EXPECT_TRUE(part.ends_with("filename=empty.txt\r\n\r\n\r\n")) << part;

    // A directory opens but cannot be read: no part rather than a part cut short.
    const std::string folder = dir_.path() + "folder";
    ::mkdir(folder.c_str(), 0755);
    part = "old";
    attach_file(folder, part);
    EXPECT_EQ(part, "");
    attach_file(dir_.path() + "missing", part);
    EXPECT_EQ(part, "");

    // In a message: missing and unreadable items leave no trace, the others keep their order.
    const std::string small = dir_.path() + "small.txt";
    WriteFile(small, "abc");
    AddFile(dir_.path() + "missing");
    AddFile(small);
    AddFile(folder);
    AddFile(empty);
    const std::string parts = fileTo64(param_);
    EXPECT_EQ(parts,
              "\r\n--Korvo_Mail_2003_05_08\r\nContent-Type: application/octet-stream; "
              "file=small.txt\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: "
              "attachment; filename=small.txt\r\n\r\nYWJj\r\n\r\n"
              "\r\n--Korvo_Mail_2003_05_08\r\nContent-Type: application/octet-stream; "
              "file=empty.txt\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: "
              "attachment; filename=empty.txt\r\n\r\n\r\n"
              "\r\n--Korvo_Mail_2003_05_08--\r\n");
}

TEST_F(ComposerTest, CarriedOverAttachmentsJoinThisMessage) {
    const std::string own =
        "Content-Type: application/pdf; name=\"r.pdf\"\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment; filename=\"r.pdf\"\r\n\r\nJVBERi0=\r\n";
    EXPECT_EQ(CarriedOverPart("--==old==\r\n" + own), "\r\n--Korvo_Mail_2003_05_08\r\n" + own);
    // A part cut without its final line end gets one; an empty part gives nothing.
    EXPECT_EQ(CarriedOverPart("--==old==\r\n" + own.substr(0, own.size() - 2)),
              "\r\n--Korvo_Mail_2003_05_08\r\n" + own);
    EXPECT_EQ(CarriedOverPart(""), "");
    EXPECT_EQ(CarriedOverPart("--==old==\r\n"), "");

    // Forwarding a letter written here: its old delimiter is ours, so the boundary stays.
    param_.Body = "see below";
    AddCarried("--Korvo_Mail_2003_05_08\r\n" + own);
    EXPECT_EQ(ChooseBoundary(param_), kMailBoundary);
    std::string message = ComposeMessage(param_, now_);

    // The message reads back as two parts: the text and the attachment with its own header.
    auto root = CreateRootNode();
    baseDataStruct* view = AddSonText(root.get(), "type =view");
    mailProcess(message, view, true);
    ASSERT_NE(view->firstSon(), nullptr);
    EXPECT_EQ(getinfo(view->firstSon(), kThisNode, "SDATA"), "see below");
    baseDataStruct* attachment = view->firstSon()->nextBrother();
    ASSERT_NE(attachment, nullptr);
    EXPECT_EQ(getinfo(attachment, kThisNode, "fileName"), "r.pdf");
    EXPECT_EQ(attachment->nextBrother(), nullptr);

    // A carried-over part that holds our delimiter inside (an attached letter written here)
    // moves this message to another boundary.
    AddCarried(
        "--x\r\nContent-Type: message/rfc822\r\n\r\nSubject: old\r\n\r\n"
        "--Korvo_Mail_2003_05_08\r\ninner\r\n--Korvo_Mail_2003_05_08--\r\n");
    EXPECT_EQ(ChooseBoundary(param_), "Korvo_Mail_2003_05_08_1");
    message = ComposeMessage(param_, now_);
    EXPECT_NE(message.find("boundary=Korvo_Mail_2003_05_08_1\r\n"), std::string::npos);
    EXPECT_TRUE(message.ends_with("\r\n--Korvo_Mail_2003_05_08_1--\r\n"));
    auto again = CreateRootNode();
    baseDataStruct* second = AddSonText(again.get(), "type =view");
    mailProcess(message, second, true);
    int parts = 0;
    for (baseDataStruct* s = second->firstSon(); s; s = s->nextBrother()) ++parts;
    EXPECT_EQ(parts, 3);
}

TEST_F(ComposerTest, BuildLetterWritesTextAndProperties) {
    param_.Body = "hello";
    BuildLetter(param_, now_);
    const std::string sdata = getinfo(param_.Letter, kThisNode, "SDATA");
    EXPECT_TRUE(sdata.starts_with("Date: Mon, 07 Dec 26 09:05:03 UTC\r\n"));
    EXPECT_EQ(getinfo(param_.Letter, kThisNode, "mailLong"), std::to_string(sdata.size()));
    EXPECT_EQ(getinfo(param_.Letter, kThisNode, "type"), "letter");
    EXPECT_EQ(getinfo(param_.Letter, kThisNode, "read"), "1");
    EXPECT_EQ(getinfo(param_.Letter, kThisNode, "pointId"), "-1");
    EXPECT_EQ(getinfo(param_.Letter, kThisNode, "pType"), "26");  // set by mailInitProperty
    EXPECT_TRUE(teststate(param_.Letter, STATE_VALID));
    const std::string id = getinfo(param_.Letter, kThisNode, "MailId");
    EXPECT_TRUE(std::regex_match(id, std::regex("KORVO=[A-Z]{10}=20261207090503"))) << id;
    EXPECT_TRUE(param_.Letter->propertyText().starts_with(
        "type =letter ,pType =26 ,mailLong =" + std::to_string(sdata.size()) +
        " ,MailId =KORVO\\="))
        << param_.Letter->propertyText();

    // Saving again keeps the id and the point; only the text changes.
    setinfo(param_.Letter, kThisNode, "pointId", "812");
    param_.Body = "hello again";
    BuildLetter(param_, now_ + 60);
    EXPECT_EQ(getinfo(param_.Letter, kThisNode, "MailId"), id);
    EXPECT_EQ(getinfo(param_.Letter, kThisNode, "pointId"), "812");
    EXPECT_EQ(getinfo(param_.Letter, kThisNode, "mailLong"),
              std::to_string(getinfo(param_.Letter, kThisNode, "SDATA").size()));
}

TEST(MessageIdTest, IdsOfOneSecondNeverRepeat) {
    const std::time_t now = std::time(nullptr);
    std::set<std::string> ids;
    for (int i = 0; i < 20000; ++i) ids.insert(NewMessageId(now));
    EXPECT_EQ(ids.size(), 20000u);
    EXPECT_TRUE(std::regex_match(*ids.begin(), std::regex("KORVO=[A-Z]{10}=[0-9]{14}")));
}

}  // namespace
}  // namespace korvo

namespace korvo {
namespace {

// Non-ASCII texts go out as encoded words and parameters that any reader, this one included,
// reads back whole; the lines stay within their limits.
TEST_F(ComposerTest, NonAsciiTextsComeBackWhole) {
    struct Case {
        std::string subject, from, to, fileName;
    };
    const Case cases[] = {
        {"Grüße aus München", "Jörg Müller <j@example.test>", "bob@example.test", "Bericht.pdf"},
        {std::string(40, 'a') + " 中文主题 " + std::string(30, 'z') + " 😀😀😀😀😀😀😀😀",
         "\"李 伟\" <li@example.test>", "Пётр <p@example.test>, c@example.test; Ann <a@x.test>",
         "Отчёт за квартал — итоговый вариант для всех отделов 2026 (финал).txt"},
    };
    for (const Case& c : cases) {
        param_.Subject = c.subject;
        param_.From = c.from;
        param_.To = c.to;
        param_.Body = "Текст письма\r\n";
        const std::string path = dir_.path() + c.fileName;
        WriteFile(path, "bytes");
        deletesons(param_.Attachments);
        AddFile(path);
        const std::string message = ComposeMessage(param_, now_);
        const std::string header = message.substr(0, message.find("\r\n\r\n"));
        EXPECT_TRUE(IsAscii(message));
        for (const std::string& line : Lines(message)) {
            EXPECT_LE(line.size(), 78u) << line;
            for (size_t at = line.find("=?UTF-8?B?"); at != std::string::npos;
                 at = line.find("=?UTF-8?B?", at + 2))
                EXPECT_LE(line.find("?=", at + 10) + 2 - at, 75u) << line;
        }
        EXPECT_EQ(MailGetHeaderItem(header, "Subject"), c.subject);
        EXPECT_EQ(MailGetHeaderItem(header, "To"), c.to);
        const std::string from = MailGetHeaderItem(header, "From");
        EXPECT_EQ(GetAddressName(from) + " <" + GetAddressEmail(from) + ">",
                  c.from[0] == '"' ? "李 伟 <li@example.test>" : c.from);

        std::unique_ptr<baseDataStruct> root = CreateRootNode();
        baseDataStruct* letter = AddSonText(root.get(), "type =letter");
        mailProcess(message, letter, true);
        EXPECT_EQ(getinfo(letter, kThisNode, "filename"), c.fileName + ";");
        ASSERT_NE(letter->firstSon(), nullptr);
        EXPECT_EQ(getdata(letter->firstSon(), "SDATA").value_or(""), "Текст письма\r\n");
        EXPECT_NE(message.find("text/plain; charset=UTF-8"), std::string::npos);
        // The encoded-word name beside the RFC 2231 one says the same.
        MailPartHead head;
        const size_t part = message.find("Content-Type: application/octet-stream");
        mailGetContent(message.substr(part), head);
        if (!IsAscii(c.fileName)) {
            EXPECT_EQ(head.name, c.fileName);
        }
    }
}

}  // namespace
}  // namespace korvo
