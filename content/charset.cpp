#include "content/charset.h"

#include <errno.h>
#include <iconv.h>

#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>

#include "store/diag_log.h"

namespace korvo {
namespace {

constexpr size_t kMaxNameLength = 40;
constexpr size_t kMaxIdleConverters = 4;
constexpr size_t kMaxLoggedNames = 256;
constexpr size_t kMetaScanBytes = 1024;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Labels that name a set but mean its superset, as senders have always written them.
struct Alias {
    std::string_view label;
    std::string_view iconvName;
};
constexpr Alias kAliases[] = {
    {"gb2312", "GB18030"},
    {"gbk", "GB18030"},
    {"x-gbk", "GB18030"},
    {"cp936", "GB18030"},
    {"euc-cn", "GB18030"},
    {"x-euc-cn", "GB18030"},
    {"shift_jis", "CP932"},
    {"shift-jis", "CP932"},
    {"sjis", "CP932"},
    {"x-sjis", "CP932"},
    {"ms_kanji", "CP932"},
    {"windows-31j", "CP932"},
    {"euc-kr", "CP949"},
    {"ks_c_5601-1987", "CP949"},
    {"ks_c_5601", "CP949"},
    {"ksc5601", "CP949"},
    {"windows-949", "CP949"},
    {"utf8", "UTF-8"},
    {"unicode-1-1-utf-7", "UTF-7"},
    {"x-mac-roman", "MACINTOSH"},
    {"tis-620", "CP874"},
};

// Labels of 8-bit Latin text that browsers read as windows-1252 when C1 bytes occur.
constexpr std::string_view kLatin1Labels[] = {
    "iso-8859-1", "iso8859-1", "iso_8859-1",     "latin1", "l1",
    "us-ascii",   "ascii",     "ansi_x3.4-1968", "cp819"};

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' ||
           c == ':' || c == '+';
}

// Lower case, without quotes, blanks or a language suffix; empty when it cannot be a name.
std::string NormalName(std::string_view name) {
    while (!name.empty() && (name.front() == ' ' || name.front() == '"' || name.front() == '\''))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '"' || name.back() == '\''))
        name.remove_suffix(1);
    name = name.substr(0, name.find('*'));
    if (name.empty() || name.size() > kMaxNameLength) return {};
    std::string out;
    for (const char c : name) {
        const char l = Lower(c);
        if (!IsNameChar(l)) return {};
        out += l;
    }
    return out;
}

bool IsLatin1Label(std::string_view normal) {
    for (const std::string_view label : kLatin1Labels)
        if (normal == label) return true;
    return false;
}

bool HasC1Bytes(std::string_view bytes) {
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b <= 0x9F) return true;
    }
    return false;
}

// The iconv name for a normalised label and the text it is used on.
std::string IconvName(const std::string& normal, std::string_view bytes) {
    if (IsLatin1Label(normal)) return HasC1Bytes(bytes) ? "WINDOWS-1252" : "ISO-8859-1";
    for (const Alias& alias : kAliases)
        if (normal == alias.label) return std::string(alias.iconvName);
    return normal;
}

bool IsUtf8Name(std::string_view iconvName) {
    return iconvName == "utf-8" || iconvName == "UTF-8";
}

// Open converters by iconv name. A converter holds the state of one conversion, so each is
// lent to one caller at a time and handed back for the next.
class ConverterCache {
  public:
    static ConverterCache& Get() {
        static ConverterCache* cache = new ConverterCache;  // lives to the end of the process
        return *cache;
    }

    // kNoConverter when iconv does not know the name.
    iconv_t Take(const std::string& name) {
        {
            std::lock_guard lock(mutex_);
            auto it = entries_.find(name);
            if (it != entries_.end()) {
                if (!it->second.known) return kNoConverter;
                if (!it->second.idle.empty()) {
                    const iconv_t cd = it->second.idle.back();
                    it->second.idle.pop_back();
                    return cd;
                }
            }
        }
        const iconv_t cd = iconv_open("UTF-8", name.c_str());
        std::lock_guard lock(mutex_);
        Entry& entry = entries_[name];
        entry.known = cd != kNoConverter;
        return cd;
    }

    void Give(const std::string& name, iconv_t cd) {
        std::lock_guard lock(mutex_);
        Entry& entry = entries_[name];
        if (entry.idle.size() < kMaxIdleConverters) {
            entry.idle.push_back(cd);
            return;
        }
        iconv_close(cd);
    }

    // True the first time a name is reported, so that each unknown name is logged once.
    bool FirstReport(const std::string& name) {
        std::lock_guard lock(mutex_);
        if (reported_.size() >= kMaxLoggedNames) return false;
        return reported_.insert(name).second;
    }

    bool SetFallback(std::string name) {
        std::lock_guard lock(mutex_);
        fallback_ = std::move(name);
        return true;
    }

    std::string Fallback() {
        std::lock_guard lock(mutex_);
        return fallback_;
    }

  private:
    struct Entry {
        bool known = false;
        std::vector<iconv_t> idle;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
    std::set<std::string> reported_;
    std::string fallback_{kDefaultFallbackCharset};
};

// Runs the converter over all of `bytes`; invalid or cut sequences become U+FFFD.
std::string RunIconv(iconv_t cd, std::string_view bytes) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state
    std::string out(bytes.size() + bytes.size() / 2 + 16, '\0');
    size_t used = 0;
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    // One call; false when it stopped for want of room, which is then made.
    auto step = [&](bool flush) {
        if (out.size() - used < 16) out.resize(out.size() * 2);
        char* dst = out.data() + used;
        size_t dstLeft = out.size() - used;
        const size_t r = flush ? iconv(cd, nullptr, nullptr, &dst, &dstLeft)
                               : iconv(cd, &in, &inLeft, &dst, &dstLeft);
        const int error = r == static_cast<size_t>(-1) ? errno : 0;
        used = static_cast<size_t>(dst - out.data());
        if (error == E2BIG) out.resize(out.size() * 2);
        return error;
    };
    while (inLeft > 0) {
        const int error = step(false);
        if (error == 0 || error == E2BIG) continue;
        if (out.size() - used < kReplacementChar.size()) out.resize(out.size() * 2);
        out.replace(used, kReplacementChar.size(), kReplacementChar);
        used += kReplacementChar.size();
        if (error == EILSEQ) {
            ++in;
            --inLeft;
        } else {
            inLeft = 0;  // EINVAL: the text ends inside a character
        }
    }
    while (step(true) == E2BIG) {
    }
    out.resize(used);
    // The converter's output is UTF-8 by contract; what it passes through from a broken
    // source is cleaned, not trusted.
    return IsValidUtf8(out) ? out : SanitizeUtf8(out);
}

// Length of the valid UTF-8 sequence at `s[i]`, or 0.
size_t SequenceLength(std::string_view s, size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) return 1;
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - i < n) return 0;
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    if (b1 < lo || b1 > hi) return 0;
    for (size_t k = 2; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if (b < 0x80 || b > 0xBF) return 0;
    }
    return n;
}

std::optional<std::string> Convert(const std::string& iconvName, std::string_view bytes) {
    if (IsUtf8Name(iconvName)) return IsValidUtf8(bytes) ? std::string(bytes) : SanitizeUtf8(bytes);
    ConverterCache& cache = ConverterCache::Get();
    const iconv_t cd = cache.Take(iconvName);
    if (cd == kNoConverter) return std::nullopt;
    std::string out = RunIconv(cd, bytes);
    cache.Give(iconvName, cd);
    return out;
}

bool HasIso2022Escape(std::string_view bytes) {
    return bytes.find("\x1b$") != std::string_view::npos ||
           bytes.find("\x1b(") != std::string_view::npos;
}

bool IsAllAscii(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

std::optional<std::string> CharsetToUtf8(std::string_view charset, std::string_view bytes) {
    const std::string normal = NormalName(charset);
    std::optional<std::string> out;
    if (!normal.empty()) out = Convert(IconvName(normal, bytes), bytes);
    if (!out && ConverterCache::Get().FirstReport(normal.empty() ? "?" : normal))
        LogLine(DiagLog::kWarning, "unknown charset %s: text left as it is",
                normal.empty() ? "(unreadable name)" : normal.c_str());
    return out;
}

bool IsKnownCharset(std::string_view charset) {
    const std::string normal = NormalName(charset);
    if (normal.empty()) return false;
    const std::string name = IconvName(normal, {});
    if (IsUtf8Name(name)) return true;
    ConverterCache& cache = ConverterCache::Get();
    const iconv_t cd = cache.Take(name);
    if (cd == kNoConverter) return false;
    cache.Give(name, cd);
    return true;
}

std::string UndeclaredToUtf8(std::string_view bytes) {
    if (IsAllAscii(bytes)) {
        if (!HasIso2022Escape(bytes)) return std::string(bytes);
        return *Convert("ISO-2022-JP", bytes);
    }
    if (IsValidUtf8(bytes)) return std::string(bytes);
    std::optional<std::string> out = CharsetToUtf8(FallbackCharset(), bytes);
    return out ? *out : SanitizeUtf8(bytes);
}

std::string TextToUtf8(std::string_view charset, std::string_view bytes) {
    if (!charset.empty()) {
        std::optional<std::string> out = CharsetToUtf8(charset, bytes);
        if (out) return *out;
    }
    return UndeclaredToUtf8(bytes);
}

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        // Runs of ASCII go eight bytes at a time.
        while (i + 8 <= text.size()) {
            uint64_t word;
            __builtin_memcpy(&word, text.data() + i, 8);
            if (word & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= text.size()) break;
        const size_t n = SequenceLength(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string SanitizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t n = SequenceLength(text, i);
        if (n == 0) {
            out += kReplacementChar;
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

size_t Utf8CutLength(std::string_view text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    size_t cut = maxBytes;
    // Step back over continuation bytes to the start of the character that does not fit.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

bool SetFallbackCharset(std::string_view charset) {
    if (!IsKnownCharset(charset)) return false;
    return ConverterCache::Get().SetFallback(std::string(charset));
}

std::string FallbackCharset() {
    return ConverterCache::Get().Fallback();
}

std::string HtmlDeclaredCharset(std::string_view html) {
    html = html.substr(0, kMetaScanBytes);
    std::string lower(html);
    for (char& c : lower) c = Lower(c);
    for (size_t meta = lower.find("<meta"); meta != std::string::npos;
         meta = lower.find("<meta", meta + 5)) {
        const size_t close = lower.find('>', meta);
        const std::string_view tag =
            std::string_view(lower).substr(meta, close == std::string::npos ? close : close - meta);
        const size_t at = tag.find("charset");
        if (at == std::string_view::npos) continue;
        size_t i = at + 7;
        while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t')) ++i;
        if (i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() &&
               (tag[i] == ' ' || tag[i] == '\t' || tag[i] == '"' || tag[i] == '\''))
            ++i;
        size_t end = i;
        while (end < tag.size() && IsNameChar(tag[end])) ++end;
        if (end > i) return std::string(tag.substr(i, end - i));
    }
    return {};
}

}  // namespace korvo
