// InetRequest: an HTTP request for binary downloads. It completes the header block itself,
// sends cookies and returns the cookies the response sets, and returns the body bytes exactly as
// the server sent them. It reports no error text; the optional InetResult tells the caller the
// HTTP status and whether the whole body arrived, and an InetCancelToken lets another thread
// abort the transfer. https and requests through a proxy go over WinInet; plain http straight
// to the server goes over a connection of its own, whose answer is read here byte for byte,
// with WinInet's request bytes and WinInet's cookie store.
//
//   InetCancelToken cancel;            // shared with the window thread
//   InetResult result;
//   Bytes font = InetRequest(url, 1, "id=" + id, headers, {.result = &result, .cancel = &cancel});
//   if (result.complete && result.status == 200) ...save...
#pragma once

#include <functional>
#include <string_view>

#include "core/owner.h"
#include "core/types.h"

// The event of a cancel token (a system handle), closed when the token goes.
struct CancelEventTraits {
    using Handle = void*;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h);
};

// Aborts a running InetRequest from any thread. Cancel() marks the token and wakes the request,
// which returns at once (within a fraction of a second, whatever the server is doing), marked
// cancelled and incomplete; its transfer ends by itself in the background. A token cancelled
// before the request starts makes the request end without sending. One token serves one
// request at a time; Reset() re-arms it.
class InetCancelToken {
  public:
    InetCancelToken();
    InetCancelToken(const InetCancelToken&) = delete;
    InetCancelToken& operator=(const InetCancelToken&) = delete;

    void Cancel();
    bool IsCancelled() const;
    void Reset();

    // Used by the engine: an event that is set while the token is cancelled.
    void* Event() const { return event_.Get(); }

  private:
    Owner<CancelEventTraits> event_;
};

struct InetResult {
    // Whether a request reached the server and an answer came back.
    bool answered = false;
    // HTTP status code of the final response (0 when there was none).
    int status = 0;
    // True when the whole body arrived: as many bytes as Content-Length announced, a chunked
    // body up to its last chunk, or (with neither) until the server ended the body; no read
    // failure, no cancel, no size limit hit.
    bool complete = false;
    // True when the request was aborted through the cancel token.
    bool cancelled = false;
    // True when the body of the final answer went to the body sink instead of being returned.
    bool sunk = false;
};

struct InetRequestOptions {
    // In/out cookie jar. Absent (nullptr): WinInet's cookie store gives the cookies sent and
    // keeps the ones set, however the request goes. Present, even when empty: that store is not
    // used; receives the merged jar.
    Text* send_cookies = nullptr;
    // Out: cookies set by the response ("a=1; b=2"), merged with send_cookies when present.
    Text* received_cookies = nullptr;
    // Out: the header block as sent (names normalised, default lines, Cookie line added).
    Text* sent_headers = nullptr;
    // Out: the response header block as WinInet hands it back (status line, "Name: value"
    // lines, a blank line).
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
    // Optional: over the program's own connection (plain http, no proxy), the body of a final
    // 2xx answer without a content coding is handed here as it arrives, on the transfer's
    // thread, and not returned (result->sunk says so); a false return ends the transfer as
    // failed. Everything else (redirects, error pages, compressed bodies, anything over
    // WinInet) is returned as without it. After InetRequest returns, even on a cancel, the
    // sink is never called again.
    std::function<bool(std::string_view)> body_sink;
};

// Performs the request and returns the response body (decoded when it came gzip or deflate
// compressed). Empty when the transport could not be opened, connected or asked for the
// request, and whenever the answer is not complete: cut short, framed or coded in a way that
// cannot be trusted, larger than kInetMaxResponseBytes (as read or decoded), redirected more
// than kInetMaxRedirects times or to anything but http(s), cancelled. An HTTP error status is
// not detected here: check result->status.
Bytes InetRequest(const Text& url,
                  int method = 0,
                  const Text& body_text = Text(),
                  const Text& extra_headers = Text(),
                  const InetRequestOptions& options = InetRequestOptions());

constexpr unsigned long long kInetMaxResponseBytes = 256ull * 1024 * 1024;

// Redirects followed before the request gives up (for http and https alike).
constexpr int kInetMaxRedirects = 10;
