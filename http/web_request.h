// WebRequest: one complete HTTP request over WinHTTP. It builds its session, connection and
// request from scratch, completes the header block with browser-like defaults, sends an optional
// body, reads the whole response, picks status, cookies and redirect target out of the raw
// headers and returns the body decoded to GBK text according to the charset the page declares.
// Nothing survives between calls. Failures give an empty text and a numbered error text in
// `status` ("701 解析URL地址失败!" and so on); nothing throws.
//
// The common call is WebRequest(url, method, body_text, extra_headers); everything else is in
// WebRequestOptions, whose fields keep the order and defaults of the full parameter list:
//
//   Text status;
//   Text page = WebRequest(url, 1, form, headers, {.status = &status, .timeout_seconds = 5});
#pragma once

#include "core/types.h"
#include "http/request_text.h"

// A response body larger than this (read, or once decoded when it came compressed) is refused
// (713) instead of being held in memory.
constexpr unsigned long long kMaxResponseBytes = 256ull * 1024 * 1024;

// A call gives up after this long in all (712 before the answer arrived, 713 while its body
// was read), however the server paces what it sends.
constexpr unsigned kWebRequestDeadlineMs = 30000;

struct WebRequestOptions {
    // In/out: cookie text to send ("a=1; b=2"); receives the merged jar when cookies are merged.
    Text* send_cookies = nullptr;
    // Out: cookies set by the response, merged with send_cookies. Appended to as it stands.
    Text* received_cookies = nullptr;
    // Out: the raw response header block, status line first, lines joined by "\r\n".
    Text* response_headers = nullptr;
    // The transport must not follow redirects.
    bool no_redirect = false;
    // HTTP Basic credentials at the server (used when both are non-empty).
    Text server_user;
    Text server_password;
    // Proxy "host:port"; empty means a direct connection.
    Text proxy;
    // HTTP Basic credentials at the proxy (used when both are non-empty).
    Text proxy_user;
    Text proxy_password;
    // Timeout of each phase (resolve, connect, send, receive); below 1 means 30 seconds.
    int timeout_seconds = 0;
    // Out: the value of the response's "Location: " line, if any.
    Text* location = nullptr;
    // Out: the status text ("200 OK") on success, the numbered error text on failure.
    Text* status = nullptr;
    // Out: the response body exactly as received.
    Bytes* response_bytes = nullptr;
    // Merge the received cookies into the sent ones.
    bool merge_cookies = true;
    // Add the default request headers the caller did not give.
    bool complete_headers = true;
    // Request body as bytes; takes precedence over body_text when not empty.
    Bytes body_bytes;
    // Re-capitalise header names before sending.
    bool normalize_header_names = true;
    // A smaller bound on the body than kMaxResponseBytes (0: that bound).
    unsigned long long max_bytes = 0;
    // A shorter deadline for the whole call than kWebRequestDeadlineMs (0: that deadline).
    unsigned deadline_ms = 0;
};

// Performs the request and returns the body as GBK text (empty on every failure). An HTTP error
// status is not a failure: its body is returned and `status` holds e.g. "404 Not Found".
Text WebRequest(const Text& url,
                int method = 0,
                const Text& body_text = Text(),
                const Text& extra_headers = Text(),
                const WebRequestOptions& options = WebRequestOptions());
