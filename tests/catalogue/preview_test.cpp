// The preview form, stepping through fonts with the arrow keys and the description check, on
// the real main window against the local service.
#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_state.h"
#include "tests/catalogue/catalogue_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/properties.h"

namespace {

class PreviewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ServiceControl("reset=1"));
        ASSERT_NE(driver.window(), nullptr);
        driver.LoadCatalogue();
        ServiceClearLog();
    }
    std::vector<LoggedRequest> Log() { return ParseServiceLog(ServiceLog()); }
    HWND Picture() { return driver.Control(kPreviewPicture); }

    MainWindowDriver driver;
};

TEST_F(PreviewTest, PostsTheFormAsTypedWithTheCatalogueHeadersAndShowsThePicture) {
    ASSERT_EQ(CountDarkPixels(Picture()), 0);
    ui::SetText("编辑框6", "你好 a_b");
    ui::SetText("编辑框1", "64");
    driver.Click(kPreviewButton);

    std::vector<LoggedRequest> log = Log();
    ASSERT_GE(log.size(), 2u);
    const LoggedRequest& post = log[0];
    EXPECT_EQ(post.request_line, "POST / HTTP/1.1");
    // Before any font was chosen the form uses the ID field's initial 104.
    EXPECT_EQ(post.body,
              "FontInfoId=104&FontSize=64&FontColor=%23000000&ImageWidth=600&ImageHeight=200"
              "&ImageBgColor=%23FFFFFF&Content=%E4%BD%A0%E5%A5%BD%20a%5Fb&ActionCategory=1");
    EXPECT_EQ(LoggedHeader(post, "User-Agent"),
              "Mozilla/5.0 (Windows NT 10.0; WOW64; rv:68.0) Gecko/20100101 Firefox/68.0");
    EXPECT_EQ(LoggedHeader(post, "Accept"),
              "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    EXPECT_EQ(LoggedHeader(post, "Accept-Encoding"), "gzip, deflate");
    EXPECT_EQ(LoggedHeader(post, "Upgrade-Insecure-Requests"), "1");
    EXPECT_EQ(LoggedHeader(post, "Cache-Control"), "max-age=0");
    EXPECT_EQ(LoggedHeader(post, "Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_NE(LoggedHeader(post, "Cookie").find("Hm_lvt_"), std::string::npos);
    EXPECT_EQ(log[1].request_line.rfind("GET /preview/", 0), 0u);

    EXPECT_FALSE(PreviewImageUrl().empty());
    EXPECT_FALSE(ui::IsDisabled(kPreviewButton));
    EXPECT_GT(CountDarkPixels(Picture()), 50);  // black text on the box
}

TEST_F(PreviewTest, AnAnswerWithoutThePictureKeepsTheOldPictureAndAddress) {
    driver.Click(kPreviewButton);
    Text url = PreviewImageUrl();
    int dark = CountDarkPixels(Picture());
    ASSERT_GT(dark, 50);

    ASSERT_TRUE(ServiceControl("path=/&body=%3Chtml%3Eno%20picture%3C/html%3E"));
    ServiceClearLog();
    driver.Click(kPreviewButton);
    EXPECT_EQ(CountRequests(Log(), "GET /preview/"), 0);
    EXPECT_EQ(PreviewImageUrl(), url);
    EXPECT_EQ(CountDarkPixels(Picture()), dark);
    EXPECT_TRUE(driver.messages.empty());
}

TEST_F(PreviewTest, ArrowKeysMoveOneRowAndPreviewThatRow) {
    ui::ListSetCurrentRow(kFontList, 0);
    for (int step = 1; step <= 3; ++step) {
        driver.PressKey(kFontList, VK_DOWN);
        EXPECT_EQ(ui::ListCurrentRow(kFontList), step);
        EXPECT_EQ(ui::GetText(kFontIdField), ui::ListGetCell(kFontList, step, 2));
        EXPECT_EQ(ui::GetText(kFontNameField), ui::ListGetCell(kFontList, step, 1));
    }
    driver.PressKey(kFontList, VK_UP);
    EXPECT_EQ(ui::ListCurrentRow(kFontList), 2);

    std::vector<LoggedRequest> log = Log();
    EXPECT_EQ(CountRequests(log, "POST / "), 4);
    EXPECT_EQ(CountRequests(log, "GET /FontDesc/"), 4);
    // The description check ran first, so each form carries its own row's id.
    std::vector<std::string> formIds;
    for (const LoggedRequest& r : log)
        if (r.request_line.rfind("POST / ", 0) == 0)
            formIds.push_back(r.body.substr(11, r.body.find('&') - 11));
    EXPECT_EQ(formIds, (std::vector<std::string>{"102", "103", "104", "103"}));
}

// Holds ↓ down: the first press, then, once its step waits for the preview, 29 repeats.
DWORD WINAPI HoldDownArrow(void* list) {
    HWND hwnd = static_cast<HWND>(list);
    PostMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 1);
    for (int i = 0; i < 1000; ++i) {
        if (CountRequests(ParseServiceLog(ServiceLog()), "POST / ") > 0)
            break;
        Sleep(10);
    }
    for (int i = 1; i < 30; ++i) {
        PostMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 0x40000001);
        Sleep(5);
    }
    return 0;
}

// The picture the service renders for `form` with the font `id` in place of the form's own.
std::string RenderedFor(std::string form, const std::string& id) {
    std::size_t end = form.find('&');
    form.replace(0, end, "FontInfoId=" + id);
    std::string page = ServicePost("/", form);
    std::size_t at = page.find("/preview/");
    return at == std::string::npos ? std::string()
                                   : ServiceGet(page.substr(at, page.find('"', at) - at));
}

// Thirty presses sent faster than a step completes move thirty rows; the steps run one after
// another, and at the end the picture, its address, 字体, ID and the download button all
// belong to the row reached.
TEST_F(PreviewTest, KeysFasterThanAStepEndOnTheLastRowWithItsPicture) {
    ui::SetText("编辑框6", "Abc 你好 123");
    ui::ListSetCurrentRow(kFontList, 0);
    const int last = 30;
    const std::string lastId = ui::ListGetCell(kFontList, last, 2);
    // Every other font may be downloaded: an older answer would enable the button.
    ASSERT_TRUE(
        ServiceControl("path=/FontDesc/" + lastId + "&body=%7B%22canDownload%22%3Afalse%7D"));
    ASSERT_TRUE(ServiceControl("path=/&delay_ms=300"));
    HWND list = driver.Control(kFontList);
    SetFocus(list);
    HANDLE keys = CreateThread(nullptr, 0, HoldDownArrow, list, 0, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return WaitForSingleObject(keys, 0) == WAIT_OBJECT_0; }, 60000));
    CloseHandle(keys);
    ui::PumpMessages();  // keys still queued run their steps here

    EXPECT_EQ(ui::ListCurrentRow(kFontList), last);
    EXPECT_EQ(ui::GetText(kFontNameField), ui::ListGetCell(kFontList, last, 1));
    EXPECT_EQ(ui::GetText(kFontIdField), lastId);
    EXPECT_TRUE(ui::IsDisabled(kDownloadButton));
    EXPECT_FALSE(ui::IsDisabled(kPreviewButton));

    // The address and the picture shown are that row's, not the first step's.
    std::string form;
    for (const LoggedRequest& r : Log())
        if (r.request_line.rfind("POST / ", 0) == 0)
            form = r.body;
    std::string expected = RenderedFor(form, lastId);
    ASSERT_FALSE(expected.empty());
    ASSERT_NE(expected, RenderedFor(form, ui::ListGetCell(kFontList, 1, 2)))
        << "the two rows' pictures do not differ";
    const std::string& url = PreviewImageUrl();
    ASSERT_NE(url.find("/preview/"), std::string::npos);
    EXPECT_TRUE(ServiceGet(url.substr(url.find("/preview/"))) == expected);
    uitest::Capture shown = uitest::CaptureClient(Picture());
    ui::SetPicture(kPreviewPicture, Bytes(expected.begin(), expected.end()));
    EXPECT_TRUE(uitest::CaptureClient(Picture()).pixels == shown.pixels);
}

TEST_F(PreviewTest, TheRequestsOfAStepShareOneConnection) {
    // The service keeps connections open: the description's connection carries the form (its
    // head and body sent in one piece, so nothing waits for the body) and then the picture.
    ui::ListSetCurrentRow(kFontList, 0);
    driver.PressKey(kFontList, VK_DOWN);
    driver.PressKey(kFontList, VK_DOWN);
    std::vector<LoggedRequest> log = Log();
    ASSERT_EQ(log.size(), 6u);  // per step: description, form, picture
    for (size_t i = 0; i < log.size(); i += 3) {
        EXPECT_EQ(log[i + 1].connection, log[i].connection) << "the form of step " << i / 3;
        EXPECT_EQ(log[i + 2].connection, log[i].connection) << "the picture of step " << i / 3;
    }
}

TEST_F(PreviewTest, ArrowKeysAtTheEndsOfTheListDoNothing) {
    ui::ListSetCurrentRow(kFontList, 0);
    driver.PressKey(kFontList, VK_UP);
    EXPECT_EQ(ui::ListCurrentRow(kFontList), 0);
    int last = ui::ListRowCount(kFontList) - 1;
    ui::ListSetCurrentRow(kFontList, last);
    driver.PressKey(kFontList, VK_DOWN);
    EXPECT_EQ(ui::ListCurrentRow(kFontList), last);
    EXPECT_TRUE(Log().empty());
}

TEST_F(PreviewTest, ThePlaceholderIdIsRefused) {
    // A row whose id is the placeholder "0" is no font.
    int row = ui::ListAddRow(kFontList);
    ui::ListSetCell(kFontList, row, 1, "请选择字体");
    ui::ListSetCell(kFontList, row, 2, "0");
    ui::ListSetCurrentRow(kFontList, row);
    driver.PressKey(kFontList, VK_UP);
    EXPECT_EQ(ui::ListCurrentRow(kFontList), row);
    driver.Click(kPreviewButton);
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].text, "请选择字体");
    EXPECT_EQ(driver.messages[0].title, "字体图生成");
    EXPECT_TRUE(Log().empty());
}

TEST_F(PreviewTest, RefusesBeforeTheCatalogueIsLoaded) {
    ui::SetCaption(kInitButton, kCaptionIdle);
    driver.Click(kPreviewButton);
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].text, "请先初始化字体");
    EXPECT_EQ(driver.messages[0].title, "字体图生成");
}

// The download button follows the answer for the current row: only the JSON value true
// enables it.
TEST_F(PreviewTest, OnlyATrueAnswerEnablesTheDownload) {
    struct Case {
        const char* body;   // percent-encoded answer, nullptr: the service's own
        const char* extra;  // further rule keys
        bool enabled;
    };
    const Case cases[] = {
        {nullptr, "", true},
        {"%7B%22canDownload%22%3A%22True%22%7D", "", false},
        {"%7B%22canDownload%22%3A1%7D", "", false},
        {"%7B%22canDownload%22%3Afalse%7D", "", false},
        {"%7B%22canDownload%22%3A%22true%22%7D", "", true},
        {"garbage%7B", "", false},
        {"%7B%22canDownload%22%3A%20(function()%7Breturn%20true%7D)()%7D", "", false},
        {"%7B%22canDownload%22%3Atrue%7D", "&status=500", true},
        {"", "&close_after=0", false},
    };
    ui::ListSetCurrentRow(kFontList, 0);
    for (const Case& c : cases) {
        ASSERT_TRUE(ServiceControl("reset=1"));
        if (c.body) {
            ASSERT_TRUE(ServiceControl(std::string("path=/FontDesc/*&body=") + c.body + c.extra));
        }
        // Alternate rows so each check is for a new current row.
        int row = ui::ListCurrentRow(kFontList) == 0 ? 1 : 0;
        ui::ListSetCurrentRow(kFontList, row);
        CheckFontDescription();
        EXPECT_EQ(!ui::IsDisabled(kDownloadButton), c.enabled) << (c.body ? c.body : "own");
    }
}

TEST_F(PreviewTest, AnAnswerForARowThatIsNoLongerCurrentIsDiscarded) {
    // Row 0's answer is slow and allows; row 1's is quick and refuses.
    ASSERT_TRUE(ServiceControl("path=/FontDesc/101&delay_ms=700"));
    ASSERT_TRUE(ServiceControl("path=/FontDesc/102&body=%7B%22canDownload%22%3Afalse%7D"));
    ui::ListSetCurrentRow(kFontList, 0);
    StartDescriptionCheck();
    ui::ListSetCurrentRow(kFontList, 1);
    StartDescriptionCheck();
    EXPECT_EQ(ui::GetText(kFontIdField), "102");
    ASSERT_TRUE(PumpUntil(
        [] { return CountRequests(ParseServiceLog(ServiceLog()), "GET /FontDesc/101 ") == 1; },
        5000));
    // Both checks end (the slow one's answer arrives and is dropped).
    ASSERT_TRUE(PumpUntil([] { return RunningDescriptionChecks() == 0; }, 10000));
    EXPECT_TRUE(ui::IsDisabled(kDownloadButton));

    // The other way round: the current row's slow answer is the one that counts.
    ASSERT_TRUE(ServiceControl("reset=1"));
    ASSERT_TRUE(ServiceControl("path=/FontDesc/102&delay_ms=700"));
    ASSERT_TRUE(ServiceControl("path=/FontDesc/101&body=%7B%22canDownload%22%3Afalse%7D"));
    ui::ListSetCurrentRow(kFontList, 0);
    StartDescriptionCheck();
    ui::ListSetCurrentRow(kFontList, 1);
    StartDescriptionCheck();
    EXPECT_TRUE(PumpUntil([] { return !ui::IsDisabled(kDownloadButton); }, 5000));
}

TEST_F(PreviewTest, DoubleClickChecksAndPreviewsTheCurrentRow) {
    ui::ListSetCurrentRow(kFontList, 5);
    ListDoubleClick();
    EXPECT_EQ(ui::GetText(kFontIdField), "106");
    std::vector<LoggedRequest> log = Log();
    ASSERT_EQ(CountRequests(log, "POST / "), 1);
    for (const LoggedRequest& r : log) {
        if (r.request_line.rfind("POST / ", 0) == 0) {
            EXPECT_EQ(r.body.rfind("FontInfoId=106&", 0), 0u);
        }
    }
    EXPECT_TRUE(PumpUntil([] { return !ui::IsDisabled(kDownloadButton); }, 5000));
}

}  // namespace
