#include "platform/string_format.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

TEST(StrPrintf, FormatsWithoutTruncation) {
    EXPECT_EQ(StrPrintf("%s =%ld", "MaxId", 16777216L), "MaxId =16777216");
    const std::string big(100000, 'x');
    EXPECT_EQ(StrPrintf("<%s>", big.c_str()).size(), big.size() + 2);
    EXPECT_EQ(StrPrintf("%s", ""), "");
    EXPECT_EQ(StrPrintf("100%%"), "100%");
}

}  // namespace
}  // namespace korvo
