#include "http/encoding.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

#include "core/codepage.h"
#include "core/text.h"

namespace {

unsigned EffectiveCodePage(unsigned code_page) {
    // The program's texts are GBK whatever the system's ANSI code page is.
    return code_page == 0 ? codepage::kGbk : code_page;
}

// UTF-16 code units of `bytes` (little-endian) up to the first zero unit; an odd last byte
// is not a unit.
std::u16string UnitsOf(const Bytes& bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        units.push_back(unit);
    }
    return units;
}

// The units as UTF-16LE bytes followed by one zero unit.
Bytes BytesOf(const std::u16string& units) {
    Bytes out;
    out.reserve(units.size() * 2 + 2);
    for (char16_t unit : units) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

// A text up to its first zero byte, as a converter sees a zero-terminated text.
std::string_view UpToZero(const Text& s) {
    return std::string_view(s.data(), std::min(s.size(), s.find('\0')));
}

struct Composition {
    char16_t base;
    char16_t mark;
    char16_t composed;
};

// The characters of code page 936 that Unicode also writes as a base character followed by a
// combining mark (sorted by base, then mark).
constexpr Composition kCompositions[] = {
    {0x003C, 0x0338, 0x226E},  // ≮
    {0x003D, 0x0338, 0x2260},  // ≠
    {0x003E, 0x0338, 0x226F},  // ≯
    {0x0061, 0x0300, 0x00E0},  // à
    {0x0061, 0x0301, 0x00E1},  // á
    {0x0061, 0x0304, 0x0101},  // ā
    {0x0061, 0x030C, 0x01CE},  // ǎ
    {0x0065, 0x0300, 0x00E8},  // è
    {0x0065, 0x0301, 0x00E9},  // é
    {0x0065, 0x0302, 0x00EA},  // ê
    {0x0065, 0x0304, 0x0113},  // ē
    {0x0065, 0x030C, 0x011B},  // ě
    {0x0069, 0x0300, 0x00EC},  // ì
    {0x0069, 0x0301, 0x00ED},  // í
    {0x0069, 0x0304, 0x012B},  // ī
    {0x0069, 0x030C, 0x01D0},  // ǐ
    {0x006D, 0x0301, 0x1E3F},  // ḿ
    {0x006E, 0x0300, 0x01F9},  // ǹ
    {0x006E, 0x0301, 0x0144},  // ń
    {0x006E, 0x030C, 0x0148},  // ň
    {0x006F, 0x0300, 0x00F2},  // ò
    {0x006F, 0x0301, 0x00F3},  // ó
    {0x006F, 0x0304, 0x014D},  // ō
    {0x006F, 0x030C, 0x01D2},  // ǒ
    {0x0075, 0x0300, 0x00F9},  // ù
    {0x0075, 0x0301, 0x00FA},  // ú
    {0x0075, 0x0304, 0x016B},  // ū
    {0x0075, 0x0308, 0x00FC},  // ü
    {0x0075, 0x030C, 0x01D4},  // ǔ
    {0x00FC, 0x0300, 0x01DC},  // ǜ
    {0x00FC, 0x0301, 0x01D8},  // ǘ
    {0x00FC, 0x0304, 0x01D6},  // ǖ
    {0x00FC, 0x030C, 0x01DA},  // ǚ
    {0x0415, 0x0308, 0x0401},  // Ё
    {0x0418, 0x0306, 0x0419},  // Й
    {0x0435, 0x0308, 0x0451},  // ё
    {0x0438, 0x0306, 0x0439},  // й
    {0x304B, 0x3099, 0x304C},  // が
    {0x304D, 0x3099, 0x304E},  // ぎ
    {0x304F, 0x3099, 0x3050},  // ぐ
    {0x3051, 0x3099, 0x3052},  // げ
    {0x3053, 0x3099, 0x3054},  // ご
    {0x3055, 0x3099, 0x3056},  // ざ
    {0x3057, 0x3099, 0x3058},  // じ
    {0x3059, 0x3099, 0x305A},  // ず
    {0x305B, 0x3099, 0x305C},  // ぜ
    {0x305D, 0x3099, 0x305E},  // ぞ
    {0x305F, 0x3099, 0x3060},  // だ
    {0x3061, 0x3099, 0x3062},  // ぢ
    {0x3064, 0x3099, 0x3065},  // づ
    {0x3066, 0x3099, 0x3067},  // で
    {0x3068, 0x3099, 0x3069},  // ど
    {0x306F, 0x3099, 0x3070},  // ば
    {0x306F, 0x309A, 0x3071},  // ぱ
    {0x3072, 0x3099, 0x3073},  // び
    {0x3072, 0x309A, 0x3074},  // ぴ
    {0x3075, 0x3099, 0x3076},  // ぶ
    {0x3075, 0x309A, 0x3077},  // ぷ
    {0x3078, 0x3099, 0x3079},  // べ
    {0x3078, 0x309A, 0x307A},  // ぺ
    {0x307B, 0x3099, 0x307C},  // ぼ
    {0x307B, 0x309A, 0x307D},  // ぽ
    {0x309D, 0x3099, 0x309E},  // ゞ
    {0x30A6, 0x3099, 0x30F4},  // ヴ
    {0x30AB, 0x3099, 0x30AC},  // ガ
    {0x30AD, 0x3099, 0x30AE},  // ギ
    {0x30AF, 0x3099, 0x30B0},  // グ
    {0x30B1, 0x3099, 0x30B2},  // ゲ
    {0x30B3, 0x3099, 0x30B4},  // ゴ
    {0x30B5, 0x3099, 0x30B6},  // ザ
    {0x30B7, 0x3099, 0x30B8},  // ジ
    {0x30B9, 0x3099, 0x30BA},  // ズ
    {0x30BB, 0x3099, 0x30BC},  // ゼ
    {0x30BD, 0x3099, 0x30BE},  // ゾ
    {0x30BF, 0x3099, 0x30C0},  // ダ
    {0x30C1, 0x3099, 0x30C2},  // ヂ
    {0x30C4, 0x3099, 0x30C5},  // ヅ
    {0x30C6, 0x3099, 0x30C7},  // デ
    {0x30C8, 0x3099, 0x30C9},  // ド
    {0x30CF, 0x3099, 0x30D0},  // バ
    {0x30CF, 0x309A, 0x30D1},  // パ
    {0x30D2, 0x3099, 0x30D3},  // ビ
    {0x30D2, 0x309A, 0x30D4},  // ピ
    {0x30D5, 0x3099, 0x30D6},  // ブ
    {0x30D5, 0x309A, 0x30D7},  // プ
    {0x30D8, 0x3099, 0x30D9},  // ベ
    {0x30D8, 0x309A, 0x30DA},  // ペ
    {0x30DB, 0x3099, 0x30DC},  // ボ
    {0x30DB, 0x309A, 0x30DD},  // ポ
    {0x30FD, 0x3099, 0x30FE},  // ヾ
};

char16_t Compose(char16_t base, char16_t mark) {
    auto it = std::lower_bound(std::begin(kCompositions), std::end(kCompositions), base,
                               [](const Composition& c, char16_t b) { return c.base < b; });
    for (; it != std::end(kCompositions) && it->base == base; ++it) {
        if (it->mark == mark)
            return it->composed;
    }
    return 0;
}

// Base character + combining mark -> the precomposed character where code page 936 has one
// (a decomposed "é" would otherwise come out as "e?").
std::u16string ComposeForGbk(const std::u16string& units) {
    std::u16string out;
    out.reserve(units.size());
    for (char16_t unit : units) {
        if (!out.empty()) {
            if (char16_t composed = Compose(out.back(), unit)) {
                out.back() = composed;
                continue;
            }
        }
        out.push_back(unit);
    }
    return out;
}

int HexValue(char c) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (c >= 'a' && c <= 'f')
        c = static_cast<char>(c - 'a' + 'A');
    for (int i = 0; i < 16; ++i) {
        if (kDigits[i] == c)
            return i;
    }
    return -1;
}

}  // namespace

Bytes ToUtf16(const Text& s, bool drop_terminator) {
    Bytes out = TextToUtf16(s, codepage::kGbk);
    if (drop_terminator && out.size() >= 2)
        out.resize(out.size() - 2);
    return out;
}

Text FromUtf16(const Bytes& utf16le) {
    return codepage::FromWide(ComposeForGbk(UnitsOf(utf16le)), codepage::kGbk);
}

Bytes TextToUtf16(const Text& s, unsigned code_page) {
    std::string_view bytes = UpToZero(s);
    if (bytes.empty())
        return Bytes();
    return BytesOf(codepage::ToWide(bytes, EffectiveCodePage(code_page)));
}

Text Utf16ToText(const Bytes& utf16le, unsigned code_page) {
    return codepage::FromWide(UnitsOf(utf16le), EffectiveCodePage(code_page));
}

Text Utf8ToGbk(const Text& s) {
    return Utf16ToText(TextToUtf16(s, codepage::kUtf8), codepage::kGbk);
}

Text GbkToUtf8(const Text& s) {
    return Utf16ToText(TextToUtf16(s, codepage::kGbk), codepage::kUtf8);
}

Text PercentDecode(const Text& s, bool from_utf8) {
    Text out;
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        if (s[i] != '%') {
            out += s[i++];
            continue;
        }
        // A digit past the end of the text counts as 0 ("%4" at the end gives 0x40, a lone
        // "%" gives nothing). A "%" followed by something that is not a hexadecimal digit is
        // kept as it stands: answers may hold a literal "%", and decoding it into some other
        // byte would swallow the characters after it (a closing quote, say).
        int high = i + 1 < n ? HexValue(s[i + 1]) : 0;
        int low = i + 2 < n ? HexValue(s[i + 2]) : 0;
        if (high < 0 || low < 0) {
            out += s[i++];
            continue;
        }
        char byte = static_cast<char>((16 * high + low) & 0xFF);
        if (byte != 0)
            out += byte;
        i += 3;
    }
    return from_utf8 ? Utf8ToGbk(out) : out;
}

Text FormUrlEncode(const Text& s) {
    static const char kHex[] = "0123456789ABCDEF";
    Text out;
    for (char c : GbkToUtf8(s)) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.') {
            out += c;
        } else {
            unsigned char b = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        }
    }
    return out;
}
