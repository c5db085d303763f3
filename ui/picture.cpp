#include "ui/picture.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "ui/paint.h"

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

namespace {

// A top-down 32-bit DIB section of `width` x `height`; *bits receives its pixels.
OwnedBitmap NewBitmap(int width, int height, std::uint32_t** bits) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* memory = nullptr;
    OwnedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0));
    if (!memory)
        bitmap.Reset();
    *bits = static_cast<std::uint32_t*>(memory);
    return bitmap;
}

// `count` pixels laid over the background (alpha applied): 0x00RRGGBB each.
void Compose(const std::uint32_t* pixels,
             std::size_t count,
             Colour background,
             std::uint32_t* out) {
    const std::uint32_t backR = background & 0xFF;
    const std::uint32_t backG = background >> 8 & 0xFF;
    const std::uint32_t backB = background >> 16 & 0xFF;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t p = pixels[i];
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
}

// How the source pixels of one line fall onto `to` target pixels: target pixel t averages
// `count[t]` source pixels from `first[t]` on, weighted by how much of each it covers, with the
// weights from `offset[t]` in `weight` in 16 fraction bits (a target pixel's add up to 65536).
struct Coverage {
    std::vector<int> first, count, offset;
    std::vector<std::uint32_t> weight;
};

Coverage CoverageOf(int from, int to) {
    Coverage c;
    c.first.resize(to);
    c.count.resize(to);
    c.offset.resize(to);
    for (int t = 0; t < to; ++t) {
        // In units where a target pixel is `from` long and a source pixel `to`.
        const long long begin = static_cast<long long>(t) * from;
        const long long end = begin + from;
        int s = static_cast<int>(begin / to);
        c.first[t] = s;
        c.offset[t] = static_cast<int>(c.weight.size());
        long long covered = 0;
        std::uint32_t given = 0;
        for (; s < from && static_cast<long long>(s) * to < end; ++s) {
            const long long lo = std::max(begin, static_cast<long long>(s) * to);
            const long long hi = std::min(end, static_cast<long long>(s + 1) * to);
            covered += hi - lo;
            // Rounded running totals, so that the weights add up to exactly 65536.
            const auto total = static_cast<std::uint32_t>((covered * 65536 + from / 2) / from);
            c.weight.push_back(total - given);
            given = total;
        }
        c.count[t] = static_cast<int>(c.weight.size()) - c.offset[t];
    }
    return c;
}

}  // namespace

OwnedBitmap MakeBitmap(const Picture& picture, Colour background) {
    if (picture.Empty())
        return {};
    std::uint32_t* bits = nullptr;
    OwnedBitmap bitmap = NewBitmap(picture.width, picture.height, &bits);
    if (!bitmap)
        return {};
    Compose(picture.pixels.data(), picture.pixels.size(), background, bits);
    GdiFlush();
    return bitmap;
}

OwnedBitmap MakeShrunkBitmap(const Picture& picture, Colour background, int width, int height) {
    if (picture.Empty() || width < 1 || height < 1 || width > picture.width ||
        height > picture.height)
        return {};
    const int sw = picture.width, sh = picture.height;
    const Coverage across = CoverageOf(sw, width);
    const Coverage down = CoverageOf(sh, height);

    // Each target pixel is the average of the source area it covers, line by line and then
    // column by column, in integers only: the lines keep 8 fraction bits in between, and the
    // column sums reach at most 65280 x 65536 + 2^23, within 32 bits. A source line is laid
    // over the background just before it is averaged, in a buffer of one line. A line with no
    // visible pixel (most of a rendered sample text) averages to the background itself, as
    // does a target line made of such lines alone, since a target pixel's weights add up to
    // exactly 65536; both are filled in directly.
    const std::size_t lineValues = static_cast<std::size_t>(width) * 3;
    std::unique_ptr<std::uint16_t[]> lines(new std::uint16_t[lineValues * sh]);
    std::vector<std::uint32_t> row(sw);
    std::vector<bool> blank(sh);
    const auto backB = static_cast<std::uint16_t>((background >> 16 & 0xFF) << 8);
    const auto backG = static_cast<std::uint16_t>((background >> 8 & 0xFF) << 8);
    const auto backR = static_cast<std::uint16_t>((background & 0xFF) << 8);
    for (int y = 0; y < sh; ++y) {
        const std::uint32_t* source = picture.pixels.data() + static_cast<std::size_t>(y) * sw;
        std::uint16_t* out = lines.get() + static_cast<std::size_t>(y) * lineValues;
        bool visible = false;
        for (int x = 0; x < sw && !visible; ++x)
            visible = (source[x] >> 24) != 0;
        if (!visible) {
            blank[y] = true;
            for (int x = 0; x < width; ++x) {
                out[x * 3] = backB;
                out[x * 3 + 1] = backG;
                out[x * 3 + 2] = backR;
            }
            continue;
        }
        Compose(source, sw, background, row.data());
        for (int x = 0; x < width; ++x) {
            const std::uint32_t* p = row.data() + across.first[x];
            const std::uint32_t* w = across.weight.data() + across.offset[x];
            std::uint32_t b = 0, g = 0, r = 0;
            for (int k = 0; k < across.count[x]; ++k) {
                b += (p[k] & 0xFF) * w[k];
                g += (p[k] >> 8 & 0xFF) * w[k];
                r += (p[k] >> 16 & 0xFF) * w[k];
            }
            out[x * 3] = static_cast<std::uint16_t>((b + 128) >> 8);
            out[x * 3 + 1] = static_cast<std::uint16_t>((g + 128) >> 8);
            out[x * 3 + 2] = static_cast<std::uint16_t>((r + 128) >> 8);
        }
    }
    std::uint32_t* bits = nullptr;
    OwnedBitmap bitmap = NewBitmap(width, height, &bits);
    if (!bitmap)
        return {};
    std::vector<std::uint32_t> sums(lineValues);
    const std::uint32_t backPixel =
        (background & 0xFF) << 16 | (background & 0xFF00) | (background >> 16 & 0xFF);
    for (int y = 0; y < height; ++y) {
        std::uint32_t* out = bits + static_cast<std::size_t>(y) * width;
        bool allBlank = true;
        for (int k = 0; k < down.count[y] && allBlank; ++k)
            allBlank = blank[down.first[y] + k];
        if (allBlank) {
            std::fill(out, out + width, backPixel);
            continue;
        }
        std::fill(sums.begin(), sums.end(), 1u << 23);
        for (int k = 0; k < down.count[y]; ++k) {
            const std::uint32_t w = down.weight[down.offset[y] + k];
            const std::uint16_t* line =
                lines.get() + static_cast<std::size_t>(down.first[y] + k) * lineValues;
            for (std::size_t i = 0; i < lineValues; ++i)
                sums[i] += line[i] * w;
        }
        for (int x = 0; x < width; ++x)
            out[x] =
                sums[x * 3] >> 24 | (sums[x * 3 + 1] >> 24) << 8 | (sums[x * 3 + 2] >> 24) << 16;
    }
    GdiFlush();
    return bitmap;
}

}  // namespace detail
}  // namespace ui
