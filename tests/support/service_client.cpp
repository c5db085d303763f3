#include "tests/support/service_client.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketHandle = SOCKET;
constexpr SocketHandle kNoSocket = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketHandle = int;
constexpr SocketHandle kNoSocket = -1;
#endif

namespace {

#ifdef _WIN32
void CloseSocket(SocketHandle s) {
    closesocket(s);
}
bool StartSockets() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
#else
void CloseSocket(SocketHandle s) {
    close(s);
}
bool StartSockets() {
    return true;
}
#endif

// Waits until s is readable; false after timeout_ms without data.
bool WaitReadable(SocketHandle s, int timeout_ms) {
#ifdef _WIN32
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) > 0;
#else
    pollfd p{s, POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0;
#endif
}

SocketHandle Connect() {
    const int port = ServicePort();
    if (port <= 0 || !StartSockets())
        return kNoSocket;
    SocketHandle s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSocket)
        return kNoSocket;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<unsigned short>(port));
    const std::string host = ServiceHost();
    addr.sin_addr.s_addr = inet_addr(host == "localhost" ? "127.0.0.1" : host.c_str());
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        CloseSocket(s);
        return kNoSocket;
    }
    return s;
}

bool SendAll(SocketHandle s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

std::string HostHeader() {
    return ServiceHost() + ":" + std::to_string(ServicePort());
}

std::string Request(const std::string& raw, int* status) {
    std::string response = ServiceRaw(raw);
    int code = 0;
    std::string headers, body;
    if (!SplitResponse(response, &code, &headers, &body))
        code = 0;
    if (status)
        *status = code;
    return body;
}

// Position of the next "\n" at or after from, or npos.
size_t LineEnd(const std::string& s, size_t from) {
    return s.find('\n', from);
}

std::string StripCr(std::string line) {
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// The number after "key=" in a log entry's marker line, or -1.
long long MarkerValue(const std::string& marker, const char* key) {
    const std::string k = std::string(" ") + key + "=";
    size_t p = marker.find(k);
    if (p == std::string::npos)
        return -1;
    return std::strtoll(marker.c_str() + p + k.size(), nullptr, 10);
}

void ParseRequest(LoggedRequest* r) {
    const std::string& raw = r->raw;
    size_t end = raw.find("\r\n\r\n");
    size_t body_at;
    if (end != std::string::npos) {
        body_at = end + 4;
    } else if ((end = raw.find("\n\n")) != std::string::npos) {
        body_at = end + 2;
    } else {
        end = raw.size();
        body_at = raw.size();
    }
    const std::string head = raw.substr(0, end);
    r->body = raw.substr(body_at);
    size_t pos = 0;
    bool first = true;
    while (pos <= head.size()) {
        size_t nl = LineEnd(head, pos);
        std::string line =
            StripCr(head.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos));
        if (first) {
            r->request_line = line;
            first = false;
        } else if (!line.empty()) {
            size_t colon = line.find(':');
            std::string name = line.substr(0, colon);
            std::string value;
            if (colon != std::string::npos) {
                value = line.substr(colon + 1);
                size_t lead = value.find_first_not_of(" \t");
                value = lead == std::string::npos ? std::string() : value.substr(lead);
            }
            r->headers.emplace_back(name, value);
        }
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
}

}  // namespace

std::string ServiceUrl() {
    const char* url = std::getenv("LZF_SERVICE_URL");
    return url ? url : "";
}

std::string ServiceHost() {
    std::string url = ServiceUrl();
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return "";
    std::string rest = url.substr(scheme.size());
    return rest.substr(0, rest.find_first_of(":/"));
}

int ServicePort() {
    std::string url = ServiceUrl();
    const std::string scheme = "http://";
    if (url.compare(0, scheme.size(), scheme) != 0)
        return 0;
    std::string rest = url.substr(scheme.size());
    size_t colon = rest.find(':');
    if (colon == std::string::npos || colon > rest.find('/'))
        return 80;
    return std::atoi(rest.c_str() + colon + 1);
}

std::string ServiceRaw(const std::string& request, int timeout_ms) {
    SocketHandle s = Connect();
    if (s == kNoSocket)
        return "";
    std::string response;
    if (SendAll(s, request)) {
        char buffer[65536];
        while (WaitReadable(s, timeout_ms)) {
            int n = recv(s, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            response.append(buffer, static_cast<size_t>(n));
        }
    }
    CloseSocket(s);
    return response;
}

bool SplitResponse(const std::string& response,
                   int* status,
                   std::string* headers,
                   std::string* body) {
    size_t end = response.find("\r\n\r\n");
    if (end == std::string::npos || response.compare(0, 5, "HTTP/") != 0)
        return false;
    size_t sp = response.find(' ');
    if (status)
        *status = sp < end ? std::atoi(response.c_str() + sp + 1) : 0;
    if (headers)
        *headers = response.substr(0, end);
    if (body)
        *body = response.substr(end + 4);
    return true;
}

std::string ServiceGet(const std::string& path_and_query, int* status) {
    return Request("GET " + path_and_query + " HTTP/1.0\r\nHost: " + HostHeader() + "\r\n\r\n",
                   status);
}

std::string ServicePost(const std::string& path,
                        const std::string& body,
                        const std::string& content_type,
                        int* status) {
    return Request("POST " + path + " HTTP/1.0\r\nHost: " + HostHeader() +
                       "\r\nContent-Type: " + content_type +
                       "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body,
                   status);
}

bool ServiceControl(const std::string& query) {
    int status = 0;
    ServiceGet("/__control?" + query, &status);
    return status == 200;
}

std::string ServiceLog() {
    return ServiceGet("/__log");
}

void ServiceClearLog() {
    ServiceGet("/__log?clear=1");
}

std::vector<LoggedRequest> ParseServiceLog(const std::string& log) {
    static const std::string kMarker = "=== lzf-request ";
    std::vector<LoggedRequest> out;
    size_t pos = 0;
    while ((pos = log.find(kMarker, pos)) != std::string::npos) {
        size_t nl = LineEnd(log, pos);
        if (nl == std::string::npos)
            break;
        const std::string marker = log.substr(pos, nl - pos);
        long long bytes = MarkerValue(marker, "bytes");
        if (bytes < 0 || nl + 1 + static_cast<size_t>(bytes) > log.size())
            break;
        LoggedRequest r;
        r.sequence = static_cast<int>(MarkerValue(marker, "seq"));
        r.connection = static_cast<int>(MarkerValue(marker, "conn"));
        r.raw = log.substr(nl + 1, static_cast<size_t>(bytes));
        ParseRequest(&r);
        out.push_back(std::move(r));
        pos = nl + 1 + static_cast<size_t>(bytes);
    }
    return out;
}

std::string ServiceEscape(const std::string& value) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}
