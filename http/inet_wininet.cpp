// InetRequest's requests over WinInet: https, and anything through a proxy.
#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "core/codepage.h"
#include "core/log.h"
#include "core/owner.h"
#include "core/text.h"
#include "http/answer.h"
#include "http/inet_hop.h"
#include "http/inet_request.h"
#include "http/request_text.h"
#include "http/transfer.h"
#include "http/url.h"

namespace {

// A WinInet handle, closed when its owner goes.
struct InetHandleTraits {
    using Handle = HINTERNET;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle h) { return InternetCloseHandle(h) != FALSE; }
};
using InetHandle = Owner<InetHandleTraits>;

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
// False when a read failed, the body outgrew the bound or `stop` was set.
bool ReadBody(HINTERNET request, long long announced, const std::atomic<bool>& stop, Bytes& body) {
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
                LogLastError("InternetReadFile");
            return false;
        }
        if (read == 0)
            return true;
        if (probing) {
            if (have >= kLimit)
                return false;
            body.insert(body.end(), probe, probe + read);
        }
        if (read == want && took < 20.0)
            step = std::min(step * 2, kLargestStep);
        else if (took > 200.0)
            step = std::max(step / 2, kFirstStep);
    }
    return false;
}

// Everything one request uses while its transfer runs, shared by the caller and the thread of
// the transfer: a cancelled caller goes on at once and leaves the rest to that thread.
struct Transfer {
    InetHandle internet;  // declared first: closed last
    InetHandle connection;
    InetHandle request;
    std::u16string headers;
    Bytes body;
    bool sendBody = false;
    bool head = false;  // a HEAD request: the answer has no body
    bool follow = false;
    std::atomic<bool> stop{false};
    InetHopAnswer answer;
};

// Sends the request and reads the answer: what runs on the transfer's thread.
void Run(Transfer& t) {
    InetHopAnswer& a = t.answer;
    HINTERNET request = t.request.Get();
    a.answered = HttpSendRequestW(request, t.headers.empty() ? nullptr : W(t.headers),
                                  static_cast<DWORD>(t.headers.size()),
                                  t.sendBody && !t.body.empty() ? t.body.data() : nullptr,
                                  t.sendBody ? static_cast<DWORD>(t.body.size()) : 0) != FALSE;
    if (!a.answered) {
        // Nothing of an answer arrived: the transport may have tried a connection the server
        // had closed.
        a.retryable = true;
        if (!t.stop)
            LogLastError("HttpSendRequestW");
        return;
    }
    a.status = QueryStatusCode(request);
    if (!QueryInfoText(request, HTTP_QUERY_RAW_HEADERS_CRLF, a.headers))
        LogLastError("HttpQueryInfoW");
    AnswerFraming framing;
    // For an answer without a status line Wine's WinInet makes up "HTTP/1.0 200 OK" with no
    // header at all (or reports status 0); no server answers with a bare status line.
    a.sound =
        ReadAnswerFraming(a.headers, &framing) && framing.status == a.status && framing.lines > 0;
    if (!a.sound || t.stop)
        return;
    if (t.follow && IsInetRedirect(a.status) &&
        QueryInfoText(request, HTTP_QUERY_LOCATION, a.location) && !a.location.empty())
        return;  // the body of a redirect is of no use
    if (!AnswerHasBody(a.status, t.head))
        return;
    const long long announced = framing.chunked ? -1 : framing.length;
    if (announced > 0 && static_cast<unsigned long long>(announced) > kInetMaxResponseBytes) {
        a.failed = true;
        return;
    }
    if (!ReadBody(request, announced, t.stop, a.body) ||
        (announced >= 0 && a.body.size() != static_cast<size_t>(announced))) {
        a.failed = true;
        return;
    }
    if (framing.coding != ContentCoding::kIdentity && !DecodeInetBody(framing.coding, a.body))
        a.sound = false;
}

}  // namespace

bool CarryOverWinInet(const InetHop& hop, InetHopAnswer* answer, HANDLE cancel) {
    *answer = InetHopAnswer();
    const bool secure = AsciiLower(hop.url.substr(0, 8)) == "https://";
    const std::u16string agent = Wide(hop.agent);

    auto t = std::make_shared<Transfer>();
    std::u16string proxyName;
    if (!hop.proxy.empty())
        proxyName = Wide(secure ? hop.proxy : "http=" + hop.proxy);
    t->internet.Reset(InternetOpenW(
        W(agent), hop.proxy.empty() ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PROXY,
        hop.proxy.empty() ? nullptr : W(proxyName), nullptr, 0));
    if (!t->internet) {
        LogLastError("InternetOpenW");
        return true;
    }
    const std::u16string host = Wide(UrlHost(hop.url));
    t->connection.Reset(InternetConnectW(t->internet.Get(), W(host),
                                         static_cast<INTERNET_PORT>(UrlPort(hop.url)), nullptr,
                                         nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!t->connection) {
        LogLastError("InternetConnectW");
        return true;
    }
    // No certificate error is ignored. Redirects are followed by InetRequest, not by the
    // transport: it would follow one from https to a plain http address (Wine's does, whatever
    // the flags), sending the request with its cookies in the clear, and it follows a loop for
    // ever.
    DWORD flags =
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (!hop.transport_cookies)
        flags |= INTERNET_FLAG_NO_COOKIES;
    flags |= secure ? INTERNET_FLAG_SECURE : INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
    const std::u16string verb = Wide(HttpMethodName(hop.method));
    const std::u16string path = Wide(EscapePathForWire(UrlPath(hop.url)));
    t->request.Reset(HttpOpenRequestW(t->connection.Get(), W(verb), W(path), L"HTTP/1.1", nullptr,
                                      nullptr, flags, 0));
    if (!t->request) {
        LogLastError("HttpOpenRequestW");
        return true;
    }
    t->headers = Wide(hop.headers);
    t->body = hop.body;
    t->sendBody = hop.send_body;
    t->head = hop.method == 2;
    t->follow = hop.follow;

    const bool ended = RunTransfer(
        [t]() {
            try {
                Run(*t);
            } catch (const std::bad_alloc&) {
                // No allocation on data from the network may end the program.
                Bytes().swap(t->answer.body);
                t->answer.failed = true;
            }
        },
        INFINITE, cancel);
    if (!ended) {
        t->stop = true;
        return false;
    }
    *answer = std::move(t->answer);
    return true;
}
