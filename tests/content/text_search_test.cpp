#include "content/text_search.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

TEST(FoldCase, LowersEveryScriptAndKeepsBytesThatAreNotUtf8) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"Hello WORLD 42", "hello world 42"},
        {"\xc3\x89VA \xc3\x9c\xc3\x96", "\xc3\xa9va \xc3\xbc\xc3\xb6"},  // ÉVA ÜÖ
        {"\xce\xa3\xce\x9f\xce\xa6\xce\x99\xce\x91",
         "\xcf\x83\xce\xbf\xcf\x86\xce\xb9\xce\xb1"},              // ΣΟΦΙΑ
        {"\xd0\x9c\xd0\x98\xd0\xa0", "\xd0\xbc\xd0\xb8\xd1\x80"},  // МИР
        {"\xe4\xb8\xad\xe6\x96\x87", "\xe4\xb8\xad\xe6\x96\x87"},  // no case
        {"A\xff\xc3(B", "a\xff\xc3(b"},            // broken bytes stay, the rest is folded
        {"\xf0\x90\x90\x80", "\xf0\x90\x90\xa8"},  // DESERET CAPITAL LONG I, outside the BMP
    };
    for (const auto& c : cases) EXPECT_EQ(FoldCase(c.in), c.out) << c.in;
}

TEST(WordSearch, EveryWordSomewhereInTheTexts) {
    const WordSearch search("  report \xc3\x89VA\t");
    EXPECT_TRUE(search.Matches({"Quarterly Report", "\xc3\xa9va@x.org"}));
    EXPECT_TRUE(search.Matches({"REPORTS by \xc3\x89va"}));
    EXPECT_FALSE(search.Matches({"Quarterly Report", "eva@x.org"}));
    EXPECT_TRUE(WordSearch(" \t ").Matches({}));
}

}  // namespace
}  // namespace korvo
