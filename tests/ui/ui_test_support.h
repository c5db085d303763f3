// Helpers for tests that drive live windows: pumping with a bound, reading the pixels a window
// shows, making PNG bytes.
#pragma once

#include <windows.h>

#include <png.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/types.h"
#include "ui/threads.h"

namespace uitest {

// Processes messages until `done` holds or `ms` milliseconds have passed. Returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 3000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        ui::PumpMessages();
    }
    return true;
}

inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

// The pixels of a window's client area as the screen shows them, 0x00RRGGBB, rows top down.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return 0xFF000000u;
        return pixels[static_cast<std::size_t>(y) * width + x] & 0xFFFFFF;
    }
};

inline Capture CaptureClient(HWND window) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ui::PumpMessages();
    RECT r;
    GetClientRect(window, &r);
    Capture capture;
    capture.width = r.right;
    capture.height = r.bottom;
    capture.pixels.assign(static_cast<std::size_t>(r.right) * r.bottom, 0);
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = r.right;
    info.bmiHeader.biHeight = -r.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, r.right, r.bottom, source, 0, 0, SRCCOPY);
    GdiFlush();
    std::memcpy(capture.pixels.data(), bits, capture.pixels.size() * 4);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return capture;
}

// The rectangle of `control` in the client coordinates of `window`.
inline RECT RectIn(HWND window, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// #RRGGBB as captured pixels hold it.
constexpr std::uint32_t Px(std::uint32_t rrggbb) {
    return rrggbb;
}

// Encodes 0xAARRGGBB pixels as a PNG file.
inline Bytes EncodePng(int width, int height, const std::vector<std::uint32_t>& argb) {
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, argb.data(), 0, nullptr))
        return {};
    Bytes bytes(size);
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, argb.data(), 0, nullptr))
        return {};
    bytes.resize(size);
    return bytes;
}

inline std::u16string WindowText(HWND hwnd) {
    wchar_t buffer[1024] = {};
    int n = GetWindowTextW(hwnd, buffer, 1024);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer), n);
}

}  // namespace uitest
