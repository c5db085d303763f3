#include "http/inet_request.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "core/codepage.h"
#include "core/text.h"
#include "http/headers.h"
#include "http/request_text.h"
#include "http/url.h"

// --- InetCancelToken ---

void InetCancelToken::Cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    if (handle_) {
        // Closing the request handle makes a read blocked in another thread return.
        InternetCloseHandle(static_cast<HINTERNET>(handle_));
        handle_ = nullptr;
    }
}

bool InetCancelToken::IsCancelled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return cancelled_;
}

void InetCancelToken::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = false;
    handle_ = nullptr;
}

bool InetCancelToken::Attach(void* request_handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (cancelled_)
        return false;
    handle_ = request_handle;
    return true;
}

bool InetCancelToken::Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool owned = handle_ != nullptr;
    handle_ = nullptr;
    return owned;
}

namespace {

void LogFailure(const char* call) {
    char line[160];
    std::snprintf(line, sizeof line, "lanzifang: %s failed: %lu\n", call,
                  static_cast<unsigned long>(GetLastError()));
    OutputDebugStringA(line);
}

// Owns one WinInet handle and closes it when it goes.
class InetHandle {
  public:
    InetHandle() = default;
    InetHandle(const InetHandle&) = delete;
    InetHandle& operator=(const InetHandle&) = delete;
    ~InetHandle() { Reset(nullptr); }

    void Reset(HINTERNET h) {
        if (h_)
            InternetCloseHandle(h_);
        h_ = h;
    }
    // Gives the handle up without closing it (someone else closed it already).
    void Forget() { h_ = nullptr; }
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    HINTERNET h_ = nullptr;
};

// The request handle, lent to a cancel token while the request runs.
class CancellableRequest {
  public:
    CancellableRequest(InetHandle& request, InetCancelToken* token)
        : request_(request), token_(token) {
        attached_ = token_ && token_->Attach(request_.get());
    }
    ~CancellableRequest() { Finish(); }
    // Takes the handle back; when the token closed it, the owner must not close it again.
    void Finish() {
        if (attached_ && !token_->Detach())
            request_.Forget();
        attached_ = false;
    }
    bool Cancelled() const { return token_ && token_->IsCancelled(); }

  private:
    InetHandle& request_;
    InetCancelToken* token_;
    bool attached_ = false;
};

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

std::u16string Wide(const Text& s) {
    return codepage::ToWide(s, codepage::kGbk);
}

// A header of the response as text, sized to what the header needs; empty when absent.
bool QueryInfoText(HINTERNET request, DWORD level, Text& out) {
    DWORD size = 0;
    if (HttpQueryInfoW(request, level, nullptr, &size, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return false;
    std::u16string value(size / sizeof(char16_t) + 1, u'\0');
    if (!HttpQueryInfoW(request, level, value.data(), &size, nullptr))
        return false;
    value.resize(size / sizeof(char16_t));
    out = codepage::FromWide(value, codepage::kGbk);
    return true;
}

int QueryStatusCode(HINTERNET request) {
    DWORD code = 0;
    DWORD size = sizeof code;
    if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size,
                        nullptr))
        return 0;
    return static_cast<int>(code);
}

// Redirect answers that a secure request follows itself (see RequestHop).
bool IsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
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

// Milliseconds from a steady clock.
double NowMs() {
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

// Reads the body straight into `body` until a read gives nothing. A synchronous read waits
// until its whole step has arrived, and a read blocked in the transport cannot always be cut
// short from outside, so the step adapts: it starts at 1 KiB and doubles while reads complete
// quickly (a 1 KiB step alone runs at a few percent of the line's speed), and halves when
// they are slow, so that a cancel is seen within a fraction of a second of a slow transfer.
void ReadBody(HINTERNET request,
              long long announced,
              const CancellableRequest& cancellable,
              Bytes& body,
              bool& failed,
              bool& too_large) {
    constexpr size_t kFirstStep = 1024;
    constexpr size_t kLargestStep = 1024 * 1024;
    constexpr size_t kLimit = static_cast<size_t>(kInetMaxResponseBytes);
    size_t step = kFirstStep;
    char probe[kFirstStep];
    while (!cancellable.Cancelled()) {
        const size_t have = body.size();
        // Once the announced length (or the limit) is reached, only a small probe outside the
        // body asks whether anything follows, so the body's buffer never grows past it.
        const bool probing = have >= kLimit || (announced >= 0 && have >= size_t(announced));
        size_t want = probing ? sizeof probe : std::min(step, kLimit - have);
        if (!probing && announced > 0)
            want = std::min(want, static_cast<size_t>(announced) - have);
        if (!probing) {
            if (have + want > body.capacity()) {
                // Powers of two up to the limit: at most half the body is copied once more.
                size_t capacity = 4096;
                while (capacity < have + want)
                    capacity *= 2;
                body.reserve(std::min(capacity, kLimit));
            }
            body.resize(have + want);
        }
        char* target = probing ? probe : reinterpret_cast<char*>(body.data()) + have;
        DWORD read = 0;
        const double start = NowMs();
        const bool ok = InternetReadFile(request, target, static_cast<DWORD>(want), &read);
        const double took = NowMs() - start;
        if (!probing)
            body.resize(have + (ok ? read : 0));
        if (!ok) {
            if (!cancellable.Cancelled())
                LogFailure("InternetReadFile");
            failed = true;
            return;
        }
        if (read == 0)
            return;
        if (probing) {
            if (have >= kLimit) {
                too_large = true;
                return;
            }
            body.insert(body.end(), probe, probe + read);
        }
        if (read == want && took < 20.0)
            step = std::min(step * 2, kLargestStep);
        else if (took > 200.0)
            step = std::max(step / 2, kFirstStep);
    }
}

// How many redirects a secure request follows before it gives up.
constexpr int kMaxSecureRedirects = 10;

// One request of InetRequest; a secure request calls itself again for each redirect it
// follows. `referer` is the address the caller asked for (the default Referer line).
Bytes RequestHop(const Text& url,
                 int method,
                 const Text& body_text,
                 const Text& extra_headers_in,
                 const InetRequestOptions& o,
                 const Text& referer,
                 int redirects_left) {
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
    const std::u16string agent = Wide(InetAgentString(extraHeaders));

    InetHandle internet;
    InetHandle connection;
    InetHandle request;

    std::u16string proxyName;
    if (!o.proxy.empty())
        proxyName = Wide(secure ? o.proxy : "http=" + o.proxy);
    internet.Reset(InternetOpenW(
        W(agent), o.proxy.empty() ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PROXY,
        o.proxy.empty() ? nullptr : W(proxyName), nullptr, 0));
    if (!internet) {
        LogFailure("InternetOpenW");
        report();
        return Bytes();
    }

    const std::u16string host = Wide(UrlHost(url));
    const int port = UrlPort(url);
    connection.Reset(InternetConnectW(internet.get(), W(host), static_cast<INTERNET_PORT>(port),
                                      nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        LogFailure("InternetConnectW");
        report();
        return Bytes();
    }

    // No certificate error is ignored. A secure request follows its redirects itself: the
    // transport would follow one to a plain http address (Wine's does, whatever the flags),
    // sending the request with its cookies in the clear before anyone could look at it.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    if (o.send_cookies)
        flags |= INTERNET_FLAG_NO_COOKIES;
    if (o.no_redirect || secure)
        flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
    flags |= secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    const std::u16string verb = Wide(HttpMethodName(method));
    const std::u16string path = Wide(EscapePathForWire(UrlPath(url)));
    request.Reset(HttpOpenRequestW(connection.get(), W(verb), W(path), L"HTTP/1.1", nullptr,
                                   nullptr, flags, 0));
    if (!request) {
        LogFailure("HttpOpenRequestW");
        report();
        return Bytes();
    }
    CancellableRequest cancellable(request, o.cancel);

    const Text headers =
        CompleteInetHeaders(extraHeaders, referer, method, o.send_cookies, o.complete_headers);
    if (o.sent_headers)
        *o.sent_headers = headers;

    Bytes bodyStore;
    const Bytes* body = nullptr;
    if (method != 0) {
        if (o.body_bytes && !o.body_bytes->empty()) {
            body = o.body_bytes;
        } else {
            bodyStore = TextToBytes(body_text);
            if (o.body_bytes)
                *o.body_bytes = bodyStore;
            body = &bodyStore;
        }
    }

    Bytes result;
    bool readFailed = false;
    bool tooLarge = false;
    if (!cancellable.Cancelled()) {
        const std::u16string wideHeaders = Wide(headers);
        const bool sent =
            HttpSendRequestW(request.get(), wideHeaders.empty() ? nullptr : W(wideHeaders),
                             static_cast<DWORD>(wideHeaders.size()),
                             body && !body->empty() ? const_cast<uint8_t*>(body->data()) : nullptr,
                             body ? static_cast<DWORD>(body->size()) : 0);
        if (!sent)
            LogFailure("HttpSendRequestW");
        outcome.answered = sent && !cancellable.Cancelled();
    }
    long long announced = -1;
    if (outcome.answered)
        outcome.status = QueryStatusCode(request.get());
    Text next;
    if (outcome.answered && secure && !o.no_redirect && IsRedirectStatus(outcome.status) &&
        QueryInfoText(request.get(), HTTP_QUERY_LOCATION, next) && !next.empty()) {
        next = ResolveLocation(url, next);
        if (!StartsWith(AsciiLower(next), "https://") || redirects_left <= 0) {
            // Only https is followed from https: a plain http address (or anything else, or
            // one hop too many) ends the request with nothing, as a refused redirect.
            outcome.answered = false;
            outcome.status = 0;
            next.clear();
        }
    }
    if (!next.empty()) {
        cancellable.Finish();
        request.Reset(nullptr);
        connection.Reset(nullptr);
        internet.Reset(nullptr);
        // As browsers do: 301, 302 and 303 ask again with GET and no body (HEAD stays HEAD);
        // 307 and 308 repeat the request as it was.
        const bool toGet = outcome.status <= 303 && method != 0 && method != 2;
        if (!toGet)
            return RequestHop(next, method, body_text, extra_headers_in, o, referer,
                              redirects_left - 1);
        InetRequestOptions get = o;
        get.body_bytes = nullptr;
        Text headers = WithoutHeaderLines(extra_headers_in, "Content-Length");
        headers = WithoutHeaderLines(headers, "Content-Type");
        return RequestHop(next, 0, Text(), headers, get, referer, redirects_left - 1);
    }
    if (outcome.answered) {
        Text value;
        Text encoding;
        QueryInfoText(request.get(), HTTP_QUERY_TRANSFER_ENCODING, encoding);
        const bool noBody = method == 2 || outcome.status == 204 || outcome.status == 304 ||
                            (outcome.status >= 100 && outcome.status < 200);
        if (!noBody && FindText(AsciiLower(encoding), "chunked") < 0 &&
            QueryInfoText(request.get(), HTTP_QUERY_CONTENT_LENGTH, value))
            announced = ParseContentLength(value);
        if (announced > 0 && static_cast<unsigned long long>(announced) > kInetMaxResponseBytes)
            tooLarge = true;
        else if (announced > 0)
            result.reserve(static_cast<size_t>(announced));

        ReadBody(request.get(), announced, cancellable, result, readFailed, tooLarge);
    }
    outcome.cancelled = cancellable.Cancelled();

    Text responseHeaders;
    if (outcome.answered && !outcome.cancelled) {
        if (!QueryInfoText(request.get(), HTTP_QUERY_RAW_HEADERS_CRLF, responseHeaders))
            LogFailure("HttpQueryInfoW");
    }
    cancellable.Finish();
    request.Reset(nullptr);
    connection.Reset(nullptr);
    internet.Reset(nullptr);

    if (o.response_headers)
        *o.response_headers = responseHeaders;
    Text receivedCookies;
    ScanResponseHeaders(responseHeaders, receivedCookies, nullptr);
    if (o.merge_cookies && o.send_cookies)
        receivedCookies = MergeCookies(*o.send_cookies, receivedCookies);
    if (o.received_cookies)
        *o.received_cookies = receivedCookies;

    outcome.complete = outcome.answered && !outcome.cancelled && !readFailed && !tooLarge &&
                       (announced < 0 || result.size() == static_cast<size_t>(announced));
    report();
    // Half a file or an aborted transfer is never handed on as if it were the whole body.
    if (!outcome.complete)
        return Bytes();
    return result;
}

}  // namespace

Bytes InetRequest(const Text& url,
                  int method,
                  const Text& body_text,
                  const Text& extra_headers,
                  const InetRequestOptions& options) {
    return RequestHop(url, method, body_text, extra_headers, options, url, kMaxSecureRedirects);
}
