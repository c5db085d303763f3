// The request head and answer header block InetRequest makes for the plain http requests it
// sends itself. The expected texts are what WinInet itself put on the wire and handed back for
// the same requests and answers (the private service's request log, Wine 8).
#include "http/inet_wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string U(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string Ascii(const std::u16string& wide) {
    std::string out;
    for (char16_t c : wide)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

TEST(InetWire, HeadInTheTransportsOrder) {
    const std::string agent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
    const std::string ua = "Host: h:81\r\nUser-Agent: " + agent + "\r\n";
    const std::string completed = "Accept: */*\r\nReferer: R\r\nAccept-Language: zh-cn";
    const std::string tail = "Accept: */*\r\nReferer: R\r\nAccept-Language: zh-cn\r\n\r\n";
    struct Case {
        const char* name;
        std::string verb;
        size_t body;
        std::string headers;
        std::string cookies;
        std::string head;  // after the request line
        std::string agent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
    } cases[] = {
        {"GET", "GET", 0, completed, "", ua + tail},
        {"POST", "POST", 4, completed + "\r\nContent-Type: application/x-www-form-urlencoded", "",
         "Host: h:81\r\nContent-Length: 4\r\nUser-Agent: " + agent +
             "\r\nCache-Control: no-cache\r\nAccept: */*\r\nReferer: R\r\nAccept-Language: "
             "zh-cn\r\n"
             "Content-Type: application/x-www-form-urlencoded\r\n\r\n"},
        {"the caller's own length and agent move to where the caller has them", "POST", 6,
         "Content-Length: 6\r\nUser-Agent: Foo\r\nConnection: keep-alive", "",
         "Host: h:81\r\nCache-Control: no-cache\r\nContent-Length: 6\r\nUser-Agent: Foo\r\n"
         "Connection: keep-alive\r\n\r\n",
         "Foo"},
        {"a verb but GET has a length even without a body", "PUT", 0, "", "",
         "Host: h:81\r\nContent-Length: 0\r\nUser-Agent: " + agent +
             "\r\nCache-Control: no-cache\r\n\r\n"},
        {"HEAD with a body", "HEAD", 2, "", "",
         "Host: h:81\r\nContent-Length: 2\r\nUser-Agent: " + agent +
             "\r\nCache-Control: no-cache\r\n\r\n"},
        {"a name given again in any case: the last one, at the end", "GET", 0,
         "X-D: 1\r\nX-E: e\r\nx-d: 3", "", ua + "X-E: e\r\nx-d: 3\r\n\r\n"},
        {"a new empty value is sent, an empty one given again takes the line away", "GET", 0,
         "X-E:\r\nX-F: v\r\nX-F:", "", ua + "X-E: \r\n\r\n"},
        {"blanks around name and value go, a tab stays", "GET", 0, "  X-G  :   v w   \r\nX-H:\tt",
         "", ua + "X-G: v w\r\nX-H: \tt\r\n\r\n"},
        {"bare line feeds and empty lines", "GET", 0, "X-I: 1\nX-J: 2\n\nX-K: 3\r\n", "",
         ua + "X-I: 1\r\nX-J: 2\r\nX-K: 3\r\n\r\n"},
        {"a line without a colon is passed over", "GET", 0, "X-A: 1\r\nbogus\r\nX-B: 2", "",
         ua + "X-A: 1\r\nX-B: 2\r\n\r\n"},
        {"a block starting with one is dropped", "GET", 0, "bogus\r\nX-A: 1", "", ua + "\r\n"},
        {"an empty agent given again as empty: no agent line", "GET", 0, "User-Agent:", "",
         "Host: h:81\r\n\r\n", ""},
        {"stored cookies take the place of the caller's line, at the end", "GET", 0,
         "Cookie: manual=1\r\nAccept: a", "pb=2; PA=9",
         ua + "Accept: a\r\nCookie: pb=2; PA=9\r\n\r\n"},
        {"the caller's Host line", "GET", 0, "Host: other:99\r\nX-A: 1", "",
         "User-Agent: " + agent + "\r\nHost: other:99\r\nX-A: 1\r\n\r\n"},
    };
    for (const Case& c : cases) {
        InetWireRequest r;
        r.verb = U(c.verb);
        r.path = u"/p";
        r.host = u"h:81";
        r.agent = U(c.agent);
        r.body_length = c.body;
        r.headers = U(c.headers);
        r.cookies = U(c.cookies);
        EXPECT_EQ(Ascii(InetWireHead(r)), c.verb + " /p HTTP/1.1\r\n" + c.head) << c.name;
    }
}

TEST(InetWire, RequestPath) {
    EXPECT_EQ(Ascii(InetWirePath(u"/t/i/%E5%AD%97%20x")), "/t/i/%E5%AD%97%20x");
    EXPECT_EQ(Ascii(InetWirePath(u"a\\b\r\n")), "/a/b");
    EXPECT_EQ(Ascii(InetWirePath(u"")), "/");
}

TEST(InetWire, AnswerBlockAsTheTransportHandsItBack) {
    const struct {
        std::string raw;
        std::string block;
    } cases[] = {
        {"HTTP/1.1 200 Fine Thanks\r\nX-Sp:   spaced  \r\nSet-Cookie:nospace=1\r\n",
         "HTTP/1.1 200 Fine Thanks\r\nX-Sp: spaced\r\nSet-Cookie: nospace=1\r\n\r\n"},
        {"HTTP/1.0 204\nStatus: 7\nX-A: 1\n", "HTTP/1.0 204 \r\nX-A: 1\r\n\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InetAnswerBlock(c.raw), c.block) << c.raw;

    const std::string raw =
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nset-cookie:  b=2 \r\nSet-Cookie: flag\r\n"
        "X-Set-Cookie: c=3\r\n";
    EXPECT_EQ(InetStoredCookies(raw), (std::vector<std::string>{"a=1; path=/", "b=2"}));
}

}  // namespace
