// The skinned window frame: a subclass of each top-level captioned window that paints the
// existing non-client area (caption band, frame, caption buttons) in the current skin's colours
// and runs the caption buttons itself. The frame's geometry is the window's own, so the
// window's outer size and client area are unchanged.
#pragma once

#include <windows.h>

#include "decor/skin/skin_format.h"

namespace skin {

// The current look, its title font and whether a skin is attached (owned by the library).
struct Theme {
    SkinStyle style;
    HFONT titleFont;
    bool attached;
};
Theme& CurrentTheme();

// Whether a window of these styles gets a skinned frame: top-level, with a caption bar.
bool IsSkinCandidate(DWORD style, DWORD exStyle);

// Subclasses `window` (once). Returns whether it is skinned afterwards.
bool SkinWindow(HWND window);

// Puts the window's previous procedure back when the skin's procedure is still the window's
// own; otherwise the subclass stays and only passes messages on.
void UnskinWindow(HWND window);

bool IsWindowSkinned(HWND window);

// Repaints the non-client area of a skinned window now.
void RepaintFrame(HWND window);

}  // namespace skin
