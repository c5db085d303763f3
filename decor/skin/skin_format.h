// The skin data format read by the program's skin library.
//
// A block is little-endian:
//   offset 0   4 bytes  ".SHE"
//   offset 4   u16      format version (1)
//   offset 6   u16      number of records
//   offset 8   u32      byte count of the whole block (header included)
//   offset 12  u32      FNV-1a hash of the bytes from offset 16 to the end of the block
//   offset 16  records, back to back: u16 tag, u16 payload length, payload
// Records:
//   1 colours   up to kSkinColourCount u32 colours 0x00BBGGRR in SkinColour order; slots not
//               given keep the built-in look's colour; 0xFFFFFFFF in a caption's bottom
//               slot means a flat caption
//   2 font      i16 height (negative: character height), u16 weight, UTF-16 face name
//   3 metrics   u8 caption button width, u8 glyph size, u8 title alignment (0 left,
//               1 centred), u8 left padding of the caption
//   4 name      UTF-16 name of the skin (informational)
// Unknown tags are skipped. Parsing never reads outside the given bytes.
//
// This file builds without a C or C++ runtime (the skin library has none) and natively.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace skin {

inline constexpr uint8_t kMagic[4] = {'.', 'S', 'H', 'E'};
inline constexpr uint16_t kFormatVersion = 1;
inline constexpr uint32_t kHeaderSize = 16;

enum RecordTag : uint16_t {
    kRecordColours = 1,
    kRecordFont = 2,
    kRecordMetrics = 3,
    kRecordName = 4,
};

enum SkinColour : int {
    kCaptionActive,    // caption band, top (or only) colour
    kCaptionInactive,  // caption band of an inactive window
    kTitleActive,      // title text
    kTitleInactive,
    kFrameActive,  // side and bottom frame
    kFrameInactive,
    kOutlineActive,  // the outermost one-pixel line
    kOutlineInactive,
    kGlyphActive,  // minimise / maximise / close glyphs
    kGlyphInactive,
    kButtonHover,  // background of a hovered caption button
    kButtonPressed,
    kCloseHover,  // background of the hovered close button
    kClosePressed,
    kCloseGlyphHover,        // close glyph over kCloseHover / kClosePressed
    kCaptionActiveBottom,    // gradient end of the active caption; kNoColour: flat
    kCaptionInactiveBottom,  // gradient end of the inactive caption; kNoColour: flat
    kSkinColourCount
};

inline constexpr uint32_t kNoColour = 0xFFFFFFFFu;
inline constexpr int kMaxFaceName = 32;  // UTF-16 units including the terminator

enum TitleAlignment : uint8_t { kTitleLeft = 0, kTitleCentred = 1 };

struct SkinStyle {
    uint32_t colours[kSkinColourCount];
    int16_t fontHeight;
    uint16_t fontWeight;
    char16_t fontFace[kMaxFaceName];
    uint8_t buttonWidth;
    uint8_t glyphSize;
    uint8_t titleAlignment;
    uint8_t titlePadding;
};

// The built-in look that records override.
void DefaultSkinStyle(SkinStyle* style);

// FNV-1a, 32 bits.
uint32_t SkinHash(const uint8_t* data, size_t size);

// Reads a block. `data` may be null (with any size) or point at `size` readable bytes.
// Returns false for anything that is not a whole, intact block; `style` is then untouched.
bool ParseSkin(const uint8_t* data, size_t size, SkinStyle* style);

// A colour moved in hue (degrees, wraps), saturation and lightness (percent, -100..100;
// values outside are clamped). 0, 0, 0 returns the colour unchanged. kNoColour stays.
uint32_t AdjustColour(uint32_t colour, int hue, int saturation, int lightness);

// Applies AdjustColour to every colour of the style.
void AdjustSkinStyle(SkinStyle* style, int hue, int saturation, int lightness);

}  // namespace skin
