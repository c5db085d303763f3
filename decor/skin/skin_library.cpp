// The program's skin library: a DLL without a C runtime, mapped from memory by the program
// (module handle 0, never registered with the system loader). "SkinH_AttachRes" reads a skin
// data block and skins the captioned top-level windows of the calling thread, the ones it has
// now and the ones it creates later.
#include <windows.h>

#include "decor/skin/skin_format.h"
#include "decor/skin/skin_frame.h"

// The compiler may call these for copies and zero-filling; there is no runtime to supply them.
extern "C" {
void* memset(void* dest, int value, size_t count) {
    auto* d = static_cast<volatile unsigned char*>(dest);
    while (count--)
        *d++ = static_cast<unsigned char>(value);
    return dest;
}

void* memcpy(void* dest, const void* src, size_t count) {
    auto* d = static_cast<volatile unsigned char*>(dest);
    const auto* s = static_cast<const unsigned char*>(src);
    while (count--)
        *d++ = *s++;
    return dest;
}

void* memmove(void* dest, const void* src, size_t count) {
    auto* d = static_cast<volatile unsigned char*>(dest);
    const auto* s = static_cast<const unsigned char*>(src);
    if (d < s) {
        while (count--)
            *d++ = *s++;
    } else {
        while (count--)
            d[count] = s[count];
    }
    return dest;
}

int memcmp(const void* a, const void* b, size_t count) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < count; ++i) {
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    }
    return 0;
}
}

namespace skin {
namespace {

Theme theme;         // zero until the first attach
HHOOK creationHook;  // skins the windows the attaching thread creates later
DWORD hookThread;

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && theme.attached) {
        const auto* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        if (create && create->lpcs &&
            IsSkinCandidate(static_cast<DWORD>(create->lpcs->style), create->lpcs->dwExStyle))
            SkinWindow(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(creationHook, code, wParam, lParam);
}

BOOL CALLBACK SkinThreadWindow(HWND window, LPARAM) {
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    if (IsSkinCandidate(style, exStyle) && SkinWindow(window))
        RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    return TRUE;
}

BOOL CALLBACK UnskinProcessWindow(HWND window, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId())
        UnskinWindow(window);
    return TRUE;
}

void SetTitleFont(const SkinStyle& style) {
    HFONT font =
        CreateFontW(style.fontHeight, 0, 0, 0, style.fontWeight, FALSE, FALSE, FALSE,
                    GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                    DEFAULT_PITCH | FF_DONTCARE, reinterpret_cast<const wchar_t*>(style.fontFace));
    HFONT old = theme.titleFont;
    theme.titleFont = font;
    if (old)
        DeleteObject(old);
}

void DetachAll() {
    theme.attached = false;
    if (creationHook) {
        UnhookWindowsHookEx(creationHook);
        creationHook = nullptr;
        hookThread = 0;
    }
    EnumWindows(UnskinProcessWindow, 0);
    if (theme.titleFont) {
        DeleteObject(theme.titleFont);
        theme.titleFont = nullptr;
    }
}

}  // namespace

Theme& CurrentTheme() {
    return theme;
}

}  // namespace skin

extern "C" {

// Process attach and detach only (the program's loader calls nothing else). Detach takes the
// skin off every window first: the image is about to be released.
BOOL WINAPI DllEntry(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH)
        skin::DetachAll();
    return TRUE;
}

// Skins the calling thread's captioned top-level windows with the block `data` of `size`
// bytes, its colours moved by `hue` degrees, `saturation` and `lightness` percent. A block that
// does not parse changes nothing and gives 0; a skin already attached stays. The password is
// not used: the carried blocks are not protected.
__declspec(dllexport) int WINAPI SkinH_AttachRes(const unsigned char* data,
                                                 int size,
                                                 const char* password,
                                                 int hue,
                                                 int saturation,
                                                 int lightness) {
    (void)password;
    skin::SkinStyle style;
    if (size <= 0 || !skin::ParseSkin(data, static_cast<size_t>(size), &style))
        return 0;
    skin::AdjustSkinStyle(&style, hue, saturation, lightness);
    skin::Theme& theme = skin::CurrentTheme();
    theme.style = style;
    skin::SetTitleFont(style);
    theme.attached = true;
    const DWORD thread = GetCurrentThreadId();
    if (skin::creationHook && skin::hookThread != thread) {
        UnhookWindowsHookEx(skin::creationHook);
        skin::creationHook = nullptr;
    }
    if (!skin::creationHook) {
        skin::creationHook = SetWindowsHookExW(WH_CBT, skin::CreationHook, nullptr, thread);
        skin::hookThread = skin::creationHook ? thread : 0;
    }
    EnumThreadWindows(thread, skin::SkinThreadWindow, 0);
    return 1;
}

// Takes the skin off every window of the process; windows get their ordinary frame back.
__declspec(dllexport) int WINAPI SkinH_Detach() {
    skin::DetachAll();
    return 1;
}

}  // extern "C"
