// Message boxes, the save-file dialog and opening addresses with the shell. Each goes through
// one function with a test hook: with an observer installed nothing is shown, the observer
// receives the request and its answer is used.
#pragma once

#include <windows.h>

#include <functional>

#include "core/types.h"

namespace ui {

struct MessageRequest {
    Text text;
    Text title;
    HWND owner;
    unsigned flags;  // MB_* as shown, MB_TASKMODAL included
};

// Shows a task-modal message box (MessageBoxW, texts converted from GBK). `owner` nullptr:
// the main window. Returns the button pressed (IDOK ...). Any thread.
int ShowMessage(const Text& text, unsigned flags, const Text& title, HWND owner = nullptr);

// With an observer set, ShowMessage calls it instead of showing a box and returns its result.
// Pass an empty function to show real boxes again.
using MessageObserver = std::function<int(const MessageRequest&)>;
void SetMessageObserver(MessageObserver observer);

struct SaveDialogRequest {
    Text title;
    Text fileName;          // proposed file name
    Text filter;            // "字体文件|*.ttf" or "PNG文件|*.PNG|所有文件|*.*"
    Text initialFolder;     // e.g. DesktopFolder()
    Text defaultExtension;  // without the dot; added when the user types no extension
    HWND owner = nullptr;   // nullptr: the main window
};

// Shows the save-file dialog (GetSaveFileNameW; asks before replacing a file) and returns the
// chosen full path, empty when the user cancelled. The window's save-dialog control `name`
// (a SaveDialog entry of its layout) keeps the last confirmed path as its file name. Any
// thread: a worker thread may show it while the window thread waits in WaitForThreadPumping.
Text ShowSaveDialog(HWND window, const char* name, const SaveDialogRequest& request);
inline Text ShowSaveDialog(const char* name, const SaveDialogRequest& request) {
    return ShowSaveDialog(nullptr, name, request);
}
// The path chosen in the last confirmed dialog of that control, empty before.
Text DialogFileName(HWND window, const char* name);

// With an observer set, ShowSaveDialog calls it instead of showing the dialog; its answer is
// the chosen path (empty: cancelled).
using SaveDialogObserver = std::function<Text(const SaveDialogRequest&)>;
void SetSaveDialogObserver(SaveDialogObserver observer);

// The user's desktop folder (CSIDL_DESKTOPDIRECTORY), GBK.
Text DesktopFolder();

// Hands the address to the shell to open with the user's default program (ShellExecuteW
// "open"). The result is not examined.
void OpenAddress(const Text& address);

// With an observer set, OpenAddress calls it instead of the shell.
using OpenAddressObserver = std::function<void(const Text& address)>;
void SetOpenAddressObserver(OpenAddressObserver observer);

}  // namespace ui
