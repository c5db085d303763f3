// Every two-byte code of code page 936 through ToUtf16 and back through FromUtf16, in both
// builds. The Windows build converts with the system's tables, the native build with iconv's
// CP936; both must give each code the same UTF-16, except for the codes listed in
// kNativeGaps, which iconv's table does not have.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/encoding.h"

namespace {

struct CodeUnits {
    unsigned code;        // lead << 8 | trail
    std::u16string wide;  // what ToUtf16 makes of the two bytes (terminator dropped)
};

std::vector<CodeUnits> ConvertEveryTwoByteCode() {
    std::vector<CodeUnits> all;
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            Text code{static_cast<char>(lead), static_cast<char>(trail)};
            Bytes bytes = ToUtf16(code, true);
            std::u16string wide;
            for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
                wide.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
            all.push_back({lead << 8 | trail, wide});
        }
    }
    return all;
}

// A code the converter maps to a character: one code unit, not a replacement character.
bool IsMapped(const CodeUnits& c) {
    return c.wide.size() == 1 && c.wide[0] != 0xFFFD && c.wide[0] != u'?' && c.wide[0] != 0x30FB;
}

#ifdef _WIN32
bool IsPrivateUse(char16_t unit) {
    return unit >= 0xE000 && unit <= 0xF8FF;
}
#endif

// Codes that the Windows tables map to private-use characters (the user-defined areas of
// GBK and its unassigned cells) and that iconv's CP936 does not convert at all. Found by
// listing both converters' results for every code and comparing them.
struct CodeRange {
    unsigned leadFirst, leadLast, trailFirst, trailLast;
};
constexpr CodeRange kNativeGaps[] = {
    {0xA1, 0xA7, 0x40, 0xA0},  // user-defined area A140-A7A0
    {0xA2, 0xA2, 0xAB, 0xB0}, {0xA2, 0xA2, 0xE3, 0xE4}, {0xA2, 0xA2, 0xEF, 0xF0},
    {0xA2, 0xA2, 0xFD, 0xFE}, {0xA4, 0xA4, 0xF4, 0xFE}, {0xA5, 0xA5, 0xF7, 0xFE},
    {0xA6, 0xA6, 0xB9, 0xC0}, {0xA6, 0xA6, 0xD9, 0xDF}, {0xA6, 0xA6, 0xEC, 0xED},
    {0xA6, 0xA6, 0xF3, 0xF3}, {0xA6, 0xA6, 0xF6, 0xFE}, {0xA7, 0xA7, 0xC2, 0xD0},
    {0xA7, 0xA7, 0xF2, 0xFE}, {0xA8, 0xA8, 0x96, 0xA0}, {0xA8, 0xA8, 0xBC, 0xBC},
    {0xA8, 0xA8, 0xBF, 0xBF}, {0xA8, 0xA8, 0xC1, 0xC4}, {0xA8, 0xA8, 0xEA, 0xFE},
    {0xA9, 0xA9, 0x58, 0x58}, {0xA9, 0xA9, 0x5B, 0x5B}, {0xA9, 0xA9, 0x5D, 0x5F},
    {0xA9, 0xA9, 0x89, 0x95}, {0xA9, 0xA9, 0x97, 0xA3}, {0xA9, 0xA9, 0xF0, 0xFE},
    {0xAA, 0xAF, 0xA1, 0xFE},                            // user-defined area AAA1-AFFE
    {0xD7, 0xD7, 0xFA, 0xFE}, {0xF8, 0xFD, 0xA1, 0xFE},  // user-defined area F8A1-FEFE
    {0xFE, 0xFE, 0x50, 0xFE},
};

bool IsNativeGap(unsigned code) {
    unsigned lead = code >> 8, trail = code & 0xFF;
    for (const CodeRange& r : kNativeGaps) {
        if (lead >= r.leadFirst && lead <= r.leadLast && trail >= r.trailFirst &&
            trail <= r.trailLast)
            return true;
    }
    return false;
}

// The codes outside kNativeGaps and their characters, as both converters give them: their
// number and an FNV-1a hash over (lead, trail, low byte, high byte) of every code in order.
constexpr std::size_t kSharedCodes = 21791;
constexpr std::uint32_t kSharedHash = 0xA3FD9921;

TEST(Cp936, EveryMappedCodeSurvivesTheRoundTrip) {
    std::size_t mapped = 0;
    for (const CodeUnits& c : ConvertEveryTwoByteCode()) {
        if (!IsMapped(c))
            continue;
        ++mapped;
        Text code{static_cast<char>(c.code >> 8), static_cast<char>(c.code & 0xFF)};
        EXPECT_EQ(FromUtf16(ToUtf16(code)), code) << std::hex << c.code;
    }
    EXPECT_GE(mapped, kSharedCodes);
}

TEST(Cp936, BothConvertersGiveTheSameCharacters) {
    std::size_t shared = 0;
    std::uint32_t hash = 2166136261u;
    auto mix = [&hash](unsigned byte) { hash = (hash ^ (byte & 0xFF)) * 16777619u; };
    for (const CodeUnits& c : ConvertEveryTwoByteCode()) {
        if (IsNativeGap(c.code)) {
#ifdef _WIN32
            ASSERT_EQ(c.wide.size(), 1u) << std::hex << c.code;
            EXPECT_TRUE(IsPrivateUse(c.wide[0])) << std::hex << c.code;
#else
            EXPECT_FALSE(IsMapped(c)) << std::hex << c.code;
#endif
            continue;
        }
        ASSERT_TRUE(IsMapped(c)) << std::hex << c.code;
        ++shared;
        mix(c.code >> 8);
        mix(c.code);
        mix(c.wide[0]);
        mix(c.wide[0] >> 8);
    }
    EXPECT_EQ(shared, kSharedCodes);
    EXPECT_EQ(hash, kSharedHash) << std::hex << "0x" << hash;
}

// LZF_CP936_LISTING=<file> writes every code and its UTF-16 units, for comparing the two
// converters by hand.
TEST(Cp936, Listing) {
    const char* path = std::getenv("LZF_CP936_LISTING");
    if (!path)
        GTEST_SKIP() << "set LZF_CP936_LISTING to write the listing";
    FILE* f = std::fopen(path, "w");
    ASSERT_TRUE(f);
    for (const CodeUnits& c : ConvertEveryTwoByteCode()) {
        std::fprintf(f, "%04X", c.code);
        for (char16_t u : c.wide)
            std::fprintf(f, " %04X", static_cast<unsigned>(u));
        std::fprintf(f, "\n");
    }
    std::fclose(f);
}

}  // namespace
