// Splitting a URL into host, port and path (for transports that take them apart).
#pragma once

#include "core/types.h"

// The lower-cased host of `url` ("http://" assumed when no scheme is given); with
// `with_port` the ":port" part is kept.
Text UrlHost(const Text& url, bool with_port = false);

// The port given in the URL, else 443 for https and 80 otherwise.
int UrlPort(const Text& url);

// The path of the URL from the first "/" after the host (query and fragment included), "/"
// when there is none.
Text UrlPath(const Text& url);

// An address resolved against the one it came from: absolute (any scheme), scheme-relative,
// host-relative or relative to the folder of `base`.
Text ResolveUrl(const Text& base, const Text& location);
