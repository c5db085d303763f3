#include "bench/catalogue/bench_window.h"

#include <algorithm>

#include "app/program_windows.h"
#include "decor/decoration.h"
#include "decor/gdiplus_runtime.h"
#include "ui/dialogs.h"
#include "ui/threads.h"
#include "ui/window.h"

namespace bench {
namespace {

constexpr UINT kProbeMessage = WM_APP + 0x2A5;

// The probe sits in front of the main window's procedure with a plain window-procedure
// subclass: comctl32's SetWindowSubclass reads a window property for every message, which
// under Wine is a round trip to the window server and would slow the very load it watches.
InputProbe* g_probe = nullptr;
WNDPROC g_probePrevious = nullptr;

double Frequency() {
    static const double f = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return static_cast<double>(value.QuadPart);
    }();
    return f;
}

}  // namespace

double Now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / Frequency();
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PumpFor(unsigned milliseconds) {
    const double until = Now() + milliseconds / 1000.0;
    while (Now() < until) {
        ui::PumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    ui::PumpMessages();
}

MainWindow::MainWindow() {
    ui::SetMessageObserver([this](const ui::MessageRequest&) {
        ++messages_;
        return IDOK;
    });
    ui::SetSaveDialogObserver([](const ui::SaveDialogRequest&) { return std::wstring(); });
    ui::SetOpenAddressObserver([](const Text&) {});
    // As the program prepares it at start, so that the window gets its shadow and skin.
    InitDecorationRuntime();
    LoadCarriedSkinLibrary();
    window_ = CreateMainWindow();
    if (window_) {
        ui::ShowLayoutWindow(window_);
        PumpFor(200);
    }
}

MainWindow::~MainWindow() {
    if (window_)
        DestroyWindow(window_);
    PumpFor(50);
    ui::SetMessageObserver(nullptr);
    ui::SetSaveDialogObserver(nullptr);
    ui::SetOpenAddressObserver(nullptr);
}

HWND MainWindow::Control(const char* name) const {
    return ui::ControlHandle(window_, name);
}

InputProbe::InputProbe(HWND window, unsigned periodMs) : window_(window), periodMs_(periodMs) {
    g_probe = this;
    g_probePrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Subclass)));
    thread_ = CreateThread(nullptr, 0, Poster, this, 0, nullptr);
}

InputProbe::~InputProbe() {
    stop_ = true;
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    PumpFor(2 * periodMs_);
    if (GetWindowLongPtrW(window_, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(&Subclass))
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_probePrevious));
    g_probe = nullptr;
}

void InputProbe::Begin() {
    worst_ = 0;
    count_ = 0;
    end_ = 1e300;
    begin_ = Now();
}

void InputProbe::End() {
    end_ = Now();
    // Whatever was posted before the end and is still queued is dispatched now; its wait
    // counts in full.
    PumpFor(3 * periodMs_);
}

void InputProbe::Handle(double sent) {
    if (sent < begin_ || sent > end_)
        return;
    ++count_;
    worst_ = std::max(worst_, Now() - sent);
}

LRESULT CALLBACK InputProbe::Subclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProbeMessage && g_probe) {
        const unsigned long long ticks = (static_cast<unsigned long long>(lParam) << 32) |
                                         static_cast<unsigned long long>(wParam & 0xFFFFFFFFu);
        g_probe->Handle(static_cast<double>(ticks) / Frequency());
        return 0;
    }
    return CallWindowProcW(g_probePrevious, hwnd, message, wParam, lParam);
}

DWORD WINAPI InputProbe::Poster(LPVOID parameter) {
    auto* self = static_cast<InputProbe*>(parameter);
    while (!self->stop_) {
        LARGE_INTEGER t;
        QueryPerformanceCounter(&t);
        const auto ticks = static_cast<unsigned long long>(t.QuadPart);
        PostMessageW(self->window_, kProbeMessage, static_cast<WPARAM>(ticks & 0xFFFFFFFFu),
                     static_cast<LPARAM>(ticks >> 32));
        Sleep(self->periodMs_);
    }
    return 0;
}

}  // namespace bench
