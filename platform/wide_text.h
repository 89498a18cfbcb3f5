// Byte texts (UTF-8) to and from wide text (wchar_t, one code point each). Bytes that are not
// part of a valid UTF-8 sequence become the private-use characters U+F780..U+F7FF and come back
// as the same bytes; a real character in that range stays as its three bytes. So every byte
// string survives the round trip, valid UTF-8 as the same characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvo {

std::wstring WideFromBytes(std::string_view bytes);
// Appends code point `cp` (at most U+10FFFF, not a surrogate) as UTF-8.
void AppendUtf8(std::string& out, uint32_t cp);
std::string BytesFromWide(std::wstring_view text);

}  // namespace korvo
