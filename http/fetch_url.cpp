#include "http/fetch_url.h"

#include "http/winhttp_session.h"

#include <string>

#include "core/pump.h"

namespace {

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

}  // namespace

Bytes FetchUrlBytes(const Text& url, FetchResult* result) {
    FetchResult outcome;
    Bytes body;
    {
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
            WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features,
                             sizeof features);
        }
        const bool sent =
            request && WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                          WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
        if (request && !sent)
            LogWinHttpFailure("WinHttpSendRequest");
        // The window thread gets its waiting messages processed once the request is out.
        PumpPendingMessages();
        if (sent && WinHttpReceiveResponse(request.get(), nullptr)) {
            outcome.status = WinHttpStatusCode(request.get());
            outcome.complete = ReadWinHttpBody(request.get(), body, kFetchMaxResponseBytes, true) ==
                               BodyRead::kComplete;
            if (!outcome.complete)
                body.clear();
        } else if (sent) {
            LogWinHttpFailure("WinHttpReceiveResponse");
        }
    }
    if (result)
        *result = outcome;
    return body;
}
