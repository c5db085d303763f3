// Decodes PNG bytes to RGBA for the service's tests.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;  // empty when the bytes are no PNG

    const std::uint8_t* At(int x, int y) const {
        return &rgba[(static_cast<size_t>(y) * width + x) * 4];
    }
    // Pixels whose RGBA equals the given value exactly.
    int Count(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) const {
        int n = 0;
        for (size_t i = 0; i + 3 < rgba.size(); i += 4)
            n += rgba[i] == r && rgba[i + 1] == g && rgba[i + 2] == b && rgba[i + 3] == a;
        return n;
    }
};

inline DecodedPicture DecodePng(const std::string& bytes) {
    DecodedPicture out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
        return out;
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return out;
    }
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgba = std::move(pixels);
    return out;
}
