// The test-side client against a real service, in both trees (under Wine for Windows).
// Narrow literals here are GBK, like the service's pages.

#include <gtest/gtest.h>

#include "tests/support/service_client.h"

namespace {

TEST(ServiceClient, TalksToTheService) {
    ASSERT_FALSE(ServiceUrl().empty()) << "run through with-service.sh";
    EXPECT_EQ(ServiceHost(), "127.0.0.1");
    EXPECT_GT(ServicePort(), 0);
    ASSERT_TRUE(ServiceControl("reset=1"));
    EXPECT_FALSE(ServiceControl("no_such_key=1"));
    ServiceClearLog();

    int status = 0;
    std::string page = ServiceGet("/", &status);
    EXPECT_EQ(status, 200);
    EXPECT_NE(page.find("<option value=\"0\">请选择字体</option>"), std::string::npos);

    std::string json = ServicePost("/FontDesc/101", "", "text/plain", &status);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(json.rfind("{\"canDownload\":true", 0), 0u) << json;

    ASSERT_TRUE(ServiceControl("path=/x&status=500&body=" + ServiceEscape("a b&c")));
    EXPECT_EQ(ServiceGet("/x", &status), "a b&c");
    EXPECT_EQ(status, 500);

    auto log = ParseServiceLog(ServiceLog());
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].request_line, "GET / HTTP/1.0");
    EXPECT_EQ(log[1].request_line, "POST /FontDesc/101 HTTP/1.0");
    ASSERT_EQ(log[1].headers.size(), 3u);
    EXPECT_EQ(log[1].headers[1].first, "Content-Type");
    EXPECT_EQ(log[1].headers[2], (std::pair<std::string, std::string>{"Content-Length", "0"}));
    EXPECT_EQ(log[2].request_line, "GET /x HTTP/1.0");
    ServiceControl("reset=1");
}

TEST(ServiceClient, ParsesTheLogFormat) {
    const std::string raw1 = "GET /a HTTP/1.1\r\nHost: h\r\nX-Y:  v \r\n\r\n";
    const std::string raw2 = "POST /b HTTP/1.1\r\nContent-Length: 3\r\n\r\n\n=\n";
    const std::string log = "=== lzf-request seq=7 conn=3 bytes=" + std::to_string(raw1.size()) +
                            " ===\n" + raw1 +
                            "\n=== lzf-request seq=8 conn=3 bytes=" + std::to_string(raw2.size()) +
                            " error=400 ===\n" + raw2 + "\n";
    auto r = ParseServiceLog(log);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].sequence, 7);
    EXPECT_EQ(r[0].connection, 3);
    EXPECT_EQ(r[0].raw, raw1);
    ASSERT_EQ(r[0].headers.size(), 2u);
    EXPECT_EQ(r[0].headers[1].second, "v ");
    EXPECT_EQ(r[1].body, "\n=\n");
    EXPECT_EQ(r[1].sequence, 8);
    // A cut-off entry is not returned.
    EXPECT_EQ(ParseServiceLog(log.substr(0, log.size() - 5)).size(), 1u);
    EXPECT_TRUE(ParseServiceLog("").empty());
}

TEST(ServiceClient, SplitsResponses) {
    int status = 0;
    std::string headers, body;
    ASSERT_TRUE(
        SplitResponse("HTTP/1.1 404 Not Found\r\nA: b\r\n\r\nxyz", &status, &headers, &body));
    EXPECT_EQ(status, 404);
    EXPECT_EQ(headers, "HTTP/1.1 404 Not Found\r\nA: b");
    EXPECT_EQ(body, "xyz");
    EXPECT_FALSE(SplitResponse("HTTP/1.1 200 OK\r\n", &status, &headers, &body));
    EXPECT_FALSE(SplitResponse("garbage\r\n\r\n", &status, &headers, &body));
    EXPECT_EQ(ServiceEscape("a b/%\xD7"), "a%20b%2F%25%D7");
}

}  // namespace
