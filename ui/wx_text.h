// Byte texts to and from wxString. Texts are UTF-8; bytes that are not part of a valid UTF-8
// sequence are shown as the private-use characters U+F780..U+F7FF and come back as the same
// bytes, so nothing a widget holds is ever lost. A real character in that range is passed
// through as its three bytes, which makes the round trip exact for every byte string.
#pragma once

#include <string>
#include <string_view>

#include <wx/string.h>

namespace korvo {

wxString WxFromBytes(std::string_view bytes);
std::string BytesFromWx(const wxString& text);

}  // namespace korvo
