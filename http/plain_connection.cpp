#include <winsock2.h>
#include <ws2tcpip.h>

#include "http/plain_connection.h"

#include <algorithm>
#include <memory>
#include <string>

#include "core/owner.h"
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

bool SendAll(SOCKET s,
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
        if (n == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK &&
            WaitFor(s, true, WaitDeadline(deadlines), stop))
            continue;
        return false;
    }
    return true;
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
    Socket socket;
    if (!winsock || !Connect(socket, host, port, deadlines.connect, stop))
        return PlainExchange::kNoConnection;
    if (!SendAll(socket.Get(), request, deadlines, stop))
        return PlainExchange::kNotSent;
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
        const int n = recv(socket.Get(), buffer.get(), static_cast<int>(size), 0);
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
            break;
        } else if (WSAGetLastError() != WSAEWOULDBLOCK ||
                   !WaitFor(socket.Get(), false, WaitDeadline(deadlines), stop)) {
            break;  // reset, or nothing more in time
        }
    }
    return arrived ? PlainExchange::kAnswered : PlainExchange::kNoAnswer;
}
