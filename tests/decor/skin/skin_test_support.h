// Windows, screen pixels and synthetic input for the skin tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "decor/skin/skin_format.h"
#include "tests/support/window_test_support.h"

namespace skintest {

// A window like the program's main one: 734 x 517, fixed single border with caption bar,
// system menu and minimise button, white client area, titled "览字坊".
HWND CreateMainLikeWindow(int left = 60, int top = 60, const wchar_t* title = L"览字坊");

// Messages seen by every window CreateMainLikeWindow made.
struct Seen {
    int closes = 0;
    int enterMenuLoops = 0;
    int exitMenuLoops = 0;
    int destroys = 0;
};
Seen& SeenMessages();

using testsupport::Pump;
// Pumps messages until `condition` holds or `timeoutMs` passes; returns the condition.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 3000) {
    return testsupport::PumpUntil(condition, static_cast<DWORD>(timeoutMs));
}

// Where the caption band and the client area of a window lie, in window coordinates, as the
// skin library works them out.
struct Frame {
    RECT window;  // screen
    RECT client;  // window coordinates
    int captionTop;
    int captionBottom;
};
Frame FrameOf(HWND window);

// The colour on the screen at a point of the window (window coordinates).
COLORREF ScreenPixel(HWND window, int x, int y);
// Pumps until the screen shows `colour` there (give it time to reach the display).
bool WaitForPixel(HWND window, int x, int y, COLORREF colour, int timeoutMs = 3000);
// Pixels of a window rectangle on the screen whose colour is within `tolerance` of `colour`.
int CountPixels(HWND window, const RECT& area, COLORREF colour, int tolerance = 40);

// Synthetic input through SendInput (screen coordinates).
void MoveMouse(int x, int y);
void LeftDown();
void LeftUp();
void Key(WORD vk, bool up);

// The carried skin data block of a type, parsed.
skin::SkinStyle CarriedStyle(int type);

// A skin data block holding `style` (colours, font and metrics records).
std::vector<std::uint8_t> EncodeSkin(const skin::SkinStyle& style);

}  // namespace skintest
