// What every engine checks in an answer before it hands anything on: that the raw header block
// is a sound HTTP/1.x answer whose framing the transport can have read correctly, and the
// decoding of a compressed body within a bound. Portable; the engines only feed it what their
// transport gives them.
#pragma once

#include <string>
#include <string_view>

#include "core/types.h"

// Header blocks larger than this, or with more lines, are refused whole (a header bomb, not an
// answer).
constexpr size_t kMaxAnswerHeaderBytes = 256 * 1024;
constexpr size_t kMaxAnswerHeaderLines = 1000;

enum class ContentCoding {
    kIdentity,  // no Content-Encoding (or "identity")
    kGzip,      // "gzip" or "x-gzip"
    kDeflate,   // "deflate": a zlib stream, or a raw deflate stream as some servers send
};

// What a header block says about the body that follows it.
struct AnswerFraming {
    int status = 0;         // the status code of the status line
    bool chunked = false;   // Transfer-Encoding: chunked
    long long length = -1;  // Content-Length, -1 when there is none
    ContentCoding coding = ContentCoding::kIdentity;
    size_t lines = 0;  // header lines after the status line
};

// Reads a raw response header block (status line first, lines joined by CR LF, the blank line
// at the end or not). False when the answer must not be used, whatever its body:
// - the block is larger than kMaxAnswerHeaderBytes or longer than kMaxAnswerHeaderLines, or
//   has no "HTTP/x.y NNN" status line;
// - Transfer-Encoding is anything but one "chunked" (any letter case), or comes together with
//   Content-Length: the transport's reading of such a body cannot be trusted;
// - Content-Length is not a decimal number, or two Content-Length lines disagree;
// - Content-Encoding names a coding other than identity, gzip, x-gzip and deflate, or more
//   than one.
bool ReadAnswerFraming(std::string_view header_block, AnswerFraming* framing);

// Whether an answer with this status (to this request method) carries a body at all.
bool AnswerHasBody(int status, bool head_request);

// The value of the first header line called `name` (compared without case) after the status
// line of a raw header block, blanks around it removed; empty when there is none.
std::string AnswerHeaderValue(std::string_view block, std::string_view name);

// Whether a header value that is a comma-separated list ("keep-alive, Close") holds `token`,
// letter case and blanks around the items not counting.
bool HeaderListHas(std::string_view value, std::string_view token);

// Decodes a gzip or deflate body into `out` (replacing what it held). False when the stream is
// corrupt, cut short, followed by anything but more gzip members, or when the decoded bytes
// would exceed `limit` (a decompression bomb): then `out` is empty. The output grows with what
// is decoded, never from a size the stream claims.
bool DecodeContent(std::string_view body, ContentCoding coding, size_t limit, Bytes& out);
bool DecodeContent(std::string_view body, ContentCoding coding, size_t limit, std::string& out);
