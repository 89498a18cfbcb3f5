#include "content/composer_text.h"

#include <array>
#include <cstdint>

#include "content/mail_header.h"
#include "platform/wide_text.h"

namespace korvo {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// A character reference's code point as UTF-8; one that is no character becomes U+FFFD.
void AppendReferenced(uint32_t code, std::string& out) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
    AppendUtf8(out, code);
}

struct NamedReference {
    std::string_view name;
    uint32_t code;
};
constexpr std::array<NamedReference, 8> kNamed = {{{"amp", '&'},
                                                   {"lt", '<'},
                                                   {"gt", '>'},
                                                   {"quot", '"'},
                                                   {"apos", '\''},
                                                   {"nbsp", 0xA0},
                                                   {"copy", 0xA9},
                                                   {"hellip", 0x2026}}};

// Decodes the character reference at `html[at]` ("&...;") into `out`; returns the length it
// used, 0 when it is none (the "&" then stands for itself).
size_t DecodeReference(std::string_view html, size_t at, std::string& out) {
    const size_t semi = html.find(';', at);
    if (semi == std::string_view::npos || semi - at > 10) return 0;
    const std::string_view body = html.substr(at + 1, semi - at - 1);
    if (body.size() > 1 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        uint32_t code = 0;
        for (const char c : digits) {
            int value;
            if (c >= '0' && c <= '9') {
                value = c - '0';
            } else if (hex && AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f') {
                value = AsciiLower(c) - 'a' + 10;
            } else {
                return 0;
            }
            code = code * (hex ? 16 : 10) + static_cast<uint32_t>(value);
            if (code > 0x10FFFF) code = 0x110000;  // stays out of range, no overflow
        }
        AppendReferenced(code, out);
        return semi - at + 1;
    }
    for (const NamedReference& named : kNamed) {
        if (body == named.name) {
            AppendReferenced(named.code, out);
            return semi - at + 1;
        }
    }
    return 0;
}

// Blocks start and end on a line of their own; a <br> always ends a line.
enum class Break { kNone, kBlock, kLine };

Break BreakOf(std::string_view name) {
    if (name == "br" || name == "br/") return Break::kLine;
    if (!name.empty() && name[0] == '/') name.remove_prefix(1);
    static constexpr std::array<std::string_view, 14> kBlocks = {
        "p",  "div", "tr", "li", "ul", "ol", "table",
        "h1", "h2",  "h3", "h4", "h5", "h6", "blockquote"};
    for (const std::string_view b : kBlocks) {
        if (name == b) return Break::kBlock;
    }
    return Break::kNone;
}

}  // namespace

std::string HtmlToText(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    bool pendingBlank = false;
    auto lineEnd = [&] {
        // Trailing blanks of a line say nothing.
        while (!out.empty() && out.back() == ' ') out.pop_back();
        out += "\r\n";
        pendingBlank = false;
    };
    size_t i = 0;
    while (i < html.size()) {
        const char c = html[i];
        if (c == '<') {
            if (html.substr(i, 4) == "<!--") {
                const size_t end = html.find("-->", i + 4);
                i = end == std::string_view::npos ? html.size() : end + 3;
                continue;
            }
            const size_t close = html.find('>', i + 1);
            if (close == std::string_view::npos) break;
            size_t nameEnd = i + 1;
            while (nameEnd < close && !IsSpace(html[nameEnd]) && html[nameEnd] != '>' &&
                   !(html[nameEnd] == '/' && nameEnd > i + 1))
                ++nameEnd;
            const std::string name = AsciiLowerCopy(html.substr(i + 1, nameEnd - i - 1));
            i = close + 1;
            if (name == "head" || name == "script" || name == "style" || name == "title") {
                // Their contents are not text of the letter.
                const size_t end = FindNoCase(html, "</" + name, i);
                if (end == std::string_view::npos) break;
                const size_t endClose = html.find('>', end);
                i = endClose == std::string_view::npos ? html.size() : endClose + 1;
                continue;
            }
            const Break brk = BreakOf(name);
            if (brk == Break::kLine ||
                (brk == Break::kBlock && !out.empty() && out.back() != '\n')) {
                lineEnd();
            } else if (brk == Break::kBlock) {
                pendingBlank = false;
            } else if (name == "td" || name == "th") {
                pendingBlank = !out.empty() && out.back() != '\n';
            }
            continue;
        }
        if (IsSpace(c)) {
            pendingBlank = !out.empty() && out.back() != '\n';
            ++i;
            continue;
        }
        if (pendingBlank) out += ' ';
        pendingBlank = false;
        if (c == '&') {
            const size_t used = DecodeReference(html, i, out);
            if (used > 0) {
                i += used;
                continue;
            }
        }
        out += c;
        ++i;
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

std::string LetterTextOf(const baseDataStruct* parsed) {
    const baseDataStruct* html = nullptr;
    for (const baseDataStruct* son = parsed ? parsed->firstSon() : nullptr; son;
         son = son->nextBrother()) {
        if (getinfo(son, kThisNode, "type") != "text") continue;
        const std::string style = getinfo(son, kThisNode, "style");
        if (style == "text") return std::string(getdata(son, "SDATA").value_or(""));
        if (style == "html" && !html) html = son;
    }
    return html ? HtmlToText(getdata(html, "SDATA").value_or("")) : std::string();
}

std::string QuoteText(std::string_view text, char mark) {
    std::string out(1, mark);
    out.reserve(text.size() + text.size() / 32 + 1);
    size_t start = 0;
    for (size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", start)) {
        out.append(text.substr(start, at + 2 - start));
        out += mark;
        start = at + 2;
    }
    out.append(text.substr(start));
    return out;
}

}  // namespace korvo
