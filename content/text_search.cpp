#include "content/text_search.h"

#include <locale.h>
#include <wctype.h>

#include "platform/wide_text.h"

namespace korvo {
namespace {

// The C library's UTF-8 tables know the case of every script; the process locale may be "C".
locale_t Utf8Locale() {
    static const locale_t locale = [] {
        locale_t made = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        return made ? made : ::newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(0));
    }();
    return locale;
}

// Decodes one UTF-8 character at `text[i]`; 0 when the bytes there are not one.
size_t DecodeOne(std::string_view text, size_t i, char32_t* code) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length;
    char32_t value;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *code = value;
    return length;
}

}  // namespace

std::string FoldCase(std::string_view text) {
    std::string out;
    AppendFolded(text, out);
    return out;
}

void AppendFolded(std::string_view text, std::string& out) {
    out.reserve(out.size() + text.size());
    const locale_t locale = Utf8Locale();
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            // The common case, a run of ASCII, without the tables and written in one piece:
            // bodies of several kilobytes are folded for every letter the find window reads.
            size_t end = i + 1;
            while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) ++end;
            const size_t at = out.size();
            out.resize(at + (end - i));
            for (size_t k = i; k < end; ++k) {
                const char c = text[k];
                out[at + (k - i)] = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
            }
            i = end;
            continue;
        }
        char32_t code = 0;
        const size_t length = DecodeOne(text, i, &code);
        if (length == 0) {
            out += text[i++];
            continue;
        }
        AppendUtf8(out, static_cast<uint32_t>(::towlower_l(static_cast<wint_t>(code), locale)));
        i += length;
    }
}

WordSearch::WordSearch(std::string_view words) {
    const std::string folded = FoldCase(words);
    size_t i = 0;
    while (i < folded.size()) {
        const size_t start = folded.find_first_not_of(" \t\r\n", i);
        if (start == std::string::npos) break;
        size_t end = folded.find_first_of(" \t\r\n", start);
        if (end == std::string::npos) end = folded.size();
        words_.push_back(folded.substr(start, end - start));
        i = end;
    }
}

bool WordSearch::MatchesFolded(const std::vector<std::string>& foldedTexts) const {
    for (const std::string& word : words_) {
        bool found = false;
        for (const std::string& text : foldedTexts) {
            if (text.find(word) != std::string::npos) {
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

bool WordSearch::MatchesFoldedText(std::string_view folded) const {
    for (const std::string& word : words_)
        if (folded.find(word) == std::string_view::npos) return false;
    return true;
}

bool WordSearch::Narrows(const WordSearch& before) const {
    for (const std::string& old : before.words_) {
        bool within = false;
        for (const std::string& word : words_)
            within = within || word.find(old) != std::string::npos;
        if (!within) return false;
    }
    return true;
}

bool WordSearch::Matches(const std::vector<std::string_view>& texts) const {
    if (words_.empty()) return true;
    std::vector<std::string> folded;
    folded.reserve(texts.size());
    for (std::string_view text : texts) folded.push_back(FoldCase(text));
    return MatchesFolded(folded);
}

}  // namespace korvo
