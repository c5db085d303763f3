// The start-up animation: 35 frames, one every 50 ms after a first 10 ms, drawn onto the
// layered animation window by a PngControl; the last frame queues the window's close and opens
// the main window. The handlers bound in the animation window's event table are declared in
// app/animation_events.h.
#pragma once

#include <windows.h>

class PngControl;

inline constexpr int kFirstFrameDelayMs = 10;
inline constexpr int kFrameIntervalMs = 50;

// The object that draws the frames (the process-wide one, made by the start-up). Null until
// set; the handlers then draw nothing but the chain still runs.
void SetAnimationPngControl(PngControl* control);
PngControl* AnimationPngControl();

// Observation point: called after frame `frame` was handed to the window (drawn: whether it
// could be decoded and shown). Null removes it.
using FrameShownObserver = void (*)(HWND window, int frame, bool drawn);
void SetFrameShownObserver(FrameShownObserver observer);

// When the environment variable LANZIFANG_FRAME_LOG names a file, every frame appends a line
//   frame <k> at <ms since process start> took <µs to decode, compose and present>
// and the steps of the start-up append "<step> at <ms>" (program-main, decoration-runtime,
// update-check, skin-library, animation-window, main-window-created with decoration-begin
// and decoration-end inside it, main-window once it is shown).
void LogStartupEvent(const char* what, int number, double atMs, double tookUs);
double MillisecondsSinceProcessStart();
