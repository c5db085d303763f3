// The window framework on windows of the tests' own layouts: list rows and the current row,
// list keys, pictures, timers, worker threads writing controls, the wait that keeps messages
// flowing, the pump, message boxes and the save dialog.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <string>
#include <vector>

#include "app/program_windows.h"
#include "core/codepage.h"
#include "core/pump.h"
#include "tests/support/dialog_answerer.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dialogs.h"
#include "ui/layout.h"
#include "ui/picture.h"
#include "ui/properties.h"
#include "ui/threads.h"
#include "ui/window.h"

namespace {

using uitest::CaptureClient;
using uitest::PumpUntil;

struct Window {
    HWND hwnd = nullptr;
    explicit Window(HWND h) : hwnd(h) {}
    ~Window() {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
        ui::PumpMessages();
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    HWND Control(const char* name) const { return ui::ControlHandle(hwnd, name); }
};

// --- A window of the tests' own: a list, two picture boxes, a button, a timer.

constexpr ui::ListColumn kColumns[] = {
    {"甲", 60, ui::Alignment::Left},
    {"乙", 120, ui::Alignment::Centre},
    {"丙", 60, ui::Alignment::Centre},
};

constexpr ui::ControlLayout kTestControls[] = {
    {.kind = ui::ControlKind::ListView,
     .name = "列表",
     .left = 0,
     .top = 0,
     .width = 260,
     .height = 200,
     .border = ui::EditBorder::Single,
     .columns = kColumns,
     .tabStop = true},
    {.kind = ui::ControlKind::PictureBox,
     .name = "缩放图",
     .left = 270,
     .top = 0,
     .width = 100,
     .height = 60,
     .backColour = ui::Rgb(0x0000FF),
     .pictureMode = ui::PictureMode::Scaled},
    {.kind = ui::ControlKind::PictureBox,
     .name = "居中图",
     .left = 270,
     .top = 80,
     .width = 100,
     .height = 60,
     .backColour = ui::Rgb(0x00FF00),
     .pictureMode = ui::PictureMode::Centred},
    {.kind = ui::ControlKind::Button,
     .name = "按钮",
     .left = 270,
     .top = 160,
     .width = 80,
     .height = 24,
     .text = "按"},
    {.kind = ui::ControlKind::Timer, .name = "时钟"},
    {.kind = ui::ControlKind::SaveDialog, .name = "对话框"},
};

constexpr ui::WindowLayout kTestLayout =
    uitest::PlainLayout("测试窗口", 20, 20, 400, 260, kTestControls);

int g_rowChanged = 0;
int g_doubleClicks = 0;
int g_clicks = 0;
int g_ticks = 0;
std::vector<int> g_keys;
bool g_consumeKeys = false;
HWND g_window = nullptr;

bool OnKey(int key) {
    g_keys.push_back(key);
    if (!g_consumeKeys || key != VK_DOWN)
        return false;
    ui::ListSetCurrentRow(g_window, "列表", ui::ListCurrentRow(g_window, "列表") + 1);
    return true;
}

constexpr ui::EventBinding kTestEvents[] = {
    {.control = "列表", .event = ui::Event::CurrentRowChanged, .action = [] { ++g_rowChanged; }},
    {.control = "列表", .event = ui::Event::DoubleClick, .action = [] { ++g_doubleClicks; }},
    {.control = "列表", .event = ui::Event::KeyDown, .onKey = OnKey},
    {.control = "按钮", .event = ui::Event::Click, .action = [] { ++g_clicks; }},
    {.control = "时钟", .event = ui::Event::Tick, .action = [] { ++g_ticks; }},
};

class Framework : public ::testing::Test {
  protected:
    void SetUp() override {
        g_rowChanged = g_doubleClicks = g_clicks = g_ticks = 0;
        g_keys.clear();
        g_consumeKeys = false;
        window_.hwnd = ui::CreateLayoutWindow(kTestLayout, kTestEvents);
        g_window = window_.hwnd;
        ASSERT_NE(window_.hwnd, nullptr);
        ui::ShowLayoutWindow(window_.hwnd);
    }
    void FillRows(int n) {
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(ui::ListAddRow(window_.hwnd, "列表"), i);
            ui::ListSetCell(window_.hwnd, "列表", i, 1, "行" + std::to_string(i));
        }
    }
    Window window_{nullptr};
};

TEST_F(Framework, ListRowsAndCells) {
    HWND w = window_.hwnd;
    EXPECT_EQ(ui::ListRowCount(w, "列表"), 0);
    FillRows(3);
    EXPECT_EQ(ui::ListRowCount(w, "列表"), 3);
    EXPECT_EQ(ui::ListGetCell(w, "列表", 2, 1), "行2");
    EXPECT_EQ(ui::ListGetCell(w, "列表", 2, 0), "");
    // Long and GBK texts come back whole.
    Text longName(1000, 'x');
    longName += "泼墨体";
    ui::ListSetCell(w, "列表", 1, 2, longName);
    EXPECT_EQ(ui::ListGetCell(w, "列表", 1, 2), longName);
    // Writes to rows or columns that do not exist change nothing; reads give empty text.
    ui::ListSetCell(w, "列表", -1, 1, "无");
    ui::ListSetCell(w, "列表", 3, 1, "无");
    ui::ListSetCell(w, "列表", 0, 3, "无");
    EXPECT_EQ(ui::ListRowCount(w, "列表"), 3);
    EXPECT_EQ(ui::ListGetCell(w, "列表", 3, 1), "");
    EXPECT_EQ(ui::ListGetCell(w, "列表", -1, 1), "");
    EXPECT_EQ(ui::ListGetCell(w, "列表", 0, 1), "行0");
    ui::ListDeleteRow(w, "列表", 0);
    EXPECT_EQ(ui::ListRowCount(w, "列表"), 2);
    EXPECT_EQ(ui::ListGetCell(w, "列表", 0, 1), "行1");
    ui::ListClear(w, "列表");
    EXPECT_EQ(ui::ListRowCount(w, "列表"), 0);
    // Unknown names read as nothing.
    EXPECT_EQ(ui::ListRowCount(w, "无此控件"), 0);
    EXPECT_EQ(ui::GetText(w, "无此控件"), "");
}

TEST_F(Framework, CurrentRowWrittenByTheProgramRaisesNoEvent) {
    HWND w = window_.hwnd;
    FillRows(5);
    EXPECT_EQ(ui::ListCurrentRow(w, "列表"), -1);
    ui::ListSetCurrentRow(w, "列表", 2);
    EXPECT_EQ(ui::ListCurrentRow(w, "列表"), 2);
    HWND list = window_.Control("列表");
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 2);
    ui::ListSetCurrentRow(w, "列表", 4);
    EXPECT_EQ(ui::ListCurrentRow(w, "列表"), 4);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    ui::ListSetCurrentRow(w, "列表", 5);  // past the end: no row is current
    EXPECT_EQ(ui::ListCurrentRow(w, "列表"), -1);
    ui::ListSetCurrentRow(w, "列表", 1);
    ui::ListSetCurrentRow(w, "列表", -1);
    EXPECT_EQ(ui::ListCurrentRow(w, "列表"), -1);
    ui::PumpMessages();
    EXPECT_EQ(g_rowChanged, 0);
}

TEST_F(Framework, ArrowKeyMovesTheRowOnceWhetherTheHandlerOrTheListMovesIt) {
    HWND w = window_.hwnd;
    HWND list = window_.Control("列表");
    FillRows(6);
    SetFocus(list);

    // The handler lets the key through: the list moves the row and reports the change.
    ui::ListSetCurrentRow(w, "列表", 1);
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_TRUE(PumpUntil([] { return !g_keys.empty(); }));
    ui::PumpMessages();
    EXPECT_EQ(g_keys, std::vector<int>{VK_DOWN});
    EXPECT_EQ(ui::ListCurrentRow(w, "列表"), 2);
    EXPECT_EQ(g_rowChanged, 1);

    // The handler moves the row itself and consumes the key: one step, not two.
    g_consumeKeys = true;
    g_keys.clear();
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_TRUE(PumpUntil([] { return !g_keys.empty(); }));
    ui::PumpMessages();
    EXPECT_EQ(ui::ListCurrentRow(w, "列表"), 3);
    EXPECT_EQ(g_rowChanged, 1);
}

TEST_F(Framework, DoubleClickAndButtonClick) {
    FillRows(3);
    HWND list = window_.Control("列表");
    RECT item = {LVIR_BOUNDS};
    SendMessageW(list, LVM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    LPARAM at = MAKELPARAM(item.left + 20, (item.top + item.bottom) / 2);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(list, WM_LBUTTONUP, 0, at);
    EXPECT_TRUE(PumpUntil([] { return g_doubleClicks == 1; }));
    EXPECT_EQ(ui::ListCurrentRow(window_.hwnd, "列表"), 1);
    EXPECT_GE(g_rowChanged, 1);  // a click on another row is a change of the current row

    PostMessageW(window_.Control("按钮"), BM_CLICK, 0, 0);
    // Code below the window framework processes pending messages through core/pump.h.
    PumpPendingMessages();
    EXPECT_EQ(g_clicks, 1);
}

// --- Pictures.

std::vector<std::uint32_t> Fill(int w, int h, std::uint32_t argb) {
    return std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h, argb);
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance = 8) {
    for (int shift : {0, 8, 16}) {
        int d = static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF);
        if (d > tolerance || d < -tolerance)
            return false;
    }
    return true;
}

TEST_F(Framework, PictureScaledToTheBox) {
    // 10 x 6 in four blocks: red, yellow / white, black; drawn ten times as large.
    std::vector<std::uint32_t> pixels(60);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 10; ++x)
            pixels[y * 10 + x] =
                y < 3 ? (x < 5 ? 0xFFFF0000 : 0xFFFFFF00) : (x < 5 ? 0xFFFFFFFF : 0xFF000000);
    ASSERT_TRUE(ui::SetPicture(window_.hwnd, "缩放图", uitest::EncodePng(10, 6, pixels)));
    RECT box = uitest::RectIn(window_.hwnd, window_.Control("缩放图"));
    uitest::Capture shot = CaptureClient(window_.hwnd);
    EXPECT_TRUE(Near(shot.At(box.left + 20, box.top + 12), 0xFF0000))
        << std::hex << shot.At(box.left + 20, box.top + 12);
    EXPECT_TRUE(Near(shot.At(box.left + 80, box.top + 12), 0xFFFF00));
    EXPECT_TRUE(Near(shot.At(box.left + 20, box.top + 48), 0xFFFFFF));
    EXPECT_TRUE(Near(shot.At(box.left + 80, box.top + 48), 0x000000));
    // The whole box is covered: no background (blue) at the corners.
    EXPECT_FALSE(Near(shot.At(box.left, box.top), 0x0000FF));
    EXPECT_FALSE(Near(shot.At(box.right - 1, box.bottom - 1), 0x0000FF));
}

TEST_F(Framework, PictureLargerThanItsBoxIsShrunkByAveraging) {
    // 300 x 180, a third larger each way than the box: red, yellow / white, and black at half
    // transparency over the blue background; the blocks meet at x 100 and y 90.
    std::vector<std::uint32_t> pixels(300 * 180);
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 300; ++x)
            pixels[y * 300 + x] =
                y < 90 ? (x < 100 ? 0xFFFF0000 : 0xFFFFFF00) : (x < 100 ? 0xFFFFFFFF : 0x80000000);
    ASSERT_TRUE(ui::SetPicture(window_.hwnd, "缩放图", uitest::EncodePng(300, 180, pixels)));
    RECT box = uitest::RectIn(window_.hwnd, window_.Control("缩放图"));
    uitest::Capture shot = CaptureClient(window_.hwnd);
    EXPECT_EQ(shot.At(box.left + 10, box.top + 10), 0xFF0000u);
    EXPECT_EQ(shot.At(box.left + 80, box.top + 10), 0xFFFF00u);
    EXPECT_EQ(shot.At(box.left + 10, box.top + 50), 0xFFFFFFu);
    EXPECT_TRUE(Near(shot.At(box.left + 80, box.top + 50), 0x000080, 1))
        << std::hex << shot.At(box.left + 80, box.top + 50);
    // Box pixel 33 covers picture pixels 99..101: one red and two yellow.
    EXPECT_TRUE(Near(shot.At(box.left + 33, box.top + 10), 0xFFAA00, 1))
        << std::hex << shot.At(box.left + 33, box.top + 10);
    // Box row 30 covers picture rows 90..92 only: all white.
    EXPECT_EQ(shot.At(box.left + 10, box.top + 30), 0xFFFFFFu);
    EXPECT_EQ(shot.At(box.left + 10, box.top + 29), 0xFF0000u);
    EXPECT_TRUE(Near(shot.At(box.right - 1, box.bottom - 1), 0x000080, 1));
}

TEST_F(Framework, PictureWithInvisibleLinesIsShrunkOverTheBackground) {
    // 300 x 180: rows 0..88 fully transparent (in any colour), rows 89.. opaque red, over the
    // blue background. Box row 29 covers picture rows 87..89: two invisible, one red.
    std::vector<std::uint32_t> pixels(300 * 180);
    for (int y = 0; y < 180; ++y)
        for (int x = 0; x < 300; ++x)
            pixels[y * 300 + x] = y < 89 ? 0x0000FF00 : 0xFFFF0000;
    ASSERT_TRUE(ui::SetPicture(window_.hwnd, "缩放图", uitest::EncodePng(300, 180, pixels)));
    RECT box = uitest::RectIn(window_.hwnd, window_.Control("缩放图"));
    uitest::Capture shot = CaptureClient(window_.hwnd);
    EXPECT_EQ(shot.At(box.left + 10, box.top + 5), 0x0000FFu);
    EXPECT_EQ(shot.At(box.right - 1, box.top + 28), 0x0000FFu);
    EXPECT_TRUE(Near(shot.At(box.left + 50, box.top + 29), 0x5500AA, 1))
        << std::hex << shot.At(box.left + 50, box.top + 29);
    EXPECT_EQ(shot.At(box.left + 50, box.top + 30), 0xFF0000u);
}

TEST_F(Framework, PictureCentredUnscaledOverTheBackground) {
    // 20 x 10 magenta; its top row fully transparent, its second row half transparent.
    std::vector<std::uint32_t> pixels = Fill(20, 10, 0xFFFF00FF);
    for (int x = 0; x < 20; ++x) {
        pixels[x] = 0x00FF00FF;
        pixels[20 + x] = 0x80FF00FF;
    }
    ASSERT_TRUE(ui::SetPicture(window_.hwnd, "居中图", uitest::EncodePng(20, 10, pixels)));
    RECT box = uitest::RectIn(window_.hwnd, window_.Control("居中图"));
    uitest::Capture shot = CaptureClient(window_.hwnd);
    int left = box.left + 40, top = box.top + 25;  // (100 - 20) / 2, (60 - 10) / 2
    EXPECT_EQ(shot.At(left, top + 5), 0xFF00FFu);
    EXPECT_EQ(shot.At(left + 19, top + 9), 0xFF00FFu);
    EXPECT_EQ(shot.At(left - 1, top + 5), 0x00FF00u);
    EXPECT_EQ(shot.At(left + 20, top + 5), 0x00FF00u);
    EXPECT_EQ(shot.At(left + 5, top + 10), 0x00FF00u);
    EXPECT_EQ(shot.At(left + 5, top), 0x00FF00u);                // transparent row
    EXPECT_TRUE(Near(shot.At(left + 5, top + 1), 0x807F80, 2));  // half over green
    EXPECT_EQ(shot.At(box.left + 2, box.top + 2), 0x00FF00u);

    // Bytes that are no picture clear it and report failure; empty bytes just clear it.
    EXPECT_FALSE(ui::SetPicture(window_.hwnd, "居中图", Bytes{'n', 'o', 'p', 'e'}));
    EXPECT_EQ(CaptureClient(window_.hwnd).At(left, top + 5), 0x00FF00u);
    ASSERT_TRUE(ui::SetPicture(window_.hwnd, "居中图", uitest::EncodePng(20, 10, pixels)));
    EXPECT_EQ(CaptureClient(window_.hwnd).At(left, top + 5), 0xFF00FFu);
    EXPECT_TRUE(ui::SetPicture(window_.hwnd, "居中图", Bytes{}));
    EXPECT_EQ(CaptureClient(window_.hwnd).At(left, top + 5), 0x00FF00u);
}

void AppendChunk(Bytes& png, const char* type, const Bytes& data) {
    auto be32 = [&](std::uint32_t v) {
        for (int shift : {24, 16, 8, 0})
            png.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    be32(static_cast<std::uint32_t>(data.size()));
    std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    be32(static_cast<std::uint32_t>(crc32(0, png.data() + start, png.size() - start)));
}

// A picture from the network that claims an enormous size is refused, not allocated.
TEST(Picture, RefusesHugeDimensions) {
    for (std::uint32_t side : {20000u, 16385u, 70000u}) {
        Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        Bytes header;
        for (std::uint32_t v : {side, side})
            for (int shift : {24, 16, 8, 0})
                header.push_back(static_cast<std::uint8_t>(v >> shift));
        header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA
        AppendChunk(png, "IHDR", header);
        AppendChunk(png, "IEND", {});
        EXPECT_TRUE(ui::DecodePng(png).Empty()) << side;
    }
    // Truncated and empty input.
    Bytes good = uitest::EncodePng(3, 2, Fill(3, 2, 0xFF102030));
    ui::Picture picture = ui::DecodePng(good);
    ASSERT_EQ(picture.width, 3);
    ASSERT_EQ(picture.height, 2);
    EXPECT_EQ(picture.pixels[5], 0xFF102030u);
    EXPECT_TRUE(ui::DecodePng(Bytes(good.begin(), good.begin() + good.size() / 2)).Empty());
    EXPECT_TRUE(ui::DecodePng(Bytes{}).Empty());
}

// --- Timers.

TEST_F(Framework, TimerIntervalIsItsWholeState) {
    HWND w = window_.hwnd;
    EXPECT_EQ(ui::GetTimerInterval(w, "时钟"), 0);
    uitest::PumpFor(100);
    EXPECT_EQ(g_ticks, 0);
    ui::SetTimerInterval(w, "时钟", 20);
    EXPECT_EQ(ui::GetTimerInterval(w, "时钟"), 20);
    EXPECT_TRUE(PumpUntil([] { return g_ticks >= 3; }));
    ui::SetTimerInterval(w, "时钟", 0);
    EXPECT_EQ(ui::GetTimerInterval(w, "时钟"), 0);
    int stopped = g_ticks;
    uitest::PumpFor(150);
    EXPECT_EQ(g_ticks, stopped);
    ui::SetTimerInterval(w, "时钟", 15);
    EXPECT_TRUE(PumpUntil([&] { return g_ticks > stopped; }));
    ui::SetTimerInterval(w, "时钟", 0);
}

// --- Worker threads.

HWND g_workerWindow = nullptr;
Text g_workerRead;
int g_workerRow = -1;

void WriteFromWorker() {
    ui::SetText(g_workerWindow, "编辑框6", "线程写入的内容");
    ui::SetWindowTitle(g_workerWindow, "览字坊    字体下载中……");
    g_workerRow = ui::ListAddRow(g_workerWindow, "超级列表框1");
    ui::ListSetCell(g_workerWindow, "超级列表框1", g_workerRow, 1, "泼墨字体");
    ui::SetDisabled(g_workerWindow, "超级按钮3", false);
    ui::SetVisible(g_workerWindow, "超级按钮6", true);
    ui::SetTextColour(g_workerWindow, "字体", ui::Rgb(0x00FF00));
    g_workerRead = ui::GetText(g_workerWindow, "字体");
}

TEST(Threads, WorkerWritesArriveWhileTheWindowThreadWaits) {
    Window main(ui::CreateLayoutWindow(kMainWindowLayout, {}));
    g_workerWindow = main.hwnd;
    g_workerRead.clear();
    ui::OwnedHandle thread = ui::RunInThread(WriteFromWorker);
    ASSERT_TRUE(thread);
    // Each write is a message the waiting thread must process; the bound only guards the test.
    EXPECT_TRUE(ui::WaitForThreadPumping(thread.Get(), 20000));
    EXPECT_EQ(WaitForSingleObject(thread.Get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(ui::GetText(main.hwnd, "编辑框6"), "线程写入的内容");
    EXPECT_EQ(ui::GetWindowTitle(main.hwnd), "览字坊    字体下载中……");
    EXPECT_EQ(g_workerRow, 0);
    EXPECT_EQ(ui::ListGetCell(main.hwnd, "超级列表框1", 0, 1), "泼墨字体");
    EXPECT_FALSE(ui::IsDisabled(main.hwnd, "超级按钮3"));
    EXPECT_TRUE(ui::IsVisible(main.hwnd, "超级按钮6"));
    EXPECT_EQ(ui::GetTextColour(main.hwnd, "字体"), 0x00FF00u);
    EXPECT_EQ(g_workerRead, "览字坊");
    // The main-window shorthands address the same window.
    EXPECT_EQ(ui::GetText("编辑框6"), "线程写入的内容");
}

HANDLE g_release = nullptr;

void WaitForRelease() {
    WaitForSingleObject(g_release, 10000);
}

TEST(Threads, WaitEndsOnTimeOutAndOnFailure) {
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ui::OwnedHandle thread = ui::RunInThread(WaitForRelease);
    ASSERT_TRUE(thread);
    EXPECT_FALSE(ui::WaitForThreadPumping(thread.Get(), 100));
    EXPECT_EQ(WaitForSingleObject(thread.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));  // running
    SetEvent(g_release);
    EXPECT_TRUE(ui::WaitForThreadPumping(thread.Get(), 0));  // 0: no time limit
    CloseHandle(g_release);
    EXPECT_FALSE(ui::WaitForThreadPumping(nullptr, 0));
    EXPECT_FALSE(ui::RunInThread(nullptr));
}

// A job keeps what it captured after the caller's copies are gone, and its handle may be
// closed while it runs.
TEST(Threads, JobKeepsItsDataAfterTheCallerMovesOn) {
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ui::OwnedHandle finished(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::string seen;
    {
        std::string text(100, 'x');
        ui::OwnedHandle thread = ui::RunInThread([text, &seen, done = finished.Get()] {
            WaitForSingleObject(g_release, 10000);
            seen = text;
            SetEvent(done);
        });
        ASSERT_TRUE(thread);
    }  // the caller's string and the job object it passed are gone, the thread handle closed
    SetEvent(g_release);
    EXPECT_EQ(WaitForSingleObject(finished.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(seen, std::string(100, 'x'));
    CloseHandle(g_release);
}

void CALLBACK ReleaseLater(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    SetEvent(g_release);
}

// Messages queued for the waiting thread are processed during the wait.
TEST_F(Framework, WaitProcessesQueuedMessages) {
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ui::OwnedHandle thread = ui::RunInThread(WaitForRelease);
    PostMessageW(window_.Control("按钮"), BM_CLICK, 0, 0);
    SetTimer(nullptr, 0, 50, ReleaseLater);
    EXPECT_TRUE(ui::WaitForThreadPumping(thread.Get(), 10000));
    EXPECT_EQ(g_clicks, 1);
    CloseHandle(g_release);
}

// --- Message boxes and the save dialog.

TEST(Dialogs, MessageBoxesAreTaskModalAndOwnedByTheMainWindow) {
    Window main(ui::CreateLayoutWindow(kMainWindowLayout, {}));
    std::vector<ui::MessageRequest> seen;
    ui::SetMessageObserver([&](const ui::MessageRequest& r) {
        seen.push_back(r);
        return IDOK;
    });
    EXPECT_EQ(ui::ShowMessage("请先初始化字体", MB_ICONINFORMATION, "字体图生成"), IDOK);
    ui::OwnedHandle thread = ui::RunInThread(
        [] { ui::ShowMessage("失败！\r\n请重新下载", MB_ICONINFORMATION, "字体下载"); });
    EXPECT_TRUE(ui::WaitForThreadPumping(thread.Get(), 10000));
    ui::SetMessageObserver(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, "请先初始化字体");
    EXPECT_EQ(seen[0].title, "字体图生成");
    EXPECT_EQ(seen[0].owner, main.hwnd);
    EXPECT_EQ(seen[0].flags, static_cast<unsigned>(MB_ICONINFORMATION | MB_TASKMODAL));
    EXPECT_EQ(seen[1].text, "失败！\r\n请重新下载");
    EXPECT_EQ(seen[1].owner, main.hwnd);
}

// Drives a real save dialog shown by a worker thread: types a name and presses Save.
std::wstring g_chosen;
ui::SaveDialogRequest g_request;

void ShowDialogFromWorker() {
    g_chosen = ui::ShowSaveDialog("通用对话框1", g_request);
}

// The dialog's answer to `typed`; `offered` receives the name the dialog proposed.
std::wstring RunRealDialog(const ui::SaveDialogRequest& request,
                           const std::wstring& typed,
                           std::wstring* offered) {
    g_request = request;
    g_chosen.clear();
    std::wstring title = codepage::Wide(request.title);
    ui::OwnedHandle owned = ui::RunInThread(ShowDialogFromWorker);
    const HANDLE thread = owned.Get();
    bool answered = false;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT && GetTickCount() - start < 20000) {
        if (!answered) {
            if (HWND dialog = dialogs::FindDialog(&title, GetCurrentProcessId()))
                answered = dialogs::AnswerSaveDialog(dialog, typed, offered);
        }
        ui::WaitForThreadPumping(thread, 100);
    }
    bool ended = ui::WaitForThreadPumping(thread, 5000);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(answered);
    return g_chosen;
}

bool EndsWith(const std::wstring& s, const std::wstring& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The folder given, the name typed, and the default extension whenever that name does not end
// in it already (a dot inside a font's name is no extension).
TEST(Dialogs, SaveDialogFromAWorkerThread) {
    Window main(ui::CreateLayoutWindow(kMainWindowLayout, {}));
    ui::ShowLayoutWindow(main.hwnd);
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const char* kFont = "字体文件|*.ttf";
    const char* kPicture = "PNG文件|*.PNG|所有文件|*.*";
    struct Case {
        const char* title;
        const char* proposed;
        const char* filter;
        const char* extension;
        std::wstring offered;  // a proposed name no file may have still opens the dialog
        std::wstring typed;
        std::wstring saved;  // compared without case: the system may spell the extension
    };
    const Case cases[] = {
        {"字体下载【览字坊】", "泼墨体", kFont, "ttf", L"泼墨体", L"saved-font", L"saved-font.ttf"},
        {"字体下载【览字坊】", "Foo 2.0 Bold", kFont, "ttf", L"Foo 2.0 Bold", L"Foo 2.0 Bold",
         L"foo 2.0 bold.ttf"},
        {"字体下载【览字坊】", "x", kFont, "ttf", L"x", L"Upper.TTF", L"upper.ttf"},
        {"保存图片【览字坊】", "A/B:C", kPicture, "PNG", L"A_B_C", L"picture", L"picture.png"},
        {"保存图片【览字坊】", "v1.5", kPicture, "PNG", L"v1.5", L"v1.5", L"v1.5.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proposed);
        ui::SaveDialogRequest request{c.title, c.proposed, c.filter, folder, c.extension};
        std::wstring offered;
        std::wstring chosen = RunRealDialog(request, c.typed, &offered);
        EXPECT_EQ(offered, c.offered);
        ASSERT_FALSE(chosen.empty());
        std::wstring lower = chosen;
        CharLowerW(lower.data());
        EXPECT_TRUE(EndsWith(lower, L"\\" + c.saved)) << codepage::Narrow(chosen);
        EXPECT_EQ(ui::DialogFileName(main.hwnd, "通用对话框1"), chosen);
    }
}

TEST(Dialogs, SaveDialogObserverAnswersInsteadOfTheDialog) {
    Window main(ui::CreateLayoutWindow(kMainWindowLayout, {}));
    ui::SaveDialogRequest seen;
    ui::SetSaveDialogObserver([&](const ui::SaveDialogRequest& r) {
        seen = r;
        return r.fileName.empty() ? std::wstring() : L"C:\\fonts\\" + codepage::Wide(r.fileName);
    });
    ui::SaveDialogRequest request{"字体下载【览字坊】", "泼墨体", "字体文件|*.ttf",
                                  ui::DesktopFolder(), "ttf"};
    EXPECT_EQ(ui::ShowSaveDialog("通用对话框1", request), L"C:\\fonts\\泼墨体.ttf");
    EXPECT_EQ(seen.owner, main.hwnd);
    EXPECT_EQ(seen.filter, "字体文件|*.ttf");
    EXPECT_FALSE(seen.initialFolder.empty());
    EXPECT_EQ(ui::DialogFileName(main.hwnd, "通用对话框1"), L"C:\\fonts\\泼墨体.ttf");
    // A cancelled dialog keeps the last confirmed name.
    request.fileName.clear();
    EXPECT_EQ(ui::ShowSaveDialog("通用对话框1", request), L"");
    EXPECT_EQ(ui::DialogFileName(main.hwnd, "通用对话框1"), L"C:\\fonts\\泼墨体.ttf");
    ui::SetSaveDialogObserver(nullptr);
}

// The dialog asks before replacing the name it was given; the name completed with the default
// extension is asked about too, and No brings the dialog back with that name.
TEST(Dialogs, ReplacingTheCompletedNameIsAskedFirst) {
    Window main(ui::CreateLayoutWindow(kMainWindowLayout, {}));
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"lzf-replace-" + std::to_wstring(GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::wstring existing = folder + L"\\Foo 2.0 Bold.ttf";
    HANDLE file = CreateFileW(existing.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);

    struct Case {
        int answer;           // to the question
        std::wstring second;  // the second dialog's answer, when there is one
        std::wstring chosen;
        size_t dialogs;
    };
    const Case cases[] = {
        {IDYES, L"", existing, 1},
        {IDNO, L"", L"", 2},
        {IDNO, folder + L"\\other", folder + L"\\other.ttf", 2},
    };
    for (const Case& c : cases) {
        std::vector<ui::SaveDialogRequest> asked;
        std::vector<ui::MessageRequest> questions;
        ui::SetSaveDialogObserver([&](const ui::SaveDialogRequest& r) {
            asked.push_back(r);
            return asked.size() == 1 ? folder + L"\\Foo 2.0 Bold" : c.second;
        });
        ui::SetMessageObserver([&](const ui::MessageRequest& r) {
            questions.push_back(r);
            return c.answer;
        });
        ui::SaveDialogRequest request{"字体下载【览字坊】", "Foo 2.0 Bold", "字体文件|*.ttf",
                                      ui::DesktopFolder(), "ttf"};
        EXPECT_EQ(ui::ShowSaveDialog("通用对话框1", request), c.chosen);
        ui::SetSaveDialogObserver(nullptr);
        ui::SetMessageObserver(nullptr);
        ASSERT_EQ(questions.size(), 1u);
        EXPECT_EQ(questions[0].wideText, L"Foo 2.0 Bold.ttf 已存在。\r\n要替换它吗？");
        EXPECT_EQ(questions[0].flags & MB_TYPEMASK, static_cast<unsigned>(MB_YESNO));
        ASSERT_EQ(asked.size(), c.dialogs);
        if (c.dialogs == 2) {
            EXPECT_EQ(asked[1].fileName, "Foo 2.0 Bold.ttf");
            EXPECT_EQ(asked[1].initialFolder, folder + L"\\");
        }
    }
    DeleteFileW(existing.c_str());
    RemoveDirectoryW(folder.c_str());
}

// The windows are right whatever the system's ANSI code page is; the English-locale run of the
// layout test shows the same, this records which code page the run had.
TEST(Locale, RecordsTheCodePage) {
    ::testing::Test::RecordProperty("ansi_code_page", static_cast<int>(GetACP()));
    Window main(ui::CreateLayoutWindow(kMainWindowLayout, {}));
    EXPECT_EQ(uitest::WindowText(main.hwnd), u"览字坊");
    EXPECT_EQ(ui::GetWindowTitle(main.hwnd), "览字坊");
}

}  // namespace
