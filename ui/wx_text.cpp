#include "ui/wx_text.h"

#include "platform/wide_text.h"

namespace korvo {

// wxString holds wide characters here: the platform's conversion is the widgets' too.
wxString WxFromBytes(std::string_view bytes) {
    return wxString(WideFromBytes(bytes));
}

std::string BytesFromWx(const wxString& text) {
    return BytesFromWide(text.ToStdWstring());
}

}  // namespace korvo
