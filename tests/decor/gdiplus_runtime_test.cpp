#include "decor/gdiplus_runtime.h"

#include <gtest/gtest.h>

#include <cstring>

namespace gp = Gdiplus::DllExports;

namespace {

// A 3 x 2 RGBA PNG: opaque red, half-transparent green, transparent blue / white, black,
// a dark pixel at alpha 40.
const std::uint8_t kTinyPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x9D, 0x74, 0x66, 0x1A, 0x00, 0x00, 0x00, 0x1B, 0x49, 0x44, 0x41, 0x54, 0x78,
    0xDA, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x08, 0x1B, 0x40, 0x14, 0xC3, 0x7F, 0x20,
    0x60, 0x00, 0x52, 0x5C, 0x22, 0x72, 0x1A, 0x00, 0x8A, 0x61, 0x09, 0xDC, 0xC9, 0xD2,
    0xFF, 0x8A, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

class DecorationRuntime : public testing::Test {
  protected:
    static void SetUpTestSuite() { InitDecorationRuntime(); }
};

std::uint32_t PixelAt(GpImage* image, int x, int y) {
    Gdiplus::ARGB argb = 0;
    gp::GdipBitmapGetPixel(static_cast<GpBitmap*>(image), x, y, &argb);
    return argb;
}

TEST_F(DecorationRuntime, LoadsPngAndKeepsItsStreamUntilDisposed) {
    std::size_t before = LiveStreamImageCount();
    GpImage* image = LoadImageFromBytes(kTinyPng, sizeof(kTinyPng));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(LiveStreamImageCount(), before + 1);
    UINT w = 0, h = 0;
    gp::GdipGetImageWidth(image, &w);
    gp::GdipGetImageHeight(image, &h);
    EXPECT_EQ(w, 3u);
    EXPECT_EQ(h, 2u);
    EXPECT_EQ(PixelAt(image, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(PixelAt(image, 1, 1), 0xFF000000u);
    EXPECT_EQ(PixelAt(image, 0, 1), 0xFFFFFFFFu);
    EXPECT_EQ(PixelAt(image, 1, 0) >> 24, 128u);  // alpha survives
    UINT frames = 0;
    ASSERT_NE(FrameDimensionTimeGuid(), nullptr);
    gp::GdipImageGetFrameCount(image, FrameDimensionTimeGuid(), &frames);
    EXPECT_LE(frames, 1u);
    DisposeImage(image);
    EXPECT_EQ(LiveStreamImageCount(), before);
}

TEST_F(DecorationRuntime, NonImageBytesGiveNoImage) {
    const std::uint8_t text[] = "<html>not a picture</html>";
    std::size_t before = LiveStreamImageCount();
    EXPECT_EQ(LoadImageFromBytes(text, sizeof(text)), nullptr);
    EXPECT_EQ(LoadImageFromBytes(nullptr, 0), nullptr);
    EXPECT_EQ(LoadImageFromBytes(Bytes(kTinyPng, kTinyPng + 40)), nullptr);  // cut short
    EXPECT_EQ(LiveStreamImageCount(), before);
}

TEST_F(DecorationRuntime, FrameDimensionGuidIsTheTimeDimension) {
    const GUID* guid = FrameDimensionTimeGuid();
    ASSERT_NE(guid, nullptr);
    const GUID expected = {
        0x6AEDBD6D, 0x3FB5, 0x418A, {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};
    EXPECT_EQ(std::memcmp(guid, &expected, sizeof(GUID)), 0);
}

TEST_F(DecorationRuntime, RegistersTheLoadDialogClass) {
    WNDCLASSEXW wc = {sizeof(wc)};
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), kCometLoadDialogClass, &wc));
    EXPECT_EQ(wc.lpfnWndProc, CometLoadDialogProc);
    EXPECT_EQ(wc.style, static_cast<UINT>(CS_VREDRAW | CS_HREDRAW));
    EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
}

DWORD WINAPI WaitForever(void*) {
    Sleep(INFINITE);
    return 7;
}

TEST_F(DecorationRuntime, LoadDialogEndsItsThreadAndFreesItsImageWhenDestroyed) {
    HWND dialog = CreateWindowExW(0, kCometLoadDialogClass, L"", WS_POPUP, 0, 0, 50, 50, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(dialog, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, WaitForever, nullptr, 0, nullptr);
    HANDLE watch = nullptr;
    DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &watch, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    std::size_t before = LiveStreamImageCount();
    SetPropW(dialog, L"Comet_Thread", thread);
    SetPropW(dialog, L"Comet_Image", LoadImageFromBytes(kTinyPng, sizeof(kTinyPng)));
    EXPECT_EQ(LiveStreamImageCount(), before + 1);
    DestroyWindow(dialog);
    ASSERT_EQ(WaitForSingleObject(watch, 5000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(watch, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(LiveStreamImageCount(), before);
    CloseHandle(watch);
}

TEST_F(DecorationRuntime, AnsiToWideUsesGbkWhateverTheLocale) {
    EXPECT_EQ(AnsiToWide(""), (Bytes{0, 0}));
    // 览字坊 = U+89C8 U+5B57 U+574A
    EXPECT_EQ(AnsiToWide("览字坊"), (Bytes{0xC8, 0x89, 0x57, 0x5B, 0x4A, 0x57, 0, 0}));
    Text withZero("A\0B", 3);
    EXPECT_EQ(AnsiToWide(withZero), (Bytes{'A', 0, 0, 0}));
}

struct FontCase {
    LONG height;
    LONG weight;
    BYTE italic, underline, strikeOut;
    int style;
};

TEST_F(DecorationRuntime, FontFromGdiFontTakesPixelSizeAndStyleBits) {
    const FontCase cases[] = {
        {-14, 400, 0, 0, 0, Gdiplus::FontStyleRegular},
        {-16, 700, 0, 0, 0, Gdiplus::FontStyleBold},
        {16, 600, 0, 0, 0, Gdiplus::FontStyleBold},
        {-16, 800, 0, 0, 0, Gdiplus::FontStyleRegular},  // only 600 and 700 count as bold
        {-12, 400, 1, 1, 1,
         Gdiplus::FontStyleItalic | Gdiplus::FontStyleUnderline | Gdiplus::FontStyleStrikeout},
    };
    for (const FontCase& c : cases) {
        LOGFONTW lf = {};
        lf.lfHeight = c.height;
        lf.lfWeight = c.weight;
        lf.lfItalic = c.italic;
        lf.lfUnderline = c.underline;
        lf.lfStrikeOut = c.strikeOut;
        wcscpy(lf.lfFaceName, L"DejaVu Sans");
        HFONT hfont = CreateFontIndirectW(&lf);
        GdiFont font;
        font.CreateFromHfont(hfont);
        ASSERT_NE(font.GetHandle(), nullptr) << "weight " << c.weight;
        EXPECT_EQ(font.GetStyle(), c.style) << "weight " << c.weight;
        EXPECT_FLOAT_EQ(font.GetSize(), static_cast<float>(c.height < 0 ? -c.height : c.height));
        EXPECT_EQ(font.GetUnit(), Gdiplus::UnitPixel);
        DeleteObject(hfont);
    }
    GdiFont none;
    none.CreateFromHfont(nullptr);
    EXPECT_EQ(none.GetHandle(), nullptr);
}

TEST_F(DecorationRuntime, FontFromWindowUsesItsFont) {
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(edit, nullptr);
    GdiFont noFont;
    SendMessageW(edit, WM_SETFONT, 0, FALSE);
    noFont.CreateFromWindow(edit);
    EXPECT_EQ(noFont.GetHandle(), nullptr);
    HFONT hfont =
        CreateFontW(-20, 0, 0, 0, 700, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"DejaVu Sans");
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(hfont), FALSE);
    GdiFont font;
    font.CreateFromWindow(edit);
    ASSERT_NE(font.GetHandle(), nullptr);
    EXPECT_FLOAT_EQ(font.GetSize(), 20.0f);
    EXPECT_EQ(font.GetStyle(), Gdiplus::FontStyleBold);
    DestroyWindow(edit);
    DeleteObject(hfont);
}

TEST_F(DecorationRuntime, WrappersOwnOneHandleAndMoveIt) {
    GdiFontFamily family;
    EXPECT_EQ(family.CreateFromName(Text("DejaVu Sans")), Gdiplus::Ok);
    EXPECT_NE(family.GetHandle(), nullptr);
    EXPECT_NE(family.CreateFromName(Text("No Such Face 12345")), Gdiplus::Ok);
    EXPECT_NE(family.GetHandle(), nullptr);  // a failed create keeps the held family

    GdiFont font;
    EXPECT_EQ(font.CreateFromFamilyName("DejaVu Sans", 18.0f, Gdiplus::FontStyleItalic),
              Gdiplus::Ok);
    EXPECT_EQ(font.GetStyle(), Gdiplus::FontStyleItalic);
    GdiFont moved(std::move(font));
    EXPECT_EQ(font.GetHandle(), nullptr);
    EXPECT_FLOAT_EQ(moved.GetSize(), 18.0f);

    GdiStringFormat format;
    EXPECT_EQ(format.SetAlignment(Gdiplus::StringAlignmentCenter), Gdiplus::InvalidParameter);
    ASSERT_EQ(format.Create(0x1004), Gdiplus::Ok);
    EXPECT_EQ(format.SetAlignments(Gdiplus::StringAlignmentNear, Gdiplus::StringAlignmentCenter),
              Gdiplus::Ok);
    Gdiplus::StringAlignment line = Gdiplus::StringAlignmentNear;
    gp::GdipGetStringFormatLineAlign(format.GetHandle(), &line);
    EXPECT_EQ(line, Gdiplus::StringAlignmentCenter);
    INT flags = 0;
    gp::GdipGetStringFormatFlags(format.GetHandle(), &flags);
    EXPECT_EQ(flags, 0x1004);
}

TEST_F(DecorationRuntime, MemoryStreamHoldsTheBytesEitherWay) {
    const Bytes bytes = {1, 2, 3, 4, 5, 6, 7};
    for (bool copy : {true, false}) {
        MemoryStream stream;
        ASSERT_TRUE(stream.Create(bytes, copy)) << copy;
        EXPECT_EQ(stream.GetSize(), bytes.size()) << copy;
        EXPECT_EQ(stream.GetBytes(), bytes) << copy;
        std::uint8_t head[3] = {};
        ULONG read = 0;
        ASSERT_NE(stream.GetStream(), nullptr);
        stream.GetStream()->Read(head, 3, &read);
        EXPECT_EQ(read, 3u);
        EXPECT_EQ(head[2], 3);
        MemoryStream other = std::move(stream);
        EXPECT_EQ(stream.GetStream(), nullptr);
        EXPECT_EQ(stream.GetSize(), 0u);
        EXPECT_EQ(other.GetBytes(), bytes);
    }
    MemoryStream empty;
    EXPECT_TRUE(empty.GetBytes().empty());
}

TEST_F(DecorationRuntime, StartGdiPlusKeepsOneToken) {
    EXPECT_TRUE(StartGdiPlus());
    EXPECT_TRUE(StartGdiPlus());
}

TEST_F(DecorationRuntime, ReleaseDropsTheGuid) {
    ReleaseDecorationRuntime();
    EXPECT_EQ(FrameDimensionTimeGuid(), nullptr);
    InitDecorationRuntime();
    EXPECT_NE(FrameDimensionTimeGuid(), nullptr);
}

}  // namespace
