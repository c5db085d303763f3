// Pieces shared by the two WinHTTP users (WebRequest and FetchUrlBytes): a handle owner, the
// address cracker and the bounded body reader. Includes winhttp.h; never include it beside
// wininet.h.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include <string>
#include <utility>

#include "core/types.h"

// Owns one WinHTTP handle and closes it when it goes.
class WinHttpHandle {
  public:
    WinHttpHandle() = default;
    explicit WinHttpHandle(HINTERNET h) : h_(h) {}
    WinHttpHandle(WinHttpHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    WinHttpHandle& operator=(WinHttpHandle&& o) noexcept {
        if (this != &o)
            Reset(std::exchange(o.h_, nullptr));
        return *this;
    }
    WinHttpHandle(const WinHttpHandle&) = delete;
    WinHttpHandle& operator=(const WinHttpHandle&) = delete;
    ~WinHttpHandle() { Reset(nullptr); }

    void Reset(HINTERNET h) {
        if (h_)
            WinHttpCloseHandle(h_);
        h_ = h;
    }
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    HINTERNET h_ = nullptr;
};

// What a request is made from: the parts of its address as WinHTTP wants them.
struct RequestTarget {
    std::u16string host;
    INTERNET_PORT port = 0;
    bool secure = false;
    std::u16string path;  // "/" when the address has none; the query kept, the fragment dropped
};

// Cracks `url` (GBK text) into `target`; false when it is empty, cannot be cracked or names
// no host.
bool CrackRequestUrl(const Text& url, RequestTarget* target);

// Writes "<call> failed: <error>" to the debug log.
void LogWinHttpFailure(const char* call);

enum class BodyRead {
    kComplete,  // the whole body arrived
    kFailed,    // a read failed, or fewer bytes than Content-Length arrived
    kTooLarge,  // the body would exceed the limit (announced or while reading)
};

// Reads the response body of a request whose response has been received, into `body`
// (replacing what it held; Bytes or std::string). The buffer is reserved from Content-Length,
// so a known-size body is never copied while it grows; without one it grows in powers of two
// up to the limit, so at most half of it is copied once more. `expect_body` is false for HEAD.
BodyRead ReadWinHttpBody(HINTERNET request,
                         Bytes& body,
                         unsigned long long limit,
                         bool expect_body);
BodyRead ReadWinHttpBody(HINTERNET request,
                         std::string& body,
                         unsigned long long limit,
                         bool expect_body);

// The HTTP status code of a received response, 0 when it cannot be read.
int WinHttpStatusCode(HINTERNET request);
