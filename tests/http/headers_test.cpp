#include <gtest/gtest.h>

#include "http/headers.h"

namespace {

TEST(NormalizeHeaderNames, CapitalisesEveryPieceAndDropsLinesWithoutColon) {
    struct Case {
        Text in, out;
    } cases[] = {
        {"content-type: text/html", "Content-Type: text/html"},
        {"x-requested-with:XMLHttpRequest", "X-Requested-With:XMLHttpRequest"},
        {"accept: text/html\r\n", "Accept: text/html"},
        // Only the first letter of each piece changes; the value never does.
        {"x-fOO-bar: a-b c: d", "X-FOO-Bar: a-b c: d"},
        {"user-agent: x\r\nnot a header\r\n\r\nhost: h\r\n", "User-Agent: x\r\nHost: h"},
        {"no colon here", ""},
        {"", ""},
        {"1-a: x", "1-A: x"},
        {"--x: y", "--X: y"},
        // A dash at the end of a name is kept, as is any other byte of it.
        {"x-: y", "X-: y"},
        {"字体-name: 字", "字体-Name: 字"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormalizeHeaderNames(c.in), c.out) << c.in;
}

TEST(CapitalizeFirst, AsciiLetterOnly) {
    EXPECT_EQ(CapitalizeFirst("keep-alive"), "Keep-alive");
    EXPECT_EQ(CapitalizeFirst("Xy"), "Xy");
    EXPECT_EQ(CapitalizeFirst("9a"), "9a");
    EXPECT_EQ(CapitalizeFirst(""), "");
    EXPECT_EQ(CapitalizeFirst("字a"), "字a");
}

TEST(HeaderValue, FirstLineStartingWithExactName) {
    const Text block = "Host: h\r\nConnection: close\r\nConnection: keep-alive\r\nX: 1";
    EXPECT_EQ(HeaderValue(block, "Connection"), "close");
    EXPECT_EQ(HeaderValue(block, "connection"), "");
    EXPECT_EQ(HeaderValue(block, "X"), "1");
    EXPECT_EQ(HeaderValue(block, "Accept"), "");
    // The first line that starts with the name wins even when it lacks ": ".
    EXPECT_EQ(HeaderValue("Location:/a\r\nLocation: /b", "Location"), "");
    EXPECT_EQ(HeaderValue("Set-Cookie: a=1; path=/", "Set-Cookie"), "a=1; path=/");
}

TEST(TextAfterBefore, FirstOccurrence) {
    EXPECT_EQ(TextAfter("a: b: c", ": "), "b: c");
    EXPECT_EQ(TextAfter("abc", "x"), "");
    EXPECT_EQ(TextAfter("abc", "c"), "");
    EXPECT_EQ(TextBefore("HTTP/1.1 200 OK", " "), "HTTP/1.1");
    EXPECT_EQ(TextBefore("abc", "x"), "");
    EXPECT_EQ(TextBefore("abc", "a"), "");
    // 0x81 0x5C is one character: its second byte is no backslash.
    const Text gbkBackslash =
        "\x81"
        "\\";
    EXPECT_EQ(TextBefore("a" + gbkBackslash + "b\\c", "\\"), "a" + gbkBackslash + "b");
    EXPECT_EQ(TextAfter(gbkBackslash + "x", "\\"), "");
}

TEST(TextBetween, MarkersAndQuotePlaceholder) {
    struct Case {
        Text s, left, right, out;
    } cases[] = {
        {"a=\"1\"", "a=#引号", "#引号", "1"},
        {"<b>x</b><b>y</b>", "<b>", "</b>", "x"},
        {"[[x]", "[", "]", "[x"},
        {"aXa", "a", "a", "X"},
        // The right marker is looked for only after the left one.
        {"/b a:c/", "a", "/", ":c"},
        {"Set-Cookie: sid=1; path=/", "Set-Cookie:", ";", " sid=1"},
        {"ab", "x", "b", ""},
        {"ab", "a", "x", ""},
        {"ab", "a", "b", ""},
        {"href=\"/a\" title=\"t\"", "title=#引号", "#引号", "t"},
        {"字体名称：泼墨体；", "：", "；", "泼墨体"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextBetween(c.s, c.left, c.right), c.out) << c.s;
}

TEST(CookieName, BeforeFirstEqualsTrimmed) {
    EXPECT_EQ(CookieName("sid=a=b"), "sid");
    EXPECT_EQ(CookieName(" sid =1"), "sid");
    EXPECT_EQ(CookieName("flag"), "flag");
    EXPECT_EQ(CookieName("　名=1"), "名");
    EXPECT_EQ(CookieName("=x"), "");
}

TEST(MergeCookies, NewFirstReplacingSameNameThenOldInOrder) {
    struct Case {
        Text oldJar, newJar, merged;
    } cases[] = {
        {"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
        {"a=1; sid=x", "sid=deleted", "a=1"},
        {"a=1;", "", "a=1"},
        {"", "a=1", "a=1"},
        {"", "", ""},
        {"a=deleted; b=deleted", "c=deleted", ""},
        {"a=1", "a=deleted", ""},
        // Names are compared exactly.
        {"SID=1", "sid=2", "sid=2; SID=1"},
        {"sid=1", "Sid=deleted", "sid=1"},
        // A deletion marker already in the old jar goes too.
        {"x=deleted; y=1", "z=2", "z=2; y=1"},
        {"  a=1; b=2  ", " c=3;", "c=3; a=1; b=2"},
        // Names are trimmed before comparing.
        {"a=1; b=2", "b =3", "b =3; a=1"},
        // Repeated identical cookies collapse; differing ones with one name do not.
        {"a=1; a=1", "b=2; b=2", "b=2; a=1"},
        {"", "b=1; b=2", "b=1; b=2"},
        // Empty pieces are no cookies.
        {"a=1; ; b=2", "", "a=1; b=2"},
        {"名=值", "sid=1", "sid=1; 名=值"},
    };
    for (const Case& c : cases) {
        Text jar = c.oldJar;
        EXPECT_EQ(MergeCookies(jar, c.newJar), c.merged) << c.oldJar << " + " << c.newJar;
        EXPECT_EQ(jar, c.merged) << "the old jar receives the result";
    }
}

TEST(JoinUnique, DropsRepeatedPieces) {
    EXPECT_EQ(JoinUnique("a; b; a; c; b", "; "), "a; b; c");
    EXPECT_EQ(JoinUnique("a; b; ", "; "), "a; b");
    EXPECT_EQ(JoinUnique("", "; "), "");
    EXPECT_EQ(JoinUnique("a,,b,,c", ","), "a,,b,c");
    EXPECT_EQ(JoinUnique("A,a", ","), "A,a");
}

}  // namespace
