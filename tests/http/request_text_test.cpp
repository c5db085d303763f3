// The transport-free rules of the request engines: header completion, the response header
// scan, the WinInet agent string and header block.
#include "http/request_text.h"

#include <gtest/gtest.h>

namespace {

const char kIeAgent[] =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)";

TEST(WebRequestHeaders, HostOnlyPostGetsEveryDefaultInOrder) {
    const Text block = BuildWebRequestHeaders("Host: h", 1, "", true, true);
    EXPECT_EQ(block, Text("Host: h\r\n") + kIeAgent +
                         "\r\n"
                         "Accept: text/html, application/xhtml+xml, */*\r\n"
                         "Accept-Encoding: gbk, GB2312\r\n"
                         "Accept-Language: zh-cn\r\n"
                         "Content-Type: application/x-www-form-urlencoded\r\n"
                         "Cache-Control: no-cache");
}

TEST(WebRequestHeaders, CasesOfTheCallersBlock) {
    struct Case {
        const char* name;
        Text extra;
        int method;
        Text cookies;
        bool complete;
        bool normalize;
        std::vector<Text> present;
        std::vector<Text> absent;
    };
    const Case cases[] = {
        {"lower-case agent is normalised and suppresses the default",
         "user-agent: x",
         0,
         "",
         true,
         true,
         {"User-Agent: x\r\n"},
         {"MSIE", "user-agent"}},
        {"keep-alive line before another line is removed",
         "Connection: keep-alive\r\nX-A: 1",
         0,
         "",
         true,
         true,
         {"X-A: 1"},
         {"Connection"}},
        {"other Connection values stay",
         "Connection: close\r\nX-A: 1",
         0,
         "",
         true,
         true,
         {"Connection: close\r\n"},
         {}},
        {"cookie text becomes a Cookie line",
         "",
         0,
         "a=1",
         true,
         true,
         {"\r\nCookie: a=1\r\n"},
         {}},
        {"cookie text that is a whole line is added unchanged",
         "",
         0,
         "Cookie: a=1",
         true,
         true,
         {"\r\nCookie: a=1\r\n"},
         {"Cookie: Cookie"}},
        {"a Cookie line of the caller wins over send_cookies",
         "cookie: z=9",
         0,
         "a=1",
         true,
         true,
         {"Cookie: z=9"},
         {"a=1"}},
        {"GET gets no Content-Type",
         "",
         0,
         "",
         true,
         true,
         {"Cache-Control: no-cache"},
         {"Content-Type"}},
        {"POST with its own content type in any case gets no second one",
         "content-TYPE: text/plain",
         1,
         "",
         true,
         true,
         {"Content-TYPE: text/plain"},
         {"x-www-form-urlencoded"}},
        {"no defaults and no normalising",
         "x-a: 1",
         1,
         "",
         false,
         false,
         {"x-a: 1\r\n"},
         {"User-Agent", "Content-Type"}},
    };
    for (const Case& c : cases) {
        const Text block =
            BuildWebRequestHeaders(c.extra, c.method, c.cookies, c.complete, c.normalize);
        for (const Text& p : c.present)
            EXPECT_NE(block.find(p), Text::npos) << c.name << ": " << block;
        for (const Text& a : c.absent)
            EXPECT_EQ(block.find(a), Text::npos) << c.name << ": " << block;
    }
}

TEST(WebRequestHeaders, CookiesAloneMakeNoEmptyLine) {
    EXPECT_EQ(BuildWebRequestHeaders("", 0, "a=1", false, true), "Cookie: a=1\r\n");
    EXPECT_EQ(BuildWebRequestHeaders("X: 1", 0, "a=1", false, false), "X: 1\r\nCookie: a=1\r\n");
}

TEST(Methods, TableAndOutOfRange) {
    const char* expected[] = {"GET",     "POST",   "HEAD",  "PUT",
                              "OPTIONS", "DELETE", "TRACE", "CONNECT"};
    for (int i = 0; i < 8; ++i)
        EXPECT_STREQ(HttpMethodName(i), expected[i]);
    EXPECT_STREQ(HttpMethodName(9), "GET");
    EXPECT_STREQ(HttpMethodName(-1), "GET");
}

TEST(ResponseHeaders, StatusText) {
    struct Case {
        Text block;
        Text text;
        int code;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nServer: x\r\n\r\n", "200 OK", 200},
        {"HTTP/1.1 404 Not Found\r\n", "404 Not Found", 404},
        {"HTTP/1.0 302 Found", "302 Found", 302},
        {"HTTP/1.1", "", 0},
        {"", "", 0},
        {"garbage line\r\n", "", 0},
        {"HTTP/1.1 2x OK\r\n", "2x OK", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResponseStatusText(c.block), c.text) << c.block;
        EXPECT_EQ(ResponseStatusCode(c.block), c.code) << c.block;
    }
}

TEST(ResponseHeaders, CookiesAndLocation) {
    const Text block =
        "HTTP/1.1 302 Found\r\n"
        "Set-Cookie: sid=abc; path=/\r\n"
        "set-cookie: a=1\r\n"
        "Set-Cookie: theme=dark\r\n"
        "location: /next\r\n\r\n";
    Text cookies;
    Text location = "unchanged";
    int lines = 0;
    static int* counter;
    counter = &lines;
    ScanResponseHeaders(block, cookies, &location, [] { ++*counter; });
    EXPECT_EQ(cookies, "sid=abc; theme=dark");
    EXPECT_EQ(location, "/next");
    EXPECT_EQ(lines, 6);  // five lines and the empty one that ends the block

    Text none;
    Text keep = "old";
    ScanResponseHeaders("HTTP/1.1 200 OK\r\n", none, &keep);
    EXPECT_EQ(none, "");
    EXPECT_EQ(keep, "old");
}

TEST(ResponseHeaders, SetCookieValue) {
    EXPECT_EQ(SetCookieValue("Set-Cookie: sid=abc; path=/"), "sid=abc");
    EXPECT_EQ(SetCookieValue("Set-Cookie:   theme=dark  "), "theme=dark");
    EXPECT_EQ(SetCookieValue("set-cookie: a=1"), "");
    EXPECT_EQ(SetCookieValue("X-Set-Cookie: a=1"), "");
}

TEST(InetHeaders, AgentString) {
    struct Case {
        Text extra;
        Text agent;
    };
    const Case cases[] = {
        {"", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
        {"Accept: */*", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
        {"Accept: */*\r\nUser-Agent: Foo/1.0\r\nX: y", "Foo/1.0"},
        {"User-Agent:  Foo/1.0 ", "Foo/1.0"},
        // Without normalised names the value is found by the fallback.
        {"USER-AGENT: Foo", "Foo"},
        {"USER-AGENT: Foo\r\nX: y", "Foo\r\nX: y"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InetAgentString(c.extra), c.agent) << c.extra;
}

TEST(InetHeaders, CompletedBlock) {
    const Text url = "http://127.0.0.1:1/Download/5";
    EXPECT_EQ(CompleteInetHeaders("", url, 0, nullptr, true),
              "Accept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn");
    EXPECT_EQ(CompleteInetHeaders("", url, 1, nullptr, true),
              "Accept: */*\r\nReferer: " + url +
                  "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded");
    EXPECT_EQ(
        CompleteInetHeaders("accept: a\r\nreferer: r\r\naccept-language: l", url, 1, nullptr, true),
        "accept: a\r\nreferer: r\r\naccept-language: l\r\n"
        "Content-Type: application/x-www-form-urlencoded");
    EXPECT_EQ(CompleteInetHeaders("X: 1", url, 0, nullptr, false), "X: 1");

    const Text empty;
    const Text plain = "a=1";
    const Text line = "Cookie: a=1";
    EXPECT_EQ(CompleteInetHeaders("X: 1", url, 0, &empty, false), "X: 1");
    EXPECT_EQ(CompleteInetHeaders("X: 1", url, 0, &plain, false), "X: 1\r\nCookie: a=1");
    EXPECT_EQ(CompleteInetHeaders("X: 1", url, 0, &line, false), "X: 1\r\nCookie: a=1");
    EXPECT_EQ(CompleteInetHeaders("", url, 0, &plain, false), "Cookie: a=1");
}

TEST(WirePath, NonAsciiAndBlanksAreEscaped) {
    EXPECT_EQ(EscapePathForWire("/Download/443?x=1"), "/Download/443?x=1");
    EXPECT_EQ(EscapePathForWire("/a/字体 b"), "/a/%E5%AD%97%E4%BD%93%20b");
    EXPECT_EQ(EscapePathForWire("/a%20b/\t"), "/a%20b/%09");
    EXPECT_EQ(EscapePathForWire(""), "");
}

TEST(ContentLength, Parse) {
    EXPECT_EQ(ParseContentLength("0"), 0);
    EXPECT_EQ(ParseContentLength(" 67108864 "), 67108864);
    EXPECT_EQ(ParseContentLength("314572800"), 314572800);
    EXPECT_EQ(ParseContentLength(""), -1);
    EXPECT_EQ(ParseContentLength("12a"), -1);
    EXPECT_EQ(ParseContentLength("-5"), -1);
    EXPECT_EQ(ParseContentLength("99999999999999999999"), -1);
}

}  // namespace
