// The small runtime under the window decoration: GDI+ start-up, the GUID of the time frame
// dimension, the "CometLoadDialog" window class, images loaded from byte buffers, and owning
// wrappers around GDI+ fonts, font families, string formats and memory streams.
//
// GDI+ is used through its flat interface (Gdiplus::DllExports::Gdip*). Everything here runs
// on the window thread unless a function says otherwise.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <gdiplus.h>

#include <cstddef>
#include <cstdint>
#include <utility>

#include "core/owner.h"
#include "core/types.h"

using GpImage = Gdiplus::GpImage;
using GpBitmap = Gdiplus::GpBitmap;
using GpGraphics = Gdiplus::GpGraphics;
using GpFont = Gdiplus::GpFont;
using GpFontFamily = Gdiplus::GpFontFamily;
using GpStringFormat = Gdiplus::GpStringFormat;
using GpStatus = Gdiplus::GpStatus;

// Owners of GDI+ objects (core/owner.h): each kind with the flat interface's function that
// deletes or disposes of it.
template <typename Object, auto Delete>
struct GpObjectTraits {
    using Handle = Object*;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle object) { return Delete(object) == Gdiplus::Ok; }
};
using GpBitmapOwner = Owner<GpObjectTraits<GpBitmap, Gdiplus::DllExports::GdipDisposeImage>>;
using GpGraphicsOwner = Owner<GpObjectTraits<GpGraphics, Gdiplus::DllExports::GdipDeleteGraphics>>;
using GpRegionOwner =
    Owner<GpObjectTraits<Gdiplus::GpRegion, Gdiplus::DllExports::GdipDeleteRegion>>;
using GpPenOwner = Owner<GpObjectTraits<Gdiplus::GpPen, Gdiplus::DllExports::GdipDeletePen>>;

// Window class of the loading dialog. The program registers it but creates no window of it.
inline constexpr wchar_t kCometLoadDialogClass[] = L"CometLoadDialog";

// The once-per-process set-up: starts GDI+ (a token of its own, never shut down), converts the
// GUID of the GDI+ time frame dimension and registers the "CometLoadDialog" class. Failures
// leave the corresponding value empty; later calls then simply fail.
void InitDecorationRuntime();

// Starts GDI+ unless this function already did (its own token, kept apart from the one of
// InitDecorationRuntime). A failed start leaves the token 0 and the next call tries again.
// Returns whether GDI+ is running for this token.
bool StartGdiPlus();

// The GDI+ time frame dimension {6AEDBD6D-3FB5-418A-83A6-7F45229DC872}; null before
// InitDecorationRuntime and after ReleaseDecorationRuntime, or when the conversion failed.
const GUID* FrameDimensionTimeGuid();

// Frees what InitDecorationRuntime keeps (the GUID buffer). Part of the exit routine.
void ReleaseDecorationRuntime();

// Window procedure of "CometLoadDialog". Window properties it reads:
//   "Comet_Thread"  worker thread (terminated and closed on WM_DESTROY)
//   "Comet_Image"   GDI+ image (disposed on WM_DESTROY)
//   "Comet_Stream"  global memory behind that image (freed on WM_DESTROY)
//   "CometHitMove"  1: a left-button press anywhere in the window drags it
LRESULT CALLBACK CometLoadDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A GDI+ image decoded from the bytes of an image file (PNG, JPEG, GIF, BMP ...), with frame 0
// of the time dimension selected; null when the bytes are not an image or GDI+ is not running.
// The image reads from a private copy of the bytes held in a memory stream; release it with
// DisposeImage so that the stream goes with it.
GpImage* LoadImageFromBytes(const std::uint8_t* data, std::size_t size);
GpImage* LoadImageFromBytes(const Bytes& bytes);

// Disposes an image and, when LoadImageFromBytes made it, the memory stream behind it.
// Null does nothing. Safe from any thread.
void DisposeImage(GpImage* image);

// Number of images made by LoadImageFromBytes and not yet disposed (a leak check).
std::size_t LiveStreamImageCount();

// The UTF-16 form of a GBK text (code page 936, whatever the system's code page), up to its
// first zero byte, with the terminating zero unit: an empty text gives two zero bytes.
Bytes AnsiToWide(const Text& text);

// Global memory with a COM stream on it. Move-only; both go with their owner.
class MemoryStream {
  public:
    MemoryStream() = default;
    MemoryStream(MemoryStream&& other) noexcept
        : ownMemory_(std::move(other.ownMemory_)),
          stream_(std::move(other.stream_)),
          memory_(std::exchange(other.memory_, nullptr)) {}
    MemoryStream& operator=(MemoryStream&& other) noexcept {
        if (this != &other) {
            Release();
            ownMemory_ = std::move(other.ownMemory_);
            stream_ = std::move(other.stream_);
            memory_ = std::exchange(other.memory_, nullptr);
        }
        return *this;
    }

    void Release();
    // copy set: fixed global memory holding a copy of the bytes and a stream that leaves the
    // memory to this object. copy unset: a movable block owned by its stream, which the bytes
    // are written into. Either way the stream is positioned at its start. Returns success.
    bool Create(const std::uint8_t* data, std::size_t size, bool copy = true);
    bool Create(const Bytes& bytes, bool copy = true);
    IStream* GetStream() const { return stream_.Get(); }
    std::size_t GetSize() const;
    Bytes GetBytes() const;

  private:
    struct GlobalMemoryTraits {
        using Handle = HGLOBAL;
        static Handle Invalid() { return nullptr; }
        static bool Close(Handle memory) { return GlobalFree(memory) == nullptr; }
    };
    struct StreamTraits {
        using Handle = IStream*;
        static Handle Invalid() { return nullptr; }
        static bool Close(Handle stream) { return stream->Release(), true; }
    };
    // The block when this object owns it (copy set); the stream is let go of first.
    Owner<GlobalMemoryTraits> ownMemory_;
    Owner<StreamTraits> stream_;
    HGLOBAL memory_ = nullptr;  // the block, whoever owns it
};

// A GDI+ font family. Move-only; the family is deleted with its owner.
class GdiFontFamily {
  public:
    void Release() { handle_.Reset(); }
    // The installed family of that face name (GBK text or UTF-16).
    GpStatus CreateFromName(const Text& faceName);
    GpStatus CreateFromName(const wchar_t* faceName);
    GpFontFamily* GetHandle() const { return handle_.Get(); }
    // Takes ownership; the previous family is released first.
    void SetHandle(GpFontFamily* handle);

  private:
    Owner<GpObjectTraits<GpFontFamily, Gdiplus::DllExports::GdipDeleteFontFamily>> handle_;
};

// A GDI+ font. Move-only; the font is deleted with its owner.
class GdiFont {
  public:
    void Release() { handle_.Reset(); }
    GpStatus CreateFromFamilyName(const Text& faceName,
                                  float size,
                                  int style = Gdiplus::FontStyleRegular,
                                  Gdiplus::Unit unit = Gdiplus::UnitPixel);
    GpStatus CreateFromDc(HDC dc);
    // The window's own font (WM_GETFONT); nothing happens when it has none.
    void CreateFromWindow(HWND window);
    // Face, pixel height and style bits of a GDI font: bold only for weights 600 and 700,
    // italic, underline and strike-out from their flags. Null does nothing.
    void CreateFromHfont(HFONT font);
    GpFont* GetHandle() const { return handle_.Get(); }
    // Takes ownership; the previous font is released first.
    void SetHandle(GpFont* handle);
    int GetStyle() const;
    float GetSize() const;
    Gdiplus::Unit GetUnit() const;
    float GetHeight(GpGraphics* graphics) const;

  private:
    Owner<GpObjectTraits<GpFont, Gdiplus::DllExports::GdipDeleteFont>> handle_;
};

// A GDI+ string format. Move-only; the format is deleted with its owner.
class GdiStringFormat {
  public:
    void Release() { handle_.Reset(); }
    GpStatus Create(int formatFlags = 0, LANGID language = LANG_NEUTRAL);
    GpStatus SetAlignment(Gdiplus::StringAlignment alignment);
    GpStatus SetLineAlignment(Gdiplus::StringAlignment alignment);
    GpStatus SetAlignments(Gdiplus::StringAlignment horizontal, Gdiplus::StringAlignment vertical);
    GpStringFormat* GetHandle() const { return handle_.Get(); }
    // Takes ownership; the previous format is released first.
    void SetHandle(GpStringFormat* handle);

  private:
    Owner<GpObjectTraits<GpStringFormat, Gdiplus::DllExports::GdipDeleteStringFormat>> handle_;
};
