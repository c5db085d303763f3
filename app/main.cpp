// Entry of the program: shows the main window and runs the message loop until it is closed.
#include <windows.h>

#include "app/program_windows.h"
#include "app/ui/window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    if (!ShowMainWindow())
        return 1;
    return ui::RunMessageLoop();
}
