#include <gtest/gtest.h>

#include "http/url.h"

namespace {

TEST(UrlParts, HostPortPath) {
    struct Case {
        Text url, host, hostWithPort;
        int port;
        Text path;
    } cases[] = {
        {"Server.LAN:8080/x", "server.lan", "server.lan:8080", 8080, "/x"},
        {"http://127.0.0.1:18765/", "127.0.0.1", "127.0.0.1:18765", 18765, "/"},
        {"http://Example.COM", "example.com", "example.com", 80, "/"},
        {"https://example.com", "example.com", "example.com", 443, "/"},
        {"HTTPS://Example.com/A/B", "example.com", "example.com", 443, "/A/B"},
        {"http://h.lan/a/b?x=1", "h.lan", "h.lan", 80, "/a/b?x=1"},
        {"https://h:8443/Download/443", "h", "h:8443", 8443, "/Download/443"},
        {"h.lan", "h.lan", "h.lan", 80, "/"},
        {"http://h.lan?x=1", "h.lan", "h.lan", 80, "/?x=1"},
        {"http://h.lan#top", "h.lan", "h.lan", 80, "/#top"},
        // The host "ps" also occurs inside "https": the path is still found after the host.
        {"https://ps/x", "ps", "ps", 443, "/x"},
        {"http://t/t/p", "t", "t", 80, "/t/p"},
        // "http://" inside the query is no scheme.
        {"h.lan/go?to=http://other/x", "h.lan", "h.lan", 80, "/go?to=http://other/x"},
        // An empty or unusable port falls back to the scheme's port.
        {"http://h:/x", "h", "h:", 80, "/x"},
        {"https://h:abc/", "h", "h:abc", 443, "/"},
        {"http://h:99999/", "h", "h:99999", 80, "/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UrlHost(c.url), c.host) << c.url;
        EXPECT_EQ(UrlHost(c.url, true), c.hostWithPort) << c.url;
        EXPECT_EQ(UrlPort(c.url), c.port) << c.url;
        EXPECT_EQ(UrlPath(c.url), c.path) << c.url;
    }
}

TEST(UrlPath, KeepsCaseOfPath) {
    EXPECT_EQ(UrlPath("http://H.lan/FontDesc/104"), "/FontDesc/104");
    EXPECT_EQ(UrlPath("http://h.lan/字体?q=泼墨"), "/字体?q=泼墨");
}

}  // namespace
