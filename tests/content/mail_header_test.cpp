#include "content/mail_header.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

constexpr const char* kHeader =
    "Return-Path: <a@b>\r\n"
    "Received: from one.example by two.example; Tue, 6 Jan 2004 09:05:33 +0800\r\n"
    "Received: from zero.example\r\n\tby one.example; Mon, 5 Jan 2004 23:01:02 +0000\r\n"
    "SUBJECT: folded\r\n\tsecond   \r\n"
    "From: \"Li Wei\" <li.wei@example.cn>\r\n"
    "X-Spaced : not found\r\n"
    "To:\r\n bob@example.org\r\n";

TEST(MailGetHeaderItem, FindsFieldsByNameAndOccurrence) {
    EXPECT_EQ(MailGetHeaderItem(kHeader, "Subject"), "folded second");
    EXPECT_EQ(MailGetHeaderItem(kHeader, "subject"), "folded second");
    EXPECT_EQ(MailGetHeaderItem(kHeader, "To"), "bob@example.org");
    EXPECT_EQ(MailGetHeaderItem(kHeader, "Return-Path"), "<a@b>");  // on the first line
    EXPECT_EQ(MailGetHeaderItem(kHeader, "received", 1),
              "from zero.example by one.example; Mon, 5 Jan 2004 23:01:02 +0000");
    EXPECT_EQ(MailGetHeaderItem(kHeader, "Received", 5), "");
    EXPECT_EQ(MailGetHeaderItem(kHeader, "X-Spaced"), "");  // a space before the colon
    EXPECT_EQ(MailGetHeaderItem(kHeader, "Cc"), "");
    // The name must stand at a line start: "Path" is not found inside "Return-Path".
    EXPECT_EQ(MailGetHeaderItem(kHeader, "Path"), "");
    EXPECT_EQ(MailGetHeaderItem("", "Subject"), "");
    EXPECT_EQ(MailGetHeaderItem("Subject:", "Subject"), "");
}

TEST(MailGetHeaderItem, DecodesEncodedWordsAfterUnfolding) {
    EXPECT_EQ(MailGetHeaderItem("Subject: =?utf-8?B?aGVs?=\r\n =?utf-8?B?bG8=?=\r\n", "Subject"),
              "hello");
    EXPECT_EQ(MailGetHeaderItem("From: =?utf-8?Q?J=C3=B6rg?= <j@x>\r\n", "From"),
              "J\xc3\xb6rg <j@x>");
}

TEST(MailGetHeaderItem, SearchesTheWholeTextGiven) {
    const std::string letter = "From: a@b\r\n\r\nTo: in the body\r\n";
    EXPECT_EQ(MailGetHeaderItem(letter, "To"), "in the body");
    EXPECT_EQ(MailGetHeaderItem(letter.substr(0, letter.find("\r\n\r\n")), "To"), "");
}

TEST(MailGetHeaderItem, OddLineEndsAndBytesStayInside) {
    // Lone LF ends no field; NUL bytes are kept.
    EXPECT_EQ(MailGetHeaderItem("Subject: a\nTo: b\r\n", "Subject"), "a\nTo: b");
    EXPECT_EQ(MailGetHeaderItem(std::string("Subject: a\0b\r\n", 14), "Subject"),
              std::string("a\0b", 3));
    EXPECT_EQ(MailGetHeaderItem("Subject: x\r\n", "Subject\r\nX"), "");
    EXPECT_EQ(MailGetHeaderItem("Subject: end\r", "Subject"), "end");
    EXPECT_EQ(MailGetHeaderItem("Subject: folded at end\r\n ", "Subject"), "folded at end");
}

TEST(MailGetHeaderParam, ValuesWithQuotesBracketsAndSeparators) {
    EXPECT_EQ(mailGetHeaderParam("multipart/mixed; boundary=\"abc\"", "boundary="), "abc");
    EXPECT_EQ(mailGetHeaderParam("multipart/mixed; BOUNDARY=abc; charset=x", "boundary="), "abc");
    EXPECT_EQ(mailGetHeaderParam("multipart/mixed; boundary=abc", "boundary="), "abc");
    EXPECT_EQ(mailGetHeaderParam("x; boundary=abc\r\nnext", "boundary="), "abc");
    EXPECT_EQ(mailGetHeaderParam("Content-ID: <img1@x>\r\n", "content-id:"), " <img1@x>");
    EXPECT_EQ(mailGetHeaderParam("Content-ID:<img1@x>\r\n", "content-id:"), "img1@x");
    EXPECT_EQ(mailGetHeaderParam("a; boundary= abc", "boundary="), " abc");
    EXPECT_EQ(mailGetHeaderParam("a; boundary=\"", "boundary="), "");
    EXPECT_EQ(mailGetHeaderParam("a; boundary=", "boundary="), "");
    EXPECT_EQ(mailGetHeaderParam("a; other=1", "boundary="), "");
    // "name=" also matches inside "filename=": the first occurrence counts.
    EXPECT_EQ(mailGetHeaderParam("filename=a.txt; name=b.txt", "name="), "a.txt");
}

TEST(StrGetDate, NormalisesMailDates) {
    const std::pair<const char*, const char*> cases[] = {
        {"Tue, 6 Jan 2004 09:05:33 +0800", "2004-01-06 09:05"},
        {"6 Jan 04 9:05:33 GMT", "2004-01-06 09:05"},
        {"Fri, 31 Dec 99 23:59:59 -0500", "1999-12-31 23:59"},
        {"Fri, 31 Dec 80 23:59:59 -0500", "1980-12-31 23:59"},
        {"Tue, 6 jan 2004 09:05:33 +0800", "2004-jan06 09:05"},
        {"", "- :"},
        {"Tue,  6   Jan   2004   9:5:33  (CST)", "2004-01-06 09:05"},
        {"Wed, 7 Jan 2004 09:05 +0800", "2004-01-07 09:05"},  // no seconds
        {"Wed, 7 Jan 2004", "2004-01-07 :"},
        {"garbage", "-garbage :"},
    };
    for (const auto& [in, want] : cases) {
        std::string date = in;
        StrGetDate(date);
        EXPECT_EQ(date, want) << in;
    }
}

TEST(Addresses, NameAndEmailOfCommonForms) {
    EXPECT_EQ(GetAddressName("\"Li Wei\" <li.wei@example.cn>"), "Li Wei");
    EXPECT_EQ(GetAddressEmail("\"Li Wei\" <li.wei@example.cn>"), "li.wei@example.cn");
    EXPECT_EQ(GetAddressName("bob@example.org"), "bob");
    EXPECT_EQ(GetAddressEmail("  bob@example.org "), "bob@example.org");
    EXPECT_EQ(GetAddressName("<bob@example.org>"), "");
    EXPECT_EQ(GetAddressName("Ann <a@x>, Bob <b@y>"), "Ann");
    EXPECT_EQ(GetAddressEmail("Ann <a@x>, Bob <b@y>"), "a@x");
    EXPECT_EQ(GetAddressName("undisclosed-recipients:;"), "undisclosed-recipients:;");
    // A ">" before the "<" gives no address rather than a wild cut.
    EXPECT_EQ(GetAddressEmail("a>b<c"), "");
    EXPECT_EQ(GetAddressEmail(""), "");
    EXPECT_EQ(GetAddressName(""), "");
}

}  // namespace
}  // namespace korvo
