#include <winsock2.h>
#include <ws2tcpip.h>

#include "http/plain_connection.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/owner.h"
#include "http/answer.h"
#include "http/host_lookup.h"
#include "http/transfer.h"

namespace {

constexpr size_t kLargestRead = 1024 * 1024;

// Winsock for the length of one call (the calls count, so this nests with any other user).
class WinsockUse {
  public:
    WinsockUse() {
        WSADATA data;
        ok_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUse() {
        if (ok_)
            WSACleanup();
    }
    explicit operator bool() const { return ok_; }

  private:
    bool ok_ = false;
};

// A socket, closed when its owner goes.
struct SocketTraits {
    using Handle = SOCKET;
    static Handle Invalid() { return INVALID_SOCKET; }
    static bool Close(Handle s) { return closesocket(s) == 0; }
};
using Socket = Owner<SocketTraits>;

// Waits until the socket is readable (or writable), in slices short enough to see `stop`.
// False when the deadline passed or `stop` was set first.
bool WaitFor(SOCKET s, bool write, ULONGLONG deadline, const std::atomic<bool>& stop) {
    for (;;) {
        if (stop)
            return false;
        const DWORD left = MillisecondsLeft(deadline);
        if (left == 0)
            return false;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        fd_set failed;
        FD_ZERO(&failed);
        FD_SET(s, &failed);
        const DWORD slice = std::min<DWORD>(left, 200);
        timeval wait = {static_cast<long>(slice / 1000), static_cast<long>(slice % 1000 * 1000)};
        const int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &wait);
        if (n == SOCKET_ERROR)
            return false;
        if (n > 0)
            return true;
    }
}

// Connections to a server whose last answer left them open, kept a short while for the next
// request to it: each step through the font list sends its description and preview requests
// to the same service, and under Wine a new connection costs a few hundred microseconds of
// calls on each side. At most kKeptConnections are kept, each for at most kKeptForMs; one the
// server has closed meanwhile is dropped when it is taken.
constexpr size_t kKeptConnections = 4;
constexpr ULONGLONG kKeptForMs = 2000;

struct KeptConnection {
    Text host;
    int port = 0;
    SOCKET socket = INVALID_SOCKET;
    ULONGLONG since = 0;
};

SRWLOCK g_keptLock = SRWLOCK_INIT;

// Guarded by g_keptLock. Never freed: a thread may still make a request while the program's
// statics are destroyed at exit.
KeptConnection* Kept() {
    static KeptConnection* const kept = new KeptConnection[kKeptConnections];
    return kept;
}

// Whether a kept connection is still open with nothing waiting on it: a server that closed
// it, or sent something unasked, makes it unusable.
bool StillIdle(SOCKET s) {
    char byte;
    return recv(s, &byte, 1, MSG_PEEK) == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK;
}

// A kept connection to `host`:`port`, or an invalid socket.
Socket TakeKeptConnection(const Text& host, int port) {
    const ULONGLONG now = GetTickCount64();
    Socket found;
    std::vector<SOCKET> stale;
    AcquireSRWLockExclusive(&g_keptLock);
    for (KeptConnection& k : std::span(Kept(), kKeptConnections)) {
        if (k.socket == INVALID_SOCKET)
            continue;
        if (now - k.since > kKeptForMs) {
            stale.push_back(std::exchange(k.socket, INVALID_SOCKET));
        } else if (!found && k.port == port && k.host == host) {
            found.Reset(std::exchange(k.socket, INVALID_SOCKET));
        }
    }
    ReleaseSRWLockExclusive(&g_keptLock);
    for (SOCKET s : stale)
        closesocket(s);
    if (found && !StillIdle(found.Get()))
        found.Reset();
    return found;
}

// Keeps `socket` for the next request to `host`:`port`; the oldest kept one makes room.
void KeepConnection(const Text& host, int port, Socket socket) {
    // The kept sockets outlive the calls' own Winsock use: Winsock stays started for them.
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started)
        return;
    SOCKET evicted = INVALID_SOCKET;
    AcquireSRWLockExclusive(&g_keptLock);
    KeptConnection* slot = Kept();
    for (KeptConnection& k : std::span(Kept(), kKeptConnections)) {
        if (k.socket == INVALID_SOCKET) {
            slot = &k;
            break;
        }
        if (k.since < slot->since)
            slot = &k;
    }
    evicted = std::exchange(slot->socket, socket.Release());
    slot->host = host;
    slot->port = port;
    slot->since = GetTickCount64();
    ReleaseSRWLockExclusive(&g_keptLock);
    if (evicted != INVALID_SOCKET)
        closesocket(evicted);
}

// Whether the request asks the server to close the connection after its answer (its head read
// as a header block: the request line, then the header lines).
bool AsksToClose(std::string_view request) {
    const std::string_view head = request.substr(0, request.find("\r\n\r\n"));
    return HeaderListHas(AnswerHeaderValue(head, "Connection"), "close");
}

bool Connect(Socket& socket,
             const Text& host,
             int port,
             ULONGLONG deadline,
             const std::atomic<bool>& stop) {
    bool connected = false;
    for (const HostAddress& a : LookUpHost(host, port, deadline, stop)) {
        if (connected)
            break;
        socket.Reset(::socket(a.family, a.socktype, a.protocol));
        if (!socket)
            continue;
        u_long nonBlocking = 1;
        ioctlsocket(socket.Get(), FIONBIO, &nonBlocking);
        if (connect(socket.Get(), reinterpret_cast<const sockaddr*>(&a.address), a.length) == 0) {
            connected = true;
        } else if (WSAGetLastError() == WSAEWOULDBLOCK &&
                   WaitFor(socket.Get(), true, deadline, stop)) {
            int error = 0;
            int size = sizeof error;
            getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size);
            connected = error == 0;
        }
    }
    return connected;
}

// The deadline of one wait for the connection: the answer's, or sooner when waits are bounded.
ULONGLONG WaitDeadline(const PlainDeadlines& deadlines) {
    if (deadlines.idle_ms == 0)
        return deadlines.answer;
    return std::min(deadlines.answer, GetTickCount64() + deadlines.idle_ms);
}

enum class Sent { kAll, kTimedOut, kFailed };

Sent SendAll(SOCKET s,
             std::string_view data,
             const PlainDeadlines& deadlines,
             const std::atomic<bool>& stop) {
    size_t sent = 0;
    while (sent < data.size()) {
        const int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n != SOCKET_ERROR || WSAGetLastError() != WSAEWOULDBLOCK)
            return Sent::kFailed;
        if (!WaitFor(s, true, WaitDeadline(deadlines), stop))
            return Sent::kTimedOut;
    }
    return Sent::kAll;
}

// One exchange over `socket`, as ExchangeOverPlainConnection describes it. `ended` tells
// whether the connection failed or ended before any byte of an answer (rather than a wait
// running out or a stop).
PlainExchange Exchange(SOCKET socket,
                       std::string_view request,
                       const PlainDeadlines& deadlines,
                       const std::atomic<bool>& stop,
                       AnswerReader& reader,
                       const std::function<bool()>& enough,
                       bool* ended) {
    *ended = false;
    switch (SendAll(socket, request, deadlines, stop)) {
        case Sent::kAll:
            break;
        case Sent::kFailed:
            *ended = true;
            return PlainExchange::kNotSent;
        case Sent::kTimedOut:
            return PlainExchange::kNotSent;
    }
    bool arrived = false;
    // Most answers are a few kilobytes: the buffer starts small and grows to a megabyte once a
    // read fills it (a megabyte asked for at every call cost a page fault per 4 KiB of it).
    size_t size = 64 * 1024;
    std::unique_ptr<char[]> buffer(new char[size]);
    while (reader.state() == AnswerReader::State::kReading && !(enough && enough())) {
        // A time-out or a stop leaves the reader incomplete: not a whole answer.
        if (stop || MillisecondsLeft(deadlines.answer) == 0)
            break;
        // What has arrived is taken at once; only an empty socket is waited for.
        const int n = recv(socket, buffer.get(), static_cast<int>(size), 0);
        if (n > 0) {
            arrived = true;
            reader.Feed(std::string_view(buffer.get(), static_cast<size_t>(n)));
            if (static_cast<size_t>(n) == size && size < kLargestRead) {
                size = kLargestRead;
                buffer.reset(new char[size]);
            }
        } else if (n == 0) {
            if (arrived)
                reader.Close();
            *ended = !arrived;
            break;
        } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
            *ended = !arrived;  // reset
            break;
        } else if (!WaitFor(socket, false, WaitDeadline(deadlines), stop)) {
            break;  // nothing more in time
        }
    }
    return arrived ? PlainExchange::kAnswered : PlainExchange::kNoAnswer;
}

}  // namespace

PlainExchange ExchangeOverPlainConnection(const Text& host,
                                          int port,
                                          std::string_view request,
                                          const PlainDeadlines& deadlines,
                                          const std::atomic<bool>& stop,
                                          AnswerReader& reader,
                                          const std::function<bool()>& enough) {
    WinsockUse winsock;
    if (!winsock)
        return PlainExchange::kNoConnection;
    // A kept connection first. The server may have closed it just as the request went out: an
    // exchange on it that fails or ends before any byte of an answer is made once more on a new
    // one (one that waited in vain is not).
    PlainExchange got = PlainExchange::kNoConnection;
    bool ended = false;
    Socket socket = TakeKeptConnection(host, port);
    if (socket) {
        got = Exchange(socket.Get(), request, deadlines, stop, reader, enough, &ended);
        if (ended)
            socket.Reset();
    }
    if (!socket) {
        if (!Connect(socket, host, port, deadlines.connect, stop))
            return PlainExchange::kNoConnection;
        got = Exchange(socket.Get(), request, deadlines, stop, reader, enough, &ended);
    }
    if (got == PlainExchange::kAnswered && reader.LeavesConnectionOpen() && !AsksToClose(request))
        KeepConnection(host, port, std::move(socket));
    return got;
}
