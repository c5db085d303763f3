// Windows built from layout tables (layout.h), their message loops and the live main window.
// Window thread only, except MainWindow().
#pragma once

#include <windows.h>

#include <span>

#include "ui/layout.h"

namespace ui {

// Creates the window of `layout` with all of its controls, in the order of the table, each
// with its initial values, and binds `events`. The window's Created handler runs once every
// control exists; the window is not shown yet. `owner` owns the window (nullptr: none).
// Returns nullptr when the window could not be created.
HWND CreateLayoutWindow(const WindowLayout& layout,
                        std::span<const EventBinding> events,
                        HWND owner = nullptr);

// Shows a created window and gives it the focus (first tab stop, or the window).
void ShowLayoutWindow(HWND window);

// Shows `window` modally: its owner is disabled while it exists, and this call processes
// window messages until `window` has been destroyed. A WM_QUIT seen meanwhile is posted again
// and ends the wait.
void RunModal(HWND window);

// Queues the closing of a window (WM_CLOSE); it goes when its message is processed.
void CloseLayoutWindow(HWND window);

// Processes window messages while any window made by CreateLayoutWindow exists (or until
// WM_QUIT). Returns the exit code of a WM_QUIT, else 0.
int RunMessageLoop();

// Handles one message taken from the queue: keyboard navigation between the tab stops of the
// program's windows, then TranslateMessage and DispatchMessageW.
void DispatchQueuedMessage(MSG& message);

// The live window of the layout marked main, nullptr when there is none. Any thread.
HWND MainWindow();

// The scale factor of every table value: the system DPI / 96 (1 at 96 DPI).
double LayoutScale();

// The window of a control by name (nullptr for unknown names and for windowless controls).
HWND ControlHandle(HWND window, const char* name);

// The number of windows made by CreateLayoutWindow that still exist.
int LiveWindowCount();

}  // namespace ui
