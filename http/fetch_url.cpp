#include "http/fetch_url.h"

#include "http/winhttp_session.h"

#include <new>
#include <string>

#include "core/pump.h"

namespace {

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

}  // namespace

Bytes FetchUrlBytes(const Text& url, FetchResult* result, unsigned deadline_ms) {
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
        WinHttpSetOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
        connection.Reset(WinHttpConnect(session.get(), W(target.host), target.port, 0));
    }
    if (connection)
        request.Reset(WinHttpOpenRequest(connection.get(), L"GET", W(target.path), nullptr,
                                         WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                         target.secure ? WINHTTP_FLAG_SECURE : 0));
    if (request) {
        // No cookies, and no connection left behind for a later request (as in WebRequest).
        DWORD features = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_KEEP_ALIVE;
        WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
        // The exchange runs on a thread of its own, bounded by the deadline; the window thread
        // gets its waiting messages processed once before it waits for it.
        PumpPendingMessages();
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
    } else {
        PumpPendingMessages();
    }
    if (result)
        *result = outcome;
    return body;
}
