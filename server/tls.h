// TLS for the test ports. One port shows a certificate made at start for a host name that no
// client asks for, so that clients see a certificate that does not match the address they
// connect to. The other ("trusted") port shows a certificate for the address itself, signed
// by a certificate authority made for this run, which a test can add to its client's trusted
// roots for as long as it runs.
#pragma once

#include <string>
#include <vector>

#include "server/http_server.h"

namespace lzf::server {

// A factory of TLS streams with a fresh self-signed certificate for cert_host; an empty
// factory with *error set when OpenSSL cannot make one.
StreamFactory MakeTlsStreamFactory(const std::string& cert_host, std::string* error);

// The subjectAltName value (OpenSSL's "IP:…,DNS:…" form) of a certificate for `names`, in
// order, without repeats. An IP address is listed as an address and also as a DNS name:
// some clients (Wine's) compare the address they connect to with the DNS names only.
// Empty names are left out.
std::string SubjectAltNames(const std::vector<std::string>& names);

// A factory of TLS streams whose certificate names `names` (host names or IP addresses) and is
// signed by a certificate authority made for this run; *authority_der receives the
// authority's certificate (DER) for clients to trust. The authority's key never leaves this
// process, and both certificates expire a day after the start. Empty with *error set when
// OpenSSL cannot make them.
StreamFactory MakeTrustedTlsStreamFactory(const std::vector<std::string>& names,
                                          std::string* authority_der,
                                          std::string* error);

}  // namespace lzf::server
