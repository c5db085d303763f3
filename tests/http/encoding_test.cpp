#include <gtest/gtest.h>

#include "http/encoding.h"

namespace {

Bytes B(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values)
        out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

TEST(ToUtf16, TerminatedUnlessDropped) {
    EXPECT_TRUE(ToUtf16("").empty());
    EXPECT_TRUE(ToUtf16("", true).empty());
    EXPECT_EQ(ToUtf16("A"), B({0x41, 0, 0, 0}));
    EXPECT_EQ(ToUtf16("A", true), B({0x41, 0}));
    EXPECT_EQ(ToUtf16("你a"), B({0x60, 0x4F, 0x61, 0, 0, 0}));
    // 0x81 0x40 is one character (U+4E02), not 0x81 and "@".
    EXPECT_EQ(ToUtf16("\x81"
                      "@",
                      true),
              B({0x02, 0x4E}));
}

TEST(FromUtf16, UpToFirstZeroUnit) {
    EXPECT_EQ(FromUtf16(B({0x60, 0x4F, 0x7D, 0x59, 0, 0})), "你好");
    EXPECT_EQ(FromUtf16(B({0x41, 0, 0, 0, 0x42, 0})), "A");
    EXPECT_EQ(FromUtf16(B({0x41, 0, 0x42})), "A");  // an odd last byte is no unit
    EXPECT_EQ(FromUtf16(Bytes()), "");
    EXPECT_EQ(FromUtf16(ToUtf16("泼墨字体 ab")), "泼墨字体 ab");
    EXPECT_EQ(FromUtf16(B({0xAC, 0x20, 0, 0})), "\x80");  // the euro sign is 0x80 in GBK
}

TEST(FromUtf16, ComposesBaseAndMarkWhereGbkHasTheCharacter) {
    // "e" + combining acute, "u" + diaeresis + macron, か + voicing mark, Cyrillic и + breve.
    EXPECT_EQ(FromUtf16(B({0x65, 0, 0x01, 0x03})), "é");
    EXPECT_EQ(FromUtf16(B({0x75, 0, 0x08, 0x03, 0x04, 0x03})), "ǖ");
    EXPECT_EQ(FromUtf16(B({0x4B, 0x30, 0x99, 0x30})), "が");
    EXPECT_EQ(FromUtf16(B({0x38, 0x04, 0x06, 0x03, 0x41, 0})), "йA");
    // Precomposed input is unchanged; a mark GBK cannot compose stays a separate character.
    EXPECT_EQ(FromUtf16(B({0xE9, 0, 0x61, 0})), "éa");
    EXPECT_EQ(FromUtf16(B({0x78, 0, 0x01, 0x03})), "x?");
}

TEST(FromUtf16, CharactersGbkLacksBecomeQuestionMarks) {
    EXPECT_EQ(FromUtf16(B({0x41, 0, 0x3A, 0xD8, 0x00, 0xDC})).substr(0, 2), "A?");
    EXPECT_EQ(FromUtf16(B({0x06, 0x06, 0x42, 0})), "?B");  // Arabic letter
}

TEST(TextToUtf16, ChosenCodePage) {
    EXPECT_EQ(TextToUtf16("\xE4\xBD\xA0"), B({0x60, 0x4F, 0, 0}));  // UTF-8 by default
    EXPECT_EQ(TextToUtf16("你", 936), B({0x60, 0x4F, 0, 0}));
    EXPECT_EQ(TextToUtf16("你", 0), B({0x60, 0x4F, 0, 0}));  // the system code page is GBK
    EXPECT_TRUE(TextToUtf16("", 936).empty());
    EXPECT_EQ(Utf16ToText(B({0x60, 0x4F, 0, 0})), "你");
    EXPECT_EQ(Utf16ToText(B({0x60, 0x4F}), 65001), "\xE4\xBD\xA0");
    EXPECT_EQ(Utf16ToText(B({0x41, 0, 0, 0, 0x42, 0}), 65001), "A");
}

TEST(Utf8AndGbk, RoundTrip) {
    EXPECT_EQ(GbkToUtf8("你好"), "\xE4\xBD\xA0\xE5\xA5\xBD");
    EXPECT_EQ(Utf8ToGbk("\xE4\xBD\xA0\xE5\xA5\xBD"), "你好");
    EXPECT_EQ(Utf8ToGbk(GbkToUtf8("览字坊 ABC 【完成】")), "览字坊 ABC 【完成】");
    EXPECT_EQ(GbkToUtf8(""), "");
    EXPECT_EQ(Utf8ToGbk(""), "");
}

TEST(PercentDecode, Bytes) {
    struct Case {
        Text in, out;
    } cases[] = {
        {"a%2Fb", "a/b"},
        {"a%2fb", "a/b"},
        {"a+b", "a+b"},
        {"%4", "@"},
        {"x%4", "x@"},
        {"ab%", "ab"},
        {"%", ""},
        {"%00a", "a"},  // a zero byte adds nothing
        {"%41%42C", "ABC"},
        {"%%41", "%A"},  // "%" before a non-digit stays literally
        {"50%\",\"x\":1", "50%\",\"x\":1"},
        {"%zz", "%zz"},
        {"%4g", "%4g"},
        {"%C4%E3", "你"},  // GBK bytes without the UTF-8 step
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PercentDecode(c.in, false), c.out) << c.in;
}

TEST(PercentDecode, FromUtf8) {
    EXPECT_EQ(PercentDecode("%e4%bd%a0", true), "你");
    EXPECT_EQ(PercentDecode("%E4%BD%A0", true), "你");
    EXPECT_EQ(PercentDecode("%7B%22canDownload%22%3Atrue%7D", true), "{\"canDownload\":true}");
    // Already-decoded UTF-8 passes through the conversion as well.
    EXPECT_EQ(PercentDecode("\xE5\xAD\x97%E4%BD%93", true), "字体");
}

TEST(FormUrlEncode, Utf8PercentEncoding) {
    EXPECT_EQ(FormUrlEncode("你好 a_b"), "%E4%BD%A0%E5%A5%BD%20a%5Fb");
    EXPECT_EQ(FormUrlEncode("#000000"), "%23000000");
    EXPECT_EQ(FormUrlEncode("#FFFFFF"), "%23FFFFFF");
    EXPECT_EQ(FormUrlEncode(""), "");
    EXPECT_EQ(FormUrlEncode("Az09-.~*+&="), "Az09-.%7E%2A%2B%26%3D");
    EXPECT_EQ(FormUrlEncode("请输入内容"), "%E8%AF%B7%E8%BE%93%E5%85%A5%E5%86%85%E5%AE%B9");
    EXPECT_EQ(PercentDecode(FormUrlEncode("览字坊 \"x\" 100%"), true), "览字坊 \"x\" 100%");
}

}  // namespace
