#include "http/web_direct.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <utility>

#include "core/codepage.h"
#include "core/text.h"
#include "http/answer.h"
#include "http/answer_reader.h"
#include "http/plain_connection.h"
#include "http/request_text.h"
#include "http/transfer.h"
#include "http/url.h"
#include "http/winhttp_wire.h"

namespace {

constexpr int kMaxRedirects = 10;

bool IsFollowed(int status) {
    return status == 301 || status == 302 || status == 307;
}

// The head of one request to `target`, false when the header block is refused.
bool Head(const RequestTarget& target,
          const char* verb,
          const Text& headers,
          size_t body_length,
          std::string* head) {
    WinHttpWireRequest wire;
    wire.verb = verb;
    wire.path = WinHttpWirePath(target.path);
    wire.host = codepage::FromWide(target.host, codepage::kUtf8);
    if (target.port != 80) {
        // Piece by piece: GCC 12 warns wrongly about a concatenation here.
        wire.host += ':';
        wire.host += std::to_string(target.port);
    }
    wire.body_length = body_length;
    wire.headers = codepage::ToWide(headers, codepage::kGbk);
    return WinHttpWireHead(wire, head);
}

// The cookies an answer sets, as the transport keeps them: "name=value" of each Set-Cookie line.
Text SetCookies(const std::string& block) {
    Text cookies;
    size_t at = block.find('\n');
    while (at != std::string::npos && at + 1 < block.size()) {
        const size_t start = at + 1;
        at = block.find('\n', start);
        Text line = block.substr(start, (at == std::string::npos ? block.size() : at) - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t colon = line.find(':');
        if (colon == Text::npos || AsciiLower(TrimBlanks(line.substr(0, colon))) != "set-cookie")
            continue;
        const Text cookie = TrimBlanks(line.substr(colon + 1, line.find(';') - colon - 1));
        if (cookie.find('=') == Text::npos)
            continue;
        if (!cookies.empty())
            cookies += "; ";
        cookies += cookie;
    }
    return cookies;
}

// The header block with `cookies` added to its Cookie line (or a Cookie line of its own at the
// end), as the transport sends the cookies it keeps.
Text WithCookies(const Text& headers, const Text& cookies) {
    Text out;
    bool added = false;
    for (const Text& line : SplitText(headers, "\r\n")) {
        if (line.empty())
            continue;
        out += line;
        const size_t colon = line.find(':');
        if (!added && colon != Text::npos && AsciiLower(line.substr(0, colon)) == "cookie") {
            out += TrimBlanks(line.substr(colon + 1)).empty() ? "" : "; ";
            out += cookies;
            added = true;
        }
        out += "\r\n";
    }
    if (!added)
        out += "Cookie: " + cookies + "\r\n";
    return out;
}

}  // namespace

bool DirectHeadersAccepted(const Text& headers) {
    std::string head;
    return headers.empty() || Head(RequestTarget{u"h", 80, false, u"/"}, "GET", headers, 0, &head);
}

Exchange ExchangeDirect(const DirectRequest& request, DirectAnswer* answer, std::string& body) {
    Text url = request.url;
    int method = request.method;
    Text headers = request.headers;
    std::string sendBody = request.body;
    Text cookieHost;  // the host whose redirect set `kept`
    Text kept;
    for (int hop = 0;; ++hop) {
        RequestTarget target;
        if (!CrackRequestUrl(url, &target))
            return Exchange::kNoAnswer;
        if (target.secure) {
            answer->next_url = url;
            answer->method = method;
            answer->next_headers = headers;
            answer->next_body = sendBody;
            return Exchange::kComplete;
        }
        const Text host = codepage::FromWide(target.host, codepage::kGbk);
        const Text hopHeaders =
            !kept.empty() && AsciiLower(host) == cookieHost ? WithCookies(headers, kept) : headers;
        const char* verb = HttpMethodName(method);
        std::string wire;
        if (!Head(target, verb, hopHeaders, sendBody.size(), &wire))
            return Exchange::kSendFailed;
        wire += sendBody;

        AnswerReader reader(static_cast<size_t>(request.limit), method == 2);
        const std::atomic<bool> stop{false};
        const ULONGLONG now = GetTickCount64();
        PlainDeadlines deadlines;
        deadlines.connect = std::min(request.deadline, now + request.timeout_ms);
        deadlines.answer = request.deadline;
        deadlines.idle_ms = request.timeout_ms;
        const PlainExchange got =
            ExchangeOverPlainConnection(host, target.port, wire, deadlines, stop, reader);
        if (got == PlainExchange::kNoConnection || got == PlainExchange::kNotSent)
            return Exchange::kSendFailed;
        const std::string& block = reader.HeaderBlock();
        if (got == PlainExchange::kNoAnswer || block.empty())
            return MillisecondsLeft(request.deadline) == 0 ? Exchange::kTimedOut
                                                           : Exchange::kNoAnswer;
        const int status = reader.Framing().status;
        if (request.follow && IsFollowed(status)) {
            // The transport fails a redirect it cannot follow: no target, too many, or an
            // address that is neither http nor https.
            const Text location = AnswerHeaderValue(block, "Location");
            if (location.empty() || hop >= kMaxRedirects)
                return Exchange::kNoAnswer;
            const Text next = ResolveUrl(url, location);
            const Text scheme = AsciiLower(next.substr(0, 8));
            if (!StartsWith(scheme, "http://") && !StartsWith(scheme, "https://"))
                return Exchange::kNoAnswer;
            if (request.cookies) {
                const Text set = SetCookies(block);
                if (!set.empty()) {
                    kept = kept.empty() ? set : kept + "; " + set;
                    cookieHost = AsciiLower(host);
                }
            }
            if (status != 307 && method == 1) {
                method = 0;
                sendBody.clear();
            }
            url = next;
            continue;
        }
        answer->headers = WinHttpAnswerBlock(block);
        if (reader.state() != AnswerReader::State::kComplete)
            return MillisecondsLeft(request.deadline) == 0 ? Exchange::kTimedOutReading
                                                           : Exchange::kReadFailed;
        const Bytes& raw = reader.Body();
        const std::string_view bytes(reinterpret_cast<const char*>(raw.data()), raw.size());
        if (reader.Framing().coding == ContentCoding::kIdentity) {
            body.assign(bytes);
            return Exchange::kComplete;
        }
        return DecodeContent(bytes, reader.Framing().coding, static_cast<size_t>(request.limit),
                             body)
                   ? Exchange::kComplete
                   : Exchange::kBadAnswer;
    }
}
