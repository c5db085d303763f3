// A small HTTP/1.1 server: one thread per connection, keep-alive, and every request's raw
// bytes handed to a log hook before it is answered. Answers can be told to misbehave on the
// wire (delay, drip, early close, wrong length, chunked) through HttpResponse.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lzf::server {

// A byte stream over an accepted connection (plain socket or TLS).
class Stream {
  public:
    virtual ~Stream() = default;
    // Bytes read (0 at the end of the stream), or -1 on error or time-out.
    virtual long Read(char* buffer, size_t size) = 0;
    virtual bool Write(const char* data, size_t size) = 0;
    // Ends the connection: flushes, then closes gracefully.
    virtual void Close() = 0;
    // Ends the connection at once with a reset where the stream can (else as Close).
    virtual void Abort() { Close(); }
    // The plain socket under the stream, for sending a file with the kernel's sendfile; -1
    // when the bytes must pass through Write (TLS).
    virtual int PlainSocket() const { return -1; }
};

// Wraps an accepted socket; nullptr when the connection cannot be set up (e.g. TLS handshake).
using StreamFactory = std::function<std::unique_ptr<Stream>(int fd)>;
std::unique_ptr<Stream> PlainStream(int fd);

struct HttpRequest {
    std::string method;
    std::string target;  // as sent
    std::string path;    // target without the query, not decoded
    std::string query;   // after '?'
    std::string version;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;            // de-chunked
    std::string local_address;   // host:port that the client connected to
    bool from_loopback = false;  // the client is on this machine
    bool tls = false;

    // Value of the first header of that name (case-insensitive), or nullptr.
    const std::string* Header(const std::string& name) const;
};

// A response body that can be produced piece by piece (huge bodies are never held whole).
class BodySource {
  public:
    virtual ~BodySource() = default;
    virtual std::uint64_t Size() const = 0;
    // Copies up to size bytes from offset; returns how many (0 at the end or on error).
    virtual size_t Read(std::uint64_t offset, char* buffer, size_t size) = 0;
    // The open file behind the body, or -1 when it is not a file.
    virtual int FileDescriptor() const { return -1; }
};
std::shared_ptr<BodySource> StringBody(std::string bytes);
std::shared_ptr<BodySource> PatternBody(std::uint64_t size);
std::shared_ptr<BodySource> FileBody(const std::string& path);  // nullptr when unreadable

struct HttpResponse {
    int status = 200;
    std::string reason;  // empty: the standard phrase
    std::string content_type = "text/plain; charset=utf-8";
    std::vector<std::string> headers;  // extra lines, verbatim
    std::shared_ptr<BodySource> body;

    int delay_ms = 0;
    int drip_bytes = 0;
    int drip_ms = 0;
    std::int64_t close_after = -1;
    std::int64_t content_length = -1;  // declared instead of the real length
    bool no_content_length = false;
    bool chunked = false;
    bool keep_alive = true;
    std::int64_t reset_after = -1;  // reset the connection after this many body bytes
    // Written verbatim instead of an answer built from the fields above (delay and drip still
    // apply; reset_after counts its bytes); the connection closes after it.
    std::optional<std::string> raw;
};

using Handler = std::function<HttpResponse(const HttpRequest&)>;
// Called with the raw bytes of every request (error_status 0 when it parsed) before the
// handler; returns nothing. The path tells which requests to leave out.
using LogHook = std::function<void(long long connection,
                                   const std::string& path,
                                   const std::string& raw,
                                   bool tls,
                                   int error_status)>;

class HttpServer {
  public:
    HttpServer(Handler handler, LogHook log);
    ~HttpServer();

    // Binds and listens; port 0 picks a free one. Returns the port, or -1 with *error.
    int Listen(const std::string& host,
               int port,
               StreamFactory factory,
               bool tls,
               std::string* error);
    // Accepts connections on every listener until Stop(); returns then.
    void Run();
    void Stop();  // async-signal-safe

  private:
    struct Listener {
        int fd = -1;
        StreamFactory factory;
        bool tls = false;
    };
    void Serve(int fd, const Listener& listener, long long connection);

    Handler handler_;
    LogHook log_;
    std::vector<Listener> listeners_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> active_{0};
    std::atomic<long long> connections_{0};
};

// The standard reason phrase of a status code.
const char* ReasonPhrase(int status);

}  // namespace lzf::server
