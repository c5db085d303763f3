// TLS for the test port: a certificate made at start for a host name that no client asks for,
// so that clients see a certificate that does not match the address they connect to.
#pragma once

#include <string>

#include "server/http_server.h"

namespace lzf::server {

// A factory of TLS streams with a fresh self-signed certificate for cert_host; an empty
// factory with *error set when OpenSSL cannot make one.
StreamFactory MakeTlsStreamFactory(const std::string& cert_host, std::string* error);

}  // namespace lzf::server
