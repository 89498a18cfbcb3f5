// A server certificate that did not verify, as the session found it: what the user needs to
// decide whether to accept it, and the fingerprint to pin when they do.
#pragma once

#include <string>

namespace korvo {

struct CertificateProblem {
    enum class Server { kPop3, kSmtp };
    Server server = Server::kPop3;
    std::string host;       // the server name of the account, as connected to
    std::string subject;    // one-line texts of the certificate
    std::string issuer;
    std::string notBefore;  // validity, e.g. "Jan  1 00:00:00 2026 GMT"
    std::string notAfter;
    std::string sha256;     // 64 lowercase hex digits of the SHA-256 of the DER
    std::string reason;     // why it failed: untrusted issuer, expired, name mismatch (names)
};

}  // namespace korvo
