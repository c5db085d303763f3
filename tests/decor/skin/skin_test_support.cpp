#include "skin_test_support.h"

#include <cstdlib>

#include "decor/decoration.h"

namespace skintest {
namespace {

constexpr wchar_t kClass[] = L"LzfSkinTestMain";

LRESULT CALLBACK MainLikeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            ++SeenMessages().closes;
            break;
        case WM_ENTERMENULOOP:
            ++SeenMessages().enterMenuLoops;
            break;
        case WM_EXITMENULOOP:
            ++SeenMessages().exitMenuLoops;
            break;
        case WM_DESTROY:
            ++SeenMessages().destroys;
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Send(INPUT input) {
    SendInput(1, &input, sizeof(input));
}

}  // namespace

Seen& SeenMessages() {
    static Seen seen;
    return seen;
}

HWND CreateMainLikeWindow(int left, int top, const wchar_t* title) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = MainLikeProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClass;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        registered = RegisterClassW(&wc) != 0;
    }
    HWND window =
        CreateWindowExW(0, kClass, title, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                        left, top, 734, 517, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window) {
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
        SetForegroundWindow(window);
        Pump();
    }
    return window;
}

Frame FrameOf(HWND window) {
    Frame f = {};
    GetWindowRect(window, &f.window);
    RECT cr;
    GetClientRect(window, &cr);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    f.client.left = origin.x - f.window.left;
    f.client.top = origin.y - f.window.top;
    f.client.right = f.client.left + cr.right;
    f.client.bottom = f.client.top + cr.bottom;
    f.captionTop = 1;
    f.captionBottom = f.client.top;
    return f;
}

COLORREF ScreenPixel(HWND window, int x, int y) {
    RECT r;
    GetWindowRect(window, &r);
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, r.left + x, r.top + y);
    ReleaseDC(nullptr, screen);
    return c;
}

bool WaitForPixel(HWND window, int x, int y, COLORREF colour, int timeoutMs) {
    return WaitFor([&] { return ScreenPixel(window, x, y) == colour; }, timeoutMs);
}

int CountPixels(HWND window, const RECT& area, COLORREF colour, int tolerance) {
    RECT r;
    GetWindowRect(window, &r);
    const int w = area.right - area.left;
    const int h = area.bottom - area.top;
    if (w <= 0 || h <= 0)
        return 0;
    // One copy of the area, then counting in memory: reading the screen pixel by pixel is slow.
    const testsupport::Capture shot = testsupport::CaptureScreen(
        {r.left + area.left, r.top + area.top, r.left + area.right, r.top + area.bottom});
    int n = 0;
    for (const std::uint32_t p : shot.pixels) {  // 0x00RRGGBB
        const int red = (p >> 16) & 0xFF;
        const int green = (p >> 8) & 0xFF;
        const int blue = p & 0xFF;
        if (std::abs(red - GetRValue(colour)) <= tolerance &&
            std::abs(green - GetGValue(colour)) <= tolerance &&
            std::abs(blue - GetBValue(colour)) <= tolerance)
            ++n;
    }
    return n;
}

void MoveMouse(int x, int y) {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((x * 65535.0) / (GetSystemMetrics(SM_CXSCREEN) - 1) + 0.5);
    in.mi.dy = static_cast<LONG>((y * 65535.0) / (GetSystemMetrics(SM_CYSCREEN) - 1) + 0.5);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    Send(in);
}

void LeftDown() {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    Send(in);
}

void LeftUp() {
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    Send(in);
}

void Key(WORD vk, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    Send(in);
}

skin::SkinStyle CarriedStyle(int type) {
    skin::SkinStyle style;
    skin::DefaultSkinStyle(&style);
    const EmbeddedBlob block = CarriedSkinData(type);
    skin::ParseSkin(block.data, block.size, &style);
    return style;
}

namespace {

void PutU16(std::vector<std::uint8_t>& b, unsigned v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}

void PutU32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back((v >> (8 * i)) & 0xFF);
}

}  // namespace

std::vector<std::uint8_t> EncodeSkin(const skin::SkinStyle& style) {
    std::vector<std::uint8_t> body;
    PutU16(body, skin::kRecordColours);
    PutU16(body, 4 * skin::kSkinColourCount);
    for (std::uint32_t c : style.colours)
        PutU32(body, c);
    int faceLength = 0;
    while (faceLength < skin::kMaxFaceName && style.fontFace[faceLength] != 0)
        ++faceLength;
    PutU16(body, skin::kRecordFont);
    PutU16(body, 4 + 2 * faceLength);
    PutU16(body, static_cast<std::uint16_t>(style.fontHeight));
    PutU16(body, style.fontWeight);
    for (int i = 0; i < faceLength; ++i)
        PutU16(body, style.fontFace[i]);
    PutU16(body, skin::kRecordMetrics);
    PutU16(body, 4);
    body.insert(body.end(),
                {style.buttonWidth, style.glyphSize, style.titleAlignment, style.titlePadding});
    std::vector<std::uint8_t> block = {'.', 'S', 'H', 'E'};
    PutU16(block, skin::kFormatVersion);
    PutU16(block, 3);
    PutU32(block, static_cast<std::uint32_t>(16 + body.size()));
    PutU32(block, skin::SkinHash(body.data(), body.size()));
    block.insert(block.end(), body.begin(), body.end());
    return block;
}

}  // namespace skintest
