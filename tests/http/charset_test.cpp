// Page charsets: names to code pages, the meta-tag declaration, conversion to GBK.
#include "http/charset.h"

#include <gtest/gtest.h>

#include "core/codepage.h"

namespace {

std::string B(const std::string& s) {
    return s;
}

TEST(Charset, NamesToCodePages) {
    struct Case {
        const char* name;
        unsigned cp;
    };
    const Case cases[] = {
        {"utf-8", 65001},       {"UTF-8", 65001},
        {" Utf8 ", 65001},      {"gbk", 936},
        {"GB2312", 936},        {"Big5", 950},
        {"shift_jis", 932},     {"Shift-JIS", 932},
        {"iso-8859-1", 28591},  {"ISO-8859-2", 28592},
        {"iso-8859-5", 28595},  {"iso-8859-9", 28599},
        {"iso-8859-15", 28605}, {"windows-1250", 1250},
        {"Windows-1251", 1251}, {"windows-1252", 1252},
        {"windows-1258", 1258}, {"KOI8-R", 20866},
        {"no-such-charset", 0}, {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodePageForCharset(c.name), c.cp) << c.name;
    // GB18030 where the platform has it, else its two-byte part, GBK.
    EXPECT_TRUE(CodePageForCharset("gb18030") == 54936 || CodePageForCharset("gb18030") == 936);
    // Names whose code page the platform may lack still map to something usable or to 0.
    for (const char* name : {"euc-jp", "euc-kr", "iso-8859-11", "iso-8859-14"}) {
        const unsigned cp = CodePageForCharset(name);
        EXPECT_TRUE(cp == 0 || codepage::IsSupported(cp)) << name;
    }
}

TEST(Charset, Declaration) {
    struct Case {
        std::string page;
        bool found;
        Text charset;
    };
    const std::string pad(1100, 'x');
    const Case cases[] = {
        {"<html><head><meta charset=\"utf-8\"></head>", true, "utf-8"},
        {"<META http-equiv=\"Content-Type\" content=\"text/html; CHARSET=Big5\">", true, "Big5"},
        {"<meta content='text/html; charset=gb2312'>", true, "gb2312"},
        {"<html>no declaration</html>", true, ""},
        {"{\"charset=utf-8\": \"not in a meta tag\"}", true, ""},
        {"", true, ""},
        // The tag and the name must be on one line.
        {"<meta\ncharset=utf-8>", true, ""},
        // Only the first 1024 bytes are looked at.
        {"<html>" + pad + "<meta charset=\"utf-8\">", true, ""},
        {std::string(1010, ' ') + "<meta charset=utf-8>", true, ""},
        {std::string(990, ' ') + "<meta charset=utf-8>", true, "utf-8"},
    };
    for (const Case& c : cases) {
        Text charset = "unchanged";
        EXPECT_EQ(FindDeclaredCharset(c.page, &charset), c.found) << c.page.substr(0, 60);
        EXPECT_EQ(charset, c.charset) << c.page.substr(0, 60);
    }
}

TEST(Charset, DecodeToGbk) {
    Text out = "unchanged";
    // "你好" as UTF-8 bytes, with a byte order mark; the literal below is GBK.
    EXPECT_TRUE(DecodeCharset(B("\xEF\xBB\xBF\xE4\xBD\xA0\xE5\xA5\xBD!"), "UTF-8", out));
    EXPECT_EQ(out, "你好!");

    EXPECT_TRUE(DecodeCharset(B("caf\xE9"), "iso-8859-1", out));
    EXPECT_EQ(out, "caf\xA8\xA6");  // GBK has the pinyin e-acute

    EXPECT_TRUE(DecodeCharset(B("\xC1\xC2"), "koi8-r", out));
    EXPECT_EQ(out, "\xA7\xD1\xA7\xD2");  // Cyrillic a and be, which GBK has

    // Zero bytes end the text.
    EXPECT_TRUE(DecodeCharset(B(std::string("ab\0cd", 5)), "utf-8", out));
    EXPECT_EQ(out, "ab");

    out = "kept";
    EXPECT_FALSE(DecodeCharset(B("abc"), "x-unknown", out));
    EXPECT_EQ(out, "kept");
}

}  // namespace
