// What tests that drive live windows share, whatever they test: pumping messages with a bound,
// reading back the pixels the screen or a window shows, and a loopback port nobody listens on.
// Header-only; plain Win32 and sockets, so that any test folder can use it.
#pragma once

#include <winsock2.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "ui/handles.h"

namespace testsupport {

// Processes every message queued for the calling thread.
inline void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Processes messages (through `pump`) until `done` holds or `ms` milliseconds have passed.
// Returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 3000, void (*pump)() = &Pump) {
    const DWORD start = GetTickCount();
    for (;;) {
        pump();
        if (done())
            return true;
        if (GetTickCount() - start > ms)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

inline void PumpFor(DWORD ms, void (*pump)() = &Pump) {
    PumpUntil([] { return false; }, ms, pump);
}

// Pixels read back from a DC, 0xAARRGGBB as the DC holds them, rows top down.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    // The colour 0x00RRGGBB at a point; 0xFF000000 outside.
    std::uint32_t At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0xFF000000u;
        return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
    }
};

// `width` x `height` pixels of `source` from (x, y).
inline Capture CaptureDc(HDC source, int x, int y, int width, int height) {
    Capture capture;
    if (width <= 0 || height <= 0)
        return capture;
    ui::OwnedMemoryDc memory(CreateCompatibleDC(source));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    ui::OwnedBitmap bitmap(
        CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return capture;
    {
        ui::ScopedSelect selected(memory.Get(), bitmap.Get());
        BitBlt(memory.Get(), 0, 0, width, height, source, x, y, SRCCOPY);
        GdiFlush();
    }
    capture.width = width;
    capture.height = height;
    const auto* first = static_cast<const std::uint32_t*>(bits);
    capture.pixels.assign(first, first + static_cast<std::size_t>(width) * height);
    return capture;
}

// What the screen shows in `area` (screen coordinates).
inline Capture CaptureScreen(const RECT& area) {
    ui::ScopedGetDc screen(nullptr);
    return CaptureDc(screen.Get(), area.left, area.top, area.right - area.left,
                     area.bottom - area.top);
}

// The client area of a window as it draws it, after a full redraw.
inline Capture CaptureClient(HWND window, void (*pump)() = &Pump) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump();
    RECT r;
    GetClientRect(window, &r);
    ui::ScopedGetDc dc(window);
    return CaptureDc(dc.Get(), 0, 0, r.right, r.bottom);
}

// A port on 127.0.0.1 that was free a moment ago: bound to an ephemeral port, then closed.
inline int UnusedLoopbackPort() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    const bool bound = probe != INVALID_SOCKET &&
                       bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                       getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (probe != INVALID_SOCKET)
        closesocket(probe);
    return bound ? ntohs(address.sin_port) : 0;
}

}  // namespace testsupport
