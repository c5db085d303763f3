// Drawing helpers shared by the framework's controls.
#pragma once

#include <windows.h>

#include "core/types.h"
#include "ui/handles.h"
#include "ui/picture.h"

namespace ui::detail {

// A 32-bit DIB section of the picture laid over `background` (its alpha applied). nullptr when
// the picture is empty or no bitmap could be made.
OwnedBitmap MakeBitmap(const Picture& picture, Colour background);
// The same, shrunk to `width` x `height` (each pixel the average of the area it covers), for
// drawing a large picture into a smaller box without stretching it at every paint. nullptr
// when either side would grow or no bitmap could be made.
OwnedBitmap MakeShrunkBitmap(const Picture& picture, Colour background, int width, int height);

struct ControlState;

// The brush a container paints its background with: the window's, or the container's own
// colour, or that of the container it sits in.
HBRUSH ContainerBrush(HWND container);
// Paints a group box, frame or picture box.
void Paint(ControlState& control, HDC dc);
// Draws a flat button in the look of its state (WM_DRAWITEM).
void DrawFlatButton(ControlState& control, const DRAWITEMSTRUCT& item);
// Draws a visible flat button on its window at once, enabled or not as `enabled` says.
void RedrawFlatButton(ControlState& control, bool enabled);

}  // namespace ui::detail
