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
#include "tests/support/window_test_support.h"
#include "ui/layout.h"
#include "ui/threads.h"

namespace uitest {

// Pumping and capturing through the framework's own pump (dialog keys included).
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 3000) {
    return testsupport::PumpUntil(done, ms, [] { ui::PumpMessages(); });
}

inline void PumpFor(DWORD ms) {
    testsupport::PumpFor(ms, [] { ui::PumpMessages(); });
}

using testsupport::Capture;

// The pixels of a window's client area as the screen shows them, rows top down.
inline Capture CaptureClient(HWND window) {
    return testsupport::CaptureClient(window, [] { ui::PumpMessages(); });
}

// A window of the tests' own: fixed single border with system menu, white, a taskbar button,
// not centred, its caption following the activation as usual.
constexpr ui::WindowLayout PlainLayout(const char* title,
                                       int left,
                                       int top,
                                       int width,
                                       int height,
                                       std::span<const ui::ControlLayout> controls = {}) {
    return {
        .title = title,
        .left = left,
        .top = top,
        .width = width,
        .height = height,
        .centred = false,
        .border = ui::WindowBorder::FixedSingle,
        .backColour = ui::Rgb(0xFFFFFF),
        .systemMenu = true,
        .minimiseBox = false,
        .escCloses = false,
        .taskbarButton = true,
        .topMost = false,
        .captionAlwaysActive = false,
        .dragByClientArea = false,
        .className = nullptr,
        .isMainWindow = false,
        .controls = controls,
    };
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
