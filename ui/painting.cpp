// Painting of the framework's own controls (group box, frame, picture box) and of flat
// buttons.
#include <windows.h>

#include <string>

#include "ui/internal.h"
#include "ui/paint.h"

namespace ui::detail {

HBRUSH ContainerBrush(HWND container) {
    for (HWND h = container; h; h = GetParent(h)) {
        if (WindowState* state = StateOf(h))
            return state->backBrush.Get();
        if (ControlState* c = ControlOf(h)) {
            if (c->backColour != kSystemColour)
                return BrushFor(*c);
        }
    }
    return GetSysColorBrush(COLOR_BTNFACE);
}

namespace {

void PaintGroupBox(ControlState& c, HDC dc) {
    RECT r;
    GetClientRect(c.hwnd, &r);
    FillRect(dc, &r, ContainerBrush(GetParent(c.hwnd)));
    ScopedSelect font(dc, c.font ? c.font : GetStockObject(DEFAULT_GUI_FONT));
    wchar_t caption[256];
    int n = GetWindowTextW(c.hwnd, caption, 256);
    SIZE extent = {0, 0};
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    if (n > 0)
        GetTextExtentPoint32W(dc, caption, n, &extent);
    RECT frame = r;
    frame.top = tm.tmHeight / 2;
    DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    if (n > 0) {
        int x = Scale(8);
        RECT text = {x - 2, 0, x + extent.cx + 2, tm.tmHeight};
        FillRect(dc, &text, ContainerBrush(GetParent(c.hwnd)));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc,
                     c.textColour == kSystemColour ? GetSysColor(COLOR_WINDOWTEXT) : c.textColour);
        TextOutW(dc, x, 0, caption, n);
    }
}

void PaintFrame(ControlState& c, HDC dc) {
    RECT r;
    GetClientRect(c.hwnd, &r);
    FillRect(dc, &r, c.backColour == kSystemColour ? GetSysColorBrush(COLOR_BTNFACE) : BrushFor(c));
    OutlineStyle outline = c.layout->outline;
    if (outline == OutlineStyle::None)
        return;
    OwnedPen pen(CreatePen(outline == OutlineStyle::DashDot ? PS_DASHDOT : PS_SOLID, 1,
                           c.layout->outlineColour));
    ScopedSelect penSelected(dc, pen.Get());
    ScopedSelect brushSelected(dc, GetStockObject(NULL_BRUSH));
    // The gaps of a broken line show the background.
    SetBkMode(dc, TRANSPARENT);
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
}

void PaintPictureBox(ControlState& c, HDC dc) {
    RECT r;
    GetClientRect(c.hwnd, &r);
    Colour back = c.backColour == kSystemColour ? GetSysColor(COLOR_BTNFACE) : c.backColour;
    FillRect(dc, &r, OwnedBrush(CreateSolidBrush(back)).Get());
    if (c.picture.Empty())
        return;
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    // A picture larger than its box is shrunk once into a bitmap of the box's size, which
    // every paint then copies as it is: stretching it at each paint costs milliseconds under
    // Wine, for each new preview picture.
    const bool shrunk = c.layout->pictureMode == PictureMode::Scaled && w > 0 && h > 0 &&
                        w <= c.picture.width && h <= c.picture.height;
    if (c.bitmap) {
        BITMAP held = {};
        GetObjectW(c.bitmap.Get(), sizeof held, &held);
        const bool fits =
            shrunk ? held.bmWidth == w && held.bmHeight == h
                   : held.bmWidth == c.picture.width && held.bmHeight == c.picture.height;
        if (!fits)
            c.bitmap.Reset();
    }
    if (!c.bitmap)
        c.bitmap = shrunk ? MakeShrunkBitmap(c.picture, back, w, h) : MakeBitmap(c.picture, back);
    if (!c.bitmap)
        return;
    OwnedMemoryDc memory(CreateCompatibleDC(dc));
    ScopedSelect selected(memory.Get(), c.bitmap.Get());
    if (shrunk) {
        BitBlt(dc, 0, 0, w, h, memory.Get(), 0, 0, SRCCOPY);
    } else if (c.layout->pictureMode == PictureMode::Scaled) {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, w, h, memory.Get(), 0, 0, c.picture.width, c.picture.height, SRCCOPY);
    } else {
        BitBlt(dc, (w - c.picture.width) / 2, (h - c.picture.height) / 2, c.picture.width,
               c.picture.height, memory.Get(), 0, 0, SRCCOPY);
    }
}

Colour Blend(Colour a, Colour b) {
    auto mix = [&](int shift) { return ((a >> shift & 0xFF) + (b >> shift & 0xFF)) / 2 << shift; };
    return mix(0) | mix(8) | mix(16);
}

}  // namespace

void Paint(ControlState& c, HDC dc) {
    switch (c.layout->kind) {
        case ControlKind::GroupBox:
            PaintGroupBox(c, dc);
            break;
        case ControlKind::Frame:
            PaintFrame(c, dc);
            break;
        case ControlKind::PictureBox:
            PaintPictureBox(c, dc);
            break;
        default:
            break;
    }
}

void DrawFlatButton(ControlState& c, const DRAWITEMSTRUCT& item) {
    const ControlLayout& layout = *c.layout;
    RECT r = item.rcItem;
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    bool disabled = item.itemState & ODS_DISABLED;
    bool pressed = item.itemState & ODS_SELECTED;
    bool focused = item.itemState & ODS_FOCUS;

    ColourPair look = layout.resting;
    const Picture* picture = &c.looks[0];
    bool focusRect = false;
    if (disabled) {
        if (!c.looks[3].Empty())
            picture = &c.looks[3];
        look.text = Blend(look.text, look.face);
    } else if (c.hover || pressed) {
        look = layout.pointerOver;
        if (!c.looks[1].Empty())
            picture = &c.looks[1];
    } else if (focused) {
        look = layout.focus;
        if (!c.looks[2].Empty())
            picture = &c.looks[2];
        focusRect = true;
    }

    // Drawn off screen and copied in one go, so that hovering does not flicker. The canvas is
    // selected out of the memory DC before either goes.
    OwnedMemoryDc memory(CreateCompatibleDC(item.hDC));
    OwnedBitmap canvas(CreateCompatibleBitmap(item.hDC, w, h));
    ScopedSelect canvasSelected(memory.Get(), canvas.Get());
    HDC m = memory.Get();
    RECT all = {0, 0, w, h};
    FillRect(m, &all, OwnedBrush(CreateSolidBrush(look.face)).Get());
    if (!picture->Empty()) {
        if (OwnedBitmap bitmap = MakeBitmap(*picture, look.face)) {
            OwnedMemoryDc source(CreateCompatibleDC(m));
            ScopedSelect selected(source.Get(), bitmap.Get());
            SetStretchBltMode(m, HALFTONE);
            SetBrushOrgEx(m, 0, 0, nullptr);
            StretchBlt(m, 0, 0, w, h, source.Get(), 0, 0, picture->width, picture->height, SRCCOPY);
        }
    } else {
        int length = GetWindowTextLengthW(c.hwnd);
        std::wstring caption(length + 1, L'\0');
        GetWindowTextW(c.hwnd, caption.data(), length + 1);
        caption.resize(length);
        ScopedSelect font(m, reinterpret_cast<HGDIOBJ>(SendMessageW(c.hwnd, WM_GETFONT, 0, 0)));
        SetBkMode(m, TRANSPARENT);
        SetTextColor(m, look.text);
        DrawTextW(m, caption.c_str(), length, &all,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (focusRect) {
        RECT inner = {Scale(3), Scale(3), w - Scale(3), h - Scale(3)};
        SetTextColor(m, RGB(0, 0, 0));
        SetBkColor(m, RGB(255, 255, 255));
        DrawFocusRect(m, &inner);
    }
    BitBlt(item.hDC, r.left, r.top, w, h, m, 0, 0, SRCCOPY);
}

}  // namespace ui::detail
