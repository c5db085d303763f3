// RegexObject: ECMAScript-like matching over GBK texts with exact byte positions.
#include "script/regex_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every group-1 text, read the way the catalogue reads them.
std::vector<Text> Groups1(const RegexObject& re) {
    std::vector<Text> out;
    for (int k = 1; k <= re.MatchCount(); ++k)
        out.push_back(re.SubMatchText(k, 1));
    return out;
}

// The options the catalogue scraping uses.
bool ScrapeSearch(RegexObject& re, const Text& pattern, const Text& subject) {
    return re.Search(pattern, subject, false, false, true, true);
}

TEST(RegexObject, QuotePlaceholderOnAndOff) {
    RegexObject re;
    const Text subject = "<a value=\"12\"> value=#引号7#引号";
    ASSERT_TRUE(re.Search("value=#引号(\\d+)#引号", subject, false, true, true, true));
    EXPECT_EQ(re.GetPattern(), "value=\"(\\d+)\"");
    EXPECT_EQ(Groups1(re), std::vector<Text>{"12"});
    ASSERT_TRUE(re.Search("value=#引号(\\d+)#引号", subject));
    EXPECT_EQ(re.GetPattern(), "value=#引号(\\d+)#引号");
    EXPECT_EQ(Groups1(re), std::vector<Text>{"7"});
}

TEST(RegexObject, EmptySubjectAndNoMatch) {
    RegexObject re;
    ASSERT_TRUE(re.Search("a", ""));
    EXPECT_EQ(re.MatchCount(), 0);
    EXPECT_EQ(re.SubMatchCount(), 0);
    EXPECT_EQ(re.Replace("x"), "");
    ASSERT_TRUE(re.Search("(b)", "aaa"));
    EXPECT_EQ(re.MatchCount(), 0);
    EXPECT_EQ(re.SubMatchCount(), 0);
    EXPECT_EQ(re.SubMatchText(1, 1), "");
    EXPECT_EQ(re.Replace("x"), "aaa");
    // An empty pattern matches the empty subject once.
    ASSERT_TRUE(re.Search("x*", ""));
    EXPECT_EQ(re.MatchCount(), 1);
}

TEST(RegexObject, MatchNumbersOutOfRange) {
    RegexObject re;
    ASSERT_TRUE(re.Search("(\\d)", "1 2 3"));
    ASSERT_EQ(re.MatchCount(), 3);
    EXPECT_EQ(re.SubMatchCount(), 1);
    long pos = 99;
    EXPECT_EQ(re.MatchText(0, &pos), "");
    EXPECT_EQ(pos, -1);
    pos = 99;
    EXPECT_EQ(re.MatchText(4, &pos), "");
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(re.MatchText(3, &pos), "3");
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(re.SubMatchText(1, 0), "");
    EXPECT_EQ(re.SubMatchText(1, 2), "");
    EXPECT_EQ(re.SubMatchText(0, 1), "");
    EXPECT_EQ(re.SubMatchText(4, 1), "");
}

TEST(RegexObject, GroupThatDidNotTakePart) {
    RegexObject re;
    ASSERT_TRUE(re.Search("(a)|(b)", "b"));
    ASSERT_EQ(re.MatchCount(), 1);
    EXPECT_EQ(re.SubMatchCount(), 2);
    long pos = 99;
    EXPECT_EQ(re.SubMatchText(1, 1, &pos), "");
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(re.SubMatchText(1, 2, &pos), "b");
    EXPECT_EQ(pos, 0);
    // A back-reference to a group that did not take part matches the empty text.
    ASSERT_TRUE(re.Search("(a)?b\\1c", "xbc"));
    EXPECT_EQ(re.MatchText(1), "bc");
    EXPECT_EQ(re.Replace("[$1]"), "x[]");
}

TEST(RegexObject, SecondSearchForgetsTheFirst) {
    RegexObject re;
    ASSERT_TRUE(re.Search("(o)", "foo"));
    ASSERT_EQ(re.MatchCount(), 2);
    ASSERT_TRUE(re.Search("z", "foo"));
    EXPECT_EQ(re.MatchCount(), 0);
    EXPECT_EQ(re.MatchText(1), "");
    EXPECT_EQ(re.GetPattern(), "z");
    // A rejected pattern leaves nothing at all.
    ASSERT_TRUE(re.Search("(o)", "foo"));
    EXPECT_FALSE(re.Search("(o", "foo"));
    EXPECT_EQ(re.MatchCount(), 0);
    EXPECT_EQ(re.SubMatchCount(), 0);
    EXPECT_EQ(re.MatchText(1), "");
    EXPECT_EQ(re.GetPattern(), "");
    EXPECT_EQ(re.Replace("x"), "");
}

TEST(RegexObject, RunawayBacktrackingFailsInsteadOfHanging) {
    RegexObject re;
    EXPECT_FALSE(re.Search("(a+)+b", Text(40, 'a') + "cb", true));
    EXPECT_EQ(re.MatchCount(), 0);
    EXPECT_TRUE(re.Search("(a+)+b", Text(40, 'a') + "b", true));
    EXPECT_EQ(re.MatchCount(), 1);
}

TEST(RegexObject, CopiesKeepTheirResult) {
    RegexObject re;
    ASSERT_TRUE(re.Search("b+", "abbc"));
    RegexObject copy = re;
    ASSERT_TRUE(re.Search("c", "abbc"));
    EXPECT_EQ(copy.MatchText(1), "bb");
    EXPECT_EQ(re.MatchText(1), "c");
    copy = re;
    EXPECT_EQ(copy.MatchText(1), "c");
}

TEST(RegexObject, CaseFolding) {
    RegexObject re;
    ASSERT_TRUE(re.Search("<TD Class", "<td class"));
    EXPECT_EQ(re.MatchCount(), 1);
    ASSERT_TRUE(re.Search("<TD Class", "<td class", true));
    EXPECT_EQ(re.MatchCount(), 0);
    // Full-width Latin and Greek letters of GBK fold too.
    ASSERT_TRUE(re.Search("ＡΩ", "ａω"));
    EXPECT_EQ(re.MatchCount(), 1);
}

struct SyntaxCase {
    const char* name;
    Text pattern;
    Text subject;
    bool multiLine;
    std::vector<Text> matches;
};

class RegexSyntax : public testing::TestWithParam<SyntaxCase> {};

TEST_P(RegexSyntax, MatchesAsEcmaScript) {
    const SyntaxCase& c = GetParam();
    RegexObject re;
    ASSERT_TRUE(re.Search(c.pattern, c.subject, true, c.multiLine, true));
    std::vector<Text> got;
    for (int k = 1; k <= re.MatchCount(); ++k)
        got.push_back(re.MatchText(k));
    EXPECT_EQ(got, c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    Cases,
    RegexSyntax,
    testing::Values(
        SyntaxCase{"AnyIncludingBreaks", "a[\\s\\S]b", "a\nb a\rb", false, {"a\nb", "a\rb"}},
        SyntaxCase{"DotStopsAtTerminators", "a.b", "a\nb a\rb axb", false, {"axb"}},
        SyntaxCase{"DigitsAreAscii", "\\d+", "１２34", false, {"34"}},
        SyntaxCase{"WordIsAscii", "\\w+", "中文ab_1，x", false, {"ab_1", "x"}},
        SyntaxCase{"NegatedClasses", "[^\\w]+", "ab中 c", false, {"中 "}},
        SyntaxCase{"NegatedDigit", "\\D+", "12中a3", false, {"中a"}},
        SyntaxCase{"Lazy",
                   "<b>([\\s\\S]*?)</b>",
                   "<b>1</b><b>2</b>",
                   false,
                   {"<b>1</b>", "<b>2</b>"}},
        SyntaxCase{"LazyPlus", "a+?", "aaa", false, {"a", "a", "a"}},
        SyntaxCase{"DollarOnlyAtEnd", "a$", "a\na", false, {"a"}},
        SyntaxCase{"DollarNotBeforeFinalBreak", "a$", "a\n", false, {}},
        SyntaxCase{"CaretAtStartOnly", "^a", "a\na", false, {"a"}},
        SyntaxCase{"MultiLineCaret", "^a", "a\na\r\na", true, {"a", "a", "a"}},
        SyntaxCase{"MultiLineDollar", "a$", "a\ra\r\nab", true, {"a", "a"}},
        // ECMAScript counts CR and LF as two terminators: "^" matches between them.
        SyntaxCase{"MultiLineEmptyLines", "^$", "x\r\n\ny", true, {"", ""}},
        SyntaxCase{"CaretAfterFinalBreak", "^", "a\n", true, {"", ""}},
        SyntaxCase{"EmptyMatchesStepOn", "x*", "abc", false, {"", "", "", ""}},
        SyntaxCase{"EmptyThenLonger", "a*", "baa", false, {"", "aa", ""}},
        SyntaxCase{"UnicodeEscape", "\\u4e2d.", "中文", false, {"中文"}},
        SyntaxCase{"HexEscape", "\\x41+", "AAB", false, {"AA"}},
        SyntaxCase{"IdentityEscapes", "\\h\\K\\Q", "hKQ", false, {"hKQ"}},
        SyntaxCase{"VerticalTabOnly", "\\v", "\n\v\r", false, {"\v"}},
        SyntaxCase{"EmptyClassNeverMatches", "a[]", "a[]", false, {}},
        SyntaxCase{"NegatedEmptyClassIsAny", "a[^]", "a\n", false, {"a\n"}},
        SyntaxCase{"BracketInClassIsLiteral", "[[:a]+", "x[:a", false, {"[:a"}},
        SyntaxCase{"NamedGroup", "(?<n>o)\\k<n>", "foo", false, {"oo"}},
        SyntaxCase{"Lookahead", "\\w(?=!)", "ab!", false, {"b"}}),
    [](const testing::TestParamInfo<SyntaxCase>& info) { return std::string(info.param.name); });

TEST(RegexObject, NeverMatchesInsideTwoByteCharacters) {
    RegexObject re;
    // 0x81 0x40 is one character whose second byte is "@"; 0xD6 0xD0 ("中") contains no ASCII.
    const Text subject = "\x81\x40@\xD6\xD0\x81\x40";
    ASSERT_TRUE(re.Search("@", subject));
    ASSERT_EQ(re.MatchCount(), 1);
    long pos = -2;
    EXPECT_EQ(re.MatchText(1, &pos), "@");
    EXPECT_EQ(pos, 2);
    ASSERT_TRUE(re.Search(".", subject));
    EXPECT_EQ(re.MatchCount(), 4);
    EXPECT_EQ(re.MatchText(3, &pos), "中");
    EXPECT_EQ(pos, 3);
}

TEST(RegexObject, PositionsAreExactByteOffsets) {
    RegexObject re;
    // The second "x" is at character 10 but byte 19; a byte search from the character index
    // would find the first "x" (byte 16) again.
    const Text subject = "字字字字字字字字x字x";
    ASSERT_TRUE(re.Search("(x)", subject));
    ASSERT_EQ(re.MatchCount(), 2);
    long pos = -2;
    EXPECT_EQ(re.MatchText(1, &pos), "x");
    EXPECT_EQ(pos, 16);
    EXPECT_EQ(re.MatchText(2, &pos), "x");
    EXPECT_EQ(pos, 19);
    EXPECT_EQ(re.SubMatchText(2, 1, &pos), "x");
    EXPECT_EQ(pos, 19);
    // A group's position is its own, not its match's.
    ASSERT_TRUE(re.Search("名称：([^<]+)<", "<b>名称：方正黑体</b>"));
    EXPECT_EQ(re.MatchText(1, &pos), "名称：方正黑体<");
    EXPECT_EQ(pos, 3);
    EXPECT_EQ(re.SubMatchText(1, 1, &pos), "方正黑体");
    EXPECT_EQ(pos, 9);
}

TEST(RegexObject, BytesOutsideGbkKeepTheirPlace) {
    RegexObject re;
    // A stray lead byte before ASCII, a lone 0xFF and a lone 0x80: the text around them is cut
    // out byte for byte and positions stay exact.
    const Text subject = "\x81 x中\xFFy\x80z中";
    ASSERT_TRUE(re.Search("[xyz]中?", subject));
    ASSERT_EQ(re.MatchCount(), 3);
    long pos = -2;
    EXPECT_EQ(re.MatchText(1, &pos), "x中");
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(re.MatchText(2, &pos), "y");
    EXPECT_EQ(pos, 6);
    EXPECT_EQ(re.MatchText(3, &pos), "z中");
    EXPECT_EQ(pos, 8);
    EXPECT_EQ(re.Replace("-"), "\x81 -\xFF-\x80-");

    // Two-byte codes the converter may not know (A2A0, D7FA) beside known ones.
    const Text unassigned =
        "a\xA2\xA0"
        "b中\xD7\xFA"
        "c";
    ASSERT_TRUE(re.Search("[abc]|中", unassigned));
    ASSERT_EQ(re.MatchCount(), 4);
    const long expected[] = {0, 3, 4, 8};
    for (int k = 1; k <= 4; ++k) {
        re.MatchText(k, &pos);
        EXPECT_EQ(pos, expected[k - 1]) << k;
    }
    EXPECT_EQ(re.MatchText(3), "中");
}

struct ReplaceCase {
    const char* name;
    Text pattern;
    bool global;
    Text replacement;
    Text expected;
};

class RegexReplace : public testing::TestWithParam<ReplaceCase> {};

TEST_P(RegexReplace, FollowsEcmaScriptRules) {
    const ReplaceCase& c = GetParam();
    RegexObject re;
    ASSERT_TRUE(re.Search(c.pattern, "ab字cd字ef", true, true, c.global));
    EXPECT_EQ(re.Replace(c.replacement), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases,
    RegexReplace,
    testing::Values(ReplaceCase{"GlobalAll", "字", true, "〇", "ab〇cd〇ef"},
                    ReplaceCase{"FirstOnly", "字", false, "〇", "ab〇cd字ef"},
                    ReplaceCase{"Groups", "(\\w)字(\\w)", true, "$2-$1", "ac-be-df"},
                    ReplaceCase{"WholeMatch", "字", true, "[$&]", "ab[字]cd[字]ef"},
                    ReplaceCase{"Before", "d字", true, "<$`>", "ab字c<ab字c>ef"},
                    ReplaceCase{"After", "b字", true, "<$'>", "a<cd字ef>cd字ef"},
                    ReplaceCase{"Dollar", "字", false, "$$1", "ab$1cd字ef"},
                    ReplaceCase{"DollarZeroIsLiteral", "字", false, "$0", "ab$0cd字ef"},
                    ReplaceCase{"MissingGroupIsLiteral", "(字)", false, "$2", "ab$2cd字ef"},
                    ReplaceCase{"OneDigitWhenTwoIsTooMany", "(字)", false, "$12", "ab字2cd字ef"},
                    ReplaceCase{"TrailingDollar", "字", false, "$", "ab$cd字ef"},
                    ReplaceCase{"UnsetGroupIsEmpty", "(x)?字", false, "[$1]", "ab[]cd字ef"}),
    [](const testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

TEST(RegexObject, TwoDigitGroupReferences) {
    RegexObject re;
    ASSERT_TRUE(re.Search("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij"));
    EXPECT_EQ(re.Replace("$10$1"), "ja");
    EXPECT_EQ(re.Replace("$011"), "a1");
}

// A catalogue home page in the service's shape.
Text CataloguePage() {
    return "<html><head><meta charset=\"gbk\"><title>字体</title></head><body>\r\n"
           "<form method=\"post\"><table><tr><td class=\"control-label\">字体</td>\r\n"
           "<td class=\"control-group\"><select name=\"FontInfoId\">\r\n"
           "<option value=\"0\">请选择字体</option>\r\n"
           "<option value=\"104\">方正兰亭黑</option>\r\n"
           "<option value=\"7\">Tom &amp; Jerry 体</option>\r\n"
           "<option value=\"abc\">非数字</option>\r\n"
           "<option value=\"2048\">汉仪\r\n旗黑</option>\r\n"
           "</select></td></tr>\r\n"
           "<tr><td class=\"control-label\">字体颜色</td>"
           "<td class=\"control-group\"><input name=\"FontColor\"></td></tr>\r\n"
           "</table></form></body></html>";
}

TEST(RegexObject, CataloguePatterns) {
    RegexObject re;
    const Text page = CataloguePage();
    ASSERT_TRUE(ScrapeSearch(re, "<td class=#引号control-group#引号>([\\s\\S]*?)字体颜色", page));
    ASSERT_EQ(re.MatchCount(), 1);
    const Text section = re.SubMatchText(1, 1);
    EXPECT_EQ(section.find("<select"), 0u);
    EXPECT_NE(section.find("control-label\">"), Text::npos);

    ASSERT_TRUE(ScrapeSearch(re, "value=#引号\\d+#引号>([\\s\\S]*?)</option>", section));
    EXPECT_EQ(Groups1(re), (std::vector<Text>{"请选择字体", "方正兰亭黑", "Tom &amp; Jerry 体",
                                              "汉仪\r\n旗黑"}));

    ASSERT_TRUE(ScrapeSearch(re, "<option value=#引号([\\s\\S]*?)#引号>", section));
    EXPECT_EQ(Groups1(re), (std::vector<Text>{"0", "104", "7", "abc", "2048"}));

    // Upper-case tags match too: the scraping is case-insensitive.
    Text upper = page;
    const Text cell = "<td class=\"control-group\">";
    upper.replace(upper.find(cell), cell.size(), "<TD CLASS=\"CONTROL-GROUP\">");
    ASSERT_TRUE(ScrapeSearch(re, "<td class=#引号control-group#引号>([\\s\\S]*?)字体颜色", upper));
    EXPECT_EQ(re.SubMatchText(1, 1), section);
}

TEST(RegexObject, SearchesInACutOutSectionAgreeWithAFreshObject) {
    // A section large enough to be taken from the page's conversion rather than converted
    // again; names of varying GBK lengths keep the byte and character offsets apart.
    Text page = "<p>页头</p><td class=\"control-group\"><select>";
    for (int i = 0; i < 400; ++i)
        page += "<option value=\"" + std::to_string(i) + "\">" + Text(i % 5 + 1, 'a') +
                (i % 3 ? "黑体" : "") + "</option>\r\n";
    page += "</select>字体颜色";
    RegexObject re;
    ASSERT_TRUE(ScrapeSearch(re, "<td class=#引号control-group#引号>([\\s\\S]*?)字体颜色", page));
    const Text section = re.SubMatchText(1, 1);
    ASSERT_GT(section.size(), 8192u);
    const Text pattern = "value=#引号\\d+#引号>([\\s\\S]*?)</option>";
    ASSERT_TRUE(ScrapeSearch(re, pattern, section));
    RegexObject fresh;
    ASSERT_TRUE(ScrapeSearch(fresh, pattern, Text(section)));
    ASSERT_EQ(re.MatchCount(), 400);
    ASSERT_EQ(fresh.MatchCount(), 400);
    for (int k = 1; k <= 400; ++k) {
        long a = -2, b = -3;
        ASSERT_EQ(re.SubMatchText(k, 1, &a), fresh.SubMatchText(k, 1, &b)) << k;
        ASSERT_EQ(a, b) << k;
        ASSERT_EQ(section.substr(static_cast<std::size_t>(a), 1), "a") << k;
    }
    EXPECT_EQ(re.Replace("$1"), fresh.Replace("$1"));
    // "^" sees the start of the section, not the page text before it.
    ASSERT_TRUE(ScrapeSearch(re, "^<select>", section));
    EXPECT_EQ(re.MatchCount(), 1);
}

TEST(RegexObject, CatalogueWithoutSection) {
    RegexObject re;
    ASSERT_TRUE(ScrapeSearch(re, "<td class=#引号control-group#引号>([\\s\\S]*?)字体颜色",
                             "<html>维护中</html>"));
    EXPECT_EQ(re.MatchCount(), 0);
}

TEST(RegexObject, PreviewPatterns) {
    const Text answer =
        "<div class=\"preview\">\r\n<a href=\"#\">保存图片</a>\r\n"
        "<img alt=\"预览\" src=\"/Content/Images/Temp/a1b2.png\" />\r\n"
        "<img src=\"/Content/Images/Temp/字体&amp;2.png\" />\r\n"
        "<div>百度分享</div><img src=\"/x.png\" /></div>";
    RegexObject re;
    ASSERT_TRUE(ScrapeSearch(re, "保存图片([\\s\\S]*?)百度分享", answer));
    ASSERT_EQ(re.MatchCount(), 1);
    const Text block = re.SubMatchText(1, 1);
    ASSERT_TRUE(ScrapeSearch(re, "src=#引号([\\s\\S]*?)#引号 />", block));
    EXPECT_EQ(Groups1(re), (std::vector<Text>{"/Content/Images/Temp/a1b2.png",
                                              "/Content/Images/Temp/字体&amp;2.png"}));
}

TEST(RegexObject, CharsetPattern) {
    struct Case {
        Text page;
        Text charset;
    };
    const Case cases[] = {
        {"<META http-equiv=\"Content-Type\" content=\"text/html; Charset=GB2312\">", "GB2312"},
        {"<head>\n<meta charset=\"utf-8\" />\n<meta charset=big5>", "utf-8"},
        {"<meta charset=utf-8>", "utf-8"},
        {"<meta name=\"x\"\ncontent=\"charset=gbk\">", ""},  // "." does not cross the break
        {"<p>字体</p>", ""},
    };
    for (const Case& c : cases) {
        RegexObject re;
        ASSERT_TRUE(re.Search("<meta.+?charset=[^\\w]?([-\\w]+)", c.page)) << c.page;
        EXPECT_EQ(re.SubMatchText(1, 1), c.charset) << c.page;
    }
}

}  // namespace
