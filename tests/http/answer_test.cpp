// The checks every engine applies to an answer: framing read from the raw header block, and
// the bounded decoding of compressed bodies.
#include "http/answer.h"
#include "http/answer_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace {

struct FramingCase {
    const char* name;
    std::string block;
    bool ok;
    int status = 0;
    bool chunked = false;
    long long length = -1;
    ContentCoding coding = ContentCoding::kIdentity;
};

TEST(AnswerFraming, HeaderBlocks) {
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const FramingCase cases[] = {
        {"plain", ok + "Content-Length: 5\r\n\r\n", true, 200, false, 5},
        {"no length", ok + "Server: x\r\n\r\n", true, 200},
        {"no blank line at the end", ok + "Content-Length: 7", true, 200, false, 7},
        {"status without reason", "HTTP/1.0 404\r\n\r\n", true, 404},
        {"chunked in any case", ok + "transfer-encoding:  Chunked \r\n\r\n", true, 200, true},
        {"equal lengths twice", ok + "Content-Length: 5\r\ncontent-length: 5\r\n\r\n", true, 200,
         false, 5},
        {"gzip", ok + "Content-Encoding: gzip\r\n\r\n", true, 200, false, -1, ContentCoding::kGzip},
        {"x-gzip", ok + "Content-Encoding: X-GZIP\r\n\r\n", true, 200, false, -1,
         ContentCoding::kGzip},
        {"deflate", ok + "Content-Encoding: deflate\r\n\r\n", true, 200, false, -1,
         ContentCoding::kDeflate},
        {"identity", ok + "Content-Encoding: identity\r\n\r\n", true, 200},
        {"line without colon", ok + "bogus\r\nContent-Length: 1\r\n\r\n", true, 200, false, 1},
        {"status 100", "HTTP/1.1 100 Continue\r\n\r\n", true, 100},
        {"as many header lines as allowed",
         [&] {
             std::string b = ok;
             for (size_t i = 0; i < kMaxAnswerHeaderLines; ++i)
                 b += "X-Filler: a\r\n";
             return b + "\r\n";
         }(),
         true, 200},

        {"empty", "", false},
        {"no status line", "hello world\r\n\r\n", false},
        {"HTTP/0.9 body", "<html>hello</html>", false},
        {"status word", "HTTP/1.1 OK 200\r\n\r\n", false},
        {"four digit status", "HTTP/1.1 2000 OK\r\n\r\n", false},
        {"two lengths", ok + "Content-Length: 5\r\nContent-Length: 7\r\n\r\n", false},
        {"length with sign", ok + "Content-Length: +5\r\n\r\n", false},
        {"length not a number", ok + "Content-Length: 5x\r\n\r\n", false},
        {"empty length", ok + "Content-Length:\r\n\r\n", false},
        {"chunked twice in one line", ok + "Transfer-Encoding: chunked, chunked\r\n\r\n", false},
        {"chunked twice", ok + "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n",
         false},
        {"identity, chunked", ok + "Transfer-Encoding: identity, chunked\r\n\r\n", false},
        {"chunked not last", ok + "Transfer-Encoding: chunked, gzip\r\n\r\n", false},
        {"gzip, chunked", ok + "Transfer-Encoding: gzip, chunked\r\n\r\n", false},
        {"other transfer coding", ok + "Transfer-Encoding: compress\r\n\r\n", false},
        {"chunked and a length", ok + "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n",
         false},
        {"unknown coding", ok + "Content-Encoding: br\r\n\r\n", false},
        {"two codings", ok + "Content-Encoding: gzip, deflate\r\n\r\n", false},
        {"two coding lines", ok + "Content-Encoding: gzip\r\nContent-Encoding: gzip\r\n\r\n",
         false},
        {"too many header lines",
         [&] {
             std::string b = ok;
             for (size_t i = 0; i <= kMaxAnswerHeaderLines; ++i)
                 b += "X-Filler: a\r\n";
             return b + "\r\n";
         }(),
         false},
        {"header block too large",
         ok + "X-Filler: " + std::string(kMaxAnswerHeaderBytes, 'a') + "\r\n\r\n", false},
    };
    for (const FramingCase& c : cases) {
        AnswerFraming f;
        EXPECT_EQ(ReadAnswerFraming(c.block, &f), c.ok) << c.name;
        if (!c.ok)
            continue;
        EXPECT_EQ(f.status, c.status) << c.name;
        EXPECT_EQ(f.chunked, c.chunked) << c.name;
        EXPECT_EQ(f.length, c.length) << c.name;
        EXPECT_EQ(f.coding, c.coding) << c.name;
        EXPECT_EQ(f.lines > 0, c.block.find("\r\n") + 2 < c.block.size() &&
                                   c.block.compare(c.block.find("\r\n") + 2, 2, "\r\n") != 0)
            << c.name;
    }
}

TEST(AnswerFraming, BodiesByStatus) {
    EXPECT_TRUE(AnswerHasBody(200, false));
    EXPECT_TRUE(AnswerHasBody(404, false));
    EXPECT_FALSE(AnswerHasBody(200, true));
    EXPECT_FALSE(AnswerHasBody(204, false));
    EXPECT_FALSE(AnswerHasBody(304, false));
    EXPECT_FALSE(AnswerHasBody(101, false));
}

// Deflate with a gzip wrapper (15 + 16), a zlib wrapper (15) or none (-15).
std::string Compress(const std::string& in, int window_bits) {
    z_stream z{};
    deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, window_bits, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, in.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TEST(DecodeContent, CompressedBodies) {
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += "line " + std::to_string(i) + " 字体\n";
    const std::string gzip = Compress(text, 15 + 16);
    const std::string zlib = Compress(text, 15);
    const std::string raw = Compress(text, -15);
    const std::string zeros = Compress(std::string(1 << 20, '\0'), 15 + 16);
    std::string cut = gzip.substr(0, gzip.size() - 5);
    std::string flipped = gzip;
    flipped[flipped.size() / 2] ^= 0x55;
    const size_t big = 1 << 24;

    struct Case {
        const char* name;
        std::string body;
        ContentCoding coding;
        size_t limit;
        bool ok;
        std::string expected;
    } cases[] = {
        {"gzip", gzip, ContentCoding::kGzip, big, true, text},
        {"two gzip members", Compress("ab", 31) + Compress("cd", 31), ContentCoding::kGzip, big,
         true, "abcd"},
        {"deflate with zlib wrapper", zlib, ContentCoding::kDeflate, big, true, text},
        {"bare deflate", raw, ContentCoding::kDeflate, big, true, text},
        {"exactly at the bound", gzip, ContentCoding::kGzip, text.size(), true, text},
        {"empty gzip stream", Compress("", 31), ContentCoding::kGzip, big, true, ""},
        {"identity within the bound", "abc", ContentCoding::kIdentity, 3, true, "abc"},

        {"one byte over the bound", gzip, ContentCoding::kGzip, text.size() - 1, false, ""},
        {"bomb", zeros, ContentCoding::kGzip, 64 * 1024, false, ""},
        {"cut short", cut, ContentCoding::kGzip, big, false, ""},
        {"corrupt", flipped, ContentCoding::kGzip, big, false, ""},
        {"not compressed at all", text, ContentCoding::kGzip, big, false, ""},
        {"garbage after the stream", gzip + "xyz", ContentCoding::kGzip, big, false, ""},
        {"empty body", "", ContentCoding::kGzip, big, false, ""},
        {"gzip named deflate", gzip, ContentCoding::kDeflate, big, false, ""},
        {"identity over the bound", "abcd", ContentCoding::kIdentity, 3, false, ""},
    };
    for (const Case& c : cases) {
        std::string out = "old";
        EXPECT_EQ(DecodeContent(c.body, c.coding, c.limit, out), c.ok) << c.name;
        if (c.ok)
            EXPECT_EQ(out, c.expected) << c.name;
        else
            EXPECT_TRUE(out.empty()) << c.name;
    }
    Bytes bytes;
    ASSERT_TRUE(DecodeContent(zlib, ContentCoding::kDeflate, big, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
}

TEST(AnswerReader, FramingOnTheWire) {
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    struct Case {
        const char* name;
        std::string wire;  // everything the connection carried before it closed
        bool complete;
        std::string body;
        bool head = false;
        bool open = false;  // the connection may carry the next request
    } cases[] = {
        {"length", ok + "Content-Length: 5\r\n\r\nhello", true, "hello", false, true},
        {"length, more after it", ok + "Content-Length: 2\r\n\r\nhello", true, "he"},
        {"to the close", ok + "Server: x\r\n\r\nhello", true, "hello"},
        {"bare line feeds", "HTTP/1.0 200 OK\nContent-Length: 2\n\nhi", true, "hi"},
        {"chunks", chunked + "2\r\nhe\r\n3;ext=1\r\nllo\r\n0\r\nX-T: 1\r\n\r\n", true, "hello",
         false, true},
        {"asks to close", ok + "Connection: Keep-Alive, Close\r\nContent-Length: 2\r\n\r\nhi", true,
         "hi"},
        {"1.0 kept alive",
         "HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\nhi", true, "hi",
         false, true},
        {"chunk size in capitals", chunked + "A\r\n0123456789\r\n0\r\n\r\n", true, "0123456789",
         false, true},
        {"interim answers first",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n" + ok +
             "Content-Length: 2\r\n\r\nhi",
         true, "hi", false, true},
        {"204 ends at its head", "HTTP/1.1 204 No Content\r\nServer: x\r\n\r\nstray", true, ""},
        {"HEAD ends at its head", ok + "Content-Length: 5\r\n\r\n", true, "", true, true},

        {"shorter than its length", ok + "Content-Length: 9\r\n\r\nhello", false, ""},
        {"chunk cut short", chunked + "10\r\nhello", false, ""},
        {"no last chunk", chunked + "5\r\nhello\r\n", false, ""},
        {"no blank line after the last chunk", chunked + "5\r\nhello\r\n0\r\n", false, ""},
        {"bad size line", chunked + "zz\r\nhello\r\n0\r\n\r\n", false, ""},
        {"absurd chunk size", chunked + "ffffffffffffffffff\r\nhello\r\n0\r\n\r\n", false, ""},
        {"chunk longer than its size", chunked + "3\r\nhello\r\n0\r\n\r\n", false, ""},
        {"no status line", "hello world\r\n\r\n", false, ""},
        {"header line without a colon", ok + "Content-Length: 5\r\nbogus\r\n\r\nhello", false, ""},
        {"folded header line", ok + "X-A: 1\r\n  folded\r\nContent-Length: 5\r\n\r\nhello", false,
         ""},
        {"blank before the first header", ok + " \r\nContent-Length: 5\r\n\r\nhello", false, ""},
        {"two lengths", ok + "Content-Length: 5\r\nContent-Length: 7\r\n\r\nhello12", false, ""},
        {"head never ends", ok + "X-Slow: aaaa", false, ""},
        {"101", "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\n", false, ""},
        {"body over the limit", ok + "Content-Length: 40\r\n\r\n" + std::string(40, 'a'), false,
         ""},
        {"chunks over the limit", chunked + "20\r\n" + std::string(32, 'a') + "\r\n0\r\n\r\n",
         false, ""},
    };
    // Held, and handed to a sink as it arrives: the same framing and bounds either way.
    for (const Case& c : cases) {
        for (bool withSink : {false, true}) {
            for (size_t piece : {c.wire.size(), size_t(1), size_t(3)}) {
                AnswerReader reader(16, c.head);
                std::string sunk;
                if (withSink) {
                    reader.SetBodySink([&sunk](std::string_view bytes) {
                        sunk.append(bytes);
                        return true;
                    });
                }
                for (size_t at = 0; at < c.wire.size(); at += piece)
                    reader.Feed(std::string_view(c.wire).substr(at, piece));
                reader.Close();
                const std::string held(reader.Body().begin(), reader.Body().end());
                EXPECT_EQ(reader.state() == AnswerReader::State::kComplete, c.complete)
                    << c.name << " in pieces of " << piece << (withSink ? ", sunk" : "");
                // What a broken answer sank already is the caller's to drop.
                const bool sunkWhole = reader.BodySunk() && c.complete;
                EXPECT_EQ(sunkWhole ? sunk : held, c.body)
                    << c.name << " in pieces of " << piece << (withSink ? ", sunk" : "");
                if (reader.BodySunk()) {
                    EXPECT_EQ(held, "") << c.name;
                }
                EXPECT_EQ(reader.LeavesConnectionOpen(), c.open)
                    << c.name << " in pieces of " << piece;
            }
        }
    }
}

}  // namespace
