#include "content/charset.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace korvo {
namespace {

struct Case {
    const char* charset;
    std::string bytes;
    const char* utf8;
};

TEST(Charset, LabelsAndTheirSupersets) {
    const Case cases[] = {
        {"KOI8-R", "\xf0\xd2\xc9\xd7\xc5\xd4", "Привет"},
        {"koi8-r", "\xf0\xd2\xc9\xd7\xc5\xd4", "Привет"},
        {"\"UTF-8\"", "caf\xc3\xa9", "café"},
        // GB2312 labels read as GB18030: 0x8140 is a GBK-only code.
        {"gb2312", "\x81\x40", "丂"},
        // Shift_JIS labels read as CP932: the NEC circled digit one.
        {"Shift_JIS", "\x87\x40", "①"},
        // EUC-KR labels read as CP949: an extended Hangul syllable.
        {"ks_c_5601-1987", "\x81\x41", "갂"},
        {"euc-kr", "\xb0\xa1", "가"},
        // Latin-1 and ASCII labels with C1 bytes are windows-1252, without them ISO-8859-1.
        {"iso-8859-1", "\x93quoted\x94 \xe9", "“quoted” é"},
        {"us-ascii", "\x80", "€"},
        {"ISO-8859-1", "\xe9", "é"},
        {"utf-8*en", "ok", "ok"},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> out = CharsetToUtf8(c.charset, c.bytes);
        ASSERT_TRUE(out) << c.charset;
        EXPECT_EQ(*out, c.utf8) << c.charset;
    }
}

TEST(Charset, InvalidBytesBecomeReplacementsAndTheRestStays) {
    EXPECT_EQ(*CharsetToUtf8("utf-8", "a\xff" "b\xe4\xb8"), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD");
    // An invalid pair inside GB18030 text, and a text cut inside a character.
    EXPECT_EQ(*CharsetToUtf8("gb18030", "\xd6\xd0\xff\xd6"), "中\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(*CharsetToUtf8("iso-2022-jp", "\x1b$B\x30\x21\x1b(B!"), "亜!");
    EXPECT_FALSE(CharsetToUtf8("x-no-such-set", "abc"));
    EXPECT_FALSE(CharsetToUtf8("utf-8//TRANSLIT", "abc"));  // never an iconv option
    EXPECT_FALSE(IsKnownCharset(""));
    EXPECT_EQ(TextToUtf8("x-no-such-set", "caf\xc3\xa9"), "café");
}

TEST(Charset, UndeclaredTextAndTheFallback) {
    EXPECT_EQ(UndeclaredToUtf8("caf\xc3\xa9"), "café");  // valid UTF-8 stays
    EXPECT_EQ(UndeclaredToUtf8("caf\xe9"), "café");      // windows-1252 by default
    EXPECT_EQ(UndeclaredToUtf8("\x1b$B\x30\x21\x1b(B"), "亜");
    EXPECT_FALSE(SetFallbackCharset("x-no-such-set"));
    ASSERT_TRUE(SetFallbackCharset("windows-1251"));
    EXPECT_EQ(UndeclaredToUtf8("\xcf\xf0\xe8"), "При");
    ASSERT_TRUE(SetFallbackCharset(kDefaultFallbackCharset));
}

TEST(Charset, CutsLandOnCharacterBoundaries) {
    const std::string text = "a中b";  // 1 + 3 + 1 bytes
    EXPECT_EQ(Utf8CutLength(text, 10), 5u);
    EXPECT_EQ(Utf8CutLength(text, 4), 4u);
    EXPECT_EQ(Utf8CutLength(text, 3), 1u);
    EXPECT_EQ(Utf8CutLength(text, 1), 1u);
    EXPECT_EQ(Utf8CutLength(text, 0), 0u);
    EXPECT_TRUE(IsValidUtf8("plain ascii longer than eight bytes"));
    for (const char* bad : {"\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "abcdefgh\x80"})
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

TEST(Charset, HtmlDeclarations) {
    EXPECT_EQ(HtmlDeclaredCharset("<html><head><META CharSet='KOI8-R'>"), "koi8-r");
    EXPECT_EQ(HtmlDeclaredCharset("<meta http-equiv=\"Content-Type\" "
                                  "content=\"text/html; charset=windows-1252\">"),
              "windows-1252");
    EXPECT_EQ(HtmlDeclaredCharset("<meta name=x content=y><p>charset=big5</p>"), "");
    EXPECT_EQ(HtmlDeclaredCharset(std::string(1100, ' ') + "<meta charset=big5>"), "");
}

TEST(Charset, ConvertersAreSharedSafelyBetweenThreads) {
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < 500; ++i) {
                if (*CharsetToUtf8(t % 2 ? "iso-2022-jp" : "gbk",
                                   t % 2 ? "\x1b$B\x30\x21\x1b(B" : "\xd6\xd0") !=
                    (t % 2 ? "亜" : "中"))
                    ++wrong[t];
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace korvo
