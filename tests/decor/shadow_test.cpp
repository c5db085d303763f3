// The window shadow: the pixels of its bitmap, and the shadow window following its owner.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "decor/gdiplus_runtime.h"
#include "decor/shadow.h"
#include "tests/support/window_test_support.h"

namespace {

constexpr wchar_t kOwnerClass[] = L"LzfShadowTestOwner";

int ownerMessages = 0;  // messages that reached the owner's own procedure

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP)
        ++ownerMessages;
    return DefWindowProcW(window, message, wParam, lParam);
}

WNDPROC laterPrevious = nullptr;
int laterMessages = 0;

LRESULT CALLBACK LaterSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP)
        ++laterMessages;
    return CallWindowProcW(laterPrevious, window, message, wParam, lParam);
}

BOOL CALLBACK CountOwned(HWND window, LPARAM p) {
    auto* data = reinterpret_cast<std::pair<HWND, int>*>(p);
    if (GetWindow(window, GW_OWNER) == data->first)
        ++data->second;
    return TRUE;
}

using testsupport::Pump;

RECT RectOf(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

std::uint32_t Alpha(std::uint32_t argb) {
    return argb >> 24;
}

class ShadowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(StartGdiPlus());
        WNDCLASSW wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kOwnerClass;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        RegisterClassW(&wc);
    }

    void SetUp() override {
        owner_ = CreateWindowExW(0, kOwnerClass, L"owner", WS_OVERLAPPEDWINDOW, 200, 150, 320, 240,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
        ShowWindow(owner_, SW_SHOWNORMAL);
        UpdateWindow(owner_);
        Pump();
    }

    void TearDown() override {
        if (IsWindow(owner_))
            DestroyWindow(owner_);
        Pump();
    }

    // The owner's rectangle grown by `s` on every side.
    RECT Grown(int s) {
        RECT r = RectOf(owner_);
        InflateRect(&r, s, s);
        return r;
    }

    HWND owner_ = nullptr;
};

void ExpectRect(const RECT& expected, const RECT& actual) {
    EXPECT_EQ(expected.left, actual.left);
    EXPECT_EQ(expected.top, actual.top);
    EXPECT_EQ(expected.right, actual.right);
    EXPECT_EQ(expected.bottom, actual.bottom);
}

TEST(ShadowRings, AlphaStepDependsOnSize) {
    struct Case {
        int size;
        std::vector<int> alphas;
    };
    const Case cases[] = {
        {1, {100}},
        {3, {33, 66, 99}},
        {8, {12, 24, 36, 48, 60, 72, 84, 96}},
        {9, {16, 32, 48, 64, 80, 96, 112, 128, 144}},
        {10, {15, 30, 45, 60, 75, 90, 105, 120, 135, 150}},
    };
    for (const Case& c : cases) {
        for (int ring = 1; ring <= c.size; ++ring)
            EXPECT_EQ(c.alphas[ring - 1], ShadowRingAlpha(c.size, ring)) << c.size << "/" << ring;
        EXPECT_EQ(0, ShadowRingAlpha(c.size, c.size + 1));
        EXPECT_EQ(0, ShadowRingAlpha(c.size, 0));
    }
    EXPECT_EQ(0, ShadowRingAlpha(151, 1));  // a step that truncates to 0
}

TEST(ShadowRings, ArgbReordersTheColour) {
    EXPECT_EQ(0x21785A3Cu, ColourToArgb(RGB(0x78, 0x5A, 0x3C), 33));
    EXPECT_EQ(0xFF0000FFu, ColourToArgb(RGB(0, 0, 255), 255));
}

class ShadowPixels : public ::testing::TestWithParam<int> {
  protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartGdiPlus()); }
};

// Every pixel of the bitmap: ring i (1 = outermost) lies i-1 pixels in from the edge and has
// the ring's alpha with the colour premultiplied; everything inside the rings is 0.
TEST_P(ShadowPixels, RingsAndTransparentMiddle) {
    const int size = GetParam();
    const int width = 60 + 2 * size;
    const int height = 40 + 2 * size;
    const Colour colour = RGB(120, 90, 200);
    const std::vector<std::uint32_t> pixels = PaintShadowPixels(width, height, colour, size);
    ASSERT_EQ(static_cast<std::size_t>(width) * height, pixels.size());
    int wrong = 0;
    for (int y = 0; y < height && wrong < 10; ++y) {
        for (int x = 0; x < width && wrong < 10; ++x) {
            const int fromEdge = std::min(std::min(x, width - 1 - x), std::min(y, height - 1 - y));
            const std::uint32_t p = pixels[static_cast<std::size_t>(y) * width + x];
            if (fromEdge >= size) {
                if (p != 0) {
                    ADD_FAILURE() << "middle pixel " << x << "," << y << " is " << std::hex << p;
                    ++wrong;
                }
                continue;
            }
            const int alpha = ShadowRingAlpha(size, fromEdge + 1);
            const int red = (p >> 16) & 0xFF;
            const int green = (p >> 8) & 0xFF;
            const int blue = p & 0xFF;
            const bool ok =
                static_cast<int>(Alpha(p)) == alpha && std::abs(red - 120 * alpha / 255) <= 1 &&
                std::abs(green - 90 * alpha / 255) <= 1 && std::abs(blue - 200 * alpha / 255) <= 1;
            if (!ok) {
                ADD_FAILURE() << "ring pixel " << x << "," << y << " (ring " << fromEdge + 1
                              << ") is " << std::hex << p << ", alpha wanted " << std::dec << alpha;
                ++wrong;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ShadowPixels, ::testing::Values(1, 3, 8, 9));

TEST(ShadowPixelsEdges, DegenerateSizes) {
    ASSERT_TRUE(StartGdiPlus());
    EXPECT_TRUE(PaintShadowPixels(0, 10, 0, 3).empty());
    EXPECT_TRUE(PaintShadowPixels(10, -1, 0, 3).empty());
    // Rings wider than the bitmap: the bitmap is all rings, no crash, nothing transparent.
    const std::vector<std::uint32_t> tiny = PaintShadowPixels(4, 4, RGB(255, 255, 255), 5);
    ASSERT_EQ(16u, tiny.size());
    EXPECT_EQ(20u, Alpha(tiny[0]));
    EXPECT_NE(0u, Alpha(tiny[5]));
}

TEST_F(ShadowTest, CreateMakesAClickThroughPopupAroundTheOwner) {
    const auto original = GetWindowLongPtrW(owner_, GWLP_WNDPROC);
    SetActiveWindow(owner_);
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(120, 120, 120), 3));
    HWND shadow = ShadowWindowOf(owner_);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(shadow, GetPropW(owner_, kShadowProperty));
    EXPECT_EQ(owner_, GetWindow(shadow, GW_OWNER));
    const LONG_PTR ex = GetWindowLongPtrW(shadow, GWL_EXSTYLE);
    EXPECT_EQ(WS_EX_LAYERED | WS_EX_TRANSPARENT, ex & (WS_EX_LAYERED | WS_EX_TRANSPARENT));
    EXPECT_TRUE(GetWindowLongPtrW(shadow, GWL_STYLE) & WS_POPUP);
    EXPECT_EQ(reinterpret_cast<HANDLE>(RGB(120, 120, 120)),
              GetPropW(shadow, kShadowColourProperty));
    EXPECT_EQ(reinterpret_cast<HANDLE>(3), GetPropW(shadow, kShadowSizeProperty));
    EXPECT_TRUE(IsWindowVisible(shadow));
    ExpectRect(Grown(3), RectOf(shadow));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(ShadowOwnerProc), GetWindowLongPtrW(owner_, GWLP_WNDPROC));
    EXPECT_EQ(reinterpret_cast<HANDLE>(original), GetPropW(owner_, kShadowProcProperty));
    // Showing the shadow does not take the activation from its owner.
    EXPECT_EQ(owner_, GetActiveWindow());
}

TEST_F(ShadowTest, SizeDefaultsToFive) {
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(0, 0, 0)));
    HWND shadow = ShadowWindowOf(owner_);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(reinterpret_cast<HANDLE>(5), GetPropW(shadow, kShadowSizeProperty));
    ExpectRect(Grown(5), RectOf(shadow));
}

TEST_F(ShadowTest, SecondCallKeepsOneShadowAndOneSubclass) {
    const auto original = GetWindowLongPtrW(owner_, GWLP_WNDPROC);
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(1, 2, 3), 3));
    HWND first = ShadowWindowOf(owner_);
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(4, 5, 6), 7));
    EXPECT_EQ(first, ShadowWindowOf(owner_));
    EXPECT_EQ(reinterpret_cast<HANDLE>(original), GetPropW(owner_, kShadowProcProperty));
    EXPECT_EQ(reinterpret_cast<HANDLE>(RGB(4, 5, 6)), GetPropW(first, kShadowColourProperty));
    EXPECT_EQ(reinterpret_cast<HANDLE>(7), GetPropW(first, kShadowSizeProperty));
    ExpectRect(Grown(7), RectOf(first));

    std::pair<HWND, int> owned(owner_, 0);
    EnumThreadWindows(GetCurrentThreadId(), CountOwned, reinterpret_cast<LPARAM>(&owned));
    EXPECT_EQ(1, owned.second);
    // Messages still reach the owner's own procedure exactly once.
    ownerMessages = 0;
    SendMessageW(owner_, WM_APP, 0, 0);
    EXPECT_EQ(1, ownerMessages);
}

TEST_F(ShadowTest, FollowsMovesAndResizes) {
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(120, 120, 120), 3));
    HWND shadow = ShadowWindowOf(owner_);
    SetWindowPos(owner_, nullptr, 333, 222, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ExpectRect(Grown(3), RectOf(shadow));
    EXPECT_EQ(330, RectOf(shadow).left);
    SetWindowPos(owner_, nullptr, 0, 0, 400, 280, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ExpectRect(Grown(3), RectOf(shadow));
    EXPECT_EQ(406, RectOf(shadow).right - RectOf(shadow).left);
    MoveWindow(owner_, 10, 20, 300, 200, TRUE);
    ExpectRect(Grown(3), RectOf(shadow));
}

TEST_F(ShadowTest, HiddenWhileMaximisedMinimisedOrHidden) {
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(120, 120, 120), 4));
    HWND shadow = ShadowWindowOf(owner_);
    const RECT before = Grown(4);
    struct Step {
        int show;
        bool shadowVisible;
    };
    const Step steps[] = {
        {SW_MAXIMIZE, false}, {SW_RESTORE, true}, {SW_MINIMIZE, false},
        {SW_RESTORE, true},   {SW_HIDE, false},   {SW_SHOWNORMAL, true},
    };
    for (const Step& step : steps) {
        ShowWindow(owner_, step.show);
        Pump();
        EXPECT_EQ(step.shadowVisible, IsWindowVisible(shadow) != FALSE) << "after " << step.show;
        if (step.shadowVisible)
            ExpectRect(before, RectOf(shadow));
    }
}

TEST_F(ShadowTest, SizeBelowOneRemovesShadowAndRestoresProcedure) {
    const auto original = GetWindowLongPtrW(owner_, GWLP_WNDPROC);
    for (int size : {0, -2}) {
        ASSERT_TRUE(CreateWindowShadow(owner_, RGB(120, 120, 120), 3));
        HWND shadow = ShadowWindowOf(owner_);
        EXPECT_FALSE(CreateWindowShadow(owner_, RGB(120, 120, 120), size));
        EXPECT_FALSE(IsWindow(shadow));
        EXPECT_EQ(nullptr, GetPropW(owner_, kShadowProperty));
        EXPECT_EQ(nullptr, GetPropW(owner_, kShadowProcProperty));
        EXPECT_EQ(original, GetWindowLongPtrW(owner_, GWLP_WNDPROC));
        // Moving afterwards is harmless.
        MoveWindow(owner_, 50, 60, 300, 200, TRUE);
    }
}

TEST_F(ShadowTest, RemovalKeepsALaterSubclassWorking) {
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(120, 120, 120), 3));
    laterPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(owner_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterSubclassProc)));
    RemoveWindowShadow(owner_);
    EXPECT_EQ(nullptr, ShadowWindowOf(owner_));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(LaterSubclassProc),
              GetWindowLongPtrW(owner_, GWLP_WNDPROC));
    laterMessages = ownerMessages = 0;
    SendMessageW(owner_, WM_APP, 0, 0);
    EXPECT_EQ(1, laterMessages);
    EXPECT_EQ(1, ownerMessages);
    // A new shadow reuses the subclass still in the chain instead of adding a second one.
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(120, 120, 120), 2));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(LaterSubclassProc),
              GetWindowLongPtrW(owner_, GWLP_WNDPROC));
    MoveWindow(owner_, 70, 80, 300, 200, TRUE);
    ExpectRect(Grown(2), RectOf(ShadowWindowOf(owner_)));
    laterMessages = ownerMessages = 0;
    SendMessageW(owner_, WM_APP, 0, 0);
    EXPECT_EQ(1, ownerMessages);
}

TEST_F(ShadowTest, ANewShadowPassesMessagesToTheProcedureInPlaceThen) {
    // Shadow, removal, someone else's subclass, a new shadow: the new shadow's procedure hands
    // on to that subclass, not to the procedure the first shadow had replaced.
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(120, 120, 120), 3));
    SendMessageW(owner_, WM_APP, 0, 0);
    EXPECT_FALSE(CreateWindowShadow(owner_, RGB(120, 120, 120), 0));
    laterPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(owner_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LaterSubclassProc)));
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(120, 120, 120), 3));
    laterMessages = ownerMessages = 0;
    SendMessageW(owner_, WM_APP, 0, 0);
    EXPECT_EQ(1, laterMessages);
    EXPECT_EQ(1, ownerMessages);
}

TEST_F(ShadowTest, DestroyingTheOwnerDestroysTheShadow) {
    ASSERT_TRUE(CreateWindowShadow(owner_, RGB(120, 120, 120), 3));
    HWND shadow = ShadowWindowOf(owner_);
    DestroyWindow(owner_);
    EXPECT_FALSE(IsWindow(shadow));
}

TEST_F(ShadowTest, NotAWindow) {
    EXPECT_FALSE(CreateWindowShadow(nullptr, RGB(1, 1, 1), 3));
    EXPECT_FALSE(CreateWindowShadow(reinterpret_cast<HWND>(0x7FFF0), RGB(1, 1, 1), 3));
    UpdateWindowShadow(owner_);  // no shadow: nothing happens
    DrawWindowShadow(owner_, 10, 10);
    EXPECT_EQ(nullptr, ShadowWindowOf(owner_));
}

}  // namespace
