// Answering real dialogs as a user would, from another thread or another process: the save
// dialog (type a path, press Save) and message boxes (read the text, press a button). Windows
// only; header-only so that tests and benchmarks of either tree can use it without a library.
#pragma once

#include <windows.h>

#include <string>

namespace dialogs {

// The text of a window.
inline std::wstring WindowText(HWND window) {
    wchar_t text[2048] = {};
    int n = GetWindowTextW(window, text, 2048);
    return std::wstring(text, n > 0 ? n : 0);
}

namespace detail {

struct Search {
    const std::wstring* title;  // nullptr: any
    DWORD process;              // 0: any
    HWND found = nullptr;
};

inline BOOL CALLBACK MatchDialog(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<Search*>(parameter);
    wchar_t cls[32] = {};
    GetClassNameW(window, cls, 32);
    if (std::wstring(cls) != L"#32770" || !IsWindowVisible(window))
        return TRUE;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (search->process && process != search->process)
        return TRUE;
    if (search->title && WindowText(window) != *search->title)
        return TRUE;
    search->found = window;
    return FALSE;
}

inline BOOL CALLBACK MatchNameBox(HWND child, LPARAM found) {
    wchar_t cls[16] = {};
    GetClassNameW(child, cls, 16);
    int id = GetDlgCtrlID(child);
    // The file name box: an edit with the id of the name combo (cmb13) or the plain edt1,
    // however deep the dialog nests it.
    if (std::wstring(cls) == L"Edit" && (id == 0x47C || id == 0x480)) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

inline BOOL CALLBACK MatchStatic(HWND child, LPARAM found) {
    wchar_t cls[16] = {};
    GetClassNameW(child, cls, 16);
    // A message box's text is the static with id 0xFFFF.
    if (std::wstring(cls) == L"Static" && GetDlgCtrlID(child) == 0xFFFF) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

}  // namespace detail

// A visible dialog (class #32770) titled `title` (nullptr: any) of `process` (0: any).
inline HWND FindDialog(const std::wstring* title, DWORD process = 0) {
    detail::Search search{title, process};
    EnumWindows(detail::MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// In a save dialog found by FindDialog: the name it offers, when `offered` is given; then types
// `path` and presses Save. False when the dialog has no name box (yet).
inline bool AnswerSaveDialog(HWND dialog,
                             const std::wstring& path,
                             std::wstring* offered = nullptr) {
    HWND edit = nullptr;
    EnumChildWindows(dialog, detail::MatchNameBox, reinterpret_cast<LPARAM>(&edit));
    if (!edit)
        return false;
    if (offered)
        *offered = WindowText(edit);
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return true;
}

// A message box's text (empty when `dialog` has none).
inline std::wstring MessageBoxText(HWND dialog) {
    HWND text = nullptr;
    EnumChildWindows(dialog, detail::MatchStatic, reinterpret_cast<LPARAM>(&text));
    return text ? WindowText(text) : std::wstring();
}

// Presses a message box's button (IDOK, IDYES, ...).
inline void PressButton(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, button, 0);
}

}  // namespace dialogs
