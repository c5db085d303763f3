// Pieces of the catalogue service that are easier to check directly than over the wire.

#include <gtest/gtest.h>

#include <filesystem>

#include "server/faults.h"
#include "server/pages.h"
#include "server/render.h"
#include "server/text_util.h"
#include "server/tls.h"
#include "tests/server/png_decode.h"

namespace lzf::server {
namespace {

TEST(ServerText, PercentDecodeAndForms) {
    EXPECT_EQ(PercentDecode("%E4%BD%A0%20a%5Fb+c"), "你 a_b c");
    EXPECT_EQ(PercentDecode("a+b", false), "a+b");
    EXPECT_EQ(PercentDecode("100%"), "100%");
    EXPECT_EQ(PercentDecode("%zz%4"), "%zz%4");
    auto form = ParseForm("a=1&&b=%23FF&c&=x&d=e=f");
    ASSERT_EQ(form.size(), 5u);
    EXPECT_EQ(form[0], (std::pair<std::string, std::string>{"a", "1"}));
    EXPECT_EQ(form[1].second, "#FF");
    EXPECT_EQ(form[2], (std::pair<std::string, std::string>{"c", ""}));
    EXPECT_EQ(form[3], (std::pair<std::string, std::string>{"", "x"}));
    EXPECT_EQ(form[4].second, "e=f");
}

TEST(ServerText, NumbersAndColours) {
    struct {
        const char* text;
        std::optional<long long> value;
    } numbers[] = {{"600", 600},
                   {" 42 ", 42},
                   {"-5", -5},
                   {"+7", 7},
                   {"", std::nullopt},
                   {"-", std::nullopt},
                   {"12px", std::nullopt},
                   {"1e3", std::nullopt},
                   {"99999999999999999999", std::nullopt}};
    for (const auto& n : numbers)
        EXPECT_EQ(ParseInteger(n.text), n.value) << n.text;
    struct {
        const char* text;
        std::optional<unsigned> value;
    } colours[] = {{"#FF0000", 0xFF0000u},   {"00ff80", 0x00FF80u},     {"#abc", 0xAABBCCu},
                   {"#12345", std::nullopt}, {"#GG0000", std::nullopt}, {"", std::nullopt},
                   {"red", std::nullopt}};
    for (const auto& c : colours)
        EXPECT_EQ(ParseColour(c.text), c.value) << c.text;
}

TEST(ServerText, GbkConversionAndEscapes) {
    EXPECT_TRUE(FitsGbk("文泉驿微米黑"));
    EXPECT_FALSE(FitsGbk("😀"));
    EXPECT_EQ(Utf8ToGbkLossy("a😀b"), "a?b");
    EXPECT_EQ(Utf8ToGbkLossy("字"), "\xD7\xD6");
    EXPECT_EQ(HtmlEscape("<a href=\"x\">&</a>"), "&lt;a href=&quot;x&quot;&gt;&amp;&lt;/a&gt;");
    EXPECT_EQ(JsonEscape("a\"b\\c\n"), "a\\\"b\\\\c\\u000a");
}

TEST(ServerFaults, PathMatching) {
    struct {
        const char* rule;
        const char* path;
        bool matches;
    } cases[] = {
        {"*", "/anything", true},
        {"/", "/", true},
        {"/", "/FontDesc/1", false},
        {"/Download/*", "/Download/104", true},
        {"/Download/*", "/Download", false},
        {"/FontDesc/104", "/FontDesc/1045", false},
        {"/skin*", "/skin/update.html", true},
    };
    for (const auto& c : cases) {
        Fault f;
        f.path = c.rule;
        EXPECT_EQ(f.Matches(c.path), c.matches) << c.rule << " " << c.path;
    }
}

TEST(ServerFaults, TableTakesTheNewestRuleAndCountsUses) {
    FaultTable table;
    Fault all;
    all.status = 500;
    table.Add(all);
    Fault once;
    once.path = "/x";
    once.status = 404;
    once.times = 1;
    table.Add(once);
    EXPECT_EQ(table.Take("/x")->status, 404);
    EXPECT_EQ(table.Take("/x")->status, 500);  // the one-shot rule is used up
    Fault replaced;
    replaced.status = 503;
    table.Add(replaced);  // same path "*": replaces the first rule
    EXPECT_EQ(table.Take("/y")->status, 503);
    table.Clear();
    EXPECT_FALSE(table.Take("/y").has_value());
}

TEST(ServerFaults, ParseRejectsBadValues) {
    for (const char* bad : {"delay_ms=-1", "status=99", "drip_bytes=0", "close_after=x",
                            "keep_alive=maybe", "header=a%0D%0Ab: c"}) {
        Fault f;
        std::vector<std::pair<std::string, std::string>> rest;
        bool any = false;
        std::string error;
        EXPECT_FALSE(ParseFault(ParseForm(bad), &f, &rest, &any, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
    Fault f;
    std::vector<std::pair<std::string, std::string>> rest;
    bool any = false;
    std::string error;
    ASSERT_TRUE(ParseFault(ParseForm("path=/a*&drip_ms=5&content_length=none&other=1"), &f, &rest,
                           &any, &error));
    EXPECT_TRUE(any);
    EXPECT_EQ(f.drip_bytes, 1);  // a pause alone drips byte by byte
    EXPECT_TRUE(f.no_content_length);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].first, "other");
}

TEST(ServerTls, SubjectAltNamesListAddressesAsBoth) {
    using lzf::server::SubjectAltNames;
    struct {
        std::vector<std::string> names;
        const char* expected;
    } cases[] = {
        {{"127.0.0.1", "127.0.0.1", "localhost"}, "IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost"},
        {{"localhost", "", "127.0.0.1"}, "DNS:localhost,IP:127.0.0.1,DNS:127.0.0.1"},
        {{"::1"}, "IP:::1,DNS:::1"},
        {{"fonts.example", "fonts.example"}, "DNS:fonts.example"},
        {{"127.0.0.256", "1.2.3"}, "DNS:127.0.0.256,DNS:1.2.3"},  // not addresses
        {{""}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SubjectAltNames(c.names), c.expected) << c.expected;
}

TEST(ServerPages, CharsetDeclarationLandsAtTheAskedOffset) {
    const std::string page = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"gbk\">\n<title>";
    for (int offset : {30, 31, 40, 100, 1024, 5000}) {
        std::string out = DeclareCharset(page, "utf-8", offset);
        EXPECT_EQ(out.find("<meta"), static_cast<size_t>(offset)) << offset;
        EXPECT_EQ(out.find("gbk"), std::string::npos);
    }
    std::string head = DeclareCharset(page, "big5", -1);
    EXPECT_EQ(head.find("<head><meta charset=\"big5\">"), page.find("<head>"));
}

TEST(ServerPages, SkinPageLeavesOutMissingItems) {
    SkinAnnouncement a = DefaultSkinAnnouncement();
    ASSERT_EQ(a.items.size(), 10u);
    a.items = {"one"};
    std::string page = SkinUpdatePage(a, "http://h/d");
    EXPECT_NE(page.find("1、one<"), std::string::npos);
    EXPECT_EQ(page.find("2、"), std::string::npos);
    EXPECT_NE(page.find("下载地址：http://h/d<"), std::string::npos);
}

TEST(ServerRender, ClampKeepsPicturesWithinBounds) {
    struct {
        int size, width, height;
        int want_size, want_width, want_height;
    } cases[] = {
        {50, 600, 200, 50, 600, 200},
        {0, 0, 0, 1, 1, 1},
        {-3, -10, 5, 1, 1, 5},
        {9000, 9000, 9000, 2000, 4000, 4000},
        {10, 4000, 4000, 10, 4000, 4000},
        {10, 3000, 4000, 10, 3000, 4000},
    };
    for (const auto& c : cases) {
        RenderRequest r;
        r.font_size = c.size;
        r.width = c.width;
        r.height = c.height;
        ClampRenderRequest(&r);
        EXPECT_EQ(r.font_size, c.want_size);
        EXPECT_EQ(r.width, c.want_width);
        EXPECT_EQ(r.height, c.want_height);
        EXPECT_LE(static_cast<long long>(r.width) * r.height, kMaxPictureArea);
    }
}

std::string AnyFont() {
    for (const char* p : {"/usr/share/fonts/truetype/wqy/wqy-microhei.ttc",
                          "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"})
        if (std::filesystem::exists(p))
            return p;
    return "";
}

// Rows of the picture that hold ink, as [first, last] bands.
int InkBands(const DecodedPicture& p) {
    int bands = 0;
    bool in_band = false;
    for (int y = 0; y < p.height; ++y) {
        bool ink = false;
        for (int x = 0; x < p.width && !ink; ++x)
            ink = p.At(x, y)[3] > 0;
        if (ink && !in_band)
            ++bands;
        in_band = ink;
    }
    return bands;
}

TEST(ServerRender, LongTextWrapsAndNewlinesBreak) {
    const std::string font = AnyFont();
    if (font.empty())
        GTEST_SKIP() << "no test font installed";
    RenderRequest r;
    r.font_path = font;
    r.font_size = 20;
    r.width = 200;
    r.height = 200;
    r.text = "one";
    std::string error;
    DecodedPicture single = DecodePng(RenderPreview(r, &error));
    ASSERT_EQ(single.width, 200) << error;
    EXPECT_EQ(InkBands(single), 1);
    r.text = "one\nwon\nnew";  // no dots or accents that would count as bands
    EXPECT_EQ(InkBands(DecodePng(RenderPreview(r, &error))), 3);
    r.text = "aaaa bbbb cccc dddd eeee ffff gggg hhhh iiii jjjj";  // too wide for one line
    EXPECT_GE(InkBands(DecodePng(RenderPreview(r, &error))), 3);
    r.text = "";
    DecodedPicture empty = DecodePng(RenderPreview(r, &error));
    ASSERT_EQ(empty.width, 200);
    EXPECT_EQ(InkBands(empty), 0);
}

TEST(ServerRender, UnreadableFontIsAnError) {
    RenderRequest r;
    r.font_path = "/nonexistent/font.ttf";
    std::string error;
    EXPECT_EQ(RenderPreview(r, &error), "");
    EXPECT_FALSE(error.empty());
}

TEST(ServerRender, PngRoundTrip) {
    std::vector<std::uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 1, 2, 3, 4};
    DecodedPicture p = DecodePng(EncodePng(rgba.data(), 2, 2));
    ASSERT_EQ(p.width, 2);
    ASSERT_EQ(p.height, 2);
    EXPECT_EQ(p.rgba, rgba);
}

}  // namespace
}  // namespace lzf::server
