// The skin data format: the carried blocks, damaged blocks and colour adjustment.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decor/skin/skin_format.h"
#include "embedded/decor_skin_format_test.h"

namespace {

using skin::ParseSkin;
using skin::SkinStyle;
using Block = std::vector<std::uint8_t>;

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r | (g << 8) | (b << 16);
}

void PutU16(Block& b, std::uint16_t v) {
    b.push_back(v & 0xFF);
    b.push_back(v >> 8);
}

void PutU32(Block& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.push_back((v >> (8 * i)) & 0xFF);
}

struct Record {
    std::uint16_t tag;
    Block payload;
};

Block Colours(std::initializer_list<std::uint32_t> colours) {
    Block b;
    for (std::uint32_t c : colours)
        PutU32(b, c);
    return b;
}

Block Font(std::int16_t height, std::uint16_t weight, const std::u16string& face) {
    Block b;
    PutU16(b, static_cast<std::uint16_t>(height));
    PutU16(b, weight);
    for (char16_t c : face)
        PutU16(b, c);
    return b;
}

// A block as the generator writes it; `records` overrides the record count in the header.
Block Build(const std::vector<Record>& recs, int records = -1, std::uint16_t version = 1) {
    Block body;
    for (const Record& r : recs) {
        PutU16(body, r.tag);
        PutU16(body, static_cast<std::uint16_t>(r.payload.size()));
        body.insert(body.end(), r.payload.begin(), r.payload.end());
    }
    Block b = {'.', 'S', 'H', 'E'};
    PutU16(b, version);
    PutU16(b, static_cast<std::uint16_t>(records < 0 ? recs.size() : records));
    PutU32(b, static_cast<std::uint32_t>(16 + body.size()));
    PutU32(b, skin::SkinHash(body.data(), body.size()));
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// Parses from an exact-size heap copy, so that a read past the end is caught by the sanitizer.
bool Parse(const Block& block, SkinStyle* style) {
    std::vector<std::uint8_t> exact(block);
    return ParseSkin(exact.empty() ? nullptr : exact.data(), exact.size(), style);
}

Block Carried(int type) {
    const EmbeddedBlob blobs[] = {skin_block_1_blob(), skin_block_2_blob(), skin_block_3_blob()};
    const EmbeddedBlob& b = blobs[type - 1];
    return Block(b.data, b.data + b.size);
}

TEST(SkinFormat, CarriedBlocksParse) {
    for (int type = 1; type <= 3; ++type) {
        const Block block = Carried(type);
        ASSERT_GE(block.size(), 16u);
        EXPECT_EQ(0, std::memcmp(block.data(), ".SHE", 4));
        SkinStyle style;
        ASSERT_TRUE(Parse(block, &style)) << "type " << type;
        EXPECT_EQ(std::u16string(u"微软雅黑"), std::u16string(style.fontFace)) << type;
        EXPECT_EQ(34, style.buttonWidth);
        EXPECT_EQ(type == 3 ? skin::kTitleCentred : skin::kTitleLeft, style.titleAlignment);
        EXPECT_NE(style.colours[skin::kCaptionActive], style.colours[skin::kTitleActive]);
    }
    SkinStyle two;
    ASSERT_TRUE(Parse(Carried(2), &two));
    EXPECT_EQ(Rgb(0x1A, 0x94, 0xFF), two.colours[skin::kCaptionActive]);
    EXPECT_EQ(700, two.fontWeight);
}

TEST(SkinFormat, DamagedBlocksAreRefused) {
    const Block good = Build({{skin::kRecordColours, Colours({0x112233, 0x445566})},
                              {skin::kRecordFont, Font(-14, 400, u"Arial")},
                              {skin::kRecordMetrics, {30, 9, 0, 6}}});
    SkinStyle style;
    ASSERT_TRUE(Parse(good, &style));

    struct Case {
        const char* what;
        Block block;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"header only, 15 bytes", Block(good.begin(), good.begin() + 15)});
    cases.push_back({"one byte short", Block(good.begin(), good.end() - 1)});
    Block magic = good;
    magic[1] = 's';
    cases.push_back({"magic", magic});
    cases.push_back({"version 2", Build({{skin::kRecordColours, Colours({1})}}, -1, 2)});
    Block hash = good;
    hash[20] ^= 0x40;
    cases.push_back({"changed byte", hash});
    Block small = good;
    small[8] = 12;  // declared size below the header
    small[9] = small[10] = small[11] = 0;
    cases.push_back({"size below header", small});
    cases.push_back(
        {"more records than present", Build({{skin::kRecordColours, Colours({1, 2})}}, 2)});
    cases.push_back({"no colours", Build({{skin::kRecordFont, Font(-12, 400, u"A")}})});
    cases.push_back({"empty colours", Build({{skin::kRecordColours, {}}})});
    cases.push_back({"font height 0", Build({{skin::kRecordColours, Colours({1})},
                                             {skin::kRecordFont, Font(0, 400, u"A")}})});
    cases.push_back({"font record too short",
                     Build({{skin::kRecordColours, Colours({1})}, {skin::kRecordFont, {1, 2}}})});
    cases.push_back({"glyph too small", Build({{skin::kRecordColours, Colours({1})},
                                               {skin::kRecordMetrics, {30, 3, 0, 6}}})});
    cases.push_back({"button narrower than glyph", Build({{skin::kRecordColours, Colours({1})},
                                                          {skin::kRecordMetrics, {10, 9, 0, 6}}})});
    cases.push_back({"alignment", Build({{skin::kRecordColours, Colours({1})},
                                         {skin::kRecordMetrics, {30, 9, 7, 6}}})});
    // A record whose length runs past the end, with a hash that matches the bytes.
    Block overrun = Build({{skin::kRecordColours, Colours({1, 2, 3})}});
    overrun[18] = 0x40;
    const std::uint32_t h = skin::SkinHash(overrun.data() + 16, overrun.size() - 16);
    std::memcpy(overrun.data() + 12, &h, 4);
    cases.push_back({"record overrun", overrun});

    for (const Case& c : cases) {
        SkinStyle untouched;
        std::memset(&untouched, 0x5A, sizeof(untouched));
        SkinStyle copy = untouched;
        EXPECT_FALSE(Parse(c.block, &copy)) << c.what;
        EXPECT_EQ(0, std::memcmp(&copy, &untouched, sizeof(copy))) << c.what << " changed style";
    }
    EXPECT_FALSE(ParseSkin(nullptr, 0, &style));
    EXPECT_FALSE(ParseSkin(nullptr, 500, &style));
    EXPECT_FALSE(ParseSkin(good.data(), good.size(), nullptr));
}

TEST(SkinFormat, RecordsOverrideTheBuiltInLook) {
    SkinStyle defaults;
    skin::DefaultSkinStyle(&defaults);
    // Two colours given, unknown tag skipped, a face longer than the buffer cut to fit,
    // trailing bytes after the block ignored.
    const std::u16string longFace(40, u'x');
    Block block = Build({{99, {1, 2, 3}},
                         {skin::kRecordColours, Colours({0x010203, 0x040506})},
                         {skin::kRecordFont, Font(-15, 700, longFace)}});
    block.insert(block.end(), {0xEE, 0xEE, 0xEE});
    SkinStyle style;
    ASSERT_TRUE(Parse(block, &style));
    EXPECT_EQ(0x010203u, style.colours[skin::kCaptionActive]);
    EXPECT_EQ(0x040506u, style.colours[skin::kCaptionInactive]);
    for (int i = 2; i < skin::kSkinColourCount; ++i)
        EXPECT_EQ(defaults.colours[i], style.colours[i]) << i;
    EXPECT_EQ(-15, style.fontHeight);
    EXPECT_EQ(700, style.fontWeight);
    EXPECT_EQ(std::u16string(skin::kMaxFaceName - 1, u'x'), std::u16string(style.fontFace));
    EXPECT_EQ(defaults.buttonWidth, style.buttonWidth);
}

TEST(SkinFormat, EveryTruncationIsRefused) {
    for (int type = 1; type <= 3; ++type) {
        const Block block = Carried(type);
        for (std::size_t n = 0; n < block.size(); ++n) {
            SkinStyle style;
            EXPECT_FALSE(Parse(Block(block.begin(), block.begin() + n), &style))
                << "type " << type << " cut at " << n;
        }
    }
}

// Random bytes, and random records under a matching hash: never a read outside the block, and
// whatever parses has a terminated face name.
TEST(SkinFormat, GarbageNeverReadsOutside) {
    std::mt19937 random(1234);
    int parsed = 0;
    for (int i = 0; i < 4000; ++i) {
        Block body;
        int records = 0;
        if (i % 2 == 0) {
            body.resize(random() % 120);
            for (auto& b : body)
                b = static_cast<std::uint8_t>(random());
        } else {
            // Records with small tags and mostly honest lengths.
            for (int r = static_cast<int>(random() % 5); r >= 0; --r, ++records) {
                const std::uint16_t tag = static_cast<std::uint16_t>(random() % 6);
                std::uint16_t length = static_cast<std::uint16_t>(random() % 70);
                PutU16(body, tag);
                PutU16(body, random() % 8 == 0 ? static_cast<std::uint16_t>(random()) : length);
                for (int k = 0; k < length; ++k)
                    body.push_back(
                        static_cast<std::uint8_t>(random() % 3 == 0 ? random() % 8 : random()));
            }
        }
        Block block = {'.', 'S', 'H', 'E'};
        PutU16(block, 1);
        PutU16(block, static_cast<std::uint16_t>(records + static_cast<int>(random() % 3) - 1));
        PutU32(block, static_cast<std::uint32_t>(16 + body.size()));
        PutU32(block, skin::SkinHash(body.data(), body.size()));
        block.insert(block.end(), body.begin(), body.end());
        if (i % 7 == 0)
            block.resize(random() % (block.size() + 1));
        SkinStyle style;
        if (Parse(block, &style)) {
            ++parsed;
            bool terminated = false;
            for (char16_t c : style.fontFace)
                terminated = terminated || c == 0;
            EXPECT_TRUE(terminated);
            EXPECT_LE(style.titleAlignment, skin::kTitleCentred);
            EXPECT_GE(style.buttonWidth, style.glyphSize + 4);
        }
    }
    // Some of the well-formed ones do parse, so the loop does reach the record walk.
    EXPECT_GT(parsed, 0);
}

TEST(SkinFormat, AdjustColour) {
    using skin::AdjustColour;
    auto near = [](std::uint32_t a, std::uint32_t b) {
        for (int shift : {0, 8, 16}) {
            if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                         static_cast<int>((b >> shift) & 0xFF)) > 3)
                return false;
        }
        return true;
    };
    const std::uint32_t red = 0x0000FF;
    const std::uint32_t blue = Rgb(0x1A, 0x94, 0xFF);
    EXPECT_EQ(blue, AdjustColour(blue, 0, 0, 0));
    EXPECT_EQ(skin::kNoColour, AdjustColour(skin::kNoColour, 90, 10, 10));
    EXPECT_TRUE(near(0x00FF00, AdjustColour(red, 120, 0, 0)));
    EXPECT_TRUE(near(0xFF0000, AdjustColour(red, 240, 0, 0)));
    EXPECT_TRUE(near(0xFF0000, AdjustColour(red, -120, 0, 0)));
    EXPECT_TRUE(near(blue, AdjustColour(blue, 360, 0, 0)));
    EXPECT_NE(blue, AdjustColour(blue, 10, 0, 0));
    EXPECT_EQ(0xFFFFFFu, AdjustColour(blue, 0, 0, 100));
    EXPECT_EQ(0x000000u, AdjustColour(blue, 0, 0, -100));
    EXPECT_EQ(AdjustColour(blue, 0, 0, -100), AdjustColour(blue, 0, 0, -900));
    const std::uint32_t grey = AdjustColour(blue, 0, -100, 0);
    EXPECT_EQ(grey & 0xFF, (grey >> 8) & 0xFF);
    EXPECT_EQ(grey & 0xFF, (grey >> 16) & 0xFF);
    EXPECT_NE(blue, AdjustColour(blue, 0, 0, 20));

    SkinStyle style;
    ASSERT_TRUE(Parse(Carried(2), &style));
    SkinStyle moved = style;
    skin::AdjustSkinStyle(&moved, 180, 0, 0);
    EXPECT_TRUE(near(AdjustColour(style.colours[0], 180, 0, 0), moved.colours[0]));
    EXPECT_NE(style.colours[0], moved.colours[0]);
}

}  // namespace
