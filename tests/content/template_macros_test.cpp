#include "content/template_macros.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "content/template_store.h"

namespace korvo {
namespace {

// A local time, whatever the zone of the test run.
std::time_t LocalTime(int year, int month, int day, int hour, int minute) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

size_t Count(std::string_view text, std::string_view what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

// Every key of the table, one per line.
std::string AllKeys() {
    std::string text;
    for (const MacroEntry& macro : kMacroTable) {
        text += macro.key;
        text += "\r\n";
    }
    return text;
}

TEST(TemplateMacrosTest, NewTemplateTextForANewLetter) {
    TemplateContext context;
    context.now = LocalTime(2004, 1, 6, 9, 5);
    context.senderAddress = "ann@example.com";
    context.to = "\"Bob Smith\" <bob@example.org>";
    const FilledTemplate filled = FillTemplate(kNewTemplateText, context);
    EXPECT_EQ(filled.text,
              "hi , Bob Smith\r\n\r\n    hello, my dear,\r\n\r\n\r\n\r\n\r\n"
              "                         ann\r\n"
              "                            1-6-2004\r\n"
              "=================================================\r\n");
    EXPECT_EQ(filled.caret, 0u);

    // No zero padding in the time either; two-digit fields stay whole.
    EXPECT_EQ(FillTemplate("@@SEND_TIME@@", context).text, "9:5");
    context.now = LocalTime(2010, 12, 31, 23, 59);
    EXPECT_EQ(FillTemplate("@@SEND_DATE@@ @@SEND_TIME@@", context).text, "12-31-2010 23:59");
}

TEST(TemplateMacrosTest, EmptyValuesLeaveTheirMacrosStanding) {
    // A new letter with nothing typed yet: only the date and time are known.
    TemplateContext context;
    context.now = LocalTime(2004, 1, 6, 9, 5);
    const std::string keys = AllKeys();
    const FilledTemplate filled = FillTemplate(keys, context);
    std::string expected;
    for (int i = 0; i < kMacroCount; ++i) {
        if (i == kMacroCursor) {
            expected += "\r\n";
        } else if (i == kMacroSendDate) {
            expected += "1-6-2004\r\n";
        } else if (i == kMacroSendTime) {
            expected += "9:5\r\n";
        } else {
            expected += std::string(kMacroTable[i].key) + "\r\n";
        }
    }
    EXPECT_EQ(filled.text, expected);

    // An address without display name fills the e-mail macro and keeps the name macro; the
    // attachment mark is never replaced.
    context.cc = "<carl@example.net>";
    context.to = "Bob <bob@example.org>";
    EXPECT_EQ(FillTemplate("@@CC@@/@@CC_EMAIL@@ @@HAVE_ATTACHMENT@@ @@RECEIVER@@", context).text,
              "@@CC@@/carl@example.net @@HAVE_ATTACHMENT@@ Bob");
    // A date that is only blanks is no date.
    context.oldDate = "  ";
    EXPECT_EQ(FillTemplate("@@OLD_MAIL_DATE@@", context).text, "@@OLD_MAIL_DATE@@");
}

TEST(TemplateMacrosTest, AnswerFillsEveryMacroOfTheAnsweredLetter) {
    TemplateContext context;
    context.now = LocalTime(2004, 1, 6, 9, 5);
    context.returnAddress = "Replies <back@example.com>";
    context.senderAddress = "Ann <ann@example.com>";
    context.to = "bob@example.org";
    context.cc = "Carl <carl@example.net>, Dora <dora@example.net>";
    context.oldDate = "Tue, 6 Jan 2004 09:05:33 +0800";
    context.oldSubject = "Plans";
    context.oldText = "line 1\r\nline 2";
    context.oldFrom = "\"Bob B.\" <bob@example.org>";
    context.oldTo = "ann@example.com";
    context.oldCc = "Eve <eve@example.net>";
    const std::string keys = AllKeys();
    EXPECT_EQ(FillTemplate(keys, context).text,
              "\r\n1-6-2004\r\n9:5\r\n@@HAVE_ATTACHMENT@@\r\n"
              "Replies\r\nback@example.com\r\nAnn\r\nann@example.com\r\n"
              "bob\r\nbob@example.org\r\n"
              "Carl\r\ncarl@example.net\r\n"  // only the first address of a list
              "2004-01-06 09:05\r\nPlans\r\nline 1\r\nline 2\r\n"
              "Bob B.\r\nbob@example.org\r\nann\r\nann@example.com\r\nEve\r\neve@example.net\r\n");
}

TEST(TemplateMacrosTest, CursorsAreRemovedAndTheCaretStandsAtTheFirst) {
    TemplateContext context;
    context.to = "Bob <bob@example.org>";
    FilledTemplate filled =
        FillTemplate("Dear @@RECEIVER@@,\r\n@@CURSOR@@\r\nend@@CURSOR@@", context);
    EXPECT_EQ(filled.text, "Dear Bob,\r\n\r\nend");
    // Counted in the filled text, after the receiver's name went in.
    EXPECT_EQ(filled.caret, 11u);

    filled = FillTemplate("@@CURSOR@@start", context);
    EXPECT_EQ(filled.text, "start");
    EXPECT_EQ(filled.caret, 0u);
    filled = FillTemplate("no cursor", context);
    EXPECT_EQ(filled.caret, 0u);
    // Back to back.
    filled = FillTemplate("ab@@CURSOR@@@@CURSOR@@cd", context);
    EXPECT_EQ(filled.text, "abcd");
    EXPECT_EQ(filled.caret, 2u);
}

TEST(TemplateMacrosTest, FilledValuesAreNeverReadAsMacros) {
    // A received letter's text and names are foreign input: keys in them stay as written and
    // cannot move the caret.
    TemplateContext context;
    context.oldText = "quoted @@CURSOR@@ and @@SENDER@@ and @@OLD_MAIL_FROM@@";
    context.oldFrom = "@@CURSOR@@ <x@example.org>";
    context.senderAddress = "ann@example.com";
    const FilledTemplate filled =
        FillTemplate("@@OLD_MAIL_FROM@@: @@OLD_MAIL_TEXT@@\r\n@@CURSOR@@-- @@SENDER@@", context);
    EXPECT_EQ(filled.text,
              "@@CURSOR@@: quoted @@CURSOR@@ and @@SENDER@@ and @@OLD_MAIL_FROM@@\r\n-- ann");
    EXPECT_EQ(filled.caret, filled.text.find("\r\n") + 2);
}

TEST(TemplateMacrosTest, MacroLikeTextAndForeignBytesAreKept) {
    TemplateContext context;
    context.to = "Bob <bob@example.org>";
    // No closing mark, a stray "@", keys with a lower-case letter, marks at the end.
    EXPECT_EQ(FillTemplate("@@RECEIVER and @@@RECEIVER@@ @@receiver@@ @@", context).text,
              "@@RECEIVER and @Bob @@receiver@@ @@");
    EXPECT_EQ(FillTemplate("@", context).text, "@");
    EXPECT_EQ(FillTemplate("", context).text, "");
    // Bytes that are not UTF-8, a zero byte and GBK text pass through untouched.
    static const char kForeign[] = "\xff\xfe\x00\xc4\xe3\xba\xc3 @@RECEIVER@@ \x80";
    static const char kWant[] = "\xff\xfe\x00\xc4\xe3\xba\xc3 Bob \x80";
    const std::string foreign(kForeign, sizeof kForeign - 1);
    const std::string want(kWant, sizeof kWant - 1);
    EXPECT_EQ(FillTemplate(foreign, context).text, want);
    // Non-UTF-8 values go in as they are.
    context.to = "\xb2\xe2\xca\xd4 <t@example.org>";
    EXPECT_EQ(FillTemplate("[@@RECEIVER@@]", context).text, "[\xb2\xe2\xca\xd4]");
}

TEST(TemplateMacrosTest, HugeTemplateIsFilledWhole) {
    TemplateContext context;
    context.to = "Bob <bob@example.org>";
    std::string text;
    const std::string piece = "@@RECEIVER@@ @@ @@CC@@ @@CURSOR@@x";
    while (text.size() < (8u << 20)) text += piece;
    const size_t pieces = text.size() / piece.size();
    const FilledTemplate filled = FillTemplate(text, context);
    EXPECT_EQ(Count(filled.text, "Bob"), pieces);
    EXPECT_EQ(Count(filled.text, "@@CC@@"), pieces);
    EXPECT_EQ(Count(filled.text, "@@CURSOR@@"), 0u);
    EXPECT_EQ(filled.caret, 4u + 3u + 7u);
    EXPECT_EQ(filled.text.size(), pieces * (piece.size() - 12 + 3 - 10));
}

TEST(TemplateMacrosTest, AddressMacrosFollowTheirLine) {
    const std::string text = "To @@RECEIVER@@ <@@RECEIVER_EMAIL@@>, cc @@CC@@ @@CURSOR@@";
    // An empty line changes nothing; a line fills its own pair only.
    EXPECT_EQ(FillAddressMacros(text, kMacroReceiver, ""), text);
    const std::string once = FillAddressMacros(text, kMacroReceiver, "Bob <bob@example.org>");
    EXPECT_EQ(once, "To Bob <bob@example.org>, cc @@CC@@ @@CURSOR@@");
    // Already replaced stays replaced.
    EXPECT_EQ(FillAddressMacros(once, kMacroReceiver, "Carl <carl@example.net>"), once);
    EXPECT_EQ(FillAddressMacros(once, kMacroCc, "carl@example.net"),
              "To Bob <bob@example.org>, cc carl @@CURSOR@@");
}

}  // namespace
}  // namespace korvo
