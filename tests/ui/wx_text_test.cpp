#include "ui/wx_text.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo {
namespace {

TEST(WxText, EveryByteStringSurvivesTheRoundTrip) {
    const std::string cases[] = {
        "plain",
        "\xe7\x8a\xb6\xe6\x80\x81",   // valid UTF-8 stays text
        "caf\xe9 \xff\xfe",           // Latin-1 bytes
        "\xc0\xaf",                   // overlong
        "\xed\xa0\x80",               // a surrogate
        "\xe2\x82",                   // cut short
        "\xef\x9e\x80 \xef\x9f\xbf",  // the characters used for raw bytes themselves
        "\xf4\x90\x80\x80",           // beyond U+10FFFF
        std::string("a\0b", 3),
    };
    for (const std::string& bytes : cases) {
        EXPECT_EQ(BytesFromWx(WxFromBytes(bytes)), bytes);
    }
    // Every single byte and every pair of bytes.
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
            ASSERT_EQ(BytesFromWx(WxFromBytes(bytes)), bytes) << a << " " << b;
        }
    }
    EXPECT_EQ(WxFromBytes("\xe7\x8a\xb6").length(), 1u) << "valid text is decoded";
    EXPECT_EQ(WxFromBytes("\xe7\x8a\xb6")[0].GetValue(), 0x72B6u);
}

}  // namespace
}  // namespace korvo
