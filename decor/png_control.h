// Layered windows composed from PNG pictures. PngControl turns a top-level window into a
// per-pixel-alpha layered window: a background image stretched over the window, and on top
// the window's children, each drawn from images and colours attached to it as window
// properties. The program draws the edit-box caret itself and repaints the whole picture
// whenever a child's state changes.
//
// Properties of the attached window:
//   "PngControl_BackImage"  GDI+ image stretched over the window (owned by the window: it is
//                           disposed when replaced through SetBackImage and when the window goes)
//   "PngControl_Time"       64, the caret-blink timer id, once that timer runs
// Properties of a child (set by the application; a missing one reads as 0):
//   "PngControl_Type"       2 picture, 3 button, 4 edit box; anything else is not drawn
//   "PngControl_BackType"   1 stretch, 2 fit and centre, anything else natural size
//   "PngControl_BackImage", "PngControl_NormalImage", "PngControl_OverlImage",
//   "PngControl_DownImage", "PngControl_DisableImage"   GDI+ images
//   "PngControl_BackColor", "PngControl_OrderColor"     0x00BBGGRR, -1 for none
//   "PngControl_BackAlpha", "PngControl_OrderAlpha"     0..255
//   "PngControl_TextColor"  edit box text colour
//   "Comet_DrawState"       button state 0 normal, 1 over, 2 pressed, 3 disabled
//   "PngControl_ChildWndProc"  previous window procedure of a subclassed child
//   "PngControl_WndProc"    a window procedure to put back on the child
// Colours convert with ColourToArgb (decor/shadow.h). Window thread only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/types.h"
#include "decor/gdiplus_runtime.h"

inline constexpr UINT_PTR kCaretBlinkTimerId = 64;

struct FitResult {
    int width;
    int height;
};

// Shrinks (never enlarges) an image size to fit maxWidth x maxHeight, keeping its aspect;
// quotients are truncated toward zero.
FitResult FitSize(int imageWidth, int imageHeight, int maxWidth, int maxHeight);

class PngControl {
  public:
    PngControl() = default;
    // Destroying the object leaves the window as it is.
    ~PngControl() = default;
    PngControl(const PngControl&) = default;
    PngControl& operator=(const PngControl&) = default;

    // Makes the window layered (its extended style becomes exactly WS_EX_LAYERED), gives it a
    // 1 x 12 caret and, once per window, the caret-blink timer. False when it is not a window.
    bool Attach(HWND window);
    // The window takes the image (see above) and is recomposed and shown. False, and the image
    // stays the caller's, when no window is attached or the image is null.
    bool SetBackImage(GpImage* image);
    // Decodes the bytes of an image file and makes it the background. False when the bytes are
    // not an image or no window is attached.
    bool SetBackImageFromBytes(const std::uint8_t* data, std::size_t size);
    bool SetBackImageFromBytes(const Bytes& bytes);
    // Puts "PngControl_WndProc" back on children that carry it, subclasses buttons (type 3)
    // and edit boxes (type 4) once, then recomposes the window.
    void InstallChildProcedures();
    // Moves or sizes the window; an omitted value keeps the current one.
    void SetBounds(std::optional<int> x = {},
                   std::optional<int> y = {},
                   std::optional<int> width = {},
                   std::optional<int> height = {},
                   bool noRedraw = false);
    HWND GetWindowHandle() const { return window_; }
    bool IsWindowValid() const;
    LRESULT SendWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    HWND window_ = nullptr;
};

// Composes the window's picture: background, then the children that carry "PngControl_Type"
// in z-order. With returnOnly the bitmap goes to *result (the caller owns it) instead of the
// screen.
void RedrawPngWindow(HWND window, GpBitmap** result = nullptr, bool returnOnly = false);

// Pushes a composed bitmap to the layered window, with the caret of the focused edit box when
// withCaret is set. Nothing happens for an invalid window or a null bitmap.
void PresentBitmap(HWND window, GpBitmap* bitmap, bool withCaret);

// Draws one child of the window into the graphics (coordinates of the window's client area).
void DrawPngChild(HWND parent, HWND child, GpGraphics* graphics);

LRESULT CALLBACK PngButtonProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PngEditProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam);
VOID CALLBACK CaretBlinkTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

// Observation point: called with the window at the start of every RedrawPngWindow (tests and
// the start-up timing log use it). Null removes it.
using PngRedrawObserver = void (*)(HWND window);
void SetPngRedrawObserver(PngRedrawObserver observer);
