#include "decor/png_control.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "decor/shadow.h"
#include "ui/handles.h"

namespace gp = Gdiplus::DllExports;

namespace {

constexpr wchar_t kBackImage[] = L"PngControl_BackImage";
constexpr wchar_t kTime[] = L"PngControl_Time";
constexpr wchar_t kType[] = L"PngControl_Type";
constexpr wchar_t kBackType[] = L"PngControl_BackType";
constexpr wchar_t kNormalImage[] = L"PngControl_NormalImage";
constexpr wchar_t kOverImage[] = L"PngControl_OverlImage";
constexpr wchar_t kDownImage[] = L"PngControl_DownImage";
constexpr wchar_t kDisableImage[] = L"PngControl_DisableImage";
constexpr wchar_t kBackColor[] = L"PngControl_BackColor";
constexpr wchar_t kBackAlpha[] = L"PngControl_BackAlpha";
constexpr wchar_t kOrderColor[] = L"PngControl_OrderColor";
constexpr wchar_t kOrderAlpha[] = L"PngControl_OrderAlpha";
constexpr wchar_t kTextColor[] = L"PngControl_TextColor";
constexpr wchar_t kDrawState[] = L"Comet_DrawState";
constexpr wchar_t kChildWndProc[] = L"PngControl_ChildWndProc";
constexpr wchar_t kWndProc[] = L"PngControl_WndProc";

constexpr int kTypePicture = 2;
constexpr int kTypeButton = 3;
constexpr int kTypeEdit = 4;
constexpr int kCaretHeight = 12;
constexpr UINT_PTR kCleanupSubclassId = 0x504E47;  // one per attached window

// The caret bookkeeping is one set for the whole process: keyboard focus is too.
HWND focusParent = nullptr;
HWND focusEdit = nullptr;
GpBitmap* lastFrame = nullptr;  // last composed picture of focusParent, owned here
bool caretVisible = false;

PngRedrawObserver redrawObserver = nullptr;

INT_PTR PropValue(HWND window, const wchar_t* name) {
    return reinterpret_cast<INT_PTR>(GetPropW(window, name));
}

int PropInt(HWND window, const wchar_t* name) {
    return static_cast<int>(PropValue(window, name));
}

GpImage* PropImage(HWND window, const wchar_t* name) {
    return static_cast<GpImage*>(GetPropW(window, name));
}

void SetPropValue(HWND window, const wchar_t* name, INT_PTR value) {
    SetPropW(window, name, reinterpret_cast<HANDLE>(value));
}

void ReplaceLastFrame(GpBitmap* frame) {
    if (lastFrame && lastFrame != frame)
        DisposeImage(lastFrame);
    lastFrame = frame;
}

void ClearFocus() {
    focusParent = nullptr;
    focusEdit = nullptr;
    ReplaceLastFrame(nullptr);
}

SIZE WindowSize(HWND window) {
    RECT rc = {};
    GetWindowRect(window, &rc);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

struct ImageSize {
    int width = 0;
    int height = 0;
};

ImageSize SizeOf(GpImage* image) {
    UINT w = 0, h = 0;
    gp::GdipGetImageWidth(image, &w);
    gp::GdipGetImageHeight(image, &h);
    return {static_cast<int>(w), static_cast<int>(h)};
}

// Stretches the image over the rectangle. Edge pixels repeat outward, so the borders of a
// scaled picture do not fade into transparency.
void DrawStretched(GpGraphics* graphics, GpImage* image, int x, int y, int w, int h) {
    static Gdiplus::GpImageAttributes* clamp = [] {
        Gdiplus::GpImageAttributes* attributes = nullptr;
        if (gp::GdipCreateImageAttributes(&attributes) == Gdiplus::Ok)
            gp::GdipSetImageAttributesWrapMode(attributes, Gdiplus::WrapModeTileFlipXY, 0, FALSE);
        return attributes;
    }();
    ImageSize picture = SizeOf(image);
    gp::GdipDrawImageRectRectI(graphics, image, x, y, w, h, 0, 0, picture.width, picture.height,
                               Gdiplus::UnitPixel, clamp, nullptr, nullptr);
}

void FillRect(GpGraphics* graphics, std::uint32_t argb, int x, int y, int w, int h) {
    Gdiplus::GpSolidFill* brush = nullptr;
    if (gp::GdipCreateSolidFill(argb, &brush) != Gdiplus::Ok)
        return;
    gp::GdipFillRectangleI(graphics, brush, x, y, w, h);
    gp::GdipDeleteBrush(brush);
}

void DrawRectOutline(GpGraphics* graphics, std::uint32_t argb, int x, int y, int w, int h) {
    Gdiplus::GpPen* pen = nullptr;
    if (gp::GdipCreatePen1(argb, 1.0f, Gdiplus::UnitWorld, &pen) != Gdiplus::Ok)
        return;
    gp::GdipDrawRectangleI(graphics, pen, x, y, w, h);
    gp::GdipDeletePen(pen);
}

void DrawChildText(HWND child, GpGraphics* graphics, int x, int y, int w, int h) {
    int length = GetWindowTextLengthW(child);
    if (length <= 0)
        return;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    length = GetWindowTextW(child, text.data(), length + 1);
    if (length <= 0)
        return;
    GdiFont font;
    font.CreateFromWindow(child);
    if (!font.GetHandle())
        return;
    GdiStringFormat format;
    if (format.Create(0x1004, LANG_NEUTRAL) != Gdiplus::Ok)
        return;
    format.SetAlignments(Gdiplus::StringAlignmentNear, Gdiplus::StringAlignmentCenter);
    Gdiplus::GpSolidFill* brush = nullptr;
    if (gp::GdipCreateSolidFill(
            ColourToArgb(static_cast<Colour>(PropValue(child, kTextColor)), 255), &brush) !=
        Gdiplus::Ok)
        return;
    Gdiplus::RectF layout(static_cast<float>(x + 2), static_cast<float>(y + 2),
                          static_cast<float>(w - 4), static_cast<float>(h - 4));
    gp::GdipDrawString(graphics, text.c_str(), length, font.GetHandle(), &layout,
                       format.GetHandle(), brush);
    gp::GdipDeleteBrush(brush);
}

// Draws the text caret of the focused edit box into a top-down premultiplied 32-bit picture
// of the parent: a 1-pixel opaque black line, 12 pixels high, centred in the box.
void DrawCaret(HWND parent, std::uint32_t* pixels, int width, int height) {
    if (!focusEdit || !IsWindow(focusEdit) || GetParent(focusEdit) != parent)
        return;
    POINT caret = {};
    GetCaretPos(&caret);
    RECT edit = {};
    GetWindowRect(focusEdit, &edit);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&edit), 2);
    int x = edit.left + caret.x + 5;
    int y = edit.top + (edit.bottom - edit.top - kCaretHeight) / 2;
    if (x < 0 || x >= width)
        return;
    for (int row = std::max(y, 0); row <= y + kCaretHeight && row < height; ++row)
        pixels[static_cast<std::size_t>(row) * width + x] = 0xFF000000u;
}

bool HasDrawnChildren(HWND window) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetPropW(child, kType))
            return true;
    }
    return false;
}

bool IsBitmapOfSize(GpImage* image, SIZE size) {
    Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
    if (!image || gp::GdipGetImageType(image, &type) != Gdiplus::Ok ||
        type != Gdiplus::ImageTypeBitmap)
        return false;
    ImageSize picture = SizeOf(image);
    return picture.width == size.cx && picture.height == size.cy;
}

// Copies the bitmap's top-left part into a top-down 32-bit picture of width x height with
// premultiplied alpha, as a layered window wants it; the rest stays transparent.
void CopyPremultiplied(GpBitmap* bitmap, std::uint32_t* pixels, int width, int height) {
    ImageSize picture = SizeOf(bitmap);
    int w = std::min(picture.width, width);
    int h = std::min(picture.height, height);
    if (w <= 0 || h <= 0)
        return;
    Gdiplus::PixelFormat format = 0;
    gp::GdipGetImagePixelFormat(bitmap, &format);
    bool premultiplied = format == PixelFormat32bppPARGB;
    Gdiplus::Rect area(0, 0, w, h);
    Gdiplus::BitmapData data = {};
    if (gp::GdipBitmapLockBits(bitmap, &area, Gdiplus::ImageLockModeRead,
                               premultiplied ? PixelFormat32bppPARGB : PixelFormat32bppARGB,
                               &data) != Gdiplus::Ok)
        return;
    for (int row = 0; row < h; ++row) {
        const auto* from = reinterpret_cast<const std::uint32_t*>(
            static_cast<const std::uint8_t*>(data.Scan0) + row * data.Stride);
        std::uint32_t* to = pixels + static_cast<std::size_t>(row) * width;
        if (premultiplied) {
            std::memcpy(to, from, static_cast<std::size_t>(w) * 4);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            std::uint32_t p = from[x];
            std::uint32_t a = p >> 24;
            if (a == 255) {
                to[x] = p;
            } else if (a == 0) {
                to[x] = 0;
            } else {
                // Each channel times a / 255, rounded.
                auto scale = [a](std::uint32_t c) {
                    std::uint32_t t = c * a + 128;
                    return (t + (t >> 8)) >> 8;
                };
                to[x] = a << 24 | scale(p >> 16 & 0xFF) << 16 | scale(p >> 8 & 0xFF) << 8 |
                        scale(p & 0xFF);
            }
        }
    }
    gp::GdipBitmapUnlockBits(bitmap, &data);
}

LRESULT CALLBACK AttachedWindowSubclass(HWND window,
                                        UINT message,
                                        WPARAM wParam,
                                        LPARAM lParam,
                                        UINT_PTR id,
                                        DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        // The window owns its background picture; it goes with the window.
        DisposeImage(PropImage(window, kBackImage));
        RemovePropW(window, kBackImage);
        if (PropValue(window, kTime)) {
            KillTimer(window, kCaretBlinkTimerId);
            RemovePropW(window, kTime);
        }
        if (focusParent == window)
            ClearFocus();
        RemoveWindowSubclass(window, AttachedWindowSubclass, id);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

FitResult FitSize(int imageWidth, int imageHeight, int maxWidth, int maxHeight) {
    FitResult fit = {imageWidth, imageHeight};
    if (imageWidth > maxWidth) {
        fit.width = maxWidth;
        fit.height = static_cast<int>(static_cast<long long>(imageHeight) * maxWidth / imageWidth);
    }
    if (fit.height > maxHeight) {
        fit.width = static_cast<int>(static_cast<long long>(fit.width) * maxHeight / fit.height);
        fit.height = maxHeight;
    }
    return fit;
}

void SetPngRedrawObserver(PngRedrawObserver observer) {
    redrawObserver = observer;
}

// --- PngControl

bool PngControl::Attach(HWND window) {
    if (!IsWindow(window))
        return false;
    window_ = window;
    SetWindowLongPtrW(window, GWL_EXSTYLE, WS_EX_LAYERED);
    CreateCaret(window, nullptr, 1, kCaretHeight);
    if (!GetPropW(window, kTime)) {
        SetTimer(window, kCaretBlinkTimerId, 500, CaretBlinkTimerProc);
        SetPropValue(window, kTime, static_cast<INT_PTR>(kCaretBlinkTimerId));
    }
    SetWindowSubclass(window, AttachedWindowSubclass, kCleanupSubclassId, 0);
    return true;
}

bool PngControl::SetBackImage(GpImage* image) {
    if (!IsWindow(window_) || !image)
        return false;
    GpImage* previous = PropImage(window_, kBackImage);
    SetPropW(window_, kBackImage, image);
    RedrawPngWindow(window_);
    if (previous && previous != image)
        DisposeImage(previous);
    return true;
}

bool PngControl::SetBackImageFromBytes(const std::uint8_t* data, std::size_t size) {
    if (!IsWindow(window_))
        return false;
    GpImage* image = LoadImageFromBytes(data, size);
    if (!image)
        return false;
    if (!SetBackImage(image)) {
        DisposeImage(image);
        return false;
    }
    return true;
}

bool PngControl::SetBackImageFromBytes(const Bytes& bytes) {
    return SetBackImageFromBytes(bytes.data(), bytes.size());
}

void PngControl::InstallChildProcedures() {
    if (!IsWindow(window_))
        return;
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!GetPropW(child, kType))
            continue;
        if (INT_PTR proc = PropValue(child, kWndProc)) {
            SetWindowLongPtrW(child, GWLP_WNDPROC, proc);
            RemovePropW(child, kWndProc);
        }
        if (GetPropW(child, kChildWndProc))
            continue;
        int type = PropInt(child, kType);
        WNDPROC replacement = type == kTypeButton ? PngButtonProc
                              : type == kTypeEdit ? PngEditProc
                                                  : nullptr;
        if (!replacement)
            continue;
        LONG_PTR previous =
            SetWindowLongPtrW(child, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(replacement));
        SetPropValue(child, kChildWndProc, previous);
    }
    RedrawPngWindow(window_);
}

void PngControl::SetBounds(std::optional<int> x,
                           std::optional<int> y,
                           std::optional<int> width,
                           std::optional<int> height,
                           bool noRedraw) {
    RECT rc = {};
    GetWindowRect(window_, &rc);
    UINT flags = SWP_NOZORDER;
    if (noRedraw)
        flags |= SWP_NOREDRAW;
    if (!x && !y)
        flags |= SWP_NOMOVE;
    if (!width && !height)
        flags |= SWP_NOSIZE;
    SetWindowPos(window_, nullptr, x.value_or(rc.left), y.value_or(rc.top),
                 width.value_or(rc.right - rc.left), height.value_or(rc.bottom - rc.top), flags);
}

bool PngControl::IsWindowValid() const {
    return IsWindow(window_) != FALSE;
}

LRESULT PngControl::SendWindowMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(window_, message, wParam, lParam);
}

// --- composing and presenting

void RedrawPngWindow(HWND window, GpBitmap** result, bool returnOnly) {
    if (redrawObserver)
        redrawObserver(window);
    SIZE size = WindowSize(window);
    if (size.cx <= 0 || size.cy <= 0)
        return;
    GpImage* back = PropImage(window, kBackImage);
    if (!returnOnly && !HasDrawnChildren(window) && IsBitmapOfSize(back, size)) {
        // A background of the window's own size and nothing on it (the animation's frames):
        // the picture is the background itself, shown as it is.
        PresentBitmap(window, static_cast<GpBitmap*>(back), false);
        return;
    }
    GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(size.cx, size.cy, 0, PixelFormat32bppARGB, nullptr,
                                      &bitmap) != Gdiplus::Ok)
        return;
    GpGraphics* graphics = nullptr;
    if (gp::GdipGetImageGraphicsContext(bitmap, &graphics) != Gdiplus::Ok) {
        gp::GdipDisposeImage(bitmap);
        return;
    }
    if (back)
        DrawStretched(graphics, back, 0, 0, size.cx, size.cy);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetPropW(child, kType))
            DrawPngChild(window, child, graphics);
    }
    gp::GdipDeleteGraphics(graphics);

    if (returnOnly) {
        if (result)
            *result = bitmap;
        else
            gp::GdipDisposeImage(bitmap);
        return;
    }
    PresentBitmap(window, bitmap, false);
    if (window == focusParent)
        ReplaceLastFrame(bitmap);
    else
        gp::GdipDisposeImage(bitmap);
}

void PresentBitmap(HWND window, GpBitmap* bitmap, bool withCaret) {
    if (!IsWindow(window) || !bitmap)
        return;
    SIZE size = WindowSize(window);
    if (size.cx <= 0 || size.cy <= 0)
        return;
    ui::ScopedGetDc windowDc(window);
    ui::OwnedMemoryDc memoryDc(CreateCompatibleDC(windowDc.Get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = size.cx;
    info.bmiHeader.biHeight = -size.cy;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    ui::OwnedBitmap dib(CreateDIBSection(memoryDc.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (dib && bits) {
        ui::ScopedSelect selected(memoryDc.Get(), dib.Get());
        auto* pixels = static_cast<std::uint32_t*>(bits);
        CopyPremultiplied(bitmap, pixels, size.cx, size.cy);
        if (withCaret)
            DrawCaret(window, pixels, size.cx, size.cy);
        GdiFlush();
        POINT source = {0, 0};
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        UpdateLayeredWindow(window, windowDc.Get(), nullptr, &size, memoryDc.Get(), &source, 0,
                            &blend, ULW_ALPHA);
    }
}

void DrawPngChild(HWND parent, HWND child, GpGraphics* graphics) {
    RECT rc = {};
    GetWindowRect(child, &rc);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rc), 2);
    int x = rc.left, y = rc.top, w = rc.right - rc.left, h = rc.bottom - rc.top;

    int type = PropInt(child, kType);
    GpImage* image = nullptr;
    if (type == kTypePicture) {
        image = PropImage(child, kBackImage);
    } else if (type == kTypeButton) {
        switch (PropInt(child, kDrawState)) {
            case 1:
                image = PropImage(child, kOverImage);
                break;
            case 2:
                image = PropImage(child, kDownImage);
                break;
            case 3:
                image = PropImage(child, kDisableImage);
                break;
        }
        if (!image)
            image = PropImage(child, kNormalImage);
    } else if (type == kTypeEdit) {
        int backColor = PropInt(child, kBackColor);
        if (backColor != -1) {
            FillRect(graphics,
                     ColourToArgb(static_cast<Colour>(backColor),
                                  static_cast<std::uint32_t>(PropInt(child, kBackAlpha))),
                     x, y, w, h);
        }
        image = PropImage(child, kBackImage);
    } else {
        return;
    }

    if (image) {
        ImageSize picture = SizeOf(image);
        switch (PropInt(child, kBackType)) {
            case 1:
                DrawStretched(graphics, image, x, y, w, h);
                break;
            case 2: {
                FitResult fit = FitSize(picture.width, picture.height, w, h);
                DrawStretched(graphics, image, x + (w - fit.width) / 2, y + (h - fit.height) / 2,
                              fit.width, fit.height);
                break;
            }
            default:
                if (picture.width > w || picture.height > h) {
                    // Too large for the child: show its top-left part, and nothing else.
                    gp::GdipDrawImagePointRectI(graphics, image, x, y, 0, 0, w, h,
                                                Gdiplus::UnitPixel);
                    return;
                }
                gp::GdipDrawImageRectI(graphics, image, x, y, picture.width, picture.height);
                break;
        }
    }

    if (type != kTypeEdit)
        return;
    int orderColor = PropInt(child, kOrderColor);
    if (orderColor != -1) {
        DrawRectOutline(graphics,
                        ColourToArgb(static_cast<Colour>(orderColor),
                                     static_cast<std::uint32_t>(PropInt(child, kOrderAlpha))),
                        x, y, w, h);
    }
    DrawChildText(child, graphics, x, y, w, h);
}

// --- child procedures

LRESULT CALLBACK PngButtonProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam) {
    int state = PropInt(child, kDrawState);
    int next = -1;
    switch (message) {
        case WM_MOUSEMOVE:
            if (state != 1 && state != 2) {
                TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, child, 0};
                TrackMouseEvent(&track);
                next = 1;
            }
            break;
        case WM_MOUSELEAVE:
            next = 0;
            break;
        case WM_LBUTTONDOWN:
            next = 2;
            break;
        case WM_LBUTTONUP:
            next = state == 2 ? 1 : 0;
            break;
        case WM_ENABLE:
            next = wParam ? 0 : 3;
            break;
    }
    if (next >= 0) {
        SetPropValue(child, kDrawState, next);
        RedrawPngWindow(GetParent(child));
    }
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(child, kChildWndProc));
    return previous ? CallWindowProcW(previous, child, message, wParam, lParam)
                    : DefWindowProcW(child, message, wParam, lParam);
}

LRESULT CALLBACK PngEditProc(HWND child, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETFOCUS) {
        caretVisible = false;
        if (focusParent != GetParent(child))
            ReplaceLastFrame(nullptr);
        focusParent = GetParent(child);
        focusEdit = child;
    } else if (message == WM_KILLFOCUS) {
        ClearFocus();
    }
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(child, kChildWndProc));
    LRESULT result = previous ? CallWindowProcW(previous, child, message, wParam, lParam)
                              : DefWindowProcW(child, message, wParam, lParam);
    switch (message) {
        case WM_CHAR:
        case WM_IME_CHAR:
        case WM_SETTEXT:
        case WM_CUT:
        case WM_PASTE:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_KEYDOWN:
        case WM_LBUTTONUP:
            RedrawPngWindow(GetParent(child));
            break;
    }
    return result;
}

VOID CALLBACK CaretBlinkTimerProc(HWND window, UINT, UINT_PTR id, DWORD) {
    if (id != kCaretBlinkTimerId || window != focusParent || !focusEdit || !lastFrame)
        return;
    caretVisible = !caretVisible;
    PresentBitmap(focusParent, lastFrame, caretVisible);
}
