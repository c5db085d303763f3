// Message boxes, the save-file dialog and opening addresses with the shell. Each goes through
// one function with a test hook: with an observer installed nothing is shown, the observer
// receives the request and its answer is used.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "core/types.h"

namespace ui {

struct MessageRequest {
    Text text;  // GBK; characters GBK lacks read "?" here, wideText has them
    Text title;
    HWND owner;
    unsigned flags;         // MB_* as shown, MB_TASKMODAL included
    std::wstring wideText;  // the text exactly as shown
};

// Shows a task-modal message box (MessageBoxW, texts converted from GBK). `owner` nullptr:
// the main window. Returns the button pressed (IDOK ...). Any thread.
int ShowMessage(const Text& text, unsigned flags, const Text& title, HWND owner = nullptr);
// The same with a text that may hold characters GBK lacks (a file path).
int ShowMessage(const std::wstring& text, unsigned flags, const Text& title, HWND owner = nullptr);

// With an observer set, ShowMessage calls it instead of showing a box and returns its result.
// Pass an empty function to show real boxes again.
using MessageObserver = std::function<int(const MessageRequest&)>;
void SetMessageObserver(MessageObserver observer);

// Folders and paths stay UTF-16 from the system to the file system: a user's folder may be
// named with characters that GBK lacks.
struct SaveDialogRequest {
    Text title;
    Text fileName;               // proposed file name
    Text filter;                 // "字体文件|*.ttf" or "PNG文件|*.PNG|所有文件|*.*"
    std::wstring initialFolder;  // e.g. DesktopFolder()
    Text defaultExtension;       // without the dot; added when the chosen name lacks it
    HWND owner = nullptr;        // nullptr: the main window
};

// Shows the save-file dialog (GetSaveFileNameW; asks before replacing a file) and returns the
// chosen full path, empty when the user cancelled. The path always ends in the default
// extension (compared without case): a name typed as "Foo 2.0 Bold" is saved as
// "Foo 2.0 Bold.ttf", and when that file exists the user is asked before it is replaced (No
// shows the dialog again). The window's save-dialog control `name` (a SaveDialog entry of its
// layout) keeps the last confirmed path as its file name. Any thread; the program shows it on
// the window thread.
std::wstring ShowSaveDialog(HWND window, const char* name, const SaveDialogRequest& request);
inline std::wstring ShowSaveDialog(const char* name, const SaveDialogRequest& request) {
    return ShowSaveDialog(nullptr, name, request);
}
// The path chosen in the last confirmed dialog of that control, empty before.
std::wstring DialogFileName(HWND window, const char* name);

// With an observer set, ShowSaveDialog calls it instead of showing the dialog; its answer is
// the path as the dialog would have returned it (empty: cancelled), which is then completed
// with the default extension like the dialog's.
using SaveDialogObserver = std::function<std::wstring(const SaveDialogRequest&)>;
void SetSaveDialogObserver(SaveDialogObserver observer);

// `path` ending in "." + `extension` (compared without case), added when it does not.
std::wstring WithDefaultExtension(const std::wstring& path, const Text& extension);

// The user's desktop folder (CSIDL_DESKTOPDIRECTORY); empty when the system names none.
std::wstring DesktopFolder();

// Hands the address to the shell to open with the user's default program (ShellExecuteW
// "open"). The result is not examined.
void OpenAddress(const Text& address);

// With an observer set, OpenAddress calls it instead of the shell.
using OpenAddressObserver = std::function<void(const Text& address)>;
void SetOpenAddressObserver(OpenAddressObserver observer);

}  // namespace ui
