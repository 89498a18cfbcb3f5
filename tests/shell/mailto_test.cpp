#include "shell/mailto.h"

#include <gtest/gtest.h>

#include <mutex>

#include "platform/instance_guard.h"
#include "shell/command_line.h"
#include "shell/task_hand_off.h"
#include "tests/support/temp_dir.h"

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

TEST(MailtoTest, CommandLineTakesOneUsableLinkWithoutTaskOptions) {
    auto parse = [](std::vector<const char*> args) {
        args.insert(args.begin(), "korvo");
        return ParseCommandLine(int(args.size()), args.data());
    };
    const CommandLine good = parse({"--data-dir", "/d", "MailTo:ann@example.org?subject=hi"});
    EXPECT_TRUE(good.valid);
    EXPECT_EQ(good.mailto, "MailTo:ann@example.org?subject=hi");
    EXPECT_EQ(good.taskType, -1);
    EXPECT_FALSE(parse({"mailto:a@b.org?subject=%zz"}).valid);
    EXPECT_FALSE(parse({"mailto:a@b.org", "mailto:c@d.org"}).valid);
    EXPECT_FALSE(parse({"mailto:a@b.org", "--send-all"}).valid);
    const std::string huge = "mailto:a@b.org?body=" + std::string(kMaxMailtoLink, 'x');
    EXPECT_FALSE(parse({huge.c_str()}).valid);
}

TEST(MailtoTest, HandOffCarriesTheLinkWholeAndHearsTheAnswer) {
    using namespace std::chrono_literals;
    test::TempDir dir;
    EXPECT_FALSE(HandOffMailto(dir.path(), "mailto:a@b.org", 1s));  // no desktop listens

    std::mutex mutex;
    std::string received;
    bool accept = true;
    InstanceGuard guard;
    guard.SetRequestHandler([&](std::string request, std::shared_ptr<InstanceConnection> peer) {
        AnswerMailtoRequest(request, *peer, [&](const std::string& link) {
            std::lock_guard<std::mutex> lock(mutex);
            received = link;
            return accept;
        });
    });
    ASSERT_EQ(guard.Acquire(dir.path(), [] {}), InstanceGuard::Outcome::kFirst);
    // Line breaks and escapes inside the link must not split the request.
    const std::string link = "mailto:a@b.org?body=x\\y\nrun send-all\tz";
    EXPECT_TRUE(HandOffMailto(dir.path(), link, 5s));
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_EQ(received, link);
        accept = false;
    }
    EXPECT_FALSE(HandOffMailto(dir.path(), link, 5s));
}

}  // namespace
}  // namespace korvo
