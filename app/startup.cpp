#include "app/startup.h"

#include <cstdlib>

#include "app/animation.h"
#include "app/program_windows.h"
#include "catalogue/catalogue_state.h"
#include "decor/decoration.h"
#include "decor/gdiplus_runtime.h"
#include "decor/png_control.h"
#include "decor/update_check.h"
#include "ui/dialogs.h"
#include "ui/threads.h"
#include "ui/window.h"

namespace {

PngControl* programPngControl = nullptr;

// The first window a process creates also sets up the process's side of the window system
// (under Wine: its display connection and the desktop's data), some tens of milliseconds. A
// hidden window made and destroyed on a short thread at start does that while the window
// thread goes on with the update check, so the animation window appears sooner.
void WarmUpWindowSystem() {
    if (HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr))
        DestroyWindow(window);
}

}  // namespace

PngControl* ProgramPngControl() {
    return programPngControl;
}

void ProgramMain() {
    LogStartupEvent("program-main", 0, MillisecondsSinceProcessStart(), 0);
    ui::RunInThread(WarmUpWindowSystem);  // not waited for
    // 1. The process-wide objects: the skin library's loader (nothing mapped yet), then the
    //    animation's PngControl (not attached).
    SkinLibrary();
    programPngControl = new PngControl();
    // 2. The exit routine.
    std::atexit(ReleaseProgramObjects);
    // 3. GDI+, the time frame dimension GUID, the loading dialog's class.
    InitDecorationRuntime();
    LogStartupEvent("decoration-runtime", 0, MillisecondsSinceProcessStart(), 0);
    // 4. The skin update check runs to its end (its message box and the browser go through
    //    the window framework), then the carried skin library is mapped; a failed mapping only
    //    means that the main window later finds no skin export.
    CheckSkinUpdate();
    LogStartupEvent("update-check", 0, MillisecondsSinceProcessStart(), 0);
    LoadCarriedSkinLibrary();
    LogStartupEvent("skin-library", 0, MillisecondsSinceProcessStart(), 0);
    // (No Windows Sockets start-up: WinHTTP and WinInet do not need it.)
    // 5. The animation, modal; its last frame opens the main window, whose creation applies
    //    the skin and the shadow.
    SetAnimationPngControl(programPngControl);
    RunAnimationWindowModal();
    // 6. The main window's messages until the last window has gone.
    ui::RunMessageLoop();
}

void ReleaseProgramObjects() {
    // The skin library's loader stays as it is: the mapping lives until the process ends.
    ReleaseSkinVersionText();
    SetAnimationPngControl(nullptr);
    delete programPngControl;
    programPngControl = nullptr;
    SetPreviewImageUrl(Text());
    ReleaseCurrentSkinData();
    ReleaseDecorationRuntime();
}
