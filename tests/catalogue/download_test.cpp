// Saving fonts and preview pictures: the bytes that arrive are the file, and nothing is left
// behind or reported as done when they do not all arrive.
#include <gtest/gtest.h>

#include <atomic>

#include "catalogue/catalogue.h"
#include "catalogue/catalogue_state.h"
#include "tests/catalogue/catalogue_test_support.h"
#include "tests/support/dialog_answerer.h"
#include "ui/properties.h"

namespace {

constexpr char kFailure[] = "失败！\r\n请重新下载";

class DownloadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ServiceControl("reset=1"));
        ASSERT_NE(driver.window(), nullptr);
        driver.LoadCatalogue();
        fonts = ServiceFonts();
    }

    // Makes row `row` current and checks it, which enables the download button.
    void ChooseRow(int row) {
        ui::ListSetCurrentRow(kFontList, row);
        CheckFontDescription();
        ASSERT_FALSE(ui::IsDisabled(kDownloadButton));
        ServiceClearLog();
    }

    const LoggedRequest* DownloadRequest() {
        log = ParseServiceLog(ServiceLog());
        for (const LoggedRequest& r : log)
            if (r.request_line.rfind("POST /Download/", 0) == 0)
                return &r;
        return nullptr;
    }

    void ExpectIdle() {
        EXPECT_EQ(ui::GetWindowTitle(), "览字坊");
        EXPECT_FALSE(ui::IsVisible(kCancelButton));
        EXPECT_FALSE(ui::IsDisabled(kDownloadButton));
    }

    MainWindowDriver driver;
    ScratchFolder folder;
    std::vector<ServiceFont> fonts;
    std::vector<LoggedRequest> log;
};

TEST_F(DownloadTest, SavesTheFontFileByteForByte) {
    ChooseRow(3);
    driver.saveAnswer = folder.Path("字体.ttf");
    driver.Click(kDownloadButton);

    EXPECT_EQ(ReadWholeFile(driver.saveAnswer), ReadWholeFile("Z:" + fonts[3].path));
    EXPECT_EQ(folder.Files(), (std::vector<Text>{"字体.ttf"}));
    ASSERT_EQ(driver.saveDialogs.size(), 1u);
    EXPECT_EQ(driver.saveDialogs[0].title, "字体下载【览字坊】");
    EXPECT_EQ(driver.saveDialogs[0].fileName, "Abc字体");
    EXPECT_EQ(driver.saveDialogs[0].filter, "字体文件|*.ttf");
    EXPECT_EQ(driver.saveDialogs[0].defaultExtension, "ttf");
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].text, "恭喜！\r\n你下载的" + driver.saveAnswer + "已下载完成");
    EXPECT_EQ(driver.messages[0].title, "字体下载");
    ExpectIdle();
}

// The chosen path stays UTF-16 from the dialog to the file and into the message, in a folder
// named with characters GBK lacks; a name that does not end in .ttf gets it.
TEST_F(DownloadTest, SavesInAnyFolderWithTheDefaultExtension) {
    ScratchFolder odd(L"-Größe-ő-한글");
    ChooseRow(3);
    const struct {
        const wchar_t* typed;
        const wchar_t* saved;
    } cases[] = {
        {L"字体.ttf", L"字体.ttf"}, {L"Foo 2.0 Bold", L"Foo 2.0 Bold.ttf"}, {L"ß.TTF", L"ß.TTF"}};
    for (const auto& c : cases) {
        driver.messages.clear();
        driver.wideSaveAnswer = odd.WidePath(c.typed);
        driver.Click(kDownloadButton);
        std::wstring saved = odd.WidePath(c.saved);
        EXPECT_EQ(ReadWholeFile(saved), ReadWholeFile("Z:" + fonts[3].path));
        ASSERT_EQ(driver.messages.size(), 1u);
        EXPECT_EQ(driver.messages[0].wideText, L"恭喜！\r\n你下载的" + saved + L"已下载完成");
    }
    EXPECT_EQ(odd.Files().size(), 3u);
    EXPECT_TRUE(folder.Files().empty());
}

TEST_F(DownloadTest, PostsTheIdWithItsLengthForThreeAndFourDigitIds) {
    int fourDigitRow = -1;
    for (size_t i = 0; i < fonts.size(); ++i)
        if (fonts[i].id.size() == 4)
            fourDigitRow = static_cast<int>(i);
    ASSERT_GE(fourDigitRow, 0);
    const struct {
        int row;
        std::string length;
    } cases[] = {{0, "6"}, {fourDigitRow, "7"}};
    for (const auto& c : cases) {
        ChooseRow(c.row);
        driver.saveAnswer = folder.Path("f" + c.length + ".ttf");
        driver.Click(kDownloadButton);
        const LoggedRequest* post = DownloadRequest();
        ASSERT_NE(post, nullptr);
        EXPECT_EQ(post->request_line, "POST /Download/" + fonts[c.row].id + " HTTP/1.1");
        EXPECT_EQ(post->body, "id=" + fonts[c.row].id);
        EXPECT_EQ(LoggedHeader(*post, "Content-Length"), c.length);
        EXPECT_EQ(LoggedHeader(*post, "X-Requested-With"), "");
        EXPECT_NE(LoggedHeader(*post, "Referer").find("/Download/443"), std::string::npos);
        EXPECT_EQ(LoggedHeader(*post, "Content-Type"), "application/x-www-form-urlencoded");
    }
}

// An error answer, an empty one and one cut short are failures: the message says so and no
// file (and no partial file) is left; a file that was there already is kept as it was.
TEST_F(DownloadTest, FailedTransfersLeaveNoFileAndKeepAnExistingOne) {
    const char* rules[] = {
        "path=/Download/*&status=500&body=server%20error",
        "path=/Download/*&body=",
        "path=/Download/*&close_after=1000",
    };
    int n = 0;
    for (const char* rule : rules) {
        SCOPED_TRACE(rule);
        ASSERT_TRUE(ServiceControl("reset=1"));
        ChooseRow(0);
        ASSERT_TRUE(ServiceControl(rule));
        driver.messages.clear();
        driver.saveAnswer = folder.Path("new" + std::to_string(n++) + ".ttf");
        driver.Click(kDownloadButton);
        ASSERT_EQ(driver.messages.size(), 1u);
        EXPECT_EQ(driver.messages[0].text, kFailure);
        EXPECT_EQ(driver.messages[0].title, "字体下载");
        EXPECT_TRUE(folder.Files().empty());
        ExpectIdle();
    }

    Text existing = folder.Path("keep.ttf");
    HANDLE file =
        CreateFileA(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, "old font", 8, &written, nullptr);
    CloseHandle(file);
    driver.saveAnswer = existing;
    driver.Click(kDownloadButton);
    EXPECT_EQ(ReadWholeFile(existing), "old font");
    EXPECT_EQ(folder.Files(), (std::vector<Text>{"keep.ttf"}));

    // A whole answer whose bytes cannot be written (the partial file's name is taken by a
    // folder): a failure, and the chosen file is not made.
    ASSERT_TRUE(ServiceControl("reset=1"));
    ChooseRow(0);
    const std::wstring blocker = folder.WidePath(L"blocked.ttf.lanzifang-part");
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));
    driver.messages.clear();
    driver.saveAnswer = folder.Path("blocked.ttf");
    driver.Click(kDownloadButton);
    RemoveDirectoryW(blocker.c_str());
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].text, kFailure);
    EXPECT_FALSE(FileExists(driver.saveAnswer));
    ExpectIdle();
}

MainWindowDriver* g_cancelDriver = nullptr;

void CALLBACK CancelOnceTheTransferRuns(HWND, UINT, UINT_PTR id, DWORD) {
    if (!ui::IsVisible(kCancelButton))
        return;
    if (CountRequests(ParseServiceLog(ServiceLog()), "POST /Download/") == 0)
        return;
    KillTimer(nullptr, id);
    g_cancelDriver->Click(kCancelButton);
    // The cancel handler restores everything before it returns.
    EXPECT_EQ(ui::GetWindowTitle(), "览字坊");
    EXPECT_FALSE(ui::IsVisible(kCancelButton));
    EXPECT_FALSE(ui::IsDisabled(kDownloadButton));
}

TEST_F(DownloadTest, CancelStopsTheTransferAtOnceAndLeavesNoFile) {
    ChooseRow(1);
    // About 100 s for the whole font at this pace.
    ASSERT_TRUE(ServiceControl("path=/Download/*&drip_bytes=512&drip_ms=100"));
    driver.saveAnswer = folder.Path("slow.ttf");
    g_cancelDriver = &driver;
    SetTimer(nullptr, 0, 50, CancelOnceTheTransferRuns);
    DWORD start = GetTickCount();
    driver.Click(kDownloadButton);  // returns when the worker has ended
    EXPECT_LT(GetTickCount() - start, 20000u) << "the worker did not end after the cancel";
    EXPECT_TRUE(driver.messages.empty());
    EXPECT_TRUE(folder.Files().empty());
    ExpectIdle();
}

// During a download the row changes twice: each check's answer is held (the button stays
// disabled and a click starts nothing), and the newest applies when the download ends. The
// cancel ends that download only; the next one has its own and completes.
void CALLBACK ChangeRowsThenCancel(HWND, UINT, UINT_PTR id, DWORD) {
    if (!ui::IsVisible(kCancelButton) ||
        CountRequests(ParseServiceLog(ServiceLog()), "POST /Download/") == 0)
        return;
    KillTimer(nullptr, id);
    for (int row : {0, 2}) {  // 101 may be downloaded, 103 may not
        ui::ListSetCurrentRow(kFontList, row);
        StartDescriptionCheck();
        ASSERT_TRUE(PumpUntil([] { return RunningDescriptionChecks() == 0; }, 10000));
        EXPECT_TRUE(ui::IsDisabled(kDownloadButton)) << row;
        g_cancelDriver->Click(kDownloadButton);
    }
    EXPECT_EQ(g_cancelDriver->saveDialogs.size(), 1u);
    g_cancelDriver->Click(kCancelButton);
    EXPECT_TRUE(ui::IsDisabled(kDownloadButton));  // 103's answer, held until now
}

TEST_F(DownloadTest, OneDownloadAtATimeEachWithItsOwnCancel) {
    ChooseRow(1);
    ASSERT_TRUE(ServiceControl("path=/Download/*&drip_bytes=512&drip_ms=100&times=1"));
    ASSERT_TRUE(ServiceControl("path=/FontDesc/103&body=%7B%22canDownload%22%3Afalse%7D"));
    driver.saveAnswer = folder.Path("first.ttf");
    g_cancelDriver = &driver;
    SetTimer(nullptr, 0, 50, ChangeRowsThenCancel);
    driver.Click(kDownloadButton);
    EXPECT_TRUE(driver.messages.empty());
    EXPECT_EQ(ui::GetWindowTitle(), "览字坊");
    EXPECT_FALSE(ui::IsVisible(kCancelButton));
    EXPECT_TRUE(ui::IsDisabled(kDownloadButton));

    ChooseRow(0);
    driver.saveAnswer = folder.Path("second.ttf");
    driver.Click(kDownloadButton);
    EXPECT_EQ(CountRequests(ParseServiceLog(ServiceLog()), "POST /Download/"), 1);
    EXPECT_EQ(ReadWholeFile(driver.saveAnswer), ReadWholeFile("Z:" + fonts[0].path));
    EXPECT_EQ(folder.Files(), (std::vector<Text>{"second.ttf"}));
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].text, "恭喜！\r\n你下载的" + driver.saveAnswer + "已下载完成");
    ExpectIdle();
}

// What a download uses up is given back: the real save dialog still opens for the 65th.
std::atomic<bool> g_answering{false};
std::wstring g_dialogAnswer;

DWORD WINAPI AnswerSaveDialogs(void*) {
    const std::wstring title = L"字体下载【览字坊】";
    while (g_answering) {
        if (HWND dialog = dialogs::FindDialog(&title, GetCurrentProcessId()))
            dialogs::AnswerSaveDialog(dialog, g_dialogAnswer);
        Sleep(20);
    }
    return 0;
}

TEST_F(DownloadTest, ManyDownloadsInOneSessionWithTheRealDialog) {
    ChooseRow(4);
    ui::SetSaveDialogObserver(nullptr);
    g_answering = true;
    HANDLE answerer = CreateThread(nullptr, 0, AnswerSaveDialogs, nullptr, 0, nullptr);
    constexpr int kDownloads = 65;
    for (int i = 0; i < kDownloads && !HasFailure(); ++i) {
        driver.messages.clear();
        g_dialogAnswer = folder.WidePath(L"font" + std::to_wstring(i));
        driver.Click(kDownloadButton);  // returns when the download has ended
        ASSERT_EQ(driver.messages.size(), 1u) << i;
        EXPECT_EQ(driver.messages[0].text.rfind("恭喜！", 0), 0u) << i;
    }
    g_answering = false;
    WaitForSingleObject(answerer, 5000);
    CloseHandle(answerer);
    EXPECT_EQ(folder.Files().size(), static_cast<size_t>(kDownloads));
}

TEST_F(DownloadTest, CancellingTheSaveDialogRestoresEverythingSilently) {
    ChooseRow(0);
    driver.saveAnswer.clear();
    driver.Click(kDownloadButton);
    EXPECT_EQ(driver.saveDialogs.size(), 1u);
    EXPECT_TRUE(driver.messages.empty());
    EXPECT_EQ(DownloadRequest(), nullptr);
    ExpectIdle();
}

TEST_F(DownloadTest, TheProposedFileNameCannotLeaveTheChosenFolder) {
    ChooseRow(2);  // named ..\..\危险:名字*?
    driver.saveAnswer.clear();
    driver.Click(kDownloadButton);
    ASSERT_EQ(driver.saveDialogs.size(), 1u);
    const Text& name = driver.saveDialogs[0].fileName;
    EXPECT_FALSE(name.empty());
    for (char bad : std::string("\\/:*?\"<>|")) {
        // GBK trail bytes may equal these; the name here has none in that range except the
        // ones written as separators, so any occurrence is a leftover.
        EXPECT_EQ(name.find(bad), Text::npos) << name;
    }
    EXPECT_NE(name, "..");
    EXPECT_NE(name.find("危险"), Text::npos) << name;
}

class PictureSaveTest : public DownloadTest {};

TEST_F(PictureSaveTest, RefusesBeforeAnyPreview) {
    driver.Click(kSavePictureButton);
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].text, "请先预览字体");
    EXPECT_EQ(driver.messages[0].title, "图片下载");
    EXPECT_TRUE(driver.saveDialogs.empty());
}

TEST_F(PictureSaveTest, SavesThePreviewPictureByteForByte) {
    ui::ListSetCurrentRow(kFontList, 0);
    CheckFontDescription();
    driver.Click(kPreviewButton);
    ASSERT_FALSE(PreviewImageUrl().empty());
    std::string url = PreviewImageUrl();
    std::string expected = ServiceGet(url.substr(url.find('/', 8)));
    ASSERT_GT(expected.size(), 100u);

    driver.saveAnswer = folder.Path("预览.PNG");
    driver.Click(kSavePictureButton);
    EXPECT_EQ(ReadWholeFile(driver.saveAnswer), expected);
    ASSERT_EQ(driver.saveDialogs.size(), 1u);
    EXPECT_EQ(driver.saveDialogs[0].title, "保存图片【览字坊】");
    EXPECT_EQ(driver.saveDialogs[0].filter, "PNG文件|*.PNG|所有文件|*.*");
    EXPECT_EQ(driver.saveDialogs[0].defaultExtension, "PNG");
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].title, "图片下载");
    EXPECT_EQ(driver.messages[0].text, "恭喜！\r\n你下载的" + driver.saveAnswer + "已下载完成");
    EXPECT_EQ(ui::GetWindowTitle(), "览字坊");
    EXPECT_FALSE(ui::IsDisabled(kSavePictureButton));

    // Into a folder named with characters GBK lacks, under a name with a dot.
    ScratchFolder odd(L"-Größe-ő-한글");
    driver.messages.clear();
    driver.wideSaveAnswer = odd.WidePath(L"预览 1.5");
    driver.Click(kSavePictureButton);
    std::wstring saved = odd.WidePath(L"预览 1.5.PNG");
    EXPECT_EQ(ReadWholeFile(saved), expected);
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].wideText, L"恭喜！\r\n你下载的" + saved + L"已下载完成");
    driver.wideSaveAnswer.clear();

    // The picture gone from the service: failure, and no file.
    ASSERT_TRUE(ServiceControl("path=/preview/*&status=404&body=gone"));
    driver.messages.clear();
    driver.saveAnswer = folder.Path("gone.PNG");
    driver.Click(kSavePictureButton);
    ASSERT_EQ(driver.messages.size(), 1u);
    EXPECT_EQ(driver.messages[0].text, kFailure);
    EXPECT_FALSE(FileExists(driver.saveAnswer));
}

// Answers no well-behaved server gives, for the font and for the picture: the failure
// message and no file, never a file of framing, of header text or of half the bytes. Both
// answers are read by the program itself.
TEST_F(PictureSaveTest, HostileAnswersFailAndLeaveNoFile) {
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const std::string chunked = ok + "Transfer-Encoding: chunked\r\n\r\n";
    const std::pair<const char*, std::string> answers[] = {
        {"two lengths", "raw=" + ServiceEscape(ok + "Content-Length: 4\r\nContent-Length: 9"
                                                    "\r\n\r\nabcdefghi")},
        {"no status line", "raw=" + ServiceEscape("abcdefghi")},
        {"identity, chunked", "raw=" + ServiceEscape(ok + "Transfer-Encoding: identity, chunked"
                                                          "\r\n\r\n4\r\nabcd\r\n0\r\n\r\n")},
        {"chunked and a length",
         "raw=" + ServiceEscape(ok + "Transfer-Encoding: chunked\r\nContent-Length: 4\r\n\r\n"
                                     "4\r\nabcd\r\n0\r\n\r\n")},
        {"chunk cut short", "raw=" + ServiceEscape(chunked + "10\r\nabcd")},
        {"no last chunk", "raw=" + ServiceEscape(chunked + "4\r\nabcd\r\n")},
        {"bad chunk size", "raw=" + ServiceEscape(chunked + "zz\r\nabcd\r\n0\r\n\r\n")},
        {"header line without a colon",
         "raw=" + ServiceEscape(ok + "Content-Length: 4\r\nbogus\r\n\r\nabcd")},
        {"folded header line",
         "raw=" + ServiceEscape(ok + "X-A: 1\r\n folded\r\nContent-Length: 4\r\n\r\nabcd")},
        {"blank before the first header",
         "raw=" + ServiceEscape(ok + " \r\nContent-Length: 4\r\n\r\nabcd")},
        {"corrupt gzip", "body=abcdefghi&header=" + ServiceEscape("Content-Encoding: gzip")},
        {"reset in the body", "huge_bytes=100000&reset_after=1000"},
    };
    ui::ListSetCurrentRow(kFontList, 0);
    CheckFontDescription();
    driver.Click(kPreviewButton);
    ASSERT_FALSE(PreviewImageUrl().empty());
    int n = 0;
    for (const auto& [name, rule] : answers) {
        SCOPED_TRACE(name);
        for (const char* where : {"/Download/*", "/preview/*"}) {
            const bool font = where[1] == 'D';
            ASSERT_TRUE(ServiceControl("reset=1"));
            ASSERT_TRUE(ServiceControl(std::string("path=") + where + "&" + rule));
            driver.messages.clear();
            driver.saveAnswer =
                folder.Path("hostile" + std::to_string(n++) + (font ? ".ttf" : ".PNG"));
            driver.Click(font ? kDownloadButton : kSavePictureButton);
            ASSERT_EQ(driver.messages.size(), 1u) << where;
            EXPECT_EQ(driver.messages[0].text, kFailure) << where;
            EXPECT_EQ(driver.messages[0].title, font ? "字体下载" : "图片下载");
            EXPECT_TRUE(folder.Files().empty()) << where;
            EXPECT_EQ(ui::GetWindowTitle(), "览字坊");
        }
    }
}

}  // namespace
