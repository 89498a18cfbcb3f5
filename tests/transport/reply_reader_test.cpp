#include "transport/reply_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

namespace korvo {
namespace {

// Hands out prepared chunks, one per receive; -1 once they are used up.
class Chunks {
  public:
    explicit Chunks(std::deque<std::string> chunks) : chunks_(std::move(chunks)) {}
    long operator()(char* buffer, size_t size) {
        ++calls;
        if (chunks_.empty()) return -1;
        std::string& front = chunks_.front();
        size_t n = std::min(size, front.size());
        std::memcpy(buffer, front.data(), n);
        front.erase(0, n);
        if (front.empty()) chunks_.pop_front();
        return static_cast<long>(n);
    }
    int calls = 0;

  private:
    std::deque<std::string> chunks_;
};

ReplyReader ReaderOver(Chunks& chunks) {
    return ReplyReader([&chunks](char* b, size_t n) { return chunks(b, n); });
}

TEST(ReplyReaderTest, LinesSplitAndMergedAcrossReceives) {
    Chunks chunks({"+O", "K 2 3", "20\r", "\n+OK 1 ", "100\r\n+OK 2 220\r\n-ERR", " no\r\n"});
    ReplyReader reader = ReaderOver(chunks);
    std::string line;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "+OK 2 320\r\n");
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "+OK 1 100\r\n");
    // Already buffered: no receive needed.
    int calls = chunks.calls;
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "+OK 2 220\r\n");
    EXPECT_EQ(chunks.calls, calls);
    ASSERT_TRUE(reader.ReadLine(line));
    EXPECT_EQ(line, "-ERR no\r\n");
    // The stream ends with an unfinished line: that is a broken stream, not a reply.
    Chunks cut({"+OK partial"});
    ReplyReader cutReader = ReaderOver(cut);
    EXPECT_FALSE(cutReader.ReadLine(line));
}

TEST(ReplyReaderTest, EndlessLineIsRefused) {
    std::deque<std::string> chunks;
    for (int i = 0; i < 3; ++i) chunks.push_back(std::string(ReplyReader::kMaxLine, 'x'));
    Chunks source(chunks);
    ReplyReader reader = ReaderOver(source);
    std::string line;
    EXPECT_FALSE(reader.ReadLine(line));
    EXPECT_LE(source.calls, 3);
}

TEST(ReplyReaderTest, SmtpReplyEndsAtItsLastLine) {
    Chunks chunks({"250-localhost\r\n250-SIZE 33554432\r\n250-8BIT", "MIME\r\n250 HELP\r\n334 VXNl",
                   "cm5hbWU6\r\n"});
    ReplyReader reader = ReaderOver(chunks);
    std::string reply;
    ASSERT_TRUE(reader.ReadSmtpReply(reply));
    EXPECT_EQ(reply, "250-localhost\r\n250-SIZE 33554432\r\n250-8BITMIME\r\n250 HELP\r\n");
    ASSERT_TRUE(reader.ReadSmtpReply(reply));
    EXPECT_EQ(reply, "334 VXNlcm5hbWU6\r\n");
    Chunks broken({"250-first\r\n"});
    ReplyReader brokenReader = ReaderOver(broken);
    EXPECT_FALSE(brokenReader.ReadSmtpReply(reply));
}

TEST(ReplyReaderTest, DataBlockTerminatorSplitAtEveryPosition) {
    const std::string body = "Received: x\r\nSubject: s\r\n\r\nline\r\n";
    const std::string wire = body + ".\r\n" + "+OK next\r\n";
    for (size_t cut = 1; cut < wire.size(); ++cut) {
        Chunks chunks({wire.substr(0, cut), wire.substr(cut)});
        ReplyReader reader = ReaderOver(chunks);
        std::string block;
        ASSERT_EQ(reader.ReadDataBlock(block), ReplyReader::BlockResult::kComplete) << cut;
        EXPECT_EQ(block, body.substr(0, body.size() - 2)) << cut;
        std::string line;
        ASSERT_TRUE(reader.ReadLine(line)) << cut;
        EXPECT_EQ(line, "+OK next\r\n") << cut;
    }
}

TEST(ReplyReaderTest, DataBlockInOneByteReceives) {
    const std::string wire = "a\r\n..b\r\n.\r\n";
    std::deque<std::string> bytes;
    for (char c : wire) bytes.push_back(std::string(1, c));
    Chunks chunks(bytes);
    ReplyReader reader = ReaderOver(chunks);
    std::string block;
    std::vector<size_t> seen;
    ASSERT_EQ(reader.ReadDataBlock(block, [&](size_t n) { seen.push_back(n); }),
              ReplyReader::BlockResult::kComplete);
    EXPECT_EQ(block, "a\r\n.b");
    EXPECT_EQ(seen.size(), wire.size());
    EXPECT_EQ(seen.back(), wire.size());
}

TEST(ReplyReaderTest, EmptyBlocksAndDotStuffing) {
    // The terminator line alone, and a block of one empty line.
    Chunks chunks({".\r\n\r\n.\r\n..\r\n...x\r\n.y\r\n.\r\n"});
    ReplyReader reader = ReaderOver(chunks);
    std::string block;
    ASSERT_EQ(reader.ReadDataBlock(block), ReplyReader::BlockResult::kComplete);
    EXPECT_EQ(block, "");
    ASSERT_EQ(reader.ReadDataBlock(block), ReplyReader::BlockResult::kComplete);
    EXPECT_EQ(block, "");
    // "..", "...x" and ".y" (an unstuffed dot line some servers send) at line starts.
    ASSERT_EQ(reader.ReadDataBlock(block), ReplyReader::BlockResult::kComplete);
    EXPECT_EQ(block, ".\r\n..x\r\n.y");
    EXPECT_EQ(reader.pendingSize(), 0u);

    std::string text = "..a\r\nb..c\r\n..\r\n\r\n..d";
    UnstuffDots(text);
    EXPECT_EQ(text, ".a\r\nb..c\r\n.\r\n\r\n.d");
    // A bare line feed first: the line after it is the stuffed one, the line feed stays.
    text = "\n..d\r\n..e";
    UnstuffDots(text);
    EXPECT_EQ(text, "\n.d\r\n.e");
    // A block that starts with a line end and a stuffed dot line.
    text = "\r\n..\r\n";
    UnstuffDots(text);
    EXPECT_EQ(text, "\r\n.\r\n");
}

TEST(ReplyReaderTest, DataBlockBrokenOrStopped) {
    Chunks cut({"Subject: x\r\n\r\nhalf a let"});
    ReplyReader reader = ReaderOver(cut);
    std::string block;
    EXPECT_EQ(reader.ReadDataBlock(block), ReplyReader::BlockResult::kBroken);

    Chunks slow({"a\r\n", "b\r\n", ".\r\n"});
    ReplyReader slowReader = ReaderOver(slow);
    int checks = 0;
    EXPECT_EQ(slowReader.ReadDataBlock(block, {}, [&] { return ++checks == 2; }),
              ReplyReader::BlockResult::kStopped);
    EXPECT_EQ(slow.calls, 1);
}

TEST(ReplyReaderTest, LargeBlockSearchesOnlyNewBytes) {
    // 3 MB in receives of 1000 bytes: searching the whole text after every receive would
    // look at about 4.5 GB; the reader looks at each byte about once.
    std::string line(98, 'x');
    line += "\r\n";
    std::string body;
    while (body.size() < 3'000'000) body += line;
    std::string wire = body + ".\r\n";
    std::deque<std::string> chunks;
    for (size_t i = 0; i < wire.size(); i += 1000) chunks.push_back(wire.substr(i, 1000));
    Chunks source(chunks);
    ReplyReader reader = ReaderOver(source);
    std::string block;
    ASSERT_EQ(reader.ReadDataBlock(block), ReplyReader::BlockResult::kComplete);
    EXPECT_EQ(block, body.substr(0, body.size() - 2));
    EXPECT_EQ(source.calls, static_cast<int>(chunks.size()));
    EXPECT_LE(reader.lastSearchBytes(), wire.size() + 4 * chunks.size());
    EXPECT_GE(reader.lastSearchBytes(), body.size());
}

}  // namespace
}  // namespace korvo
