#include "content/mail_codec.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "content/charset.h"

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
    static const CMailCodec codec(CMailCodec::Mode::kUtf8);
    return codec;
}

std::string CMailCodec::EncodeBase64Line(std::string_view bytes) {
    std::string out;
    out.reserve(4 * ((bytes.size() + 2) / 3));
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = (in[i] << 16) | (in[i + 1] << 8) | in[i + 2];
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        const uint32_t v = (in[i] << 16) | (rest == 2 ? in[i + 1] << 8 : 0);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string CMailCodec::EncodeBase64(std::string_view bytes) {
    const std::string line = EncodeBase64Line(bytes);
    std::string out;
    out.reserve(line.size() + 2 * (line.size() / 76));
    for (size_t i = 0; i < line.size(); i += 76) {
        out.append(line, i, 76);
        if (i + 76 <= line.size()) out += "\r\n";
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
    if (utf8_) return TextToUtf8(charset, bytes);
    if (!converter_ || charset.empty()) return bytes;
    return converter_(charset, std::move(bytes));
}

namespace {

constexpr size_t kMaxCharsetName = 64;

// One encoded word "=?charset?X?text?=" found at `start`.
struct EncodedWord {
    std::string_view charset;  // without a language suffix
    const char* encoding = nullptr;
    std::string_view text;
    size_t end = 0;  // just behind "?="
};

bool ParseWord(std::string_view s, size_t start, EncodedWord& w) {
    size_t i = start + 2;
    const size_t mark = s.find('?', i);
    if (mark == std::string_view::npos || mark == i || mark - i > kMaxCharsetName) return false;
    const std::string_view charset = s.substr(i, mark - i);
    for (const char c : charset)
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '=') return false;
    i = mark + 1;
    if (i + 1 >= s.size() || s[i + 1] != '?') return false;
    const char letter = s[i];
    w.encoding = letter == 'B' || letter == 'b'   ? "base64"
                 : letter == 'Q' || letter == 'q' ? "quoted-printable"
                                                  : nullptr;
    if (!w.encoding) return false;
    i += 2;
    const size_t close = s.find('?', i);
    if (close == std::string_view::npos || close + 1 >= s.size() || s[close + 1] != '=')
        return false;
    w.charset = charset.substr(0, charset.find('*'));
    if (w.charset.empty()) return false;
    w.text = s.substr(i, close - i);
    w.end = close + 2;
    return true;
}

// ASCII without the escape that starts ISO-2022 text.
bool IsPlainAscii(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80 || c == '\x1b') return false;
    return true;
}

bool IsBlankRun(std::string_view s) {
    for (const char c : s)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    return true;
}

bool SameCharset(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    return Lower(a) == Lower(b);
}

}  // namespace

long CMailCodec::DecodeEncodedWords(std::string_view input, std::string& result) const {
    // Most values hold neither words nor anything to convert.
    if (input.find("=?") == std::string_view::npos && !HasEscapePair(input) &&
        (!utf8_ || IsPlainAscii(input)))
        return -1;
    // Pieces of the value in order: literal text, or the joined bytes of a run of words of
    // one charset, which are converted together. `raw` is the run as written, which stands
    // in for it when its charset is unknown.
    struct Piece {
        bool word;
        std::string_view charset;
        std::string bytes;
        std::string_view raw;
    };
    std::vector<Piece> pieces;
    bool changed = false;
    size_t pos = 0;
    bool lastWasWord = false;
    for (size_t start = input.find("=?"); start != std::string_view::npos;
         start = input.find("=?", start + 2)) {
        EncodedWord w;
        if (!ParseWord(input, start, w)) continue;
        const std::string_view between = input.substr(pos, start - pos);
        const bool joins =
            lastWasWord && IsBlankRun(between) && SameCharset(pieces.back().charset, w.charset);
        std::string decoded;
        if (w.encoding[0] == 'q') {
            std::string text(w.text);
            for (char& c : text)
                if (c == '_') c = ' ';
            DecodeQuotedPrintable(text, decoded);
        } else {
            DecodeBase64(w.text, decoded);
        }
        if (joins) {
            Piece& run = pieces.back();
            run.bytes += decoded;
            const size_t from = static_cast<size_t>(run.raw.data() - input.data());
            run.raw = input.substr(from, w.end - from);
        } else {
            // Blanks between words of different charsets go too (they stay in the run as
            // written, for a charset that cannot be read).
            const bool dropBlanks = lastWasWord && IsBlankRun(between);
            if (!dropBlanks && !between.empty())
                pieces.push_back({false, {}, std::string(between), between});
            const size_t from = dropBlanks ? pos : start;
            pieces.push_back(
                {true, w.charset, std::move(decoded), input.substr(from, w.end - from)});
        }
        pos = w.end;
        start = w.end - 2;
        lastWasWord = true;
        changed = true;
    }
    if (pos < input.size())
        pieces.push_back({false, {}, std::string(input.substr(pos)), input.substr(pos)});

    std::string text;
    for (Piece& piece : pieces) {
        if (piece.word && utf8_) {
            std::optional<std::string> converted = CharsetToUtf8(piece.charset, piece.bytes);
            // An unknown charset leaves its words as they were written.
            text += converted ? std::string(UpToZero(*converted)) : UndeclaredToUtf8(piece.raw);
        } else if (piece.word) {
            text += UpToZero(Convert(piece.charset, std::move(piece.bytes)));
        } else if (utf8_) {
            std::string converted = UndeclaredToUtf8(piece.bytes);
            changed = changed || converted != piece.bytes;
            text += converted;
        } else {
            text += piece.bytes;
        }
    }
    // Two-byte text in 7-bit escapes, in the byte form only: converting to UTF-8 reads such
    // text as ISO-2022-JP instead. A pass only repeats when it converted something.
    while (!utf8_ && HasEscapePair(text)) {
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
        if (utf8_) {
            out.assign(in);
            return static_cast<long>(out.size());
        }
        Convert7Bit(in, out);
        return static_cast<long>(out.size());
    }
    if (name == "base64") return DecodeBase64(in, out);
    if (name == "quoted-printable") return DecodeQuotedPrintable(in, out);
    return -1;
}

std::string CMailCodec::Decoded(std::string_view text, std::string_view encoding) const {
    const size_t blank = text.find("\r\n\r\n");
    if (blank != std::string_view::npos) text.remove_prefix(blank + 4);
    std::string decoded;
    if (DecodeContent(text, encoding, decoded) < 0) return std::string(text);
    return std::string(UpToZero(decoded));
}

std::string CMailCodec::DecodeText(std::string_view text, std::string_view encoding,
                                   std::string_view charset) const {
    std::string result = Decoded(text, encoding);
    // A header value was converted word by word.
    if (Lower(encoding) == "subject" && (utf8_ || charset.empty())) return result;
    return Convert(charset, std::move(result));
}

std::string CMailCodec::DecodeBody(std::string_view part, std::string_view encoding,
                                   std::string_view charset, bool html) const {
    if (!utf8_ || !charset.empty() || !html) return DecodeText(part, encoding, charset);
    const std::string bytes = Decoded(part, encoding);
    return TextToUtf8(HtmlDeclaredCharset(bytes), bytes);
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
