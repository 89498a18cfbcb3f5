// The first element of every page the embedded browser shows. The browser runs no scripts, but
// pictures, style sheets and frames would still be fetched from anywhere; this policy allows
// only what the page carries itself (data: and the letter's own cid: parts).
#pragma once

#include <string_view>

namespace korvo {

inline constexpr std::string_view kPageSecurityMeta =
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src data: "
    "cid:; style-src 'unsafe-inline'; font-src data:; base-uri 'none'; form-action 'none'\">";

}  // namespace korvo
