// FetchUrlBytes: a plain synchronous GET that returns the body exactly as the server sent it
// (no headers of our own, no cookies). Used for the rendered preview picture. Pending window
// messages are processed once the request has been sent.
#pragma once

#include "core/types.h"

struct FetchResult {
    // HTTP status code of the final response, 0 when no answer came back.
    int status = 0;
    // True when the whole body arrived (as long as Content-Length said, no read failure).
    bool complete = false;
};

// A body larger than this is refused (empty bytes, complete = false).
constexpr unsigned long long kFetchMaxResponseBytes = 256ull * 1024 * 1024;

// Returns the body of the answer, or empty bytes when the request could not be made, failed
// part-way or was too large. An HTTP error status still returns its body: callers that must not
// keep an error page check `result->status`.
Bytes FetchUrlBytes(const Text& url, FetchResult* result = nullptr);
