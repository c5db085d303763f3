#include "bench/page/probe_page.h"

#include <windows.h>

#include <winhttp.h>

namespace bench {
namespace {

struct Way {
    const char* name;
    bool askReady;  // WinHttpQueryDataAvailable before each read, and read just that much
    DWORD step;     // otherwise reads of this size
};

constexpr Way kWays[] = {
    {"query-available-reads", true, 0},
    {"64KiB-reads", false, 64 << 10},
    {"1MiB-reads", false, 1 << 20},
};

class Handle {
  public:
    explicit Handle(HINTERNET h) : h_(h) {}
    ~Handle() {
        if (h_)
            WinHttpCloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HINTERNET get() const { return h_; }

  private:
    HINTERNET h_;
};

}  // namespace

int PageProbeWays() {
    return static_cast<int>(std::size(kWays));
}

const char* PageProbeWayName(int way) {
    return kWays[way].name;
}

bool ProbePageFetch(const std::wstring& url, int wayIndex, std::string& body) {
    const Way& way = kWays[wayIndex];
    wchar_t host[256] = {}, path[2048] = {};
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts))
        return false;
    Handle session(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
    Handle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    Handle request(WinHttpOpenRequest(connection.get(), L"GET", path, nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    // Each fetch on a connection of its own, as WebRequest's.
    DWORD features = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_KEEP_ALIVE;
    if (request.get())
        WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
    if (!request.get() ||
        !WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return false;
    DWORD length = 0, size = sizeof length;
    body.clear();
    if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX))
        body.reserve(length);
    for (;;) {
        DWORD want = way.step;
        if (way.askReady && (!WinHttpQueryDataAvailable(request.get(), &want) || want == 0))
            break;
        const size_t have = body.size();
        body.resize(have + want);
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), body.data() + have, want, &read))
            return false;
        body.resize(have + read);
        if (read == 0)
            break;
    }
    return true;
}

}  // namespace bench
