#include "http/inet_request.h"

#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "core/codepage.h"
#include "core/text.h"
#include "http/answer.h"
#include "http/headers.h"
#include "http/request_text.h"
#include "http/transfer.h"
#include "http/url.h"

// --- InetCancelToken ---

InetCancelToken::InetCancelToken() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

InetCancelToken::~InetCancelToken() {
    if (event_)
        CloseHandle(event_);
}

void InetCancelToken::Cancel() {
    SetEvent(event_);
}

bool InetCancelToken::IsCancelled() const {
    return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0;
}

void InetCancelToken::Reset() {
    ResetEvent(event_);
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
    HINTERNET get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    HINTERNET h_ = nullptr;
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
              const std::atomic<bool>& stop,
              Bytes& body,
              bool& failed,
              bool& too_large) {
    constexpr size_t kFirstStep = 1024;
    constexpr size_t kLargestStep = 1024 * 1024;
    constexpr size_t kLimit = static_cast<size_t>(kInetMaxResponseBytes);
    size_t step = kFirstStep;
    char probe[kFirstStep];
    while (!stop) {
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
            if (!stop)
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

// Everything one request uses while its transfer runs, shared by the caller and the thread of
// the transfer: a cancelled caller goes on at once and leaves the rest to that thread.
struct Hop {
    InetHandle internet;  // declared first: closed last
    InetHandle connection;
    InetHandle request;
    std::u16string headers;
    Bytes body;
    bool sendBody = false;
    bool head = false;  // a HEAD request: the answer has no body
    std::atomic<bool> stop{false};

    bool sent = false;
    int status = 0;
    Text rawHeaders;
    Text location;
    bool sound = false;  // the framing and coding can be trusted
    bool readFailed = false;
    bool tooLarge = false;
    Bytes result;
};

// Sends the request and reads the answer: what runs on the transfer's thread.
void Transfer(Hop& hop, bool follow) {
    HINTERNET request = hop.request.get();
    hop.sent = HttpSendRequestW(request, hop.headers.empty() ? nullptr : W(hop.headers),
                                static_cast<DWORD>(hop.headers.size()),
                                hop.sendBody && !hop.body.empty() ? hop.body.data() : nullptr,
                                hop.sendBody ? static_cast<DWORD>(hop.body.size()) : 0) != FALSE;
    if (!hop.sent) {
        if (!hop.stop)
            LogFailure("HttpSendRequestW");
        return;
    }
    hop.status = QueryStatusCode(request);
    if (!QueryInfoText(request, HTTP_QUERY_RAW_HEADERS_CRLF, hop.rawHeaders))
        LogFailure("HttpQueryInfoW");
    AnswerFraming framing;
    // For an answer without a status line Wine's WinInet makes up "HTTP/1.0 200 OK" with no
    // header at all (or reports status 0); no server answers with a bare status line.
    hop.sound = ReadAnswerFraming(hop.rawHeaders, &framing) && framing.status == hop.status &&
                framing.lines > 0;
    if (!hop.sound || hop.stop)
        return;
    if (follow && IsRedirectStatus(hop.status) &&
        QueryInfoText(request, HTTP_QUERY_LOCATION, hop.location) && !hop.location.empty())
        return;  // the body of a redirect is of no use
    if (!AnswerHasBody(hop.status, hop.head))
        return;
    const long long announced = framing.chunked ? -1 : framing.length;
    if (announced > 0 && static_cast<unsigned long long>(announced) > kInetMaxResponseBytes) {
        hop.tooLarge = true;
        return;
    }
    ReadBody(request, announced, hop.stop, hop.result, hop.readFailed, hop.tooLarge);
    if (hop.readFailed || hop.tooLarge || hop.stop)
        return;
    if (announced >= 0 && hop.result.size() != static_cast<size_t>(announced)) {
        hop.readFailed = true;
        return;
    }
    if (framing.coding != ContentCoding::kIdentity) {
        Bytes decoded;
        const bool ok = DecodeContent(
            std::string_view(reinterpret_cast<const char*>(hop.result.data()), hop.result.size()),
            framing.coding, static_cast<size_t>(kInetMaxResponseBytes), decoded);
        Bytes().swap(hop.result);
        if (!ok)
            hop.sound = false;
        else
            hop.result.swap(decoded);
    }
}

// One request of InetRequest; it calls itself again for each redirect it follows, and once
// more when the request could not be sent at all (a pooled connection the server had closed).
// `referer` is the address the caller asked for (the default Referer line).
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
    const std::u16string agent = Wide(InetAgentString(extraHeaders));

    auto hop = std::make_shared<Hop>();
    std::u16string proxyName;
    if (!o.proxy.empty())
        proxyName = Wide(secure ? o.proxy : "http=" + o.proxy);
    hop->internet.Reset(InternetOpenW(
        W(agent), o.proxy.empty() ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PROXY,
        o.proxy.empty() ? nullptr : W(proxyName), nullptr, 0));
    if (!hop->internet) {
        LogFailure("InternetOpenW");
        report();
        return Bytes();
    }

    const std::u16string host = Wide(UrlHost(url));
    const int port = UrlPort(url);
    hop->connection.Reset(InternetConnectW(hop->internet.get(), W(host),
                                           static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                           INTERNET_SERVICE_HTTP, 0, 0));
    if (!hop->connection) {
        LogFailure("InternetConnectW");
        report();
        return Bytes();
    }

    // No certificate error is ignored. Redirects are followed here, not by the transport: it
    // would follow one from https to a plain http address (Wine's does, whatever the flags),
    // sending the request with its cookies in the clear, and it follows a loop for ever.
    DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (o.send_cookies)
        flags |= INTERNET_FLAG_NO_COOKIES;
    flags |= secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    const std::u16string verb = Wide(HttpMethodName(method));
    const std::u16string path = Wide(EscapePathForWire(UrlPath(url)));
    hop->request.Reset(HttpOpenRequestW(hop->connection.get(), W(verb), W(path), L"HTTP/1.1",
                                        nullptr, nullptr, flags, 0));
    if (!hop->request) {
        LogFailure("HttpOpenRequestW");
        report();
        return Bytes();
    }

    const Text headers =
        CompleteInetHeaders(extraHeaders, referer, method, o.send_cookies, o.complete_headers);
    if (o.sent_headers)
        *o.sent_headers = headers;
    hop->headers = Wide(headers);
    hop->head = method == 2;
    if (method != 0) {
        hop->sendBody = true;
        if (o.body_bytes && !o.body_bytes->empty()) {
            hop->body = *o.body_bytes;
        } else {
            hop->body = TextToBytes(body_text);
            if (o.body_bytes)
                *o.body_bytes = hop->body;
        }
    }

    const bool follow = !o.no_redirect;
    InetCancelToken* token = o.cancel;
    bool ended = !(token && token->IsCancelled());
    if (ended) {
        ended = RunTransfer(
            [hop, follow]() {
                try {
                    Transfer(*hop, follow);
                } catch (const std::bad_alloc&) {
                    // No allocation on data from the network may end the program.
                    Bytes().swap(hop->result);
                    hop->tooLarge = true;
                }
            },
            INFINITE, token ? static_cast<HANDLE>(token->Event()) : nullptr);
    }
    if (!ended) {
        hop->stop = true;
        outcome.cancelled = true;
        report();
        return Bytes();
    }
    outcome.answered = hop->sent;
    outcome.status = hop->sent ? hop->status : 0;

    if (!hop->sent && may_retry && !(token && token->IsCancelled())) {
        // Nothing of an answer arrived: the transport may have tried a connection the server
        // had closed. Once more, on a connection of its own.
        hop.reset();
        return RequestHop(url, method, body_text, extra_headers_in, o, referer, redirects_left,
                          false);
    }

    Text next;
    if (hop->sent && hop->sound && !hop->location.empty()) {
        next = ResolveLocation(url, hop->location);
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
    }

    if (!next.empty()) {
        hop.reset();
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

    const Text responseHeaders = hop->rawHeaders;
    if (o.response_headers)
        *o.response_headers = responseHeaders;
    Text receivedCookies;
    ScanResponseHeaders(responseHeaders, receivedCookies, nullptr);
    if (o.merge_cookies && o.send_cookies)
        receivedCookies = MergeCookies(*o.send_cookies, receivedCookies);
    if (o.received_cookies)
        *o.received_cookies = receivedCookies;

    outcome.complete = hop->sent && hop->sound && !hop->readFailed && !hop->tooLarge;
    report();
    // Half a file, framing or an aborted transfer is never handed on as if it were the body.
    if (!outcome.complete)
        return Bytes();
    return std::move(hop->result);
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
