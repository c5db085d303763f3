#include "server/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "server/text_util.h"

namespace lzf::server {

namespace {

constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kMaxBodyBytes = 16u << 20;
constexpr int kMaxConnections = 512;
constexpr int kIdleSeconds = 30;

class SocketStream : public Stream {
  public:
    explicit SocketStream(int fd) : fd_(fd) {}
    ~SocketStream() override { Close(); }
    long Read(char* buffer, size_t size) override {
        for (;;) {
            ssize_t n = recv(fd_, buffer, size, 0);
            if (n < 0 && errno == EINTR)
                continue;
            return n;
        }
    }
    bool Write(const char* data, size_t size) override {
        while (size > 0) {
            ssize_t n = send(fd_, data, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    void Close() override {
        if (fd_ < 0)
            return;
        // Half-close and drain what the client still sends, so that unread input does not
        // turn the close into a reset that could destroy the answer in flight.
        shutdown(fd_, SHUT_WR);
        char sink[4096];
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < until) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            if (recv(fd_, sink, sizeof sink, 0) <= 0)
                break;
        }
        close(fd_);
        fd_ = -1;
    }
    void Abort() override {
        if (fd_ < 0)
            return;
        linger hard{1, 0};  // a zero linger time makes close send a reset
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        close(fd_);
        fd_ = -1;
    }
    int PlainSocket() const override { return fd_; }

  private:
    int fd_;
};

class StringSource : public BodySource {
  public:
    explicit StringSource(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    size_t Read(std::uint64_t offset, char* buffer, size_t size) override {
        if (offset >= bytes_.size())
            return 0;
        size_t n = std::min<size_t>(size, bytes_.size() - offset);
        std::memcpy(buffer, bytes_.data() + offset, n);
        return n;
    }

  private:
    std::string bytes_;
};

// Printable lines with their offset, so a client's copy can be checked anywhere.
class PatternSource : public BodySource {
  public:
    explicit PatternSource(std::uint64_t size) : size_(size) {}
    std::uint64_t Size() const override { return size_; }
    size_t Read(std::uint64_t offset, char* buffer, size_t size) override {
        if (offset >= size_)
            return 0;
        const size_t n = static_cast<size_t>(std::min<std::uint64_t>(size, size_ - offset));
        size_t i = 0;
        while (i < n) {
            const std::uint64_t at = offset + i;
            const std::uint64_t line = at / 64 * 64;
            const size_t col = static_cast<size_t>(at - line);
            char text[64];
            MakeLine(line, text);
            const size_t take = std::min(n - i, 64 - col);
            std::memcpy(buffer + i, text + col, take);
            i += take;
        }
        return n;
    }
    // 64-byte lines: "lzf " + 16 hex digits of the line's offset + dots + "\n".
    static void MakeLine(std::uint64_t line, char* text) {
        static const char kHex[] = "0123456789abcdef";
        std::memcpy(text, "lzf ", 4);
        for (int d = 0; d < 16; ++d)
            text[4 + d] = kHex[(line >> (4 * (15 - d))) & 15];
        std::memset(text + 20, '.', 43);
        text[63] = '\n';
    }

  private:
    std::uint64_t size_;
};

class FileSource : public BodySource {
  public:
    FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
    ~FileSource() override { close(fd_); }
    std::uint64_t Size() const override { return size_; }
    size_t Read(std::uint64_t offset, char* buffer, size_t size) override {
        ssize_t n = pread(fd_, buffer, size, static_cast<off_t>(offset));
        return n > 0 ? static_cast<size_t>(n) : 0;
    }
    int FileDescriptor() const override { return fd_; }

  private:
    int fd_;
    std::uint64_t size_;
};

bool IEquals(const std::string& a, const std::string& b) {
    return a.size() == b.size() && Lower(a) == Lower(b);
}

bool IsTokenChar(char c) {
    return c > 32 && c < 127 && !std::strchr("()<>@,;:\\\"/[]?={}", c);
}

// Reads more bytes into buffer; false at the end of the stream or on error.
bool Fill(Stream& s, std::string& buffer) {
    char chunk[16384];
    long n = s.Read(chunk, sizeof chunk);
    if (n <= 0)
        return false;
    buffer.append(chunk, static_cast<size_t>(n));
    return true;
}

// Parses the request line and the header lines; false for anything malformed.
bool ParseHead(const std::string& head, HttpRequest* r) {
    size_t pos = 0;
    bool first = true;
    while (pos < head.size()) {
        size_t nl = head.find('\n', pos);
        if (nl == std::string::npos)
            nl = head.size();
        std::string line = head.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        pos = nl + 1;
        if (first) {
            first = false;
            size_t a = line.find(' ');
            size_t b = a == std::string::npos ? a : line.find(' ', a + 1);
            if (b == std::string::npos || line.find(' ', b + 1) != std::string::npos)
                return false;
            r->method = line.substr(0, a);
            r->target = line.substr(a + 1, b - a - 1);
            r->version = line.substr(b + 1);
            if (r->method.empty() || r->target.empty())
                return false;
            for (char c : r->method)
                if (!IsTokenChar(c))
                    return false;
            if (r->version != "HTTP/1.1" && r->version != "HTTP/1.0")
                return false;
            for (char c : r->target)
                if (static_cast<unsigned char>(c) <= 32 || c == 127)
                    return false;
            continue;
        }
        if (line.empty())
            continue;
        if (line[0] == ' ' || line[0] == '\t') {
            if (r->headers.empty())
                return false;
            r->headers.back().second += line;
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0)
            return false;
        std::string name = line.substr(0, colon);
        for (char c : name)
            if (!IsTokenChar(c))
                return false;
        std::string value = line.substr(colon + 1);
        size_t lead = value.find_first_not_of(" \t");
        value = lead == std::string::npos ? "" : value.substr(lead);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        r->headers.emplace_back(std::move(name), std::move(value));
    }
    std::string target = r->target;
    if (target.compare(0, 7, "http://") == 0 || target.compare(0, 8, "https://") == 0) {
        size_t slash = target.find('/', target.find("//") + 2);
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    size_t q = target.find('?');
    r->path = target.substr(0, q);
    r->query = q == std::string::npos ? "" : target.substr(q + 1);
    return !r->path.empty();
}

enum class ReadResult { kOk, kClosed, kBad, kTooLarge };

// Reads a chunked body from buffer (refilling it); raw receives the bytes consumed.
ReadResult ReadChunked(Stream& s, std::string& buffer, std::string* raw, std::string* body) {
    size_t pos = 0;
    auto need_line = [&](size_t* end) {
        while ((*end = buffer.find('\n', pos)) == std::string::npos) {
            if (buffer.size() - pos > kMaxHeaderBytes || !Fill(s, buffer))
                return false;
        }
        return true;
    };
    for (;;) {
        size_t end;
        if (!need_line(&end))
            return ReadResult::kClosed;
        std::string line = buffer.substr(pos, end - pos);
        pos = end + 1;
        char* stop = nullptr;
        unsigned long long size = std::strtoull(line.c_str(), &stop, 16);
        if (stop == line.c_str())
            return ReadResult::kBad;
        if (body->size() + size > kMaxBodyBytes)
            return ReadResult::kTooLarge;
        if (size == 0) {
            // Trailers up to the empty line.
            for (;;) {
                if (!need_line(&end))
                    return ReadResult::kClosed;
                std::string t = buffer.substr(pos, end - pos);
                pos = end + 1;
                if (t.empty() || t == "\r")
                    break;
            }
            break;
        }
        while (buffer.size() < pos + size + 2)
            if (!Fill(s, buffer))
                return ReadResult::kClosed;
        body->append(buffer, pos, size);
        pos += size;
        if (buffer[pos] == '\r')
            ++pos;
        if (buffer[pos] != '\n')
            return ReadResult::kBad;
        ++pos;
    }
    raw->append(buffer, 0, pos);
    buffer.erase(0, pos);
    return ReadResult::kOk;
}

std::string LocalAddress(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return "127.0.0.1";
    char host[NI_MAXHOST], port[NI_MAXSERV];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&addr), len, host, sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
        return "127.0.0.1";
    std::string h = host;
    if (addr.ss_family == AF_INET6)
        h = "[" + h + "]";
    return h + ":" + port;
}

bool PeerIsLoopback(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return false;
    if (addr.ss_family == AF_INET)
        return (ntohl(reinterpret_cast<sockaddr_in*>(&addr)->sin_addr.s_addr) >> 24) == 127;
    if (addr.ss_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<sockaddr_in6*>(&addr)->sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&a) || (IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127);
    }
    return false;
}

void Sleep(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Writes bytes in pieces of r.drip_bytes, r.drip_ms apart, and resets the connection once
// r.reset_after bytes are out. False when the connection is gone.
bool WriteDripping(Stream& s, const HttpResponse& r, const std::string& bytes) {
    const size_t piece = r.drip_bytes > 0 ? static_cast<size_t>(r.drip_bytes) : bytes.size();
    size_t limit = bytes.size();
    if (r.reset_after >= 0 && static_cast<std::uint64_t>(r.reset_after) < limit)
        limit = static_cast<size_t>(r.reset_after);
    for (size_t sent = 0; sent < limit;) {
        const size_t n = std::min(piece, limit - sent);
        if (!s.Write(bytes.data() + sent, n))
            return false;
        sent += n;
        if (r.drip_ms > 0 && sent < limit)
            Sleep(r.drip_ms);
    }
    if (limit < bytes.size()) {
        s.Abort();
        return false;
    }
    return true;
}

// Sends a response; false when the connection must be closed afterwards.
bool WriteResponse(Stream& s, const HttpRequest& request, HttpResponse& r, bool want_keep_alive) {
    Sleep(r.delay_ms);
    if (r.raw) {
        WriteDripping(s, r, *r.raw);
        return false;
    }
    const std::uint64_t size = r.body ? r.body->Size() : 0;
    bool keep = want_keep_alive && r.keep_alive && r.close_after < 0 && r.reset_after < 0 &&
                r.content_length < 0 && !r.no_content_length;
    std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " +
                       (r.reason.empty() ? ReasonPhrase(r.status) : r.reason) + "\r\n";
    head += "Server: lanzifang-catalogue\r\n";
    if (!r.content_type.empty())
        head += "Content-Type: " + r.content_type + "\r\n";
    if (r.chunked)
        head += "Transfer-Encoding: chunked\r\n";
    else if (!r.no_content_length)
        head += "Content-Length: " +
                std::to_string(r.content_length >= 0 ? static_cast<std::uint64_t>(r.content_length)
                                                     : size) +
                "\r\n";
    head += keep ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
    for (const auto& h : r.headers)
        head += h + "\r\n";
    head += "\r\n";
    if (!s.Write(head.data(), head.size()))
        return false;
    if (request.method == "HEAD" || size == 0) {
        if (r.chunked && request.method != "HEAD" && r.close_after < 0)
            s.Write("0\r\n\r\n", 5);
        return keep;
    }
    std::uint64_t limit = size;
    if (r.close_after >= 0 && static_cast<std::uint64_t>(r.close_after) < limit)
        limit = static_cast<std::uint64_t>(r.close_after);
    if (r.reset_after >= 0 && static_cast<std::uint64_t>(r.reset_after) < limit)
        limit = static_cast<std::uint64_t>(r.reset_after);
    std::uint64_t sent = 0;
    // A file sent plainly goes from the page cache to the socket inside the kernel: served
    // through a buffer, a benchmark file came slower than a client could take it.
    if (!r.chunked && r.drip_bytes <= 0 && r.drip_ms <= 0 && r.reset_after < 0 &&
        r.body->FileDescriptor() >= 0 && s.PlainSocket() >= 0) {
        off_t offset = 0;
        while (sent < limit) {
            ssize_t n =
                sendfile(s.PlainSocket(), r.body->FileDescriptor(), &offset,
                         static_cast<size_t>(std::min<std::uint64_t>(limit - sent, 1u << 30)));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            sent += static_cast<std::uint64_t>(n);
        }
        return sent < size ? false : keep;
    }
    const size_t piece = r.drip_bytes > 0 ? static_cast<size_t>(r.drip_bytes) : 256 * 1024;
    std::vector<char> buffer(std::min<size_t>(piece, 256 * 1024));
    while (sent < limit) {
        size_t want = static_cast<size_t>(std::min<std::uint64_t>(piece, limit - sent));
        size_t done = 0;
        std::string out;
        while (done < want) {
            size_t n =
                r.body->Read(sent + done, buffer.data(), std::min(buffer.size(), want - done));
            if (n == 0)
                return false;
            if (r.chunked) {
                char size_line[32];
                std::snprintf(size_line, sizeof size_line, "%zx\r\n", n);
                if (!s.Write(size_line, std::strlen(size_line)) || !s.Write(buffer.data(), n) ||
                    !s.Write("\r\n", 2))
                    return false;
            } else if (!s.Write(buffer.data(), n)) {
                return false;
            }
            done += n;
        }
        sent += done;
        if (r.drip_ms > 0 && sent < limit)
            Sleep(r.drip_ms);
    }
    if (sent < size) {
        // Ended early on purpose: closed, or reset when asked.
        if (r.reset_after >= 0 && sent == static_cast<std::uint64_t>(r.reset_after))
            s.Abort();
        return false;
    }
    if (r.chunked && !s.Write("0\r\n\r\n", 5))
        return false;
    return keep;
}

void WriteSimple(Stream& s, int status, const std::string& text) {
    HttpRequest none;
    HttpResponse r;
    r.status = status;
    r.body = StringBody(text);
    r.keep_alive = false;
    WriteResponse(s, none, r, false);
}

}  // namespace

std::unique_ptr<Stream> PlainStream(int fd) {
    return std::make_unique<SocketStream>(fd);
}

std::shared_ptr<BodySource> StringBody(std::string bytes) {
    return std::make_shared<StringSource>(std::move(bytes));
}

std::shared_ptr<BodySource> PatternBody(std::uint64_t size) {
    return std::make_shared<PatternSource>(size);
}

std::shared_ptr<BodySource> FileBody(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    off_t size = lseek(fd, 0, SEEK_END);
    if (size < 0) {
        close(fd);
        return nullptr;
    }
    return std::make_shared<FileSource>(fd, static_cast<std::uint64_t>(size));
}

const std::string* HttpRequest::Header(const std::string& name) const {
    for (const auto& [n, v] : headers)
        if (IEquals(n, name))
            return &v;
    return nullptr;
}

const char* ReasonPhrase(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 204:
            return "No Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 304:
            return "Not Modified";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

HttpServer::HttpServer(Handler handler, LogHook log)
    : handler_(std::move(handler)), log_(std::move(log)) {}

HttpServer::~HttpServer() {
    for (auto& l : listeners_)
        if (l.fd >= 0)
            close(l.fd);
}

int HttpServer::Listen(const std::string& host,
                       int port,
                       StreamFactory factory,
                       bool tls,
                       std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        *error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    for (addrinfo* a = found; a; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 128) == 0)
            break;
        *error =
            std::string("cannot listen on ") + host + ":" + service + ": " + std::strerror(errno);
        close(fd);
        fd = -1;
    }
    freeaddrinfo(found);
    if (fd < 0)
        return -1;
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    int bound = ntohs(addr.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
    listeners_.push_back({fd, std::move(factory), tls});
    return bound;
}

void HttpServer::Stop() {
    stopping_.store(true);
}

void HttpServer::Run() {
    std::vector<pollfd> fds;
    for (auto& l : listeners_)
        fds.push_back({l.fd, POLLIN, 0});
    while (!stopping_.load()) {
        int n = poll(fds.data(), fds.size(), 200);
        if (n <= 0)
            continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            int fd = accept4(fds[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            if (active_.load() >= kMaxConnections) {
                close(fd);
                continue;
            }
            timeval tv{kIdleSeconds, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            timeval send_tv{120, 0};
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &send_tv, sizeof send_tv);
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            ++active_;
            long long id = ++connections_;
            const Listener* listener = &listeners_[i];
            std::thread([this, fd, listener, id] {
                Serve(fd, *listener, id);
                --active_;
            }).detach();
        }
    }
}

void HttpServer::Serve(int fd, const Listener& listener, long long connection) {
    const std::string local = LocalAddress(fd);
    const bool loopback = PeerIsLoopback(fd);
    std::unique_ptr<Stream> stream = listener.factory(fd);
    if (!stream)
        return;
    std::string buffer;
    for (;;) {
        // The header block.
        size_t head_end = std::string::npos, body_at = 0;
        for (;;) {
            size_t crlf = buffer.find("\r\n\r\n");
            size_t lf = buffer.find("\n\n");
            if (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) {
                head_end = crlf;
                body_at = crlf + 4;
            } else if (lf != std::string::npos) {
                head_end = lf;
                body_at = lf + 2;
            }
            if (head_end != std::string::npos)
                break;
            if (buffer.size() > kMaxHeaderBytes) {
                log_(connection, "", buffer, listener.tls, 431);
                WriteSimple(*stream, 431, "request header too large\n");
                return;
            }
            if (!Fill(*stream, buffer)) {
                // Blank lines between requests are allowed; anything else is a broken request.
                if (buffer.find_first_not_of("\r\n") != std::string::npos)
                    log_(connection, "", buffer, listener.tls, 400);
                return;
            }
        }
        // Leading blank lines before a request line are skipped.
        size_t start = buffer.find_first_not_of("\r\n");
        if (start != 0 && start != std::string::npos && start < head_end) {
            buffer.erase(0, start);
            continue;
        }
        HttpRequest request;
        request.local_address = local;
        request.from_loopback = loopback;
        request.tls = listener.tls;
        std::string raw = buffer.substr(0, body_at);
        buffer.erase(0, body_at);
        if (!ParseHead(raw.substr(0, head_end), &request)) {
            log_(connection, "", raw, listener.tls, 400);
            WriteSimple(*stream, 400, "malformed request\n");
            return;
        }
        // The body.
        const std::string* te = request.Header("Transfer-Encoding");
        const std::string* cl = request.Header("Content-Length");
        int error = 0;
        if (te && Lower(*te).find("chunked") != std::string::npos) {
            const std::string* expect = request.Header("Expect");
            if (expect && IEquals(*expect, "100-continue"))
                stream->Write("HTTP/1.1 100 Continue\r\n\r\n", 25);
            ReadResult rr = ReadChunked(*stream, buffer, &raw, &request.body);
            if (rr == ReadResult::kBad)
                error = 400;
            else if (rr == ReadResult::kTooLarge)
                error = 413;
            else if (rr == ReadResult::kClosed)
                error = 408;
        } else if (cl) {
            auto length = ParseInteger(*cl);
            for (const auto& [n, v] : request.headers)
                if (IEquals(n, "Content-Length") && v != *cl)
                    length.reset();
            if (!length || *length < 0) {
                error = 400;
            } else if (static_cast<unsigned long long>(*length) > kMaxBodyBytes) {
                error = 413;
            } else {
                const std::string* expect = request.Header("Expect");
                if (expect && IEquals(*expect, "100-continue") && *length > 0 &&
                    buffer.size() < static_cast<size_t>(*length))
                    stream->Write("HTTP/1.1 100 Continue\r\n\r\n", 25);
                while (buffer.size() < static_cast<size_t>(*length))
                    if (!Fill(*stream, buffer))
                        break;
                size_t take = std::min(buffer.size(), static_cast<size_t>(*length));
                request.body = buffer.substr(0, take);
                raw += request.body;
                buffer.erase(0, take);
                if (take < static_cast<size_t>(*length))
                    error = 408;
            }
        }
        log_(connection, request.path, raw, listener.tls, error);
        if (error) {
            if (error != 408)
                WriteSimple(*stream, error, error == 413 ? "body too large\n" : "bad body\n");
            return;
        }
        bool want_keep_alive;
        const std::string* conn = request.Header("Connection");
        if (request.version == "HTTP/1.0")
            want_keep_alive = conn && Lower(*conn).find("keep-alive") != std::string::npos;
        else
            want_keep_alive = !(conn && Lower(*conn).find("close") != std::string::npos);
        HttpResponse response = handler_(request);
        if (!WriteResponse(*stream, request, response, want_keep_alive) || stopping_.load())
            return;
    }
}

}  // namespace lzf::server
