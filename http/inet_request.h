// InetRequest: an HTTP request over WinInet for binary downloads. It completes the header block
// itself, sends cookies and returns the cookies the response sets, and returns the body bytes
// exactly as the server sent them. It reports no error text; the optional InetResult tells the
// caller the HTTP status and whether the whole body arrived, and an InetCancelToken lets another
// thread abort the transfer.
//
//   InetCancelToken cancel;            // shared with the window thread
//   InetResult result;
//   Bytes font = InetRequest(url, 1, "id=" + id, headers, {.result = &result, .cancel = &cancel});
//   if (result.complete && result.status == 200) ...save...
#pragma once

#include <mutex>

#include "core/types.h"

// Aborts a running InetRequest from any thread. Cancel() marks the token and closes the live
// request handle, so a read blocked inside the transport returns at once; the request then ends
// with what it has, marked incomplete. A token cancelled before the request starts makes the
// request end without sending. One token serves one request at a time; Reset() re-arms it.
class InetCancelToken {
  public:
    InetCancelToken() = default;
    InetCancelToken(const InetCancelToken&) = delete;
    InetCancelToken& operator=(const InetCancelToken&) = delete;

    void Cancel();
    bool IsCancelled() const;
    void Reset();

    // Used by the engine: Attach registers the live request handle (false when already
    // cancelled: the engine closes the handle itself). Detach takes the handle back and returns
    // true when the engine still owns it and must close it, false when Cancel() closed it.
    bool Attach(void* request_handle);
    bool Detach();

  private:
    mutable std::mutex mutex_;
    void* handle_ = nullptr;
    bool cancelled_ = false;
};

struct InetResult {
    // Whether a request reached the server and an answer came back.
    bool answered = false;
    // HTTP status code of the final response (0 when there was none).
    int status = 0;
    // True when the whole body arrived: as many bytes as Content-Length announced (or, without
    // it, until the server ended the body), no read failure, no cancel, no size limit hit.
    bool complete = false;
    // True when the request was aborted through the cancel token.
    bool cancelled = false;
};

struct InetRequestOptions {
    // In/out cookie jar. Absent (nullptr): the transport handles cookies itself. Present, even
    // when empty: the transport's own cookies are switched off; receives the merged jar.
    Text* send_cookies = nullptr;
    // Out: cookies set by the response ("a=1; b=2"), merged with send_cookies when present.
    Text* received_cookies = nullptr;
    // Out: the header block as sent (names normalised, default lines, Cookie line added).
    Text* sent_headers = nullptr;
    // Out: the raw response header block.
    Text* response_headers = nullptr;
    // Do not follow redirects.
    bool no_redirect = false;
    // In/out: request body as bytes. When it is empty (or absent) and a body is sent, it receives
    // the bytes of body_text.
    Bytes* body_bytes = nullptr;
    // Proxy "host:port"; empty means a direct connection.
    Text proxy;
    // Merge the received cookies into send_cookies (when send_cookies is present).
    bool merge_cookies = true;
    // Add the default header lines that are missing.
    bool complete_headers = true;
    // Re-capitalise header names first.
    bool normalize_header_names = true;
    // Out: status and completeness of the answer.
    InetResult* result = nullptr;
    // Optional abort hook.
    InetCancelToken* cancel = nullptr;
};

// Performs the request and returns the response body. Empty when the transport could not be
// opened, connected or asked for the request, and when the body would exceed
// kInetMaxResponseBytes. An HTTP error status is not detected here: check result->status.
Bytes InetRequest(const Text& url,
                  int method = 0,
                  const Text& body_text = Text(),
                  const Text& extra_headers = Text(),
                  const InetRequestOptions& options = InetRequestOptions());

constexpr unsigned long long kInetMaxResponseBytes = 256ull * 1024 * 1024;
