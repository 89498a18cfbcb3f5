#include "shell/mailto.h"

#include <gtest/gtest.h>

namespace korvo {
namespace {

TEST(MailtoTest, ParsesFieldsAndRefusesMalformedLinks) {
    struct Case {
        const char* link;
        std::optional<MailtoLink> parsed;
    };
    const Case cases[] = {
        {"mailto:ann@example.org", MailtoLink{"ann@example.org", "", "", ""}},
        {"MAILTO:ann@example.org,bob@example.org?to=carl@example.org&CC=dora@example.org"
         "&cc=eve@example.org",
         MailtoLink{"ann@example.org,bob@example.org, carl@example.org",
                    "dora@example.org, eve@example.org", "", ""}},
        {"mailto:?subject=Gr%C3%BC%C3%9Fe%20aus%20Z%C3%BCrich&body=line%201%0Aline+2%0D%0Aend",
         MailtoLink{"", "", "Grüße aus Zürich", "line 1\r\nline+2\r\nend"}},
        // Header injection stays on one line; attach, bcc and unknown fields are ignored.
        {"mailto:ann@example.org?subject=hi%0D%0ABcc:%20x@evil.example&attach=/etc/passwd"
         "&Attachment=%2Fetc%2Fshadow&bcc=spy@evil.example&x-header=1&body=b&body=second",
         MailtoLink{"ann@example.org", "", "hi  Bcc: x@evil.example", "b"}},
        {"mailto:ann%40example.org#fragment", MailtoLink{"ann@example.org", "", "", ""}},
        {"mailto:a@b.org?subject=%zz", std::nullopt},
        {"mailto:a@b.org?body=50%", std::nullopt},
        {"mailto:a@b.org?body=%4", std::nullopt},
        {"mailto:a@b.org?subject=%C3%28", std::nullopt},  // not UTF-8
        {"mailto:a@b.org?subject=%C0%AF", std::nullopt},  // overlong
        {"http://example.org/", std::nullopt},
        {"mailto", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseMailto(c.link), c.parsed) << c.link;
}

}  // namespace
}  // namespace korvo
