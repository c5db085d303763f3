// FetchUrlBytes against the private catalogue service.
#include "http/fetch_url.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "core/pump.h"
#include "tests/http/net_test_util.h"

namespace {

using nettest::LastRequestTo;
using nettest::SetFault;
using nettest::Url;

TEST(FetchUrlBytes, BodiesAndStatus) {
    const std::string binary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    ASSERT_TRUE(SetFault({{"path", "/t/f/pic.png"},
                          {"status", "200"},
                          {"content_type", "image/png"},
                          {"body", binary}}));
    ASSERT_TRUE(SetFault({{"path", "/t/f/missing.png"}, {"status", "404"}, {"body", "gone"}}));
    ASSERT_TRUE(SetFault({{"path", "/t/f/short.png"},
                          {"status", "200"},
                          {"body", std::string(4000, 'p')},
                          {"close_after", "100"}}));
    ASSERT_TRUE(SetFault({{"path", "/t/f/huge.png"}, {"huge_mib", "300"}}));
    struct Case {
        std::string url;
        std::string body;
        int status;
        bool complete;
    };
    const Case cases[] = {
        {Url("/t/f/pic.png"), binary, 200, true},
        {Url("/t/f/missing.png"), "gone", 404, true},
        {Url("/t/f/short.png"), "", 200, false},
        {Url("/t/f/huge.png"), "", 200, false},
        {"no url at all", "", 0, false},
        {"http://127.0.0.1:1/refused.png", "", 0, false},
        // A certificate for another host name.
        {std::string(std::getenv("LZF_SERVICE_TLS_URL") ? std::getenv("LZF_SERVICE_TLS_URL")
                                                        : "https://127.0.0.1:1/") +
             "t/f/pic.png",
         "", 0, false},
    };
    for (const Case& c : cases) {
        FetchResult result;
        result.status = -1;
        const Bytes got = FetchUrlBytes(c.url, &result);
        EXPECT_EQ(std::string(got.begin(), got.end()), c.body) << c.url;
        EXPECT_EQ(result.status, c.status) << c.url;
        EXPECT_EQ(result.complete, c.complete) << c.url;
    }
    // A plain GET: no body, no cookies of its own.
    const LoggedRequest r = LastRequestTo("/t/f/pic.png");
    EXPECT_EQ(r.request_line, "GET /t/f/pic.png HTTP/1.1");
    EXPECT_EQ(r.body, "");
    EXPECT_EQ(nettest::IndexOf(r, "Cookie"), -1);
}

TEST(FetchUrlBytes, TrustedHttpsAndItsRedirects) {
    ASSERT_FALSE(nettest::TrustedUrl("/").empty())
        << "the test needs the service's trusted TLS port";
    ASSERT_TRUE(SetFault({{"path", "/t/f/secure.png"}, {"status", "200"}, {"body", "picture"}}));
    ASSERT_TRUE(
        SetFault({{"path", "/t/f/hop.png"}, {"redirect", nettest::TrustedUrl("/t/f/secure.png")}}));
    ASSERT_TRUE(SetFault({{"path", "/t/f/down.png"}, {"redirect", Url("/t/f/plain.png")}}));
    ASSERT_TRUE(SetFault({{"path", "/t/f/plain.png"}, {"status", "200"}, {"body", "plain"}}));
    struct Case {
        const char* path;
        std::string body;
        int status;
        bool complete;
    };
    const Case cases[] = {
        {"/t/f/secure.png", "picture", 200, true},
        {"/t/f/hop.png", "picture", 200, true},  // https to https is followed
        {"/t/f/down.png", "", 0, false},         // https to plain http is not
    };
    for (const Case& c : cases) {
        FetchResult result;
        const Bytes got = FetchUrlBytes(nettest::TrustedUrl(c.path), &result);
        EXPECT_EQ(std::string(got.begin(), got.end()), c.body) << c.path;
        EXPECT_EQ(result.status, c.status) << c.path;
        EXPECT_EQ(result.complete, c.complete) << c.path;
    }
    EXPECT_EQ(nettest::CountRequestsTo("/t/f/down.png"), 1);
    EXPECT_EQ(nettest::CountRequestsTo("/t/f/plain.png"), 0);
}

int g_pumped = 0;

bool CountingPump() {
    MSG msg;
    bool processed = false;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        g_pumped += msg.message == WM_APP + 2;
        processed = true;
    }
    return processed;
}

TEST(FetchUrlBytes, WindowMessagesRunAfterSending) {
    ASSERT_TRUE(SetFault({{"path", "/t/f/pump.png"}, {"status", "200"}, {"body", "p"}}));
    MSG probe;
    PeekMessageW(&probe, nullptr, 0, 0, PM_NOREMOVE);
    SetMessagePump(CountingPump);
    g_pumped = 0;
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP + 2, 0, 0));
    EXPECT_EQ(FetchUrlBytes(Url("/t/f/pump.png")).size(), 1u);
    SetMessagePump(nullptr);
    EXPECT_EQ(g_pumped, 1);
}

}  // namespace
