#include "decor/skin/skin_format.h"

namespace skin {
namespace {

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The built-in look: a light caption with dark text (what a damaged colour record falls back
// to slot by slot).
constexpr uint32_t kDefaultColours[kSkinColourCount] = {
    0xFAF6F3,  // caption
    0xFCFAF8,  // caption, inactive
    0x37291F,  // title
    0x9C8F86,  // title, inactive
    0xFAF6F3,  // frame
    0xFCFAF8,  // frame, inactive
    0xA69C90,  // outline
    0xCCC6C0,  // outline, inactive
    0x514137,  // glyph
    0xAFA59C,  // glyph, inactive
    0xEEE6E1,  // button hover
    0xDDD2CB,  // button pressed
    0x2311E8,  // close hover
    0x1C0FB0,  // close pressed
    0xFFFFFF,  // close glyph over hover
    kNoColour, kNoColour,
};

constexpr char16_t kDefaultFace[] = u"微软雅黑";

int Clamp(int v, int lo, int hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Hue in 1/16 degree, so that small moves survive the round trip.
constexpr int kHueUnit = 16;
constexpr int kHueFull = 360 * kHueUnit;
constexpr int kHueSixth = 60 * kHueUnit;

int HueChannel(int p, int q, int hue) {
    hue %= kHueFull;
    if (hue < 0)
        hue += kHueFull;
    if (hue < kHueSixth)
        return p + (q - p) * hue / kHueSixth;
    if (hue < 3 * kHueSixth)
        return q;
    if (hue < 4 * kHueSixth)
        return p + (q - p) * (4 * kHueSixth - hue) / kHueSixth;
    return p;
}

}  // namespace

void DefaultSkinStyle(SkinStyle* style) {
    for (int i = 0; i < kSkinColourCount; ++i)
        style->colours[i] = kDefaultColours[i];
    style->fontHeight = -13;
    style->fontWeight = 400;
    int n = 0;
    for (; kDefaultFace[n] != 0 && n < kMaxFaceName - 1; ++n)
        style->fontFace[n] = kDefaultFace[n];
    for (; n < kMaxFaceName; ++n)
        style->fontFace[n] = 0;
    style->buttonWidth = 34;
    style->glyphSize = 10;
    style->titleAlignment = kTitleLeft;
    style->titlePadding = 8;
}

uint32_t SkinHash(const uint8_t* data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 16777619u;
    }
    return h;
}

bool ParseSkin(const uint8_t* data, size_t size, SkinStyle* style) {
    if (data == nullptr || style == nullptr || size < kHeaderSize)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (data[i] != kMagic[i])
            return false;
    }
    if (ReadU16(data + 4) != kFormatVersion)
        return false;
    const uint32_t records = ReadU16(data + 6);
    const uint32_t total = ReadU32(data + 8);
    if (total < kHeaderSize || total > size)
        return false;
    if (ReadU32(data + 12) != SkinHash(data + kHeaderSize, total - kHeaderSize))
        return false;

    SkinStyle parsed;
    DefaultSkinStyle(&parsed);
    bool haveColours = false;
    uint32_t at = kHeaderSize;
    for (uint32_t r = 0; r < records; ++r) {
        if (total - at < 4)
            return false;
        const uint16_t tag = ReadU16(data + at);
        const uint32_t length = ReadU16(data + at + 2);
        at += 4;
        if (total - at < length)
            return false;
        const uint8_t* p = data + at;
        switch (tag) {
            case kRecordColours: {
                uint32_t n = length / 4;
                if (n > kSkinColourCount)
                    n = kSkinColourCount;
                for (uint32_t i = 0; i < n; ++i)
                    parsed.colours[i] = ReadU32(p + 4 * i);
                haveColours = n > 0;
                break;
            }
            case kRecordFont: {
                if (length < 4)
                    return false;
                const int16_t height = static_cast<int16_t>(ReadU16(p));
                const uint16_t weight = ReadU16(p + 2);
                if (height == 0 || height < -72 || height > 72 || weight > 1000)
                    return false;
                parsed.fontHeight = height;
                parsed.fontWeight = weight;
                const uint32_t units = (length - 4) / 2;
                if (units > 0) {
                    uint32_t n = 0;
                    for (; n < units && n < kMaxFaceName - 1; ++n) {
                        const char16_t c = static_cast<char16_t>(ReadU16(p + 4 + 2 * n));
                        if (c == 0)
                            break;
                        parsed.fontFace[n] = c;
                    }
                    for (; n < kMaxFaceName; ++n)
                        parsed.fontFace[n] = 0;
                }
                break;
            }
            case kRecordMetrics: {
                if (length < 4)
                    return false;
                // A button narrower than its glyph or a glyph too small to read is damage.
                if (p[1] < 6 || p[0] < p[1] + 4 || p[2] > kTitleCentred)
                    return false;
                parsed.buttonWidth = p[0];
                parsed.glyphSize = p[1];
                parsed.titleAlignment = p[2];
                parsed.titlePadding = p[3];
                break;
            }
            default:
                break;
        }
        at += length;
    }
    if (!haveColours)
        return false;
    *style = parsed;
    return true;
}

uint32_t AdjustColour(uint32_t colour, int hue, int saturation, int lightness) {
    if (colour == kNoColour || (hue == 0 && saturation == 0 && lightness == 0))
        return colour;
    saturation = Clamp(saturation, -100, 100);
    lightness = Clamp(lightness, -100, 100);
    const int r = colour & 0xFF;
    const int g = (colour >> 8) & 0xFF;
    const int b = (colour >> 16) & 0xFF;
    const int mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const int mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
    int l = (mx + mn) / 2;
    int s = 0;
    int h = 0;
    const int d = mx - mn;
    if (d != 0) {
        s = l < 128 ? d * 255 / (mx + mn) : d * 255 / (510 - mx - mn);
        if (mx == r)
            h = kHueSixth * (g - b) / d;
        else if (mx == g)
            h = 2 * kHueSixth + kHueSixth * (b - r) / d;
        else
            h = 4 * kHueSixth + kHueSixth * (r - g) / d;
    }
    h += (hue % 360) * kHueUnit;
    s = Clamp(s * (100 + saturation) / 100, 0, 255);
    if (lightness > 0)
        l += (255 - l) * lightness / 100;
    else
        l += l * lightness / 100;
    l = Clamp(l, 0, 255);

    int nr = l, ng = l, nb = l;
    if (s != 0) {
        const int q = l < 128 ? l * (255 + s) / 255 : l + s - l * s / 255;
        const int p = 2 * l - q;
        nr = HueChannel(p, q, h + 2 * kHueSixth);
        ng = HueChannel(p, q, h);
        nb = HueChannel(p, q, h - 2 * kHueSixth);
    }
    nr = Clamp(nr, 0, 255);
    ng = Clamp(ng, 0, 255);
    nb = Clamp(nb, 0, 255);
    return static_cast<uint32_t>(nr | (ng << 8) | (nb << 16));
}

void AdjustSkinStyle(SkinStyle* style, int hue, int saturation, int lightness) {
    for (int i = 0; i < kSkinColourCount; ++i)
        style->colours[i] = AdjustColour(style->colours[i], hue, saturation, lightness);
}

}  // namespace skin
