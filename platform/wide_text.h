// Byte texts (UTF-8) to and from wide text (wchar_t, one code point each). Bytes that are not
// part of a valid UTF-8 sequence become the private-use characters U+F780..U+F7FF and come back
// as the same bytes; a real character in that range stays as its three bytes. So every byte
// string survives the round trip, valid UTF-8 as the same characters.
#pragma once

#include <string>
#include <string_view>

namespace korvo {

std::wstring WideFromBytes(std::string_view bytes);
std::string BytesFromWide(std::wstring_view text);

}  // namespace korvo
