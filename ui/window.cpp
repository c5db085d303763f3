// Top-level windows made from layout tables: the window class, the window procedure, creation,
// modal runs and the message loop.
#include "ui/window.h"

#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <unordered_map>

#include "core/codepage.h"
#include "core/log.h"
#include "ui/internal.h"
#include "ui/threads.h"

namespace ui {
namespace detail {
namespace {

using codepage::Wide;

constexpr wchar_t kSharedClass[] = L"LzfWindow";
constexpr wchar_t kStateProperty[] = L"Lzf.Window";

// The state of every window this thread made, by handle. The window property says the same,
// but under Wine each property read is a round trip to the window server, and the state is
// looked up for every message the window gets (a list notifying its parent of each inserted
// row among them); this table answers within the process. Other threads read the property.
thread_local std::unordered_map<HWND, WindowState*> t_states;

std::atomic<HWND> g_mainWindow{nullptr};
int g_liveWindows = 0;

UINT InvokeMessage() {
    static const UINT message = RegisterWindowMessageW(L"Lzf.Invoke");
    return message;
}

bool RegisterTopClass(const wchar_t* name);

LRESULT HandleTopMessage(WindowState& state,
                         HWND hwnd,
                         UINT message,
                         WPARAM wParam,
                         LPARAM lParam) {
    const WindowLayout& layout = *state.layout;
    LRESULT result = 0;
    if (HandleChildMessage(hwnd, message, wParam, lParam, result))
        return result;
    switch (message) {
        case WM_NCHITTEST: {
            LRESULT hit = DefWindowProcW(hwnd, message, wParam, lParam);
            return hit == HTCLIENT && layout.dragByClientArea ? HTCAPTION : hit;
        }
        case WM_NCACTIVATE:
            if (layout.captionAlwaysActive)
                return DefWindowProcW(hwnd, message, TRUE, lParam);
            break;
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(hwnd, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, state.backBrush.Get());
            return 1;
        }
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE && layout.escCloses) {
                CloseLayoutWindow(hwnd);
                return 0;
            }
            break;
        case WM_COMMAND:
            // Keyboard navigation turns Esc into IDCANCEL.
            if (LOWORD(wParam) == IDCANCEL && lParam == 0 && layout.escCloses)
                CloseLayoutWindow(hwnd);
            return 0;
        case WM_TIMER:
            for (auto& control : state.controls) {
                if (control->layout->kind == ControlKind::Timer &&
                    static_cast<WPARAM>(control->id) == wParam) {
                    FireEvent(state, control->layout->name, Event::Tick);
                    return 0;
                }
            }
            break;
        case WM_CLOSE:
            if (state.modalOwner && IsWindow(state.modalOwner)) {
                // Give the owner back its input before this window goes, so that it is
                // activated again.
                EnableWindow(state.modalOwner, TRUE);
            }
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            FireEvent(state, nullptr, Event::Destroyed);
            for (auto& control : state.controls)
                ReleaseControl(*control);
            if (g_mainWindow.load() == hwnd)
                g_mainWindow.store(nullptr);
            --g_liveWindows;
            // Wake message loops waiting in GetMessage so that they see the window gone.
            PostMessageW(nullptr, WM_NULL, 0, 0);
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK TopWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* state = static_cast<WindowState*>(create->lpCreateParams);
        state->hwnd = hwnd;
        SetPropW(hwnd, kStateProperty, state);
        t_states[hwnd] = state;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    WindowState* state = StateOf(hwnd);
    if (!state)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == InvokeMessage()) {
        (*reinterpret_cast<const std::function<void(WindowState&)>*>(lParam))(*state);
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemovePropW(hwnd, kStateProperty);
        t_states.erase(hwnd);
        delete state;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return HandleTopMessage(*state, hwnd, message, wParam, lParam);
}

bool RegisterTopClass(const wchar_t* name) {
    WNDCLASSEXW wc = {sizeof(wc)};
    if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc))
        return true;
    wc = {sizeof(wc)};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = TopWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    wc.hbrBackground = nullptr;  // WM_ERASEBKGND paints the layout's colour
    wc.lpszClassName = name;
    if (RegisterClassExW(&wc))
        return true;
    LogLastError("RegisterClassExW");
    return false;
}

// Creates the children of `parentName` (nullptr: the window) under `parentWindow`, in table
// order, then the children of every container just made.
void CreateChildren(WindowState& state, const char* parentName, HWND parentWindow) {
    for (auto& control : state.controls) {
        const char* p = control->layout->parent;
        bool mine = parentName ? (p && std::strcmp(p, parentName) == 0) : p == nullptr;
        if (!mine)
            continue;
        CreateControl(state, *control, parentWindow);
        ControlKind kind = control->layout->kind;
        if ((kind == ControlKind::GroupBox || kind == ControlKind::Frame) && control->hwnd)
            CreateChildren(state, control->layout->name, control->hwnd);
    }
}

}  // namespace

WindowState* StateOf(HWND window) {
    if (!window)
        return nullptr;
    auto known = t_states.find(window);
    if (known != t_states.end())
        return known->second;
    return static_cast<WindowState*>(GetPropW(window, kStateProperty));
}

ControlState* FindControl(WindowState& window, const char* name) {
    if (!name)
        return nullptr;
    for (auto& control : window.controls) {
        if (std::strcmp(control->layout->name, name) == 0)
            return control.get();
    }
    return nullptr;
}

void OnWindowThread(HWND window, const std::function<void(WindowState&)>& job) {
    if (!window)
        window = g_mainWindow.load();
    if (!window || !IsWindow(window))
        return;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        if (WindowState* state = StateOf(window))
            job(*state);
        return;
    }
    SendMessageW(window, InvokeMessage(), 0, reinterpret_cast<LPARAM>(&job));
}

int Scale(int value) {
    double scaled = value * LayoutScale();
    return static_cast<int>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
}

HFONT FontFor(WindowState& window, FontStyle style) {
    if (style == FontStyle::GuiDefault)
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    OwnedFont& font = window.fonts[static_cast<int>(style)];
    if (!font) {
        int height = style == FontStyle::Bold16 ? 16 : 14;
        int weight = style == FontStyle::Normal ? FW_NORMAL : FW_BOLD;
        std::wstring face = Wide("微软雅黑");
        font.Reset(CreateFontW(-Scale(height), 0, 0, 0, weight, FALSE, FALSE, FALSE, GB2312_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
    }
    return font.Get();
}

}  // namespace detail

using namespace detail;

HWND CreateLayoutWindow(const WindowLayout& layout,
                        std::span<const EventBinding> events,
                        HWND owner) {
    RegisterClasses();
    InstallMessagePump();
    // A parent or binding that names no control is silently without effect: say so.
    for (const Text& name : UnknownLayoutNames(layout, events)) {
        Text line = "lanzifang: layout \"" + Text(layout.title ? layout.title : "") +
                    "\": no control for the " + name + "\n";
        OutputDebugStringA(line.c_str());
    }
    const wchar_t* className = layout.className ? layout.className : kSharedClass;
    if (!RegisterTopClass(className))
        return nullptr;

    auto* state = new WindowState;
    state->layout = &layout;
    state->events = events;
    state->backBrush.Reset(CreateSolidBrush(
        layout.backColour == kSystemColour ? GetSysColor(COLOR_BTNFACE) : layout.backColour));
    int id = 100;
    for (const ControlLayout& c : layout.controls) {
        auto control = std::make_unique<ControlState>();
        control->id = id++;
        control->layout = &c;
        control->window = state;
        control->textColour = c.textColour;
        control->backColour = c.backColour;
        control->interval = c.interval;
        state->controls.push_back(std::move(control));
    }

    DWORD style = WS_CLIPCHILDREN;
    DWORD exStyle = 0;
    switch (layout.border) {
        case WindowBorder::None:
            style |= WS_POPUP;
            break;
        case WindowBorder::FixedSingle:
            style |= WS_OVERLAPPED | WS_CAPTION;
            break;
        case WindowBorder::FixedFrame:
            style |= WS_OVERLAPPED | WS_CAPTION;
            exStyle |= WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE;
            break;
    }
    if (layout.border != WindowBorder::None && layout.systemMenu)
        style |= WS_SYSMENU;
    if (layout.border != WindowBorder::None && layout.minimiseBox)
        style |= WS_MINIMIZEBOX;
    if (layout.topMost)
        exStyle |= WS_EX_TOPMOST;
    if (!layout.taskbarButton && !owner)
        exStyle |= WS_EX_TOOLWINDOW;
    if (layout.taskbarButton && owner)
        exStyle |= WS_EX_APPWINDOW;

    int width = Scale(layout.width);
    int height = Scale(layout.height);
    int x = Scale(layout.left);
    int y = Scale(layout.top);
    if (layout.centred) {
        RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        HMONITOR monitor = MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY);
        MONITORINFO info = {sizeof(info)};
        if (GetMonitorInfoW(monitor, &info))
            work = info.rcWork;
        x = work.left + (work.right - work.left - width) / 2;
        y = work.top + (work.bottom - work.top - height) / 2;
    }

    std::wstring title = Wide(layout.title);
    HWND hwnd = CreateWindowExW(exStyle, className, title.c_str(), style, x, y, width, height,
                                owner, nullptr, GetModuleHandleW(nullptr), state);
    if (!hwnd) {
        LogLastError("CreateWindowExW");
        delete state;
        return nullptr;
    }
    ++g_liveWindows;
    if (layout.isMainWindow)
        g_mainWindow.store(hwnd);
    CreateChildren(*state, nullptr, hwnd);
    FireEvent(*state, nullptr, Event::Created);
    return hwnd;
}

void ShowLayoutWindow(HWND window) {
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    SetForegroundWindow(window);
    HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
    SetFocus(first && (GetWindowLongW(first, GWL_STYLE) & WS_TABSTOP) ? first : window);
}

void RunModal(HWND window) {
    WindowState* state = StateOf(window);
    if (!state)
        return;
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner && IsWindowEnabled(owner)) {
        state->modalOwner = owner;
        EnableWindow(owner, FALSE);
    }
    ShowLayoutWindow(window);
    MSG message;
    while (IsWindow(window)) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0)
            break;
        DispatchQueuedMessage(message);
    }
    if (owner && IsWindow(owner) && !IsWindowEnabled(owner)) {
        EnableWindow(owner, TRUE);
        SetForegroundWindow(owner);
    }
}

void CloseLayoutWindow(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
}

int RunMessageLoop() {
    MSG message;
    while (g_liveWindows > 0) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);
        if (got < 0)
            break;
        DispatchQueuedMessage(message);
    }
    return 0;
}

void DispatchQueuedMessage(MSG& message) {
    if (message.hwnd && message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) {
        HWND root = GetAncestor(message.hwnd, GA_ROOT);
        if (root && StateOf(root) && IsDialogMessageW(root, &message))
            return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

HWND MainWindow() {
    return g_mainWindow.load();
}

double LayoutScale() {
    static const double scale = [] {
        ScopedGetDc screen(nullptr);
        int dpi = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
        return dpi > 0 ? dpi / 96.0 : 1.0;
    }();
    return scale;
}

HWND ControlHandle(HWND window, const char* name) {
    HWND result = nullptr;
    OnWindowThread(window, [&](WindowState& state) {
        if (ControlState* control = FindControl(state, name))
            result = control->hwnd;
    });
    return result;
}

int LiveWindowCount() {
    return g_liveWindows;
}

}  // namespace ui
