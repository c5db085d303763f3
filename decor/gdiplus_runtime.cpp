#include "decor/gdiplus_runtime.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "core/codepage.h"
#include "ui/threads.h"

namespace gp = Gdiplus::DllExports;

namespace {

ULONG_PTR runtimeToken = 0;  // InitDecorationRuntime's own start of GDI+
ULONG_PTR startGdiPlusToken = 0;
GUID* frameDimensionTime = nullptr;

constexpr char kFrameDimensionTimeText[] = "{6AEDBD6D-3FB5-418A-83A6-7F45229DC872}";

// The first picture a process decodes also loads and sets up the PNG decoder, about 20 ms under
// Wine. Decoding this one-pixel picture on a short thread at start-up does that while the window
// thread goes on with the update check and the animation window, so the animation's first frame
// costs what every other frame costs.
constexpr std::uint8_t kOnePixelPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00, 0x00, 0x00, 0x0b, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0x60, 0x00, 0x02, 0x00, 0x00, 0x05, 0x00, 0x01, 0x7a, 0x5e, 0xab, 0x3f,
    0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
ui::OwnedHandle decoderWarmUp;

void WarmUpImageDecoder() {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (GpImage* image = LoadImageFromBytes(kOnePixelPng, sizeof kOnePixelPng))
        DisposeImage(image);
    if (SUCCEEDED(com))
        CoUninitialize();
}

// True when no warm-up runs any more. One that has not ended after a generous wait keeps its
// handle, and the GUID buffer it may be reading stays as it is.
bool FinishDecoderWarmUp() {
    if (!decoderWarmUp)
        return true;
    if (WaitForSingleObject(decoderWarmUp.Get(), 5000) != WAIT_OBJECT_0)
        return false;
    decoderWarmUp.Reset();
    return true;
}

// The stream behind every image LoadImageFromBytes made: GDI+ may read it again while the
// image lives, so it goes only when the image does.
std::mutex streamsLock;
std::map<GpImage*, MemoryStream>& ImageStreams() {
    static auto* streams = new std::map<GpImage*, MemoryStream>();  // outlives static dtors
    return *streams;
}

ULONG_PTR StartGdiPlusOnce(ULONG_PTR& token) {
    if (token == 0) {
        Gdiplus::GdiplusStartupInput input;  // version 1, no callback, nothing suppressed
        ULONG_PTR t = 0;
        if (Gdiplus::GdiplusStartup(&t, &input, nullptr) == Gdiplus::Ok)
            token = t;
    }
    return token;
}

const wchar_t* Wide(const Bytes& utf16) {
    return reinterpret_cast<const wchar_t*>(utf16.data());
}

}  // namespace

void InitDecorationRuntime() {
    // The warm-up decodes through FrameDimensionTimeGuid(): a warm-up still running from an
    // earlier call ends before the buffer is replaced, and a new one starts only once the
    // buffer is filled.
    if (FinishDecoderWarmUp()) {
        std::free(frameDimensionTime);
        frameDimensionTime = static_cast<GUID*>(std::calloc(1, sizeof(GUID)));
        if (frameDimensionTime) {
            Bytes text = AnsiToWide(kFrameDimensionTimeText);
            if (FAILED(CLSIDFromString(const_cast<wchar_t*>(Wide(text)), frameDimensionTime)))
                std::memset(frameDimensionTime, 0, sizeof(GUID));
        }
    }

    if (StartGdiPlusOnce(runtimeToken) != 0 && !decoderWarmUp)
        decoderWarmUp = ui::RunInThread(WarmUpImageDecoder);

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = CometLoadDialogProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kCometLoadDialogClass;
    RegisterClassExW(&wc);
}

bool StartGdiPlus() {
    return StartGdiPlusOnce(startGdiPlusToken) != 0;
}

const GUID* FrameDimensionTimeGuid() {
    static const GUID zero = {};
    if (!frameDimensionTime || std::memcmp(frameDimensionTime, &zero, sizeof(GUID)) == 0)
        return nullptr;
    return frameDimensionTime;
}

void ReleaseDecorationRuntime() {
    if (!FinishDecoderWarmUp())
        return;
    std::free(frameDimensionTime);
    frameDimensionTime = nullptr;
}

LRESULT CALLBACK CometLoadDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY: {
            if (ui::OwnedHandle thread{GetPropW(window, L"Comet_Thread")})
                TerminateThread(thread.Get(), 0);
            if (auto* image = static_cast<GpImage*>(GetPropW(window, L"Comet_Image")))
                DisposeImage(image);
            if (HANDLE memory = GetPropW(window, L"Comet_Stream"))
                GlobalFree(memory);
            return DefWindowProcW(window, message, wParam, lParam);
        }
        case WM_LBUTTONDOWN: {
            LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            if (reinterpret_cast<INT_PTR>(GetPropW(window, L"CometHitMove")) == 1) {
                ReleaseCapture();
                SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            }
            return result;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

GpImage* LoadImageFromBytes(const std::uint8_t* data, std::size_t size) {
    if (!data || size == 0)
        return nullptr;
    MemoryStream stream;
    if (!stream.Create(data, size, true))
        return nullptr;
    GpImage* image = nullptr;
    if (gp::GdipLoadImageFromStream(stream.GetStream(), &image) != Gdiplus::Ok || !image)
        return nullptr;
    if (const GUID* time = FrameDimensionTimeGuid())
        gp::GdipImageSelectActiveFrame(image, time, 0);
    std::lock_guard<std::mutex> hold(streamsLock);
    ImageStreams()[image] = std::move(stream);
    return image;
}

GpImage* LoadImageFromBytes(const Bytes& bytes) {
    return LoadImageFromBytes(bytes.data(), bytes.size());
}

void DisposeImage(GpImage* image) {
    if (!image)
        return;
    gp::GdipDisposeImage(image);
    MemoryStream stream;
    {
        std::lock_guard<std::mutex> hold(streamsLock);
        auto it = ImageStreams().find(image);
        if (it == ImageStreams().end())
            return;
        stream = std::move(it->second);
        ImageStreams().erase(it);
    }
}

std::size_t LiveStreamImageCount() {
    std::lock_guard<std::mutex> hold(streamsLock);
    return ImageStreams().size();
}

Bytes AnsiToWide(const Text& text) {
    std::u16string wide = codepage::ToWide(text.c_str(), codepage::kGbk);  // up to a zero byte
    Bytes out((wide.size() + 1) * 2, 0);
    std::memcpy(out.data(), wide.data(), wide.size() * 2);
    return out;
}

// --- MemoryStream

void MemoryStream::Release() {
    stream_.Reset();
    ownMemory_.Reset();
    memory_ = nullptr;
}

bool MemoryStream::Create(const std::uint8_t* data, std::size_t size, bool copy) {
    Release();
    IStream* stream = nullptr;
    if (copy) {
        ownMemory_.Reset(GlobalAlloc(GMEM_FIXED, size));
        memory_ = ownMemory_.Get();
        if (!memory_)
            return false;
        if (size)
            std::memcpy(memory_, data, size);
        if (FAILED(CreateStreamOnHGlobal(memory_, FALSE, &stream))) {
            Release();
            return false;
        }
        stream_.Reset(stream);
        return true;
    }
    memory_ = GlobalAlloc(GMEM_MOVEABLE, 0);
    if (!memory_)
        return false;
    if (FAILED(CreateStreamOnHGlobal(memory_, TRUE, &stream))) {
        GlobalFree(memory_);
        memory_ = nullptr;
        return false;
    }
    stream_.Reset(stream);  // and the block with it
    // The stream grows its block as the bytes go in; the block may move, so ask for it again.
    ULONG written = 0;
    if (size &&
        (FAILED(stream->Write(data, static_cast<ULONG>(size), &written)) || written != size)) {
        Release();
        return false;
    }
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    HGLOBAL current = nullptr;
    if (SUCCEEDED(GetHGlobalFromStream(stream, &current)))
        memory_ = current;
    return true;
}

bool MemoryStream::Create(const Bytes& bytes, bool copy) {
    return Create(bytes.data(), bytes.size(), copy);
}

std::size_t MemoryStream::GetSize() const {
    if (!memory_)
        return 0;
    if (!ownMemory_ && stream_) {
        // The block may be larger than what was written; the stream knows its own length.
        STATSTG stat = {};
        if (SUCCEEDED(stream_.Get()->Stat(&stat, STATFLAG_NONAME)))
            return static_cast<std::size_t>(stat.cbSize.QuadPart);
    }
    return GlobalSize(memory_);
}

Bytes MemoryStream::GetBytes() const {
    std::size_t size = GetSize();
    Bytes out;
    if (size == 0)
        return out;
    const void* p = GlobalLock(memory_);
    if (!p)
        return out;
    out.assign(static_cast<const std::uint8_t*>(p), static_cast<const std::uint8_t*>(p) + size);
    GlobalUnlock(memory_);
    return out;
}

// --- GdiFontFamily

GpStatus GdiFontFamily::CreateFromName(const Text& faceName) {
    Bytes wide = AnsiToWide(faceName);
    return CreateFromName(Wide(wide));
}

GpStatus GdiFontFamily::CreateFromName(const wchar_t* faceName) {
    GpFontFamily* family = nullptr;
    GpStatus status = gp::GdipCreateFontFamilyFromName(faceName, nullptr, &family);
    if (status == Gdiplus::Ok)
        SetHandle(family);
    return status;
}

void GdiFontFamily::SetHandle(GpFontFamily* handle) {
    if (handle != handle_.Get())
        handle_.Reset(handle);
}

// --- GdiFont

GpStatus GdiFont::CreateFromFamilyName(const Text& faceName,
                                       float size,
                                       int style,
                                       Gdiplus::Unit unit) {
    GdiFontFamily family;
    GpStatus status = family.CreateFromName(faceName);
    if (status != Gdiplus::Ok)
        return status;
    GpFont* font = nullptr;
    status = gp::GdipCreateFont(family.GetHandle(), size, style, unit, &font);
    if (status == Gdiplus::Ok)
        SetHandle(font);
    return status;
}

GpStatus GdiFont::CreateFromDc(HDC dc) {
    GpFont* font = nullptr;
    GpStatus status = gp::GdipCreateFontFromDC(dc, &font);
    if (status == Gdiplus::Ok)
        SetHandle(font);
    return status;
}

void GdiFont::CreateFromWindow(HWND window) {
    CreateFromHfont(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
}

void GdiFont::CreateFromHfont(HFONT hfont) {
    if (!hfont)
        return;
    LOGFONTW lf = {};
    if (GetObjectW(hfont, sizeof(lf), &lf) == 0)
        return;
    int style = 0;
    if (lf.lfWeight == 600 || lf.lfWeight == 700)
        style |= Gdiplus::FontStyleBold;
    if (lf.lfItalic == 1)
        style |= Gdiplus::FontStyleItalic;
    if (lf.lfUnderline == 1)
        style |= Gdiplus::FontStyleUnderline;
    if (lf.lfStrikeOut == 1)
        style |= Gdiplus::FontStyleStrikeout;
    GdiFontFamily family;
    if (family.CreateFromName(lf.lfFaceName) != Gdiplus::Ok)
        return;
    float size = static_cast<float>(lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight);
    GpFont* font = nullptr;
    if (gp::GdipCreateFont(family.GetHandle(), size, style, Gdiplus::UnitPixel, &font) ==
        Gdiplus::Ok)
        SetHandle(font);
}

void GdiFont::SetHandle(GpFont* handle) {
    if (handle != handle_.Get())
        handle_.Reset(handle);
}

int GdiFont::GetStyle() const {
    INT style = 0;
    if (handle_)
        gp::GdipGetFontStyle(handle_.Get(), &style);
    return style;
}

float GdiFont::GetSize() const {
    Gdiplus::REAL size = 0;
    if (handle_)
        gp::GdipGetFontSize(handle_.Get(), &size);
    return size;
}

Gdiplus::Unit GdiFont::GetUnit() const {
    Gdiplus::Unit unit = Gdiplus::UnitWorld;
    if (handle_)
        gp::GdipGetFontUnit(handle_.Get(), &unit);
    return unit;
}

float GdiFont::GetHeight(GpGraphics* graphics) const {
    Gdiplus::REAL height = 0;
    if (handle_)
        gp::GdipGetFontHeight(handle_.Get(), graphics, &height);
    return height;
}

// --- GdiStringFormat

GpStatus GdiStringFormat::Create(int formatFlags, LANGID language) {
    GpStringFormat* format = nullptr;
    GpStatus status = gp::GdipCreateStringFormat(formatFlags, language, &format);
    if (status == Gdiplus::Ok)
        SetHandle(format);
    return status;
}

GpStatus GdiStringFormat::SetAlignment(Gdiplus::StringAlignment alignment) {
    return handle_ ? gp::GdipSetStringFormatAlign(handle_.Get(), alignment)
                   : Gdiplus::InvalidParameter;
}

GpStatus GdiStringFormat::SetLineAlignment(Gdiplus::StringAlignment alignment) {
    return handle_ ? gp::GdipSetStringFormatLineAlign(handle_.Get(), alignment)
                   : Gdiplus::InvalidParameter;
}

GpStatus GdiStringFormat::SetAlignments(Gdiplus::StringAlignment horizontal,
                                        Gdiplus::StringAlignment vertical) {
    GpStatus status = SetAlignment(horizontal);
    GpStatus second = SetLineAlignment(vertical);
    return status != Gdiplus::Ok ? status : second;
}

void GdiStringFormat::SetHandle(GpStringFormat* handle) {
    if (handle != handle_.Get())
        handle_.Reset(handle);
}
