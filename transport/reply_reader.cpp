#include "transport/reply_reader.h"

#include <cstring>

namespace korvo {

bool ReplyReader::ReceiveInto(std::string& to) {
    if (Clock::now() >= deadline_) return false;
    // Into a buffer of its own: growing `to` by a whole chunk first would clear the chunk's
    // bytes on every receive, however few arrive.
    if (!scratch_) scratch_ = std::make_unique<char[]>(kChunk);
    const long n = source_(scratch_.get(), kChunk);
    if (n <= 0) return false;
    to.append(scratch_.get(), static_cast<size_t>(n));
    return true;
}

bool ReplyReader::ReadLine(std::string& line) {
    StartReply();
    return NextLine(line);
}

bool ReplyReader::NextLine(std::string& line) {
    size_t scanned = 0;
    for (;;) {
        size_t lf = pending_.find('\n', scanned);
        if (lf != std::string::npos) {
            line.assign(pending_, 0, lf + 1);
            pending_.erase(0, lf + 1);
            return true;
        }
        scanned = pending_.size();
        if (scanned > kMaxLine || !ReceiveInto(pending_)) return false;
    }
}

bool ReplyReader::ReadSmtpReply(std::string& reply) {
    StartReply();
    reply.clear();
    std::string line;
    for (;;) {
        if (!NextLine(line)) return false;
        reply += line;
        if (line.size() < 4 || line[3] != '-') return true;
        if (reply.size() > kMaxLine) return false;
    }
}

ReplyReader::BlockResult ReplyReader::ReadDataBlock(std::string& block, const Progress& progress,
                                                    const StopCheck& stop, size_t keep,
                                                    size_t drain) {
    static constexpr char kTerminator[] = "\r\n.\r\n";
    static constexpr size_t kTermLen = 5;
    StartReply();
    block.clear();
    block.swap(pending_);
    size_t searchFrom = 0;
    size_t dropped = 0;  // bytes of a block too large to keep, read and thrown away
    lastSearchBytes_ = 0;
    for (;;) {
        // An empty block is the terminator line alone, with no line end before it.
        if (dropped == 0 && block.size() >= 3 && std::memcmp(block.data(), ".\r\n", 3) == 0) {
            pending_.assign(block, 3, std::string::npos);
            block.clear();
            return BlockResult::kComplete;
        }
        lastSearchBytes_ += block.size() - searchFrom;
        size_t at = block.find(kTerminator, searchFrom, kTermLen);
        if (at != std::string::npos) {
            pending_.assign(block, at + kTermLen, std::string::npos);
            if (dropped > 0 || at > keep) {
                block.clear();
                return BlockResult::kTooLarge;
            }
            block.resize(at);
            UnstuffDots(block);
            return BlockResult::kComplete;
        }
        // The terminator may straddle this chunk and the next.
        searchFrom = block.size() >= kTermLen - 1 ? block.size() - (kTermLen - 1) : 0;
        if ((dropped > 0 || block.size() > keep) && searchFrom > 0) {
            // Too large to keep: only the bytes that may begin the terminator stay.
            dropped += searchFrom;
            block.erase(0, searchFrom);
            searchFrom = 0;
            if (dropped > drain) {
                block.clear();
                return BlockResult::kBroken;
            }
        }
        if (stop && stop()) return BlockResult::kStopped;
        if (!ReceiveInto(block)) return BlockResult::kBroken;
        if (progress) progress(dropped + block.size());
    }
}

void UnstuffDots(std::string& block) {
    // Drops the first dot of each ".." that starts a line, moving the spans between them.
    size_t in = 0;
    size_t out = 0;
    // Index of the first dot to drop: at the very start, or after the first line feed (which
    // may itself be the block's first byte).
    size_t cut = 0;
    if (block.compare(0, 2, "..") != 0) {
        cut = block.find("\n..");
        if (cut == std::string::npos) return;
        cut += 1;
    }
    while (cut != std::string::npos) {
        if (out != in) std::memmove(block.data() + out, block.data() + in, cut - in);
        out += cut - in;
        in = cut + 1;
        size_t next = block.find("\n..", in);
        cut = next == std::string::npos ? next : next + 1;
    }
    std::memmove(block.data() + out, block.data() + in, block.size() - in);
    out += block.size() - in;
    block.resize(out);
}

}  // namespace korvo
