// An HTTP/1.1 answer read straight from the bytes of a connection: the header block (strictly:
// a status line, then "Name: value" lines, nothing folded, nothing without a colon), interim 1xx
// answers skipped, and the body framed by chunks, by Content-Length or by the end of the
// connection. A chunked body is whole only when its last chunk and the blank line after the
// trailers arrived; a body with a length only when all of it arrived. Portable: the transport
// only feeds it what it receives.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "core/types.h"
#include "http/answer.h"

class AnswerReader {
  public:
    enum class State {
        kReading,   // more bytes are wanted
        kComplete,  // the whole answer arrived; the body is in Body()
        kBroken,    // the answer is malformed, cut short or larger than the limit
    };

    // Takes body bytes as they arrive; false when it could not keep them.
    using BodySink = std::function<bool(std::string_view)>;

    // `limit` bounds the body as it arrives (before any content decoding); `head` says the
    // request was HEAD, whose answer has no body.
    AnswerReader(size_t limit, bool head) : limit_(limit), head_(head) {}

    // The body of a final 2xx answer without a content coding goes to `sink` as it arrives
    // instead of into Body(), so that a large download is never held whole; any other body
    // (a redirect's, an error page, a compressed one) is held as without a sink. A false from
    // the sink breaks the answer. Given before the first Feed.
    void SetBodySink(BodySink sink) { sink_ = std::move(sink); }
    // Whether the body of this answer goes (or went) to the sink.
    bool BodySunk() const { return sinking_; }

    // Takes the next bytes of the connection. Bytes after a complete answer are ignored (and
    // noted: Overrun).
    State Feed(std::string_view bytes);
    // The connection ended: completes a body that runs to the end of the connection, breaks
    // anything else that is not complete yet.
    State Close();

    State state() const { return state_; }
    // Valid once the header block has been read.
    const AnswerFraming& Framing() const { return framing_; }
    const std::string& HeaderBlock() const { return headerBlock_; }
    // Whether bytes came after the complete answer.
    bool Overrun() const { return overrun_; }
    // Whether the connection may carry another request after this complete answer: HTTP/1.1
    // without "Connection: close" (HTTP/1.0 only with "Connection: keep-alive"), its body
    // framed by its length or by chunks, and nothing after it.
    bool LeavesConnectionOpen() const;
    // The body as it came (still compressed when Framing().coding says so).
    Bytes& Body() { return body_; }

  private:
    enum class Stage { kHead, kLength, kToClose, kChunkSize, kChunkData, kChunkEnd, kTrailers };

    State Break();
    // Takes the header block at the start of `buffer_`, `end` bytes long (up to its blank
    // line); false when it is malformed.
    bool TakeHead(size_t end);
    bool Append(std::string_view data);

    const size_t limit_;
    const bool head_;
    State state_ = State::kReading;
    Stage stage_ = Stage::kHead;
    std::string buffer_;  // unparsed bytes of the head, of a chunk size line or of trailers
    std::string headerBlock_;
    AnswerFraming framing_;
    unsigned long long left_ = 0;  // bytes of the body or of the chunk still to come
    size_t trailerBytes_ = 0;
    unsigned long long received_ = 0;  // body bytes taken, held or sunk
    Bytes body_;
    BodySink sink_;
    bool sinking_ = false;
    bool overrun_ = false;
};
