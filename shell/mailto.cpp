#include "shell/mailto.h"

#include <cstdint>

#include "content/mail_header.h"

namespace korvo {
namespace {

constexpr std::string_view kScheme = "mailto:";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t length;
        uint32_t code;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode.
        static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kMin[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::optional<std::string> Decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(text[i + 1]);
        const int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (!IsUtf8(out)) return std::nullopt;
    return out;
}

// One line: line breaks and tabs become blanks, other control bytes go.
std::string OneLine(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n' || c == '\t') {
            out += ' ';
        } else if (u >= 0x20 && u != 0x7F) {
            out += c;
        }
    }
    return std::string(TrimWhite(out));
}

// CR LF line ends whatever the link used; control bytes but tabs go.
std::string BodyText(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\t' || (u >= 0x20 && u != 0x7F)) {
            out += c;
        }
    }
    return out;
}

void Join(std::string& list, const std::string& more) {
    if (more.empty()) return;
    if (!list.empty()) list += ", ";
    list += more;
}

}  // namespace

bool IsMailtoLink(std::string_view text) {
    return text.size() >= kScheme.size() &&
           AsciiLowerCopy(text.substr(0, kScheme.size())) == kScheme;
}

std::optional<MailtoLink> ParseMailto(std::string_view link) {
    if (!IsMailtoLink(link)) return std::nullopt;
    link.remove_prefix(kScheme.size());
    // A fragment is no part of the link's fields.
    link = link.substr(0, link.find('#'));
    const size_t question = link.find('?');
    MailtoLink out;
    const std::optional<std::string> path = Decode(link.substr(0, question));
    if (!path) return std::nullopt;
    Join(out.to, OneLine(*path));
    bool haveSubject = false, haveBody = false;
    std::string_view query =
        question == std::string_view::npos ? std::string_view() : link.substr(question + 1);
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view field = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const size_t equals = field.find('=');
        const std::optional<std::string> name = Decode(field.substr(0, equals));
        const std::optional<std::string> value = Decode(
            equals == std::string_view::npos ? std::string_view() : field.substr(equals + 1));
        if (!name || !value) return std::nullopt;
        const std::string key = AsciiLowerCopy(*name);
        if (key == "to") {
            Join(out.to, OneLine(*value));
        } else if (key == "cc") {
            Join(out.cc, OneLine(*value));
        } else if (key == "subject" && !haveSubject) {
            out.subject = OneLine(*value);
            haveSubject = true;
        } else if (key == "body" && !haveBody) {
            out.body = BodyText(*value);
            haveBody = true;
        }
    }
    return out;
}

}  // namespace korvo
