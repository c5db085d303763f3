// InetRequest's plain http requests straight to the server, over a connection of the program's
// own. WinInet reads a chunked body cut short by a clean close, or one without its last chunk,
// as whole and says nothing of it; here the answer is read byte for byte. What goes on the wire,
// the cookies kept and the header block handed back are WinInet's (see http/inet_wire.h).
#include <windows.h>

#include <shlwapi.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "core/codepage.h"
#include "core/text.h"
#include "http/answer_reader.h"
#include "http/inet_hop.h"
#include "http/inet_request.h"
#include "http/inet_wire.h"
#include "http/plain_connection.h"
#include "http/request_text.h"
#include "http/transfer.h"
#include "http/url.h"

namespace {

// WinInet's own time for making a connection; after that it waits for the server as long as
// it takes.
constexpr ULONGLONG kConnectMs = 60000;

const wchar_t* W(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

// The transport writes its requests and reads its answers' header lines in the system's code
// page; so does this one, to be the same on the wire and to the caller on any system.
std::string ToSystemCodePage(const std::u16string& wide) {
    if (wide.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, W(wide), static_cast<int>(wide.size()), nullptr,
                                         0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_ACP, 0, W(wide), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::u16string FromSystemCodePage(std::string_view bytes) {
    if (bytes.empty())
        return std::u16string();
    const int size =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::u16string out(static_cast<size_t>(size > 0 ? size : 0), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()),
                        reinterpret_cast<wchar_t*>(out.data()), size);
    return out;
}

// The request line's path, made from the address's path the way the transport makes it.
std::u16string WirePath(const Text& url) {
    const std::u16string path = codepage::ToWide(EscapePathForWire(UrlPath(url)));
    // Escaping blanks (none are left) at most triples the path.
    std::u16string canonical(path.size() * 3 + 16, u'\0');
    DWORD size = static_cast<DWORD>(canonical.size());
    if (UrlCanonicalizeW(W(path), reinterpret_cast<wchar_t*>(canonical.data()), &size,
                         URL_ESCAPE_SPACES_ONLY) == S_OK)
        canonical.resize(size);
    else
        canonical = path;
    return InetWirePath(canonical);
}

// "host:port" (the Host line names the port unless it is 80).
std::u16string HostAndPort(const std::u16string& host, int port) {
    std::u16string out = host + u":";
    for (char c : std::to_string(port))
        out += static_cast<char16_t>(c);
    return out;
}

// The address the cookie functions are given for a request path. The transport matches the
// cookies it sends against the whole path; the cookie functions match against the folder of
// the address, so the path is given as a folder.
std::u16string CookieAddress(const std::u16string& host, int port, const std::u16string& path) {
    return u"http://" + HostAndPort(host, port) + path + u"/";
}

// The cookies WinInet holds for the address, as the transport would send them.
std::u16string StoredCookies(const std::u16string& address) {
    DWORD size = 0;
    if (!InternetGetCookieExW(W(address), nullptr, nullptr, &size, INTERNET_COOKIE_HTTPONLY,
                              nullptr) ||
        size == 0)
        return std::u16string();
    // The size comes in bytes from some versions and in characters from others.
    std::u16string cookies(size + 1, u'\0');
    size = static_cast<DWORD>(cookies.size());
    if (!InternetGetCookieExW(W(address), nullptr, reinterpret_cast<wchar_t*>(cookies.data()),
                              &size, INTERNET_COOKIE_HTTPONLY, nullptr))
        return std::u16string();
    cookies.resize(cookies.find(u'\0'));
    return cookies;
}

// Keeps the cookies an answer sets as the transport keeps them: one without a path of its own
// belongs to the whole request path.
void StoreCookies(const std::u16string& address,
                  const std::u16string& path,
                  std::string_view raw_block) {
    for (const std::string& value : InetStoredCookies(raw_block)) {
        std::u16string cookie = FromSystemCodePage(value);
        const size_t attributes = std::min(cookie.find(u';'), cookie.size());
        cookie.insert(attributes, u"; path=" + path);  // a path given later takes its place
        InternetSetCookieExW(W(address), nullptr, W(cookie), INTERNET_COOKIE_HTTPONLY, 0);
    }
}

struct Exchange {
    Text host;
    int port = 80;
    std::string request;
    std::u16string cookieAddress;
    std::u16string path;
    bool head = false;
    bool follow = false;
    bool storeCookies = false;
    std::atomic<bool> stop{false};
    InetHopAnswer answer;
    // The caller's body sink, called under `sinkLock` while `sinkOpen`: a caller that gives up
    // on the transfer closes it, after which the transfer, which goes on by itself for a
    // moment, writes nowhere.
    std::function<bool(std::string_view)> sink;
    std::mutex sinkLock;
    bool sinkOpen = true;
};

// Sends the request and reads the answer: what runs on the transfer's thread.
void Run(Exchange& e) {
    InetHopAnswer& a = e.answer;
    AnswerReader reader(static_cast<size_t>(kInetMaxResponseBytes), e.head);
    if (e.sink) {
        reader.SetBodySink([&e](std::string_view bytes) {
            const std::lock_guard<std::mutex> guard(e.sinkLock);
            return e.sinkOpen && !e.stop && e.sink(bytes);
        });
    }
    // The answer to follow elsewhere is its header block: the body of a redirect is of no use.
    auto redirect = [&]() {
        return !reader.HeaderBlock().empty() && IsInetRedirect(reader.Framing().status) &&
               !AnswerHeaderValue(reader.HeaderBlock(), "Location").empty();
    };
    const ULONGLONG now = GetTickCount64();
    const PlainExchange got =
        ExchangeOverPlainConnection(e.host, e.port, e.request, {now + kConnectMs, ~0ull}, e.stop,
                                    reader, e.follow ? std::function<bool()>(redirect) : nullptr);
    if (got != PlainExchange::kAnswered) {
        a.retryable = true;
        return;
    }
    const std::string& block = reader.HeaderBlock();
    if (block.empty())
        return;  // no answer a transport could read: neither whole nor worth asking again
    a.answered = true;
    a.status = reader.Framing().status;
    a.headers = codepage::FromWide(FromSystemCodePage(InetAnswerBlock(block)));
    if (e.storeCookies)
        StoreCookies(e.cookieAddress, e.path, block);
    a.sound = true;
    a.sunk = reader.BodySunk();
    if (e.follow && redirect()) {
        a.location = AnswerHeaderValue(block, "Location");
        return;
    }
    if (reader.state() != AnswerReader::State::kComplete) {
        a.failed = true;
        return;
    }
    a.body.swap(reader.Body());
    if (reader.Framing().coding != ContentCoding::kIdentity &&
        !DecodeInetBody(reader.Framing().coding, a.body))
        a.sound = false;
}

}  // namespace

bool CarryOverOwnConnection(const InetHop& hop, InetHopAnswer* answer, HANDLE cancel) {
    *answer = InetHopAnswer();
    auto e = std::make_shared<Exchange>();
    e->host = UrlHost(hop.url);
    e->port = UrlPort(hop.url);
    e->path = WirePath(hop.url);
    const std::u16string host = codepage::ToWide(e->host);
    e->cookieAddress = CookieAddress(host, e->port, e->path);

    InetWireRequest wire;
    wire.verb = codepage::ToWide(HttpMethodName(hop.method));
    wire.path = e->path;
    wire.host = e->port == 80 ? host : HostAndPort(host, e->port);
    wire.agent = codepage::ToWide(hop.agent);
    wire.body_length = hop.send_body ? hop.body.size() : 0;
    wire.headers = codepage::ToWide(hop.headers);
    if (hop.transport_cookies)
        wire.cookies = StoredCookies(e->cookieAddress);
    e->request = ToSystemCodePage(InetWireHead(wire));
    if (hop.send_body)
        e->request.append(hop.body.begin(), hop.body.end());
    e->head = hop.method == 2;
    e->follow = hop.follow;
    e->storeCookies = hop.transport_cookies;
    e->sink = hop.body_sink;

    const bool ended = RunTransfer(
        [e]() {
            try {
                Run(*e);
            } catch (const std::bad_alloc&) {
                // No allocation on data from the network may end the program.
                Bytes().swap(e->answer.body);
                e->answer.failed = true;
            }
        },
        INFINITE, cancel);
    if (!ended) {
        e->stop = true;
        // Waits at most for a write under way.
        const std::lock_guard<std::mutex> guard(e->sinkLock);
        e->sinkOpen = false;
        return false;
    }
    *answer = std::move(e->answer);
    return true;
}
