// File names for saving fonts and pictures under a font's name. The name comes from the
// service's page, so it is treated as untrusted: whatever it holds, the result names one file
// inside the folder the user chose.
#include "catalogue/scrape.h"

#include "core/text.h"
#include "http/encoding.h"

namespace {

const char kFallbackName[] = "字体";

// Longest name kept, in bytes (a GBK byte pair is one UTF-16 unit, so this stays well within
// the 255 units Windows allows for one name, with room for the extension).
constexpr std::size_t kMaxNameBytes = 200;

// A byte pair that is one GBK character for the converter the program hands names to.
// (Converters without the user-defined areas would otherwise turn the second byte, which may be
// 0x5C or 0x7C, into a character of its own.)
bool IsGbkPair(unsigned char lead, unsigned char trail) {
    if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail > 0xFE || trail == 0x7F)
        return false;
    Bytes wide = ToUtf16(Text{static_cast<char>(lead), static_cast<char>(trail)}, true);
    return wide.size() == 2 && !(wide[0] == 0xFD && wide[1] == 0xFF);
}

bool IsReservedCharacter(char c) {
    switch (c) {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return false;
    }
}

// Windows opens a device, not a file, for these names, with any extension.
bool IsDeviceName(const Text& name) {
    Text base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    base = AsciiUpper(base);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
        return true;
    if (base.size() == 4 && (StartsWith(base, "COM") || StartsWith(base, "LPT")))
        return base[3] >= '1' && base[3] <= '9';
    return false;
}

void DropTrailingDotsAndBlanks(Text& name) {
    // Only single bytes can be dots or blanks, so the last byte of a two-byte character is
    // never taken for one: walk forward to know where characters start.
    std::size_t keep = 0;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t len = CharLengthAt(name, i);
        if (len == 2 || (name[i] != '.' && name[i] != ' '))
            keep = i + len;
        i += len;
    }
    name.resize(keep);
}

}  // namespace

Text SafeFileName(const Text& font_name) {
    Text out;
    bool lastWasBreak = false;
    for (std::size_t i = 0; i < font_name.size() && out.size() < kMaxNameBytes;) {
        unsigned char c = static_cast<unsigned char>(font_name[i]);
        if (c >= 0x80) {
            // A valid pair is one character whatever its second byte is (0x5C and 0x7C are
            // not "\" and "|" there). Any other high byte would not convert to a sensible
            // character, and must not swallow the byte after it.
            if (i + 1 < font_name.size() &&
                IsGbkPair(c, static_cast<unsigned char>(font_name[i + 1]))) {
                if (out.size() + 2 > kMaxNameBytes)
                    break;
                out.append(font_name, i, 2);
                i += 2;
            } else {
                out += '_';
                ++i;
            }
            lastWasBreak = false;
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            // Line breaks and tabs inside a name become one blank.
            if (!lastWasBreak)
                out += ' ';
            lastWasBreak = true;
            ++i;
            continue;
        }
        lastWasBreak = false;
        out += IsReservedCharacter(static_cast<char>(c)) ? '_' : static_cast<char>(c);
        ++i;
    }
    DropTrailingDotsAndBlanks(out);
    std::size_t lead = 0;
    while (lead < out.size() && out[lead] == ' ')
        ++lead;
    out.erase(0, lead);
    if (out.empty())
        return kFallbackName;
    if (IsDeviceName(out))
        out.insert(out.begin(), '_');
    return out;
}
