#include "http/fetch_url.h"

#include "http/winhttp_session.h"

#include <atomic>
#include <new>
#include <string>

#include "core/codepage.h"
#include "core/pump.h"
#include "core/text.h"
#include "http/answer.h"
#include "http/plain_connection.h"
#include "http/request_text.h"
#include "http/transfer.h"
#include "http/url.h"

namespace {

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

// The fetch over WinHTTP, for https addresses.
Bytes WinHttpFetch(const Text& url, FetchResult* result, unsigned deadline_ms) {
    FetchResult outcome;
    Bytes body;
    WinHttpHandle session;
    WinHttpHandle connection;
    WinHttpHandle request;

    RequestTarget target;
    if (!CrackRequestUrl(url, &target)) {
        if (result)
            *result = outcome;
        return Bytes();
    }

    // The transport's default time-outs and redirect rules (followed, but never from https
    // to plain http); certificates are checked; the body is not decoded.
    session.Reset(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0));
    if (session) {
        DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
        WinHttpSetOption(session.Get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
        connection.Reset(WinHttpConnect(session.Get(), W(target.host), target.port, 0));
    }
    if (connection)
        request.Reset(WinHttpOpenRequest(connection.Get(), L"GET", W(target.path), nullptr,
                                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         target.secure ? WINHTTP_FLAG_SECURE : 0));
    if (request) {
        // No cookies, and no connection left behind for a later request (as in WebRequest).
        DWORD features = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_KEEP_ALIVE;
        WinHttpSetOption(request.Get(), WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
        // The exchange runs on a thread of its own, bounded by the deadline.
        WinHttpAnswer answer;
        try {
            outcome.complete =
                ExchangeWinHttp(std::move(session), std::move(connection), std::move(request),
                                std::string(), false, kFetchMaxResponseBytes, deadline_ms, &answer,
                                body) == Exchange::kComplete;
        } catch (const std::bad_alloc&) {
            outcome.complete = false;
        }
        outcome.status = answer.status;
        if (!outcome.complete)
            Bytes().swap(body);
    }
    if (result)
        *result = outcome;
    return body;
}

// The request of a plain fetch: the path and the Host line (the connection may be kept for the
// next request, as the service allows).
std::string PlainGetRequest(const Text& host, int port, const Text& path) {
    // Built piece by piece (GCC 12 warns wrongly about chains of string concatenations).
    std::string request = "GET ";
    request += path;
    request += " HTTP/1.1\r\nHost: ";
    const bool bracketed = host.find(':') != Text::npos;  // an IPv6 address
    if (bracketed)
        request += '[';
    request += host;
    if (bracketed)
        request += ']';
    if (port != 80) {
        request += ':';
        request += std::to_string(port);
    }
    request += "\r\n\r\n";
    return request;
}

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

Bytes FetchUrlBytes(const Text& url, FetchResult* result, unsigned deadline_ms) {
    FetchResult outcome;
    auto finish = [&](Bytes body) {
        if (result)
            *result = outcome;
        return body;
    };
    // The window thread gets its waiting messages processed once while the request is out.
    PumpPendingMessages();
    const ULONGLONG deadline = GetTickCount64() + deadline_ms;
    Text current = url;
    // Plain http is read here, byte by byte of the answer; https goes to WinHTTP. Redirects
    // are followed as the transport would: ten at most, from https never back to http.
    for (int redirects = 0; redirects <= kFetchMaxRedirects; ++redirects) {
        RequestTarget target;
        if (!CrackRequestUrl(current, &target))
            return finish(Bytes());
        if (target.secure)
            return WinHttpFetch(current, result, MillisecondsLeft(deadline));
        AnswerReader reader(static_cast<size_t>(kFetchMaxResponseBytes), false);
        const std::atomic<bool> stop{false};
        const Text host = codepage::FromWide(target.host, codepage::kGbk);
        const Text path = EscapePathForWire(codepage::FromWide(target.path, codepage::kGbk));
        try {
            ExchangeOverPlainConnection(host, target.port, PlainGetRequest(host, target.port, path),
                                        {deadline, deadline}, stop, reader);
        } catch (const std::bad_alloc&) {
        }
        // The status of an answer whose header block arrived, whole or not.
        outcome.status = reader.HeaderBlock().empty() ? 0 : reader.Framing().status;
        if (reader.state() != AnswerReader::State::kComplete)
            return finish(Bytes());
        const Text location = AnswerHeaderValue(reader.HeaderBlock(), "Location");
        if (IsRedirect(outcome.status) && !location.empty()) {
            current = ResolveUrl(current, location);
            const Text lower = AsciiLower(current);
            if (!StartsWith(lower, "http://") && !StartsWith(lower, "https://")) {
                outcome.status = 0;
                return finish(Bytes());
            }
            continue;
        }
        Bytes body;
        if (reader.Framing().coding == ContentCoding::kIdentity) {
            body.swap(reader.Body());
        } else {
            const Bytes& raw = reader.Body();
            if (!DecodeContent(
                    std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size()),
                    reader.Framing().coding, static_cast<size_t>(kFetchMaxResponseBytes), body))
                return finish(Bytes());
        }
        outcome.complete = true;
        return finish(std::move(body));
    }
    outcome.status = 0;
    return finish(Bytes());
}
