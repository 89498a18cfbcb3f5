#include "content/letter_node.h"

#include <gtest/gtest.h>

#include <regex>

#include "store/node_tree.h"
#include "tests/content/mail_samples.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

using test::Mail;

struct Fixture {
    std::unique_ptr<baseDataStruct> root = CreateRootNode();
    baseDataStruct* box = nullptr;
    baseDataStruct* letter = nullptr;

    Fixture(std::string_view raw, const char* showColumn = "1984", int read = 0) {
        box = AddSonText(root.get(), "type =Box ,caption =Receive");
        if (showColumn) setinfo(box, kThisNode, "showColumn", showColumn);
        letter = addson(box, "type =letter ,mailLong =%d ,MailId =%s ,read =%d",
                        static_cast<int>(raw.size()), "uid-1", read);
        setinfo(letter, kThisNode, "SDATA", raw);
    }
    std::string key(const char* k) const { return getinfo(letter, kThisNode, k); }
    std::string_view block() const { return getdata(letter, "STRDATA").value_or(""); }
};

const std::string kLetter =
    Mail({"Received: from relay by mx; Tue, 6 Jan 2004 09:05:33 +0800",
          "From: \"Li Wei\" <li@example.cn>", "To: bob@example.org",
          "Subject: =?utf-8?B?SGVsbG8=?=", "Date: Fri, 31 Dec 99 23:59:59 -0500", "",
          "To: not a field", "body"});

TEST(MailInitProperty, FillsColumnsStateAndKeys) {
    Fixture f(kLetter);
    changestate(f.letter, 0, LETTER_HIDDEN | LETTER_READ | LETTER_REPLIED);
    changestate(f.letter, STATE_VALID, 0);
    mailInitProperty(f.letter, f.box);
    EXPECT_EQ(f.block().size(), kColumnBlockSize);
    EXPECT_EQ(
        ReadColumnBlock(f.block()),
        (std::vector<std::string>{"", "\"Li Wei\" <li@example.cn>", "bob@example.org", "Hello",
                                  "1999-12-31 23:59", std::to_string(kLetter.size())}));
    // Bytes after the last entry are zero.
    const std::string_view b = f.block();
    size_t used = 0;
    for (const auto& t : ReadColumnBlock(b)) used += 4 + t.size() + 1;
    EXPECT_EQ(b.substr(used).find_first_not_of('\0'), std::string_view::npos);
    EXPECT_EQ(b.substr(0, 5), std::string_view("\x01\0\0\0\0", 5));

    EXPECT_EQ(f.key("ColumnData"), "-1");
    EXPECT_EQ(f.key("pType"), "26");
    EXPECT_TRUE(
        std::regex_match(f.key("RECEIVETIME"), std::regex(R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2})")));
    const uint32_t state = getstate(f.letter);
    EXPECT_EQ(state & (LETTER_HIDDEN | LETTER_READ | LETTER_REPLIED), 0u);
    EXPECT_EQ(
        state & (STATE_VALID | STATE_MAIL_MULTIPART | STATE_MAIL_ATTACHMENT | STATE_MAIL_READ),
        STATE_VALID);
}

TEST(MailInitProperty, WritesTheLetterIntoTheMailStore) {
    test::TempDir dir;
    CBaseDataManage mail;
    ASSERT_TRUE(mail.DataOpen(dir.path() + "system.sdb", "New"));
    baseDataStruct* box = addson(mail.root(), "type =Box ,caption =Receive ,showColumn =1984");
    baseDataStruct* letter = addson(box, "type =letter ,mailLong =%d ,MailId =uid\\-7 ,read =1",
                                    static_cast<int>(kLetter.size()));
    setinfo(letter, kThisNode, "SDATA", kLetter);
    mailInitProperty(letter, box, &mail);
    const std::string point = getinfo(letter, kThisNode, "pointId");
    ASSERT_NE(point, "-1");
    EXPECT_NE(getinfo(box, kThisNode, "pointId"), "-1");  // its box was written first

    // Read back from the file: columns, raw text and the read state.
    baseDataStruct back;
    ASSERT_TRUE(
        mail.DataLoadPoint(&back, TextToLong(point), kLoadProperty | kLoadSdata | kLoadStrdata));
    EXPECT_EQ(getinfo(&back, kThisNode, "SDATA"), kLetter);
    EXPECT_EQ(getinfo(&back, kThisNode, "pType"), "26");
    EXPECT_TRUE(teststate(&back, STATE_MAIL_READ));
    ASSERT_TRUE(getdata(&back, "STRDATA"));
    EXPECT_EQ(ReadColumnBlock(*getdata(&back, "STRDATA"))[3], "Hello");
}

TEST(MailInitProperty, StateBitsFollowTheLetterAndReadKey) {
    const std::string attached =
        Mail({"Content-Type: multipart/mixed; boundary=z", "", "--z", "Content-Type: text/plain",
              "", "hi", "--z", "Content-Type: image/gif",
              "Content-Disposition: attachment; filename=a.gif", "", "R0lG", "--z--"});
    Fixture a(attached, "1984", 1);
    mailInitProperty(a.letter, a.box);
    EXPECT_EQ(getstate(a.letter) & (STATE_MAIL_MULTIPART | STATE_MAIL_ATTACHMENT | STATE_MAIL_READ),
              STATE_MAIL_MULTIPART | STATE_MAIL_ATTACHMENT | STATE_MAIL_READ);

    // Rebuilding from a letter that is only multipart clears the attachment bit again.
    setinfo(a.letter, kThisNode, "SDATA",
            Mail({"Content-Type: multipart/mixed; boundary=m", "", "--m",
                  "Content-Type: multipart/alternative; boundary=a", "", "--a",
                  "Content-Type: text/plain", "", "p", "--a", "Content-Type: text/html", "", "<p>",
                  "--a--", "--m--"}));
    mailInitProperty(a.letter, a.box);
    EXPECT_EQ(getstate(a.letter) & (STATE_MAIL_MULTIPART | STATE_MAIL_ATTACHMENT),
              STATE_MAIL_MULTIPART);

    setinfo(a.letter, kThisNode, "SDATA", kLetter);
    setinfo(a.letter, kThisNode, "read", "0");
    mailInitProperty(a.letter, a.box);
    EXPECT_EQ(getstate(a.letter) & (STATE_MAIL_MULTIPART | STATE_MAIL_ATTACHMENT | STATE_MAIL_READ),
              0u);
}

TEST(MailInitProperty, ColumnsFollowShowColumnBits) {
    Fixture subjectOnly(kLetter, "512");
    mailInitProperty(subjectOnly.letter, subjectOnly.box);
    EXPECT_EQ(ReadColumnBlock(subjectOnly.block()), (std::vector<std::string>{"", "Hello"}));

    // Absent showColumn reads as -1: every column.
    Fixture all(kLetter, nullptr);
    mailInitProperty(all.letter, all.box);
    EXPECT_EQ(ReadColumnBlock(all.block()).size(), 6u);
    mailInitProperty(all.letter, nullptr);
    EXPECT_EQ(ReadColumnBlock(all.block()).size(), 6u);
}

TEST(MailInitProperty, TextsThatDoNotFitGoToColumnData) {
    const std::string subject(600, 's');
    Fixture f(Mail({"From: a, b <x@y>", "To: t@example.org", "Subject: " + subject,
                    "Date: Tue, 6 Jan 2004 09:05:33 +0800", "", "b"}));
    mailInitProperty(f.letter, f.box);
    EXPECT_EQ(f.block().size(), kColumnBlockSize);
    EXPECT_EQ(f.block().substr(0, 4), std::string_view("\0\0\0\0", 4));
    EXPECT_TRUE(ReadColumnBlock(f.block()).empty());
    // From and to were written before the subject overflowed.
    EXPECT_EQ(f.block().substr(4, 1), std::string_view("\0", 1));
    EXPECT_EQ(f.block().substr(5, 4), std::string_view("\x0b\0\0\0", 4));
    EXPECT_EQ(f.block().substr(9, 11), std::string_view("a, b <x@y>\0", 11));
    EXPECT_EQ(f.block().substr(20, 4), std::string_view("\x0e\0\0\0", 4));
    EXPECT_EQ(f.block().substr(38).find_first_not_of('\0'), std::string_view::npos);
    // Every column reaches ColumnData, from column 1 on, escaped so a comma stays inside.
    EXPECT_EQ(f.key("ColumnData"), "1 :a\\, b <x@y> ,t@example.org ," + subject +
                                       " ,2004\\-01\\-06 09\\:05 ," + f.key("mailLong"));
}

TEST(MailInitProperty, EntryEndingExactlyAtTheBlockEndCountsAsOverflow) {
    // 5 bytes of entry 0, then 4 + 490 + 1 bytes: the offset reaches 500.
    Fixture f(Mail({"Subject: " + std::string(490, 'x'), "", "b"}), "512");
    mailInitProperty(f.letter, f.box);
    EXPECT_EQ(f.block().substr(0, 4), std::string_view("\0\0\0\0", 4));
    EXPECT_EQ(f.key("ColumnData"), "1 :" + std::string(490, 'x'));

    Fixture fits(Mail({"Subject: " + std::string(489, 'x'), "", "b"}), "512");
    mailInitProperty(fits.letter, fits.box);
    EXPECT_EQ(ReadColumnBlock(fits.block()).size(), 2u);
    EXPECT_EQ(fits.key("ColumnData"), "-1");
}

TEST(MailInitProperty, DatesAndFieldsComeFromTheHeaderOnly) {
    Fixture noDate(Mail({"Received: from a by b; Tue, 6 Jan 2004 09:05:33 +0800",
                         "Received: from c by d; Mon, 5 Jan 2004 01:02:03 +0000", "Subject: x", "",
                         "Date: Sat, 1 Jan 2000 00:00:00 +0000"}),
                   "1536");
    mailInitProperty(noDate.letter, noDate.box);
    EXPECT_EQ(ReadColumnBlock(noDate.block()),
              (std::vector<std::string>{"", "x", "2004-01-06 09:05"}));

    Fixture noTo(kLetter, "256");
    mailInitProperty(noTo.letter, noTo.box);
    EXPECT_EQ(ReadColumnBlock(noTo.block()), (std::vector<std::string>{"", "bob@example.org"}));
    Fixture bodyTo(Mail({"From: a@b", "", "To: someone in the body"}), "256");
    mailInitProperty(bodyTo.letter, bodyTo.box);
    EXPECT_EQ(ReadColumnBlock(bodyTo.block()), (std::vector<std::string>{"", ""}));

    EXPECT_EQ(LetterListDate("Received: no stamp\r\n"), "- :");
    EXPECT_EQ(LetterListDate(""), "- :");
}

TEST(MailInitProperty, ToleratesMissingNodesAndEmptyLetters) {
    mailInitProperty(nullptr, nullptr);
    Fixture empty("", "1984");
    mailInitProperty(empty.letter, empty.box);
    EXPECT_EQ(ReadColumnBlock(empty.block()).size(), 6u);
    EXPECT_EQ(empty.key("ColumnData"), "-1");
}

TEST(ReadColumnBlock, StopsAtBadLengths) {
    EXPECT_TRUE(ReadColumnBlock("").empty());
    EXPECT_TRUE(ReadColumnBlock(std::string_view("\x05\0\0\0ab", 6)).empty());
    EXPECT_TRUE(ReadColumnBlock(std::string_view("\xff\xff\xff\xff", 4)).empty());
    EXPECT_EQ(ReadColumnBlock(std::string_view("\x03\0\0\0ab\0\x09\0\0\0x", 12)),
              std::vector<std::string>{"ab"});
}

}  // namespace
}  // namespace korvo

namespace korvo {
namespace {

TEST(MailInitProperty, ColumnsHoldUtf8WithoutAStrayBlank) {
    // A GB2312 subject whose last character is cut leaves a replacement, never a blank.
    Fixture f(Mail({"From: =?koi8-r?B?8NLJ18XU?= <p@example.org>", "Subject: =?gb2312?B?1tDO?=",
                    "", "b"}),
                  "640");
    mailInitProperty(f.letter, f.box);
    EXPECT_EQ(ReadColumnBlock(f.block()),
              (std::vector<std::string>{"", "Привет <p@example.org>", "中\xEF\xBF\xBD"}));
}

}  // namespace
}  // namespace korvo
