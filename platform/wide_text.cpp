#include "platform/wide_text.h"

#include <cstdint>

namespace korvo {
namespace {

constexpr uint32_t kRawByteBase = 0xF700;  // raw byte b shows as U+F700 + b (b >= 0x80)

bool IsRawByteChar(uint32_t cp) {
    return cp >= kRawByteBase + 0x80 && cp <= kRawByteBase + 0xFF;
}

// Length of the valid UTF-8 sequence at `s[i]` and its code point, or 0 when invalid.
size_t DecodeUtf8(std::string_view s, size_t i, uint32_t* cp) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t b0 = byte(i);
    if (b0 < 0x80) {
        *cp = b0;
        return 1;
    }
    size_t len;
    uint32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, min = 0x80, *cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, min = 0x800, *cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, min = 0x10000, *cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (s.size() - i < len) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        *cp = (*cp << 6) | (byte(i + k) & 0x3F);
    }
    if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
    if (IsRawByteChar(*cp)) return 0;  // keep exact
    return len;
}

}  // namespace

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::wstring WideFromBytes(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        const size_t len = DecodeUtf8(bytes, i, &cp);
        if (len == 0) {
            cp = kRawByteBase + static_cast<uint8_t>(bytes[i]);
            i += 1;
        } else {
            i += len;
        }
        out.push_back(static_cast<wchar_t>(cp));
    }
    return out;
}

std::string BytesFromWide(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        const uint32_t cp = static_cast<uint32_t>(c);
        if (IsRawByteChar(cp)) {
            out.push_back(static_cast<char>(cp - kRawByteBase));
        } else if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            AppendUtf8(out, 0xFFFD);  // not a character: the replacement character
        } else {
            AppendUtf8(out, cp);
        }
    }
    return out;
}

}  // namespace korvo
