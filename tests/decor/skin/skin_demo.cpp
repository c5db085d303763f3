// Opens a window shaped like the program's main window, decorated the way the program does it,
// so the skin and the shadow can be looked at:
//   decor_skin_demo [skin type 1-3] [seconds] [hover|inactive]
// "hover" puts the mouse over the close button, "inactive" opens a second window on top, "tip"
// a window like the tip window, "message" a message box.
// A light backdrop fills the screen behind the window (a bare X display is black).
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

#include "decor/decoration.h"

namespace {

int skinType = kStartupSkinType;

HFONT UiFont(int height, int weight) {
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, GB2312_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                       L"微软雅黑");
}

HWND Child(HWND parent,
           const wchar_t* kind,
           const wchar_t* text,
           DWORD style,
           int x,
           int y,
           int w,
           int h,
           HFONT font,
           DWORD exStyle = 0) {
    HWND c = CreateWindowExW(exStyle, kind, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                             nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return c;
}

void BuildControls(HWND window) {
    HFONT normal = UiFont(14, 400);
    HFONT bold = UiFont(14, 700);
    Child(window, L"Button", L"打赏", 0, 666, 1, 56, 26, normal);
    Child(window, L"Static", L"查找字体：", 0, 139, 16, 62, 20, bold);
    Child(window, L"Edit", L"泼墨字体", ES_CENTER | WS_BORDER, 204, 14, 91, 23, bold);
    Child(window, L"Button", L"查找", 0, 296, 14, 40, 23, bold);
    HWND list = Child(window, WC_LISTVIEWW, L"", LVS_REPORT | WS_BORDER, 4, 44, 330, 418, normal);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = 230;
    column.pszText = const_cast<wchar_t*>(L"字体名称");
    ListView_InsertColumn(list, 0, &column);
    column.cx = 80;
    column.pszText = const_cast<wchar_t*>(L"ID");
    ListView_InsertColumn(list, 1, &column);
    Child(window, L"Button", L"字体设置", BS_GROUPBOX, 342, 40, 380, 130, normal);
    Child(window, L"Button", L"内容区", BS_GROUPBOX, 342, 173, 380, 116, normal);
    Child(window, L"Edit", L"请输入内容", ES_MULTILINE, 349, 198, 365, 84, normal,
          WS_EX_STATICEDGE);
    Child(window, L"Button", L"预览字体", 0, 342, 294, 88, 28, bold);
    Child(window, L"Button", L"字体下载", 0, 543, 294, 88, 28, bold);
    Child(window, L"Button", L"图片下载", 0, 633, 294, 88, 28, bold);
    Child(window, L"Static", L"", SS_GRAYRECT, 342, 328, 380, 135, normal);
    Child(window, L"Button", L"下载字加软件", 0, 633, 465, 88, 21, normal);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            BuildControls(window);
            ApplyWindowDecoration(skinType, window);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc > 1)
        skinType = std::atoi(__argv[1]);
    const int seconds = __argc > 2 ? std::atoi(__argv[2]) : 10;
    const char* mode = __argc > 3 ? __argv[3] : "";

    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    LoadCarriedSkinLibrary();

    WNDCLASSW backdrop = {};
    backdrop.lpfnWndProc = DefWindowProcW;
    backdrop.hInstance = instance;
    backdrop.lpszClassName = L"LzfDemoBackdrop";
    backdrop.hbrBackground = CreateSolidBrush(RGB(0xD8, 0xDC, 0xE0));
    RegisterClassW(&backdrop);
    CreateWindowExW(0, L"LzfDemoBackdrop", L"", WS_POPUP | WS_VISIBLE | WS_DISABLED, 0, 0,
                    GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                    instance, nullptr);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = instance;
    wc.lpszClassName = L"QMVK";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = CreateSolidBrush(RGB(255, 255, 255));
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, L"QMVK", L"览字坊",
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 50, 50,
                                  734, 517, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    if (std::strcmp(mode, "hover") == 0) {
        RECT r;
        GetWindowRect(window, &r);
        SetCursorPos(r.right - 18, r.top + 10);
    } else if (std::strcmp(mode, "tip") == 0) {
        HWND tip =
            CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                            L"LzfDemoBackdrop", L"  微信打赏  -  你的支持是我努力的动力",
                            WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 420, 200, 330, 473, nullptr,
                            nullptr, instance, nullptr);
        ShowWindow(tip, SW_SHOWNORMAL);
    } else if (std::strcmp(mode, "message") == 0) {
        SetTimer(nullptr, 0, seconds * 1000, nullptr);
        MessageBoxW(window, L"请先初始化字体", L"字体查找", MB_ICONINFORMATION | MB_TASKMODAL);
        return 0;
    } else if (std::strcmp(mode, "inactive") == 0) {
        HWND other =
            CreateWindowExW(0, L"QMVK", L"另一个窗口", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 500,
                            380, 400, 260, nullptr, nullptr, instance, nullptr);
        ShowWindow(other, SW_SHOWNORMAL);
    }

    SetTimer(nullptr, 0, seconds * 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr)
            break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
