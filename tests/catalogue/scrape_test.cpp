#include <gtest/gtest.h>

#include <vector>

#include "catalogue/scrape.h"

namespace {

// A home page of the shape the service sends: a form table whose font cell holds the select,
// followed by the colour row.
Text HomePage(const Text& options) {
    return "<html><head><meta charset=\"gbk\"></head><body>\n"
           "<form action=\"/\" method=\"post\"><table>\n"
           "<tr><td class=\"label\">字体：</td>\n"
           "<td class=\"control-group\"><select name=\"FontInfoId\">\n" +
           options +
           "</select></td></tr>\n"
           "<tr><td class=\"label\">字体颜色：</td><td><input name=\"FontColor\" /></td></tr>\n"
           "</table></form></body></html>\n";
}

std::vector<FontRow> Rows(const Text& page) {
    std::vector<FontRow> rows;
    EXPECT_TRUE(ParseFontRows(page, &rows));
    return rows;
}

void ExpectRows(const std::vector<FontRow>& rows, const std::vector<FontRow>& expected) {
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].ordinal, expected[i].ordinal) << "row " << i;
        EXPECT_EQ(rows[i].name, expected[i].name) << "row " << i;
        EXPECT_EQ(rows[i].id, expected[i].id) << "row " << i;
    }
}

TEST(ParseFontRows, PlaceholderFirstThenOneRowPerFont) {
    Text page = HomePage(
        "<option value=\"0\">请选择字体</option>\n"
        "<option value=\"104\">泼墨字体</option>\n"
        "<option value=\"7\">Dejavu &amp; Sans</option>\n"
        "<option value=\"2310\"> 方正\r\n粗黑 </option>\n");
    // The ordinal is the option's match number, so the first font shown is number 2.
    ExpectRows(Rows(page), {{"2", "泼墨字体", "104"},
                            {"3", "Dejavu &amp; Sans", "7"},
                            {"4", " 方正\r\n粗黑 ", "2310"}});
}

TEST(ParseFontRows, NamesKeepTheirOwnIdsWhenOtherOptionsAreInterleaved) {
    Text page = HomePage(
        "<option value=\"0\">请选择字体</option>\n"
        "<option value=\"group-1\">—— 第1组 ——</option>\n"
        "<option value=\"11\">甲体</option>\n"
        "<option value=\"12\">乙体</option>\n"
        "<option value=\"group-2\">—— 第2组 ——</option>\n"
        "<option value=\"13\">丙体</option>\n");
    ExpectRows(Rows(page), {{"2", "甲体", "11"}, {"3", "乙体", "12"}, {"4", "丙体", "13"}});
}

TEST(ParseFontRows, PlaceholderWithoutNumberAndNamesWithPatternBytes) {
    // Trail bytes 0x40 ("@") and 0x5C ("\") in names; upper-case tags match as well.
    Text odd =
        "\x81"
        "@\x81"
        "\\体";
    Text page = HomePage(
        "<option value=\"none\">请选择字体</option>\n"
        "<OPTION VALUE=\"5\">" +
        odd + "</OPTION>\n<option value=\"6\">字体颜色</option>\n");
    // The section ends at the first 字体颜色, even inside a name.
    std::vector<FontRow> rows = Rows(page);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ordinal, "1");
    EXPECT_EQ(rows[0].name, odd);
    EXPECT_EQ(rows[0].id, "5");
}

TEST(ParseFontRows, OptionWithOtherAttributesFirstKeepsItsId) {
    // The id pattern does not see this option (its value does not follow "<option "); the
    // row still gets the option's own number, not a neighbour's.
    Text page = HomePage(
        "<option value=\"0\">请选择字体</option>\n"
        "<option selected value=\"21\">宋体</option>\n"
        "<option value=\"22\">黑体</option>\n");
    ExpectRows(Rows(page), {{"2", "宋体", "21"}, {"3", "黑体", "22"}});
}

TEST(ParseFontRows, LastSectionIsUsed) {
    Text page = "<td class=\"control-group\"><option value=\"1\">旧</option>字体颜色\n" +
                HomePage("<option value=\"0\">x</option><option value=\"9\">新</option>");
    ExpectRows(Rows(page), {{"2", "新", "9"}});
}

TEST(ParseFontRows, EmptyOrMissing) {
    std::vector<FontRow> rows{{"1", "stale", "1"}};
    EXPECT_FALSE(ParseFontRows("<html>no form</html>", &rows));
    EXPECT_TRUE(rows.empty());
    EXPECT_FALSE(ParseFontRows("", &rows));
    // Only non-number values: a section, but no rows.
    EXPECT_TRUE(ParseFontRows(HomePage("<option value=\"none\">请选择</option>"
                                       "<option value=\"font-1\">甲</option>"),
                              &rows));
    EXPECT_TRUE(rows.empty());
    // Only the placeholder.
    EXPECT_TRUE(ParseFontRows(HomePage("<option value=\"0\">请选择</option>"), &rows));
    EXPECT_TRUE(rows.empty());
}

TEST(ParseCatalogueSection, TextBetweenCellAndColourLabel) {
    Text section;
    ASSERT_TRUE(ParseCatalogueSection("a<TD CLASS=\"control-group\">\nxy字体颜色z", &section));
    EXPECT_EQ(section, "\nxy");
    EXPECT_FALSE(ParseCatalogueSection("<td class=control-group>x字体颜色", &section));
}

TEST(BuildPreviewForm, SevenSubstitutionsInOrder) {
    EXPECT_EQ(BuildPreviewForm("104", "50", "#000000", "600", "200", "#FFFFFF", "请输入内容"),
              "FontInfoId=104&FontSize=50&FontColor=%23000000&ImageWidth=600&ImageHeight=200"
              "&ImageBgColor=%23FFFFFF&Content=%E8%AF%B7%E8%BE%93%E5%85%A5%E5%86%85%E5%AE%B9"
              "&ActionCategory=1");
    // A placeholder word in an earlier, unencoded value is filled by a later step.
    EXPECT_EQ(BuildPreviewForm("1", "色", "#1", "宽", "高", "#2", "a b"),
              "FontInfoId=1&FontSize=%231&FontColor=%231&ImageWidth=宽&ImageHeight=高"
              "&ImageBgColor=%232&Content=a%20b&ActionCategory=1");
    EXPECT_EQ(BuildPreviewForm("", "", "", "", "", "", ""),
              "FontInfoId=&FontSize=&FontColor=&ImageWidth=&ImageHeight=&ImageBgColor=&Content="
              "&ActionCategory=1");
}

TEST(ExtractPreviewImageUrl, AddressBetweenSaveLinkAndShareButtons) {
    Text answer =
        "<h2>泼墨</h2><img src=\"/logo.png\" />\n<a class=\"save\" "
        "href=\"/img/1.png\">保存图片</a>\n"
        "<div><img src=\"/preview/abc.png?x=1&amp;y=2\" /></div>\n<div>百度分享</div>";
    EXPECT_EQ(ExtractPreviewImageUrl(answer), "/preview/abc.png?x=1&amp;y=2");
    // The last address of the block wins.
    EXPECT_EQ(ExtractPreviewImageUrl("保存图片<img SRC=\"a\" /><img src=\"b\" />百度分享"), "b");
    EXPECT_EQ(ExtractPreviewImageUrl("保存图片<img src=\"a\">百度分享"), "");
    EXPECT_EQ(ExtractPreviewImageUrl("<img src=\"a\" />百度分享"), "");
    EXPECT_EQ(ExtractPreviewImageUrl(""), "");
}

TEST(FontSearch, TrimmedPrefixFromStartRowWithoutWrapping) {
    const std::vector<Text> names = {"泼墨字体", "方正粗黑", "泼墨行书", "Arial", "arial black"};
    EXPECT_TRUE(MatchesFontSearch("泼墨字体", "　泼墨 "));
    EXPECT_FALSE(MatchesFontSearch("新泼墨", "泼墨"));
    EXPECT_FALSE(MatchesFontSearch("Arial", "arial"));
    EXPECT_TRUE(MatchesFontSearch("a\tb", "a\t"));  // a tab is no blank
    EXPECT_EQ(FindFontRow(names, 0, "泼墨"), 0);
    EXPECT_EQ(FindFontRow(names, 1, "泼墨"), 2);
    EXPECT_EQ(FindFontRow(names, 3, "泼墨"), -1);
    EXPECT_EQ(FindFontRow(names, 0, "arial"), 4);
    EXPECT_EQ(FindFontRow(names, 2, "   "), 2);  // blank search text matches every row
    EXPECT_EQ(FindFontRow(names, 5, ""), -1);
    EXPECT_EQ(FindFontRow(names, -1, "方正"), 1);
    EXPECT_EQ(FindFontRow({}, 0, ""), -1);
    // A second byte is never mistaken for the start of the search text.
    EXPECT_EQ(FindFontRow({"\x81"
                           "A"},
                          0, "A"),
              -1);
}

}  // namespace
