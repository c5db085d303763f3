// Loading the catalogue into the list and searching it, on the real main window against the
// local service (fonts 101..108 carry the names of names.txt, then synthetic fonts follow).
#include <gtest/gtest.h>

#include "catalogue/catalogue_state.h"
#include "core/codepage.h"
#include "tests/catalogue/catalogue_test_support.h"
#include "ui/properties.h"
#include "ui/window.h"

namespace {

Text Gbk(const std::string& utf8) {
    return codepage::FromWide(codepage::ToWide(utf8, codepage::kUtf8), codepage::kGbk);
}

class FontListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ServiceControl("reset=1"));
        ServiceClearLog();
        ASSERT_NE(driver.window(), nullptr);
    }
    MainWindowDriver driver;
};

TEST_F(FontListTest, RowsAreTheServiceFontsInOrderWithTheirOwnNamesAndIds) {
    std::vector<ServiceFont> fonts = ServiceFonts();
    ASSERT_GT(fonts.size(), 8u);
    driver.LoadCatalogue();
    ASSERT_EQ(ui::ListRowCount(kFontList), static_cast<int>(fonts.size()));
    for (size_t i = 0; i < fonts.size(); ++i) {
        int row = static_cast<int>(i);
        // The ordinal is the option's number among the font options of the page; the
        // service's placeholder option is not shown.
        EXPECT_EQ(ui::ListGetCell(kFontList, row, 0), std::to_string(i + 2)) << row;
        EXPECT_EQ(ui::ListGetCell(kFontList, row, 2), fonts[i].id) << row;
    }
    // Names stand exactly as they are between the option tags: entities and GBK kept.
    EXPECT_EQ(ui::ListGetCell(kFontList, 0, 1), "泼墨字体 一号");
    EXPECT_EQ(ui::ListGetCell(kFontList, 1, 1), "&lt;实体&gt; &amp; 名称");
    EXPECT_EQ(ui::ListGetCell(kFontList, 2, 1), "..\\..\\危险:名字*?");
    EXPECT_EQ(ui::ListGetCell(kFontList, 9, 1), Gbk(fonts[9].nameUtf8));
}

TEST_F(FontListTest, CaptionsFollowTheLoadAndASecondLoadStartsFromAnEmptyList) {
    driver.LoadCatalogue();
    int rows = ui::ListRowCount(kFontList);
    ASSERT_GT(rows, 0);
    EXPECT_EQ(driver.initCaptions,
              (std::vector<Text>{kCaptionRequesting, kCaptionFilling, kCaptionLoaded}));
    EXPECT_FALSE(ui::IsDisabled(kInitButton));

    driver.initCaptions.clear();
    driver.LoadCatalogue();
    EXPECT_EQ(ui::ListRowCount(kFontList), rows);
    EXPECT_EQ(driver.initCaptions.front(), kCaptionRequesting);
    EXPECT_EQ(CountRequests(ParseServiceLog(ServiceLog()), "GET / "), 2);
}

TEST_F(FontListTest, InterleavedNonDigitOptionsKeepEveryNameWithItsOwnId) {
    ASSERT_TRUE(ServiceControl("path=/&mixed_options=1"));
    std::vector<ServiceFont> fonts = ServiceFonts();
    driver.LoadCatalogue();
    ASSERT_EQ(ui::ListRowCount(kFontList), static_cast<int>(fonts.size()));
    for (size_t i = 0; i < fonts.size(); i += 97)
        EXPECT_EQ(ui::ListGetCell(kFontList, static_cast<int>(i), 2), fonts[i].id) << i;
    EXPECT_EQ(ui::ListGetCell(kFontList, 0, 1), "泼墨字体 一号");
    EXPECT_EQ(ui::ListGetCell(kFontList, 0, 2), "101");
}

TEST_F(FontListTest, PageWithoutFontOptionsOrNoAnswerStillEndsLoaded) {
    ASSERT_TRUE(ServiceControl("path=/&no_digit_options=1"));
    driver.LoadCatalogue();
    EXPECT_EQ(ui::ListRowCount(kFontList), 0);

    ASSERT_TRUE(ServiceControl("path=/&status=500&body=down"));
    driver.LoadCatalogue();
    EXPECT_EQ(ui::ListRowCount(kFontList), 0);
    EXPECT_TRUE(driver.messages.empty());
}

// A page cut short is a failed load, however far it got: the list stays empty and the load
// ends as any failed one does.
TEST_F(FontListTest, PageCutShortInItsChunksLeavesTheListEmpty) {
    // Cut after the font list's section, so that the part that arrived would fill the list.
    const std::string page = ServiceGet("/");
    const size_t section = page.find("字体颜色");
    ASSERT_NE(section, std::string::npos);
    ASSERT_GT(page.size(), section + 200);
    ASSERT_TRUE(ServiceControl("path=/&chunked=1&close_after=" + std::to_string(section + 100)));
    driver.LoadCatalogue();
    EXPECT_EQ(ui::ListRowCount(kFontList), 0);
    EXPECT_EQ(driver.initCaptions.back(), kCaptionLoaded);
    EXPECT_TRUE(driver.messages.empty());
}

void CALLBACK PressPreviewAndSearch(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND main = ui::MainWindow();
    SendMessageW(ui::ControlHandle(main, kPreviewButton), BM_CLICK, 0, 0);
    SendMessageW(ui::ControlHandle(main, kSearchButton), BM_CLICK, 0, 0);
}

// While the page is on its way, other features refuse: the caption says "not loaded".
TEST_F(FontListTest, FeaturesPressedDuringTheLoadRefuse) {
    ASSERT_TRUE(ServiceControl("path=/&delay_ms=600&times=1"));
    UINT_PTR timer = SetTimer(nullptr, 0, 100, PressPreviewAndSearch);
    ASSERT_NE(timer, 0u);
    driver.LoadCatalogue();
    ASSERT_EQ(driver.messages.size(), 2u);
    EXPECT_EQ(driver.messages[0].text, "请先初始化字体");
    EXPECT_EQ(driver.messages[0].title, "字体图生成");
    EXPECT_EQ(driver.messages[1].text, "请先初始化字体");
    EXPECT_EQ(driver.messages[1].title, "字体查找");
    EXPECT_EQ(driver.messages[0].owner, driver.window());
    EXPECT_EQ(driver.messages[0].flags & (MB_ICONINFORMATION | MB_TASKMODAL),
              static_cast<unsigned>(MB_ICONINFORMATION | MB_TASKMODAL));
}

class FontSearchTest : public FontListTest {
  protected:
    void SetUp() override {
        FontListTest::SetUp();
        driver.LoadCatalogue();
        ServiceClearLog();
    }
    int Search(const Text& text) {
        ui::SetText("字体查找", text);
        driver.Click(kSearchButton);
        return ui::ListCurrentRow(kFontList);
    }
};

TEST_F(FontSearchTest, WalksForwardThroughNamesThatBeginWithTheText) {
    ASSERT_EQ(ui::ListCurrentRow(kFontList), -1);
    EXPECT_EQ(Search("泼墨字体"), 0);  // no current row: the search starts at row 0
    EXPECT_EQ(Search("泼墨字体"), 6);  // a name holding the text in its middle does not match
    EXPECT_EQ(ui::GetText(kFontIdField), "107");
    EXPECT_EQ(Search("泼墨字体"), 6);  // no further match: nothing changes, no wrap
    EXPECT_TRUE(driver.messages.empty());
    // Each found font is checked and previewed.
    auto log = ParseServiceLog(ServiceLog());
    EXPECT_EQ(CountRequests(log, "POST / "), 2);
    EXPECT_TRUE(PumpUntil(
        [] { return CountRequests(ParseServiceLog(ServiceLog()), "GET /FontDesc/107 ") == 1; },
        5000));
}

TEST_F(FontSearchTest, MatchIsCaseSensitiveAndTheTextIsTrimmedOfBothBlanks) {
    EXPECT_EQ(Search("abc"), 4);
    ui::ListSetCurrentRow(kFontList, -1);
    EXPECT_EQ(Search("　Abc \xA1\xA1"), 3);
    // Trimming stops at the first character that is not a blank: a full-width blank inside
    // a name is part of it.
    ui::ListSetCurrentRow(kFontList, -1);
    EXPECT_EQ(Search("\xA1\xA1\xA1\xA1泼墨字体全角"), -1);
}

TEST_F(FontSearchTest, EmptyTextStepsOneRowAndTheLastRowFindsNothing) {
    ui::ListSetCurrentRow(kFontList, 2);
    EXPECT_EQ(Search("  "), 3);
    int last = ui::ListRowCount(kFontList) - 1;
    ui::ListSetCurrentRow(kFontList, last);
    EXPECT_EQ(Search(""), last);
    EXPECT_EQ(CountRequests(ParseServiceLog(ServiceLog()), "POST / "), 1);
}

TEST_F(FontListTest, SearchRefusesBeforeTheCatalogueIsLoaded) {
    driver.Click(kSearchButton);
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].text, "请先初始化字体");
    EXPECT_EQ(driver.messages[0].title, "字体查找");
    EXPECT_EQ(ui::ListCurrentRow(kFontList), -1);
}

}  // namespace
