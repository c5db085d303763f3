#include "app/ui/picture.h"

#include <png.h>

#include <cstring>

#include "app/ui/paint.h"

namespace ui {
namespace {

// Pictures come from the network too: refuse sizes that would exhaust a 32-bit process
// instead of trying to allocate them.
constexpr png_uint_32 kMaxSide = 16384;
constexpr std::size_t kMaxPixels = 40u * 1024 * 1024;

}  // namespace

Picture DecodePng(const std::uint8_t* data, std::size_t size) {
    Picture picture;
    if (!data || size == 0)
        return picture;
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size))
        return picture;
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide ||
        image.height > kMaxSide ||
        static_cast<std::size_t>(image.width) * image.height > kMaxPixels) {
        png_image_free(&image);
        return picture;
    }
    image.format = PNG_FORMAT_BGRA;  // little-endian 0xAARRGGBB words
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return picture;
    }
    picture.width = static_cast<int>(image.width);
    picture.height = static_cast<int>(image.height);
    picture.pixels = std::move(pixels);
    return picture;
}

namespace detail {

HBITMAP MakeBitmap(const Picture& picture, Colour background) {
    if (picture.Empty())
        return nullptr;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits)
        return nullptr;
    const std::uint32_t backR = background & 0xFF;
    const std::uint32_t backG = background >> 8 & 0xFF;
    const std::uint32_t backB = background >> 16 & 0xFF;
    auto* out = static_cast<std::uint32_t*>(bits);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        std::uint32_t p = picture.pixels[i];
        std::uint32_t a = p >> 24;
        if (a == 255) {
            out[i] = p & 0xFFFFFF;
            continue;
        }
        auto mix = [a](std::uint32_t fore, std::uint32_t back) {
            return (fore * a + back * (255 - a) + 127) / 255;
        };
        std::uint32_t r = mix(p >> 16 & 0xFF, backR);
        std::uint32_t g = mix(p >> 8 & 0xFF, backG);
        std::uint32_t b = mix(p & 0xFF, backB);
        out[i] = r << 16 | g << 8 | b;
    }
    GdiFlush();
    return bitmap;
}

}  // namespace detail
}  // namespace ui
