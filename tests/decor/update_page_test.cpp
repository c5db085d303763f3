// Reading the skin update page: the values between their markers, version numbers written
// with full-width digits, the message text, and which addresses count as web addresses.
#include <gtest/gtest.h>

#include "decor/update_check.h"
#include "http/encoding.h"

namespace {

TEST(ReadVersionNumber, ReadsALeadingNumberLikeAtof) {
    struct Case {
        const char* text;
        float value;
    } cases[] = {
        {"3.5", 3.5f},  {"3.4", 3.4f},    {" 3.6beta", 3.6f}, {"V3.5", 0},
        {"", 0},        {"３．５", 3.5f}, {"４", 4},          {"3.5３", 3.53f},
        {"版本3.5", 0}, {"-1", -1},       {"１０.２", 10.2f}, {"３。５", 3},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(ReadVersionNumber(c.text), c.value) << GbkToUtf8(c.text);
}

TEST(ReadSkinUpdatePage, CutsEveryValueBetweenItsMarkers) {
    Text page =
        "<p>皮肤模块版本：3.5</p><p>更新时间：2024-01-02</p><p>更新大小：1.5MB</p>"
        "<p>1、第一</p><p>2、第二</p><p>下载地址：http://example.com/skin.zip</p>";
    SkinUpdateInfo info = ReadSkinUpdatePage(page);
    EXPECT_FLOAT_EQ(info.version, 3.5f);
    EXPECT_EQ(info.versionText, "3.5");
    EXPECT_EQ(info.updateTime, "2024-01-02");
    EXPECT_EQ(info.updateSize, "1.5MB");
    EXPECT_EQ(info.items[0], "第一");
    EXPECT_EQ(info.items[1], "第二");
    for (int i = 2; i < kSkinUpdateItemCount; ++i)
        EXPECT_EQ(info.items[i], "");
    EXPECT_EQ(info.downloadAddress, "http://example.com/skin.zip");

    // "1、" is found wherever it first occurs, also at the end of "11、".
    SkinUpdateInfo eleven = ReadSkinUpdatePage("<p>11、十一</p><p>1、一</p>");
    EXPECT_EQ(eleven.items[0], "十一");
    EXPECT_FLOAT_EQ(ReadSkinUpdatePage("no markers").version, 0);
}

TEST(BuildSkinUpdateMessage, HasTheHeaderAndTenItemLines) {
    SkinUpdateInfo info =
        ReadSkinUpdatePage("更新时间：T<更新大小：S<皮肤模块版本：3.5<1、a<2、b<");
    EXPECT_EQ(BuildSkinUpdateMessage(info),
              "〔青岚皮肤模块〕\r\n更新时间：T\r\n更新大小：S\r\n皮肤版本：3.5\r\n※  a\r\n※  b"
              "\r\n※  \r\n※  \r\n※  \r\n※  \r\n※  \r\n※  \r\n※  \r\n※  ");
}

TEST(IsWebAddress, OnlyAbsoluteHttpAddressesWithAHost) {
    struct Case {
        const char* address;
        bool web;
    } cases[] = {
        {"http://example.com/a.zip", true},
        {"HTTPS://Example.com", true},
        {"hTtP://127.0.0.1:8080/x?y#z", true},
        {"http://user@host/", true},
        {"http://[::1]:80/", true},
        {"", false},
        {"http://", false},
        {"http:///path", false},
        {"http://:80/", false},
        {"http://user@/", false},
        {"https:example.com", false},
        {"file:///C:/Windows/notepad.exe", false},
        {"C:\\Windows\\notepad.exe", false},
        {"\\\\server\\share\\setup.exe", false},
        {"ftp://example.com/", false},
        {"javascript:alert(1)", false},
        {"calc.exe", false},
        {"http://exa mple.com/", false},
        {"http://example.com/\r\nX", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsWebAddress(c.address), c.web) << c.address;
}

}  // namespace
