// InetRequest against the private catalogue service: the header block and body on the wire,
// cookies, status and completeness of the answer, the size limit and cancelling.
#include "http/inet_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "tests/http/net_test_util.h"

namespace {

using nettest::IndexOf;
using nettest::LastRequestTo;
using nettest::SetFault;
using nettest::Url;
using nettest::Values;

std::string AsString(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

TEST(InetRequestWire, DefaultBlockAndAgent) {
    const std::string url = Url("/t/i/defaults");
    Text sent;
    InetRequest(url, 0, "", "", {.sent_headers = &sent});
    EXPECT_EQ(sent, "Accept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn");
    const LoggedRequest r = LastRequestTo("/t/i/defaults");
    ASSERT_FALSE(r.request_line.empty());
    EXPECT_EQ(r.request_line, "GET /t/i/defaults HTTP/1.1");
    EXPECT_EQ(Values(r, "Accept"), std::vector<std::string>{"*/*"});
    EXPECT_EQ(Values(r, "Referer"), std::vector<std::string>{url});
    EXPECT_EQ(Values(r, "Accept-Language"), std::vector<std::string>{"zh-cn"});
    EXPECT_LT(IndexOf(r, "Accept"), IndexOf(r, "Referer"));
    EXPECT_LT(IndexOf(r, "Referer"), IndexOf(r, "Accept-Language"));
    EXPECT_EQ(Values(r, "User-Agent"),
              std::vector<std::string>{"Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"});

    InetRequest(Url("/t/i/agent"), 0, "", "Accept: */*\r\nUser-Agent: Foo/1.0");
    const LoggedRequest a = LastRequestTo("/t/i/agent");
    const std::vector<std::string> agents = Values(a, "User-Agent");
    ASSERT_FALSE(agents.empty()) << a.raw;
    for (const std::string& v : agents)
        EXPECT_EQ(v, "Foo/1.0") << a.raw;
}

TEST(InetRequestWire, NamedProxyCarriesPlainRequests) {
    const std::string proxy = ServiceHost() + ":" + std::to_string(ServicePort());
    InetRequest("http://proxied.invalid/t/i/proxied", 1, "id=7", "", {.proxy = proxy});
    bool seen = false;
    for (const LoggedRequest& r : ParseServiceLog(ServiceLog()))
        seen |= (r.request_line == "POST http://proxied.invalid/t/i/proxied HTTP/1.1" ||
                 r.request_line == "POST http://proxied.invalid:80/t/i/proxied HTTP/1.1") &&
                r.body == "id=7";
    EXPECT_TRUE(seen);
}

TEST(InetRequestWire, NonAsciiPathIsTheSameOnAnyLocale) {
    InetRequest(Url("/t/i/字体 x"), 0, "", "");
    EXPECT_FALSE(LastRequestTo("/t/i/%E5%AD%97%E4%BD%93%20x").request_line.empty());
}

TEST(InetRequestWire, BodyForPostOnly) {
    Bytes bodyBytes;
    InetRequest(Url("/t/i/post"), 1, "id=5", "", {.body_bytes = &bodyBytes});
    const LoggedRequest post = LastRequestTo("/t/i/post");
    EXPECT_EQ(post.request_line.substr(0, 5), "POST ");
    EXPECT_EQ(post.body, "id=5");
    EXPECT_EQ(Values(post, "Content-Type"),
              std::vector<std::string>{"application/x-www-form-urlencoded"});
    EXPECT_EQ(AsString(bodyBytes), "id=5");

    Bytes untouched;
    InetRequest(Url("/t/i/get"), 0, "id=5", "", {.body_bytes = &untouched});
    const LoggedRequest get = LastRequestTo("/t/i/get");
    EXPECT_EQ(get.request_line.substr(0, 4), "GET ");
    EXPECT_EQ(get.body, "");
    EXPECT_TRUE(untouched.empty());
    EXPECT_EQ(IndexOf(get, "Content-Type"), -1) << get.raw;
}

TEST(InetRequestWire, DownloadStyleHeadersWithTheirOwnLength) {
    // The font download sends its own Content-Length line with the body. The request goes out
    // byte for byte as WinInet wrote it (an empty jar keeps stored cookies out of it).
    const std::string url = Url("/t/i/ownlength");
    Text jar;
    InetRequest(url, 1, "id=443",
                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 6\r\n"
                "Connection: keep-alive",
                {.send_cookies = &jar});
    const LoggedRequest r = LastRequestTo("/t/i/ownlength");
    EXPECT_EQ(r.raw, "POST /t/i/ownlength HTTP/1.1\r\nHost: " + ServiceHost() + ":" +
                         std::to_string(ServicePort()) +
                         "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
                         "Cache-Control: no-cache\r\n"
                         "Content-Type: application/x-www-form-urlencoded\r\n"
                         "Content-Length: 6\r\nConnection: keep-alive\r\nAccept: */*\r\n"
                         "Referer: " +
                         url + "\r\nAccept-Language: zh-cn\r\n\r\nid=443");
}

TEST(InetRequestWire, Cookies) {
    ASSERT_TRUE(SetFault({{"path", "/t/i/cookies"},
                          {"status", "200"},
                          {"body", "x"},
                          {"header", "Set-Cookie: sid=abc; path=/"},
                          {"header", "set-cookie: lower=1"},
                          {"header", "Set-Cookie: theme=dark"}}));
    // Present but empty: transport cookies off, no Cookie line, merge still runs.
    Text jar;
    Text received;
    InetRequest(Url("/t/i/cookies"), 0, "", "",
                {.send_cookies = &jar, .received_cookies = &received});
    EXPECT_EQ(received, "sid=abc; theme=dark");
    EXPECT_EQ(jar, "sid=abc; theme=dark");
    EXPECT_EQ(IndexOf(LastRequestTo("/t/i/cookies"), "Cookie"), -1);

    Text old = "a=1; sid=old";
    InetRequest(Url("/t/i/cookies"), 0, "", "",
                {.send_cookies = &old, .received_cookies = &received});
    EXPECT_EQ(Values(LastRequestTo("/t/i/cookies"), "Cookie"),
              std::vector<std::string>{"a=1; sid=old"});
    EXPECT_EQ(received, "sid=abc; theme=dark; a=1");

    // Absent: nothing merged, the cookies of the answer as they are.
    Text plain;
    InetRequest(Url("/t/i/cookies"), 0, "", "", {.received_cookies = &plain});
    EXPECT_EQ(plain, "sid=abc; theme=dark");
}

TEST(InetRequestWire, LargeHeaderBlockIsReadWhole) {
    std::vector<std::pair<std::string, std::string>> items = {
        {"path", "/t/i/bigheaders"}, {"status", "200"}, {"body", "x"}};
    for (int i = 0; i < 80; ++i)
        items.push_back({"header", "Set-Cookie: c" + std::to_string(i) + "=" +
                                       std::string(90, 'v') + "; path=/"});
    std::string q;
    for (const auto& [k, v] : items)
        q += (q.empty() ? "" : "&") + k + "=" + ServiceEscape(v);
    ASSERT_TRUE(ServiceControl(q));
    Text received, headers;
    InetRequest(Url("/t/i/bigheaders"), 0, "", "",
                {.received_cookies = &received, .response_headers = &headers});
    EXPECT_GT(headers.size(), 5000u);
    EXPECT_EQ(headers.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_NE(received.find("c79=" + std::string(90, 'v')), Text::npos);
    EXPECT_EQ(received.find("c0="), 0u);
}

TEST(InetRequestResult, StatusAndCompleteness) {
    ASSERT_TRUE(
        SetFault({{"path", "/t/i/ok"}, {"status", "200"}, {"body", std::string(3000, 'k')}}));
    ASSERT_TRUE(SetFault({{"path", "/t/i/missing"}, {"status", "404"}, {"body", "no such font"}}));
    ASSERT_TRUE(SetFault({{"path", "/t/i/short"},
                          {"status", "200"},
                          {"body", std::string(5000, 's')},
                          {"close_after", "1500"}}));
    ASSERT_TRUE(SetFault({{"path", "/t/i/huge"}, {"huge_mib", "300"}}));
    struct Case {
        const char* path;
        size_t size;
        int status;
        bool complete;
    };
    const Case cases[] = {
        {"/t/i/ok", 3000, 200, true},
        {"/t/i/missing", 12, 404, true},  // an error page is returned; the status tells
        {"/t/i/short", 0, 200, false},
        {"/t/i/huge", 0, 200, false},
    };
    for (const Case& c : cases) {
        InetResult result;
        nettest::Stopwatch watch;
        const Bytes body = InetRequest(Url(c.path), 0, "", "", {.result = &result});
        EXPECT_EQ(body.size(), c.size) << c.path;
        EXPECT_TRUE(result.answered) << c.path;
        EXPECT_EQ(result.status, c.status) << c.path;
        EXPECT_EQ(result.complete, c.complete) << c.path;
        EXPECT_FALSE(result.cancelled) << c.path;
        EXPECT_LT(watch.Seconds(), 30.0) << c.path;
    }
}

// A sink that cannot keep the bytes (a full disk) ends the transfer as incomplete, and is
// not offered more.
TEST(InetRequestResult, RefusingSinkEndsTheTransfer) {
    ASSERT_TRUE(SetFault({{"path", "/t/i/refused"}, {"status", "200"}, {"huge_bytes", "8388608"}}));
    int calls = 0;
    InetResult result;
    const Bytes body = InetRequest(
        Url("/t/i/refused"), 0, "", "",
        {.result = &result, .body_sink = [&](std::string_view) { return ++calls < 2; }});
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(result.sunk);
    EXPECT_TRUE(result.answered);
    EXPECT_FALSE(result.complete);
    EXPECT_TRUE(body.empty());
}

TEST(InetRequestResult, RefusedConnection) {
    InetResult result;
    result.status = 99;
    EXPECT_TRUE(InetRequest("http://127.0.0.1:1/x", 1, "id=1", "", {.result = &result}).empty());
    EXPECT_FALSE(result.answered);
    EXPECT_FALSE(result.complete);
    EXPECT_EQ(result.status, 0);
}

TEST(InetRequestResult, CertificateForAnotherHostIsRefused) {
    // The service's TLS port presents a certificate for another name; nothing may be fetched
    // from it (with certificate errors ignored, this request would succeed).
    const char* tls = std::getenv("LZF_SERVICE_TLS_URL");
    ASSERT_TRUE(tls && *tls) << "the test needs the service's TLS port";
    ASSERT_TRUE(SetFault({{"path", "/t/i/tls"}, {"status", "200"}, {"body", "secret"}}));
    InetResult result;
    EXPECT_TRUE(
        InetRequest(std::string(tls) + "t/i/tls", 1, "id=1", "", {.result = &result}).empty());
    EXPECT_FALSE(result.answered);
    EXPECT_EQ(nettest::CountRequestsTo("/t/i/tls"), 0);
}

TEST(InetRequestTls, TrustedCertificateIsAccepted) {
    const std::string url = nettest::TrustedUrl("/t/i/trusted");
    ASSERT_FALSE(url.empty()) << "the test needs the service's trusted TLS port";
    ASSERT_TRUE(SetFault({{"path", "/t/i/trusted"}, {"status", "200"}, {"body", "secure font"}}));
    InetResult result;
    EXPECT_EQ(AsString(InetRequest(url, 1, "id=1", "", {.result = &result})), "secure font");
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(LastRequestTo("/t/i/trusted").body, "id=1");
}

TEST(InetRequestTls, RedirectToPlainHttpIsNotFollowed) {
    ASSERT_FALSE(nettest::TrustedUrl("/").empty())
        << "the test needs the service's trusted TLS port";
    for (const char* code : {"301", "302", "303", "307", "308"}) {
        const std::string from = std::string("/t/i/down") + code;
        const std::string to = from + "/plain";
        ASSERT_TRUE(SetFault({{"path", from}, {"status", code}, {"redirect", Url(to)}}));
        ASSERT_TRUE(SetFault({{"path", to}, {"status", "200"}, {"body", "plain font"}}));
        Text jar = "sid=secret";
        InetResult result;
        const Bytes body = InetRequest(nettest::TrustedUrl(from), 1, "id=1", "",
                                       {.send_cookies = &jar, .result = &result});
        EXPECT_EQ(nettest::CountRequestsTo(from), 1) << code;
        EXPECT_EQ(nettest::CountRequestsTo(to), 0) << code;
        EXPECT_TRUE(body.empty()) << code << ": " << AsString(body);
        EXPECT_FALSE(result.answered) << code;
        EXPECT_FALSE(result.complete) << code;
        EXPECT_EQ(result.status, 0) << code;
    }
}

TEST(InetRequestTls, RedirectWithinHttpsIsFollowed) {
    const std::string to = nettest::TrustedUrl("/t/i/secure-hop/to");
    ASSERT_FALSE(to.empty()) << "the test needs the service's trusted TLS port";
    ASSERT_TRUE(SetFault({{"path", "/t/i/secure-hop"}, {"redirect", to}}));
    ASSERT_TRUE(SetFault({{"path", "/t/i/secure-hop/to"}, {"status", "200"}, {"body", "hopped"}}));
    InetResult result;
    EXPECT_EQ(AsString(InetRequest(nettest::TrustedUrl("/t/i/secure-hop"), 0, "", "",
                                   {.result = &result})),
              "hopped");
    EXPECT_TRUE(result.complete);
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(nettest::CountRequestsTo("/t/i/secure-hop/to"), 1);
}

// Over plain http (read by InetRequest itself) as over https (WinInet).
TEST(InetRequestTls, RedirectsKeepOrDropTheBody) {
    ASSERT_FALSE(nettest::TrustedUrl("/").empty())
        << "the test needs the service's trusted TLS port";
    struct Case {
        const char* code;
        bool relative;       // Location without scheme and host
        const char* method;  // of the request that arrives at the target
        const char* body;    // what it carries
    };
    const Case cases[] = {
        {"301", false, "GET", ""},      {"302", true, "GET", ""},        {"303", false, "GET", ""},
        {"307", true, "POST", "id=42"}, {"308", false, "POST", "id=42"},
    };
    for (auto base : {&Url, &nettest::TrustedUrl}) {
        for (const Case& c : cases) {
            const std::string from =
                std::string(base == &Url ? "/t/i/plain-rules" : "/t/i/rules") + c.code;
            const std::string to = from + "/to";
            const std::string trace = base(from);
            ASSERT_TRUE(SetFault(
                {{"path", from}, {"status", c.code}, {"redirect", c.relative ? to : base(to)}}));
            ASSERT_TRUE(SetFault({{"path", to}, {"status", "200"}, {"body", "moved font"}}));
            InetResult result;
            const Bytes body =
                InetRequest(base(from), 1, "id=42",
                            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 5",
                            {.result = &result});
            EXPECT_EQ(AsString(body), "moved font") << trace;
            EXPECT_EQ(result.status, 200) << trace;
            const LoggedRequest r = LastRequestTo(to);
            ASSERT_FALSE(r.request_line.empty()) << trace;
            const std::string method = r.request_line.substr(0, r.request_line.find(' '));
            EXPECT_EQ(method, c.method) << trace;
            EXPECT_EQ(r.body, c.body) << trace;
            if (method == "GET") {
                for (const std::string& v : Values(r, "Content-Length"))
                    EXPECT_EQ(v, "0") << trace << "\n" << r.raw;
                EXPECT_EQ(IndexOf(r, "Content-Type"), -1) << trace << "\n" << r.raw;
            }
            // The default Referer names the address the caller asked for.
            EXPECT_EQ(Values(r, "Referer"), std::vector<std::string>{base(from)}) << trace;
        }
    }
}

TEST(InetRequestTls, SecureRedirectLoopAndNoRedirect) {
    ASSERT_FALSE(nettest::TrustedUrl("/").empty())
        << "the test needs the service's trusted TLS port";
    ASSERT_TRUE(SetFault({{"path", "/t/i/loop"}, {"redirect_loop", "1"}}));
    InetResult result;
    nettest::Stopwatch watch;
    EXPECT_TRUE(
        InetRequest(nettest::TrustedUrl("/t/i/loop"), 0, "", "", {.result = &result}).empty());
    EXPECT_FALSE(result.answered);
    EXPECT_EQ(result.status, 0);
    const int asked = nettest::CountRequestsTo("/t/i/loop");
    EXPECT_GT(asked, 1);
    EXPECT_LE(asked, 11);
    EXPECT_LT(watch.Seconds(), 20.0);

    // Told not to follow, the redirect itself is the answer, whatever its target.
    ASSERT_TRUE(SetFault({{"path", "/t/i/stay"}, {"redirect", Url("/t/i/stay/plain")}}));
    Text headers;
    InetRequest(nettest::TrustedUrl("/t/i/stay"), 0, "", "",
                {.response_headers = &headers, .no_redirect = true, .result = &result});
    EXPECT_TRUE(result.answered);
    EXPECT_EQ(result.status, 302);
    EXPECT_NE(headers.find(Url("/t/i/stay/plain")), Text::npos) << headers;
    EXPECT_EQ(nettest::CountRequestsTo("/t/i/stay/plain"), 0);
}

// Without a jar the transport's cookie store is used, whichever transport carries the
// request: cookies set over plain http go with a later https request and the other way round,
// and one without a path of its own belongs to the whole path of the request that set it.
TEST(InetRequestTls, TransportCookiesAreSharedWithWinInet) {
    ASSERT_FALSE(nettest::TrustedUrl("/").empty())
        << "the test needs the service's trusted TLS port";
    ASSERT_TRUE(SetFault({{"path", "/t/i/store/plain"},
                          {"times", "1"},
                          {"status", "200"},
                          {"body", "p"},
                          {"header", "Set-Cookie: wide=1; path=/t/i/store/"},
                          {"header", "Set-Cookie: narrow=2"}}));
    ASSERT_TRUE(SetFault({{"path", "/t/i/store/secure"},
                          {"status", "200"},
                          {"body", "s"},
                          {"header", "Set-Cookie: fromtls=3; path=/t/i/store/"}}));
    // Cookies other tests stored for "/" come last; these come first, longest path first.
    auto cookieLine = [](const std::string& path) {
        const std::vector<std::string> lines = Values(LastRequestTo(path), "Cookie");
        return lines.size() == 1 ? lines[0] : std::string("(") + std::to_string(lines.size()) + ")";
    };
    InetRequest(Url("/t/i/store/plain"), 0, "", "");
    InetRequest(nettest::TrustedUrl("/t/i/store/secure"), 0, "", "");
    EXPECT_EQ(cookieLine("/t/i/store/secure").rfind("wide=1", 0), 0u)
        << cookieLine("/t/i/store/secure");
    InetRequest(Url("/t/i/store/plain"), 0, "", "");
    EXPECT_EQ(cookieLine("/t/i/store/plain").rfind("narrow=2; wide=1; fromtls=3", 0), 0u)
        << cookieLine("/t/i/store/plain");
    InetRequest(Url("/t/i/store/other"), 0, "", "");
    EXPECT_EQ(cookieLine("/t/i/store/other").rfind("wide=1; fromtls=3", 0), 0u)
        << cookieLine("/t/i/store/other");
    EXPECT_EQ(cookieLine("/t/i/store/other").find("narrow"), std::string::npos);
}

// With a body sink too, which is never called once the request has returned.
TEST(InetRequestCancel, DrippingBodyStopsAtOnce) {
    // 200 KB at 512 bytes every 100 ms would take about 40 s.
    ASSERT_TRUE(SetFault({{"path", "/t/i/drip"},
                          {"status", "200"},
                          {"huge_bytes", "204800"},
                          {"drip_bytes", "512"},
                          {"drip_ms", "100"}}));
    for (bool withSink : {false, true}) {
        SCOPED_TRACE(withSink ? "with a sink" : "held");
        InetCancelToken token;
        InetResult result;
        std::atomic<bool> done{false};
        std::atomic<int> sunk{0}, sunkAfterReturn{0};
        InetRequestOptions options{.result = &result, .cancel = &token};
        if (withSink) {
            options.body_sink = [&](std::string_view bytes) {
                (done ? sunkAfterReturn : sunk) += static_cast<int>(bytes.size());
                return true;
            };
        }
        Bytes body = {'x'};
        std::thread worker([&] {
            body = InetRequest(Url("/t/i/drip"), 0, "", "", options);
            done = true;
        });
        nettest::Stopwatch watch;
        while (watch.Seconds() < 1.0)
            Sleep(20);
        EXPECT_FALSE(done.load());
        nettest::Stopwatch cancelled;
        token.Cancel();
        while (!done && cancelled.Seconds() < 10.0)
            Sleep(10);
        const double took = cancelled.Seconds();
        worker.join();
        EXPECT_LT(took, 3.0);
        EXPECT_TRUE(result.cancelled);
        EXPECT_FALSE(result.complete);
        EXPECT_TRUE(body.empty());
        if (withSink) {
            EXPECT_GT(sunk.load(), 0);
            // The server goes on dripping for a while: none of it may reach the sink.
            Sleep(500);
            EXPECT_EQ(sunkAfterReturn.load(), 0);
        }
    }
}

TEST(InetRequestCancel, CancelledBeforeTheStartSendsNothing) {
    InetCancelToken token;
    token.Cancel();
    InetResult result;
    const int before = nettest::CountRequestsTo("/t/i/precancel");
    EXPECT_TRUE(InetRequest(Url("/t/i/precancel"), 0, "", "", {.result = &result, .cancel = &token})
                    .empty());
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.answered);
    EXPECT_EQ(nettest::CountRequestsTo("/t/i/precancel"), before);

    // Re-armed, the same token serves the next request.
    token.Reset();
    ASSERT_TRUE(SetFault({{"path", "/t/i/rearmed"}, {"status", "200"}, {"body", "fine"}}));
    EXPECT_EQ(AsString(InetRequest(Url("/t/i/rearmed"), 0, "", "",
                                   {.result = &result, .cancel = &token})),
              "fine");
    EXPECT_TRUE(result.complete);
}

}  // namespace
