// Owners of the system's handles on the window side of the program, built on core/owner.h:
// kernel objects (threads, events) and files, GDI objects and memory DCs, and two scoped
// helpers, a window's DC for a while and an object selected into a DC for a while. Header-only
// and free of any runtime, so the skin library (which has none) uses them in its functions;
// a global owner there would need a runtime to be destroyed, so it keeps its font itself.
#pragma once

#include <windows.h>

#include "core/owner.h"

namespace ui {

// Threads, events and the other kernel objects whose "none" is null.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return CloseHandle(handle) != 0; }
};
using OwnedHandle = Owner<KernelHandleTraits>;

// Files, whose "none" is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) { return CloseHandle(handle) != 0; }
};
using OwnedFile = Owner<FileHandleTraits>;

template <typename GdiHandle>
struct GdiObjectTraits {
    using Handle = GdiHandle;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return DeleteObject(handle) != 0; }
};
using OwnedBrush = Owner<GdiObjectTraits<HBRUSH>>;
using OwnedPen = Owner<GdiObjectTraits<HPEN>>;
using OwnedFont = Owner<GdiObjectTraits<HFONT>>;
using OwnedBitmap = Owner<GdiObjectTraits<HBITMAP>>;

// A DC made with CreateCompatibleDC.
struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return DeleteDC(handle) != 0; }
};
using OwnedMemoryDc = Owner<MemoryDcTraits>;

// The DC of a window's client area (GetDC; the screen's for nullptr) or of the whole window
// with its frame (GetWindowDC) until the end of the scope.
enum class DcArea { Client, WholeWindow };
class ScopedGetDc {
  public:
    explicit ScopedGetDc(HWND window, DcArea area = DcArea::Client)
        : window_(window), dc_(area == DcArea::Client ? GetDC(window) : GetWindowDC(window)) {}
    ~ScopedGetDc() {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    ScopedGetDc(const ScopedGetDc&) = delete;
    ScopedGetDc& operator=(const ScopedGetDc&) = delete;

    HDC Get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    HWND window_;
    HDC dc_;
};

// `object` selected into `dc` until the end of the scope, when the object it replaced is
// selected again.
class ScopedSelect {
  public:
    ScopedSelect(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~ScopedSelect() {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    ScopedSelect(const ScopedSelect&) = delete;
    ScopedSelect& operator=(const ScopedSelect&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace ui
