// Reading header fields, parameters, dates and addresses straight from raw mail text.
//
// These keep no state and touch no node: a caller that needs a field asks for it by name
// from the raw text each time. Names and keys match case-insensitively (ASCII only); values
// keep the case they were written in. An absent field or parameter gives the empty text.
#pragma once

#include <string>
#include <string_view>

#include "content/mail_codec.h"

namespace korvo {

// The value of the `occurrence`-th (from 0) field `name`: the line starting with the name
// directly followed by ":", with its folded continuation lines, unfolded, trimmed and with
// encoded words decoded. The whole given text is searched, so pass the header region when a
// body line must not match.
std::string MailGetHeaderItem(std::string_view text, std::string_view name, int occurrence = 0,
                              const CMailCodec& codec = DefaultMailCodec());

// The value behind the first occurrence of `key` (which carries its own separator, as in
// "boundary=" or "content-type:"), up to the next CR or ";". Surrounding quotes or angle
// brackets are removed; nothing is trimmed.
std::string mailGetHeaderParam(std::string_view text, std::string_view key);

// The parameter value that starts at `valueStart` of `text`, read as mailGetHeaderParam does.
std::string HeaderParamValue(std::string_view text, size_t valueStart);

// Rewrites a mail date such as "Tue, 6 Jan 2004 09:05:33 +0800" as "2004-01-06 09:05": the
// wall-clock time as written, without zone arithmetic. Missing pieces stay empty.
void StrGetDate(std::string& date);

// Of "Name <user@host>": the name (quotes become spaces), or for a bare address the part
// before "@". Only the first address of a list counts.
std::string GetAddressName(std::string_view text);

// Of "Name <user@host>": the text between the brackets; otherwise the whole text, trimmed.
std::string GetAddressEmail(std::string_view text);

// Byte-wise ASCII helpers shared by the content code.
char AsciiLower(char c);
std::string AsciiLowerCopy(std::string_view text);
// Position of the first case-insensitive occurrence of `lowerNeedle` (already lower-case).
size_t FindNoCase(std::string_view text, std::string_view lowerNeedle, size_t from = 0);
std::string_view TrimWhite(std::string_view text);

}  // namespace korvo
