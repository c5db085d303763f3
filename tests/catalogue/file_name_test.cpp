#include <gtest/gtest.h>

#include <cstdint>

#include "catalogue/scrape.h"
#include "http/encoding.h"

namespace {

TEST(SafeFileName, ReplacesWhatWindowsDoesNotAllow) {
    struct Case {
        Text in, out;
    } cases[] = {
        {"泼墨字体", "泼墨字体"},
        {"Dejavu Sans Bold", "Dejavu Sans Bold"},
        {"..\\..\\Windows\\evil", ".._.._Windows_evil"},
        {"../../etc/passwd", ".._.._etc_passwd"},
        {"C:\\x", "C__x"},
        {"a:stream", "a_stream"},
        {"what?*\"<>|", "what______"},
        {"方正\r\n粗黑", "方正 粗黑"},
        {"a\tb\x01"
         "c",
         "a b c"},
        {"name. . ", "name"},
        {"  lead", "lead"},
        {"...", "字体"},
        {"", "字体"},
        {" \r\n ", "字体"},
        {"CON", "_CON"},
        {"con.ttf", "_con.ttf"},
        {"Lpt9", "_Lpt9"},
        {"COM1 .txt", "_COM1 .txt"},
        {"NUL.", "_NUL"},
        {"COM0", "COM0"},
        {"CONSOLE", "CONSOLE"},
        {"AUXILIARY.ttf", "AUXILIARY.ttf"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SafeFileName(c.in), c.out) << c.in;
}

TEST(SafeFileName, TwoByteCharactersStayWhole) {
    // 0x81 0x5C and 0x81 0x7C are characters, not "\" and "|".
    const Text withBackslashTrail =
        "\x81"
        "\\";
    const Text withBarTrail =
        "\x81"
        "|";
    EXPECT_EQ(SafeFileName(withBackslashTrail + "体"), withBackslashTrail + "体");
    EXPECT_EQ(SafeFileName("a" + withBarTrail), "a" + withBarTrail);
    // A high byte that starts no character is replaced alone; the "/" after it is still seen.
    EXPECT_EQ(SafeFileName("x\x81/y"), "x__y");
    EXPECT_EQ(SafeFileName("x\xFF"), "x_");
    EXPECT_EQ(SafeFileName("x\x81"), "x_");
    // A full-width blank at the end is a character Windows keeps.
    EXPECT_EQ(SafeFileName("体　"), "体　");
}

TEST(SafeFileName, LongNamesAreCutBetweenCharacters) {
    Text name;
    for (int i = 0; i < 150; ++i)
        name += "字";
    Text safe = SafeFileName("a" + name);
    EXPECT_LE(safe.size(), 200u);
    EXPECT_GE(safe.size(), 190u);
    EXPECT_EQ(safe.size() % 2, 1u) << "cut inside a two-byte character";
}

TEST(SafeFileName, AnyBytesGiveOneHarmlessName) {
    // Random names made of the bytes that matter: separators, reserved characters, controls,
    // dots, blanks, lead bytes and the trail bytes 0x5C and 0x7C.
    const unsigned char alphabet[] = {'\\', '/',  ':',  '*',  '?',  '"',  '<',  '>',  '|',
                                      '.',  ' ',  '\r', '\n', 0x01, 0x7F, 'a',  'C',  'O',
                                      'N',  0x81, 0xA1, 0xFE, 0x80, 0xFF, 0x40, 0x5C, 0x7C};
    std::uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    for (int round = 0; round < 3000; ++round) {
        Text name;
        std::size_t length = next() % 12;
        for (std::size_t i = 0; i < length; ++i)
            name += static_cast<char>(alphabet[next() % sizeof alphabet]);
        Text safe = SafeFileName(name);
        ASSERT_FALSE(safe.empty());
        EXPECT_NE(safe.back(), '.') << name;
        EXPECT_NE(safe.back(), ' ') << name;
        // What Windows is given is the UTF-16 form of the name.
        Bytes wide = ToUtf16(safe, true);
        for (std::size_t i = 0; i + 1 < wide.size(); i += 2) {
            unsigned unit = wide[i] | (wide[i + 1] << 8);
            EXPECT_FALSE(unit < 0x20 || unit == '\\' || unit == '/' || unit == ':' || unit == '*' ||
                         unit == '?' || unit == '"' || unit == '<' || unit == '>' || unit == '|' ||
                         unit == 0xFFFD)
                << name << " -> unit " << unit;
        }
        Text upper;
        for (char c : safe.substr(0, safe.find('.')))
            upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        while (!upper.empty() && upper.back() == ' ')
            upper.pop_back();
        EXPECT_TRUE(upper != "CON" && upper != "NUL" && upper != "AUX" && upper != "PRN") << name;
    }
}

}  // namespace
