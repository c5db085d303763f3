#include "bench/preview/probe_step.h"

#include <windows.h>
#include <winsock2.h>

#include <commctrl.h>
#include <png.h>
#include <winhttp.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/probe_support.h"

namespace bench {
namespace {

// The preview form as the main window's defaults fill it (size 50, 600 x 200, black on white,
// the sample text 请输入内容), for font `id`.
std::string PreviewForm(const std::wstring& id) {
    return "FontInfoId=" + std::string(id.begin(), id.end()) +
           "&FontSize=50&FontColor=%23000000&ImageWidth=600&ImageHeight=200"
           "&ImageBgColor=%23FFFFFF&Content=%E8%AF%B7%E8%BE%93%E5%85%A5%E5%86%85%E5%AE%B9"
           "&ActionCategory=1";
}

constexpr COLORREF kBoxBackground = RGB(0xEC, 0xEC, 0xEC);
constexpr int kBoxWidth = 378, kBoxHeight = 133;

// The picture box: its picture (a DIB of the picture's size, composed over the background)
// stretched into the box at each paint.
struct PictureBox {
    HBITMAP bitmap = nullptr;
    int width = 0, height = 0;
};
PictureBox g_box;

LRESULT CALLBACK PictureProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (g_box.bitmap) {
            HDC memory = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(memory, g_box.bitmap);
            SetStretchBltMode(dc, COLORONCOLOR);
            StretchBlt(dc, 0, 0, kBoxWidth, kBoxHeight, memory, 0, 0, g_box.width, g_box.height,
                       SRCCOPY);
            SelectObject(memory, old);
            DeleteDC(memory);
        } else {
            RECT r = {0, 0, kBoxWidth, kBoxHeight};
            HBRUSH brush = CreateSolidBrush(kBoxBackground);
            FillRect(dc, &r, brush);
            DeleteObject(brush);
        }
        EndPaint(window, &ps);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Decodes the PNG into a DIB composed over the box's background; false when it is no PNG.
bool ShowPicture(HWND box, const std::string& png) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
        return false;
    image.format = PNG_FORMAT_BGR;  // alpha applied over the background colour below
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(image.width);
    info.bmiHeader.biHeight = -static_cast<LONG>(image.height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) {
        png_image_free(&image);
        return false;
    }
    const png_color background = {0xEC, 0xEC, 0xEC};
    const int stride = (static_cast<int>(image.width) * 3 + 3) & ~3;
    if (!png_image_finish_read(&image, &background, bits, stride, nullptr)) {
        DeleteObject(bitmap);
        return false;
    }
    if (g_box.bitmap)
        DeleteObject(g_box.bitmap);
    g_box = {bitmap, static_cast<int>(image.width), static_cast<int>(image.height)};
    InvalidateRect(box, nullptr, FALSE);
    UpdateWindow(box);
    return true;
}

class Handle {
  public:
    explicit Handle(HINTERNET h = nullptr) : h_(h) {}
    ~Handle() { Reset(nullptr); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    void Reset(HINTERNET h) {
        if (h_)
            WinHttpCloseHandle(h_);
        h_ = h;
    }
    HINTERNET get() const { return h_; }

  private:
    HINTERNET h_;
};

}  // namespace

struct StepProbe::Session {
    Handle session;
    Handle connection;
    bool keepAlive = false;
    SOCKET socket = INVALID_SOCKET;  // kKeptSocket
    ~Session() {
        if (socket != INVALID_SOCKET)
            closesocket(socket);
    }
};

const char* StepProbe::WayName(int way) {
    switch (way) {
        case kFreshConnections:
            return "fresh-connections";
        case kOneSessionPerStep:
            return "one-session-per-step";
        case kKeptSession:
            return "kept-session";
        case kKeptSocket:
            return "kept-socket";
        default:
            return "?";
    }
}

const char* StepProbe::PartName(int part) {
    static const char* const kNames[] = {"select", "description", "post", "fetch", "show"};
    return part >= 0 && part < kPartCount ? kNames[part] : "?";
}

StepProbe::StepProbe(const std::vector<ListRow>& rows, const std::string& base) : rows_(rows) {
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);
    // "http://host:port/"
    const size_t hostStart = base.find("//") + 2;
    const size_t colon = base.find(':', hostStart), slash = base.find('/', hostStart);
    const std::string host = base.substr(hostStart, std::min(colon, slash) - hostStart);
    server_.assign(host.begin(), host.end());
    port_ = colon < slash ? static_cast<unsigned short>(std::atoi(base.c_str() + colon + 1)) : 80;

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PictureProcedure;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"LzfStepProbePicture";
    RegisterClassExW(&wc);
    host_ = CreateProbeHost();
    if (!host_)
        return;
    list_ = CreateProbeList(host_);
    picture_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_VISIBLE, 4, 470, kBoxWidth,
                               kBoxHeight, host_, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list_, LVM_SETITEMCOUNT, rows_.size(), 0);
    for (size_t i = 0; i < rows_.size(); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = rows_[i][0].data();
        const int at = static_cast<int>(
            SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (int column = 1; column < 3; ++column) {
            LVITEMW sub = {};
            sub.iSubItem = column;
            sub.pszText = rows_[i][column].data();
            SendMessageW(list_, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
        }
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    UpdateWindow(host_);
    ProbePump();
}

StepProbe::~StepProbe() {
    delete kept_;
    delete keptSocket_;
    WSACleanup();
    if (host_)
        DestroyWindow(host_);
    if (g_box.bitmap)
        DeleteObject(g_box.bitmap);
    g_box = {};
    ProbePump();
}

void StepProbe::StartAt(int row) {
    row_ = row;
    LVITEMW state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    SendMessageW(list_, LVM_ENSUREVISIBLE, row, FALSE);
    UpdateWindow(list_);
    ProbePump();
}

bool StepProbe::Request(Session& s,
                        const wchar_t* verb,
                        const std::wstring& path,
                        const std::string& body,
                        std::string& answer) {
    if (!s.session.get()) {
        s.session.Reset(WinHttpOpen(L"lzf-step-probe", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        s.connection.Reset(WinHttpConnect(s.session.get(), server_.c_str(), port_, 0));
    }
    Handle request(WinHttpOpenRequest(s.connection.get(), verb, path.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!request.get())
        return false;
    DWORD features = WINHTTP_DISABLE_COOKIES | (s.keepAlive ? 0 : WINHTTP_DISABLE_KEEP_ALIVE);
    WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
    const wchar_t* headers = body.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS
                                          : L"Content-Type: application/x-www-form-urlencoded\r\n";
    if (!WinHttpSendRequest(request.get(), headers, body.empty() ? 0 : DWORD(-1),
                            body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data()),
                            static_cast<DWORD>(body.size()), static_cast<DWORD>(body.size()), 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr))
        return false;
    DWORD status = 0, size = sizeof status;
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    DWORD length = 0;
    size = sizeof length;
    answer.clear();
    if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX))
        answer.reserve(length);
    // Large reads into the answer's own buffer; the transport gives what it has.
    for (;;) {
        const size_t have = answer.size();
        answer.resize(have + 65536);
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), answer.data() + have, 65536, &read))
            return false;
        answer.resize(have + read);
        if (read == 0)
            break;
    }
    if (!s.keepAlive) {
        s.connection.Reset(nullptr);
        s.session.Reset(nullptr);
    }
    return status == 200;
}

bool StepProbe::SocketRequest(Session& s,
                              const wchar_t* verb,
                              const std::wstring& path,
                              const std::string& body,
                              std::string& answer) {
    std::string request = std::string(verb, verb + wcslen(verb)) + " " +
                          std::string(path.begin(), path.end()) +
                          " HTTP/1.1\r\nHost: " + std::string(server_.begin(), server_.end()) +
                          ":" + std::to_string(port_) + "\r\nUser-Agent: " + kAgent + "\r\n";
    if (!body.empty())
        request += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\n";
    request += "\r\n" + body;
    // On the kept connection, or once more on a new one when the server has closed it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (s.socket == INVALID_SOCKET) {
            s.socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            sockaddr_in a = {};
            a.sin_family = AF_INET;
            a.sin_port = htons(port_);
            a.sin_addr.s_addr = inet_addr(std::string(server_.begin(), server_.end()).c_str());
            if (s.socket == INVALID_SOCKET ||
                connect(s.socket, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
                return false;
        }
        // The answer is read by its length: the service gives one with every answer.
        std::string in;
        size_t head = std::string::npos, total = std::string::npos;
        char buffer[65536];
        bool sent = send(s.socket, request.data(), static_cast<int>(request.size()), 0) ==
                    static_cast<int>(request.size());
        while (sent && in.size() < total) {
            const int n = recv(s.socket, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            in.append(buffer, static_cast<size_t>(n));
            if (head == std::string::npos && (head = in.find("\r\n\r\n")) != std::string::npos) {
                const size_t at = in.find("Content-Length: ");
                if (at == std::string::npos || at > head)
                    return false;
                total = head + 4 + std::strtoull(in.c_str() + at + 16, nullptr, 10);
            }
        }
        if (in.size() >= total && total != std::string::npos) {
            answer = in.substr(head + 4, total - head - 4);
            return in.compare(0, 13, "HTTP/1.1 200 ") == 0;
        }
        closesocket(s.socket);
        s.socket = INVALID_SOCKET;
        if (!in.empty())
            return false;
    }
    return false;
}

double StepProbe::Step(int way) {
    if (!list_ || row_ + 1 >= static_cast<int>(rows_.size()))
        return -1;
    const double start = probe::Now();
    double lapStart = start;
    auto lap = [&](Part part) {
        const double now = probe::Now();
        parts_[part] = now - lapStart;
        lapStart = now;
    };
    // The next row current, the list scrolled by it.
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, row_, reinterpret_cast<LPARAM>(&state));
    ++row_;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list_, LVM_SETITEMSTATE, row_, reinterpret_cast<LPARAM>(&state));
    SendMessageW(list_, LVM_ENSUREVISIBLE, row_, FALSE);
    UpdateWindow(list_);
    lap(kSelect);

    Session fresh;
    Session* s = &fresh;
    if (way == kKeptSession) {
        if (!kept_)
            kept_ = new Session;
        s = kept_;
    } else if (way == kKeptSocket) {
        if (!keptSocket_)
            keptSocket_ = new Session;
        s = keptSocket_;
    }
    s->keepAlive = way != kFreshConnections;
    auto request = [&](const wchar_t* verb, const std::wstring& path, const std::string& body,
                       std::string& answer) {
        return way == kKeptSocket ? SocketRequest(*s, verb, path, body, answer)
                                  : Request(*s, verb, path, body, answer);
    };
    const std::wstring& id = rows_[row_][2];
    std::string description, page, png;
    if (!request(L"GET", L"/FontDesc/" + id, std::string(), description))
        return -1;
    lap(kDescription);
    if (!request(L"POST", L"/", PreviewForm(id), page))
        return -1;
    // The picture is the image whose address names a preview.
    size_t src = page.find("src=\"");
    size_t end = std::string::npos;
    for (; src != std::string::npos; src = page.find("src=\"", src + 5)) {
        end = page.find('"', src + 5);
        if (end != std::string::npos &&
            page.substr(src + 5, end - src - 5).find("/preview/") != std::string::npos)
            break;
    }
    if (src == std::string::npos)
        return -1;
    const std::string url = page.substr(src + 5, end - src - 5);
    const size_t path = url.find('/', url.find("//") + 2);
    if (path == std::string::npos)
        return -1;
    lap(kPost);
    if (!request(L"GET", std::wstring(url.begin() + path, url.end()), std::string(), png))
        return -1;
    lap(kFetch);
    if (!ShowPicture(picture_, png))
        return -1;
    lap(kShow);
    const double took = probe::Now() - start;
    ProbePump();
    return took;
}

}  // namespace bench
