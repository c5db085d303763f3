// The text rules of the two request engines that do not depend on a transport: how request
// header blocks are completed, which agent string WinInet gets, how status, cookies and the
// redirect target are read out of a raw response header block. Portable.
#pragma once

#include <functional>

#include "core/types.h"

// Request verbs by index; an index outside 0..7 selects "GET".
// 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT.
const char* HttpMethodName(int method);

// --- WebRequest (WinHTTP) ---

// The header block handed to the transport: extra_headers, the default browser-like lines the
// caller did not give (when complete_headers), names re-capitalised (when
// normalize_header_names), a "Connection: keep-alive" line removed, a Cookie line from
// send_cookies when the block has none.
Text BuildWebRequestHeaders(const Text& extra_headers,
                            int method,
                            const Text& send_cookies,
                            bool complete_headers,
                            bool normalize_header_names);

// The status text of a raw response header block: the status line after the protocol word
// ("HTTP/1.1 200 OK" -> "200 OK"); empty when the block has no such line.
Text ResponseStatusText(const Text& response_headers);

// The numeric status code of a raw response header block, 0 when there is none.
int ResponseStatusCode(const Text& response_headers);

// The cookie a "Set-Cookie" response line sets ("Set-Cookie: a=1; path=/" -> "a=1"), or empty
// text when the line is not exactly a Set-Cookie line (the name is compared case-sensitively).
Text SetCookieValue(const Text& line);

// Scans a raw response header block: every Set-Cookie line's cookie is appended to
// received_cookies (joined by "; "); a "Location: " line (name in any case) sets *location.
// `per_line` runs after each line (the window thread keeps processing its messages).
void ScanResponseHeaders(const Text& response_headers,
                         Text& received_cookies,
                         Text* location,
                         const std::function<void()>& per_line = nullptr);

// --- InetRequest (WinInet) ---

// The agent string for the session: the caller's User-Agent value, else the default.
Text InetAgentString(const Text& extra_headers);

// The header block InetRequest sends: extra_headers (already normalised when asked) with the
// default lines when complete_headers, then a Cookie line from send_cookies (when present and
// not empty).
Text CompleteInetHeaders(const Text& extra_headers,
                         const Text& url,
                         int method,
                         const Text* send_cookies,
                         bool complete_headers);

// --- Both ---

// A request path as it goes on the wire: every byte outside printable ASCII, and the blank,
// percent-encoded from the path's UTF-8 form ("/a/字 b" -> "/a/%E5%AD%97%20b"). Existing
// escapes are kept. The transport then never converts the path with the system's code page.
Text EscapePathForWire(const Text& path);

// The decimal value of a Content-Length header value; -1 when it is missing or not a number.
long long ParseContentLength(const Text& value);
