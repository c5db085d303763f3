// The carried skin library, mapped from memory, skinning real windows: what the caption shows,
// that the layout is unchanged, and that closing, minimising, moving, the keyboard and
// activation keep working.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "decor/decoration.h"
#include "decor/in_memory_library.h"
#include "decor/skin/skin_format.h"
#include "skin_test_support.h"

namespace {

using namespace skintest;
using AttachRes = int(WINAPI*)(const void*, int, const char*, int, int, int);
using Detach = int(WINAPI*)();

AttachRes attachRes = nullptr;
Detach detach = nullptr;

void BindExports() {
    attachRes = reinterpret_cast<AttachRes>(SkinLibrary().FindExport("SkinH_AttachRes"));
    detach = reinterpret_cast<Detach>(SkinLibrary().FindExport("SkinH_Detach"));
}

int Attach(int type, int hue = 0, int saturation = 0, int lightness = 0) {
    const EmbeddedBlob block = CarriedSkinData(type);
    return attachRes(block.data, static_cast<int>(block.size), nullptr, hue, saturation, lightness);
}

bool IsSkinned(HWND window) {
    return GetPropW(window, L"SkinH.Frame") != nullptr;
}

// Presses Escape while the system menu is open, as a user would; ends the menu after a few
// tries so a lost key cannot hang the test.
int menuTicks = 0;

void CALLBACK EndOpenMenu(HWND, UINT, UINT_PTR, DWORD) {
    if (SeenMessages().enterMenuLoops <= SeenMessages().exitMenuLoops)
        return;
    if (++menuTicks > 10) {
        EndMenu();
        return;
    }
    Key(VK_ESCAPE, false);
    Key(VK_ESCAPE, true);
}

class SkinLibraryTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(LoadCarriedSkinLibrary());
        BindExports();
        ASSERT_NE(attachRes, nullptr);
        ASSERT_NE(detach, nullptr);
    }

    void SetUp() override {
        window_ = CreateMainLikeWindow();
        ASSERT_NE(window_, nullptr);
        original_ = GetWindowLongPtrW(window_, GWLP_WNDPROC);
        SeenMessages() = {};
    }

    void TearDown() override {
        detach();
        for (HWND w : {window_, other_}) {
            if (w && IsWindow(w))
                DestroyWindow(w);
        }
        Pump();
    }

    // Caption button centres and corners, in window coordinates, as the skin lays them out.
    int ButtonWidth() const { return CarriedStyle(2).buttonWidth; }
    POINT CloseCentre() const {
        const Frame f = FrameOf(window_);
        const int width = f.window.right - f.window.left;
        return {width - 1 - ButtonWidth() / 2, (f.captionTop + f.captionBottom) / 2};
    }
    POINT MinimiseCentre() const {
        POINT p = CloseCentre();
        p.x -= ButtonWidth();
        return p;
    }
    POINT ToScreen(POINT p) const {
        RECT r;
        GetWindowRect(window_, &r);
        return {r.left + p.x, r.top + p.y};
    }
    void Click(POINT windowPoint) {
        const POINT s = ToScreen(windowPoint);
        MoveMouse(s.x, s.y);
        Pump();
        LeftDown();
        Pump();
        LeftUp();
    }

    HWND window_ = nullptr;
    HWND other_ = nullptr;
    LONG_PTR original_ = 0;
};

TEST_F(SkinLibraryTest, CarriedImageIsASelfContainedRelocatableDll) {
    const auto* base = reinterpret_cast<const std::uint8_t*>(SkinLibrary().GetBase());
    ASSERT_NE(base, nullptr);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    ASSERT_EQ(IMAGE_NT_SIGNATURE, nt->Signature);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    const auto& dirs = nt->OptionalHeader.DataDirectory;
    // x86-64 code reaches its data relative to itself: there the linker writes a relocation
    // table only when an address held in data needs one, and this library holds none.
    if (sizeof(void*) == 4) {
        EXPECT_GT(dirs[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0u);
    }
    EXPECT_EQ(0u, dirs[IMAGE_DIRECTORY_ENTRY_TLS].Size);
    EXPECT_EQ(0u, dirs[IMAGE_DIRECTORY_ENTRY_RESOURCE].Size);

    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "gdiplus.dll",
                                           "msimg32.dll"};
    std::set<std::string> imported;
    const auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
        base + dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
    for (; import->FirstThunk != 0; ++import) {
        std::string name = reinterpret_cast<const char*>(base + import->Name);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        imported.insert(name);
    }
    EXPECT_TRUE(imported.count("user32.dll"));
    for (const std::string& name : imported)
        EXPECT_TRUE(allowed.count(name)) << "imports " << name;

    EXPECT_EQ(0u, SkinLibrary().FindExport("skinh_attachres"));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(attachRes), SkinLibrary().FindExport("1"));
}

// What the caption band, the outline and the frame show, for every carried skin.
TEST_F(SkinLibraryTest, CaptionShowsTheSkinAndLayoutStays) {
    const Frame before = FrameOf(window_);
    ASSERT_EQ(734, before.window.right - before.window.left);
    ASSERT_EQ(517, before.window.bottom - before.window.top);
    ASSERT_GE(before.captionBottom - before.captionTop, 10);
    ASSERT_EQ(window_, GetActiveWindow());
    const int width = 734;
    const int middle = width / 2 + 40;
    const COLORREF unskinned = ScreenPixel(window_, middle, before.captionTop);

    for (int type = 1; type <= 3; ++type) {
        SCOPED_TRACE(::testing::Message() << "skin type " << type);
        const skin::SkinStyle style = CarriedStyle(type);
        const auto* c = style.colours;
        ASSERT_EQ(1, Attach(type));
        EXPECT_TRUE(IsSkinned(window_));
        const Frame after = FrameOf(window_);
        EXPECT_TRUE(EqualRect(&before.window, &after.window));
        EXPECT_TRUE(EqualRect(&before.client, &after.client));

        const COLORREF top = c[skin::kCaptionActive];
        const COLORREF bottom =
            c[skin::kCaptionActiveBottom] == skin::kNoColour ? top : c[skin::kCaptionActiveBottom];
        EXPECT_TRUE(WaitForPixel(window_, middle, after.captionTop, top));
        EXPECT_NE(unskinned, ScreenPixel(window_, middle, after.captionTop));
        EXPECT_EQ(bottom, ScreenPixel(window_, middle, after.captionBottom - 1));
        EXPECT_EQ(c[skin::kOutlineActive], ScreenPixel(window_, 0, 200));
        EXPECT_EQ(c[skin::kOutlineActive], ScreenPixel(window_, 300, 516));
        if (after.client.left >= 2) {
            EXPECT_EQ(c[skin::kFrameActive], ScreenPixel(window_, 1, 200));
        }
        // The client area is left alone.
        EXPECT_EQ(RGB(255, 255, 255), ScreenPixel(window_, after.client.left + 5, 300));

        // The title "览字坊" in the title colour: left after the padding, or centred.
        const int textLeft =
            style.titleAlignment == skin::kTitleCentred ? width / 2 - 40 : style.titlePadding;
        const RECT title = {textLeft, after.captionTop, textLeft + 80, after.captionBottom};
        EXPECT_GT(CountPixels(window_, title, c[skin::kTitleActive]), 15);
        // Close and minimise glyphs.
        const POINT close = CloseCentre();
        const RECT glyph = {close.x - 6, close.y - 6, close.x + 6, close.y + 6};
        EXPECT_GT(CountPixels(window_, glyph, c[skin::kGlyphActive], 60), 8);
        const POINT minimise = MinimiseCentre();
        const RECT line = {minimise.x - 6, minimise.y - 2, minimise.x + 6, minimise.y + 3};
        EXPECT_GE(CountPixels(window_, line, c[skin::kGlyphActive], 10), 8);
    }
}

TEST_F(SkinLibraryTest, HitTestFindsTheCaptionButtons) {
    ASSERT_EQ(1, Attach(2));
    auto hit = [&](POINT p) {
        const POINT s = ToScreen(p);
        return SendMessageW(window_, WM_NCHITTEST, 0, MAKELPARAM(s.x, s.y));
    };
    EXPECT_EQ(HTCLOSE, hit(CloseCentre()));
    EXPECT_EQ(HTMINBUTTON, hit(MinimiseCentre()));
    const Frame f = FrameOf(window_);
    const int row = (f.captionTop + f.captionBottom) / 2;
    EXPECT_EQ(HTCAPTION, hit({300, row}));
    EXPECT_EQ(HTCLIENT, hit({300, 300}));
    // No maximise button on a window without one.
    for (int x = 1; x < 733; x += 3)
        EXPECT_NE(HTMAXBUTTON, hit({x, row})) << x;
}

TEST_F(SkinLibraryTest, HoverAndPressPaintTheCloseButton) {
    ASSERT_EQ(1, Attach(2));
    const skin::SkinStyle style = CarriedStyle(2);
    const Frame f = FrameOf(window_);
    const POINT close = CloseCentre();
    const POINT corner = {close.x - ButtonWidth() / 2 + 2, f.captionTop};
    const POINT s = ToScreen(close);
    MoveMouse(s.x, s.y);
    EXPECT_TRUE(WaitForPixel(window_, corner.x, corner.y, style.colours[skin::kCloseHover]));
    LeftDown();
    EXPECT_TRUE(WaitForPixel(window_, corner.x, corner.y, style.colours[skin::kClosePressed]));
    // Leaving the button while pressed and letting go there does not close the window.
    const POINT away = ToScreen({300, (f.captionTop + f.captionBottom) / 2});
    MoveMouse(away.x, away.y);
    EXPECT_TRUE(WaitForPixel(window_, corner.x, corner.y, style.colours[skin::kCaptionActive]));
    LeftUp();
    WaitFor([] { return false; }, 150);
    EXPECT_TRUE(IsWindow(window_));
    EXPECT_FALSE(IsIconic(window_));
    EXPECT_EQ(0, SeenMessages().closes);
}

TEST_F(SkinLibraryTest, CloseButtonClosesTheWindow) {
    ASSERT_EQ(1, Attach(2));
    Click(CloseCentre());
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(window_); }));
    EXPECT_EQ(1, SeenMessages().closes);
}

TEST_F(SkinLibraryTest, MinimiseButtonMinimisesAndRestoreSkinsAgain) {
    ASSERT_EQ(1, Attach(2));
    Click(MinimiseCentre());
    EXPECT_TRUE(WaitFor([&] { return IsIconic(window_) != FALSE; }));
    ShowWindow(window_, SW_RESTORE);
    SetForegroundWindow(window_);
    const Frame f = FrameOf(window_);
    EXPECT_EQ(734, f.window.right - f.window.left);
    EXPECT_TRUE(WaitForPixel(window_, 400, f.captionTop, CarriedStyle(2).colours[0]));
}

TEST_F(SkinLibraryTest, SystemCommandsAndCloseMessagesStillWork) {
    ASSERT_EQ(1, Attach(2));
    SendMessageW(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(window_));
    SendMessageW(window_, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(window_));
    PostMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(window_); }));
}

TEST_F(SkinLibraryTest, AltF4Closes) {
    ASSERT_EQ(1, Attach(2));
    SetFocus(window_);
    Key(VK_MENU, false);
    Key(VK_F4, false);
    Key(VK_F4, true);
    Key(VK_MENU, true);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(window_); }));
}

TEST_F(SkinLibraryTest, AltSpaceOpensTheSystemMenu) {
    ASSERT_EQ(1, Attach(2));
    SetFocus(window_);
    Key(VK_MENU, false);
    Key(VK_SPACE, false);
    Key(VK_SPACE, true);
    Key(VK_MENU, true);
    // The menu runs its own loop, which dispatches the timer that presses Escape.
    menuTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, EndOpenMenu);
    EXPECT_TRUE(WaitFor([] { return SeenMessages().exitMenuLoops > 0; }));
    KillTimer(nullptr, timer);
    EXPECT_GE(SeenMessages().enterMenuLoops, 1);
    EXPECT_LE(menuTicks, 10) << "Escape did not close the menu";
    EXPECT_TRUE(IsWindow(window_));
    const Frame f = FrameOf(window_);
    EXPECT_TRUE(WaitForPixel(window_, 400, f.captionTop, CarriedStyle(2).colours[0]));
}

TEST_F(SkinLibraryTest, DraggingTheCaptionMovesTheWindow) {
    ASSERT_EQ(1, Attach(2));
    const Frame f = FrameOf(window_);
    const POINT from = ToScreen({300, (f.captionTop + f.captionBottom) / 2});
    MoveMouse(from.x, from.y);
    Pump();
    LeftDown();
    for (int i = 1; i <= 4; ++i)
        MoveMouse(from.x + 10 * i, from.y + 8 * i);
    LeftUp();
    EXPECT_TRUE(WaitFor([&] {
        RECT r;
        GetWindowRect(window_, &r);
        return r.left == f.window.left + 40 && r.top == f.window.top + 32;
    }));
    EXPECT_TRUE(WaitForPixel(window_, 400, f.captionTop, CarriedStyle(2).colours[0]))
        << std::hex << ScreenPixel(window_, 400, f.captionTop) << " "
        << ScreenPixel(window_, 10, 200);
}

TEST_F(SkinLibraryTest, InactiveWindowsShowTheInactiveLookAndLaterWindowsAreSkinned) {
    skin::SkinStyle style = CarriedStyle(1);
    style.colours[skin::kCaptionInactive] = RGB(0xE0, 0xE2, 0xE4);
    const std::vector<std::uint8_t> block = EncodeSkin(style);
    ASSERT_EQ(1, attachRes(block.data(), static_cast<int>(block.size()), nullptr, 0, 0, 0));
    other_ = CreateMainLikeWindow(160, 120, L"second");
    ASSERT_NE(other_, nullptr);
    EXPECT_TRUE(IsSkinned(other_));
    SetForegroundWindow(other_);
    SetActiveWindow(other_);
    const Frame f = FrameOf(window_);
    // The first window's caption left of where the second one covers it.
    EXPECT_TRUE(WaitForPixel(window_, 60, f.captionTop, RGB(0xE0, 0xE2, 0xE4)));
    EXPECT_TRUE(WaitForPixel(other_, 400, f.captionTop, style.colours[skin::kCaptionActive]));
    SetForegroundWindow(window_);
    SetActiveWindow(window_);
    EXPECT_TRUE(WaitForPixel(window_, 60, f.captionTop, style.colours[skin::kCaptionActive]));
}

// The program's windows keep their caption drawn active: the carried skins look the same
// either way.
TEST_F(SkinLibraryTest, CarriedSkinsKeepTheActiveLookWhenInactive) {
    for (int type = 1; type <= 3; ++type) {
        SCOPED_TRACE(::testing::Message() << "skin type " << type);
        const skin::SkinStyle style = CarriedStyle(type);
        for (auto [active, inactive] :
             {std::pair{skin::kCaptionActive, skin::kCaptionInactive},
              std::pair{skin::kCaptionActiveBottom, skin::kCaptionInactiveBottom},
              std::pair{skin::kTitleActive, skin::kTitleInactive},
              std::pair{skin::kFrameActive, skin::kFrameInactive},
              std::pair{skin::kOutlineActive, skin::kOutlineInactive},
              std::pair{skin::kGlyphActive, skin::kGlyphInactive}})
            EXPECT_EQ(style.colours[active], style.colours[inactive]) << active;
    }
    ASSERT_EQ(1, Attach(2));
    other_ = CreateMainLikeWindow(160, 120, L"second");
    SetForegroundWindow(other_);
    SetActiveWindow(other_);
    ASSERT_NE(window_, GetActiveWindow());
    const Frame f = FrameOf(window_);
    EXPECT_TRUE(WaitForPixel(window_, 60, f.captionTop, CarriedStyle(2).colours[0]));
}

// A window like the tip window: fixed frame with client edge, tool-window caption, always on
// top, close button only.
TEST_F(SkinLibraryTest, ToolWindowWithClientEdgeIsSkinnedAroundItsEdge) {
    ASSERT_EQ(1, Attach(2));
    other_ = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE | WS_EX_TOPMOST | WS_EX_TOOLWINDOW,
                             L"LzfSkinTestMain", L"  微信打赏  -  你的支持是我努力的动力",
                             WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 300, 200,
                             330, 473, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other_, nullptr);
    const Frame before = FrameOf(other_);
    ShowWindow(other_, SW_SHOWNORMAL);
    SetForegroundWindow(other_);
    Pump();
    ASSERT_TRUE(IsSkinned(other_));
    const Frame f = FrameOf(other_);
    EXPECT_TRUE(EqualRect(&before.client, &f.client));
    EXPECT_EQ(330, f.window.right - f.window.left);
    const skin::SkinStyle style = CarriedStyle(2);
    const int edge = GetSystemMetrics(SM_CYEDGE);
    const int bandBottom = f.client.top - edge;
    EXPECT_TRUE(WaitForPixel(other_, 200, f.captionTop, style.colours[skin::kCaptionActive]));
    // The client edge is part of the frame now; the client area itself is untouched.
    EXPECT_EQ(style.colours[skin::kFrameActive], ScreenPixel(other_, 200, bandBottom));
    EXPECT_EQ(style.colours[skin::kFrameActive], ScreenPixel(other_, f.client.left - 1, 200));
    EXPECT_EQ(RGB(255, 255, 255), ScreenPixel(other_, f.client.left + 2, 200));

    RECT r;
    GetWindowRect(other_, &r);
    auto hit = [&](int x) {
        return SendMessageW(other_, WM_NCHITTEST, 0,
                            MAKELPARAM(r.left + x, r.top + (f.captionTop + bandBottom) / 2));
    };
    EXPECT_EQ(HTCLOSE, hit(330 - 1 - ButtonWidth() / 2));
    EXPECT_EQ(HTCAPTION, hit(330 - 1 - ButtonWidth() - 5));
    EXPECT_EQ(HTCAPTION, hit(8));  // no icon on a tool window
}

// Dialogs such as message boxes are skinned when they open, and still answer their buttons.
UINT_PTR dialogTimer = 0;
bool dialogWasSkinned = false;

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowW(L"#32770", L"字体下载");
    if (!dialog)
        return;
    dialogWasSkinned = GetPropW(dialog, L"SkinH.Frame") != nullptr;
    KillTimer(nullptr, dialogTimer);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(SkinLibraryTest, MessageBoxesAreSkinnedAndStillClose) {
    ASSERT_EQ(1, Attach(2));
    dialogWasSkinned = false;
    dialogTimer = SetTimer(nullptr, 0, 50, AnswerDialog);
    const int answer =
        MessageBoxW(window_, L"请先初始化字体", L"字体下载", MB_ICONINFORMATION | MB_TASKMODAL);
    EXPECT_EQ(IDOK, answer);
    EXPECT_TRUE(dialogWasSkinned);
}

TEST_F(SkinLibraryTest, WindowsWithoutCaptionAreLeftAlone) {
    ASSERT_EQ(1, Attach(2));
    HWND popup = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE | WS_BORDER, 10, 10, 50,
                                 50, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND child = CreateWindowExW(0, L"Button", L"b", WS_CHILD | WS_VISIBLE | WS_CAPTION, 5, 5, 80,
                                 40, window_, nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_FALSE(IsSkinned(popup));
    EXPECT_FALSE(IsSkinned(child));
    DestroyWindow(popup);
}

TEST_F(SkinLibraryTest, DamagedOrMissingSkinDataChangesNothing) {
    std::vector<std::uint8_t> garbage(600);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i * 37 + 11);
    const EmbeddedBlob two = CarriedSkinData(2);
    std::vector<std::uint8_t> cut(two.data, two.data + two.size / 2);
    std::vector<std::uint8_t> flipped(two.data, two.data + two.size);
    flipped[40] ^= 1;
    struct Case {
        const char* what;
        const void* data;
        int size;
    };
    const Case cases[] = {
        {"null, 0", nullptr, 0},
        {"null, 100", nullptr, 100},
        {"garbage", garbage.data(), static_cast<int>(garbage.size())},
        {"truncated", cut.data(), static_cast<int>(cut.size())},
        {"one bit changed", flipped.data(), static_cast<int>(flipped.size())},
        {"negative size", two.data, -5},
        {"size 0", two.data, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(0, attachRes(c.data, c.size, "password", 0, 0, 0)) << c.what;
        EXPECT_FALSE(IsSkinned(window_)) << c.what;
        EXPECT_EQ(original_, GetWindowLongPtrW(window_, GWLP_WNDPROC)) << c.what;
    }
    // With a skin on, bad data leaves it on.
    ASSERT_EQ(1, Attach(1));
    const Frame f = FrameOf(window_);
    for (const Case& c : cases)
        EXPECT_EQ(0, attachRes(c.data, c.size, nullptr, 0, 0, 0)) << c.what;
    EXPECT_TRUE(IsSkinned(window_));
    EXPECT_TRUE(WaitForPixel(window_, 400, f.captionTop, CarriedStyle(1).colours[0]));
}

TEST_F(SkinLibraryTest, AdjustmentsMoveTheColours) {
    ASSERT_EQ(1, Attach(2, 180, 0, 0));
    const Frame f = FrameOf(window_);
    const COLORREF moved = skin::AdjustColour(CarriedStyle(2).colours[0], 180, 0, 0);
    EXPECT_NE(moved, CarriedStyle(2).colours[0]);
    EXPECT_TRUE(WaitForPixel(window_, 400, f.captionTop, moved));
    ASSERT_EQ(1, Attach(2, 0, 0, 100));  // lightness +100: white
    EXPECT_TRUE(WaitForPixel(window_, 400, f.captionTop, RGB(255, 255, 255)));
}

TEST_F(SkinLibraryTest, PrintWindowAndTitleChangesShowTheSkin) {
    ASSERT_EQ(1, Attach(2));
    const skin::SkinStyle style = CarriedStyle(2);
    const Frame f = FrameOf(window_);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 734, 517);
    HGDIOBJ old = SelectObject(memory, bitmap);
    ASSERT_TRUE(PrintWindow(window_, memory, 0));
    EXPECT_EQ(style.colours[skin::kCaptionActive], GetPixel(memory, 400, f.captionTop));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    const RECT titleArea = {0, f.captionTop, 600, f.captionBottom};
    const COLORREF white = style.colours[skin::kTitleActive];
    ASSERT_TRUE(WaitForPixel(window_, 400, f.captionTop, style.colours[skin::kCaptionActive]));
    const int shortTitle = CountPixels(window_, titleArea, white);
    SetWindowTextW(window_, L"览字坊 —— 一个更长的标题 WWWWWWWW");
    EXPECT_TRUE(WaitFor([&] { return CountPixels(window_, titleArea, white) > 2 * shortTitle; }));
    EXPECT_EQ(style.colours[skin::kCaptionActive], ScreenPixel(window_, 650, f.captionTop));
}

TEST_F(SkinLibraryTest, DetachGivesTheOrdinaryFrameBack) {
    ASSERT_EQ(1, Attach(2));
    const Frame f = FrameOf(window_);
    ASSERT_TRUE(WaitForPixel(window_, 400, f.captionTop, CarriedStyle(2).colours[0]));
    EXPECT_NE(original_, GetWindowLongPtrW(window_, GWLP_WNDPROC));
    detach();
    EXPECT_FALSE(IsSkinned(window_));
    EXPECT_EQ(original_, GetWindowLongPtrW(window_, GWLP_WNDPROC));
    EXPECT_TRUE(WaitFor(
        [&] { return ScreenPixel(window_, 400, f.captionTop) != CarriedStyle(2).colours[0]; }));
    // Windows made after the detach stay ordinary.
    other_ = CreateMainLikeWindow(100, 100, L"after");
    EXPECT_FALSE(IsSkinned(other_));
}

// Beyond the windows the library keeps in its own table, the next ones are found through their
// window property: they are framed, painted and given back like the first, and the places of
// destroyed windows are taken by new ones.
TEST_F(SkinLibraryTest, ManyWindowsAreFramedPaintedAndGivenBackAlike) {
    ASSERT_EQ(1, Attach(2));
    const COLORREF caption = CarriedStyle(2).colours[0];
    std::vector<HWND> windows;
    auto add = [&](int count) {
        for (int i = 0; i < count; ++i) {
            HWND w = CreateMainLikeWindow(20 + i, 20 + i, L"many");
            ASSERT_NE(w, nullptr);
            windows.push_back(w);
        }
    };
    add(80);
    for (int i = 0; i < 40; ++i)
        DestroyWindow(windows[i]);
    windows.erase(windows.begin(), windows.begin() + 40);
    add(40);
    for (HWND w : {windows.front(), windows[39], windows.back()}) {
        EXPECT_TRUE(IsSkinned(w));
        SetForegroundWindow(w);
        EXPECT_TRUE(WaitForPixel(w, 400, FrameOf(w).captionTop, caption));
    }
    detach();
    for (HWND w : windows) {
        EXPECT_FALSE(IsSkinned(w));
        EXPECT_EQ(original_, GetWindowLongPtrW(w, GWLP_WNDPROC));
        DestroyWindow(w);
    }
}

// Releasing the mapping (never done by the program) first takes the skin off every window.
TEST_F(SkinLibraryTest, FreeingTheLibraryUnskinsFirst) {
    ASSERT_EQ(1, Attach(3));
    ASSERT_TRUE(IsSkinned(window_));
    ASSERT_TRUE(SkinLibrary().Free());
    EXPECT_FALSE(IsSkinned(window_));
    EXPECT_EQ(original_, GetWindowLongPtrW(window_, GWLP_WNDPROC));
    SendMessageW(window_, WM_NCPAINT, 1, 0);  // would run freed code if a subclass were left
    other_ = CreateMainLikeWindow(90, 90, L"after free");  // nor a hook
    EXPECT_TRUE(IsWindow(other_));
    ASSERT_TRUE(LoadCarriedSkinLibrary());
    BindExports();
}

}  // namespace
