// ApplyWindowDecoration: shadow, skin data selection and the call into the skin library, first
// against a stand-in library that records its calls, then with the carried library.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "decor/decoration.h"
#include "decor/in_memory_library.h"
#include "decor/shadow.h"
#include "embedded/decor_decoration_test.h"
#include "skin_test_support.h"

namespace {

using namespace skintest;

struct RecordedCall {
    const unsigned char* data;
    int size;
    const char* password;
    int adjust1;
    int adjust2;
    int adjust3;
    unsigned char firstBytes[8];
};

RecordedCall* Calls() {
    return reinterpret_cast<RecordedCall*>(SkinLibrary().FindExport("recordedCalls"));
}

int* CallCount() {
    return reinterpret_cast<int*>(SkinLibrary().FindExport("recordedCount"));
}

class DecorationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const EmbeddedBlob recorder = skin_recorder_dll_blob();
        ASSERT_TRUE(SkinLibrary().Load(recorder.data, recorder.size));
        ASSERT_NE(Calls(), nullptr);
        ASSERT_NE(CallCount(), nullptr);
        ReleaseCurrentSkinData();
        window_ = CreateMainLikeWindow();
        ASSERT_NE(window_, nullptr);
    }

    void TearDown() override {
        if (IsWindow(window_))
            DestroyWindow(window_);
        Pump();
        SkinLibrary().Free();
        ReleaseCurrentSkinData();
    }

    HWND window_ = nullptr;
};

TEST_F(DecorationTest, TypeZeroAtFirstPassesNoDataAndStillMakesTheShadow) {
    ApplyWindowDecoration(0, window_);
    ASSERT_EQ(1, *CallCount());
    const RecordedCall& call = Calls()[0];
    EXPECT_EQ(nullptr, call.data);
    EXPECT_EQ(0, call.size);
    EXPECT_EQ(nullptr, call.password);
    EXPECT_EQ(0, call.adjust1);
    EXPECT_EQ(0, call.adjust2);
    EXPECT_EQ(0, call.adjust3);

    HWND shadow = ShadowWindowOf(window_);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(reinterpret_cast<HANDLE>(RGB(120, 120, 120)),
              GetPropW(shadow, kShadowColourProperty));
    EXPECT_EQ(reinterpret_cast<HANDLE>(3), GetPropW(shadow, kShadowSizeProperty));
    EXPECT_TRUE(IsWindowVisible(shadow));
}

// Types 1 to 3 select their block as a private copy; any other type keeps the current one.
TEST_F(DecorationTest, SkinTypeSelectsTheBlock) {
    struct Step {
        int type;
        int expectedBlock;
    };
    const Step steps[] = {{2, 2}, {4, 2}, {1, 1}, {0, 1}, {-3, 1}, {3, 3}, {2, 2}};
    int n = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(::testing::Message() << "type " << step.type);
        ApplyWindowDecoration(step.type, window_);
        ASSERT_EQ(++n, *CallCount());
        const RecordedCall& call = Calls()[n - 1];
        const EmbeddedBlob block = CarriedSkinData(step.expectedBlock);
        EXPECT_EQ(CurrentSkinData(), call.data);
        EXPECT_NE(block.data, call.data);
        ASSERT_EQ(static_cast<int>(block.size), call.size);
        EXPECT_EQ(block.size, CurrentSkinDataSize());
        EXPECT_EQ(0, std::memcmp(block.data, CurrentSkinData(), block.size));
        EXPECT_EQ(0, std::memcmp(".SHE", call.firstBytes, 4));
    }
    // One shadow window throughout.
    EXPECT_NE(nullptr, ShadowWindowOf(window_));
}

TEST_F(DecorationTest, OptionalArgumentsArePassedOn) {
    static const char kPassword[] = "secret";
    ApplyWindowDecoration(2, window_, 6, RGB(1, 2, 3), kPassword, -7, 8, 9);
    ASSERT_EQ(1, *CallCount());
    const RecordedCall& call = Calls()[0];
    EXPECT_EQ(kPassword, call.password);
    EXPECT_EQ(-7, call.adjust1);
    EXPECT_EQ(8, call.adjust2);
    EXPECT_EQ(9, call.adjust3);
    HWND shadow = ShadowWindowOf(window_);
    ASSERT_NE(shadow, nullptr);
    EXPECT_EQ(reinterpret_cast<HANDLE>(RGB(1, 2, 3)), GetPropW(shadow, kShadowColourProperty));
    EXPECT_EQ(reinterpret_cast<HANDLE>(6), GetPropW(shadow, kShadowSizeProperty));
}

TEST_F(DecorationTest, WithoutALibraryOnlyTheShadowAndTheDataAreSet) {
    ASSERT_TRUE(SkinLibrary().Free());
    ApplyWindowDecoration(2, window_);
    EXPECT_NE(nullptr, ShadowWindowOf(window_));
    EXPECT_EQ(CarriedSkinData(2).size, CurrentSkinDataSize());
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(ShadowOwnerProc),
              GetWindowLongPtrW(window_, GWLP_WNDPROC));
}

TEST(CarriedData, BlocksAndImage) {
    for (int type = 1; type <= 3; ++type) {
        const EmbeddedBlob block = CarriedSkinData(type);
        ASSERT_NE(nullptr, block.data);
        EXPECT_EQ(0, std::memcmp(block.data, ".SHE", 4));
    }
    EXPECT_EQ(nullptr, CarriedSkinData(0).data);
    EXPECT_EQ(nullptr, CarriedSkinData(4).data);
    const EmbeddedBlob image = CarriedSkinLibraryImage();
    ASSERT_GT(image.size, 1024u);
    EXPECT_EQ(0, std::memcmp(image.data, "MZ", 2));
}

// The program's own path: the main window's creation event decorates it with the carried
// library, before the window is shown.
HWND decoratedInCreate = nullptr;

LRESULT CALLBACK DecorateOnCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        decoratedInCreate = window;
        ApplyWindowDecoration(kStartupSkinType, window);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST(DecorationWithTheCarriedLibrary, MainWindowCreationEvent) {
    ASSERT_TRUE(LoadCarriedSkinLibrary());
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DecorateOnCreate;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QMVK";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND window = CreateWindowExW(0, L"QMVK", L"览字坊",
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 50, 50,
                                  734, 517, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window, decoratedInCreate);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    Pump();

    EXPECT_TRUE(GetPropW(window, L"SkinH.Frame") != nullptr);
    HWND shadow = ShadowWindowOf(window);
    ASSERT_NE(shadow, nullptr);
    EXPECT_TRUE(IsWindowVisible(shadow));
    EXPECT_EQ(window, GetActiveWindow());
    const Frame f = FrameOf(window);
    EXPECT_EQ(734, f.window.right - f.window.left);
    EXPECT_EQ(517, f.window.bottom - f.window.top);
    const skin::SkinStyle style = CarriedStyle(kStartupSkinType);
    EXPECT_TRUE(WaitForPixel(window, 400, f.captionTop, style.colours[skin::kCaptionActive]));

    // Skin and shadow subclasses chain: moving still moves the shadow, and the caption stays.
    MoveWindow(window, 120, 90, 734, 517, TRUE);
    RECT shadowRect;
    GetWindowRect(shadow, &shadowRect);
    EXPECT_EQ(117, shadowRect.left);
    EXPECT_EQ(87, shadowRect.top);
    EXPECT_TRUE(WaitForPixel(window, 400, f.captionTop, style.colours[skin::kCaptionActive]));
    SendMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(shadow));
    SendMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_TRUE(IsWindowVisible(shadow));

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(window); }));
    EXPECT_FALSE(IsWindow(shadow));
}

}  // namespace
