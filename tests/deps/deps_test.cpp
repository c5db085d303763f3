// The third-party libraries as this build links them: libpng's simplified reader from memory,
// a PCRE2 16-bit match through the JIT, a Duktape evaluation.
#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <vector>

#include "duktape.h"
#include "pcre2.h"

namespace {

// A 2 x 1 RGBA PNG: one red pixel, one half-transparent blue one.
std::vector<unsigned char> TinyPng() {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_RGBA;
    const unsigned char pixels[] = {255, 0, 0, 255, 0, 0, 255, 128};
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, nullptr));
    std::vector<unsigned char> bytes(size);
    EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels, 0, nullptr));
    bytes.resize(size);
    return bytes;
}

TEST(Dependencies, LibpngDecodesFromMemory) {
    std::vector<unsigned char> png = TinyPng();
    ASSERT_GT(png.size(), 8u);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    EXPECT_EQ(image.width, 2u);
    EXPECT_EQ(image.height, 1u);
    image.format = PNG_FORMAT_BGRA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    EXPECT_EQ(pixels, (std::vector<unsigned char>{0, 0, 255, 255, 255, 0, 0, 128}));
}

TEST(Dependencies, Pcre2SixteenBitMatchRunsThroughTheJit) {
    const char16_t pattern[] = u"(\\d+)字";
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED,
                                     0, &error, &offset, nullptr);
    ASSERT_NE(code, nullptr);
    ASSERT_EQ(pcre2_jit_compile(code, PCRE2_JIT_COMPLETE), 0);
    const char16_t subject[] = u"第123字";
    pcre2_match_data* match = pcre2_match_data_create_from_pattern(code, nullptr);
    int rc = pcre2_jit_match(code, reinterpret_cast<PCRE2_SPTR>(subject), 6, 0, 0, match, nullptr);
    EXPECT_EQ(rc, 2);
    PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match);
    EXPECT_EQ(ovector[2], 1u);
    EXPECT_EQ(ovector[3], 4u);
    pcre2_match_data_free(match);
    pcre2_code_free(code);
}

TEST(Dependencies, DuktapeEvaluatesAnExpression) {
    duk_context* ctx = duk_create_heap_default();
    ASSERT_NE(ctx, nullptr);
    duk_eval_string(ctx, "JSON.stringify({a: [1, 2 + 3]})");
    EXPECT_STREQ(duk_get_string(ctx, -1), "{\"a\":[1,5]}");
    duk_destroy_heap(ctx);
}

}  // namespace
