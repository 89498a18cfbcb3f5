#include "transport/smtp_envelope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvo {
namespace {

using Strings = std::vector<std::string>;

TEST(SmtpEnvelopeTest, AddressListsSplitOutsideQuotesBracketsAndComments) {
    EXPECT_EQ(SplitAddressList("a@x.test, b@y.test;c@z.test"),
              (Strings{"a@x.test", "b@y.test", "c@z.test"}));
    EXPECT_EQ(SplitAddressList("\"Doe, John; Jr\" <j@d.test>, 'Ann' <ann@x.test>,,"),
              (Strings{"\"Doe, John; Jr\" <j@d.test>", "'Ann' <ann@x.test>"}));
    EXPECT_EQ(SplitAddressList("<odd,one@x.test> (work, old), c@z.test"),
              (Strings{"<odd,one@x.test> (work, old)", "c@z.test"}));
    EXPECT_EQ(SplitAddressList("friends: a@x.test, b@y.test; undisclosed-recipients:;"),
              (Strings{"a@x.test", "b@y.test"}));
    EXPECT_EQ(SplitAddressList("  "), Strings{});

    EXPECT_EQ(EntryAddress("\"Doe, John\" <j@d.test>"), "j@d.test");
    // Brackets inside a quoted name or a comment do not count.
    EXPECT_EQ(EntryAddress("\"a <fake@x.test>\" <real@x.test>"), "real@x.test");
    EXPECT_EQ(EntryAddress("real@x.test (not <fake@x.test>)"), "real@x.test");
    EXPECT_EQ(EntryAddress("  plain@x.test "), "plain@x.test");

    EXPECT_TRUE(IsEnvelopeAddress("a.b+c@x.test"));
    EXPECT_TRUE(IsEnvelopeAddress("postmaster"));
    for (const char* bad : {"", "a b@x.test", "a@x.test\r\nRSET", "a<b@x", "\"q\"@x"}) {
        EXPECT_FALSE(IsEnvelopeAddress(bad)) << bad;
    }
}

TEST(SmtpEnvelopeTest, EnvelopeFromTheHeaderOnly) {
    const std::string message =
        "Date: Mon, 07 Dec 26 09:05:03 UTC\r\n"
        "From: Ann <ann@example.test>\r\n"
        "To: \"Bob, B.\" <bob@example.test>;carl@example.test,\r\n"
        "  dora@example.test\r\n"
        "CC:BOB@example.test, not an address, <eve@example.test>\r\n"
        "Subject: CC: ghost@example.test\r\n"
        "Reply-To: reply@example.test\r\n"
        "\r\n"
        "To: body@example.test\r\n";
    const SmtpEnvelope envelope = ReadEnvelope(message);
    EXPECT_EQ(envelope.from, "ann@example.test");
    // Each once (case-insensitive), in header order; the subject, Reply-To and body never count.
    EXPECT_EQ(envelope.recipients, (Strings{"bob@example.test", "carl@example.test",
                                            "dora@example.test", "eve@example.test"}));
    EXPECT_EQ(envelope.unusable, Strings{"not an address"});

    EXPECT_EQ(RawHeaderField("Subject: a\r\n\tb\r\nTo: x\r\n", "subject"), "a\tb");
    EXPECT_EQ(RawHeaderField("Subject: =?utf-8?B?w6Q=?=\r\n", "Subject"), "=?utf-8?B?w6Q=?=");
    EXPECT_EQ(RawHeaderField("X-To: a\r\n", "To"), "");

    const SmtpEnvelope none = ReadEnvelope("Subject: nobody\r\n\r\nTo: body@example.test\r\n");
    EXPECT_EQ(none.from, "");
    EXPECT_TRUE(none.recipients.empty());
}

std::string Stuff(const Strings& pieces, std::string* terminator = nullptr) {
    DataStuffer stuffer;
    std::string out;
    for (const std::string& piece : pieces) stuffer.Add(piece, out);
    if (terminator) *terminator = std::string(stuffer.Terminator());
    return out;
}

TEST(SmtpEnvelopeTest, DataIsDotStuffedWithCrLfLineEnds) {
    std::string end;
    EXPECT_EQ(Stuff({".first\r\nmid.dle\r\n.\r\n..two\r\nlast"}, &end),
              "..first\r\nmid.dle\r\n..\r\n...two\r\nlast");
    EXPECT_EQ(end, "\r\n.\r\n");
    EXPECT_EQ(Stuff({"text\r\n"}, &end), "text\r\n");
    EXPECT_EQ(end, ".\r\n");
    EXPECT_EQ(Stuff({}, &end), "");
    EXPECT_EQ(end, ".\r\n");
    // Bare line ends become CR LF, so a lone "\n.\n" cannot end the data on a lenient server.
    EXPECT_EQ(Stuff({"a\n.\nb\r.c\r\n\r\n."}), "a\r\n..\r\nb\r\n..c\r\n\r\n..");

    // The same text split at every position gives the same bytes.
    const std::string text = ".a\r\n.\r\n\r\n.\n..b\rc.\r\n.";
    const std::string whole = Stuff({text}, &end);
    for (size_t i = 0; i <= text.size(); ++i) {
        for (size_t j = i; j <= text.size(); ++j) {
            std::string splitEnd;
            ASSERT_EQ(Stuff({text.substr(0, i), text.substr(i, j - i), text.substr(j)}, &splitEnd),
                      whole)
                << i << "," << j;
            ASSERT_EQ(splitEnd, end);
        }
    }
}

}  // namespace
}  // namespace korvo
