// The program's windows at work: the colour selectors, what the frames, group boxes and flat
// buttons paint, Esc, the tip window, the links and moving windows by their client area.
// Pixels are read from the windows as the screen shows them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/program_windows.h"
#include "core/codepage.h"
#include "embedded/lzf_pictures.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dialogs.h"
#include "ui/picture.h"
#include "ui/properties.h"
#include "ui/window.h"

namespace {

using uitest::Capture;
using uitest::CaptureClient;
using uitest::PumpUntil;
using uitest::RectIn;

std::string Readable(const char* gbk) {
    return codepage::FromWide(codepage::ToWide(gbk), codepage::kUtf8);
}

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

// Keeps the pointer away from the windows under test.
void ParkPointer() {
    SetCursorPos(1270, 1010);
    ui::PumpMessages();
}

Window ShownMainWindow(bool withEvents) {
    ParkPointer();
    HWND hwnd = withEvents ? CreateMainWindow() : ui::CreateLayoutWindow(kMainWindowLayout, {});
    ui::ShowLayoutWindow(hwnd);
    PumpUntil([&] { return IsWindowVisible(hwnd) != 0; });
    return Window(hwnd);
}

int R(std::uint32_t p) {
    return p >> 16 & 0xFF;
}
int G(std::uint32_t p) {
    return p >> 8 & 0xFF;
}
int B(std::uint32_t p) {
    return p & 0xFF;
}

// Chooses an item the way the keyboard does: the list reports the change to its window.
void ChooseWithKeyboard(HWND combo, int key) {
    SetFocus(combo);
    PostMessageW(combo, WM_KEYDOWN, key, 0);
    PostMessageW(combo, WM_KEYUP, key, 0xC0000000);
    ui::PumpMessages();
}

TEST(ColourSelectors, EveryItemWritesItsColour) {
    Window main = ShownMainWindow(true);
    struct Case {
        int index;
        const char* text;
        Colour colour;
    } const cases[] = {
        {0, "#FFFFFF", 0xFFFFFF}, {1, "#000000", 0x000000}, {2, "#FF0000", 0x0000FF},
        {3, "#FFFF00", 0x00FFFF}, {4, "#0000FF", 0xFF0000}, {5, "#00FF00", 0x00FF00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        // What the list sends when the user picks an item.
        HWND text = main.Control("组合框1");
        SendMessageW(text, CB_SETCURSEL, c.index, 0);
        SendMessageW(GetParent(text), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(text), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(ui::GetText(main.hwnd, "编辑框4"), c.text);
        EXPECT_EQ(ui::GetTextColour(main.hwnd, "字体"), c.colour);
        HWND back = main.Control("组合框2");
        SendMessageW(back, CB_SETCURSEL, c.index, 0);
        SendMessageW(GetParent(back), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(back), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(back));
        EXPECT_EQ(ui::GetText(main.hwnd, "编辑框5"), c.text);
        EXPECT_EQ(ui::GetBackColour(main.hwnd, "字体"), c.colour);
    }
    // No item chosen: nothing changes.
    HWND text = main.Control("组合框1");
    SendMessageW(text, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendMessageW(GetParent(text), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(text), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(ui::GetText(main.hwnd, "编辑框4"), "#00FF00");
}

TEST(ColourSelectors, RedTextAndWhiteBackgroundOnScreen) {
    Window main = ShownMainWindow(true);
    HWND field = main.Control("字体");
    RECT f = RectIn(main.hwnd, field);

    // Before: black text on white.
    Capture before = CaptureClient(main.hwnd);
    int dark = 0;
    for (int y = f.top; y < f.bottom; ++y)
        for (int x = f.left; x < f.right; ++x)
            dark += before.At(x, y) == 0x000000;
    EXPECT_GT(dark, 0);

    ChooseWithKeyboard(main.Control("组合框1"), VK_DOWN);  // 黑色 -> 红色
    EXPECT_EQ(ui::GetSelection(main.hwnd, "组合框1"), 2);
    EXPECT_EQ(ui::GetText(main.hwnd, "编辑框4"), "#FF0000");
    Capture after = CaptureClient(main.hwnd);
    int red = 0;
    int other = 0;
    for (int y = f.top; y < f.bottom; ++y) {
        for (int x = f.left; x < f.right; ++x) {
            std::uint32_t p = after.At(x, y);
            if (p == 0xFF0000)
                ++red;
            else if (!(R(p) == 255 && G(p) == B(p)))  // white, red or a blend of the two
                ++other;
        }
    }
    EXPECT_GT(red, 10);
    EXPECT_EQ(other, 0);

    // 黑色 in the background selector paints the field black, 白色-透明图 white again.
    HWND back = main.Control("组合框2");
    ChooseWithKeyboard(back, VK_DOWN);
    EXPECT_EQ(ui::GetText(main.hwnd, "编辑框5"), "#000000");
    EXPECT_EQ(CaptureClient(main.hwnd).At(f.left + 2, f.bottom - 3), 0x000000u);
    ChooseWithKeyboard(back, VK_UP);
    EXPECT_EQ(ui::GetSelection(main.hwnd, "组合框2"), 0);
    EXPECT_EQ(ui::GetText(main.hwnd, "编辑框5"), "#FFFFFF");
    EXPECT_EQ(CaptureClient(main.hwnd).At(f.left + 2, f.bottom - 3), 0xFFFFFFu);
}

TEST(Painting, FrameOutlines) {
    Window main = ShownMainWindow(false);
    Capture shot = CaptureClient(main.hwnd);

    // 外形框1: a solid black ring around the picture box.
    RECT solid = RectIn(main.hwnd, main.Control("外形框1"));
    EXPECT_EQ(solid.left, 342);
    int notBlack = 0;
    for (int x = solid.left; x < solid.right; ++x) {
        notBlack += shot.At(x, solid.top) != 0x000000;
        notBlack += shot.At(x, solid.bottom - 1) != 0x000000;
    }
    for (int y = solid.top; y < solid.bottom; ++y) {
        notBlack += shot.At(solid.left, y) != 0x000000;
        notBlack += shot.At(solid.right - 1, y) != 0x000000;
    }
    EXPECT_EQ(notBlack, 0);
    // Inside the ring: the empty picture box's #ECECEC.
    EXPECT_EQ(shot.At(solid.left + 1, solid.top + 1), 0xECECECu);
    EXPECT_EQ(shot.At(solid.right - 2, solid.bottom - 2), 0xECECECu);

    // 外形框2: a red dash-dot ring whose gaps show the grey background.
    RECT dashed = RectIn(main.hwnd, main.Control("外形框2"));
    int red = 0, grey = 0, other = 0;
    for (int x = dashed.left; x < dashed.right; ++x) {
        for (int y : {static_cast<int>(dashed.top), static_cast<int>(dashed.bottom - 1)}) {
            std::uint32_t p = shot.At(x, y);
            red += p == 0xFF0000;
            grey += p == 0xC0C0C0;
            other += p != 0xFF0000 && p != 0xC0C0C0;
        }
    }
    EXPECT_GT(red, 100);
    EXPECT_GT(grey, 30);
    EXPECT_EQ(other, 0);
}

TEST(Painting, GroupCaptionsAreBlue) {
    Window main = ShownMainWindow(false);
    Capture shot = CaptureClient(main.hwnd);
    for (const char* name : {"分组框1", "分组框2"}) {
        SCOPED_TRACE(Readable(name));
        RECT g = RectIn(main.hwnd, main.Control(name));
        int blue = 0, notBlue = 0;
        for (int y = g.top; y < g.top + 16; ++y) {
            for (int x = g.left + 8; x < g.left + 8 + 40;
                 ++x) {  // the caption's first three characters
                std::uint32_t p = shot.At(x, y);
                blue += p == 0x0000FF;
                // Text pixels are blue, or blue blended into the white background.
                notBlue += !(B(p) == 255 && R(p) == G(p));
            }
        }
        EXPECT_GT(blue, 5);
        EXPECT_EQ(notBlue, 0);
    }
}

TEST(Painting, SearchFieldHasASingleLineBorder) {
    Window main = ShownMainWindow(false);
    Capture shot = CaptureClient(main.hwnd);
    RECT e = RectIn(main.hwnd, main.Control("字体查找"));
    int x = (e.left + e.right) / 2;
    // A border one pixel wide, then the white inside.
    EXPECT_NE(shot.At(x, e.top), 0xFFFFFFu);
    EXPECT_EQ(shot.At(x, e.top + 1), 0xFFFFFFu);
    EXPECT_NE(shot.At(e.left, (e.top + e.bottom) / 2), 0xFFFFFFu);
    EXPECT_EQ(shot.At(e.left + 1, e.top + 2), 0xFFFFFFu);
}

struct FlatLooks {
    const char* name;
    std::uint32_t restingText, restingFace;
    std::uint32_t overText, overFace;
    std::uint32_t focusText, focusFace;
};

// Pixels of a flat button in its window's capture.
struct ButtonShot {
    Capture shot;
    RECT r;
    std::uint32_t Face() const { return shot.At(r.left + 1, r.top + 1); }
    int Count(std::uint32_t colour) const {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += shot.At(x, y) == colour;
        return n;
    }
    // Pixels of the row 3 pixels inside the top edge that are not the face: the focus dots.
    int FocusDots() const {
        int n = 0;
        for (int x = r.left + 4; x < r.right - 4; ++x)
            n += shot.At(x, r.top + 3) != Face();
        return n;
    }
};

ButtonShot Shoot(const Window& main, HWND button) {
    return {CaptureClient(main.hwnd), RectIn(main.hwnd, button)};
}

TEST(Painting, FlatButtonsInTheirThreeLooks) {
    const FlatLooks looks[] = {
        {"超级按钮1", 0xFFFFFF, 0x0088FF, 0xECECEC, 0x0088FF, 0xFFFFFF, 0x0088FF},
        {"超级按钮2", 0xFFFFFF, 0xFF5080, 0xECECEC, 0xFF80C0, 0xFFFFFF, 0xFF5080},
        {"超级按钮4", 0xFFFFFF, 0x5830E0, 0xECECEC, 0x0060C0, 0xFFFFFF, 0x5830E0},
        {"超级按钮5", 0xFFFFFF, 0xFF0000, 0xFF0000, 0x000000, 0x000000, 0xFF0000},
    };
    Window main = ShownMainWindow(false);
    for (const FlatLooks& look : looks) {
        SCOPED_TRACE(Readable(look.name));
        HWND button = main.Control(look.name);
        ASSERT_NE(button, nullptr);
        SetFocus(main.Control("按钮2"));
        ParkPointer();
        ButtonShot resting = Shoot(main, button);
        EXPECT_EQ(resting.Face(), look.restingFace);
        EXPECT_GT(resting.Count(look.restingText), 3);
        EXPECT_EQ(resting.FocusDots(), 0);

        // Pointer over the button.
        RECT screen;
        GetWindowRect(button, &screen);
        SetCursorPos((screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2);
        auto showsLook = [&](std::uint32_t text, std::uint32_t face) {
            ButtonShot shot = Shoot(main, button);
            return shot.Face() == face && shot.Count(text) > 3;
        };
        EXPECT_TRUE(PumpUntil([&] { return showsLook(look.overText, look.overFace); }));
        ButtonShot over = Shoot(main, button);
        EXPECT_GT(over.Count(look.overText), 3);
        EXPECT_EQ(over.FocusDots(), 0);
        ParkPointer();
        EXPECT_TRUE(PumpUntil([&] { return showsLook(look.restingText, look.restingFace); }));

        // Pressed (without the pointer over it) looks like pointer-over.
        SendMessageW(button, BM_SETSTATE, TRUE, 0);
        EXPECT_EQ(Shoot(main, button).Face(), look.overFace);
        SendMessageW(button, BM_SETSTATE, FALSE, 0);

        // Keyboard focus: the focus colours and a dotted rectangle 3 pixels inside.
        SetFocus(button);
        ButtonShot focus = Shoot(main, button);
        EXPECT_EQ(focus.Face(), look.focusFace);
        EXPECT_GT(focus.Count(look.focusText), 3);
        EXPECT_GT(focus.FocusDots(), (focus.r.right - focus.r.left) / 4);
        EXPECT_EQ(focus.shot.At(focus.r.left + 5, focus.r.top + 2), look.focusFace);
    }
}

TEST(Painting, DownloadButtonShowsItsPictures) {
    Window main = ShownMainWindow(false);
    HWND button = main.Control("超级按钮3");
    auto expectPicture = [&](EmbeddedBlob blob) {
        ui::Picture picture = ui::DecodePng(blob.data, blob.size);
        ASSERT_EQ(picture.width, 88);
        ASSERT_EQ(picture.height, 28);
        ButtonShot shot = Shoot(main, button);
        int differ = 0;
        for (int y = 0; y < 28; y += 3)
            for (int x = 0; x < 88; x += 3)
                differ += shot.shot.At(shot.r.left + x, shot.r.top + y) !=
                          (picture.pixels[y * 88 + x] & 0xFFFFFF);
        EXPECT_EQ(differ, 0);
    };
    ParkPointer();
    EXPECT_FALSE(IsWindowEnabled(button));
    expectPicture(lzf_picture_download_disabled_blob());
    ui::SetDisabled(main.hwnd, "超级按钮3", false);
    SetFocus(main.Control("按钮2"));
    expectPicture(lzf_picture_download_resting_blob());
    RECT screen;
    GetWindowRect(button, &screen);
    SetCursorPos((screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2);
    ui::Picture over =
        ui::DecodePng(lzf_picture_download_over_blob().data, lzf_picture_download_over_blob().size);
    EXPECT_TRUE(PumpUntil(
        [&] { return Shoot(main, button).Face() == (over.pixels[1 * 88 + 1] & 0xFFFFFF); }));
    expectPicture(lzf_picture_download_over_blob());
    ParkPointer();
}

TEST(Keyboard, EscClosesOnlyTheAnimationWindow) {
    Window main = ShownMainWindow(true);
    Window tip(CreateTipWindow(main.hwnd));
    ui::ShowLayoutWindow(tip.hwnd);
    Window animation(ui::CreateLayoutWindow(kAnimationWindowLayout, {}));
    ui::ShowLayoutWindow(animation.hwnd);

    for (HWND target : {main.hwnd, main.Control("按钮2"), main.Control("超级列表框1"),
                        main.Control("编辑框6"), tip.hwnd}) {
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0000000);
    }
    uitest::PumpFor(200);
    EXPECT_TRUE(IsWindow(main.hwnd));
    EXPECT_TRUE(IsWindow(tip.hwnd));
    ASSERT_TRUE(IsWindow(animation.hwnd));

    PostMessageW(animation.hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(animation.hwnd); }));
    EXPECT_TRUE(IsWindow(main.hwnd));
}

// While the tip window is open it is modal: the main window takes no input; closing it gives
// the main window back. Checked from a timer that runs inside the tip's modal loop.
struct TipObservation {
    HWND tip = nullptr;
    bool mainDisabled = false;
    bool topMost = false;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pixels;  // shown, expected
};
TipObservation g_tip;
HWND g_tipMain = nullptr;

BOOL CALLBACK FindTip(HWND hwnd, LPARAM) {
    if (hwnd != g_tipMain && GetWindow(hwnd, GW_OWNER) == g_tipMain && IsWindowVisible(hwnd) &&
        uitest::WindowText(hwnd) == u"  微信打赏  -  你的支持是我努力的动力") {
        g_tip.tip = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK WatchTip(HWND, UINT, UINT_PTR id, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), FindTip, 0);
    if (!g_tip.tip)
        return;
    KillTimer(nullptr, id);
    g_tip.mainDisabled = !IsWindowEnabled(g_tipMain);
    g_tip.topMost = (GetWindowLongW(g_tip.tip, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    // The picture (1490 x 2045) is centred in a 400 x 448 box placed at x = -37: client
    // point (x, y) shows picture point (x + 37 + 545, y + 798).
    ui::Picture picture = ui::DecodePng(lzf_picture_tip_blob().data, lzf_picture_tip_blob().size);
    Capture shot = CaptureClient(g_tip.tip);
    for (POINT p : {POINT{0, 0}, POINT{126, 224}, POINT{160, 120}, POINT{300, 400}}) {
        std::uint32_t expected =
            picture.pixels[static_cast<std::size_t>(p.y + 798) * picture.width + p.x + 582] &
            0xFFFFFF;
        g_tip.pixels.push_back({shot.At(p.x, p.y), expected});
    }
    PostMessageW(g_tip.tip, WM_CLOSE, 0, 0);
}

TEST(TipWindow, OpensModallyFromItsButtonAndShowsTheMiddleOfThePicture) {
    Window main = ShownMainWindow(true);
    g_tip = {};
    g_tipMain = main.hwnd;
    SetTimer(nullptr, 0, 100, WatchTip);
    PostMessageW(main.Control("按钮2"), BM_CLICK, 0, 0);
    // The click runs the tip's modal loop; this pump returns once the tip has been closed.
    EXPECT_TRUE(PumpUntil([&] { return g_tip.tip && !IsWindow(g_tip.tip); }, 10000));
    ASSERT_NE(g_tip.tip, nullptr);
    EXPECT_TRUE(g_tip.mainDisabled);
    EXPECT_TRUE(g_tip.topMost);
    ASSERT_EQ(g_tip.pixels.size(), 4u);
    for (auto [shown, expected] : g_tip.pixels)
        EXPECT_EQ(shown, expected);
    EXPECT_TRUE(IsWindowEnabled(main.hwnd));
}

TEST(Links, OpenTheirFixedAddresses) {
    Window main = ShownMainWindow(true);
    std::vector<Text> opened;
    ui::SetOpenAddressObserver([&](const Text& address) { opened.push_back(address); });
    SendMessageW(main.Control("超级按钮5"), BM_CLICK, 0, 0);
    SendMessageW(main.Control("按钮1"), BM_CLICK, 0, 0);
    ui::SetOpenAddressObserver(nullptr);
    ASSERT_EQ(opened.size(), 2u);
    // The chat-group invitation: https, path "/", query keys _wv and k.
    const Text& chat = opened[0];
    ASSERT_EQ(chat.rfind("https://", 0), 0u);
    std::size_t slash = chat.find('/', 8);
    ASSERT_NE(slash, Text::npos);
    EXPECT_EQ(chat.substr(slash, 2), "/?");
    EXPECT_NE(chat.find("?_wv="), Text::npos);
    EXPECT_NE(chat.find("&k="), Text::npos);
    // The font-manager tool's page.
    const Text& tool = opened[1];
    ASSERT_EQ(tool.rfind("https://", 0), 0u);
    slash = tool.find('/', 8);
    ASSERT_NE(slash, Text::npos);
    EXPECT_EQ(tool.substr(slash), "/index.php/Index/ftXplorer/");
}

// A window of the tests' own whose caption follows the activation as usual.
constexpr ui::WindowLayout kPlainLayout = uitest::PlainLayout("普通窗口", 500, 600, 300, 200);

// A pixel of the caption bar, right of the title and left of the caption buttons.
COLORREF CaptionPixel(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    HDC dc = GetWindowDC(window);
    COLORREF c = GetPixel(dc, (r.right - r.left) / 2 + 40,
                          GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2);
    ReleaseDC(window, dc);
    return c;
}

void Activate(HWND window) {
    SetForegroundWindow(window);
    SetActiveWindow(window);
    PumpUntil([&] { return GetActiveWindow() == window; });
    uitest::PumpFor(100);
}

TEST(Windows, MainCaptionStaysActiveWhileAnotherWindowIsActive) {
    Window main = ShownMainWindow(false);
    Window plain(ui::CreateLayoutWindow(kPlainLayout, {}));
    ui::ShowLayoutWindow(plain.hwnd);
    Activate(plain.hwnd);
    COLORREF plainActive = CaptionPixel(plain.hwnd);
    COLORREF mainInactive = CaptionPixel(main.hwnd);
    Activate(main.hwnd);
    COLORREF mainActive = CaptionPixel(main.hwnd);
    COLORREF plainInactive = CaptionPixel(plain.hwnd);
    EXPECT_NE(plainActive, plainInactive);  // the usual caption changes ...
    EXPECT_EQ(plainActive, mainActive);
    EXPECT_EQ(mainInactive, mainActive);  // ... the main window's does not
}

TEST(Moving, DraggingTheClientAreaMovesEveryWindow) {
    Window main = ShownMainWindow(false);
    Window tip(CreateTipWindow(main.hwnd));
    Window animation(ui::CreateLayoutWindow(kAnimationWindowLayout, {}));
    auto hitAt = [](HWND window, int x, int y) {
        POINT p = {x, y};
        ClientToScreen(window, &p);
        return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y));
    };
    EXPECT_EQ(hitAt(main.hwnd, 250, 5), HTCAPTION);  // bare client area
    EXPECT_EQ(hitAt(tip.hwnd, 100, 100), HTCAPTION);
    EXPECT_EQ(hitAt(animation.hwnd, 200, 150), HTCAPTION);
    // Containers and pictures let the press through to the window.
    for (HWND passThrough : {main.Control("分组框1"), main.Control("外形框1"),
                             ui::ControlHandle(tip.hwnd, "图片框1")}) {
        RECT r;
        GetWindowRect(passThrough, &r);
        EXPECT_EQ(SendMessageW(passThrough, WM_NCHITTEST, 0, MAKELPARAM(r.left + 2, r.bottom - 2)),
                  HTTRANSPARENT);
    }
    // Controls keep their own presses.
    RECT list;
    GetWindowRect(main.Control("超级列表框1"), &list);
    EXPECT_NE(SendMessageW(main.Control("超级列表框1"), WM_NCHITTEST, 0,
                           MAKELPARAM(list.left + 50, list.top + 100)),
              HTCAPTION);
    // Pointer over a flat button or the initialise button: the hand.
    RECT b;
    GetWindowRect(main.Control("超级按钮1"), &b);
    SetCursorPos(b.left + 5, b.top + 5);
    PumpUntil([&] { return GetCursor() == LoadCursorW(nullptr, IDC_HAND); }, 1000);
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
    ParkPointer();
}

}  // namespace
