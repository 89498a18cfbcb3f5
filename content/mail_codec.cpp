#include "content/mail_codec.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "platform/message_hook.h"
#include "platform/private_file.h"
#include "store/diag_log.h"

namespace korvo {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr unsigned char kNotBase64 = 255;
constexpr std::string_view kEscToDouble = "\x1b$B";
constexpr std::string_view kEscToAscii = "\x1b(B";

constexpr std::array<unsigned char, 256> MakeBase64Table() {
    std::array<unsigned char, 256> table{};
    for (auto& v : table) v = kNotBase64;
    for (size_t i = 0; i < kAlphabet.size(); ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<unsigned char>(i);
    return table;
}
constexpr std::array<unsigned char, 256> kBase64Table = MakeBase64Table();

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Cuts at the first zero byte, as a reader of a zero-terminated buffer would.
std::string_view UpToZero(std::string_view bytes) {
    const size_t zero = bytes.find('\0');
    return zero == std::string_view::npos ? bytes : bytes.substr(0, zero);
}

bool HasEscapePair(std::string_view text) {
    return text.find(kEscToDouble) != std::string_view::npos &&
           text.find(kEscToAscii) != std::string_view::npos;
}

}  // namespace

const CMailCodec& DefaultMailCodec() {
    static const CMailCodec codec;
    return codec;
}

std::string CMailCodec::EncodeBase64(std::string_view bytes) {
    std::string out;
    if (bytes.empty()) return out;
    const size_t chars = 4 * ((bytes.size() + 2) / 3);
    out.reserve(chars + 2 * (chars / 76) + 2);
    size_t lineLength = 0;
    auto put = [&](char c) {
        out += c;
        if (++lineLength == 76) {
            out += "\r\n";
            lineLength = 0;
        }
    };
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put(kAlphabet[v & 63]);
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        const uint32_t v = (in[i] << 16) | (rest == 2 ? in[i + 1] << 8 : 0);
        put(kAlphabet[(v >> 18) & 63]);
        put(kAlphabet[(v >> 12) & 63]);
        put(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
        put('=');
    }
    return out;
}

long CMailCodec::DecodeBase64(std::string_view text, std::string& out) {
    out.assign((text.size() + 3) / 4 * 3, '\0');
    char* dst = out.data();
    uint32_t acc = 0;
    int pending = 0;
    for (const char c : text) {
        const unsigned char v = kBase64Table[static_cast<unsigned char>(c)];
        if (v == kNotBase64) continue;
        acc = (acc << 6) | v;
        if (++pending == 4) {
            *dst++ = static_cast<char>(acc >> 16);
            *dst++ = static_cast<char>(acc >> 8);
            *dst++ = static_cast<char>(acc);
            acc = 0;
            pending = 0;
        }
    }
    if (pending == 2) {
        *dst++ = static_cast<char>(acc >> 4);
    } else if (pending == 3) {
        *dst++ = static_cast<char>(acc >> 10);
        *dst++ = static_cast<char>(acc >> 2);
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return static_cast<long>(out.size());
}

long CMailCodec::DecodeQuotedPrintable(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t eq = text.find('=', i);
        if (eq == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, eq - i));
        i = eq + 1;
        if (i < text.size() && text[i] == '\r') {
            i = std::min(text.size(), i + 2);  // soft line break "=" CR LF
            continue;
        }
        if (i < text.size() && text[i] == '\n') {
            ++i;  // the same break written with a bare LF
            continue;
        }
        const int high = i < text.size() ? HexValue(text[i]) : -1;
        const int low = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
        if (high < 0 || low < 0) {
            out += '=';
            continue;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return static_cast<long>(out.size());
}

long CMailCodec::Convert7Bit(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    long pairs = 0;
    size_t pos = 0;
    for (;;) {
        const size_t open = text.find(kEscToDouble, pos);
        const size_t close = text.find(kEscToAscii, pos);
        if (open == std::string_view::npos || close == std::string_view::npos || close < open)
            break;
        out.append(text.substr(pos, open - pos));
        for (size_t i = open + kEscToDouble.size(); i < close; ++i)
            out += static_cast<char>(text[i] | 0x80);
        pos = close + kEscToAscii.size();
        ++pairs;
    }
    out.append(text.substr(pos));
    return pairs;
}

std::string CMailCodec::Convert(std::string_view charset, std::string bytes) const {
    if (!converter_ || charset.empty()) return bytes;
    return converter_(charset, std::move(bytes));
}

long CMailCodec::DecodeEncodedWords(std::string_view input, std::string& result) const {
    std::string text(input);
    bool changed = false;
    for (;;) {
        // One pass over the text; decoded bytes are not scanned again, and a malformed word
        // is left as it stands with the scan moving on behind its "=?".
        std::string out;
        size_t pos = 0;
        for (;;) {
            const size_t start = text.find("=?", pos);
            if (start == std::string::npos) break;
            size_t end = text.find("?=", start + 2);
            if (end == std::string::npos) break;
            // "?Q?=D6..." : the "?=" found opens an encoded text that starts with "=".
            if (end >= 2 && text[end - 2] == '?') end = text.find("?=", end + 1);
            if (end == std::string::npos) break;

            const std::string_view word = std::string_view(text).substr(start, end + 2 - start);
            size_t marks = 0;
            for (size_t i = 1; i < word.size(); ++i) marks += word[i] == '?';
            const std::string_view inner = word.substr(2, word.size() - 4);
            const size_t charsetEnd = inner.find('?');
            const std::string_view rest = charsetEnd == std::string_view::npos
                                              ? std::string_view()
                                              : inner.substr(charsetEnd + 1);
            const char letter = rest.size() >= 2 && rest[1] == '?' ? rest[0] : '\0';
            const char* encoding = letter == 'B' || letter == 'b'   ? "base64"
                                   : letter == 'Q' || letter == 'q' ? "quoted-printable"
                                                                    : nullptr;
            if (marks != 4 || !encoding) {
                out.append(text, pos, start + 2 - pos);
                pos = start + 2;
                continue;
            }
            std::string decoded;
            DecodeContent(rest.substr(2), encoding, decoded);
            out.append(text, pos, start - pos);
            out += UpToZero(Convert(inner.substr(0, charsetEnd), std::move(decoded)));
            pos = end + 2;
            changed = true;
        }
        out.append(text, pos);
        text = std::move(out);

        // Two-byte text in 7-bit escapes: convert and look at the result again. Only a pass
        // that converted something repeats, so the loop ends.
        if (!HasEscapePair(text)) break;
        std::string converted;
        if (Convert7Bit(text, converted) == 0) break;
        text = std::move(converted);
        changed = true;
    }
    if (!changed) return -1;
    result = std::move(text);
    return static_cast<long>(result.size());
}

long CMailCodec::DecodeContent(std::string_view in, std::string_view encoding,
                               std::string& out) const {
    const std::string name = Lower(encoding);
    if (name == "subject") return DecodeEncodedWords(in, out);
    if (name == "7bit") {
        Convert7Bit(in, out);
        return static_cast<long>(out.size());
    }
    if (name == "base64") return DecodeBase64(in, out);
    if (name == "quoted-printable") return DecodeQuotedPrintable(in, out);
    return -1;
}

std::string CMailCodec::DecodeText(std::string_view text, std::string_view encoding,
                                   std::string_view charset) const {
    const size_t blank = text.find("\r\n\r\n");
    if (blank != std::string_view::npos) text.remove_prefix(blank + 4);
    std::string decoded;
    std::string result;
    if (DecodeContent(text, encoding, decoded) < 0) {
        result.assign(text);
    } else {
        result.assign(UpToZero(decoded));
    }
    result = Convert(charset, std::move(result));

    size_t highRun = 0;
    while (highRun < result.size() &&
           static_cast<unsigned char>(result[result.size() - 1 - highRun]) >= 0x80)
        ++highRun;
    if (result.size() > 1 && highRun % 2 == 1) result += ' ';
    return result;
}

namespace {

// Both forms: the log lines, the decoding, and `write` given the decoded bytes.
bool AttachmentToFile(std::string_view part, const std::string& path,
                      std::string_view transferEncoding, const CMailCodec& codec,
                      const std::function<bool(std::string_view)>& write) {
    LogLine(DiagLog::kMessage,
            "++CDataManage::SysMailAttachmentToFile(block=... , filename=%s , "
            "transferEncodingStr=%.*s) begin",
            path.c_str(), static_cast<int>(transferEncoding.size()), transferEncoding.data());
    const size_t blank = part.find("\r\n\r\n");
    if (blank != std::string_view::npos) part.remove_prefix(blank + 4);
    std::string decoded;
    bool written = false;
    if (codec.DecodeContent(part, transferEncoding, decoded) < 0) {
        ShowMessage("Error on save file!");
    } else {
        written = write(decoded);
    }
    LogLine(DiagLog::kMessage, "--CDataManage::SysMailAttachmentToFile over");
    return written;
}

}  // namespace

void SysMailAttachmentToFile(std::string_view part, const std::string& path,
                             std::string_view transferEncoding, const CMailCodec& codec) {
    AttachmentToFile(part, path, transferEncoding, codec, [&](std::string_view bytes) {
        FILE* file = std::fopen(path.c_str(), "wb+");
        if (!file) return false;
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        return std::fclose(file) == 0;
    });
}

bool SysMailAttachmentToFile(std::string_view part, int fd, const std::string& path,
                             std::string_view transferEncoding, const CMailCodec& codec) {
    return AttachmentToFile(part, path, transferEncoding, codec,
                            [fd](std::string_view bytes) { return WriteAll(fd, bytes); });
}

}  // namespace korvo
