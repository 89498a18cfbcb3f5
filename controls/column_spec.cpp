#include "controls/column_spec.h"

#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>

#include "store/node.h"

namespace korvo {
namespace {

constexpr std::string_view kItemSep = " ,";
constexpr std::string_view kWidthSep = " =";
constexpr std::string_view kAlignSep = " :";

std::string_view Trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

int ParseWidth(std::string_view text) {
    const long width = TextToLong(Trim(text));  // saturates instead of overflowing
    if (width < 0) return 0;
    if (width > kMaxColumnWidth) return kMaxColumnWidth;
    return static_cast<int>(width);
}

ColumnAlign ParseAlign(std::string_view text) {
    std::string word(Trim(text));
    for (char& c : word) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (word == "CENTER") return ColumnAlign::kCenter;
    if (word == "RIGHT") return ColumnAlign::kRight;
    return ColumnAlign::kLeft;
}

// A decimal integer that "%d" prints back byte for byte.
bool ReadsAsInt(std::string_view text, long long* value) {
    if (text.empty() || text.size() > 11) return false;
    int parsed = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, parsed);
    if (ec != std::errc() || ptr != end) return false;
    char buf[16];
    const auto printed = std::to_chars(buf, buf + sizeof buf, parsed);
    if (std::string_view(buf, static_cast<size_t>(printed.ptr - buf)) != text) return false;
    *value = parsed;
    return true;
}

}  // namespace

std::vector<std::string_view> SplitText(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const size_t at = text.find(separator);
        if (at == std::string_view::npos) break;
        pieces.push_back(text.substr(0, at));
        text.remove_prefix(at + separator.size());
    }
    pieces.push_back(text);
    return pieces;
}

ColumnItem ParseColumnItem(std::string_view item) {
    ColumnItem out;
    const size_t eq = item.find(kWidthSep);
    const size_t colon = item.find(kAlignSep, eq == std::string_view::npos ? 0 : eq);
    out.title = decodeinfo(item.substr(0, eq != std::string_view::npos ? eq : colon));
    if (eq != std::string_view::npos) {
        out.hasWidth = true;
        const size_t from = eq + kWidthSep.size();
        out.width = ParseWidth(colon == std::string_view::npos ? item.substr(from)
                                                               : item.substr(from, colon - from));
    }
    if (colon != std::string_view::npos) {
        out.hasAlign = true;
        out.align = ParseAlign(item.substr(colon + kAlignSep.size()));
    }
    return out;
}

std::vector<RowPiece> ParseRowTexts(std::string_view texts) {
    std::vector<RowPiece> out;
    long column = 0;
    for (std::string_view piece : SplitText(texts, kItemSep)) {
        size_t digits = 0;
        while (digits < piece.size() && piece[digits] >= '0' && piece[digits] <= '9') ++digits;
        if (digits > 0 && piece.substr(digits, kAlignSep.size()) == kAlignSep) {
            column = TextToLong(piece.substr(0, digits));
            piece.remove_prefix(digits + kAlignSep.size());
        }
        out.push_back({column, decodeinfo(piece)});
        if (column < LONG_MAX) ++column;
    }
    return out;
}

std::vector<std::string> UnpackCells(std::string_view packed) {
    std::vector<std::string> cells;
    size_t at = 0;
    while (packed.size() - at >= 4) {
        const auto* p = reinterpret_cast<const unsigned char*>(packed.data() + at);
        const int32_t length = static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 |
                                                    uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24);
        if (length <= 0) break;
        const size_t size = static_cast<size_t>(length);
        if (size > packed.size() - at - 4) break;
        const std::string_view bytes = packed.substr(at + 4, size);
        cells.emplace_back(bytes.substr(0, bytes.find('\0')));
        at += 4 + size;
    }
    return cells;
}

std::string PackCells(const std::vector<std::string>& cells) {
    std::string out;
    for (const std::string& cell : cells) {
        const uint32_t length = static_cast<uint32_t>(cell.size() + 1);
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<char>(length >> shift));
        out += cell;
        out.push_back('\0');
    }
    return out;
}

int CompareCells(std::string_view a, std::string_view b) {
    long long x = 0;
    long long y = 0;
    if (ReadsAsInt(a, &x) && ReadsAsInt(b, &y)) return x < y ? -1 : (x > y ? 1 : 0);
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace korvo
