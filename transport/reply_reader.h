// Reads server replies from a byte stream.
//
// Replies do not line up with receive calls: a reply may arrive in several pieces, and several
// replies (or a reply and the start of the next) may arrive in one. The reader keeps what it
// has received beyond the reply it returns and hands it out first next time. Each reply must
// be complete within the reply limit, so a server that trickles bytes cannot hold a session.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace korvo {

class ReplyReader {
  public:
    // Receives up to the given count into the buffer; returns the count, or -1 when nothing
    // more will come (error, time-out, closed or cancelled connection).
    using Source = std::function<long(char* buffer, size_t size)>;

    // Every receive asks for up to this many bytes.
    static constexpr size_t kChunk = 102400;
    // A reply line longer than this is not a reply: the stream is treated as broken.
    static constexpr size_t kMaxLine = 102400;

    using Clock = std::chrono::steady_clock;

    explicit ReplyReader(Source source) : source_(std::move(source)) {}

    // Time a whole reply (a line, a multi-line reply, a data block) may take.
    void SetReplyLimit(Clock::duration limit) { replyLimit_ = limit; }
    // When the reply being read must be complete; a source should not wait beyond it.
    Clock::time_point deadline() const { return deadline_; }

    // One line ending in LF (normally CRLF), the line end included. False when the stream ends
    // first or the line grows beyond kMaxLine.
    bool ReadLine(std::string& line);

    // A reply of the mail-sending protocol: lines "250-..." continue it, the first line whose
    // fourth character is not '-' ends it. All lines with their line ends.
    bool ReadSmtpReply(std::string& reply);

    // Called after each receive of a data block with the count of block bytes so far.
    using Progress = std::function<void(size_t received)>;
    // Tells whether to stop collecting before the next receive.
    using StopCheck = std::function<bool()>;

    // kTooLarge: the block grew beyond `keep` and was read to its end without being kept;
    // the stream is still in step. kBroken also when it grew beyond `drain`.
    enum class BlockResult { kComplete, kBroken, kStopped, kTooLarge };

    // The data block of a multi-line reply, after its status line: everything up to the
    // terminating line ".", with the line end before it and the terminator removed, and
    // dot-stuffed lines restored (".." at a line start becomes "."). Only the bytes new since
    // the last search (and the few before them that may begin the terminator) are searched.
    BlockResult ReadDataBlock(std::string& block, const Progress& progress = {},
                              const StopCheck& stop = {}, size_t keep = SIZE_MAX,
                              size_t drain = SIZE_MAX);

    // Forgets buffered bytes (a new connection).
    void Reset() { pending_.clear(); }
    size_t pendingSize() const { return pending_.size(); }
    // Bytes the last ReadDataBlock looked at while searching for the terminator.
    size_t lastSearchBytes() const { return lastSearchBytes_; }

  private:
    void StartReply() { deadline_ = Clock::now() + replyLimit_; }
    bool NextLine(std::string& line);
    // Appends up to kChunk received bytes to `to`; false when the source has ended.
    bool ReceiveInto(std::string& to);

    Source source_;
    std::unique_ptr<char[]> scratch_;
    std::string pending_;
    size_t lastSearchBytes_ = 0;
    Clock::duration replyLimit_ = std::chrono::minutes(5);
    Clock::time_point deadline_ = Clock::time_point::max();
};

// Restores dot-stuffed lines of a data block in place.
void UnstuffDots(std::string& block);

}  // namespace korvo
