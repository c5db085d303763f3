#include "http/url.h"

#include "core/text.h"
#include "http/headers.h"

namespace {

// The URL without its scheme ("http://" or "https://", any case), when it has one.
Text WithoutScheme(const Text& url) {
    Text lower = AsciiLower(url);
    for (const char* scheme : {"https://", "http://"}) {
        if (StartsWith(lower, scheme))
            return url.substr(Text(scheme).size());
    }
    return url;
}

// Length of the host-and-port part at the start of a URL without scheme: up to the first
// "/", "?" or "#".
std::size_t AuthorityLength(const Text& rest) {
    for (std::size_t i = 0; i < rest.size(); i += CharLengthAt(rest, i)) {
        char c = rest[i];
        if (c == '/' || c == '?' || c == '#')
            return i;
    }
    return rest.size();
}

}  // namespace

Text UrlHost(const Text& url, bool with_port) {
    Text rest = WithoutScheme(AsciiLower(url));
    Text host = rest.substr(0, AuthorityLength(rest));
    if (!with_port) {
        long colon = FindText(host, ":");
        if (colon > 0)
            host.resize(static_cast<std::size_t>(colon - 1));
    }
    return host;
}

int UrlPort(const Text& url) {
    Text host = UrlHost(url, true);
    long colon = FindLastText(host, ":");
    if (colon > 0) {
        long port = 0;
        std::size_t i = static_cast<std::size_t>(colon);
        std::size_t digits = 0;
        for (; i < host.size() && host[i] >= '0' && host[i] <= '9' && port <= 65535; ++i) {
            port = port * 10 + (host[i] - '0');
            ++digits;
        }
        // "host:" or a port that is no number falls back to the scheme's port.
        if (digits > 0 && i == host.size() && port >= 1 && port <= 65535)
            return static_cast<int>(port);
    }
    return StartsWith(AsciiLower(url), "https") ? 443 : 80;
}

Text UrlPath(const Text& url) {
    Text rest = WithoutScheme(url);
    Text path = rest.substr(AuthorityLength(rest));
    if (path.empty())
        return "/";
    if (path[0] != '/')
        path.insert(path.begin(), '/');  // "host?x=1" asks for "/?x=1"
    return path;
}

Text ResolveUrl(const Text& base, const Text& location) {
    const Text lower = AsciiLower(location);
    const size_t colon = location.find(':');
    if (colon != Text::npos && colon < location.find('/'))
        return location;  // has a scheme of its own (http:, https:, file:, ...)
    const size_t schemeEnd = base.find("://");
    const Text scheme = base.substr(0, schemeEnd);
    const size_t pathStart = base.find('/', schemeEnd + 3);
    const Text origin = base.substr(0, pathStart);
    if (StartsWith(lower, "//"))
        return scheme + ":" + location;
    if (StartsWith(location, "/"))
        return origin + location;
    Text folder = pathStart == Text::npos ? "/" : base.substr(pathStart);
    folder = folder.substr(0, folder.find_first_of("?#"));
    folder = folder.substr(0, folder.rfind('/') + 1);
    return origin + folder + location;
}
