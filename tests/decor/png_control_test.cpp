#include "decor/png_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "decor/shadow.h"
#include "tests/support/window_test_support.h"

namespace gp = Gdiplus::DllExports;

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF,
                        kYellow = 0xFFFFFF00, kGrey = 0xFF808080;

GpBitmap* SolidBitmap(int w, int h, std::uint32_t argb) {
    GpBitmap* bitmap = nullptr;
    gp::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &bitmap);
    GpGraphics* g = nullptr;
    gp::GdipGetImageGraphicsContext(bitmap, &g);
    gp::GdipGraphicsClear(g, argb);
    gp::GdipDeleteGraphics(g);
    return bitmap;
}

std::uint32_t PixelAt(GpBitmap* bitmap, int x, int y) {
    Gdiplus::ARGB argb = 0;
    gp::GdipBitmapGetPixel(bitmap, x, y, &argb);
    return argb;
}

void PutProp(HWND w, const wchar_t* name, INT_PTR value) {
    SetPropW(w, name, reinterpret_cast<HANDLE>(value));
}

void PutProp(HWND w, const wchar_t* name, GpImage* image) {
    SetPropW(w, name, image);
}

std::vector<HWND> redraws;
void CountRedraw(HWND window) {
    redraws.push_back(window);
}

class PngWindows : public testing::Test {
  protected:
    static void SetUpTestSuite() { InitDecorationRuntime(); }

    void SetUp() override {
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 100, 100, 300, 200, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        redraws.clear();
        SetPngRedrawObserver(CountRedraw);
    }
    void TearDown() override {
        SetPngRedrawObserver(nullptr);
        DestroyWindow(parent_);
        for (GpBitmap* b : owned_)
            gp::GdipDisposeImage(b);
    }

    HWND Child(const wchar_t* cls, int x, int y, int w, int h, int type) {
        HWND child = CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE, x, y, w, h, parent_,
                                     nullptr, GetModuleHandleW(nullptr), nullptr);
        PutProp(child, L"PngControl_Type", type);
        return child;
    }
    GpBitmap* Solid(int w, int h, std::uint32_t argb) {
        owned_.push_back(SolidBitmap(w, h, argb));
        return owned_.back();
    }
    // The picture the window would show now.
    GpBitmap* Compose() {
        GpBitmap* bitmap = nullptr;
        RedrawPngWindow(parent_, &bitmap, true);
        if (bitmap)
            owned_.push_back(bitmap);
        return bitmap;
    }

    HWND parent_ = nullptr;
    std::vector<GpBitmap*> owned_;
};

TEST(FitSize, OnlyShrinksAndKeepsTheAspect) {
    struct Case {
        int iw, ih, mw, mh, fw, fh;
    } cases[] = {
        {200, 100, 100, 100, 100, 50},  // wide image
        {100, 200, 100, 100, 50, 100},  // tall image
        {50, 30, 100, 100, 50, 30},     // small: natural size
        {300, 300, 100, 50, 50, 50},    // both too large
        {7, 3, 2, 100, 2, 0},           // truncated toward zero
        {100, 99, 33, 100, 33, 32},
    };
    for (const Case& c : cases) {
        FitResult fit = FitSize(c.iw, c.ih, c.mw, c.mh);
        EXPECT_EQ(fit.width, c.fw) << c.iw << "x" << c.ih << " in " << c.mw << "x" << c.mh;
        EXPECT_EQ(fit.height, c.fh) << c.iw << "x" << c.ih << " in " << c.mw << "x" << c.mh;
    }
}

TEST(ColourToArgb, SwapsRedAndBlueAndAddsAlpha) {
    EXPECT_EQ(ColourToArgb(0x00332211, 0x80), 0x80112233u);
    EXPECT_EQ(ColourToArgb(0, 255), 0xFF000000u);
}

TEST_F(PngWindows, FitAndCentreDrawsAWideImageInTheMiddle) {
    HWND picture = Child(L"STATIC", 10, 20, 100, 100, 2);
    PutProp(picture, L"PngControl_BackType", 2);
    PutProp(picture, L"PngControl_BackImage", Solid(200, 100, kRed));
    GpBitmap* shown = Compose();
    ASSERT_NE(shown, nullptr);
    // 100 x 50 at (10, 20 + 25)
    EXPECT_EQ(PixelAt(shown, 60, 20 + 24) >> 24, 0u);
    EXPECT_EQ(PixelAt(shown, 60, 20 + 25), kRed);
    EXPECT_EQ(PixelAt(shown, 60, 20 + 74), kRed);
    EXPECT_EQ(PixelAt(shown, 60, 20 + 75) >> 24, 0u);
    EXPECT_EQ(PixelAt(shown, 10, 50), kRed);
    EXPECT_EQ(PixelAt(shown, 109, 50), kRed);
    EXPECT_EQ(PixelAt(shown, 110, 50) >> 24, 0u);
}

TEST_F(PngWindows, BackTypesStretchAndNaturalSize) {
    HWND stretched = Child(L"STATIC", 0, 0, 40, 40, 2);
    PutProp(stretched, L"PngControl_BackType", 1);
    PutProp(stretched, L"PngControl_BackImage", Solid(10, 10, kGreen));
    HWND natural = Child(L"STATIC", 100, 0, 40, 40, 2);
    PutProp(natural, L"PngControl_BackImage", Solid(10, 10, kBlue));
    GpBitmap* shown = Compose();
    EXPECT_EQ(PixelAt(shown, 0, 0), kGreen);  // edges do not fade
    EXPECT_EQ(PixelAt(shown, 39, 39), kGreen);
    EXPECT_EQ(PixelAt(shown, 40, 20) >> 24, 0u);
    EXPECT_EQ(PixelAt(shown, 109, 9), kBlue);
    EXPECT_EQ(PixelAt(shown, 111, 11) >> 24, 0u);
}

TEST_F(PngWindows, BackgroundIsStretchedOverTheWholeWindow) {
    PngControl control;
    ASSERT_TRUE(control.Attach(parent_));
    EXPECT_EQ(GetWindowLongPtrW(parent_, GWL_EXSTYLE), WS_EX_LAYERED);
    ASSERT_TRUE(control.SetBackImage(Solid(30, 20, kYellow)));
    owned_.pop_back();  // the window owns it now
    GpBitmap* shown = Compose();
    EXPECT_EQ(PixelAt(shown, 0, 0), kYellow);
    EXPECT_EQ(PixelAt(shown, 299, 199), kYellow);
}

TEST_F(PngWindows, BackgroundOfTheWindowsSizeIsShownPixelForPixel) {
    // A pattern with a different colour and alpha in every pixel of a 300 x 200 picture.
    GpBitmap* pattern = Solid(300, 200, 0);
    Gdiplus::Rect all(0, 0, 300, 200);
    Gdiplus::BitmapData data = {};
    ASSERT_EQ(gp::GdipBitmapLockBits(pattern, &all, Gdiplus::ImageLockModeWrite,
                                     PixelFormat32bppARGB, &data),
              Gdiplus::Ok);
    auto argbAt = [](int x, int y) {
        return static_cast<std::uint32_t>((x * 7 + y * 13) % 256) << 24 | (x % 256) << 16 |
               (y % 256) << 8 | ((x ^ y) & 0xFF);
    };
    for (int y = 0; y < 200; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(data.Scan0) +
                                                     y * data.Stride);
        for (int x = 0; x < 300; ++x)
            row[x] = argbAt(x, y) | 0xFF000000u * ((x + y) % 5 == 0);
    }
    gp::GdipBitmapUnlockBits(pattern, &data);
    PngControl control;
    ASSERT_TRUE(control.Attach(parent_));
    ASSERT_TRUE(control.SetBackImage(pattern));
    owned_.erase(std::find(owned_.begin(), owned_.end(), pattern));
    GpBitmap* shown = Compose();
    int differing = 0;
    for (int y = 0; y < 200; y += 3)
        for (int x = 0; x < 300; x += 3) {
            std::uint32_t want = argbAt(x, y) | 0xFF000000u * ((x + y) % 5 == 0);
            std::uint32_t got = PixelAt(shown, x, y);
            // Colour of fully transparent pixels does not matter.
            if ((want >> 24) == 0 ? (got >> 24) != 0 : got != want)
                ++differing;
        }
    EXPECT_EQ(differing, 0);
}

// What the layered window shows on the screen (premultiplied 0xAARRGGBB), read back from the
// screen at the window's place.
std::vector<std::uint32_t> ScreenPixels(HWND window) {
    RECT rc;
    GetWindowRect(window, &rc);
    return testsupport::CaptureScreen(rc).pixels;
}

TEST_F(PngWindows, ShownPictureIsPremultipliedWithAndWithoutChildren) {
    PngControl control;
    ASSERT_TRUE(control.Attach(parent_));
    ShowWindow(parent_, SW_SHOWNOACTIVATE);
    GpBitmap* back = Solid(300, 200, 0x80204060);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 100; ++x)
            gp::GdipBitmapSetPixel(back, x, y, kRed);
    ASSERT_TRUE(control.SetBackImage(back));
    owned_.erase(std::find(owned_.begin(), owned_.end(), back));
    std::vector<std::uint32_t> shown = ScreenPixels(parent_);
    ASSERT_EQ(shown.size(), 300u * 200u);
    EXPECT_EQ(shown[50 * 300 + 50], kRed);
    EXPECT_EQ(shown[50 * 300 + 200], 0x80102030u);  // half-transparent, premultiplied

    HWND picture = Child(L"STATIC", 150, 50, 20, 20, 2);
    PutProp(picture, L"PngControl_BackImage", Solid(20, 20, kGreen));
    control.InstallChildProcedures();
    shown = ScreenPixels(parent_);
    EXPECT_EQ(shown[60 * 300 + 160], kGreen);
    EXPECT_EQ(shown[50 * 300 + 200], 0x80102030u);
    EXPECT_EQ(shown[50 * 300 + 50], kRed);
}

TEST_F(PngWindows, CaretBlinksInTheFocusedEditBox) {
    PngControl control;
    ASSERT_TRUE(control.Attach(parent_));
    ShowWindow(parent_, SW_SHOW);
    SetForegroundWindow(parent_);
    ASSERT_TRUE(control.SetBackImage(Solid(300, 200, kYellow)));
    owned_.pop_back();
    HWND edit = Child(L"EDIT", 40, 60, 120, 30, 4);
    PutProp(edit, L"PngControl_BackColor", -1);
    PutProp(edit, L"PngControl_OrderColor", -1);
    control.InstallChildProcedures();
    SetFocus(edit);
    ASSERT_EQ(GetFocus(), edit);
    POINT caret = {};
    GetCaretPos(&caret);
    int x = 40 + caret.x + 5, y = 60 + (30 - 12) / 2;
    EXPECT_EQ(ScreenPixels(parent_)[(y + 6) * 300 + x], kYellow);  // hidden after the focus
    CaretBlinkTimerProc(parent_, WM_TIMER, kCaretBlinkTimerId, 0);
    std::vector<std::uint32_t> shown = ScreenPixels(parent_);
    EXPECT_EQ(shown[(y + 6) * 300 + x], 0xFF000000u);
    EXPECT_EQ(shown[(y + 6) * 300 + x + 2], kYellow);
    CaretBlinkTimerProc(parent_, WM_TIMER, kCaretBlinkTimerId, 0);
    EXPECT_EQ(ScreenPixels(parent_)[(y + 6) * 300 + x], kYellow);
    // Another timer id, or another window, does nothing.
    CaretBlinkTimerProc(parent_, WM_TIMER, 65, 0);
    EXPECT_EQ(ScreenPixels(parent_)[(y + 6) * 300 + x], kYellow);
}

TEST_F(PngWindows, SetBackImageRefusesNullAndUnattached) {
    PngControl control;
    GpBitmap* image = Solid(5, 5, kRed);
    EXPECT_FALSE(control.SetBackImage(image));
    EXPECT_FALSE(control.IsWindowValid());
    ASSERT_TRUE(control.Attach(parent_));
    EXPECT_FALSE(control.SetBackImage(nullptr));
    const std::uint8_t notPng[] = {1, 2, 3, 4};
    EXPECT_FALSE(control.SetBackImageFromBytes(notPng, sizeof(notPng)));
    EXPECT_FALSE(control.Attach(nullptr));
    EXPECT_TRUE(control.IsWindowValid());
}

TEST_F(PngWindows, ReplacedBackgroundsAreReleasedAndTheLastGoesWithTheWindow) {
    std::size_t before = LiveStreamImageCount();
    PngControl control;
    ASSERT_TRUE(control.Attach(parent_));
    // A small PNG made by GDI+ itself.
    GpBitmap* source = Solid(8, 8, kBlue);
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    const CLSID pngEncoder = {
        0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    ASSERT_EQ(gp::GdipSaveImageToStream(source, stream, &pngEncoder, nullptr), Gdiplus::Ok);
    HGLOBAL memory = nullptr;
    GetHGlobalFromStream(stream, &memory);
    Bytes png(static_cast<std::uint8_t*>(GlobalLock(memory)),
              static_cast<std::uint8_t*>(GlobalLock(memory)) + GlobalSize(memory));
    GlobalUnlock(memory);
    GlobalUnlock(memory);
    stream->Release();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(control.SetBackImageFromBytes(png));
    EXPECT_EQ(LiveStreamImageCount(), before + 1);
    EXPECT_EQ(PixelAt(Compose(), 150, 100), kBlue);
    DestroyWindow(parent_);
    EXPECT_EQ(LiveStreamImageCount(), before);
    EXPECT_FALSE(control.SetBackImageFromBytes(png));
}

TEST_F(PngWindows, LowerSiblingEndsUpOnTop) {
    HWND first = Child(L"STATIC", 0, 0, 50, 50, 2);
    HWND second = Child(L"STATIC", 25, 0, 50, 50, 2);
    PutProp(first, L"PngControl_BackImage", Solid(50, 50, kRed));
    PutProp(second, L"PngControl_BackImage", Solid(50, 50, kGreen));
    // z-order: first created is on top, so it is drawn first and the second covers it.
    ASSERT_EQ(GetWindow(parent_, GW_CHILD), first);
    GpBitmap* shown = Compose();
    EXPECT_EQ(PixelAt(shown, 10, 10), kRed);
    EXPECT_EQ(PixelAt(shown, 30, 10), kGreen);
}

TEST_F(PngWindows, ChildrenWithoutAKnownTypeAreNotDrawn) {
    HWND untyped = Child(L"STATIC", 0, 0, 50, 50, 0);
    PutProp(untyped, L"PngControl_BackImage", Solid(50, 50, kRed));
    HWND odd = Child(L"STATIC", 60, 0, 50, 50, 7);
    PutProp(odd, L"PngControl_BackImage", Solid(50, 50, kRed));
    GpBitmap* shown = Compose();
    EXPECT_EQ(PixelAt(shown, 10, 10) >> 24, 0u);
    EXPECT_EQ(PixelAt(shown, 70, 10) >> 24, 0u);
}

TEST_F(PngWindows, EditBoxFillBorderAndClipping) {
    HWND filled = Child(L"EDIT", 0, 0, 60, 30, 4);
    PutProp(filled, L"PngControl_BackColor", 0x0000FF);  // red as 0x00BBGGRR
    PutProp(filled, L"PngControl_BackAlpha", 255);
    PutProp(filled, L"PngControl_OrderColor", 0xFF0000);  // blue
    PutProp(filled, L"PngControl_OrderAlpha", 255);
    HWND noFill = Child(L"EDIT", 100, 0, 60, 30, 4);
    PutProp(noFill, L"PngControl_BackColor", -1);
    PutProp(noFill, L"PngControl_OrderColor", -1);
    HWND missing = Child(L"EDIT", 200, 0, 60, 30, 4);  // fill 0 at alpha 0: invisible
    PutProp(missing, L"PngControl_OrderColor", -1);
    HWND clipped = Child(L"EDIT", 0, 100, 60, 30, 4);
    PutProp(clipped, L"PngControl_BackColor", -1);
    PutProp(clipped, L"PngControl_OrderColor", 0xFF0000);
    PutProp(clipped, L"PngControl_OrderAlpha", 255);
    PutProp(clipped, L"PngControl_BackImage", Solid(100, 100, kGreen));

    GpBitmap* shown = Compose();
    EXPECT_EQ(PixelAt(shown, 30, 15), kRed);
    EXPECT_EQ(PixelAt(shown, 0, 15), kBlue);  // border on the edge
    EXPECT_EQ(PixelAt(shown, 130, 15) >> 24, 0u);
    EXPECT_EQ(PixelAt(shown, 230, 15) >> 24, 0u);
    // Clipped to the child, and no border over it.
    EXPECT_EQ(PixelAt(shown, 0, 100), kGreen);
    EXPECT_EQ(PixelAt(shown, 59, 129), kGreen);
    EXPECT_EQ(PixelAt(shown, 60, 100) >> 24, 0u);
    EXPECT_EQ(PixelAt(shown, 30, 130) >> 24, 0u);
}

TEST_F(PngWindows, EditBoxTextIsDrawnInItsFontAndColour) {
    HWND edit = Child(L"EDIT", 0, 0, 200, 40, 4);
    PutProp(edit, L"PngControl_BackColor", -1);
    PutProp(edit, L"PngControl_OrderColor", -1);
    PutProp(edit, L"PngControl_TextColor", 0x0000FF);
    SetWindowTextW(edit, L"WWWWWW");
    GpBitmap* noFont = Compose();
    EXPECT_EQ(PixelAt(noFont, 20, 20) >> 24, 0u);  // no font: no text

    HFONT font =
        CreateFontW(-30, 0, 0, 0, 700, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"DejaVu Sans");
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    GpBitmap* shown = Compose();
    int red = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (PixelAt(shown, x, y) == kRed)
                ++red;
    EXPECT_GT(red, 100);
    EXPECT_EQ(PixelAt(shown, 1, 1) >> 24, 0u);  // inside the 2-pixel margin
    DestroyWindow(edit);
    DeleteObject(font);
}

TEST_F(PngWindows, ButtonStatesRedrawOncePerChange) {
    PngControl control;
    ASSERT_TRUE(control.Attach(parent_));
    HWND button = Child(L"BUTTON", 10, 10, 40, 20, 3);
    PutProp(button, L"PngControl_BackType", 1);
    PutProp(button, L"PngControl_NormalImage", Solid(40, 20, kGrey));
    PutProp(button, L"PngControl_OverlImage", Solid(40, 20, kGreen));
    PutProp(button, L"PngControl_DownImage", Solid(40, 20, kRed));
    PutProp(button, L"PngControl_DisableImage", Solid(40, 20, kBlue));
    control.InstallChildProcedures();
    ASSERT_EQ(GetWindowLongPtrW(button, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(PngButtonProc));

    struct Step {
        UINT message;
        WPARAM wParam;
        int redraws;
        int state;
        std::uint32_t shown;
    } steps[] = {
        {WM_MOUSEMOVE, 0, 1, 1, kGreen},  // enter
        {WM_MOUSEMOVE, 0, 0, 1, kGreen},  // further moves: nothing
        {WM_LBUTTONDOWN, 0, 1, 2, kRed},  // press
        {WM_MOUSEMOVE, 0, 0, 2, kRed},    // moving while pressed
        {WM_LBUTTONUP, 0, 1, 1, kGreen},  // release over it
        {WM_MOUSELEAVE, 0, 1, 0, kGrey},  // leave
        {WM_LBUTTONUP, 0, 1, 0, kGrey},   // release without a press
        {WM_ENABLE, FALSE, 1, 3, kBlue},  // disabled
        {WM_ENABLE, TRUE, 1, 0, kGrey},   // enabled again
        {WM_SETTEXT, 0, 0, 0, kGrey},     // anything else: no redraw
    };
    for (const Step& s : steps) {
        redraws.clear();
        SendMessageW(button, s.message, s.wParam, s.message == WM_SETTEXT ? LPARAM(L"x") : 0);
        EXPECT_EQ(static_cast<int>(redraws.size()), s.redraws) << "message " << s.message;
        if (!redraws.empty()) {
            EXPECT_EQ(redraws[0], parent_);
        }
        EXPECT_EQ(reinterpret_cast<INT_PTR>(GetPropW(button, L"Comet_DrawState")), s.state)
            << "message " << s.message;
        EXPECT_EQ(PixelAt(Compose(), 20, 15), s.shown) << "message " << s.message;
    }
    // The previous procedure still ran: the caption changed.
    wchar_t text[8] = {};
    GetWindowTextW(button, text, 8);
    EXPECT_STREQ(text, L"x");
}

TEST_F(PngWindows, HoveredButtonWithoutOverImageShowsNormal) {
    HWND button = Child(L"BUTTON", 0, 0, 40, 20, 3);
    PutProp(button, L"PngControl_BackType", 1);
    PutProp(button, L"PngControl_NormalImage", Solid(40, 20, kGrey));
    PngControl control;
    control.Attach(parent_);
    control.InstallChildProcedures();
    SendMessageW(button, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(PixelAt(Compose(), 5, 5), kGrey);
}

TEST_F(PngWindows, InstallChildProceduresSubclassesOnceAndPutsBackGivenProcedures) {
    HWND button = Child(L"BUTTON", 0, 0, 40, 20, 3);
    HWND edit = Child(L"EDIT", 0, 30, 40, 20, 4);
    HWND picture = Child(L"STATIC", 0, 60, 40, 20, 2);
    LONG_PTR pictureProc = GetWindowLongPtrW(picture, GWLP_WNDPROC);
    LONG_PTR buttonOriginal = GetWindowLongPtrW(button, GWLP_WNDPROC);
    PngControl control;
    control.Attach(parent_);
    redraws.clear();
    control.InstallChildProcedures();
    EXPECT_EQ(redraws.size(), 1u);
    EXPECT_EQ(GetWindowLongPtrW(button, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(PngButtonProc));
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(PngEditProc));
    EXPECT_EQ(GetWindowLongPtrW(picture, GWLP_WNDPROC), pictureProc);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropW(button, L"PngControl_ChildWndProc")),
              buttonOriginal);
    control.InstallChildProcedures();  // a second time: the saved procedure stays the original
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropW(button, L"PngControl_ChildWndProc")),
              buttonOriginal);
    // "PngControl_WndProc" is put back on the child and removed.
    SetPropW(picture, L"PngControl_WndProc", reinterpret_cast<HANDLE>(DefWindowProcW));
    control.InstallChildProcedures();
    EXPECT_EQ(GetWindowLongPtrW(picture, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(DefWindowProcW));
    EXPECT_EQ(GetPropW(picture, L"PngControl_WndProc"), nullptr);
}

TEST_F(PngWindows, EditBoxRedrawsAfterItsOwnProcedure) {
    HWND edit = Child(L"EDIT", 0, 0, 100, 20, 4);
    PngControl control;
    control.Attach(parent_);
    control.InstallChildProcedures();
    redraws.clear();
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"abc"));
    EXPECT_EQ(redraws.size(), 1u);
    wchar_t text[8] = {};
    GetWindowTextW(edit, text, 8);
    EXPECT_STREQ(text, L"abc");
    redraws.clear();
    SendMessageW(edit, WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(redraws.empty());
    SendMessageW(edit, WM_CHAR, 'z', 0);
    EXPECT_EQ(redraws.size(), 1u);
}

TEST_F(PngWindows, BlinkTimerStartsOncePerWindow) {
    PngControl control;
    ASSERT_TRUE(control.Attach(parent_));
    EXPECT_EQ(reinterpret_cast<INT_PTR>(GetPropW(parent_, L"PngControl_Time")), 64);
    EXPECT_TRUE(KillTimer(parent_, kCaretBlinkTimerId));  // it was running

    HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    SetPropW(other, L"PngControl_Time", reinterpret_cast<HANDLE>(64));
    ASSERT_TRUE(control.Attach(other));
    EXPECT_FALSE(KillTimer(other, kCaretBlinkTimerId));  // none was started
    DestroyWindow(other);
}

TEST_F(PngWindows, SetBoundsKeepsWhatIsOmitted) {
    PngControl control;
    control.Attach(parent_);
    control.SetBounds(20, {}, {}, 150);
    RECT rc = {};
    GetWindowRect(parent_, &rc);
    EXPECT_EQ(rc.left, 20);
    EXPECT_EQ(rc.top, 100);
    EXPECT_EQ(rc.right - rc.left, 300);
    EXPECT_EQ(rc.bottom - rc.top, 150);
    control.SetBounds();
    GetWindowRect(parent_, &rc);
    EXPECT_EQ(rc.left, 20);
    EXPECT_EQ(rc.bottom - rc.top, 150);
    EXPECT_EQ(control.SendWindowMessage(WM_GETTEXTLENGTH, 0, 0), 0);
}

}  // namespace
