#include "content/attachment_name.h"

#include <gtest/gtest.h>

#include "content/mail_codec.h"
#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

TEST(SafeAttachmentFileName, HostileNamesBecomeOneHarmlessName) {
    const std::pair<std::string, std::string> cases[] = {
        {"report.pdf", "report.pdf"},
        {"../../.bashrc", "bashrc"},
        {"/etc/passwd", "passwd"},
        {"a/b\\c", "c"},
        {"..", "attachment"},
        {"...", "attachment"},
        {"", "attachment"},
        {"dir/", "attachment"},
        {" . ", "attachment"},
        {".hidden.txt", "hidden.txt"},
        {"name\r\n.txt", "name.txt"},
        {std::string("nul\0byte.txt", 12), "nulbyte.txt"},
        {"tab\there.txt\x7f", "tabhere.txt"},
        {"trailing dot.", "trailing dot"},
        {"\xe4\xb8\xad\xe6\x96\x87.doc", "\xe4\xb8\xad\xe6\x96\x87.doc"},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(SafeAttachmentFileName(in), want) << in;
}

TEST(SafeAttachmentFileName, LongNamesAreCutAtACharacterAndKeepTheirExtension) {
    const std::string longAscii = std::string(1000, 'a') + ".pdf";
    const std::string cut = SafeAttachmentFileName(longAscii);
    EXPECT_EQ(cut.size(), kMaxAttachmentNameBytes);
    EXPECT_TRUE(cut.ends_with("aaa.pdf"));

    std::string wide;
    for (int i = 0; i < 400; ++i) wide += "\xe4\xb8\xad";  // three bytes each
    const std::string cutWide = SafeAttachmentFileName(wide + ".txt");
    EXPECT_LE(cutWide.size(), kMaxAttachmentNameBytes);
    EXPECT_TRUE(cutWide.ends_with(".txt"));
    EXPECT_EQ((cutWide.size() - 4) % 3, 0u);  // no split character

    // A long "extension" is not kept as one.
    const std::string oddDot = "x." + std::string(1000, 'e');
    EXPECT_EQ(SafeAttachmentFileName(oddDot).size(), kMaxAttachmentNameBytes);
    EXPECT_EQ(SafeAttachmentFileName(std::string(1000, '.')), "attachment");
}

TEST(SafeAttachmentFileName, EncodedWordsThatDecodeToPaths) {
    const CMailCodec& codec = DefaultMailCodec();
    for (const std::string plain : {"../../.bashrc", "/etc/passwd", "a/b\\c"}) {
        const std::string word = "=?utf-8?B?" + CMailCodec::EncodeBase64(plain) + "?=";
        const std::string decoded = codec.DecodeText(word, "subject");
        ASSERT_EQ(decoded, plain);
        const std::string safe = SafeAttachmentFileName(decoded);
        EXPECT_EQ(safe.find('/'), std::string::npos);
        EXPECT_EQ(safe.find('\\'), std::string::npos);
        EXPECT_NE(safe[0], '.');
    }
}

TEST(SafeAttachmentFileName, CachePathStaysInTheCacheDirectory) {
    test::TempDir dir;
    test::ScopedDataDir scoped(dir.path());
    EXPECT_EQ(AttachmentCachePath("../../x.txt"), dir.path() + "Cache/temp/x.txt");
    EXPECT_EQ(AttachmentCachePath(""), dir.path() + "Cache/temp/attachment");
}

}  // namespace
}  // namespace korvo
