// The start-up animation on a live window: the timer chain, the frames it hands to the window,
// the hand-over to the main window, and Esc.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/animation.h"
#include "app/program_windows.h"
#include "decor/gdiplus_runtime.h"
#include "decor/png_control.h"
#include "resources/frames/frames.h"
#include "ui/window.h"

namespace {

struct Shown {
    int frame;
    bool drawn;
    bool mainWindowExisted;
    bool layered;
    RECT rect;
};
std::vector<Shown> shown;
int escapeAtFrame = 0;

void RecordFrame(HWND window, int frame, bool drawn) {
    Shown s = {frame,
               drawn,
               ui::MainWindow() != nullptr,
               (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED) != 0,
               {}};
    GetWindowRect(window, &s.rect);
    shown.push_back(s);
    if (frame == escapeAtFrame)
        PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
}

class Animation : public testing::Test {
  protected:
    static void SetUpTestSuite() { InitDecorationRuntime(); }
    void SetUp() override {
        shown.clear();
        escapeAtFrame = 0;
        SetAnimationPngControl(&control_);
        SetFrameShownObserver(RecordFrame);
    }
    void TearDown() override {
        SetFrameShownObserver(nullptr);
        SetAnimationPngControl(nullptr);
        if (HWND main = ui::MainWindow())
            DestroyWindow(main);
    }
    PngControl control_;
};

// A checksum of every frame's bytes.
std::uint64_t FramesChecksum() {
    std::uint64_t sum = 1469598103934665603ull;
    for (int k = 1; k <= kAnimationFrameCount; ++k) {
        EmbeddedBlob png = AnimationFrame(k);
        for (std::size_t i = 0; i < png.size; ++i)
            sum = (sum ^ png.data[i]) * 1099511628211ull;
    }
    return sum;
}

TEST_F(Animation, ShowsEveryFrameOnceInOrderThenOpensTheMainWindow) {
    std::size_t imagesBefore = LiveStreamImageCount();
    const std::uint64_t framesBefore = FramesChecksum();
    RunAnimationWindowModal();  // returns once the animation window has gone

    ASSERT_EQ(shown.size(), 35u);
    int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    for (int i = 0; i < 35; ++i) {
        const Shown& s = shown[static_cast<std::size_t>(i)];
        EXPECT_EQ(s.frame, i + 1);
        EXPECT_TRUE(s.drawn) << "frame " << s.frame;
        EXPECT_FALSE(s.mainWindowExisted) << "frame " << s.frame;
        EXPECT_TRUE(s.layered) << "frame " << s.frame;
        EXPECT_EQ(s.rect.right - s.rect.left, 495);
        EXPECT_EQ(s.rect.bottom - s.rect.top, 331);
        EXPECT_EQ(s.rect.left, (width - 495) / 2);
        EXPECT_EQ(s.rect.top, (height - 331) / 2);
    }
    HWND main = ui::MainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_FALSE(IsWindow(control_.GetWindowHandle()));
    // The frames were decoded as they were shown and released with their window.
    EXPECT_EQ(LiveStreamImageCount(), imagesBefore);
    // Their pages went back to the system after the last one; read again, the bytes are intact.
    EXPECT_EQ(FramesChecksum(), framesBefore);
}

TEST_F(Animation, EscapeStopsTheChainAndNoMainWindowOpens) {
    escapeAtFrame = 5;
    RunAnimationWindowModal();
    ASSERT_GE(shown.size(), 5u);
    EXPECT_LT(shown.size(), 35u);
    for (std::size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i].frame, static_cast<int>(i) + 1);
    EXPECT_EQ(ui::MainWindow(), nullptr);
    EXPECT_FALSE(IsWindow(control_.GetWindowHandle()));
    // Nothing is left that could run a message loop.
    EXPECT_EQ(ui::RunMessageLoop(), 0);
    EXPECT_EQ(ui::MainWindow(), nullptr);
}

TEST_F(Animation, ChainRunsOnWithoutAnythingToDrawWith) {
    SetAnimationPngControl(nullptr);
    RunAnimationWindowModal();
    ASSERT_EQ(shown.size(), 35u);
    for (const Shown& s : shown)
        EXPECT_FALSE(s.drawn);
    EXPECT_NE(ui::MainWindow(), nullptr);
}

}  // namespace
