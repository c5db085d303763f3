// The carried animation frames: what the animation window and its timing rely on.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "resources/frames/frames.h"

namespace {

constexpr std::size_t kMinBytes = 44412;
constexpr std::size_t kMaxBytes = 89580;

TEST(AnimationFrames, ThirtyFiveDistinctFramesWithinTheSizeRange) {
    std::set<std::string> seen;
    for (int k = 1; k <= kAnimationFrameCount; ++k) {
        EmbeddedBlob png = AnimationFrame(k);
        ASSERT_NE(png.data, nullptr) << "frame " << k;
        EXPECT_GE(png.size, kMinBytes) << "frame " << k;
        EXPECT_LE(png.size, kMaxBytes) << "frame " << k;
        seen.insert(std::string(reinterpret_cast<const char*>(png.data), png.size));
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kAnimationFrameCount));
    EXPECT_EQ(AnimationFrame(0).size, 0u);
    EXPECT_EQ(AnimationFrame(36).size, 0u);
}

// The start-up hands the block's pages back to the system after the last frame: it must hold
// every frame and nothing else, or other data would share those pages.
TEST(AnimationFrames, TheBlockHoldsEveryFrameBackToBackAndNothingElse) {
    const EmbeddedBlob block = AnimationFramesBlock();
    const unsigned char* end = block.data + block.size;
    std::size_t frameBytes = 0;
    for (int k = 1; k <= kAnimationFrameCount; ++k) {
        EmbeddedBlob png = AnimationFrame(k);
        EXPECT_GE(png.data, block.data) << "frame " << k;
        EXPECT_LE(png.data + png.size, end) << "frame " << k;
        frameBytes += png.size;
    }
    EXPECT_EQ(AnimationFrame(1).data, block.data);
    EXPECT_EQ(AnimationFrame(kAnimationFrameCount).data + AnimationFrame(kAnimationFrameCount).size,
              end);
    // Between two frames at most their alignment padding.
    EXPECT_LE(block.size, frameBytes + 16u * kAnimationFrameCount);
}

struct Decoded {
    png_uint_32 width = 0, height = 0;
    png_uint_32 format = 0;
    std::vector<png_byte> rgba;
};

Decoded Decode(const EmbeddedBlob& blob) {
    Decoded out;
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, blob.data, blob.size))
        return out;
    out.width = image.width;
    out.height = image.height;
    out.format = image.format;
    image.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr))
        out.rgba.clear();
    return out;
}

TEST(AnimationFrames, EachIsA495By331PictureWithRealTransparency) {
    std::vector<png_byte> previous;
    for (int k = 1; k <= kAnimationFrameCount; ++k) {
        Decoded frame = Decode(AnimationFrame(k));
        ASSERT_FALSE(frame.rgba.empty()) << "frame " << k << " does not decode";
        EXPECT_EQ(frame.width, static_cast<png_uint_32>(kAnimationFrameWidth));
        EXPECT_EQ(frame.height, static_cast<png_uint_32>(kAnimationFrameHeight));
        EXPECT_TRUE(frame.format & PNG_FORMAT_FLAG_ALPHA) << "frame " << k;
        // The corners lie outside the paper: fully transparent. The paper's middle is opaque
        // once it has faded in, and its edges and shadow are partly transparent.
        std::size_t opaque = 0, clear = 0, partial = 0;
        for (std::size_t i = 3; i < frame.rgba.size(); i += 4) {
            png_byte a = frame.rgba[i];
            (a == 255 ? opaque : a == 0 ? clear : partial)++;
        }
        EXPECT_EQ(frame.rgba[3], 0) << "frame " << k;
        EXPECT_EQ(frame.rgba[frame.rgba.size() - 1], 0) << "frame " << k;
        EXPECT_GT(partial, 2000u) << "frame " << k;
        if (k >= 5) {
            EXPECT_GT(opaque, frame.rgba.size() / 4 / 2) << "frame " << k;
        }
        // Consecutive frames differ in their pictures, not only in their bytes.
        if (!previous.empty()) {
            std::size_t changed = 0;
            for (std::size_t i = 0; i < frame.rgba.size(); ++i)
                changed += frame.rgba[i] != previous[i];
            EXPECT_GT(changed, 500u) << "frames " << k - 1 << " and " << k;
        }
        previous = std::move(frame.rgba);
    }
}

}  // namespace
