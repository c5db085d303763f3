// State behind the windows made from layout tables. Window thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "ui/handles.h"
#include "ui/layout.h"
#include "ui/picture.h"

namespace ui::detail {

struct WindowState;

struct ControlState {
    const ControlLayout* layout = nullptr;
    WindowState* window = nullptr;
    HWND hwnd = nullptr;  // nullptr for timers and the save dialog
    Colour textColour = kSystemColour;
    Colour backColour = kSystemColour;
    OwnedBrush backBrush;  // of backColour, made on first use
    WNDPROC previousProc = nullptr;
    bool hover = false;
    HFONT font = nullptr;   // the font set with WM_SETFONT (framework classes)
    Picture picture;        // picture box content
    OwnedBitmap bitmap;     // picture box content over its background, ready to draw
    Picture looks[4];       // flat button pictures: resting, pointer-over, focus, disabled
    OwnedBitmap faces[4];   // ... in each look at the button's size, made at its first paint
    SIZE faceSize = {};     // the size the faces were made for
    OwnedMemoryDc faceDc;   // a face is copied from here (selected only while it is copied)
    int id = 0;             // child window id, or timer id
    int interval = 0;       // timers
    std::wstring fileName;  // save dialog: the last confirmed path
};

struct WindowState {
    const WindowLayout* layout = nullptr;
    std::span<const EventBinding> events;
    HWND hwnd = nullptr;
    HWND modalOwner = nullptr;  // disabled while this window runs modally
    OwnedBrush backBrush;
    OwnedFont fonts[4];  // by FontStyle, made on first use; GuiDefault is the stock font
    std::vector<std::unique_ptr<ControlState>> controls;
    int programWrites = 0;  // > 0 while the program changes a control: no events
};

// The state of a window made by CreateLayoutWindow (nullptr for any other window).
WindowState* StateOf(HWND window);
// A control of the window by name (nullptr when unknown).
ControlState* FindControl(WindowState& window, const char* name);
// The control behind a control window (nullptr for any other window).
ControlState* ControlOf(HWND control);

// Runs `job` on the thread of `window` (nullptr: the main window) with its state: directly on
// that thread, through SendMessageW from any other. Does nothing when the window is gone.
void OnWindowThread(HWND window, const std::function<void(WindowState&)>& job);

// Creates the control's window (or timer) as a child of `parent`.
void CreateControl(WindowState& window, ControlState& control, HWND parent);
// Handles the messages a container (window, group box, frame) receives on behalf of its
// children: commands, notifications, owner drawing, colours. True when handled.
bool HandleChildMessage(HWND container,
                        UINT message,
                        WPARAM wParam,
                        LPARAM lParam,
                        LRESULT& result);
// Fires the handlers bound to (control name, event). Returns true when a key handler consumed
// the key.
bool FireEvent(WindowState& window, const char* control, Event event, int key = 0);

// Scales a table value by the layout scale.
int Scale(int value);
HFONT FontFor(WindowState& window, FontStyle style);
HBRUSH BrushFor(ControlState& control);
void SetPictureBoxPicture(ControlState& control, Picture picture);
void ReleaseControl(ControlState& control);

// Registers the framework's window classes once.
void RegisterClasses();

}  // namespace ui::detail
