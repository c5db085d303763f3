// Entry of the program: the start-up, the animation, then the main window until it is closed.
#include <windows.h>

#include "app/startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ProgramMain();
    return 0;
}
