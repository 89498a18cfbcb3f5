// A TLS client session on a connected TcpSocket (OpenSSL, TLS 1.2 at least).
//
// The handshake checks the server certificate against the system trust store (OpenSSL's
// default paths, so SSL_CERT_FILE and SSL_CERT_DIR apply) and the host name the account gives
// (an IP address is checked against the certificate's IP addresses; SNI goes out for names
// only). A certificate that does not verify is still accepted when its SHA-256 fingerprint is
// the pin the user stored for the server. Reads and writes wait through the socket, so the
// socket's time-outs and its cancel work as they do without TLS.
#pragma once

#include <memory>
#include <string>

#include "platform/byte_stream.h"
#include "transport/certificate_problem.h"

namespace korvo {

class TcpSocket;

class TlsStream final : public ByteStream {
  public:
    explicit TlsStream(TcpSocket& socket);
    ~TlsStream() override;
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    enum class Result {
        kOk,
        kFailed,     // no TLS session (error() says why)
        kUntrusted,  // the certificate did not verify and is not the pinned one (certificate())
    };
    // `pin`: 64 lowercase hex digits, or empty.
    Result Handshake(const std::string& host, const std::string& pin);

    const std::string& error() const { return error_; }
    // The server certificate seen in the handshake; reason is set when it did not verify.
    const CertificateProblem& certificate() const { return certificate_; }
    // Milliseconds the handshake took.
    double handshakeMs() const { return handshakeMs_; }

    bool SendAll(std::string_view bytes) override;
    long Receive(char* buffer, size_t size,
                 Clock::time_point deadline = Clock::time_point::max()) override;

  private:
    struct Session;
    // Waits for what the last call that returned `ret` wants; false on a real error.
    bool Retry(int ret, std::chrono::milliseconds limit);

    TcpSocket& socket_;
    std::unique_ptr<Session> session_;
    std::string error_;
    CertificateProblem certificate_;
    double handshakeMs_ = 0;
};

// 64 lowercase hex digits of the SHA-256 of `der`.
std::string Sha256Hex(const unsigned char* der, size_t size);

}  // namespace korvo
