// Pieces shared by the two WinHTTP users (WebRequest and FetchUrlBytes): the handle owner, the
// address cracker and the bounded body reader. Includes winhttp.h; never include it beside
// wininet.h.
#pragma once

#include <windows.h>

#include <winhttp.h>

#include <string>

#include "core/owner.h"
#include "core/types.h"

// A WinHTTP handle (session, connection or request), closed when its owner goes.
struct WinHttpHandleTraits {
    using Handle = HINTERNET;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return WinHttpCloseHandle(h) != FALSE; }
};
using WinHttpHandle = Owner<WinHttpHandleTraits>;

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

// How an exchange (send, receive, read the body) ended.
enum class Exchange {
    kComplete,         // a sound answer arrived whole (and was decoded when compressed)
    kSendFailed,       // the request could not be sent
    kNoAnswer,         // no answer headers arrived
    kBadAnswer,        // the answer's framing or coding cannot be trusted or undone
    kReadFailed,       // reading the body failed or ended before the length it announced
    kTooLarge,         // the body, or its decoded form, would exceed the limit
    kTimedOut,         // the deadline passed before the answer (kTimedOut) ...
    kTimedOutReading,  // ... or while its body was read
};

struct WinHttpAnswer {
    int status = 0;             // the status code
    std::u16string rawHeaders;  // the raw header block as the transport gives it
};

// Sends `body` on `request` (whose connection and session come along: the three handles are
// taken over and closed when the exchange ends), receives the answer and reads its body into
// `out`, all within `deadline_ms` (INFINITE for none). The body is checked against its framing
// (see http/answer.h), grown with what arrives up to `limit` and decoded when it is compressed
// (the decoded form bounded by `limit` as well). `head` says the answer has no body.
// When the deadline passes, the call returns at once and the transfer ends by itself.
Exchange ExchangeWinHttp(WinHttpHandle session,
                         WinHttpHandle connection,
                         WinHttpHandle request,
                         std::string body,
                         bool head,
                         unsigned long long limit,
                         DWORD deadline_ms,
                         WinHttpAnswer* answer,
                         Bytes& out);
Exchange ExchangeWinHttp(WinHttpHandle session,
                         WinHttpHandle connection,
                         WinHttpHandle request,
                         std::string body,
                         bool head,
                         unsigned long long limit,
                         DWORD deadline_ms,
                         WinHttpAnswer* answer,
                         std::string& out);
