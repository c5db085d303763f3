#include "app/animation.h"

#include <psapi.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "app/animation_events.h"
#include "app/program_windows.h"
#include "core/codepage.h"
#include "core/environment.h"
#include "decor/png_control.h"
#include "resources/frames/frames.h"
#include "ui/properties.h"
#include "ui/window.h"

namespace {

PngControl* pngControl = nullptr;
FrameShownObserver frameObserver = nullptr;

Text TimerName(int number) {
    Text name = "时钟";
    name += std::to_string(number);
    return name;
}

double QpcMicroseconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1e6 / frequency.QuadPart;
}

// Shows frame `frame` and reports it; returns nothing, since the chain goes on either way.
void PresentFrame(HWND window, int frame) {
    EmbeddedBlob png = AnimationFrame(frame);
    double start = QpcMicroseconds();
    bool drawn = pngControl && pngControl->SetBackImageFromBytes(png.data, png.size);
    double took = QpcMicroseconds() - start;
    LogStartupEvent("frame", frame, MillisecondsSinceProcessStart(), took);
    if (frameObserver)
        frameObserver(window, frame, drawn);
}

// After the last frame the frames' bytes are not read again: their pages of the program image
// go back to the system. Taking pages out of the working set is what VirtualUnlock does on
// unlocked pages; Wine ignores that, but drops them on a reset (MEM_RESET). The pages are a
// clean mapping of the program file either way, so a later read would only fetch them again.
void GiveBackFramePages() {
    const EmbeddedBlob block = AnimationFramesBlock();
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const auto page = static_cast<std::uintptr_t>(system.dwPageSize);
    const auto begin = reinterpret_cast<std::uintptr_t>(block.data);
    // Only whole pages inside the block: its edges share pages with other data.
    const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
    const std::uintptr_t last = (begin + block.size) & ~(page - 1);
    if (last <= first)
        return;
    void* start = reinterpret_cast<void*>(first);
    VirtualUnlock(start, last - first);  // "not locked" is its answer for pages it trimmed
    VirtualAlloc(start, last - first, MEM_RESET, PAGE_READONLY);
}

}  // namespace

void SetAnimationPngControl(PngControl* control) {
    pngControl = control;
}

PngControl* AnimationPngControl() {
    return pngControl;
}

void SetFrameShownObserver(FrameShownObserver observer) {
    frameObserver = observer;
}

double MillisecondsSinceProcessStart() {
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER a, b;
    a.LowPart = created.dwLowDateTime;
    a.HighPart = created.dwHighDateTime;
    b.LowPart = now.dwLowDateTime;
    b.HighPart = now.dwHighDateTime;
    return static_cast<double>(b.QuadPart - a.QuadPart) / 1e4;
}

void LogStartupEvent(const char* what, int number, double atMs, double tookUs) {
    static FILE* log = [] {
        Text path = GetEnvironmentText("LANZIFANG_FRAME_LOG");
        if (path.empty())
            return static_cast<FILE*>(nullptr);
        std::u16string wide = codepage::ToWide(path);
        return _wfopen(reinterpret_cast<const wchar_t*>(wide.c_str()), L"a");
    }();
    if (!log)
        return;
    // The process's own memory counters at each step, to see what start-up holds and when.
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    K32GetProcessMemoryInfo(GetCurrentProcess(),
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    const double ws = memory.WorkingSetSize / 1048576.0;
    const double priv = memory.PrivateUsage / 1048576.0;
    if (number > 0)
        std::fprintf(log, "%s %d at %.1f took %.0f ws %.1f private %.1f\n", what, number, atMs,
                     tookUs, ws, priv);
    else
        std::fprintf(log, "%s at %.1f ws %.1f private %.1f\n", what, atMs, ws, priv);
    std::fflush(log);
}

void StartAnimation(HWND animationWindow) {
    LogStartupEvent("animation-window", 0, MillisecondsSinceProcessStart(), 0);
    if (pngControl)
        pngControl->Attach(animationWindow);
    ui::SetTimerInterval(animationWindow, TimerName(1).c_str(), kFirstFrameDelayMs);
}

void ShowFrame(HWND animationWindow, int frame) {
    if (frame < 1 || frame >= kAnimationFrameCount)
        return;
    // The next timer is armed before this frame is drawn, so frames start 50 ms apart and the
    // drawing time does not add up over the 35 frames. A frame slower than the interval still
    // delays the next one (its tick waits in the queue) and none is skipped.
    ui::SetTimerInterval(animationWindow, TimerName(frame + 1).c_str(), kFrameIntervalMs);
    ui::SetTimerInterval(animationWindow, TimerName(frame).c_str(), 0);
    PresentFrame(animationWindow, frame);
}

void FinishAnimation(HWND animationWindow) {
    PresentFrame(animationWindow, kAnimationFrameCount);
    GiveBackFramePages();
    ui::SetTimerInterval(animationWindow, TimerName(kAnimationFrameCount).c_str(), 0);
    ui::CloseLayoutWindow(animationWindow);
    if (HWND main = CreateMainWindow()) {
        LogStartupEvent("main-window-created", 0, MillisecondsSinceProcessStart(), 0);
        ui::ShowLayoutWindow(main);
        LogStartupEvent("main-window", 0, MillisecondsSinceProcessStart(), 0);
    }
}
