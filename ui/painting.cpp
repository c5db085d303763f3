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

// The picture of look `state` stretched to w x h over `face`: made at the first paint in that
// look and kept, since a look's picture and colours do not change (a button disabled and
// enabled again around each preview is painted twice per preview).
HBITMAP
FaceBitmap(ControlState& c, int state, const Picture& picture, Colour face, HDC dc, int w, int h) {
    if (c.faceSize.cx != w || c.faceSize.cy != h) {
        for (OwnedBitmap& made : c.faces)
            made.Reset();
        c.faceSize = {w, h};
    }
    OwnedBitmap& made = c.faces[state];
    if (made)
        return made.Get();
    OwnedBitmap bitmap = MakeBitmap(picture, face);
    if (!bitmap)
        return nullptr;
    made.Reset(CreateCompatibleBitmap(dc, w, h));
    if (!made)
        return nullptr;
    OwnedMemoryDc target(CreateCompatibleDC(dc));
    OwnedMemoryDc source(CreateCompatibleDC(dc));
    ScopedSelect targetSelected(target.Get(), made.Get());
    ScopedSelect sourceSelected(source.Get(), bitmap.Get());
    SetStretchBltMode(target.Get(), HALFTONE);
    SetBrushOrgEx(target.Get(), 0, 0, nullptr);
    StretchBlt(target.Get(), 0, 0, w, h, source.Get(), 0, 0, picture.width, picture.height,
               SRCCOPY);
    return made.Get();
}

// The dotted focus rectangle, 3 pixels inside `r`.
void DrawFocus(HDC dc, const RECT& r) {
    RECT inner = {r.left + Scale(3), r.top + Scale(3), r.right - Scale(3), r.bottom - Scale(3)};
    const COLORREF text = SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF back = SetBkColor(dc, RGB(255, 255, 255));
    DrawFocusRect(dc, &inner);
    SetTextColor(dc, text);
    SetBkColor(dc, back);
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

    // The look: 0 resting, 1 pointer over (or pressed), 2 focus, 3 disabled; a look without a
    // picture of its own shows the resting one over its own colour.
    ColourPair look = layout.resting;
    int state = 0;
    bool focusRect = false;
    if (disabled) {
        state = 3;
        look.text = Blend(look.text, look.face);
    } else if (c.hover || pressed) {
        state = 1;
        look = layout.pointerOver;
    } else if (focused) {
        state = 2;
        look = layout.focus;
        focusRect = true;
    }
    const Picture* picture = c.looks[state].Empty() ? &c.looks[0] : &c.looks[state];

    // A button with pictures copies its look, made at the first paint in that look, straight
    // to the screen in one go (no flicker when hovering); nothing else is made per paint.
    if (!picture->Empty()) {
        HBITMAP face = FaceBitmap(c, state, *picture, look.face, item.hDC, w, h);
        if (face && !c.faceDc)
            c.faceDc.Reset(CreateCompatibleDC(item.hDC));
        if (face && c.faceDc) {
            {
                ScopedSelect selected(c.faceDc.Get(), face);
                BitBlt(item.hDC, r.left, r.top, w, h, c.faceDc.Get(), 0, 0, SRCCOPY);
            }
            if (focusRect)
                DrawFocus(item.hDC, r);
            return;
        }
    }

    // A caption is drawn off screen and copied in one go. The canvas is selected out of the
    // memory DC before either goes.
    OwnedMemoryDc memory(CreateCompatibleDC(item.hDC));
    OwnedBitmap canvas(CreateCompatibleBitmap(item.hDC, w, h));
    ScopedSelect canvasSelected(memory.Get(), canvas.Get());
    HDC m = memory.Get();
    RECT all = {0, 0, w, h};
    FillRect(m, &all, OwnedBrush(CreateSolidBrush(look.face)).Get());
    if (picture->Empty()) {
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
    if (focusRect)
        DrawFocus(m, all);
    BitBlt(item.hDC, r.left, r.top, w, h, m, 0, 0, SRCCOPY);
}

void RedrawFlatButton(ControlState& c, bool enabled) {
    if (!IsWindowVisible(c.hwnd))
        return;
    ScopedGetDc dc(c.hwnd);
    if (!dc)
        return;
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(c.id);
    item.itemAction = ODA_DRAWENTIRE;
    item.hwndItem = c.hwnd;
    item.hDC = dc.Get();
    GetClientRect(c.hwnd, &item.rcItem);
    if (!enabled)
        item.itemState |= ODS_DISABLED;
    if (GetFocus() == c.hwnd)
        item.itemState |= ODS_FOCUS;
    if (SendMessageW(c.hwnd, BM_GETSTATE, 0, 0) & BST_PUSHED)
        item.itemState |= ODS_SELECTED;
    DrawFlatButton(c, item);
}

}  // namespace ui::detail
