#include "server/tls.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

namespace lzf::server {

namespace {

class TlsStream : public Stream {
  public:
    TlsStream(SSL* ssl, int fd) : ssl_(ssl), fd_(fd) {}
    ~TlsStream() override { Close(); }
    long Read(char* buffer, size_t size) override {
        size_t n = 0;
        if (SSL_read_ex(ssl_, buffer, size, &n) == 1)
            return static_cast<long>(n);
        return SSL_get_error(ssl_, 0) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
    }
    bool Write(const char* data, size_t size) override {
        while (size > 0) {
            size_t n = 0;
            if (SSL_write_ex(ssl_, data, size, &n) != 1)
                return false;
            data += n;
            size -= n;
        }
        return true;
    }
    void Close() override {
        if (!ssl_)
            return;
        SSL_shutdown(ssl_);
        SSL_free(ssl_);
        ssl_ = nullptr;
        shutdown(fd_, SHUT_RDWR);
        close(fd_);
    }

  private:
    SSL* ssl_;
    int fd_;
};

std::string OpenSslError() {
    char text[256];
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    return text;
}

}  // namespace

StreamFactory MakeTlsStreamFactory(const std::string& cert_host, std::string* error) {
    std::shared_ptr<SSL_CTX> ctx(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    EVP_PKEY* key = EVP_RSA_gen(2048);
    X509* cert = X509_new();
    bool ok = ctx && key && cert;
    if (ok) {
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -24 * 3600);
        X509_gmtime_adj(X509_getm_notAfter(cert), 30L * 24 * 3600);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(cert_host.c_str()), -1,
                                   -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX v3;
        X509V3_set_ctx_nodb(&v3);
        X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
        std::string san = "DNS:" + cert_host;
        if (X509_EXTENSION* ext =
                X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, san.c_str())) {
            X509_add_ext(cert, ext, -1);
            X509_EXTENSION_free(ext);
        }
        ok = X509_sign(cert, key, EVP_sha256()) > 0 &&
             SSL_CTX_use_certificate(ctx.get(), cert) == 1 &&
             SSL_CTX_use_PrivateKey(ctx.get(), key) == 1;
    }
    if (!ok)
        *error = "cannot make the TLS certificate: " + OpenSslError();
    X509_free(cert);
    EVP_PKEY_free(key);
    if (!ok)
        return {};
    return [ctx](int fd) -> std::unique_ptr<Stream> {
        SSL* ssl = SSL_new(ctx.get());
        if (!ssl) {
            close(fd);
            return nullptr;
        }
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) != 1) {
            SSL_free(ssl);
            close(fd);
            return nullptr;
        }
        return std::make_unique<TlsStream>(ssl, fd);
    };
}

}  // namespace lzf::server
