// Drawing helpers shared by the framework's controls.
#pragma once

#include <windows.h>

#include "app/ui/picture.h"
#include "core/types.h"

namespace ui::detail {

// A 32-bit DIB section of the picture laid over `background` (its alpha applied). nullptr when
// the picture is empty or no bitmap could be made. The caller deletes it.
HBITMAP MakeBitmap(const Picture& picture, Colour background);

}  // namespace ui::detail
