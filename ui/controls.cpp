// Controls made from layout rows: creation with their styles and initial values, the
// framework's own control classes (group box, frame, picture box), and what a container does
// for its children (commands, notifications, colours, owner drawing).
#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <string>
#include <unordered_map>

#include "core/codepage.h"
#include "core/log.h"
#include "ui/internal.h"
#include "ui/paint.h"

namespace ui::detail {
namespace {

using codepage::Wide;

constexpr wchar_t kControlProperty[] = L"Lzf.Control";
constexpr wchar_t kGroupBoxClass[] = L"LzfGroupBox";
constexpr wchar_t kFrameClass[] = L"LzfFrame";
constexpr wchar_t kPictureBoxClass[] = L"LzfPictureBox";

// The controls this thread made, by handle, beside their window property: every message to a
// control and every notification its container gets looks its state up, and under Wine a
// property read is a round trip to the window server. Other threads read the property.
thread_local std::unordered_map<HWND, ControlState*> t_controls;

void ForgetControl(HWND hwnd) {
    RemovePropW(hwnd, kControlProperty);
    t_controls.erase(hwnd);
}

// Window procedure of the framework's own classes.
LRESULT CALLBACK OwnClassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlState* c = ControlOf(hwnd);
    if (!c)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ForgetControl(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (HandleChildMessage(hwnd, message, wParam, lParam, result))
        return result;
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            Paint(*c, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(*c, reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_NCHITTEST:
            // Pressing on a container or picture is pressing on the window (moving it).
            return HTTRANSPARENT;
        case WM_SETFONT:
            c->font = reinterpret_cast<HFONT>(wParam);
            if (LOWORD(lParam))
                InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(c->font);
        case WM_SETTEXT: {
            LRESULT r = DefWindowProcW(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return r;
        }
        case WM_COMMAND:
        case WM_NOTIFY:
            // Anything the framework does not handle goes to the window, like a dialog's.
            return SendMessageW(GetParent(hwnd), message, wParam, lParam);
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Subclass of the system controls: hand cursor, flat-button hover, list keys.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlState* c = ControlOf(hwnd);
    if (!c || !c->previousProc)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    WNDPROC previous = c->previousProc;
    ControlKind kind = c->layout->kind;
    switch (message) {
        case WM_SETCURSOR:
            if (c->layout->handCursor && LOWORD(lParam) == HTCLIENT) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_MOUSEMOVE:
            if (kind == ControlKind::FlatButton && !c->hover) {
                c->hover = true;
                TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, hwnd, 0};
                TrackMouseEvent(&track);
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            break;
        case WM_MOUSELEAVE:
            if (kind == ControlKind::FlatButton) {
                c->hover = false;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            break;
        case WM_ENABLE:
            // The new look drawn here and now: the system button's own repaint on this
            // message goes through its full paint (colour message, clipping, the parent's
            // WM_DRAWITEM) and costs several times the drawing under Wine, twice per preview.
            if (kind == ControlKind::FlatButton) {
                RedrawFlatButton(*c, wParam != FALSE);
                return 0;
            }
            break;
        case WM_LBUTTONDBLCLK:
            // An owner-drawn button reports the second press of a double click as
            // BN_DOUBLECLICKED; a flat button takes it as one more press.
            if (kind == ControlKind::FlatButton)
                message = WM_LBUTTONDOWN;
            break;
        case WM_KEYDOWN:
            if (kind == ControlKind::ListView &&
                FireEvent(*c->window, c->layout->name, Event::KeyDown, static_cast<int>(wParam)))
                return 0;
            break;
        case WM_NCDESTROY:
            SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
            ForgetControl(hwnd);
            c->previousProc = nullptr;
            c->hwnd = nullptr;
            break;
        default:
            break;
    }
    return CallWindowProcW(previous, hwnd, message, wParam, lParam);
}

void RegisterOwnClass(const wchar_t* name) {
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = OwnClassProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    if (!RegisterClassExW(&wc))
        LogLastError("RegisterClassExW");
}

Picture LoadPicture(PictureSource source) {
    if (!source)
        return {};
    EmbeddedBlob blob = source();
    return DecodePng(blob.data, blob.size);
}

void Subclass(ControlState& c) {
    c.previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(c.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
}

// The closed box's height follows its selection field; systems differ in how the field height
// they report relates to the one they take, so the field is adjusted by measurement.
void FitComboHeight(HWND combo, int wanted) {
    LRESULT field = SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int round = 0; round < 4 && field > 0; ++round) {
        RECT r;
        GetWindowRect(combo, &r);
        int actual = r.bottom - r.top;
        if (actual == wanted)
            return;
        field += wanted - actual;
        if (field <= 0)
            return;
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
}

}  // namespace

ControlState* ControlOf(HWND control) {
    if (!control)
        return nullptr;
    auto known = t_controls.find(control);
    if (known != t_controls.end())
        return known->second;
    return static_cast<ControlState*>(GetPropW(control, kControlProperty));
}

void RegisterClasses() {
    static bool done = false;
    if (done)
        return;
    done = true;
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    RegisterOwnClass(kGroupBoxClass);
    RegisterOwnClass(kFrameClass);
    RegisterOwnClass(kPictureBoxClass);
}

HBRUSH BrushFor(ControlState& control) {
    if (!control.backBrush && control.backColour != kSystemColour)
        control.backBrush.Reset(CreateSolidBrush(control.backColour));
    return control.backBrush.Get();
}

void SetPictureBoxPicture(ControlState& control, Picture picture) {
    control.picture = std::move(picture);
    control.bitmap.Reset();
    if (control.hwnd)
        InvalidateRect(control.hwnd, nullptr, FALSE);
}

void ReleaseControl(ControlState& control) {
    if (control.layout->kind == ControlKind::Timer && control.interval > 0 && control.window->hwnd)
        KillTimer(control.window->hwnd, control.id);
    control.interval = 0;
    control.backBrush.Reset();
    control.bitmap.Reset();
}

void CreateControl(WindowState& window, ControlState& c, HWND parent) {
    const ControlLayout& layout = *c.layout;
    if (layout.kind == ControlKind::SaveDialog)
        return;
    if (layout.kind == ControlKind::Timer) {
        if (c.interval > 0 && !SetTimer(window.hwnd, c.id, c.interval, nullptr))
            LogLastError("SetTimer");
        return;
    }

    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    if (layout.visible)
        style |= WS_VISIBLE;
    if (layout.tabStop)
        style |= WS_TABSTOP;
    if (!layout.enabled)
        style |= WS_DISABLED;
    const wchar_t* className = L"";
    std::wstring text = Wide(layout.text ? layout.text : layout.accessibleName);
    int height = layout.height;
    switch (layout.kind) {
        case ControlKind::Button:
            className = L"Button";
            style |= BS_PUSHBUTTON;
            break;
        case ControlKind::FlatButton:
            className = L"Button";
            style |= BS_OWNERDRAW;
            break;
        case ControlKind::Edit:
            className = L"Edit";
            style |= layout.multiLine ? ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL
                                      : ES_AUTOHSCROLL;
            if (layout.alignment == Alignment::Centre)
                style |= ES_CENTER;
            if (layout.input == InputMode::ReadOnly)
                style |= ES_READONLY;
            if (layout.input == InputMode::IntegersOnly)
                style |= ES_NUMBER;
            if (!layout.hideSelection)
                style |= ES_NOHIDESEL;
            if (layout.border == EditBorder::Single)
                style |= WS_BORDER;
            if (layout.border == EditBorder::StaticEdge)
                exStyle |= WS_EX_STATICEDGE;
            break;
        case ControlKind::Label:
        case ControlKind::TransparentLabel:
            className = L"Static";
            style |= SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX;
            break;
        case ControlKind::GroupBox:
            className = kGroupBoxClass;
            style |= WS_CLIPCHILDREN;
            exStyle |= WS_EX_CONTROLPARENT;  // Tab reaches the controls inside
            break;
        case ControlKind::Frame:
            className = kFrameClass;
            style |= WS_CLIPCHILDREN;
            exStyle |= WS_EX_CONTROLPARENT;
            break;
        case ControlKind::DropDownList:
            className = L"ComboBox";
            style |= CBS_DROPDOWNLIST | WS_VSCROLL;
            height += 200;  // the open list; the closed box is fitted below
            break;
        case ControlKind::ListView:
            className = WC_LISTVIEWW;
            style |= LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
            if (layout.border != EditBorder::None)
                style |= WS_BORDER;
            text.clear();
            break;
        case ControlKind::PictureBox:
            className = kPictureBoxClass;
            break;
        case ControlKind::SaveDialog:
        case ControlKind::Timer:
            return;
    }

    c.hwnd = CreateWindowExW(exStyle, className, text.c_str(), style, Scale(layout.left),
                             Scale(layout.top), Scale(layout.width), Scale(height), parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                             GetModuleHandleW(nullptr), nullptr);
    if (!c.hwnd) {
        LogLastError("CreateWindowExW");
        return;
    }
    SetPropW(c.hwnd, kControlProperty, &c);
    t_controls[c.hwnd] = &c;
    bool ownClass = layout.kind == ControlKind::GroupBox || layout.kind == ControlKind::Frame ||
                    layout.kind == ControlKind::PictureBox;
    if (!ownClass)
        Subclass(c);
    if (layout.kind != ControlKind::Frame && layout.kind != ControlKind::PictureBox)
        SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(window, layout.font)),
                     FALSE);

    switch (layout.kind) {
        case ControlKind::FlatButton:
            c.looks[0] = LoadPicture(layout.restingPicture);
            c.looks[1] = LoadPicture(layout.pointerOverPicture);
            c.looks[2] = LoadPicture(layout.focusPicture);
            c.looks[3] = LoadPicture(layout.disabledPicture);
            break;
        case ControlKind::DropDownList:
            for (const char* item : layout.items) {
                std::wstring w = Wide(item);
                SendMessageW(c.hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
            }
            SendMessageW(c.hwnd, CB_SETCURSEL, static_cast<WPARAM>(layout.selected), 0);
            FitComboHeight(c.hwnd, Scale(layout.height));
            break;
        case ControlKind::ListView: {
            SendMessageW(c.hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                         LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
            int index = 0;
            for (const ListColumn& column : layout.columns) {
                std::wstring header = Wide(column.header);
                LVCOLUMNW lvc = {};
                lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
                lvc.fmt = column.alignment == Alignment::Centre ? LVCFMT_CENTER : LVCFMT_LEFT;
                lvc.cx = Scale(column.width);
                lvc.pszText = header.data();
                SendMessageW(c.hwnd, LVM_INSERTCOLUMNW, index++, reinterpret_cast<LPARAM>(&lvc));
            }
            if (c.textColour != kSystemColour)
                SendMessageW(c.hwnd, LVM_SETTEXTCOLOR, 0, c.textColour);
            if (layout.itemBackColour != kSystemColour)
                SendMessageW(c.hwnd, LVM_SETTEXTBKCOLOR, 0, layout.itemBackColour);
            if (c.backColour != kSystemColour)
                SendMessageW(c.hwnd, LVM_SETBKCOLOR, 0, c.backColour);
            break;
        }
        case ControlKind::PictureBox:
            SetPictureBoxPicture(c, LoadPicture(layout.picture));
            break;
        default:
            break;
    }
}

bool FireEvent(WindowState& window, const char* control, Event event, int key) {
    // A handler may run a nested message loop in which this window goes away: the table and
    // the handle are kept aside, and the state is not touched once the window is gone.
    std::span<const EventBinding> events = window.events;
    HWND hwnd = window.hwnd;
    WindowState* self = &window;
    bool consumed = false;
    for (const EventBinding& binding : events) {
        bool sameControl = control ? binding.control && std::strcmp(binding.control, control) == 0
                                   : binding.control == nullptr;
        if (!sameControl || binding.event != event)
            continue;
        if (binding.onKey)
            consumed = binding.onKey(key) || consumed;
        if (binding.action)
            binding.action();
        if (binding.onWindow)
            binding.onWindow(hwnd);
        if (binding.indexed)
            binding.indexed(hwnd, binding.argument);
        if (!IsWindow(hwnd) || StateOf(hwnd) != self)
            break;
    }
    return consumed;
}

bool HandleChildMessage(HWND container,
                        UINT message,
                        WPARAM wParam,
                        LPARAM lParam,
                        LRESULT& result) {
    switch (message) {
        case WM_COMMAND: {
            ControlState* c = ControlOf(reinterpret_cast<HWND>(lParam));
            if (!c)
                return false;
            WORD code = HIWORD(wParam);
            ControlKind kind = c->layout->kind;
            if ((kind == ControlKind::Button || kind == ControlKind::FlatButton) &&
                code == BN_CLICKED) {
                FireEvent(*c->window, c->layout->name, Event::Click);
            } else if (kind == ControlKind::DropDownList && code == CBN_SELCHANGE &&
                       c->window->programWrites == 0) {
                FireEvent(*c->window, c->layout->name, Event::ItemChosen);
            }
            result = 0;
            return true;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            ControlState* c = ControlOf(header->hwndFrom);
            if (!c || c->layout->kind != ControlKind::ListView)
                return false;
            result = 0;
            if (header->code == LVN_ITEMCHANGED) {
                auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
                bool selected = (change->uChanged & LVIF_STATE) &&
                                (change->uNewState & LVIS_SELECTED) &&
                                !(change->uOldState & LVIS_SELECTED);
                if (selected && c->window->programWrites == 0)
                    FireEvent(*c->window, c->layout->name, Event::CurrentRowChanged);
            } else if (header->code == NM_DBLCLK) {
                FireEvent(*c->window, c->layout->name, Event::DoubleClick);
            }
            return true;
        }
        case WM_DRAWITEM: {
            auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
            ControlState* c = ControlOf(item->hwndItem);
            if (!c || c->layout->kind != ControlKind::FlatButton)
                return false;
            DrawFlatButton(*c, *item);
            result = TRUE;
            return true;
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN: {
            ControlState* c = ControlOf(reinterpret_cast<HWND>(lParam));
            if (!c)
                return false;
            HDC dc = reinterpret_cast<HDC>(wParam);
            if (c->layout->kind == ControlKind::TransparentLabel) {
                // Over the container's solid colour, painting that colour is transparency.
                SetBkMode(dc, TRANSPARENT);
                if (c->textColour != kSystemColour)
                    SetTextColor(dc, c->textColour);
                result = reinterpret_cast<LRESULT>(ContainerBrush(container));
                return true;
            }
            if (c->textColour == kSystemColour && c->backColour == kSystemColour)
                return false;
            if (c->backColour != kSystemColour) {
                SetBkColor(dc, c->backColour);
                result = reinterpret_cast<LRESULT>(BrushFor(*c));
            } else {
                result = DefWindowProcW(container, message, wParam, lParam);
            }
            if (c->textColour != kSystemColour)
                SetTextColor(dc, c->textColour);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace ui::detail
