#include "http/web_request.h"

#include "http/web_direct.h"
#include "http/winhttp_session.h"

#include <algorithm>
#include <new>
#include <string>

#include "core/codepage.h"
#include "core/log.h"
#include "core/pump.h"
#include "core/text.h"
#include "http/charset.h"
#include "http/headers.h"
#include "http/transfer.h"

namespace {

const char kPlatformError[] = "700 当前系统不支持WinHttp服务!";
const char kUrlError[] = "701 解析URL地址失败!";
const char kSessionError[] = "702 创建WinHttp会话失败!";
const char kConnectError[] = "703 创建WinHttp连接失败!";
const char kRequestError[] = "704 创建WinHttp请求失败!";
const char kTimeoutError[] = "705 设置超时时间失败!";
const char kCredentialsError[] = "707 设置代理凭证失败!";
const char kCookieOptionError[] = "708 禁止自动设置Cookies失败!";
const char kRedirectError[] = "709 重定向设置失败!";
const char kHeaderError[] = "710 设置协议头失败!";
const char kSendError[] = "711 发送请求失败!";
const char kReceiveError[] = "712 服务器未响应!";
const char kReadError[] = "713 读取数据失败!";

// The window thread's rounds of message processing after the exchange: one after each header
// line of the answer, after the charset search, and on the way out one for every stage the
// request had completed (the early returns of the option steps skip those). They follow one
// another with only this call's own work between them, so a round that finds the queue empty
// ends them (PumpRounds).
class ExitPumps {
  public:
    ~ExitPumps() {
        if (skip_)
            return;
        for (int i = 0; i < count_; ++i)
            rounds_.Round();
    }
    void Passed() { ++count_; }
    void Skip() { skip_ = true; }
    void Round() { rounds_.Round(); }
    void Waited() { rounds_.Waited(); }

  private:
    int count_ = 0;
    bool skip_ = false;
    PumpRounds rounds_;
};

bool SetDwordOption(HINTERNET h, DWORD option, DWORD value) {
    return WinHttpSetOption(h, option, &value, sizeof value) != FALSE;
}

std::u16string Wide(const Text& s) {
    return codepage::ToWide(s, codepage::kGbk);
}

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

}  // namespace

namespace {

// The handles of one request over WinHTTP.
struct WinHttpRequest {
    WinHttpHandle session;  // declared first: closed last
    WinHttpHandle connection;
    WinHttpHandle request;
};

// Opens the session, the connection and the request for `target` and hands the transport its
// options and the header block. Returns the error text of the step that failed, or nullptr;
// `pumps` (when given) counts the stages passed and is told when an option step failed.
const char* OpenWinHttp(const RequestTarget& target,
                        int method,
                        const Text& headers,
                        bool cookies,
                        int timeout,
                        const WebRequestOptions& o,
                        WinHttpRequest& h,
                        ExitPumps* pumps) {
    auto passed = [pumps]() {
        if (pumps)
            pumps->Passed();
    };
    DWORD access = WINHTTP_ACCESS_TYPE_NO_PROXY;
    std::u16string proxyName;
    if (!o.proxy.empty()) {
        access = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        // Named as it is for both schemes: the one request of the session goes through it
        // either way, and not every WinHTTP reads the "http=" form of a proxy list.
        proxyName = Wide(o.proxy);
    }
    h.session.Reset(WinHttpOpen(nullptr, access, proxyName.empty() ? nullptr : W(proxyName),
                                WINHTTP_NO_PROXY_BYPASS, 0));
    if (!h.session) {
        LogLastError("WinHttpOpen");
        return kSessionError;
    }
    passed();
    // Certificates are checked, and an https page is never followed to a plain http address
    // (the transport's default; set explicitly so that no other default applies).
    SetDwordOption(h.session.Get(), WINHTTP_OPTION_REDIRECT_POLICY,
                   WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP);

    if (!WinHttpSetTimeouts(h.session.Get(), timeout, timeout, timeout, timeout)) {
        LogLastError("WinHttpSetTimeouts");
        return kTimeoutError;
    }
    passed();

    h.connection.Reset(WinHttpConnect(h.session.Get(), W(target.host), target.port, 0));
    if (!h.connection) {
        LogLastError("WinHttpConnect");
        return kConnectError;
    }
    passed();

    const std::u16string verb = Wide(HttpMethodName(method));
    h.request.Reset(WinHttpOpenRequest(h.connection.Get(), W(verb), W(target.path), nullptr,
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       target.secure ? WINHTTP_FLAG_SECURE : 0));
    if (!h.request) {
        LogLastError("WinHttpOpenRequest");
        return kRequestError;
    }
    passed();
    HINTERNET request = h.request.Get();
    // The wait for the response headers is a phase of its own to the transport; it gets the
    // same time-out (otherwise a server that accepts and never answers holds us far longer).
    SetDwordOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, timeout);

    auto failOption = [pumps](const char* call, const char* text) {
        LogLastError(call);
        if (pumps)
            pumps->Skip();
        return text;
    };
    if (!o.server_user.empty() && !o.server_password.empty()) {
        const std::u16string user = Wide(o.server_user), password = Wide(o.server_password);
        if (!WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_SERVER, WINHTTP_AUTH_SCHEME_BASIC,
                                   W(user), W(password), nullptr))
            return failOption("WinHttpSetCredentials", kCredentialsError);
    }
    if (!o.proxy_user.empty() && !o.proxy_password.empty()) {
        const std::u16string user = Wide(o.proxy_user), password = Wide(o.proxy_password);
        if (!WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, WINHTTP_AUTH_SCHEME_BASIC,
                                   W(user), W(password), nullptr))
            return failOption("WinHttpSetCredentials", kCredentialsError);
    }
    // No certificate errors are ignored: the request keeps the transport's full checks.
    // The connection ends with the call, as the session does. Wine keeps finished connections
    // in a pool shared by all sessions of the process, and a form posted on such a connection
    // waits about 40 ms for its body to be acknowledged (the headers and the body go out in two
    // writes); a fresh connection to the service does not.
    if (!SetDwordOption(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_KEEP_ALIVE))
        LogLastError("WinHttpSetOption(DISABLE_KEEP_ALIVE)");
    if (!cookies) {
        if (!SetDwordOption(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES))
            return failOption("WinHttpSetOption(DISABLE_COOKIES)", kCookieOptionError);
    } else if (!SetDwordOption(request, WINHTTP_OPTION_ENABLE_FEATURE, 1)) {
        return failOption("WinHttpSetOption(ENABLE_FEATURE)", kCookieOptionError);
    }
    if (o.no_redirect &&
        !SetDwordOption(request, WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS))
        return failOption("WinHttpSetOption(DISABLE_REDIRECTS)", kRedirectError);

    if (!headers.empty()) {
        const std::u16string wideHeaders = Wide(headers);
        if (!WinHttpAddRequestHeaders(request, W(wideHeaders),
                                      static_cast<DWORD>(wideHeaders.size()),
                                      WINHTTP_ADDREQ_FLAG_ADD)) {
            LogLastError("WinHttpAddRequestHeaders");
            return kHeaderError;
        }
    }
    passed();
    return nullptr;
}

Text RunWebRequest(const Text& url,
                   int method,
                   const Text& body_text,
                   const Text& extra_headers,
                   const WebRequestOptions& o) {
    // Declared first so that it runs last, after the transport's handles are closed.
    ExitPumps pumps;

    auto fail = [&](const char* text) {
        if (o.status)
            *o.status = text;
        return Text();
    };
    const Text sendCookies = o.send_cookies ? *o.send_cookies : Text();

    if (!WinHttpCheckPlatform())
        return fail(kPlatformError);
    pumps.Passed();

    RequestTarget target;
    if (!CrackRequestUrl(url, &target)) {
        LogLastError("WinHttpCrackUrl");
        return fail(kUrlError);
    }
    pumps.Passed();

    const int timeout = o.timeout_seconds >= 1 ? o.timeout_seconds * 1000 : 30000;
    const Text headers = BuildWebRequestHeaders(extra_headers, method, sendCookies,
                                                o.complete_headers, o.normalize_header_names);
    const Bytes& bodyBytes = o.body_bytes;
    std::string body =
        bodyBytes.empty() ? body_text : std::string(bodyBytes.begin(), bodyBytes.end());
    const unsigned long long limit = o.max_bytes ? o.max_bytes : kMaxResponseBytes;
    const DWORD deadlineMs = o.deadline_ms ? o.deadline_ms : kWebRequestDeadlineMs;
    const bool cookies = !sendCookies.empty();

    // A body that fails part-way, arrives shorter than announced, exceeds the limit or cannot
    // be decoded is a failed read: no partial page is handed on as if it were whole. It is read
    // into the text that becomes the page, so a large page is not held twice.
    Text received;
    Text responseHeaders;
    Exchange exchange;
    WinHttpAnswer answer;
    // Plain http straight to the server, with no credentials, is read here byte for byte, on
    // this thread; https, a proxy and authentication are WinHTTP's.
    const bool credentials = (!o.server_user.empty() && !o.server_password.empty()) ||
                             (!o.proxy_user.empty() && !o.proxy_password.empty());
    if (!target.secure && o.proxy.empty() && !credentials) {
        // Session, time-outs, connection and request: nothing of them can fail here.
        for (int i = 0; i < 4; ++i)
            pumps.Passed();
        if (!DirectHeadersAccepted(headers))
            return fail(kHeaderError);
        pumps.Passed();
        DirectRequest direct;
        direct.url = url;
        direct.method = method < 0 || method > 7 ? 0 : method;
        direct.headers = headers;
        direct.body = std::move(body);
        direct.cookies = cookies;
        direct.follow = !o.no_redirect;
        direct.timeout_ms = static_cast<DWORD>(timeout);
        direct.deadline = GetTickCount64() + deadlineMs;
        direct.limit = limit;
        DirectAnswer got;
        exchange = ExchangeDirect(direct, &got, received);
        if (exchange == Exchange::kComplete && !got.next_url.empty()) {
            // Redirected to https: the rest of the way is WinHTTP's, in what time is left.
            RequestTarget secure;
            WinHttpRequest h;
            if (!CrackRequestUrl(got.next_url, &secure) ||
                OpenWinHttp(secure, got.method, got.next_headers, cookies, timeout, o, h,
                            nullptr)) {
                exchange = Exchange::kNoAnswer;
            } else {
                exchange =
                    ExchangeWinHttp(std::move(h.session), std::move(h.connection),
                                    std::move(h.request), std::move(got.next_body), got.method == 2,
                                    limit, MillisecondsLeft(direct.deadline), &answer, received);
                got.headers = codepage::FromWide(answer.rawHeaders, codepage::kGbk);
            }
        }
        responseHeaders = std::move(got.headers);
    } else {
        WinHttpRequest h;
        if (const char* error =
                OpenWinHttp(target, method, headers, cookies, timeout, o, h, &pumps))
            return fail(error);
        // Send, receive and read run on a thread of their own: the whole call ends by the
        // deadline even while a server sends nothing or one byte at a time.
        exchange =
            ExchangeWinHttp(std::move(h.session), std::move(h.connection), std::move(h.request),
                            std::move(body), method == 2, limit, deadlineMs, &answer, received);
        responseHeaders = codepage::FromWide(answer.rawHeaders, codepage::kGbk);
    }
    switch (exchange) {
        case Exchange::kSendFailed:
            return fail(kSendError);
        case Exchange::kNoAnswer:
        case Exchange::kTimedOut:
            pumps.Passed();
            return fail(kReceiveError);
        case Exchange::kComplete:
            break;
        default:
            pumps.Passed();
            pumps.Passed();
            return fail(kReadError);
    }
    pumps.Passed();
    pumps.Passed();

    if (o.response_headers)
        *o.response_headers = responseHeaders;
    if (o.status)
        *o.status = ResponseStatusText(responseHeaders);

    Text receivedCookies = o.received_cookies ? *o.received_cookies : Text();
    ScanResponseHeaders(responseHeaders, receivedCookies, o.location, [&] { pumps.Round(); });
    if (o.merge_cookies && !sendCookies.empty()) {
        Text jar = sendCookies;
        receivedCookies = MergeCookies(jar, receivedCookies);
        if (o.send_cookies)
            *o.send_cookies = jar;
    }
    if (o.received_cookies)
        *o.received_cookies = receivedCookies;

    if (o.response_bytes)
        o.response_bytes->assign(received.begin(), received.end());
    Text charset;
    const bool searched = FindDeclaredCharset(
        received.substr(0, std::min<size_t>(received.find('\0'), 1024)), &charset);
    Text page;
    if (!searched || charset.empty() || charset == "gbk" || charset == "gb2312" ||
        !DecodeCharset(received, charset, page)) {
        // The page as it came, as text: up to its first zero byte.
        page = std::move(received);
        page.resize(std::min(page.size(), page.find('\0')));
    } else {
        pumps.Waited();  // a page converted a megabyte at a time
    }
    if (searched) {
        pumps.Passed();
        pumps.Round();
    }
    pumps.Round();
    return page;
}

}  // namespace

Text WebRequest(const Text& url,
                int method,
                const Text& body_text,
                const Text& extra_headers,
                const WebRequestOptions& options) {
    try {
        return RunWebRequest(url, method, body_text, extra_headers, options);
    } catch (const std::bad_alloc&) {
        // What the network sent may not fit in memory; that ends this call, not the program.
        if (options.status)
            *options.status = kReadError;
        return Text();
    }
}
