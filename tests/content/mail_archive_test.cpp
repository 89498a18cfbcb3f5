#include "content/mail_archive.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.h"

namespace korvo {
namespace {

struct Read {
    std::vector<ArchiveLetter> letters;
    int skipped = 0;
    int failed = 0;
};

Read ReadAll(const std::string& path, size_t max = kMaxLetterBytes) {
    Read read;
    auto reader = OpenArchive(path, max);
    ArchiveLetter letter;
    for (int guard = 0; guard < 1000; ++guard) {
        switch (reader->Next(&letter)) {
            case ArchiveRead::kLetter:
                read.letters.push_back(std::move(letter));
                break;
            case ArchiveRead::kSkipped:
                ++read.skipped;
                break;
            case ArchiveRead::kFailed:
                ++read.failed;
                break;
            case ArchiveRead::kEnd:
                return read;
        }
    }
    ADD_FAILURE() << "the reader never ended";
    return read;
}

std::string Fixture(const char* name) {
    return std::string(KORVO_ARCHIVE_DIR) + "/" + name;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

const char kHead[] = "Subject: s\r\n\r\n";

TEST(MailArchive, FilesOfOtherWritersGiveTheirLettersAndMarks) {
    struct Expected {
        std::string text;  // whole letter, or "" to check only its subject line
        std::string subject;
        bool read, replied, deleted;
    };
    struct Case {
        const char* file;
        std::vector<Expected> letters;
        time_t time;  // of every letter, -1: not checked (file times do not survive a checkout)
    } cases[] = {
        {"python.mbox",
         {{"From: alice@example.org\r\nTo: me@example.org\r\nSubject: First\r\nDate: Tue, 05 Mar "
           "2024 10:20:00 +0000\r\n\r\nHello.\r\n\r\nFrom the start of a line, quoted by the "
           "writer.\r\n",
           "First", true, false, false},
          {"", "Second", true, true, false},
          {"", "Third", false, false, false}},
         1709634000},
        {"mboxrd-crlf.mbox",
         {{"From: sender@example.org\r\nSubject: quoted\r\n\r\nFrom here\r\n>From there\r\n>>From "
           "everywhere\r\n>not a From line\r\n",
           "quoted", false, false, false},
          {"From: other@example.org\r\nSubject: no final newline\r\n\r\nlast line\r\n",
           "no final newline", false, false, false}},
         -1},
        {"maildir",
         {{"", "Maildir 0", true, false, false},
          {"", "Maildir 1", true, true, false},
          {"", "Maildir 2", false, false, true},
          {"", "Maildir 3", false, false, false}},
         -1},
        {"single.eml",
         {{"From: one@example.org\r\nSubject: single\r\n\r\nA single letter.\r\n", "single", true,
           false, false}},
         -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Read read = ReadAll(Fixture(c.file));
        EXPECT_EQ(read.skipped + read.failed, 0);
        ASSERT_EQ(read.letters.size(), c.letters.size());
        for (size_t i = 0; i < c.letters.size(); ++i) {
            const ArchiveLetter& got = read.letters[i];
            const Expected& want = c.letters[i];
            if (!want.text.empty()) {
                EXPECT_EQ(got.text, want.text);
            }
            EXPECT_NE(got.text.find("Subject: " + want.subject + "\r\n"), std::string::npos);
            EXPECT_EQ(got.text.find("Status:"), std::string::npos);
            EXPECT_EQ(got.read, want.read) << i;
            EXPECT_EQ(got.replied, want.replied) << i;
            EXPECT_EQ(got.deleted, want.deleted) << i;
            if (c.time >= 0) {
                EXPECT_EQ(got.receiveTime, c.time);
            }
            EXPECT_GE(got.receiveTime, 0);
        }
    }
}

TEST(MailArchive, HostileFilesEndWithoutTakingBrokenText) {
    test::TempDir dir;
    const std::string good = "From a@b Mon Jan  1 00:00:00 2024\n" + std::string(kHead) + "ok\n";
    std::string nul = "From a@b Mon Jan  1 00:00:00 2024\nSubject: n\n\nx";
    nul += std::string("\0\0y\0", 4);
    nul += "\n";
    struct Case {
        const char* name;
        std::string bytes;
        size_t letters;
        int skipped;
    } cases[] = {
        {"no envelope line", "Subject: x\n\nno From line at all\n", 0, 1},
        {"junk before the first letter", "junk\n" + good, 1, 1},
        {"empty file", "", 0, 0},
        {"envelope lines only", "From a\nFrom b\n", 0, 2},
        {"mark fields only", "From a\nStatus: RO\nX-Status: A\n" + good, 1, 1},
        {"NUL bytes", nul + good, 2, 0},
        // Larger than the buffer, with no line end anywhere in it.
        {"a 100 MB line",
         good + "From x Mon Jan  1 00:00:00 2024\nSubject: big\n\n" + std::string(100u << 20, 'z') +
             "\n" + good,
         2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.path() + "box.mbox";
        WriteFile(path, c.bytes);
        const Read read = ReadAll(path);
        EXPECT_EQ(read.letters.size(), c.letters);
        EXPECT_EQ(read.skipped, c.skipped);
        EXPECT_EQ(read.failed, 0);
        for (const ArchiveLetter& letter : read.letters)
            EXPECT_LE(letter.text.size(), size_t(1) << 20);
    }
    WriteFile(dir.path() + "nul.mbox", nul);
    const Read kept = ReadAll(dir.path() + "nul.mbox");
    ASSERT_EQ(kept.letters.size(), 1u);
    EXPECT_EQ(kept.letters[0].text, std::string("Subject: n\r\n\r\nx\0\0y\0\r\n", 21));
    EXPECT_EQ(ReadAll(dir.path() + "missing.mbox").failed, 1);
}

TEST(MailArchive, WrittenLettersReadBackAsTheyWere) {
    struct Case {
        const char* name;
        std::string raw;  // CRLF, as stored
        bool read, replied, deleted;
    } cases[] = {
        {"envelope-like lines", "Subject: q\r\n\r\nFrom a\r\n>From b\r\n>>From c\r\nFrom\r\n", true,
         false, false},
        {"old marks replaced", "Status: O\r\nX-Status: F\r\nSubject: m\r\n\r\nbody\r\n", false,
         true, true},
        {"header only", "Subject: h\r\n", true, true, false},
        {"blank lines at the end", "Subject: b\r\n\r\nbody\r\n\r\n\r\n", false, false, false},
    };
    test::TempDir dir;
    std::string mbox;
    for (const Case& c : cases)
        AppendMboxLetter(mbox, c.raw, "s@x", 86400, c.read, c.replied, c.deleted);
    WriteFile(dir.path() + "out.mbox", mbox);
    const Read read = ReadAll(dir.path() + "out.mbox");
    ASSERT_EQ(read.letters.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const ArchiveLetter& got = read.letters[i];
        std::string want = cases[i].raw;
        if (i == 1) want = "Subject: m\r\n\r\nbody\r\n";
        EXPECT_EQ(got.text, want);
        EXPECT_EQ(got.read, cases[i].read);
        EXPECT_EQ(got.replied, cases[i].replied);
        EXPECT_EQ(got.deleted, cases[i].deleted);
        EXPECT_EQ(got.receiveTime, 86400);
    }
}

TEST(MailArchive, EnvelopeSenderAndTime) {
    EXPECT_EQ(EnvelopeSender("Return-Path: <bounce@x.org>\r\nFrom: A <a@x.org>\r\n\r\n"),
              "bounce@x.org");
    EXPECT_EQ(EnvelopeSender("Return-Path: <>\r\nFrom: A <a@x.org>\r\n\r\nReturn-Path: <b@y>\r\n"),
              "a@x.org");
    EXPECT_EQ(EnvelopeSender("Subject: none\r\n\r\nFrom: c@d\r\n"), "MAILER-DAEMON");
    EXPECT_EQ(EnvelopeTime("From a@b Thu Jan  1 00:01:40 1970"), 100);
    EXPECT_EQ(EnvelopeTime("From a@b"), -1);
    EXPECT_EQ(EnvelopeTime("From a@b yesterday"), -1);
}

}  // namespace
}  // namespace korvo
