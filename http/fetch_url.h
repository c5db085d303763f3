// FetchUrlBytes: a plain synchronous GET that returns the body as the server sent it (decoded
// when it came compressed; no headers of our own, no cookies). Used for the rendered preview
// picture. Pending window messages are processed once while the request is out. A plain http
// address is fetched over a connection of its own whose answer is read here, so that a body
// cut short or a malformed answer is always seen; https goes through WinHTTP.
#pragma once

#include "core/types.h"

struct FetchResult {
    // HTTP status code of the final response, 0 when no answer came back.
    int status = 0;
    // True when the whole body arrived (as long as Content-Length said, no read failure).
    bool complete = false;
};

// A body larger than this (as read, or once decoded) is refused (empty bytes, complete = false).
constexpr unsigned long long kFetchMaxResponseBytes = 256ull * 1024 * 1024;

// The whole fetch gives up after this long, however the server paces what it sends.
constexpr unsigned kFetchDeadlineMs = 30000;

// Redirects followed before the fetch gives up.
constexpr int kFetchMaxRedirects = 10;

// Returns the body of the answer, or empty bytes when the request could not be made, failed
// part-way or was too large. An HTTP error status still returns its body: callers that must not
// keep an error page check `result->status`.
// `deadline_ms` bounds the whole fetch.
Bytes FetchUrlBytes(const Text& url,
                    FetchResult* result = nullptr,
                    unsigned deadline_ms = kFetchDeadlineMs);
