#include "shell/composer_addresses.h"

#include <string>

#include "transport/smtp_envelope.h"

namespace korvo {
namespace {

// RFC 5321 limits: a path of at most 256 octets with its brackets, a local part of 64.
constexpr size_t kMaxAddress = 254;
constexpr size_t kMaxLocalPart = 64;
constexpr size_t kMaxLabel = 63;

bool IsAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsAtext(char c) {
    return IsAlnum(c) || std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

// Pieces of `text` separated by single dots, none empty, each passing `good`.
template <typename Good>
bool DotSeparated(std::string_view text, Good good) {
    if (text.empty()) return false;
    size_t start = 0;
    for (;;) {
        const size_t dot = text.find('.', start);
        const std::string_view piece = text.substr(
            start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (piece.empty() || !good(piece)) return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

bool IsAtom(std::string_view atom) {
    for (const char c : atom) {
        if (!IsAtext(c)) return false;
    }
    return true;
}

bool IsLabel(std::string_view label) {
    if (label.size() > kMaxLabel || label.front() == '-' || label.back() == '-') return false;
    for (const char c : label) {
        if (!IsAlnum(c) && c != '-') return false;
    }
    return true;
}

}  // namespace

bool IsDotAtomAddress(std::string_view address) {
    if (address.size() > kMaxAddress) return false;
    const size_t at = address.rfind('@');
    if (at == std::string_view::npos) return false;
    const std::string_view local = address.substr(0, at);
    const std::string_view domain = address.substr(at + 1);
    return local.size() <= kMaxLocalPart && DotSeparated(local, IsAtom) &&
           DotSeparated(domain, IsLabel);
}

bool IsValidReceiverLine(std::string_view line) {
    const std::vector<std::string> entries = SplitAddressList(line);
    if (entries.empty()) return false;
    for (const std::string& entry : entries) {
        if (!IsDotAtomAddress(EntryAddress(entry))) return false;
    }
    return true;
}

}  // namespace korvo
