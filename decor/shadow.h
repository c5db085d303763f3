// The soft drop shadow around a top-level window: a click-through, per-pixel-alpha popup a few
// pixels larger than its owner on every side, with a fully transparent middle, that follows the
// owner when it moves, is resized, shown or hidden. All state lives in window properties:
//   "Comet.WndShadow"        on the owner: its shadow window
//   "Comet.WndShadow.Proc"   on the owner: its previous window procedure while subclassed
//   "Comet.WndShadow.Color"  on the shadow: colour, 0x00BBGGRR
//   "Comet.WndShadow.Size"   on the shadow: ring count in pixels (>= 1)
// Window thread only. GDI+ must be running (StartGdiPlus) before a shadow is drawn.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "core/types.h"

inline constexpr wchar_t kShadowProperty[] = L"Comet.WndShadow";
inline constexpr wchar_t kShadowProcProperty[] = L"Comet.WndShadow.Proc";
inline constexpr wchar_t kShadowColourProperty[] = L"Comet.WndShadow.Color";
inline constexpr wchar_t kShadowSizeProperty[] = L"Comet.WndShadow.Size";

// Ring count used when CreateWindowShadow is given no size.
inline constexpr int kDefaultShadowSize = 5;

// Gives `owner` a shadow of `colour` and `size` rings (5 when omitted), or changes the colour
// and size of the one it has. A size below 1 removes the shadow and restores the owner's window
// procedure. Returns true when the owner has a shadow afterwards; false for a removal or when
// `owner` is not a window.
bool CreateWindowShadow(HWND owner, Colour colour, std::optional<int> size = std::nullopt);

// Removes the shadow of `owner` (if any) and puts its previous window procedure back.
void RemoveWindowShadow(HWND owner);

// Repositions, redraws, shows or hides the shadow of `owner`. Without `visible` the owner's own
// visibility decides. A maximised or minimised owner has its shadow hidden.
void UpdateWindowShadow(HWND owner, std::optional<bool> visible = std::nullopt);

// Paints the shadow bitmap at width x height (0 for either: the shadow window's own size) and
// hands it to the shadow window.
void DrawWindowShadow(HWND owner, int width, int height);

// The owner's replacement window procedure: chains to the previous one, then keeps the shadow
// in step on WM_MOVE, WM_SIZE and WM_SHOWWINDOW.
LRESULT CALLBACK ShadowOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The shadow window of `owner`, or null.
HWND ShadowWindowOf(HWND owner);

// 0xAARRGGBB of `colour` with `alpha` in the top byte.
constexpr std::uint32_t ColourToArgb(Colour colour, std::uint32_t alpha) {
    return (alpha << 24) | ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

// Alpha of ring `ring` (1 = outermost) of a shadow of `size` rings.
int ShadowRingAlpha(int size, int ring);

// The shadow bitmap exactly as DrawWindowShadow pushes it: width x height pixels, top row
// first, premultiplied 0xAARRGGBB, painted by GDI+ (rings in `colour`, the middle where the
// owner lies left at 0). Empty when a dimension is below 1 or GDI+ cannot paint.
std::vector<std::uint32_t> PaintShadowPixels(int width, int height, Colour colour, int size);
