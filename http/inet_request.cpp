#include "http/inet_request.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "core/codepage.h"
#include "core/text.h"
#include "http/answer.h"
#include "http/headers.h"
#include "http/inet_hop.h"
#include "http/request_text.h"
#include "http/transfer.h"

// --- InetCancelToken ---

bool CancelEventTraits::Close(Handle h) {
    return KernelHandleTraits::Close(h);
}

InetCancelToken::InetCancelToken() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

void InetCancelToken::Cancel() {
    SetEvent(event_.Get());
}

bool InetCancelToken::IsCancelled() const {
    return WaitForSingleObject(event_.Get(), 0) == WAIT_OBJECT_0;
}

void InetCancelToken::Reset() {
    ResetEvent(event_.Get());
}

bool IsInetRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool DecodeInetBody(ContentCoding coding, Bytes& body) {
    Bytes decoded;
    const bool ok =
        DecodeContent(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()),
                      coding, static_cast<size_t>(kInetMaxResponseBytes), decoded);
    body.swap(decoded);
    return ok;
}

namespace {

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

std::u16string Wide(const Text& s) {
    return codepage::ToWide(s, codepage::kGbk);
}

// A Location value resolved against the address it came from; empty when it cannot be.
Text ResolveLocation(const Text& base, const Text& location) {
    const std::u16string wideBase = Wide(base), wideLocation = Wide(location);
    // Left unencoded, the result is never longer than both parts together.
    std::u16string url(wideBase.size() + wideLocation.size() + 16, u'\0');
    DWORD size = static_cast<DWORD>(url.size());
    if (!InternetCombineUrlW(W(wideBase), W(wideLocation), reinterpret_cast<wchar_t*>(url.data()),
                             &size, ICU_NO_ENCODE))
        return Text();
    url.resize(std::min<size_t>(size, url.find(u'\0')));
    return codepage::FromWide(url, codepage::kGbk);
}

// The header block without its lines called `name` (compared without case).
Text WithoutHeaderLines(const Text& block, const Text& name) {
    Text out;
    const Text prefix = AsciiLower(name) + ":";
    for (const Text& line : SplitText(block, "\r\n")) {
        if (line.empty() || StartsWith(AsciiLower(TrimBlanks(line)), prefix))
            continue;
        if (!out.empty())
            out += "\r\n";
        out += line;
    }
    return out;
}

// One request of InetRequest; it calls itself again for each redirect it follows, and once
// more when nothing of an answer arrived (over WinInet, a pooled connection the server had
// closed). `referer` is the address the caller asked for (the default Referer line).
Bytes RequestHop(const Text& url,
                 int method,
                 const Text& body_text,
                 const Text& extra_headers_in,
                 const InetRequestOptions& o,
                 const Text& referer,
                 int redirects_left,
                 bool may_retry) {
    InetResult outcome;
    auto report = [&]() {
        if (o.result)
            *o.result = outcome;
    };

    Text extraHeaders =
        o.normalize_header_names ? NormalizeHeaderNames(extra_headers_in) : extra_headers_in;
    if (method < 0 || method > 7)
        method = 0;
    const bool secure = AsciiLower(url.substr(0, 8)) == "https://";

    InetHop hop;
    hop.url = url;
    hop.method = method;
    hop.agent = InetAgentString(extraHeaders);
    hop.headers =
        CompleteInetHeaders(extraHeaders, referer, method, o.send_cookies, o.complete_headers);
    if (o.sent_headers)
        *o.sent_headers = hop.headers;
    if (method != 0) {
        hop.send_body = true;
        if (o.body_bytes && !o.body_bytes->empty()) {
            hop.body = *o.body_bytes;
        } else {
            hop.body = TextToBytes(body_text);
            if (o.body_bytes)
                *o.body_bytes = hop.body;
        }
    }
    hop.follow = !o.no_redirect;
    hop.transport_cookies = o.send_cookies == nullptr;
    hop.proxy = o.proxy;
    hop.body_sink = o.body_sink;

    // Plain http straight to the server is read here byte for byte; WinInet cannot tell a
    // chunked body cut short from a whole one.
    InetHopAnswer answer;
    InetCancelToken* token = o.cancel;
    const HANDLE cancel = token ? static_cast<HANDLE>(token->Event()) : nullptr;
    bool ended = !(token && token->IsCancelled());
    if (ended) {
        ended = !secure && o.proxy.empty() ? CarryOverOwnConnection(hop, &answer, cancel)
                                           : CarryOverWinInet(hop, &answer, cancel);
    }
    if (!ended) {
        outcome.cancelled = true;
        report();
        return Bytes();
    }
    outcome.answered = answer.answered;
    outcome.status = answer.answered ? answer.status : 0;

    if (answer.retryable && may_retry && !(token && token->IsCancelled())) {
        // Nothing of an answer arrived. Once more, on a connection of its own.
        return RequestHop(url, method, body_text, extra_headers_in, o, referer, redirects_left,
                          false);
    }

    if (answer.answered && answer.sound && !answer.location.empty()) {
        const Text next = ResolveLocation(url, answer.location);
        const Text scheme = AsciiLower(next);
        // From https only https; from http, http or https; never file:, ftp: or the like.
        const bool allowed =
            StartsWith(scheme, "https://") || (!secure && StartsWith(scheme, "http://"));
        if (!allowed || redirects_left <= 0) {
            outcome.answered = false;
            outcome.status = 0;
            report();
            return Bytes();
        }
        // As browsers do: 301, 302 and 303 ask again with GET and no body (HEAD stays HEAD);
        // 307 and 308 repeat the request as it was.
        const bool toGet = outcome.status <= 303 && method != 0 && method != 2;
        if (!toGet)
            return RequestHop(next, method, body_text, extra_headers_in, o, referer,
                              redirects_left - 1, true);
        InetRequestOptions get = o;
        get.body_bytes = nullptr;
        Text headers = WithoutHeaderLines(extra_headers_in, "Content-Length");
        headers = WithoutHeaderLines(headers, "Content-Type");
        return RequestHop(next, 0, Text(), headers, get, referer, redirects_left - 1, true);
    }

    if (o.response_headers)
        *o.response_headers = answer.headers;
    Text receivedCookies;
    ScanResponseHeaders(answer.headers, receivedCookies, nullptr);
    if (o.merge_cookies && o.send_cookies)
        receivedCookies = MergeCookies(*o.send_cookies, receivedCookies);
    if (o.received_cookies)
        *o.received_cookies = receivedCookies;

    outcome.complete = answer.answered && answer.sound && !answer.failed;
    outcome.sunk = answer.sunk;
    report();
    // Half a file, framing or an aborted transfer is never handed on as if it were the body.
    if (!outcome.complete)
        return Bytes();
    return std::move(answer.body);
}

}  // namespace

Bytes InetRequest(const Text& url,
                  int method,
                  const Text& body_text,
                  const Text& extra_headers,
                  const InetRequestOptions& options) {
    try {
        return RequestHop(url, method, body_text, extra_headers, options, url, kInetMaxRedirects,
                          true);
    } catch (const std::bad_alloc&) {
        if (options.result)
            *options.result = InetResult();
        return Bytes();
    }
}
