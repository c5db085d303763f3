#include "http/request_text.h"

#include <vector>

#include "core/text.h"
#include "http/encoding.h"
#include "http/headers.h"

namespace {

bool Contains(const Text& s, const Text& needle, bool ignore_case) {
    return FindText(s, needle, 1, ignore_case) > 0;
}

// Appends "\r\n" + line, without starting an empty block with a line break.
void AppendLine(Text& block, const Text& line) {
    if (!block.empty())
        block += "\r\n";
    block += line;
}

}  // namespace

const char* HttpMethodName(int method) {
    static const char* const kMethods[] = {"GET",     "POST",   "HEAD",  "PUT",
                                           "OPTIONS", "DELETE", "TRACE", "CONNECT"};
    return method >= 0 && method <= 7 ? kMethods[method] : kMethods[0];
}

Text BuildWebRequestHeaders(const Text& extra_headers,
                            int method,
                            const Text& send_cookies,
                            bool complete_headers,
                            bool normalize_header_names) {
    Text h = extra_headers.empty() ? Text() : extra_headers + "\r\n";
    if (complete_headers) {
        struct Default {
            const char* probe;
            const char* line;
            bool post_only;
        };
        static const Default kDefaults[] = {
            {"User-Agent: ",
             "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)",
             false},
            {"Accept: ", "Accept: text/html, application/xhtml+xml, */*", false},
            {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312", false},
            {"Accept-Language: ", "Accept-Language: zh-cn", false},
            {"Content-Type:", "Content-Type: application/x-www-form-urlencoded", true},
            {"Cache-Control: ", "Cache-Control: no-cache", false},
        };
        for (const Default& d : kDefaults) {
            if (d.post_only && method != 1)
                continue;
            if (!Contains(h, d.probe, true))
                h += Text(d.line) + "\r\n";
        }
    }
    if (normalize_header_names)
        h = NormalizeHeaderNames(h);
    if (Contains(h, "Connection", false) && HeaderValue(h, "Connection") == "keep-alive")
        h = ReplaceAll(h, "Connection: keep-alive\r\n", "");
    if (!Contains(h, "Cookie:", true) && !send_cookies.empty()) {
        // No empty line: not at the start of the block, nor after a line that already ends.
        if (!h.empty() && !EndsWith(h, "\r\n"))
            h += "\r\n";
        if (Contains(send_cookies, "Cookie:", true))
            h += send_cookies + "\r\n";
        else
            h += "Cookie: " + send_cookies + "\r\n";
    }
    return h;
}

Text ResponseStatusText(const Text& response_headers) {
    const size_t end = response_headers.find("\r\n");
    const Text first = response_headers.substr(0, end);
    if (!StartsWith(first, "HTTP/"))
        return Text();
    const size_t blank = first.find(' ');
    if (blank == Text::npos)
        return Text();
    return first.substr(blank + 1);
}

int ResponseStatusCode(const Text& response_headers) {
    const Text status = ResponseStatusText(response_headers);
    int code = 0;
    size_t i = 0;
    for (; i < status.size() && i < 3 && status[i] >= '0' && status[i] <= '9'; ++i)
        code = code * 10 + (status[i] - '0');
    return i == 3 ? code : 0;
}

Text SetCookieValue(const Text& line) {
    if (TextBefore(line, ": ") != "Set-Cookie")
        return Text();
    if (Contains(line, ";", false))
        return TrimBlanks(TextBetween(line, "Set-Cookie:", ";"));
    return TrimBlanks(ReplaceAll(line, "Set-Cookie:", "", true));
}

void ScanResponseHeaders(const Text& response_headers,
                         Text& received_cookies,
                         Text* location,
                         const std::function<void()>& per_line) {
    for (const Text& line : SplitText(response_headers, "\r\n")) {
        if (TextBefore(line, ": ") == "Set-Cookie")
            received_cookies += SetCookieValue(line) + "; ";
        if (location && line.size() >= 10 && EqualsIgnoreCase(line.substr(0, 10), "Location: "))
            *location = line.substr(10);
        if (per_line)
            per_line();
    }
    if (EndsWith(received_cookies, "; "))
        received_cookies.resize(received_cookies.size() - 2);
}

Text InetAgentString(const Text& extra_headers) {
    if (!Contains(extra_headers, "User-Agent:", true))
        return "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
    Text agent = TrimBlanks(TextBetween(extra_headers + "\r\n", "User-Agent:", "\r\n"));
    if (agent.empty()) {
        const size_t colon = extra_headers.find(':');
        agent = TrimBlanks(colon == Text::npos ? Text() : extra_headers.substr(colon + 1));
    }
    return agent;
}

Text CompleteInetHeaders(const Text& extra_headers,
                         const Text& url,
                         int method,
                         const Text* send_cookies,
                         bool complete_headers) {
    Text h = extra_headers;
    if (complete_headers) {
        if (h.empty())
            h = "Accept: */*";
        if (!Contains(h, "Accept:", true))
            h += "\r\nAccept: */*";
        if (!Contains(h, "Referer:", true))
            h += "\r\nReferer: " + url;
        if (!Contains(h, "Accept-Language:", true))
            h += "\r\nAccept-Language: zh-cn";
        if (method == 1 && !Contains(h, "Content-Type:", true))
            h += "\r\nContent-Type: application/x-www-form-urlencoded";
    }
    if (send_cookies && !send_cookies->empty()) {
        if (Contains(*send_cookies, "Cookie:", false))
            AppendLine(h, *send_cookies);
        else
            AppendLine(h, "Cookie: " + *send_cookies);
    }
    return h;
}

long long ParseContentLength(const Text& value) {
    const Text v = TrimBlanks(value);
    if (v.empty() || v.size() > 18)
        return -1;
    long long n = 0;
    for (char c : v) {
        if (c < '0' || c > '9')
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

Text EscapePathForWire(const Text& path) {
    bool plain = true;
    for (unsigned char c : path)
        plain = plain && c > 0x20 && c < 0x7F;
    if (plain)
        return path;
    static const char kHex[] = "0123456789ABCDEF";
    Text out;
    for (unsigned char c : GbkToUtf8(path)) {
        if (c > 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}
