#include "content/mail_codec.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <random>

#include "tests/support/message_recorder.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

TEST(Base64, LinesAreSeventySixCharactersWithCrLfAfterEveryFullLine) {
    EXPECT_EQ(CMailCodec::EncodeBase64(""), "");
    EXPECT_EQ(CMailCodec::EncodeBase64("M"), "TQ==");
    EXPECT_EQ(CMailCodec::EncodeBase64("Ma"), "TWE=");
    EXPECT_EQ(CMailCodec::EncodeBase64("Man"), "TWFu");

    const std::string line57(57, 'x');
    const std::string one = CMailCodec::EncodeBase64(line57);
    ASSERT_EQ(one.size(), 78u);
    EXPECT_EQ(one.substr(76), "\r\n");

    const std::string two = CMailCodec::EncodeBase64(line57 + "y");
    ASSERT_EQ(two.size(), 82u);
    EXPECT_EQ(two.substr(0, 78), one);
    EXPECT_EQ(two.substr(78), "eQ==");
}

TEST(Base64, RoundTripsAnyBytesAndSkipsForeignBytes) {
    std::mt19937 gen(7);
    for (size_t n : {0u, 1u, 2u, 3u, 56u, 57u, 58u, 1000u, 4099u}) {
        std::string data(n, '\0');
        for (char& c : data) c = static_cast<char>(gen());
        std::string out;
        EXPECT_EQ(CMailCodec::DecodeBase64(CMailCodec::EncodeBase64(data), out),
                  static_cast<long>(n));
        EXPECT_EQ(out, data) << n;
    }
    // CR LF, blanks, bytes above 0x7F and stray "=" in the middle are all skipped.
    std::string out;
    EXPECT_EQ(CMailCodec::DecodeBase64("TW\r\nF u\xff=TQ", out), 4);
    EXPECT_EQ(out, "ManM");
    // Leftover characters: three give two bytes, two give one, one gives nothing.
    CMailCodec::DecodeBase64("TWE", out);
    EXPECT_EQ(out, "Ma");
    CMailCodec::DecodeBase64("TWFuT", out);
    EXPECT_EQ(out, "Man");
    EXPECT_EQ(CMailCodec::DecodeBase64("!!!", out), 0);
}

TEST(QuotedPrintable, HexDigitsSoftBreaksAndMalformedEscapes) {
    std::string out;
    CMailCodec::DecodeQuotedPrintable("=D6=D0=CE=C4", out);
    EXPECT_EQ(out, Bytes({0xD6, 0xD0, 0xCE, 0xC4}));
    // Lower-case digits read as their upper-case twins.
    CMailCodec::DecodeQuotedPrintable("=d6=e9", out);
    EXPECT_EQ(out, Bytes({0xD6, 0xE9}));
    // A soft line break joins the lines, with CR LF or a lone LF.
    CMailCodec::DecodeQuotedPrintable("long li=\r\nne and mo=\nre", out);
    EXPECT_EQ(out, "long line and more");
    // Underscores and trailing blanks stay.
    CMailCodec::DecodeQuotedPrintable("a_b  ", out);
    EXPECT_EQ(out, "a_b  ");
    // An "=" without two hex digits stays as written; nothing is read past the end.
    CMailCodec::DecodeQuotedPrintable("x=ZZ y=4", out);
    EXPECT_EQ(out, "x=ZZ y=4");
    EXPECT_EQ(CMailCodec::DecodeQuotedPrintable("=", out), 1);
    EXPECT_EQ(CMailCodec::DecodeQuotedPrintable("=\r", out), 0);
}

TEST(SevenBit, EscapedRunsGetTheirTopBitSet) {
    std::string out;
    EXPECT_EQ(CMailCodec::Convert7Bit("a\x1b$B\x30\x21\x1b(Bb\x1b$B\x22\x1b(B", out), 2);
    EXPECT_EQ(out, "a" + Bytes({0xB0, 0xA1}) + "b" + Bytes({0xA2}));
    // A closing escape before the opening one is no pair: nothing changes.
    const std::string reversed = "\x1b(Bx\x1b$By";
    EXPECT_EQ(CMailCodec::Convert7Bit(reversed, out), 0);
    EXPECT_EQ(out, reversed);
    // DecodeContent counts the bytes produced; converting to UTF-8 leaves the escapes to the
    // ISO-2022-JP converter.
    EXPECT_EQ(CMailCodec().DecodeContent("\x1b$B\x30\x21\x1b(B", "7BIT", out), 2);
    EXPECT_EQ(DefaultMailCodec().DecodeContent("\x1b$B\x30\x21\x1b(B", "7BIT", out), 8);
}

TEST(DecodeContent, SelectsByLowerCasedNameAndRejectsTheRest) {
    const CMailCodec& codec = DefaultMailCodec();
    std::string out = "untouched";
    EXPECT_EQ(codec.DecodeContent("TWFu", "BASE64", out), 3);
    EXPECT_EQ(out, "Man");
    EXPECT_EQ(codec.DecodeContent("a=41", "Quoted-Printable", out), 2);
    EXPECT_EQ(out, "aA");
    out = "untouched";
    EXPECT_EQ(codec.DecodeContent("TWFu", "8bit", out), -1);
    EXPECT_EQ(codec.DecodeContent("TWFu", "", out), -1);
    EXPECT_EQ(codec.DecodeContent("plain subject", "subject", out), -1);
    EXPECT_EQ(out, "untouched");
}

TEST(EncodedWords, DecodeWordsDropBlanksBetweenThemAndLeaveOtherTextAlone) {
    const CMailCodec codec;  // bytes, no conversion
    // Two adjacent base64 words separated by a space.
    EXPECT_EQ(codec.DecodeText("=?gb2312?B?1tA=?= =?gb2312?B?zsQ=?=", "subject"),
              Bytes({0xD6, 0xD0, 0xCE, 0xC4}));
    // A Q word whose text starts with "=", and an underscore that is a space.
    EXPECT_EQ(codec.DecodeText("=?GB2312?Q?=D6=D0=CE=C4?=", "subject"),
              Bytes({0xD6, 0xD0, 0xCE, 0xC4}));
    EXPECT_EQ(codec.DecodeText("=?iso-8859-1?q?a_b?=", "subject"), "a b");
    EXPECT_EQ(codec.DecodeText("Re: =?utf-8?b?aGVsbG8=?= world", "subject"), "Re: hello world");
    EXPECT_EQ(codec.DecodeText("plain subject", "subject"), "plain subject");
    // Decoded bytes end at a zero byte.
    EXPECT_EQ(codec.DecodeText("=?x?B?YQBi?=c", "subject"), "ac");
    // Text decoded from a word is not taken as a word again.
    EXPECT_EQ(codec.DecodeText("=?x?B?PT94P0I/WVE9PT89?=", "subject"), "=?x?B?YQ==?=");
}

TEST(EncodedWords, MalformedWordsStayAndTheScanEnds) {
    const CMailCodec codec;
    for (const char* bad : {"?= then =?", "=?no end", "=?a?B?x?y?=", "=?a?Z?abc?=", "=?a?Bx?=",
                            "=?"
                            "?=",
                            "=?=", "=?a?B?=", "\x1b(B=?\x1b$B"}) {
        EXPECT_EQ(codec.DecodeText(bad, "subject"), bad);
    }
    // A broken word does not hide a good one behind it.
    EXPECT_EQ(codec.DecodeText("=? =?a?Q?ok?=", "subject"), "=? ok");
    // Long runs of openers or closers finish quickly.
    const std::string many(200000, '?');
    EXPECT_EQ(codec.DecodeText("=" + many + "=", "subject").size(), many.size() + 2);
    std::string openers;
    for (int i = 0; i < 50000; ++i) openers += "=?";
    EXPECT_EQ(codec.DecodeText(openers + "?=", "subject"), openers + "?=");
}

TEST(EncodedWords, SevenBitEscapesAreConvertedAlsoInsideDecodedWords) {
    const CMailCodec codec;
    EXPECT_EQ(codec.DecodeText("\x1b$B\x30\x21\x1b(B!", "subject"), Bytes({0xB0, 0xA1}) + "!");
    // ISO-2022 text inside a base64 word: ESC $ B 0x30 0x21 ESC ( B.
    const std::string word =
        "=?iso-2022-jp?B?" + CMailCodec::EncodeBase64("\x1b$B\x30\x21\x1b(B") + "?=";
    EXPECT_EQ(codec.DecodeText(word, "subject"), Bytes({0xB0, 0xA1}));
}

TEST(DecodeText, SkipsThePartHeaderAndNeverAppendsABlank) {
    const CMailCodec codec;
    EXPECT_EQ(codec.DecodeText("Content-Type: text/plain\r\n\r\nSGk=", "base64"), "Hi");
    EXPECT_EQ(codec.DecodeText("Header: x\r\n\r\nas it stands", "8bit"), "as it stands");
    EXPECT_EQ(codec.DecodeText("no header here", "x-unknown"), "no header here");
    // One lead byte left over stays as it is.
    EXPECT_EQ(codec.DecodeText("=?gb2312?B?1tDO?=", "subject"), Bytes({0xD6, 0xD0, 0xCE}));
    EXPECT_EQ(codec.DecodeText("=?gb2312?B?1tA=?=", "subject"), Bytes({0xD6, 0xD0}));
    EXPECT_EQ(codec.DecodeText("\xd6", "subject"), "\xd6");  // a single byte is left alone
}

TEST(DecodeText, HandsTheCharsetToAnInstalledConverter) {
    std::vector<std::string> seen;
    const CMailCodec codec([&](std::string_view charset, std::string bytes) {
        seen.emplace_back(charset);
        return "[" + bytes + "]";
    });
    EXPECT_EQ(codec.DecodeText("=?KOI8-R?Q?ab?= and =?utf-8?B?Yw==?=", "subject"), "[ab] and [c]");
    EXPECT_EQ(codec.DecodeText("H: v\r\n\r\nbody", "8bit", "windows-1251"), "[body]");
    EXPECT_EQ(seen, (std::vector<std::string>{"KOI8-R", "utf-8", "windows-1251"}));
}

TEST(AttachmentFile, WritesExactlyTheDecodedBytes) {
    test::TempDir dir;
    std::string data(1000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    const std::string part = "--b\r\nContent-Type: application/octet-stream\r\n\r\n" +
                             CMailCodec::EncodeBase64(data) + "\r\n";
    const std::string path = dir.path() + "out.bin";
    SysMailAttachmentToFile(part, path, "Base64");
    EXPECT_EQ(test::ReadFile(path), data);

    // An existing file is truncated.
    SysMailAttachmentToFile("H: x\r\n\r\nab=3Dc", path, "quoted-printable");
    EXPECT_EQ(test::ReadFile(path), "ab=c");
}

TEST(AttachmentFile, UnknownEncodingReportsAndWritesNothing) {
    test::TempDir dir;
    test::MessageRecorder recorder;
    const std::string path = dir.path() + "never.bin";
    SysMailAttachmentToFile("H: x\r\n\r\nraw", path, "8bit");
    SysMailAttachmentToFile("H: x\r\n\r\nraw", path, "");
    EXPECT_EQ(recorder.messages(),
              (std::vector<std::string>{"Error on save file!", "Error on save file!"}));
    EXPECT_EQ(test::ReadFile(path), "");
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    // A path that cannot be opened is not reported.
    SysMailAttachmentToFile("H: x\r\n\r\nTWFu", dir.path() + "missing/dir/x", "base64");
    EXPECT_EQ(recorder.messages().size(), 2u);
}

}  // namespace
}  // namespace korvo

namespace korvo {
namespace {

TEST(EncodedWords, HeaderValuesComeOutAsUtf8) {
    struct Case {
        const char* value;
        const char* utf8;
    };
    const Case cases[] = {
        {"=?utf-8?Q?Gr=C3=BC=C3=9Fe_aus_M=C3=BCnchen?=", "Grüße aus München"},
        // Words of one charset join as bytes, also a character split between them.
        {"=?gb2312?B?1tA=?= =?gb2312?B?zsQ=?=", "中文"},
        {"=?utf-8?Q?=E4=B8?=  =?UTF-8?Q?=AD?=", "中"},
        {"=?iso-2022-jp?B?GyRCJDMkcxsoQg==?= =?iso-2022-jp?B?GyRCJEskQRsoQg==?=", "こんにち"},
        // Words of different charsets lose the blank between them; other text stays.
        {"=?koi8-r?Q?=F0?= =?iso-8859-1?Q?=E9?=", "Пé"},
        {"=?utf-8?Q?a?= - =?utf-8?Q?b?=", "a - b"},
        {"=?utf-8*en?Q?hi?=", "hi"},
        // Unknown charsets and malformed words stay as written.
        {"=?x-unknown?Q?abc?= plain", "=?x-unknown?Q?abc?= plain"},
        {"=?x\xd8y?Q?a?=", "=?xØy?Q?a?="},
        {"=?utf-8?Q?broken", "=?utf-8?Q?broken"},
        {"=?utf-8?X?abc?=", "=?utf-8?X?abc?="},
        {"=?utf-8?B?/w==?=", "\xEF\xBF\xBD"},
        // Undeclared 8-bit text: UTF-8 stays, anything else is read in the fallback charset.
        {"Grüße", "Grüße"},
        {"Gr\xfc\xdf"
         "e",
         "Grüße"},
        {"Re: caf\xe9 =?utf-8?Q?=E2=82=AC?=", "Re: café €"},
        {"\x1b$B\x30\x21\x1b(B!", "亜!"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DefaultMailCodec().DecodeText(c.value, "subject"), c.utf8) << c.value;
}

TEST(DecodeBody, DeclaredThenHtmlMetaThenUndeclared) {
    const CMailCodec& codec = DefaultMailCodec();
    EXPECT_EQ(codec.DecodeBody("H: x\r\n\r\n\xf0\xd2\xc9", "8bit", "koi8-r", false), "При");
    EXPECT_EQ(codec.DecodeBody("H: x\r\n\r\n=E9t=E9", "quoted-printable", "", false), "été");
    // HTML without a declared charset reads its own meta, within its first 1024 bytes.
    const std::string meta =
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=koi8-r\">";
    EXPECT_EQ(codec.DecodeBody(meta + "\xf0", "8bit", "", true), meta + "П");
    EXPECT_EQ(codec.DecodeBody(std::string(1100, ' ') + meta + "\xf0", "8bit", "", true),
              std::string(1100, ' ') + meta + "ð");
    EXPECT_EQ(codec.DecodeBody(meta + "\xf0", "8bit", "", false), meta + "ð");
    EXPECT_EQ(codec.DecodeBody(meta + "\xe9", "8bit", "iso-8859-1", true), meta + "é");
    // ISO-2022-JP bodies in 7bit transfer encoding reach the converter with their escapes.
    EXPECT_EQ(codec.DecodeBody("\x1b$B\x30\x21\x1b(B", "7bit", "iso-2022-jp", false), "亜");
}

}  // namespace
}  // namespace korvo
