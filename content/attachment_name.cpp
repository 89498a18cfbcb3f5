#include "content/attachment_name.h"

#include <algorithm>
#include <utility>

#include "platform/data_dir.h"

namespace korvo {
namespace {

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Cuts `text` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string_view CutAtCharacter(std::string_view text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && IsContinuationByte(text[end])) --end;
    return text.substr(0, end);
}

// Characters that show as nothing or as a blank, or turn the text around: Unicode spaces
// (Zs, Zl, Zp), format characters (Cf) and the few invisible marks that are neither.
bool IsInvisible(char32_t c) {
    return c == 0x00A0 || c == 0x00AD || c == 0x034F || c == 0x061C || c == 0x115F || c == 0x1160 ||
           c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202F) || (c >= 0x205F && c <= 0x206F) || c == 0x2800 ||
           c == 0x3000 || c == 0x3164 || c == 0xFEFF || c == 0xFFA0 ||
           (c >= 0xFFF9 && c <= 0xFFFB) || (c >= 0x1D173 && c <= 0x1D17A) ||
           (c >= 0xE0000 && c <= 0xE007F);
}

// The character that starts at `at` and its length in bytes; a byte that does not start a
// well-formed UTF-8 sequence stands for itself (length 1, value above any character).
std::pair<char32_t, size_t> CharacterAt(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return {0x110000, 1};
    char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (size_t i = 1; i < length; ++i) {
        if (!IsContinuationByte(text[at + i])) return {0x110000, 1};
        c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return {c, length};
}

// The length of `text` without the invisible characters, dots and spaces at its end.
size_t VisibleLength(std::string_view text) {
    size_t end = text.size();
    for (;;) {
        if (end > 0 && (text[end - 1] == '.' || text[end - 1] == ' ')) {
            --end;
            continue;
        }
        if (end == 0) return end;
        size_t start = end - 1;  // where the last character starts
        while (start > 0 && IsContinuationByte(text[start]) && end - start < 4) --start;
        const auto [c, length] = CharacterAt(text, start);
        if (length != end - start || !IsInvisible(c)) return end;
        end = start;
    }
}

// `name` without invisible characters after its last dot: what the desktop sees as the
// type must be what the name shows.
std::string WithVisibleExtension(std::string name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name;
    std::string cleaned = name.substr(0, dot + 1);
    for (size_t at = dot + 1; at < name.size();) {
        const auto [c, length] = CharacterAt(name, at);
        if (!IsInvisible(c)) cleaned.append(name, at, length);
        at += length;
    }
    return cleaned;
}

}  // namespace

std::string SafeAttachmentFileName(std::string_view name) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);

    std::string clean;
    clean.reserve(name.size());
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) continue;
        clean += c;
    }
    clean = WithVisibleExtension(std::move(clean));
    size_t first = 0;
    while (first < clean.size() && (clean[first] == '.' || clean[first] == ' ')) ++first;
    const size_t last = std::max(first, VisibleLength(clean));
    std::string_view result = std::string_view(clean).substr(first, last - first);
    if (result.empty()) return std::string(kFallbackAttachmentName);
    if (result.size() <= kMaxAttachmentNameBytes) return std::string(result);

    // Too long: shorten the stem and keep a reasonable extension.
    std::string_view extension;
    const size_t dot = result.rfind('.');
    if (dot != std::string_view::npos && dot > 0 && result.size() - dot <= 16)
        extension = result.substr(dot);
    const std::string_view stem = result.substr(0, result.size() - extension.size());
    std::string shortened(CutAtCharacter(stem, kMaxAttachmentNameBytes - extension.size()));
    while (!shortened.empty() && (shortened.back() == '.' || shortened.back() == ' '))
        shortened.pop_back();
    if (shortened.empty()) shortened = kFallbackAttachmentName;
    return shortened + std::string(extension);
}

std::string AttachmentCachePath(std::string_view name) {
    return DataDirectory() + "Cache/temp/" + SafeAttachmentFileName(name);
}

}  // namespace korvo
