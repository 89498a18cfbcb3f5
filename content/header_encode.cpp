#include "content/header_encode.h"

#include <vector>

#include "content/charset.h"
#include "content/mail_codec.h"

namespace korvo {
namespace {

constexpr std::string_view kWordStart = "=?UTF-8?B?";
constexpr std::string_view kWordEnd = "?=";
constexpr size_t kWordFrame = 12;  // kWordStart + kWordEnd
// A word must hold at least one character of up to four bytes.
constexpr size_t kMinWord = kWordFrame + 8;

// Puts tokens on lines of at most `limit`, folding between tokens where needed. The limit
// is kept one below kMaxHeaderLine where a separator or quote may follow a token.
class Folder {
  public:
    explicit Folder(std::string_view prefix, size_t limit = kMaxHeaderLine)
        : line_(prefix.size()), limit_(limit) {}

    void Put(std::string_view token) {
        if (!first_ && line_ + 1 + token.size() > limit_) {
            out_ += "\r\n ";
            line_ = 1;
        } else if (!first_) {
            out_ += ' ';
            ++line_;
        }
        out_ += token;
        line_ += token.size();
        first_ = false;
    }

    // Room for the next token on this line, or on a new one when too little is left.
    size_t Room() const {
        const size_t used = line_ + (first_ ? 0 : 1);
        const size_t room = used < limit_ ? limit_ - used : 0;
        return std::min(room >= kMinWord ? room : limit_ - 1, kMaxEncodedWord);
    }

    // Sticks text to the end of the last token (a list separator).
    void Append(std::string_view text) {
        out_ += text;
        line_ += text.size();
    }

    std::string Take() { return std::move(out_); }

  private:
    std::string out_;
    size_t line_;
    size_t limit_;
    bool first_ = true;
};

// `text` as encoded words, each as large as the line it lands on allows.
void PutWords(Folder& folder, std::string_view text) {
    while (!text.empty()) {
        const size_t maxBytes = (folder.Room() - kWordFrame) / 4 * 3;
        size_t take = Utf8CutLength(text, maxBytes);
        if (take == 0) take = std::min(text.size(), maxBytes);  // not UTF-8: cut anywhere
        std::string word(kWordStart);
        for (const char c : CMailCodec::EncodeBase64(text.substr(0, take)))
            if (c != '\r' && c != '\n') word += c;
        word += kWordEnd;
        folder.Put(word);
        text.remove_prefix(take);
    }
}

void PutAtoms(Folder& folder, std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t space = text.find(' ', pos);
        const size_t end = space == std::string_view::npos ? text.size() : space;
        if (end > pos) folder.Put(text.substr(pos, end - pos));
        pos = end + 1;
    }
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsAttrChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos;
}

}  // namespace

bool IsAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

std::string EncodeUnstructured(std::string_view prefix, std::string_view value) {
    if (IsAscii(value)) return std::string(value);
    Folder folder(prefix);
    PutWords(folder, value);
    return folder.Take();
}

std::string EncodeAddressList(std::string_view prefix, std::string_view value) {
    if (IsAscii(value)) return std::string(value);
    Folder folder(prefix, kMaxHeaderLine - 1);
    bool quoted = false;
    int angle = 0;
    size_t start = 0;
    for (size_t i = 0; i <= value.size(); ++i) {
        const char c = i < value.size() ? value[i] : ',';
        if (c == '"') quoted = !quoted;
        if (!quoted && c == '<') ++angle;
        if (!quoted && c == '>' && angle > 0) --angle;
        const bool separator =
            i == value.size() || (!quoted && angle == 0 && (c == ',' || c == ';'));
        if (!separator) continue;
        const std::string_view address = Trim(value.substr(start, i - start));
        const size_t open = address.rfind('<');
        std::string_view name =
            open == std::string_view::npos ? std::string_view() : Trim(address.substr(0, open));
        if (!IsAscii(name)) {
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
                name = name.substr(1, name.size() - 2);
            PutWords(folder, name);
            folder.Put(address.substr(open));
        } else {
            // ASCII names, and bare addresses (which may hold UTF-8, RFC 6532), as written.
            PutAtoms(folder, address);
        }
        if (i < value.size()) folder.Append(std::string_view(&value[i], 1));
        start = i + 1;
    }
    return folder.Take();
}

std::string EncodeExtendedParam(std::string_view key, std::string_view value) {
    std::string encoded = "UTF-8''";
    for (const char c : value) {
        if (IsAttrChar(c)) {
            encoded += c;
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            encoded += '%';
            encoded += kHex[static_cast<unsigned char>(c) >> 4];
            encoded += kHex[static_cast<unsigned char>(c) & 15];
        }
    }
    // " key*NN*=" and ";" leave this much of a line for the value.
    const size_t room = kMaxHeaderLine - key.size() - 8;
    if (encoded.size() <= room) return ";\r\n " + std::string(key) + "*=" + encoded;
    std::string out;
    size_t pos = 0;
    for (int section = 0; pos < encoded.size(); ++section) {
        size_t take = std::min(room, encoded.size() - pos);
        // Never split a %XX escape.
        if (pos + take < encoded.size()) {
            if (encoded[pos + take - 1] == '%')
                take -= 1;
            else if (take >= 2 && encoded[pos + take - 2] == '%')
                take -= 2;
        }
        out += ";\r\n " + std::string(key) + "*" + std::to_string(section) +
               "*=" + encoded.substr(pos, take);
        pos += take;
    }
    return out;
}

std::string EncodeWordParam(std::string_view key, std::string_view value) {
    const std::string prefix = " " + std::string(key) + "=\"";
    Folder folder(prefix, kMaxHeaderLine - 1);
    PutWords(folder, value);
    return ";\r\n" + prefix + folder.Take() + "\"";
}

}  // namespace korvo
