// mailto: links (RFC 6068): "mailto:ann@example.org,bob@example.org?cc=...&subject=...&body=...".
//
// The addresses before "?" and the values of the "to", "cc", "subject" and "body" fields are
// percent-decoded and must then be UTF-8. Every other field is ignored: "attach" (a link must
// never attach a local file), "bcc" (a link must not add a receiver the user does not see at a
// glance) and any unknown header. A link is refused whole when an escape is malformed or a
// decoded text is not UTF-8. The single-line fields lose their line breaks and control bytes;
// the body's line breaks become CR LF.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace korvo {

// Longer links are not taken: a link fits in one line of the instance socket.
inline constexpr size_t kMaxMailtoLink = 32 * 1024;

struct MailtoLink {
    std::string to;  // the addresses of the path and of every "to" field, joined by ", "
    std::string cc;  // every "cc" field, joined by ", "
    std::string subject;
    std::string body;
    bool operator==(const MailtoLink&) const = default;
};

// Whether `text` starts with the scheme "mailto:" (in any case).
bool IsMailtoLink(std::string_view text);

// The fields of a link; none when it is not a mailto: link or is malformed.
std::optional<MailtoLink> ParseMailto(std::string_view link);

}  // namespace korvo
