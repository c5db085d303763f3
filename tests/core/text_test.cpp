#include <gtest/gtest.h>

#include <vector>

#include "core/codepage.h"
#include "core/text.h"

namespace {

// Two-byte characters whose second byte is an ASCII character the program searches for.
const Text kTrailAt =
    "\x81"
    "@";  // second byte 0x40
const Text kTrailBackslash =
    "\x81"
    "\\";  // second byte 0x5C
const Text kTrailLowerA =
    "\x81"
    "a";  // second byte 0x61

TEST(FindText, FindsFromGivenPosition) {
    EXPECT_EQ(FindText("abcabc", "bc"), 2);
    EXPECT_EQ(FindText("abcabc", "bc", 3), 5);
    EXPECT_EQ(FindText("abcabc", "bc", 6), -1);
    EXPECT_EQ(FindText("abcabc", "bc", 0), 2);  // before the first byte counts as 1
    EXPECT_EQ(FindText("abc", "abcd"), -1);
    EXPECT_EQ(FindText("abc", ""), -1);
    EXPECT_EQ(FindText("", "a"), -1);
    EXPECT_EQ(FindText("你好世界", "世界"), 5);
}

TEST(FindText, NeverMatchesAtSecondByteOfTwoByteCharacter) {
    struct Case {
        Text s, needle;
        long expected;
    } cases[] = {
        {kTrailAt + "x@", "@", 4},
        {kTrailAt, "@", -1},
        {"a" + kTrailBackslash + "\\", "\\", 4},
        {kTrailBackslash + kTrailBackslash, "\\", -1},
        // 0xB0 0xA1 then 0xA1 0xA1: the pair at bytes 2-3 straddles two characters.
        {"\xB0\xA1\xA1\xA1", "\xA1\xA1", 3},
        {"\xB0\xA1\xA1", "\xA1\xA1", -1},
        {kTrailAt + "@", kTrailAt, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindText(c.s, c.needle), c.expected) << c.s;
    // A start position on a second byte does not make it a character start.
    EXPECT_EQ(FindText(kTrailAt + "@", "@", 2), 3);
}

TEST(FindText, IgnoringCaseFoldsOnlySingleByteLetters) {
    EXPECT_EQ(FindText("Content-TYPE: x", "content-type", 1, true), 1);
    EXPECT_EQ(FindText("xYz", "XyZ", 1, false), -1);
    // The second byte 0x61 ("a") is not the letter a, with or without case.
    EXPECT_EQ(FindText(kTrailLowerA + "A", "a", 1, true), 3);
    EXPECT_EQ(FindText(kTrailLowerA, "A", 1, true), -1);
    // Second bytes are compared exactly: 0x81 0x61 is not 0x81 0x41.
    EXPECT_EQ(FindText(kTrailLowerA,
                       "\x81"
                       "A",
                       1, true),
              -1);
}

TEST(FindLastText, LastCharacterStartMatch) {
    EXPECT_EQ(FindLastText("a:b:c", ":"), 4);
    EXPECT_EQ(FindLastText("abc", ":"), -1);
    EXPECT_EQ(FindLastText(":" + kTrailAt + "@" + kTrailAt, "@"), 4);
    EXPECT_EQ(FindLastText("aXbx", "X", true), 4);
}

TEST(TrimBlanks, RemovesAsciiAndFullWidthBlanksOnly) {
    struct Case {
        Text in, both, left, right;
    } cases[] = {
        {"  a b  ", "a b", "a b  ", "  a b"},
        {"\xA1\xA1 x\xA1\xA1", "x", "x\xA1\xA1", "\xA1\xA1 x"},
        {"\tx\t", "\tx\t", "\tx\t", "\tx\t"},
        {"   ", "", "", ""},
        {"", "", "", ""},
        // 0xB0 0xA1 is a character; the lone 0xA1 after it is no blank.
        {"\xB0\xA1\xA1", "\xB0\xA1\xA1", "\xB0\xA1\xA1", "\xB0\xA1\xA1"},
        {"\xB0\xA1\xA1\xA1", "\xB0\xA1", "\xB0\xA1\xA1\xA1", "\xB0\xA1"},
        {"　中　", "中", "中　", "　中"},  // full-width blanks as written in the source
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrimBlanks(c.in), c.both) << c.in;
        EXPECT_EQ(TrimLeftBlanks(c.in), c.left) << c.in;
        EXPECT_EQ(TrimRightBlanks(c.in), c.right) << c.in;
    }
}

TEST(SplitText, PiecesBetweenSeparators) {
    using List = std::vector<Text>;
    struct Case {
        Text s, sep;
        List expected;
    } cases[] = {
        {"", ";", {}},
        {"a", ";", {"a"}},
        {"a;b", ";", {"a", "b"}},
        {"a;b;", ";", {"a", "b"}},
        {"a;;b", ";", {"a", "", "b"}},
        {";", ";", {""}},
        {";a", ";", {"", "a"}},
        {"a; b; c", "; ", {"a", "b", "c"}},
        {"a\r\n\r\nb\r\n", "\r\n", {"a", "", "b"}},
        {"ab", "", {"ab"}},
        {kTrailAt + "@b", "@", {kTrailAt, "b"}},
        {"x" + kTrailBackslash + "\\y", "\\", {"x" + kTrailBackslash, "y"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitText(c.s, c.sep), c.expected) << c.s;
}

TEST(JoinText, SeparatorBetweenPieces) {
    EXPECT_EQ(JoinText({}, "; "), "");
    EXPECT_EQ(JoinText({"a"}, "; "), "a");
    EXPECT_EQ(JoinText({"a", "", "b"}, "-"), "a--b");
}

TEST(ReplaceAll, ReplacesWholeCharactersOnly) {
    EXPECT_EQ(ReplaceAll("a.b.c", ".", "::"), "a::b::c");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAll("abc", "b", ""), "ac");
    EXPECT_EQ(ReplaceAll(kTrailBackslash + "\\", "\\", "/"), kTrailBackslash + "/");
    EXPECT_EQ(ReplaceAll(kTrailAt + "@", "@", "[at]"), kTrailAt + "[at]");
    EXPECT_EQ(ReplaceAll("a=#引号x#引号", "#引号", "\""), "a=\"x\"");
    EXPECT_EQ(ReplaceAll("Set-Cookie: a; set-cookie: b", "set-cookie:", "", true), " a;  b");
    // A replacement is not searched again.
    EXPECT_EQ(ReplaceAll("ab", "a", "aa"), "aab");
}

TEST(StartsEndsWith, ByteWise) {
    EXPECT_TRUE(StartsWith("泼墨字体", "泼墨"));
    EXPECT_TRUE(StartsWith("abc", ""));
    EXPECT_FALSE(StartsWith("ab", "abc"));
    EXPECT_FALSE(StartsWith("Abc", "a"));
    EXPECT_TRUE(EndsWith("sid=deleted", "=deleted"));
    EXPECT_FALSE(EndsWith("deleted", "=deleted"));
}

TEST(AsciiCase, SecondBytesStayUnchanged) {
    EXPECT_EQ(AsciiLower("HTTP://Host.LAN/"), "http://host.lan/");
    EXPECT_EQ(AsciiUpper("text/Html"), "TEXT/HTML");
    // 0x81 0x41 and 0x81 0x61 are two different characters.
    EXPECT_EQ(AsciiLower("\x81"
                         "AB"),
              "\x81"
              "Ab");
    EXPECT_EQ(AsciiUpper(kTrailLowerA + "a"), kTrailLowerA + "A");
    EXPECT_EQ(AsciiUpper("字体a"), "字体A");
    EXPECT_TRUE(EqualsIgnoreCase("Keep-Alive", "keep-alive"));
    EXPECT_FALSE(EqualsIgnoreCase(kTrailLowerA,
                                  "\x81"
                                  "A"));
}

TEST(DecimalText, PlainDigits) {
    EXPECT_EQ(DecimalText(0), "0");
    EXPECT_EQ(DecimalText(104), "104");
    EXPECT_EQ(DecimalText(-7), "-7");
}

}  // namespace

// A two-byte code of the user-defined area (A1 40, A1 5C) is one character on every converter:
// its second byte (here "\") never comes out on its own as if it were ASCII.
TEST(CodePage, UnconvertibleTwoByteCodeIsOneCharacter) {
    std::u16string wide = codepage::ToWide(std::string("a\xA1\x40z"), codepage::kGbk);
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[0], u'a');
    EXPECT_EQ(wide[2], u'z');
    wide = codepage::ToWide(std::string("\xA1\x5C\\"), codepage::kGbk);
    ASSERT_EQ(wide.size(), 2u);
    EXPECT_EQ(wide[1], u'\\');
}
