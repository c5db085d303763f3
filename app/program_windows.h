// The program's three windows: the main window, the tip window and the start-up animation
// window, each made from its layout table.
#pragma once

#include <windows.h>

#include <span>

#include "ui/layout.h"

extern const ui::WindowLayout kMainWindowLayout;
extern const ui::WindowLayout kTipWindowLayout;
extern const ui::WindowLayout kAnimationWindowLayout;

std::span<const ui::EventBinding> MainWindowEvents();
std::span<const ui::EventBinding> AnimationWindowEvents();

// Creates the main window from its layout (its created event runs); not shown yet.
HWND CreateMainWindow();

// Creates the tip window owned by `owner` (nullptr: the main window); not shown.
HWND CreateTipWindow(HWND owner = nullptr);
// Creates the tip window and shows it modally; returns when it has been closed.
void ShowTipWindowModal();

// Creates the animation window (its created event runs); not shown.
HWND CreateAnimationWindow();
// Creates and shows the animation window and returns when it has been destroyed.
void RunAnimationWindowModal();

// Colour selectors of the main window (handlers of 组合框1 and 组合框2).
void ApplyTextColour();
void ApplyBackgroundColour();
