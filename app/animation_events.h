// Handlers of the start-up animation window's events, bound in its event table
// (app/animation_layout.cpp) and defined by the start-up code.
#pragma once

#include <windows.h>

// The animation window has been created (not shown yet).
void StartAnimation(HWND animationWindow);
// Tick of timer number `frame` (时钟1 ... 时钟34).
void ShowFrame(HWND animationWindow, int frame);
// Tick of 时钟35, the last frame.
void FinishAnimation(HWND animationWindow);
