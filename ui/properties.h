// Control properties by control name, readable and writable from the window thread and from
// worker threads. A call from another thread is carried out on the window's own thread
// (SendMessageW), so it waits until that thread processes messages: the window thread must be
// in its message loop or in WaitForThreadPumping (threads.h) meanwhile.
//
// Every function takes the top-level window first (nullptr: the live main window, MainWindow()
// in window.h); the overloads without it address the main window too. Unknown windows or names, and
// properties a control kind does not have, read as empty text / 0 / false / -1 and ignore writes.
// Texts are GBK.
//
// Program writes never raise the control's events: setting a drop-down selection or the list's
// current row does not call the ItemChosen / CurrentRowChanged handlers.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "core/types.h"

namespace ui {

// Runs `job` on the main window's thread and returns when it has run: directly on that thread,
// through SendMessageW from any other (so, like every call here, it waits for the window thread
// to process messages). Does nothing when there is no main window. For a worker whose decision
// must not interleave with the window thread's handlers.
void RunOnWindowThread(const std::function<void()>& job);

// Title (caption-bar text) of the window.
void SetWindowTitle(HWND window, const Text& title);
Text GetWindowTitle(HWND window);

// Caption of buttons, labels and group boxes; content of edit boxes.
void SetText(HWND window, const char* name, const Text& text);
Text GetText(HWND window, const char* name);

void SetDisabled(HWND window, const char* name, bool disabled);
bool IsDisabled(HWND window, const char* name);
void SetVisible(HWND window, const char* name, bool visible);
bool IsVisible(HWND window, const char* name);

// Text and background colour of edit boxes, labels and group box captions (0x00BBGGRR).
void SetTextColour(HWND window, const char* name, Colour colour);
Colour GetTextColour(HWND window, const char* name);
void SetBackColour(HWND window, const char* name, Colour colour);
Colour GetBackColour(HWND window, const char* name);

// Drop-down lists: the chosen item, 0-based, -1 for none.
int GetSelection(HWND window, const char* name);
void SetSelection(HWND window, const char* name, int index);

// List views. Rows and columns count from 0.
int ListAddRow(HWND window, const char* name);  // appends an empty row; returns its index
// Appends rows at the end, each given as its cells from column 0 on, in one call (a list
// filled from a worker thread costs one cross-thread call per batch). With `repaint` the list
// is redrawn at once after the batch; without, it does not redraw and keeps showing what it
// showed until a later call with `repaint` (a run of batches then costs one redraw, not one
// each). The last batch of a run must repaint.
void ListAppendRows(HWND window,
                    const char* name,
                    const std::vector<std::vector<Text>>& rows,
                    bool repaint = true);
void ListDeleteRow(HWND window, const char* name, int row);
void ListClear(HWND window, const char* name);
int ListRowCount(HWND window, const char* name);
// A write to a row that does not exist has no effect; a read of it gives empty text.
void ListSetCell(HWND window, const char* name, int row, int column, const Text& text);
Text ListGetCell(HWND window, const char* name, int row, int column);
// The current (selected) row, -1 when none. Writing a row that exists selects and focuses it;
// writing any other value leaves no row current.
int ListCurrentRow(HWND window, const char* name);
void ListSetCurrentRow(HWND window, const char* name, int row);
void ListScrollIntoView(HWND window, const char* name, int row);

// Gives the control the keyboard focus.
void FocusControl(HWND window, const char* name);

// Picture boxes: the bytes of a PNG file, decoded and shown. Empty bytes clear the picture.
// Returns false (and clears the picture) when the bytes are not a PNG picture.
bool SetPicture(HWND window, const char* name, const Bytes& png);

// Timers: the interval is the timer's whole state; 0 stops it, any other value (re)starts it
// with that period in milliseconds.
void SetTimerInterval(HWND window, const char* name, int milliseconds);
int GetTimerInterval(HWND window, const char* name);

// Shorthands for the main window.
inline void SetWindowTitle(const Text& title) {
    SetWindowTitle(nullptr, title);
}
inline Text GetWindowTitle() {
    return GetWindowTitle(nullptr);
}
inline void SetText(const char* name, const Text& text) {
    SetText(nullptr, name, text);
}
inline Text GetText(const char* name) {
    return GetText(nullptr, name);
}
inline void SetCaption(const char* name, const Text& text) {
    SetText(nullptr, name, text);
}
inline Text GetCaption(const char* name) {
    return GetText(nullptr, name);
}
inline void SetDisabled(const char* name, bool disabled) {
    SetDisabled(nullptr, name, disabled);
}
inline bool IsDisabled(const char* name) {
    return IsDisabled(nullptr, name);
}
inline void SetVisible(const char* name, bool visible) {
    SetVisible(nullptr, name, visible);
}
inline bool IsVisible(const char* name) {
    return IsVisible(nullptr, name);
}
inline void SetTextColour(const char* name, Colour colour) {
    SetTextColour(nullptr, name, colour);
}
inline void SetBackColour(const char* name, Colour colour) {
    SetBackColour(nullptr, name, colour);
}
inline int GetSelection(const char* name) {
    return GetSelection(nullptr, name);
}
inline void SetSelection(const char* name, int index) {
    SetSelection(nullptr, name, index);
}
inline int ListAddRow(const char* name) {
    return ListAddRow(nullptr, name);
}
inline void ListDeleteRow(const char* name, int row) {
    ListDeleteRow(nullptr, name, row);
}
inline void ListClear(const char* name) {
    ListClear(nullptr, name);
}
inline int ListRowCount(const char* name) {
    return ListRowCount(nullptr, name);
}
inline void ListSetCell(const char* name, int row, int column, const Text& text) {
    ListSetCell(nullptr, name, row, column, text);
}
inline Text ListGetCell(const char* name, int row, int column) {
    return ListGetCell(nullptr, name, row, column);
}
inline int ListCurrentRow(const char* name) {
    return ListCurrentRow(nullptr, name);
}
inline void ListSetCurrentRow(const char* name, int row) {
    ListSetCurrentRow(nullptr, name, row);
}
inline void ListScrollIntoView(const char* name, int row) {
    ListScrollIntoView(nullptr, name, row);
}
inline void FocusControl(const char* name) {
    FocusControl(nullptr, name);
}
inline bool SetPicture(const char* name, const Bytes& png) {
    return SetPicture(nullptr, name, png);
}

}  // namespace ui
