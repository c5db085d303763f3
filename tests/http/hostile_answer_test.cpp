// Answers no well-behaved server gives, served raw by the private service, through each of the
// three engines: what the caller gets. A complete 2xx answer comes back byte for byte (decoded
// when compressed); anything else is a failure the caller sees.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "http/fetch_url.h"
#include "http/inet_request.h"
#include "http/web_request.h"
#include "tests/http/net_test_util.h"

namespace {

using nettest::Url;

// What a row expects of an engine.
enum Expect {
    kDelivered,  // complete, the body byte for byte, the status as sent
    kFailed,     // empty result, an error number (WebRequest) or incomplete (the others)
};

struct Row {
    const char* name;
    std::vector<std::pair<std::string, std::string>> rule;  // the service's fault rule
    Expect web;                                             // WebRequest
    Expect own;                                             // InetRequest and FetchUrlBytes
    int status = 200;
    std::string body;  // when delivered
};

const std::string kOk = "HTTP/1.1 200 OK\r\n";

std::vector<Row> Rows() {
    const std::string five = "hello";
    return {
        {"complete answer", {{"body", five}}, kDelivered, kDelivered, 200, five},
        {"body shorter than its length", {{"body", five}, {"close_after", "2"}}, kFailed, kFailed},
        {"length larger than the body, then close",
         {{"body", five}, {"content_length", "50"}},
         kFailed,
         kFailed},
        {"two different lengths",
         {{"raw", kOk + "Content-Length: 5\r\nContent-Length: 7\r\n\r\nhello12"}},
         kFailed,
         kFailed},
        {"chunked with a bad size line",
         {{"raw", kOk + "Transfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n0\r\n\r\n"}},
         kFailed,
         kFailed},
        {"chunk cut short",
         {{"raw", kOk + "Transfer-Encoding: chunked\r\n\r\n10\r\nhello"}},
         kFailed,
         kFailed},
        {"chunked without the last chunk",
         {{"raw", kOk + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n"}},
         kFailed,
         kFailed},
        {"chunked and a length",
         {{"raw", kOk + "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n5\r\nhello\r\n0"
                        "\r\n\r\n"}},
         kFailed,
         kFailed},
        {"chunked, chunked",
         {{"raw", kOk + "Transfer-Encoding: chunked, chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"}},
         kFailed,
         kFailed},
        {"identity, chunked",
         {{"raw", kOk + "Transfer-Encoding: identity, chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"}},
         kFailed,
         kFailed},
        {"gzip, chunked unasked",
         {{"raw", kOk + "Transfer-Encoding: gzip, chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"}},
         kFailed,
         kFailed},
        // A header block that large is refused, not read with the line left out.
        {"a 1 MiB header line",
         {{"body", five}, {"header_line_bytes", "1048576"}},
         kFailed,
         kFailed},
        {"10,000 header lines", {{"body", five}, {"header_lines", "10000"}}, kFailed, kFailed},
        {"no status line", {{"raw", "hello, no status line at all\r\n"}}, kFailed, kFailed},
        {"1xx before the answer",
         {{"raw", "HTTP/1.1 100 Continue\r\n\r\n" + kOk + "Content-Length: 5\r\n\r\nhello"}},
         kDelivered,
         kDelivered,
         200,
         five},
        {"204", {{"status", "204"}, {"body", ""}}, kDelivered, kDelivered, 204, ""},
        {"304",
         {{"raw", "HTTP/1.1 304 Not Modified\r\nETag: \"x\"\r\n\r\n"}},
         kDelivered,
         kDelivered,
         304,
         ""},
        // WebRequest, asked to follow redirects as WinHTTP does, fails one it cannot follow.
        {"3xx without Location",
         {{"status", "302"}, {"body", five}},
         kFailed,
         kDelivered,
         302,
         five},
        {"redirect loop", {{"redirect_loop", "1"}}, kFailed, kFailed},
        {"redirect to file:", {{"redirect", "file:///etc/passwd"}}, kFailed, kFailed},
        {"redirect to ftp:", {{"redirect", "ftp://127.0.0.1/x"}}, kFailed, kFailed},
        {"header line without a colon",
         {{"raw", kOk + "Content-Length: 5\r\nbogus line\r\n\r\nhello"}},
         kFailed,
         kFailed},
        {"folded header line",
         {{"raw", kOk + "X-A: 1\r\n  folded\r\nContent-Length: 5\r\n\r\nhello"}},
         kFailed,
         kFailed},
        {"blank before the first header",
         {{"raw", kOk + " \r\nContent-Length: 5\r\n\r\nhello"}},
         kFailed,
         kFailed},
        {"redirect to a closed port", {{"redirect", "http://127.0.0.1:1/x"}}, kFailed, kFailed},
        {"gzip", {{"body", five}, {"gzip", "1"}}, kDelivered, kDelivered, 200, five},
        {"deflate", {{"body", five}, {"deflate", "zlib"}}, kDelivered, kDelivered, 200, five},
        {"bare deflate", {{"body", five}, {"deflate", "raw"}}, kDelivered, kDelivered, 200, five},
        {"corrupt gzip",
         {{"body", "\x1f\x8b\x08\x00garbage"}, {"header", "Content-Encoding: gzip"}},
         kFailed,
         kFailed},
        {"unknown coding", {{"body", five}, {"header", "Content-Encoding: br"}}, kFailed, kFailed},
        {"gzip bomb (1 GiB of zeros)", {{"gzip_zeros_mib", "1024"}}, kFailed, kFailed},
        {"reset in the middle of the body",
         {{"huge_bytes", "100000"}, {"reset_after", "1000"}},
         kFailed,
         kFailed},
        {"404 with a body",
         {{"status", "404"}, {"body", "not here"}},
         kDelivered,
         kDelivered,
         404,
         "not here"},
        {"500 with a body",
         {{"status", "500"}, {"body", "oops"}},
         kDelivered,
         kDelivered,
         500,
         "oops"},
    };
}

// Installs the row's rule for `path` (every case has a path of its own).
void Serve(const std::string& path, const Row& row) {
    std::string q = "path=" + ServiceEscape(path);
    for (const auto& [k, v] : row.rule)
        q += "&" + k + "=" + ServiceEscape(v);
    ASSERT_TRUE(ServiceControl(q)) << row.name;
}

std::string PathOf(const char* engine, size_t i) {
    return "/t/h/" + std::string(engine) + std::to_string(i);
}

TEST(HostileAnswers, WebRequest) {
    const std::vector<Row> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        const std::string path = PathOf("w", i);
        Serve(path, row);
        Text status;
        Bytes bytes = {'x'};
        const Text page =
            WebRequest(Url(path), 0, "", "", {.status = &status, .response_bytes = &bytes});
        const bool errorNumber = status.size() >= 3 && status[0] == '7' && status[1] == '1';
        const int code = std::atoi(status.c_str());
        if (row.web == kDelivered) {
            EXPECT_EQ(page, row.body) << row.name;
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), row.body) << row.name;
            EXPECT_EQ(code, row.status) << row.name << ": " << status;
        } else {
            EXPECT_EQ(page, "") << row.name;
            EXPECT_TRUE(errorNumber) << row.name << ": " << status;
            EXPECT_EQ(bytes, Bytes({'x'})) << row.name;  // untouched on failure
        }
    }
}

// What InetRequest and FetchUrlBytes, which read plain http answers themselves, give back.
void ExpectOwnReading(const Row& row, bool complete, int status, const Bytes& got) {
    if (row.own == kDelivered) {
        EXPECT_TRUE(complete) << row.name;
        EXPECT_EQ(std::string(got.begin(), got.end()), row.body) << row.name;
        EXPECT_EQ(status, row.status) << row.name;
    } else {
        EXPECT_FALSE(complete) << row.name;
        EXPECT_TRUE(got.empty()) << row.name;
    }
}

// Read both ways, held and (as the download reads it) with a body sink: a whole 2xx answer
// without a content coding goes to the sink, anything else is returned as without it.
TEST(HostileAnswers, InetRequest) {
    const std::vector<Row> rows = Rows();
    for (bool withSink : {false, true}) {
        for (size_t i = 0; i < rows.size(); ++i) {
            const Row& row = rows[i];
            SCOPED_TRACE(withSink ? "with a sink" : "held");
            const std::string path = PathOf(withSink ? "s" : "i", i);
            Serve(path, row);
            InetResult result;
            std::string sunk;
            InetRequestOptions options{.result = &result};
            if (withSink) {
                options.body_sink = [&sunk](std::string_view bytes) {
                    sunk.append(bytes);
                    return true;
                };
            }
            // As the download asks: a form posted with the service's download headers.
            const Bytes got =
                InetRequest(Url(path), 1, "id=101", "Accept-Encoding: gzip, deflate", options);
            bool coded = false;
            for (const auto& [key, value] : row.rule)
                coded = coded || key == "gzip" || key == "deflate";
            if (row.own == kDelivered) {
                const bool sinks = withSink && row.status / 100 == 2 && !row.body.empty() && !coded;
                EXPECT_EQ(result.sunk, sinks) << row.name;
                EXPECT_EQ(sunk, sinks ? row.body : "") << row.name;
            }
            // A failure may have sunk part of a body; the caller drops it.
            const Bytes sunkBytes(sunk.begin(), sunk.end());
            ExpectOwnReading(row, result.complete, result.status,
                             result.sunk && row.own == kDelivered ? sunkBytes : got);
            if (result.sunk) {
                EXPECT_TRUE(got.empty()) << row.name;
            }
            EXPECT_FALSE(result.cancelled) << row.name;
        }
    }
}

TEST(HostileAnswers, FetchUrlBytes) {
    const std::vector<Row> rows = Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        const std::string path = PathOf("f", i);
        Serve(path, row);
        FetchResult result;
        const Bytes got = FetchUrlBytes(Url(path), &result);
        ExpectOwnReading(row, result.complete, result.status, got);
    }
}

// One byte a second: a call that is not a download ends by its deadline, a download by its
// cancel, while the server keeps sending.
TEST(HostileAnswers, DrippingServer) {
    ASSERT_TRUE(nettest::SetFault(
        {{"path", "/t/h/drip*"}, {"huge_bytes", "600"}, {"drip_bytes", "1"}, {"drip_ms", "1000"}}));
    Text status;
    const int threads = nettest::ThreadCount();
    ASSERT_GT(threads, 0);
    EXPECT_EQ(WebRequest(Url("/t/h/drip-w"), 0, "", "", {.status = &status, .deadline_ms = 3000}),
              "");
    EXPECT_EQ(status, "713 读取数据失败!");
    // Nothing of the request is left running once it has given up.
    EXPECT_EQ(nettest::ThreadCount(), threads);

    FetchResult fetched;
    EXPECT_TRUE(FetchUrlBytes(Url("/t/h/drip-f"), &fetched, 3000).empty());
    EXPECT_FALSE(fetched.complete);

    // Headers that never end: the answer never arrives.
    const std::string endless = "HTTP/1.1 200 OK\r\nX-Slow: " + std::string(600, 'a');
    ASSERT_TRUE(nettest::SetFault(
        {{"path", "/t/h/slowhead"}, {"raw", endless}, {"drip_bytes", "1"}, {"drip_ms", "1000"}}));
    EXPECT_EQ(WebRequest(Url("/t/h/slowhead"), 0, "", "", {.status = &status, .deadline_ms = 3000}),
              "");
    EXPECT_EQ(status, "712 服务器未响应!");
    EXPECT_EQ(nettest::ThreadCount(), threads);
}

// A download has no deadline, but its cancel ends it while the server sends nothing at all.
TEST(HostileAnswers, CancelWhileTheServerIsSilent) {
    ASSERT_TRUE(nettest::SetFault({{"path", "/t/h/silent"}, {"delay_ms", "120000"}}));
    InetCancelToken token;
    InetResult result;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        InetRequest(Url("/t/h/silent"), 1, "id=1", "", {.result = &result, .cancel = &token});
        done = true;
    });
    Sleep(500);
    EXPECT_FALSE(done.load());
    token.Cancel();
    for (int i = 0; i < 1000 && !done; ++i)
        Sleep(10);
    EXPECT_TRUE(done.load()) << "the request went on after its cancel";
    worker.join();
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.complete);
}

}  // namespace
