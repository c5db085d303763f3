// The record of every request as it arrived on the wire.
//
// Format (GET /__log and --log FILE), one entry per request:
//   "=== lzf-request seq=S conn=C bytes=N[ tls=1][ error=CODE] ===\n"
//   then exactly N bytes: the request line, the header lines and the body, byte for byte,
//   then one "\n".
// S counts requests from 1; C numbers connections (requests on one connection share it);
// error is set when the request could not be read or parsed (the bytes are what arrived).
#pragma once

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

namespace lzf::server {

class RequestLog {
  public:
    ~RequestLog();
    // Also appends every entry to this file (kept open; flushed per entry).
    bool OpenFile(const std::string& path);
    void Add(long long connection, const std::string& raw, bool tls, int error_status);
    std::string Text();
    void Clear();

  private:
    std::mutex mutex_;
    std::deque<std::string> entries_;
    size_t bytes_ = 0;
    long long sequence_ = 0;
    std::FILE* file_ = nullptr;
};

}  // namespace lzf::server
