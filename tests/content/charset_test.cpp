#include "content/charset.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace korvo {
namespace {

TEST(Charset, LabelsSupersetsAndBrokenBytes) {
    struct Case {
        const char* charset;
        std::string bytes;
        const char* utf8;
    } const cases[] = {
        {"koi8-r", "\xf0\xd2\xc9\xd7\xc5\xd4", "Привет"},
        {"\"UTF-8\"", "caf\xc3\xa9", "café"},
        {"utf-8*en", "ok", "ok"},
        {"gb2312", "\x81\x40", "丂"},          // read as GB18030: a GBK-only code
        {"Shift_JIS", "\x87\x40", "①"},        // read as CP932: an NEC extension
        {"ks_c_5601-1987", "\x81\x41", "갂"},  // read as CP949: an extended syllable
        // Latin-1 and ASCII labels with C1 bytes are windows-1252, without them ISO-8859-1.
        {"iso-8859-1", "\x93q\x94 \xe9", "“q” é"},
        {"us-ascii", "\x80", "€"},
        {"ISO-8859-1", "\xe9", "é"},
        // Invalid sequences become U+FFFD, a cut character at the end too; the rest stays.
        {"utf-8",
         "a\xff"
         "b\xe4\xb8",
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"gb18030", "\xd6\xd0\xff\xd6", "中\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"iso-2022-jp", "\x1b$B\x30\x21\x1b(B!", "亜!"},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> out = CharsetToUtf8(c.charset, c.bytes);
        ASSERT_TRUE(out) << c.charset;
        EXPECT_EQ(*out, c.utf8) << c.charset;
    }
    EXPECT_FALSE(CharsetToUtf8("x-no-such-set", "abc"));
    EXPECT_FALSE(CharsetToUtf8("utf-8//TRANSLIT", "abc"));  // never an iconv option
    for (const char* bad : {"\xc0\x80", "\xed\xa0\x80", "\xf4\x90\x80\x80", "abcdefgh\x80"})
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
}

TEST(Charset, UndeclaredTextAndTheFallback) {
    EXPECT_EQ(UndeclaredToUtf8("caf\xc3\xa9"), "café");  // valid UTF-8 stays
    EXPECT_EQ(UndeclaredToUtf8("caf\xe9"), "café");      // windows-1252 by default
    EXPECT_EQ(TextToUtf8("x-no-such-set", "caf\xe9"), "café");
    EXPECT_FALSE(SetFallbackCharset("x-no-such-set"));
    ASSERT_TRUE(SetFallbackCharset("windows-1251"));
    EXPECT_EQ(UndeclaredToUtf8("\xcf\xf0\xe8"), "При");
    ASSERT_TRUE(SetFallbackCharset(kDefaultFallbackCharset));
}

TEST(Charset, ConvertersAreSharedSafelyBetweenThreads) {
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            const bool jis = t % 2;
            for (int i = 0; i < 500; ++i)
                wrong[t] += *CharsetToUtf8(jis ? "iso-2022-jp" : "gbk",
                                           jis ? "\x1b$B\x30\x21\x1b(B" : "\xd6\xd0") !=
                            (jis ? "亜" : "中");
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace korvo
