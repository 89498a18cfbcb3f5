// Character sets: every text the program shows, stores in a column block or matches is UTF-8.
// Text in any other character set is converted here, through the C library's iconv.
//
// Charset names compare without case; the aliases real mail uses map to the sets a sender
// actually meant: GB2312 and GBK are read as GB18030, Shift_JIS as CP932, EUC-KR and
// KS_C_5601-1987 as CP949, and ISO-8859-1 or US-ASCII text holding bytes 0x80-0x9F as
// windows-1252. A byte sequence that is not valid in its set becomes U+FFFD; the rest of the
// text is still converted. Converters are cached and may be used from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvo {

inline constexpr std::string_view kDefaultFallbackCharset = "windows-1252";
inline constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";  // U+FFFD

// `bytes` in `charset` as UTF-8; nothing when the charset is unknown (logged once per name).
// An RFC 2231 language suffix ("utf-8*en") is ignored.
std::optional<std::string> CharsetToUtf8(std::string_view charset, std::string_view bytes);

bool IsKnownCharset(std::string_view charset);

// Text whose charset was not declared: ISO-2022-JP escapes are read as such, valid UTF-8
// stays as it is, anything else is read in the fallback charset.
std::string UndeclaredToUtf8(std::string_view bytes);

// `bytes` in `charset`, or read as undeclared when the charset is empty or unknown.
std::string TextToUtf8(std::string_view charset, std::string_view bytes);

bool IsValidUtf8(std::string_view text);
// Every invalid sequence replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view text);
// The longest prefix of `text` of at most `maxBytes` that ends on a character boundary.
size_t Utf8CutLength(std::string_view text, size_t maxBytes);

// The charset undeclared 8-bit text is read in (the user's setting). A name iconv does not
// know is refused and leaves the setting as it was.
bool SetFallbackCharset(std::string_view charset);
std::string FallbackCharset();

// The charset an HTML text declares in its first 1024 bytes, by <meta charset=...> or an
// http-equiv Content-Type; empty when none.
std::string HtmlDeclaredCharset(std::string_view html);

}  // namespace korvo
