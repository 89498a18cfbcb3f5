#include "platform/wide_text.h"

#include <gtest/gtest.h>

#include <string>

namespace korvo {
namespace {

TEST(WideText, ValidUtf8BecomesItsCodePointsAndComesBack) {
    const struct {
        std::string bytes;
        std::wstring wide;
    } cases[] = {
        {"", L""},
        {"plain ascii", L"plain ascii"},
        {"\xC3\xA9t\xC3\xA9", L"\u00E9t\u00E9"},
        {"\xE5\xA7\x93\xE5\x90\x8D", L"\u59D3\u540D"},
        {"\xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", L"\U0001F600 \U0010FFFF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WideFromBytes(c.bytes), c.wide) << c.bytes;
        EXPECT_EQ(BytesFromWide(c.wide), c.bytes) << c.bytes;
    }
}

TEST(WideText, InvalidBytesSurviveTheRoundTrip) {
    const std::string cases[] = {
        "\xFF",
        "ab\x80\x81",
        "\xC3",                  // cut short
        "\xE5\xA7",              // cut short
        "\xF0\x9F\x98",          // cut short
        "\xC0\xAF",              // overlong
        "\xED\xA0\x80",          // a surrogate
        "\xF4\x90\x80\x80",      // past U+10FFFF
        "GBK \xD0\xD5\xC3\xFB",  // another code page
        std::string("nul\0inside", 10),
        "\xEF\x9E\x80",  // a character of the range that stands for raw bytes
    };
    for (const std::string& bytes : cases) {
        const std::wstring wide = WideFromBytes(bytes);
        EXPECT_EQ(BytesFromWide(wide), bytes);
    }
    EXPECT_EQ(WideFromBytes("a\xFF"), L"a\uF7FF");
}

}  // namespace
}  // namespace korvo
