// The 35 pictures of the start-up animation, carried in the program as PNG files
// (495 x 331, RGBA), in the order they are shown.
#pragma once

#include "core/embedded_blob.h"

inline constexpr int kAnimationFrameCount = 35;
inline constexpr int kAnimationFrameWidth = 495;
inline constexpr int kAnimationFrameHeight = 331;

// The PNG bytes of frame `frame` (1 ... 35); an empty blob for any other number.
EmbeddedBlob AnimationFrame(int frame);

// All 35 frames as one block: they lie back to back in the program's data, in display order,
// with nothing else between them.
EmbeddedBlob AnimationFramesBlock();
