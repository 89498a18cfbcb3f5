// Server replies are untrusted: whatever the bytes and however they are split into receives,
// the reader must return what a plain reading of the whole stream gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "transport/reply_reader.h"

using namespace korvo;

namespace {

// The data block as read from the whole stream at once, restored line by line.
bool PlainBlock(const std::string& stream, std::string& block, std::string& rest) {
    size_t end;
    size_t skip;
    if (stream.compare(0, 3, ".\r\n") == 0) {
        end = 0;
        skip = 3;
    } else {
        end = stream.find("\r\n.\r\n");
        if (end == std::string::npos) return false;
        skip = end + 5;
    }
    std::string raw = stream.substr(0, end);
    block.clear();
    bool lineStart = true;
    for (size_t i = 0; i < raw.size(); ++i) {
        // Only the first dot of a line is the stuffed one.
        if (lineStart && raw[i] == '.' && i + 1 < raw.size() && raw[i + 1] == '.') {
            lineStart = false;
            continue;
        }
        block += raw[i];
        lineStart = raw[i] == '\n';
    }
    rest = stream.substr(skip);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t chunk = 1 + data[0] % 64;
    const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);
    size_t offset = 0;
    ReplyReader reader([&](char* buffer, size_t want) -> long {
        if (offset >= stream.size()) return -1;
        size_t n = std::min({want, chunk, stream.size() - offset});
        std::memcpy(buffer, stream.data() + offset, n);
        offset += n;
        return static_cast<long>(n);
    });

    std::string expected, rest, block;
    const bool complete = PlainBlock(stream, expected, rest);
    ReplyReader::BlockResult result = reader.ReadDataBlock(block);
    if (complete != (result == ReplyReader::BlockResult::kComplete)) std::abort();
    if (!complete) return 0;
    if (block != expected) std::abort();

    // The bytes after the block are still there, in order.
    std::string line;
    size_t lf = rest.find('\n');
    bool gotLine = reader.ReadLine(line);
    if (gotLine != (lf != std::string::npos)) std::abort();
    if (gotLine && line != rest.substr(0, lf + 1)) std::abort();
    return 0;
}
