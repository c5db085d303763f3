#include "ui/dialogs.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <mutex>
#include <string>

#include "core/codepage.h"
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

}  // namespace

int ShowMessage(const Text& text, unsigned flags, const Text& title, HWND owner) {
    MessageRequest request{text, title, owner ? owner : MainWindow(), flags | MB_TASKMODAL};
    if (MessageObserver observer = Copy(g_messageObserver))
        return observer(request);
    return MessageBoxW(request.owner, Wide(text).c_str(), Wide(title).c_str(), request.flags);
}

void SetMessageObserver(MessageObserver observer) {
    std::lock_guard<std::mutex> lock(g_observerLock);
    g_messageObserver = std::move(observer);
}

Text ShowSaveDialog(HWND window, const char* name, const SaveDialogRequest& request) {
    SaveDialogRequest effective = request;
    if (!effective.owner)
        effective.owner = window ? window : MainWindow();
    Text chosen;
    if (SaveDialogObserver observer = Copy(g_saveDialogObserver)) {
        chosen = observer(effective);
    } else {
        // "Name|*.ext|..." becomes the double-zero-terminated list the dialog takes.
        std::wstring filter = Wide(effective.filter);
        for (wchar_t& ch : filter) {
            if (ch == L'|')
                ch = L'\0';
        }
        filter.append(2, L'\0');
        std::wstring file = UsableFileName(effective.fileName);
        file.resize(32768, L'\0');
        std::wstring title = Wide(effective.title);
        std::wstring folder = Wide(effective.initialFolder);
        std::wstring extension = Wide(effective.defaultExtension);
        OPENFILENAMEW ofn = {};
        ofn.lStructSize = sizeof(ofn);
        ofn.hwndOwner = effective.owner;
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = static_cast<DWORD>(file.size());
        ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
        ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
        ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
        ofn.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                    OFN_NOCHANGEDIR;
        if (GetSaveFileNameW(&ofn))
            chosen = Narrow(file.c_str());
        else if (CommDlgExtendedError() != 0)  // 0: the user cancelled
            detail::LogFailure("GetSaveFileNameW");
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

Text DialogFileName(HWND window, const char* name) {
    Text result;
    detail::OnWindowThread(window, [&](detail::WindowState& state) {
        if (detail::ControlState* c = detail::FindControl(state, name))
            result = c->fileName;
    });
    return result;
}

void SetSaveDialogObserver(SaveDialogObserver observer) {
    std::lock_guard<std::mutex> lock(g_observerLock);
    g_saveDialogObserver = std::move(observer);
}

Text DesktopFolder() {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(
            SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    return Narrow(path);
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
