// How an account's POP3 and SMTP connections are secured, as the account node stores it.
//
// Keys of the account node (written after `LockState` by the account form):
//   pop3Security / smtpSecurity      "ssl", "starttls" or "none"
//   pop3CertSha256 / smtpCertSha256  64 lowercase hex digits: the SHA-256 of the DER of a
//                                    server certificate the user accepted although it did not
//                                    verify; only that exact certificate is then accepted.
// An account without a security key (stores written before TLS) uses TLS through STARTTLS/STLS
// when the server offers it and plain text otherwise; certificates are checked whenever TLS is
// used.
#pragma once

#include <string_view>

namespace korvo {

enum class Security {
    kUnset,     // key absent or unknown: STARTTLS/STLS when offered, else plain
    kSsl,       // TLS from the first byte (POP3 995, SMTP 465)
    kStartTls,  // plain connect, then STLS/STARTTLS; no offer fails before any credential
    kNone,      // plain text, credentials in clear
};

inline constexpr char kPop3SecurityKey[] = "pop3Security";
inline constexpr char kSmtpSecurityKey[] = "smtpSecurity";
inline constexpr char kPop3CertSha256Key[] = "pop3CertSha256";
inline constexpr char kSmtpCertSha256Key[] = "smtpCertSha256";

inline Security ParseSecurity(std::string_view text) {
    if (text == "ssl") return Security::kSsl;
    if (text == "starttls") return Security::kStartTls;
    if (text == "none") return Security::kNone;
    return Security::kUnset;
}

// The stored text; empty for kUnset (the key is then not written).
inline std::string_view SecurityText(Security security) {
    switch (security) {
        case Security::kSsl: return "ssl";
        case Security::kStartTls: return "starttls";
        case Security::kNone: return "none";
        case Security::kUnset: break;
    }
    return {};
}

}  // namespace korvo
