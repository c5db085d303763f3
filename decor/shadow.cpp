#include "decor/shadow.h"

#include <objidl.h>

#include <gdiplus.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "decor/gdiplus_runtime.h"
#include "ui/handles.h"

namespace gp = Gdiplus::DllExports;

namespace {

HANDLE AsHandle(std::uintptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

std::uintptr_t FromHandle(HANDLE handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

int ShadowSizeOf(HWND shadow) {
    return static_cast<int>(FromHandle(GetPropW(shadow, kShadowSizeProperty)));
}

Colour ShadowColourOf(HWND shadow) {
    return static_cast<Colour>(FromHandle(GetPropW(shadow, kShadowColourProperty)));
}

HWND CreateShadowWindow(HWND owner) {
    // Shown (without activation) by UpdateWindowShadow once the owner is visible: a popup
    // created visible would take the activation and the keyboard from its owner.
    for (const wchar_t* windowClass : {L"SysShadow", L"Static"}) {
        HWND shadow =
            CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT, windowClass, L"", WS_POPUP, 0, 0, 0,
                            0, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (shadow)
            return shadow;
    }
    return nullptr;
}

// The owners' previous procedures as their "Comet.WndShadow.Proc" properties hold them, for
// ShadowOwnerProc, which runs for every message an owner gets: under Wine each property read is
// a round trip to the server. The property stays what the program and its callers see; this
// copy is only ever filled from it and dropped whenever it changes.
std::mutex ownerProcsLock;
std::vector<std::pair<HWND, WNDPROC>> ownerProcs;

void ForgetOwnerProc(HWND owner) {
    std::lock_guard<std::mutex> lock(ownerProcsLock);
    for (auto it = ownerProcs.begin(); it != ownerProcs.end(); ++it) {
        if (it->first == owner) {
            ownerProcs.erase(it);
            return;
        }
    }
}

WNDPROC OwnerProc(HWND owner) {
    {
        std::lock_guard<std::mutex> lock(ownerProcsLock);
        for (const auto& [window, proc] : ownerProcs) {
            if (window == owner)
                return proc;
        }
    }
    const auto proc = reinterpret_cast<WNDPROC>(GetPropW(owner, kShadowProcProperty));
    if (proc) {
        std::lock_guard<std::mutex> lock(ownerProcsLock);
        ownerProcs.emplace_back(owner, proc);
    }
    return proc;
}

// What each shadow window shows now: the owner rectangle, colour and ring size it was last
// drawn for. One showing of the owner sends WM_SHOWWINDOW, WM_MOVE and WM_SIZE, all with the
// same rectangle, and each drawing costs a GDI+ rendering of the whole bitmap and its transfer
// to the window system (some 10-25 ms together under Wine): a message that changes none of
// these finds the shadow already right. Any hiding forgets it.
struct DrawnShadow {
    HWND shadow;
    RECT owner;
    Colour colour;
    int size;
};
std::mutex drawnLock;
std::vector<DrawnShadow> drawn;

bool AlreadyDrawn(const DrawnShadow& now) {
    std::lock_guard<std::mutex> lock(drawnLock);
    for (const DrawnShadow& d : drawn) {
        if (d.shadow == now.shadow)
            return EqualRect(&d.owner, &now.owner) && d.colour == now.colour && d.size == now.size;
    }
    return false;
}

void NoteDrawn(const DrawnShadow& now) {
    std::lock_guard<std::mutex> lock(drawnLock);
    for (DrawnShadow& d : drawn) {
        if (d.shadow == now.shadow) {
            d = now;
            return;
        }
    }
    drawn.push_back(now);
}

void ForgetDrawn(HWND shadow) {
    std::lock_guard<std::mutex> lock(drawnLock);
    for (auto it = drawn.begin(); it != drawn.end(); ++it) {
        if (it->shadow == shadow) {
            drawn.erase(it);
            return;
        }
    }
}

}  // namespace

HWND ShadowWindowOf(HWND owner) {
    HWND shadow = static_cast<HWND>(GetPropW(owner, kShadowProperty));
    return shadow && IsWindow(shadow) ? shadow : nullptr;
}

int ShadowRingAlpha(int size, int ring) {
    if (size < 1 || ring < 1 || ring > size)
        return 0;
    const int step = (size < 9 ? 100 : 150) / size;
    return step * ring;
}

std::vector<std::uint32_t> PaintShadowPixels(int width, int height, Colour colour, int size) {
    std::vector<std::uint32_t> pixels;
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        return pixels;
    pixels.assign(static_cast<std::size_t>(width) * height, 0);

    GpBitmap* madeBitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppPARGB,
                                      reinterpret_cast<BYTE*>(pixels.data()),
                                      &madeBitmap) != Gdiplus::Ok) {
        pixels.clear();
        return pixels;
    }
    const GpBitmapOwner bitmap(madeBitmap);
    {
        GpGraphics* madeGraphics = nullptr;
        if (gp::GdipGetImageGraphicsContext(bitmap.Get(), &madeGraphics) != Gdiplus::Ok) {
            pixels.clear();
            return pixels;
        }
        const GpGraphicsOwner graphics(madeGraphics);
        // The owner lies in the middle: exclude it by XOR against the unlimited clip, so only
        // the border rings can be painted and the middle stays fully transparent.
        Gdiplus::GpRegion* madeRegion = nullptr;
        const Gdiplus::GpRect inner(size, size, width - 2 * size, height - 2 * size);
        if (inner.Width > 0 && inner.Height > 0 &&
            gp::GdipCreateRegionRectI(&inner, &madeRegion) == Gdiplus::Ok) {
            const GpRegionOwner middle(madeRegion);
            gp::GdipSetClipRegion(graphics.Get(), middle.Get(), Gdiplus::CombineModeXor);
        }
        gp::GdipSetSmoothingMode(graphics.Get(), Gdiplus::SmoothingModeAntiAlias);
        for (int ring = 1; ring <= size; ++ring) {
            const int w = width - 2 * ring + 1;
            const int h = height - 2 * ring + 1;
            if (w < 1 || h < 1)
                break;
            Gdiplus::GpPen* madePen = nullptr;
            const auto argb =
                static_cast<Gdiplus::ARGB>(ColourToArgb(colour, ShadowRingAlpha(size, ring)));
            if (gp::GdipCreatePen1(argb, 1.0f, Gdiplus::UnitPixel, &madePen) != Gdiplus::Ok)
                continue;
            const GpPenOwner pen(madePen);
            gp::GdipDrawRectangleI(graphics.Get(), pen.Get(), ring - 1, ring - 1, w, h);
        }
        gp::GdipResetClip(graphics.Get());
    }
    // Read back through the bitmap: GDI+ may keep its own copy of a caller's buffer.
    Gdiplus::BitmapData data = {};
    const Gdiplus::GpRect all(0, 0, width, height);
    if (gp::GdipBitmapLockBits(bitmap.Get(), &all, Gdiplus::ImageLockModeRead,
                               PixelFormat32bppPARGB, &data) == Gdiplus::Ok) {
        std::vector<std::uint32_t> out(pixels.size());
        for (int y = 0; y < height; ++y) {
            std::memcpy(out.data() + static_cast<std::size_t>(y) * width,
                        static_cast<const std::uint8_t*>(data.Scan0) + y * data.Stride,
                        static_cast<std::size_t>(width) * 4);
        }
        gp::GdipBitmapUnlockBits(bitmap.Get(), &data);
        pixels.swap(out);
    }
    return pixels;
}

void DrawWindowShadow(HWND owner, int width, int height) {
    HWND shadow = ShadowWindowOf(owner);
    if (!shadow)
        return;
    if (width == 0 || height == 0) {
        RECT r;
        if (!GetWindowRect(shadow, &r))
            return;
        width = r.right - r.left;
        height = r.bottom - r.top;
        if (width == 0 || height == 0)
            return;
    }
    const std::vector<std::uint32_t> pixels =
        PaintShadowPixels(width, height, ShadowColourOf(shadow), ShadowSizeOf(shadow));
    if (pixels.empty())
        return;

    ui::ScopedGetDc screen(nullptr);
    if (!screen)
        return;
    ui::OwnedMemoryDc memory(CreateCompatibleDC(screen.Get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(width) * height * 4;
    void* bits = nullptr;
    ui::OwnedBitmap bitmap(
        memory ? CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0)
               : nullptr);
    if (bitmap && bits) {
        auto* rows = static_cast<std::uint32_t*>(bits);
        for (int y = 0; y < height; ++y) {
            std::memcpy(rows + static_cast<std::size_t>(height - 1 - y) * width,
                        pixels.data() + static_cast<std::size_t>(y) * width,
                        static_cast<std::size_t>(width) * 4);
        }
        ui::ScopedSelect selected(memory.Get(), bitmap.Get());
        SIZE size = {width, height};
        POINT source = {0, 0};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(shadow, screen.Get(), nullptr, &size, memory.Get(), &source, 0, &blend,
                            ULW_ALPHA);
    }
}

void UpdateWindowShadow(HWND owner, std::optional<bool> visible) {
    HWND shadow = ShadowWindowOf(owner);
    if (!shadow)
        return;
    const bool show = visible.has_value() ? *visible : IsWindowVisible(owner) != FALSE;
    if (!show || IsZoomed(owner) || IsIconic(owner)) {
        ForgetDrawn(shadow);
        ShowWindow(shadow, SW_HIDE);
        return;
    }
    const bool wasVisible = IsWindowVisible(shadow) != FALSE;
    if (!wasVisible)
        ShowWindow(shadow, SW_SHOWNA);
    RECT r;
    if (!GetWindowRect(owner, &r))
        return;
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width == 0 || height == 0)
        return;
    const int s = ShadowSizeOf(shadow);
    const DrawnShadow now = {shadow, r, ShadowColourOf(shadow), s};
    if (wasVisible && AlreadyDrawn(now))
        return;
    MoveWindow(shadow, r.left - s, r.top - s, width + 2 * s, height + 2 * s, TRUE);
    DrawWindowShadow(owner, width + 2 * s, height + 2 * s);
    NoteDrawn(now);
}

void RemoveWindowShadow(HWND owner) {
    if (HWND shadow = ShadowWindowOf(owner)) {
        RemovePropW(shadow, kShadowColourProperty);
        RemovePropW(shadow, kShadowSizeProperty);
        ForgetDrawn(shadow);
        DestroyWindow(shadow);
    }
    RemovePropW(owner, kShadowProperty);
    ForgetOwnerProc(owner);
    HANDLE previous = GetPropW(owner, kShadowProcProperty);
    if (!previous)
        return;
    // Only unhook when nothing subclassed the owner after us; otherwise our procedure stays in
    // the chain (passing messages on, with no shadow to update) so the later one keeps working.
    if (GetWindowLongPtrW(owner, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(ShadowOwnerProc)) {
        SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(owner, kShadowProcProperty);
    }
}

bool CreateWindowShadow(HWND owner, Colour colour, std::optional<int> size) {
    if (!IsWindow(owner))
        return false;
    if (size.has_value() && *size < 1) {
        RemoveWindowShadow(owner);
        return false;
    }
    HWND shadow = ShadowWindowOf(owner);
    if (!shadow) {
        shadow = CreateShadowWindow(owner);
        if (!shadow)
            return false;
        SetPropW(owner, kShadowProperty, shadow);
    }
    SetPropW(shadow, kShadowColourProperty, AsHandle(colour));
    SetPropW(shadow, kShadowSizeProperty, AsHandle(size.value_or(kDefaultShadowSize)));
    UpdateWindowShadow(owner);
    if (!GetPropW(owner, kShadowProcProperty)) {
        const LONG_PTR previous =
            SetWindowLongPtrW(owner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ShadowOwnerProc));
        ForgetOwnerProc(owner);
        if (previous)
            SetPropW(owner, kShadowProcProperty, reinterpret_cast<HANDLE>(previous));
    }
    return true;
}

LRESULT CALLBACK ShadowOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC previous = OwnerProc(window);
    const LRESULT result = previous ? CallWindowProcW(previous, window, message, wParam, lParam)
                                    : DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_MOVE:
        case WM_SIZE:
            UpdateWindowShadow(window);
            break;
        case WM_SHOWWINDOW:
            UpdateWindowShadow(window, wParam != 0);
            break;
        case WM_NCDESTROY:
            // The shadow went with its owner; drop the properties that named it.
            ForgetDrawn(static_cast<HWND>(GetPropW(window, kShadowProperty)));
            RemovePropW(window, kShadowProperty);
            RemovePropW(window, kShadowProcProperty);
            ForgetOwnerProc(window);
            break;
        default:
            break;
    }
    return result;
}
