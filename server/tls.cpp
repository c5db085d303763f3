#include "server/tls.h"

#include <arpa/inet.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

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

using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;
using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

struct Extension {
    int nid;
    std::string value;  // in OpenSSL's configuration syntax
};

bool IsIpAddress(const std::string& name) {
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, name.c_str(), address) == 1 ||
           inet_pton(AF_INET6, name.c_str(), address) == 1;
}

// A random positive serial number, so that certificates of different runs never share one.
bool SetRandomSerial(X509* cert) {
    unsigned char bytes[8];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return false;
    bytes[0] &= 0x7F;
    bytes[0] |= 0x01;
    BIGNUM* n = BN_bin2bn(bytes, sizeof bytes, nullptr);
    bool ok = n && BN_to_ASN1_INTEGER(n, X509_get_serialNumber(cert)) != nullptr;
    BN_free(n);
    return ok;
}

// A certificate for `key` with the common name given, valid from one hour ago for valid_for
// seconds, signed by issuer and issuer_key (self-signed when issuer is null); null on failure.
CertPtr MakeCertificate(EVP_PKEY* key,
                        const std::string& common_name,
                        X509* issuer,
                        EVP_PKEY* issuer_key,
                        long valid_for,
                        const std::vector<Extension>& extensions) {
    CertPtr cert(X509_new(), X509_free);
    if (!cert || X509_set_version(cert.get(), 2) != 1 || !SetRandomSerial(cert.get()))
        return CertPtr(nullptr, X509_free);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), valid_for);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(common_name.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, issuer ? issuer : cert.get(), cert.get(), nullptr, nullptr, 0);
    for (const Extension& e : extensions) {
        X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, e.nid, e.value.c_str());
        bool added = ext && X509_add_ext(cert.get(), ext, -1) == 1;
        X509_EXTENSION_free(ext);
        if (!added)
            return CertPtr(nullptr, X509_free);
    }
    if (X509_sign(cert.get(), issuer_key ? issuer_key : key, EVP_sha256()) <= 0)
        return CertPtr(nullptr, X509_free);
    return cert;
}

// Streams that present cert (and the chain certificate after it, when given) with key.
StreamFactory FactoryFor(X509* cert, EVP_PKEY* key, X509* chain, std::string* error) {
    std::shared_ptr<SSL_CTX> ctx(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    bool ok = ctx && SSL_CTX_use_certificate(ctx.get(), cert) == 1 &&
              SSL_CTX_use_PrivateKey(ctx.get(), key) == 1 &&
              (!chain || SSL_CTX_add1_chain_cert(ctx.get(), chain) == 1);
    if (!ok) {
        *error = "cannot set up TLS: " + OpenSslError();
        return {};
    }
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

constexpr long kDay = 24L * 3600;

}  // namespace

std::string SubjectAltNames(const std::vector<std::string>& names) {
    std::vector<std::string> entries;
    auto add = [&entries](const std::string& entry) {
        for (const std::string& e : entries)
            if (e == entry)
                return;
        entries.push_back(entry);
    };
    for (const std::string& name : names) {
        if (name.empty())
            continue;
        if (IsIpAddress(name))
            add("IP:" + name);
        add("DNS:" + name);
    }
    std::string out;
    for (const std::string& e : entries)
        out += (out.empty() ? "" : ",") + e;
    return out;
}

StreamFactory MakeTlsStreamFactory(const std::string& cert_host, std::string* error) {
    KeyPtr key(EVP_RSA_gen(2048), EVP_PKEY_free);
    CertPtr cert = key ? MakeCertificate(key.get(), cert_host, nullptr, nullptr, 30 * kDay,
                                         {{NID_subject_alt_name, "DNS:" + cert_host}})
                       : CertPtr(nullptr, X509_free);
    if (!cert) {
        *error = "cannot make the TLS certificate: " + OpenSslError();
        return {};
    }
    return FactoryFor(cert.get(), key.get(), nullptr, error);
}

StreamFactory MakeTrustedTlsStreamFactory(const std::vector<std::string>& names,
                                          std::string* authority_der,
                                          std::string* error) {
    const std::string alt_names = SubjectAltNames(names);
    if (alt_names.empty()) {
        *error = "the trusted TLS certificate needs a host name";
        return {};
    }
    KeyPtr authority_key(EVP_RSA_gen(2048), EVP_PKEY_free);
    KeyPtr key(EVP_RSA_gen(2048), EVP_PKEY_free);
    CertPtr authority(nullptr, X509_free);
    CertPtr cert(nullptr, X509_free);
    if (authority_key && key) {
        authority =
            MakeCertificate(authority_key.get(), "lanzifang catalogue service test authority",
                            nullptr, nullptr, kDay,
                            {{NID_basic_constraints, "critical,CA:TRUE,pathlen:0"},
                             {NID_key_usage, "critical,keyCertSign,cRLSign"},
                             {NID_subject_key_identifier, "hash"}});
    }
    if (authority) {
        cert = MakeCertificate(key.get(), names.front().empty() ? "localhost" : names.front(),
                               authority.get(), authority_key.get(), kDay,
                               {{NID_basic_constraints, "critical,CA:FALSE"},
                                {NID_key_usage, "critical,digitalSignature,keyEncipherment"},
                                {NID_ext_key_usage, "serverAuth"},
                                {NID_subject_alt_name, alt_names},
                                {NID_subject_key_identifier, "hash"},
                                {NID_authority_key_identifier, "keyid"}});
    }
    int der_size = cert ? i2d_X509(authority.get(), nullptr) : -1;
    if (der_size <= 0) {
        *error = "cannot make the trusted TLS certificates: " + OpenSslError();
        return {};
    }
    authority_der->assign(static_cast<size_t>(der_size), '\0');
    unsigned char* out = reinterpret_cast<unsigned char*>(authority_der->data());
    i2d_X509(authority.get(), &out);
    return FactoryFor(cert.get(), key.get(), authority.get(), error);
}

}  // namespace lzf::server
