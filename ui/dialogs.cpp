#include "ui/dialogs.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <mutex>
#include <string>

#include "core/codepage.h"
#include "core/log.h"
#include "ui/internal.h"
#include "ui/window.h"

namespace ui {
namespace {

using codepage::Narrow;
using codepage::Wide;

std::mutex g_observerLock;
MessageObserver g_messageObserver;
SaveDialogObserver g_saveDialogObserver;
OpenAddressObserver g_openAddressObserver;

template <typename Observer>
Observer Copy(const Observer& observer) {
    std::lock_guard<std::mutex> lock(g_observerLock);
    return observer;
}

// A proposed name with characters that no file name may hold would make the dialog refuse to
// open at all; those characters become "_".
std::wstring UsableFileName(const Text& name) {
    std::wstring w = Wide(name);
    for (wchar_t& ch : w) {
        if (ch < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(ch) != std::wstring_view::npos)
            ch = L'_';
    }
    return w;
}

// The common dialogs' library is loaded when the first save dialog opens, not with the
// program: loading it brings the print spooler's stack along (several megabytes under Wine)
// into every process, also one that never saves a file. Once loaded it stays, since the
// shell objects a dialog leaves behind may still call into it.
struct SaveDialogFunctions {
    decltype(&GetSaveFileNameW) show = nullptr;
    decltype(&CommDlgExtendedError) lastError = nullptr;
};

SaveDialogFunctions LoadSaveDialog() {
    static const SaveDialogFunctions functions = [] {
        SaveDialogFunctions loaded;
        HMODULE library = LoadLibraryW(L"comdlg32.dll");
        if (!library) {
            LogLastError("LoadLibraryW(comdlg32.dll)");
            return loaded;
        }
        loaded.show = reinterpret_cast<decltype(&GetSaveFileNameW)>(
            reinterpret_cast<void*>(GetProcAddress(library, "GetSaveFileNameW")));
        loaded.lastError = reinterpret_cast<decltype(&CommDlgExtendedError)>(
            reinterpret_cast<void*>(GetProcAddress(library, "CommDlgExtendedError")));
        if (!loaded.show || !loaded.lastError) {
            LogLastError("GetProcAddress(comdlg32.dll)");
            loaded = {};
        }
        return loaded;
    }();
    return functions;
}

// The path the user chose in the dialog (or the observer's answer), empty when cancelled.
// `proposed` is the name the dialog offers.
std::wstring AskForPath(const SaveDialogRequest& request, const std::wstring& proposed) {
    if (SaveDialogObserver observer = Copy(g_saveDialogObserver))
        return observer(request);
    // "Name|*.ext|..." becomes the double-zero-terminated list the dialog takes.
    std::wstring filter = Wide(request.filter);
    for (wchar_t& ch : filter) {
        if (ch == L'|')
            ch = L'\0';
    }
    filter.append(2, L'\0');
    std::wstring file = proposed;
    file.resize(32768, L'\0');
    std::wstring title = Wide(request.title);
    std::wstring extension = Wide(request.defaultExtension);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = request.owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = request.initialFolder.empty() ? nullptr : request.initialFolder.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    ofn.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    const SaveDialogFunctions dialog = LoadSaveDialog();
    if (!dialog.show)
        return {};
    if (dialog.show(&ofn))
        return file.c_str();
    if (dialog.lastError() != 0)  // 0: the user cancelled
        LogLastError("GetSaveFileNameW");
    return {};
}

// Asks, as the dialog does for the name it was given, before `path` is replaced.
bool ConfirmReplace(const std::wstring& path, const SaveDialogRequest& request) {
    std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    std::wstring question = name + Wide(" 已存在。\r\n要替换它吗？");
    return ShowMessage(question, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, request.title,
                       request.owner) == IDYES;
}

}  // namespace

int ShowMessage(const std::wstring& text, unsigned flags, const Text& title, HWND owner) {
    MessageRequest request{Narrow(text), title, owner ? owner : MainWindow(), flags | MB_TASKMODAL,
                           text};
    if (MessageObserver observer = Copy(g_messageObserver))
        return observer(request);
    return MessageBoxW(request.owner, text.c_str(), Wide(title).c_str(), request.flags);
}

int ShowMessage(const Text& text, unsigned flags, const Text& title, HWND owner) {
    return ShowMessage(Wide(text), flags, title, owner);
}

void SetMessageObserver(MessageObserver observer) {
    std::lock_guard<std::mutex> lock(g_observerLock);
    g_messageObserver = std::move(observer);
}

std::wstring ShowSaveDialog(HWND window, const char* name, const SaveDialogRequest& request) {
    SaveDialogRequest effective = request;
    if (!effective.owner)
        effective.owner = window ? window : MainWindow();
    std::wstring chosen;
    std::wstring proposed = UsableFileName(effective.fileName);
    for (;;) {
        chosen = AskForPath(effective, proposed);
        if (chosen.empty())
            break;
        std::wstring completed = WithDefaultExtension(chosen, effective.defaultExtension);
        // The dialog asked about the name as typed; a name completed here is asked about now.
        if (completed == chosen ||
            GetFileAttributesW(completed.c_str()) == INVALID_FILE_ATTRIBUTES ||
            ConfirmReplace(completed, effective)) {
            chosen = completed;
            break;
        }
        // No: the dialog again, in the chosen folder, with the name it would have saved.
        std::size_t slash = completed.find_last_of(L"\\/");
        std::size_t nameAt = slash == std::wstring::npos ? 0 : slash + 1;
        effective.initialFolder = completed.substr(0, nameAt);
        proposed = completed.substr(nameAt);
        effective.fileName = Narrow(proposed);
    }
    if (!chosen.empty()) {
        detail::OnWindowThread(window, [&](detail::WindowState& state) {
            if (detail::ControlState* c = detail::FindControl(state, name)) {
                if (c->layout->kind == ControlKind::SaveDialog)
                    c->fileName = chosen;
            }
        });
    }
    return chosen;
}

std::wstring DialogFileName(HWND window, const char* name) {
    std::wstring result;
    detail::OnWindowThread(window, [&](detail::WindowState& state) {
        if (detail::ControlState* c = detail::FindControl(state, name))
            result = c->fileName;
    });
    return result;
}

std::wstring WithDefaultExtension(const std::wstring& path, const Text& extension) {
    if (extension.empty() || path.empty())
        return path;
    std::wstring suffix = L"." + Wide(extension);
    if (path.size() > suffix.size() &&
        CompareStringOrdinal(path.c_str() + path.size() - suffix.size(),
                             static_cast<int>(suffix.size()), suffix.c_str(),
                             static_cast<int>(suffix.size()), TRUE) == CSTR_EQUAL)
        return path;
    // "Foo." already has the dot.
    return path.back() == L'.' ? path + suffix.substr(1) : path + suffix;
}

void SetSaveDialogObserver(SaveDialogObserver observer) {
    std::lock_guard<std::mutex> lock(g_observerLock);
    g_saveDialogObserver = std::move(observer);
}

std::wstring DesktopFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return path;
}

void OpenAddress(const Text& address) {
    if (OpenAddressObserver observer = Copy(g_openAddressObserver)) {
        observer(address);
        return;
    }
    ShellExecuteW(nullptr, L"open", Wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void SetOpenAddressObserver(OpenAddressObserver observer) {
    std::lock_guard<std::mutex> lock(g_observerLock);
    g_openAddressObserver = std::move(observer);
}

}  // namespace ui
