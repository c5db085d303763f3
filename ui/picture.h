// Decoded pictures: PNG bytes decoded with libpng's simplified interface from memory into
// 32-bit top-down BGRA pixels with straight (not premultiplied) alpha.
#pragma once

#include <cstdint>
#include <vector>

#include "core/types.h"

namespace ui {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // 0xAARRGGBB per pixel, rows top to bottom

    bool Empty() const { return width == 0 || height == 0; }
};

// Decodes a PNG file held in memory. An empty Picture when the bytes are not a PNG picture.
Picture DecodePng(const std::uint8_t* data, std::size_t size);
inline Picture DecodePng(const Bytes& bytes) {
    return DecodePng(bytes.data(), bytes.size());
}

}  // namespace ui
