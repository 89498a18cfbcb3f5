// Stored letters are sent as they are: whatever their bytes and however the sending splits
// them, the server must read back exactly the letter (line ends as CR LF) and nothing after
// it; and the envelope read from the header holds only usable addresses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "transport/reply_reader.h"
#include "transport/smtp_envelope.h"

using namespace korvo;

namespace {

std::string CrLfLines(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t split = data[0] % size;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    DataStuffer stuffer;
    std::string wire;
    stuffer.Add(std::string_view(text).substr(0, split), wire);
    stuffer.Add(std::string_view(text).substr(std::min(split, text.size())), wire);
    const std::string sent = wire + std::string(stuffer.Terminator());

    // No bare line end can reach the server.
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == '\r' && (i + 1 >= sent.size() || sent[i + 1] != '\n')) std::abort();
        if (sent[i] == '\n' && (i == 0 || sent[i - 1] != '\r')) std::abort();
    }
    // The server's reading of the data gives the letter and consumes every byte sent.
    size_t offset = 0;
    ReplyReader reader([&](char* buffer, size_t want) -> long {
        if (offset >= sent.size()) return -1;
        const size_t n = std::min<size_t>({want, sent.size() - offset, 7});
        std::memcpy(buffer, sent.data() + offset, n);
        offset += n;
        return static_cast<long>(n);
    });
    std::string block;
    if (reader.ReadDataBlock(block) != ReplyReader::BlockResult::kComplete) std::abort();
    if (reader.pendingSize() != 0 || offset != sent.size()) std::abort();
    std::string expected = CrLfLines(text);
    if (expected.size() >= 2 && expected.compare(expected.size() - 2, 2, "\r\n") == 0) {
        expected.resize(expected.size() - 2);
    }
    if (block != expected) std::abort();

    const SmtpEnvelope envelope = ReadEnvelope(text);
    if (!envelope.from.empty() && !IsEnvelopeAddress(envelope.from)) std::abort();
    for (const std::string& address : envelope.recipients) {
        if (!IsEnvelopeAddress(address)) std::abort();
    }
    return 0;
}
