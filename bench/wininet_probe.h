// One WinInet request made the bare way, for the probes of the fetch and download benchmarks:
// open, connect, open the request with the given flags, send, then read the body in steps of
// a given size straight into one buffer sized from Content-Length. No headers of our own, no
// cookies, no redirects to follow. Header only; include it in one file per program.
#pragma once

#include <windows.h>

#include <wininet.h>

#include <memory>
#include <string>

namespace probe {

struct InetBody {
    std::unique_ptr<char[]> bytes;  // not cleared: pages are touched only as the body arrives
    size_t size = 0;
    int status = 0;
};

class InetHandle {
  public:
    explicit InetHandle(HINTERNET h) : h_(h) {}
    ~InetHandle() {
        if (h_)
            InternetCloseHandle(h_);
    }
    InetHandle(const InetHandle&) = delete;
    InetHandle& operator=(const InetHandle&) = delete;
    HINTERNET get() const { return h_; }

  private:
    HINTERNET h_;
};

// `url` must name an http address with a port and a path. `post` null sends a GET, otherwise
// a POST of that form body. False when any call fails or the body is not as long as announced.
inline bool BareInetRequest(const std::wstring& url,
                            const char* post,
                            DWORD flags,
                            size_t step,
                            InetBody& out) {
    wchar_t host[256] = {}, path[2048] = {};
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts))
        return false;
    InetHandle internet(InternetOpenW(L"probe", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!internet.get())
        return false;
    InetHandle connection(InternetConnectW(internet.get(), host, parts.nPort, nullptr, nullptr,
                                           INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.get())
        return false;
    InetHandle request(HttpOpenRequestW(connection.get(), post ? L"POST" : L"GET", path,
                                        L"HTTP/1.1", nullptr, nullptr, flags, 0));
    if (!request.get())
        return false;
    static const wchar_t kForm[] = L"Content-Type: application/x-www-form-urlencoded";
    const DWORD length = post ? static_cast<DWORD>(strlen(post)) : 0;
    if (!HttpSendRequestW(request.get(), post ? kForm : nullptr, post ? DWORD(-1) : 0,
                          const_cast<char*>(post), length))
        return false;
    DWORD status = 0, size = sizeof status;
    HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   nullptr);
    out.status = static_cast<int>(status);
    wchar_t announced[32] = {};
    size = sizeof announced;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH, announced, &size, nullptr))
        return false;
    const size_t total = static_cast<size_t>(_wtoi64(announced));
    out.bytes.reset(new char[total ? total : 1]);
    out.size = 0;
    while (out.size < total) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min(step, total - out.size));
        if (!InternetReadFile(request.get(), out.bytes.get() + out.size, want, &read) || !read)
            break;
        out.size += read;
    }
    return out.size == total;
}

}  // namespace probe
