#include "transport/tls_stream.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "platform/tcp_socket.h"

namespace korvo {

namespace {

// One context per process; made again when the trust store settings of the environment
// change (tests point SSL_CERT_FILE at their own authority).
std::shared_ptr<SSL_CTX> ClientContext() {
    static std::mutex mutex;
    static std::shared_ptr<SSL_CTX> context;
    static std::string settings;
    auto env = [](const char* name) {
        const char* value = std::getenv(name);
        return std::string(value ? value : "");
    };
    const std::string now = env("SSL_CERT_FILE") + '\n' + env("SSL_CERT_DIR");
    std::lock_guard lock(mutex);
    if (context && now == settings) return context;
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx) return nullptr;
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    // Verification runs in the handshake either way; its result is judged afterwards so that
    // a pinned certificate can still be accepted and a refused one described.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    context.reset(ctx, SSL_CTX_free);
    settings = now;
    return context;
}

// The socket under a TLS session. OpenSSL's own socket BIO writes with write(), which raises
// SIGPIPE on a connection the server has closed; this one sends with MSG_NOSIGNAL.
int SocketFd(BIO* bio) {
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

int SocketWrite(BIO* bio, const char* data, size_t size, size_t* written) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(SocketFd(bio), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
        *written = static_cast<size_t>(n);
        return 1;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) BIO_set_retry_write(bio);
    return 0;
}

int SocketRead(BIO* bio, char* data, size_t size, size_t* read) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(SocketFd(bio), data, size, MSG_DONTWAIT);
    if (n > 0) {
        *read = static_cast<size_t>(n);
        return 1;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_read(bio);
    }
    return 0;  // an error, or the end of the stream
}

long SocketCtrl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO* SocketBio(int fd) {
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "korvo socket");
        BIO_meth_set_write_ex(m, SocketWrite);
        BIO_meth_set_read_ex(m, SocketRead);
        BIO_meth_set_ctrl(m, SocketCtrl);
        return m;
    }();
    BIO* bio = method ? BIO_new(method) : nullptr;
    if (!bio) return nullptr;
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
    BIO_set_init(bio, 1);
    return bio;
}

std::string OpenSslError() {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

std::string BioText(BIO* bio) {
    char* data = nullptr;
    long size = BIO_get_mem_data(bio, &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

std::string NameText(const X509_NAME* name) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253);
    return BioText(bio.get());
}

std::string TimeText(const ASN1_TIME* time) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    ASN1_TIME_print(bio.get(), time);
    return BioText(bio.get());
}

// The names a certificate is valid for: its DNS and IP alternative names, else its common name.
std::string CertificateNames(X509* cert) {
    std::string names;
    auto add = [&names](const std::string& name) {
        names += (names.empty() ? "" : ", ") + name;
    };
    auto* list = static_cast<GENERAL_NAMES*>(
        X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; list && i < sk_GENERAL_NAME_num(list); ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(list, i);
        if (name->type == GEN_DNS) {
            const ASN1_STRING* s = name->d.dNSName;
            add(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(s)),
                            static_cast<size_t>(ASN1_STRING_length(s))));
        } else if (name->type == GEN_IPADD) {
            const ASN1_STRING* s = name->d.iPAddress;
            char text[INET6_ADDRSTRLEN] = {};
            const int family = ASN1_STRING_length(s) == 4 ? AF_INET : AF_INET6;
            if (inet_ntop(family, ASN1_STRING_get0_data(s), text, sizeof text)) add(text);
        }
    }
    if (list) GENERAL_NAMES_free(list);
    if (names.empty()) {
        char cn[256] = {};
        if (X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, cn,
                                      sizeof cn) > 0) {
            add(cn);
        }
    }
    return names.empty() ? "no names" : names;
}

std::string Reason(long code, X509* cert, const std::string& host) {
    switch (code) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "name mismatch: expected " + host + ", the certificate holds " +
                   CertificateNames(cert);
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return "expired on " + TimeText(X509_get0_notAfter(cert));
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "not valid before " + TimeText(X509_get0_notBefore(cert));
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return "untrusted issuer: self-signed (" + NameText(X509_get_issuer_name(cert)) + ")";
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
            return "untrusted issuer: " + NameText(X509_get_issuer_name(cert));
        default:
            return X509_verify_cert_error_string(code);
    }
}

bool IsIpAddress(const std::string& host) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

std::string Sha256Hex(const unsigned char* der, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_Digest(der, size, digest, &length, EVP_sha256(), nullptr)) return "";
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

struct TlsStream::Session {
    std::shared_ptr<SSL_CTX> context;
    SSL* ssl = nullptr;
    ~Session() {
        if (ssl) SSL_free(ssl);
    }
};

TlsStream::TlsStream(TcpSocket& socket) : socket_(socket) {}

TlsStream::~TlsStream() = default;

bool TlsStream::Retry(int ret, std::chrono::milliseconds limit) {
    switch (SSL_get_error(session_->ssl, ret)) {
        case SSL_ERROR_WANT_READ:
            return socket_.WaitFor(POLLIN, limit);
        case SSL_ERROR_WANT_WRITE:
            return socket_.WaitFor(POLLOUT, limit);
        default:
            return false;
    }
}

TlsStream::Result TlsStream::Handshake(const std::string& host, const std::string& pin) {
    const auto start = Clock::now();
    session_ = std::make_unique<Session>();
    session_->context = ClientContext();
    if (session_->context) session_->ssl = SSL_new(session_->context.get());
    BIO* bio = session_->ssl && socket_.fd() >= 0 ? SocketBio(socket_.fd()) : nullptr;
    if (!bio) {
        error_ = "TLS could not start: " + OpenSslError();
        return Result::kFailed;
    }
    SSL* ssl = session_->ssl;
    SSL_set_bio(ssl, bio, bio);
    if (IsIpAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set1_host(ssl, host.c_str());
    }
    const auto deadline = start + socket_.timeouts().connect;
    for (;;) {
        // SSL_get_error reads the thread's error queue: nothing old may be left in it.
        ERR_clear_error();
        int ret = SSL_connect(ssl);
        if (ret == 1) break;
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !Retry(ret, left)) {
            std::string why = OpenSslError();
            error_ = "TLS handshake failed" + (why.empty() ? std::string() : ": " + why);
            return Result::kFailed;
        }
    }
    handshakeMs_ = std::chrono::duration<double, std::milli>(Clock::now() - start).count();

    X509* cert = SSL_get1_peer_certificate(ssl);
    if (!cert) {
        error_ = "The server sent no certificate";
        return Result::kFailed;
    }
    std::unique_ptr<X509, decltype(&X509_free)> owner(cert, X509_free);
    unsigned char* der = nullptr;
    const int derSize = i2d_X509(cert, &der);
    if (derSize > 0) certificate_.sha256 = Sha256Hex(der, static_cast<size_t>(derSize));
    OPENSSL_free(der);
    certificate_.host = host;
    certificate_.subject = NameText(X509_get_subject_name(cert));
    certificate_.issuer = NameText(X509_get_issuer_name(cert));
    certificate_.notBefore = TimeText(X509_get0_notBefore(cert));
    certificate_.notAfter = TimeText(X509_get0_notAfter(cert));

    const long verified = SSL_get_verify_result(ssl);
    if (verified == X509_V_OK) return Result::kOk;
    certificate_.reason = Reason(verified, cert, host);
    // The pin stands for exactly the certificate the user looked at.
    if (!pin.empty() && pin == certificate_.sha256) return Result::kOk;
    error_ = "Certificate of " + host + " not trusted: " + certificate_.reason;
    return Result::kUntrusted;
}

bool TlsStream::SendAll(std::string_view bytes) {
    if (!session_ || !session_->ssl || socket_.cancelled()) return false;
    while (!bytes.empty()) {
        size_t written = 0;
        ERR_clear_error();
        int ret = SSL_write_ex(session_->ssl, bytes.data(), bytes.size(), &written);
        if (ret == 1) {
            bytes.remove_prefix(written);
            continue;
        }
        if (!Retry(ret, socket_.timeouts().send)) return false;
    }
    return true;
}

long TlsStream::Receive(char* buffer, size_t size, Clock::time_point deadline) {
    if (!session_ || !session_->ssl || size == 0) return -1;
    for (;;) {
        if (socket_.cancelled()) return -1;
        size_t got = 0;
        ERR_clear_error();
        int ret = SSL_read_ex(session_->ssl, buffer, size, &got);
        if (ret == 1) return static_cast<long>(got);
        auto limit = socket_.ReceiveLimit(deadline);
        if (limit.count() <= 0 || !Retry(ret, limit)) return -1;
    }
}

}  // namespace korvo
