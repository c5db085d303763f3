#include "decor/skin/skin_frame.h"

#include "ui/handles.h"

namespace skin {
namespace {

constexpr wchar_t kFrameProperty[] = L"SkinH.Frame";

struct FrameState {
    WNDPROC previous;
    bool active;
    bool passOnly;       // detached, but another subclass sits above ours
    bool leaveTracking;  // a WM_NCMOUSELEAVE has been asked for
    int hover;           // hit code of the caption button under the mouse, or 0
    int pressed;         // hit code of the button held down (mouse captured), or 0
    bool pressedInside;
};

struct FrameGeometry {
    int width;
    int height;
    RECT client;   // window coordinates
    RECT caption;  // the caption band, window coordinates
    RECT close;    // empty when the window has no such button
    RECT maximise;
    RECT minimise;
    RECT icon;
    HICON iconHandle;
    int outline;  // 1 when the frame has an outermost line to draw
};

// The frames' states by window. FrameProc needs its window's state for every message the
// window gets (a list filling 10,000 rows notifies its parent of each row), and under Wine a
// window property read is a round trip to the window server that made such a fill several
// times slower. The few framed windows are found here instead; the property is kept as well
// and read only for windows this table had no room for.
constexpr int kKnownFrames = 64;
struct KnownFrame {
    HWND window;
    FrameState* state;
};
KnownFrame knownFrames[kKnownFrames];
volatile LONG framesOutsideTable = 0;

FrameState* StateOf(HWND window) {
    if (!window)
        return nullptr;
    for (const KnownFrame& known : knownFrames) {
        if (known.window == window)
            return known.state;
    }
    if (framesOutsideTable == 0)
        return nullptr;
    return static_cast<FrameState*>(GetPropW(window, kFrameProperty));
}

// Records the state of a newly framed window (its property is already set).
void Remember(HWND window, FrameState* st) {
    for (KnownFrame& known : knownFrames) {
        if (!known.window) {
            known.state = st;
            known.window = window;
            return;
        }
    }
    InterlockedIncrement(&framesOutsideTable);
}

void Forget(HWND window) {
    for (KnownFrame& known : knownFrames) {
        if (known.window == window) {
            known.window = nullptr;
            known.state = nullptr;
            return;
        }
    }
    InterlockedDecrement(&framesOutsideTable);
}

bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

HICON WindowIcon(HWND window) {
    DWORD_PTR icon = 0;
    if (SendMessageTimeoutW(window, WM_GETICON, ICON_SMALL, 0, SMTO_ABORTIFHUNG, 100, &icon) &&
        icon)
        return reinterpret_cast<HICON>(icon);
    if (SendMessageTimeoutW(window, WM_GETICON, ICON_BIG, 0, SMTO_ABORTIFHUNG, 100, &icon) && icon)
        return reinterpret_cast<HICON>(icon);
    if (HICON small = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM)))
        return small;
    return reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
}

bool ComputeGeometry(HWND window, FrameGeometry* g) {
    if (GetMenu(window) != nullptr || IsIconic(window))
        return false;
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    if (!IsSkinCandidate(style, exStyle))
        return false;
    RECT wr;
    RECT cr;
    POINT origin = {0, 0};
    if (!GetWindowRect(window, &wr) || !GetClientRect(window, &cr) ||
        !ClientToScreen(window, &origin))
        return false;
    g->width = wr.right - wr.left;
    g->height = wr.bottom - wr.top;
    g->client.left = origin.x - wr.left;
    g->client.top = origin.y - wr.top;
    g->client.right = g->client.left + cr.right;
    g->client.bottom = g->client.top + cr.bottom;

    int edge = 0;
    if (exStyle & WS_EX_CLIENTEDGE)
        edge += GetSystemMetrics(SM_CYEDGE);
    if (exStyle & WS_EX_STATICEDGE)
        edge += GetSystemMetrics(SM_CYBORDER);
    const int border = g->client.left - edge;
    g->outline = border >= 1 ? 1 : 0;
    g->caption.left = g->outline;
    g->caption.top = g->outline;
    g->caption.right = g->width - g->outline;
    g->caption.bottom = g->client.top - edge;
    const int captionHeight = g->caption.bottom - g->caption.top;
    const int captionWidth = g->caption.right - g->caption.left;
    if (border < 0 || captionHeight < 10 || captionWidth < 40)
        return false;

    const Theme& theme = CurrentTheme();
    int buttonWidth = theme.style.buttonWidth;
    if (buttonWidth > captionWidth / 4)
        buttonWidth = captionWidth / 4;
    RECT slot = g->caption;
    slot.left = slot.right;
    auto take = [&](RECT* button, bool present) {
        *button = RECT{0, 0, 0, 0};
        if (!present)
            return;
        slot.right = slot.left;
        slot.left = slot.right - buttonWidth;
        *button = slot;
    };
    const bool sysMenu = (style & WS_SYSMENU) != 0;
    take(&g->close, sysMenu);
    take(&g->maximise, sysMenu && (style & WS_MAXIMIZEBOX) && !(exStyle & WS_EX_TOOLWINDOW));
    take(&g->minimise, sysMenu && (style & WS_MINIMIZEBOX) && !(exStyle & WS_EX_TOOLWINDOW));

    g->iconHandle = nullptr;
    g->icon = RECT{0, 0, 0, 0};
    if (sysMenu && !(exStyle & (WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME))) {
        g->iconHandle = WindowIcon(window);
        if (g->iconHandle) {
            const int size = GetSystemMetrics(SM_CXSMICON) > 0 ? GetSystemMetrics(SM_CXSMICON) : 16;
            const int side = size < captionHeight ? size : captionHeight;
            g->icon.left = g->caption.left + theme.style.titlePadding;
            g->icon.top = g->caption.top + (captionHeight - side) / 2;
            g->icon.right = g->icon.left + side;
            g->icon.bottom = g->icon.top + side;
        }
    }
    return true;
}

COLORREF Blend(COLORREF from, COLORREF to, int num, int den) {
    if (den <= 0)
        return from;
    auto mix = [&](int shift) {
        const int a = (from >> shift) & 0xFF;
        const int b = (to >> shift) & 0xFF;
        return static_cast<COLORREF>((a + (b - a) * num / den) & 0xFF) << shift;
    };
    return mix(0) | mix(8) | mix(16);
}

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
    if (right <= left || bottom <= top)
        return;
    RECT r = {left, top, right, bottom};
    const COLORREF old = SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
    SetBkColor(dc, old);
}

// The close glyph: two anti-aliased diagonals of `size` pixels, blended over what is there.
void DrawCross(HDC dc, int x0, int y0, int size, COLORREF colour) {
    // Work in eighths of a pixel; the stroke is about 1.5 px wide across the diagonal.
    const int span = 8 * size;
    const int halfWidth = 6;
    for (int py = y0 - 1; py <= y0 + size; ++py) {
        for (int px = x0 - 1; px <= x0 + size; ++px) {
            int hits = 0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const int x = 8 * (px - x0) + 2 * sx + 1;
                    const int y = 8 * (py - y0) + 2 * sy + 1;
                    if (x < 0 || x > span || y < 0 || y > span)
                        continue;
                    const int d1 = y - x;
                    const int d2 = y - (span - x);
                    if ((d1 >= -halfWidth && d1 <= halfWidth) ||
                        (d2 >= -halfWidth && d2 <= halfWidth))
                        ++hits;
                }
            }
            if (hits == 0)
                continue;
            const COLORREF under = GetPixel(dc, px, py);
            SetPixel(dc, px, py, Blend(under, colour, hits, 16));
        }
    }
}

void DrawButton(HDC dc, const RECT& r, int code, const FrameState& st, bool zoomed) {
    const Theme& theme = CurrentTheme();
    const uint32_t* c = theme.style.colours;
    const bool pressed = st.pressed == code && st.pressedInside;
    // While a button is held, only it reacts, and only while the mouse is over it.
    const bool hot = pressed || (st.hover == code && st.pressed == 0);
    COLORREF glyph = st.active ? c[kGlyphActive] : c[kGlyphInactive];
    if (code == HTCLOSE) {
        if (hot) {
            Fill(dc, r.left, r.top, r.right, r.bottom, pressed ? c[kClosePressed] : c[kCloseHover]);
            glyph = c[kCloseGlyphHover];
        }
    } else if (hot) {
        Fill(dc, r.left, r.top, r.right, r.bottom, pressed ? c[kButtonPressed] : c[kButtonHover]);
    }
    int size = theme.style.glyphSize;
    if (size > r.bottom - r.top - 4)
        size = r.bottom - r.top - 4;
    const int x0 = (r.left + r.right - size) / 2;
    const int y0 = (r.top + r.bottom - size) / 2;
    switch (code) {
        case HTCLOSE:
            DrawCross(dc, x0, y0, size, glyph);
            break;
        case HTMINBUTTON:
            Fill(dc, x0, y0 + size / 2, x0 + size, y0 + size / 2 + 1, glyph);
            break;
        case HTMAXBUTTON: {
            auto square = [&](int left, int top, int side) {
                Fill(dc, left, top, left + side, top + 1, glyph);
                Fill(dc, left, top + side - 1, left + side, top + side, glyph);
                Fill(dc, left, top, left + 1, top + side, glyph);
                Fill(dc, left + side - 1, top, left + side, top + side, glyph);
            };
            if (zoomed) {
                // Restore: a square with a second one peeking out behind it.
                const int side = size - 2;
                Fill(dc, x0 + 2, y0, x0 + size, y0 + 1, glyph);
                Fill(dc, x0 + size - 1, y0, x0 + size, y0 + side, glyph);
                square(x0, y0 + 2, side);
            } else {
                square(x0, y0, size);
            }
            break;
        }
        default:
            break;
    }
}

// The caption band, drawn into a memory bitmap and copied in one go so it never flickers.
void DrawCaption(HWND window, HDC target, const FrameGeometry& g, const FrameState& st) {
    const Theme& theme = CurrentTheme();
    const uint32_t* c = theme.style.colours;
    const int w = g.caption.right - g.caption.left;
    const int h = g.caption.bottom - g.caption.top;
    ui::OwnedMemoryDc memory(CreateCompatibleDC(target));
    ui::OwnedBitmap bitmap(CreateCompatibleBitmap(target, w, h));
    if (!memory || !bitmap)
        return;
    ui::ScopedSelect bitmapSelected(memory.Get(), bitmap.Get());
    const HDC dc = memory.Get();
    // Everything below is drawn in window coordinates.
    SetWindowOrgEx(dc, g.caption.left, g.caption.top, nullptr);

    const COLORREF top = st.active ? c[kCaptionActive] : c[kCaptionInactive];
    const uint32_t end = st.active ? c[kCaptionActiveBottom] : c[kCaptionInactiveBottom];
    const COLORREF bottom = end != kNoColour ? end : top;
    if (top == bottom) {
        Fill(dc, g.caption.left, g.caption.top, g.caption.right, g.caption.bottom, top);
    } else {
        for (int y = 0; y < h; ++y) {
            Fill(dc, g.caption.left, g.caption.top + y, g.caption.right, g.caption.top + y + 1,
                 Blend(top, bottom, y, h > 1 ? h - 1 : 1));
        }
    }

    int textLeft = g.caption.left + theme.style.titlePadding;
    if (g.iconHandle) {
        DrawIconEx(dc, g.icon.left, g.icon.top, g.iconHandle, g.icon.right - g.icon.left,
                   g.icon.bottom - g.icon.top, 0, nullptr, DI_NORMAL);
        textLeft = g.icon.right + 6;
    }
    int buttonsLeft = g.caption.right;
    const RECT* const buttons[] = {&g.close, &g.maximise, &g.minimise};
    for (const RECT* b : buttons) {
        if (!IsEmpty(*b) && b->left < buttonsLeft)
            buttonsLeft = b->left;
    }

    wchar_t title[256];
    const int length = GetWindowTextW(window, title, 256);
    if (length > 0) {
        RECT text = {textLeft, g.caption.top, buttonsLeft - 4, g.caption.bottom};
        UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
        if (theme.style.titleAlignment == kTitleCentred) {
            // Centred on the band, kept clear of the buttons on either side.
            const int reserve = g.caption.right - buttonsLeft;
            text.left = g.caption.left + reserve;
            if (text.left < textLeft)
                text.left = textLeft;
            text.right = buttonsLeft;
            format |= DT_CENTER;
        }
        ui::ScopedSelect font(dc, theme.titleFont ? static_cast<HGDIOBJ>(theme.titleFont)
                                                  : GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, st.active ? c[kTitleActive] : c[kTitleInactive]);
        DrawTextW(dc, title, length, &text, format);
    }

    const bool zoomed = IsZoomed(window) != FALSE;
    if (!IsEmpty(g.close))
        DrawButton(dc, g.close, HTCLOSE, st, zoomed);
    if (!IsEmpty(g.maximise))
        DrawButton(dc, g.maximise, HTMAXBUTTON, st, zoomed);
    if (!IsEmpty(g.minimise))
        DrawButton(dc, g.minimise, HTMINBUTTON, st, zoomed);

    SetWindowOrgEx(dc, 0, 0, nullptr);
    BitBlt(target, g.caption.left, g.caption.top, w, h, dc, 0, 0, SRCCOPY);
}

void DrawFrame(HWND window, HDC dc, const FrameGeometry& g, const FrameState& st) {
    const uint32_t* c = CurrentTheme().style.colours;
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, g.client.left, g.client.top, g.client.right, g.client.bottom);
    const COLORREF outline = st.active ? c[kOutlineActive] : c[kOutlineInactive];
    const COLORREF frame = st.active ? c[kFrameActive] : c[kFrameInactive];
    const int o = g.outline;
    if (o) {
        Fill(dc, 0, 0, g.width, 1, outline);
        Fill(dc, 0, g.height - 1, g.width, g.height, outline);
        Fill(dc, 0, 1, 1, g.height - 1, outline);
        Fill(dc, g.width - 1, 1, g.width, g.height - 1, outline);
    }
    Fill(dc, o, g.caption.bottom, g.width - o, g.height - o, frame);
    DrawCaption(window, dc, g, st);
    RestoreDC(dc, saved);
}

bool PaintInto(HWND window, HDC dc, const FrameState& st) {
    FrameGeometry g;
    if (!ComputeGeometry(window, &g))
        return false;
    DrawFrame(window, dc, g, st);
    return true;
}

bool Paint(HWND window, const FrameState& st) {
    if (!IsWindowVisible(window))
        return true;
    ui::ScopedGetDc dc(window, ui::DcArea::WholeWindow);
    return dc && PaintInto(window, dc.Get(), st);
}

// Our hit code at a screen point: one of the caption buttons, HTSYSMENU, HTCAPTION, or 0 when
// the point is not on the caption band.
int HitTest(HWND window, POINT screen, FrameGeometry* g) {
    RECT wr;
    if (!ComputeGeometry(window, g) || !GetWindowRect(window, &wr))
        return 0;
    const POINT p = {screen.x - wr.left, screen.y - wr.top};
    if (!PtInRect(&g->caption, p))
        return 0;
    if (PtInRect(&g->close, p))
        return HTCLOSE;
    if (PtInRect(&g->maximise, p))
        return HTMAXBUTTON;
    if (PtInRect(&g->minimise, p))
        return HTMINBUTTON;
    if (g->iconHandle && PtInRect(&g->icon, p))
        return HTSYSMENU;
    return HTCAPTION;
}

bool IsButton(int code) {
    return code == HTCLOSE || code == HTMAXBUTTON || code == HTMINBUTTON;
}

// Whether the captured mouse (client coordinates in lParam) is over the pressed button.
bool OverPressedButton(HWND window, const FrameState& st, LPARAM lParam) {
    POINT p = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    ClientToScreen(window, &p);
    FrameGeometry g;
    return HitTest(window, p, &g) == st.pressed;
}

WPARAM CommandOf(HWND window, int code) {
    switch (code) {
        case HTCLOSE:
            return SC_CLOSE;
        case HTMINBUTTON:
            return SC_MINIMIZE;
        default:
            return IsZoomed(window) ? SC_RESTORE : SC_MAXIMIZE;
    }
}

void Release(HWND window, FrameState* st) {
    Forget(window);
    RemovePropW(window, kFrameProperty);
    HeapFree(GetProcessHeap(), 0, st);
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FrameState* st = StateOf(window);
    if (!st)
        return DefWindowProcW(window, message, wParam, lParam);
    const WNDPROC previous = st->previous;
    if (message == WM_NCDESTROY) {
        if (GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(FrameProc))
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        Release(window, st);
        return CallWindowProcW(previous, window, message, wParam, lParam);
    }
    if (st->passOnly || !CurrentTheme().attached || IsIconic(window))
        return CallWindowProcW(previous, window, message, wParam, lParam);

    switch (message) {
        case WM_NCPAINT:
            if (Paint(window, *st))
                return 0;
            break;
        case WM_NCACTIVATE: {
            st->active = wParam != 0;
            // -1: the default handling keeps the state but does not paint the old caption.
            const LRESULT result = CallWindowProcW(previous, window, message, wParam, -1);
            Paint(window, *st);
            return result;
        }
        case WM_SETTEXT:
        case WM_SETICON:
        case WM_EXITMENULOOP:
        case WM_EXITSIZEMOVE:
        case WM_ENABLE: {
            const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
            Paint(window, *st);
            return result;
        }
        case WM_STYLECHANGED: {
            const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
            RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
            return result;
        }
        case WM_PRINT: {
            const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
            if ((lParam & PRF_NONCLIENT) &&
                (!(lParam & PRF_CHECKVISIBLE) || IsWindowVisible(window)))
                PaintInto(window, reinterpret_cast<HDC>(wParam), *st);
            return result;
        }
        case WM_NCHITTEST: {
            const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);
            const POINT p = {static_cast<short>(LOWORD(lParam)),
                             static_cast<short>(HIWORD(lParam))};
            FrameGeometry g;
            const int code = HitTest(window, p, &g);
            return code != 0 ? code : result;
        }
        case WM_NCMOUSEMOVE: {
            const int code = IsButton(static_cast<int>(wParam)) ? static_cast<int>(wParam) : 0;
            if (code != st->hover) {
                st->hover = code;
                Paint(window, *st);
            }
            if (!st->leaveTracking) {
                TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE | TME_NONCLIENT, window, 0};
                st->leaveTracking = TrackMouseEvent(&track) != FALSE;
            }
            // The default handling would draw its own hot caption buttons.
            if (code != 0 || wParam == HTCAPTION || wParam == HTSYSMENU)
                return 0;
            break;
        }
        case WM_NCMOUSELEAVE:
            st->leaveTracking = false;
            if (st->hover != 0) {
                st->hover = 0;
                Paint(window, *st);
            }
            break;
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK:
            if (IsButton(static_cast<int>(wParam))) {
                st->pressed = static_cast<int>(wParam);
                st->pressedInside = true;
                SetCapture(window);
                Paint(window, *st);
                return 0;
            }
            break;
        case WM_NCLBUTTONUP:
            if (IsButton(static_cast<int>(wParam)))
                return 0;
            break;
        case WM_MOUSEMOVE:
            if (st->pressed != 0) {
                const bool inside = OverPressedButton(window, *st, lParam);
                if (inside != st->pressedInside) {
                    st->pressedInside = inside;
                    Paint(window, *st);
                }
                return 0;
            }
            if (st->hover != 0) {
                st->hover = 0;
                Paint(window, *st);
            }
            break;
        case WM_LBUTTONUP:
            if (st->pressed != 0) {
                const int code = st->pressed;
                const bool inside = OverPressedButton(window, *st, lParam);
                st->pressed = 0;
                st->hover = inside ? code : 0;
                ReleaseCapture();
                Paint(window, *st);
                if (inside) {
                    POINT p = {static_cast<short>(LOWORD(lParam)),
                               static_cast<short>(HIWORD(lParam))};
                    ClientToScreen(window, &p);
                    // May destroy the window and with it the state: nothing after this.
                    SendMessageW(window, WM_SYSCOMMAND, CommandOf(window, code),
                                 MAKELPARAM(p.x, p.y));
                }
                return 0;
            }
            break;
        case WM_CAPTURECHANGED:
            if (st->pressed != 0 && reinterpret_cast<HWND>(lParam) != window) {
                st->pressed = 0;
                Paint(window, *st);
            }
            break;
        default:
            break;
    }
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

}  // namespace

bool IsSkinCandidate(DWORD style, DWORD exStyle) {
    (void)exStyle;
    return (style & WS_CAPTION) == WS_CAPTION && !(style & WS_CHILD);
}

bool IsWindowSkinned(HWND window) {
    const FrameState* st = StateOf(window);
    return st != nullptr && !st->passOnly;
}

bool SkinWindow(HWND window) {
    if (!IsWindow(window))
        return false;
    if (FrameState* st = StateOf(window)) {
        st->passOnly = false;
        return true;
    }
    auto* st =
        static_cast<FrameState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FrameState)));
    if (!st)
        return false;
    st->active = GetActiveWindow() == window;
    if (!SetPropW(window, kFrameProperty, st)) {
        HeapFree(GetProcessHeap(), 0, st);
        return false;
    }
    Remember(window, st);
    SetLastError(0);
    const LONG_PTR previous =
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameProc));
    if (previous == 0 && GetLastError() != 0) {
        Release(window, st);
        return false;
    }
    st->previous = reinterpret_cast<WNDPROC>(previous);
    return true;
}

void UnskinWindow(HWND window) {
    FrameState* st = StateOf(window);
    if (!st)
        return;
    if (GetWindowLongPtrW(window, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(FrameProc)) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(st->previous));
        Release(window, st);
    } else {
        st->passOnly = true;
        st->pressed = 0;
        st->hover = 0;
    }
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

void RepaintFrame(HWND window) {
    if (FrameState* st = StateOf(window)) {
        if (!st->passOnly)
            Paint(window, *st);
    }
}

}  // namespace skin
