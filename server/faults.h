// Misbehaviour on request: rules that make the service answer slowly, wrongly or not at all
// for a path, a path prefix or every path. Set with --fault or GET /__control.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lzf::server {

struct Fault {
    std::string path = "*";  // exact path, "prefix*", or "*" for every path
    int times = -1;          // how many more requests it applies to; -1 = unlimited

    // Before the answer.
    int delay_ms = 0;

    // The answer's content.
    int status = 0;  // 0 = as the handler answers
    std::string reason;
    std::optional<std::string> body;  // replaces the body (raw bytes)
    std::string content_type;
    std::vector<std::string> headers;  // extra header lines, sent verbatim
    std::string redirect;              // Location of a 302 (or of `status` when it is 3xx)
    bool redirect_loop = false;        // a 302 back to the requested path
    std::int64_t huge_bytes = -1;      // generated body of this many bytes, streamed
    std::string file;                  // serve this file's bytes, streamed
    bool gzip = false;                 // compress the body (Content-Encoding: gzip)
    std::string deflate;           // "zlib" or "raw": deflate the body (Content-Encoding: deflate)
    std::int64_t gzip_zeros = -1;  // the body is the gzip stream of this many zero bytes
    int header_lines = 0;          // this many extra header lines
    std::int64_t header_line_bytes = 0;  // one extra header line this long
    std::optional<std::string> raw;      // the whole answer, verbatim; the connection closes after

    // Pages of the catalogue.
    std::string meta_charset;  // declare this charset in a meta tag ...
    int meta_offset = -1;      // ... starting at this byte of the page (-1: in the head)
    bool encode = true;        // ... and re-encode the page in it
    bool no_digit_options = false;
    bool mixed_options = false;

    // On the wire.
    int drip_bytes = 0;                // send the body this many bytes at a time ...
    int drip_ms = 0;                   // ... with this pause between pieces
    std::int64_t close_after = -1;     // close after this many body bytes
    std::int64_t content_length = -1;  // declare this length instead of the real one
    bool no_content_length = false;    // declare none (body ends when the connection closes)
    bool chunked = false;              // chunked transfer encoding
    bool keep_alive = true;            // false: close the connection after the answer
    std::int64_t reset_after = -1;     // reset the connection after this many body bytes

    bool Matches(const std::string& request_path) const;
};

// Reads the fault keys of a control query into *fault. Keys that are not fault keys are
// returned in *rest; a malformed value gives false and a message in *error.
bool ParseFault(const std::vector<std::pair<std::string, std::string>>& items,
                Fault* fault,
                std::vector<std::pair<std::string, std::string>>* rest,
                bool* any_fault_key,
                std::string* error);

class FaultTable {
  public:
    // A new rule replaces an earlier one for the same path.
    void Add(const Fault& fault);
    void Clear();
    // The newest rule that matches the path; counts one use of it.
    std::optional<Fault> Take(const std::string& path);

  private:
    std::mutex mutex_;
    std::vector<Fault> rules_;
};

}  // namespace lzf::server
