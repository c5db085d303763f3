// Renders preview pictures: a text in a font file at a pixel size, wrapped and centred in a
// picture of the given size, as an RGBA PNG.
#pragma once

#include <cstdint>
#include <string>

namespace lzf::server {

struct RenderRequest {
    std::string font_path;
    std::string text;  // UTF-8; "\n" starts a new line
    int font_size = 50;
    int width = 600;
    int height = 200;
    std::uint32_t colour = 0x000000;      // 0xRRGGBB
    std::uint32_t background = 0xFFFFFF;  // white is drawn transparent
};

// Bounds applied to every request.
constexpr int kMaxPictureSide = 4000;
constexpr std::int64_t kMaxPictureArea = 16'000'000;
constexpr int kMaxFontSize = 2000;

// Clamps size, width and height to the bounds (1..max; the height shrinks when the area would
// exceed kMaxPictureArea).
void ClampRenderRequest(RenderRequest* r);

// The PNG bytes, or an empty string with *error when the font cannot be used.
std::string RenderPreview(const RenderRequest& r, std::string* error);

// Encodes RGBA pixels (4 bytes per pixel, rows top to bottom) as a PNG.
std::string EncodePng(const std::uint8_t* rgba, int width, int height);

}  // namespace lzf::server
