// The program's start and end: the process-wide objects, the decoration set-up, the skin
// update check, the carried skin library, the start-up animation and the main window's
// message loop; and the exit routine that releases what start-up made.
#pragma once

class PngControl;

// The entry: runs the start-up in its fixed order and returns when the last window of the
// program has gone.
void ProgramMain();

// The exit routine (registered by ProgramMain, run when the process ends normally).
void ReleaseProgramObjects();

// The process-wide PngControl that draws the animation; null before ProgramMain and after
// ReleaseProgramObjects.
PngControl* ProgramPngControl();
