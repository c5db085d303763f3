#include "tests/catalogue/catalogue_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "app/program_windows.h"
#include "catalogue/catalogue_state.h"
#include "core/codepage.h"
#include "tests/support/window_test_support.h"
#include "ui/properties.h"
#include "ui/window.h"

namespace {

using codepage::Narrow;
using codepage::Wide;

MainWindowDriver* g_driver = nullptr;

LRESULT CALLBACK CaptionRecorder(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (msg == WM_SETTEXT && g_driver && lp)
        g_driver->initCaptions.push_back(Narrow(reinterpret_cast<const wchar_t*>(lp)));
    return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs) {
    return testsupport::PumpUntil(done, timeoutMs);
}

std::vector<ServiceFont> ServiceFonts() {
    std::vector<ServiceFont> fonts;
    std::istringstream lines(ServiceGet("/__fonts"));
    std::string line;
    while (std::getline(lines, line)) {
        size_t a = line.find('\t');
        size_t b = line.find('\t', a + 1);
        size_t c = line.find('\t', b + 1);
        if (a == std::string::npos || b == std::string::npos || c == std::string::npos)
            continue;
        fonts.push_back(
            {line.substr(0, a), line.substr(a + 1, b - a - 1), line.substr(b + 1, c - b - 1)});
    }
    return fonts;
}

std::string ReadWholeFile(const std::string& path) {
    return ReadWholeFile(Wide(path));
}

std::string ReadWholeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

template <typename Visit>
void ForEachFile(const std::wstring& folder, Visit visit) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            visit(std::wstring(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

ScratchFolder::ScratchFolder(const std::wstring& suffix) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"lzf-catalogue-" + std::to_wstring(GetCurrentProcessId()) +
              L"-" + std::to_wstring(GetTickCount()) + suffix;
    CreateDirectoryW(folder_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder() {
    ForEachFile(folder_, [&](const std::wstring& name) { DeleteFileW(WidePath(name).c_str()); });
    RemoveDirectoryW(folder_.c_str());
}

Text ScratchFolder::Path(const Text& name) const {
    return Narrow(WidePath(Wide(name)));
}

std::wstring ScratchFolder::WidePath(const std::wstring& name) const {
    return folder_ + L"\\" + name;
}

std::vector<Text> ScratchFolder::Files() const {
    std::vector<Text> names;
    ForEachFile(folder_, [&](const std::wstring& name) { names.push_back(Narrow(name)); });
    return names;
}

MainWindowDriver::MainWindowDriver() {
    g_driver = this;
    SetPreviewImageUrl(Text());
    ui::SetMessageObserver([this](const ui::MessageRequest& request) {
        messages.push_back(request);
        return (request.flags & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    });
    ui::SetSaveDialogObserver([this](const ui::SaveDialogRequest& request) {
        saveDialogs.push_back(request);
        return wideSaveAnswer.empty() ? Wide(saveAnswer) : wideSaveAnswer;
    });
    ui::SetOpenAddressObserver([](const Text&) {});
    window_ = CreateMainWindow();
    if (window_) {
        ui::ShowLayoutWindow(window_);
        SetWindowSubclass(Control(kInitButton), CaptionRecorder, 1, 0);
    }
}

MainWindowDriver::~MainWindowDriver() {
    if (window_) {
        RemoveWindowSubclass(Control(kInitButton), CaptionRecorder, 1);
        DestroyWindow(window_);
    }
    // Checks still on their way would write into the next test's window.
    PumpUntil([] { return RunningDescriptionChecks() == 0; }, 10000);
    ui::SetMessageObserver(nullptr);
    ui::SetSaveDialogObserver(nullptr);
    ui::SetOpenAddressObserver(nullptr);
    g_driver = nullptr;
}

HWND MainWindowDriver::Control(const char* name) const {
    return ui::ControlHandle(window_, name);
}

void MainWindowDriver::Click(const char* name) {
    SendMessageW(Control(name), BM_CLICK, 0, 0);
}

void MainWindowDriver::PressKey(const char* name, int virtualKey) {
    HWND control = Control(name);
    SetFocus(control);
    SendMessageW(control, WM_KEYDOWN, virtualKey, 1);
    SendMessageW(control, WM_KEYUP, virtualKey, 0xC0000001);
}

void MainWindowDriver::LoadCatalogue() {
    Click(kInitButton);
    ASSERT_EQ(ui::GetCaption(kInitButton), kCaptionLoaded);
}

int CountRequests(const std::vector<LoggedRequest>& log, const std::string& prefix) {
    int n = 0;
    for (const LoggedRequest& r : log)
        n += r.request_line.rfind(prefix, 0) == 0;
    return n;
}

std::string LoggedHeader(const LoggedRequest& request, const std::string& name) {
    for (const auto& [key, value] : request.headers)
        if (key == name)
            return value;
    return {};
}

int CountDarkPixels(HWND window, int threshold) {
    int dark = 0;
    for (const std::uint32_t p : testsupport::CaptureClient(window, [] {}).pixels)
        dark += (p & 0xFF) < static_cast<unsigned>(threshold) &&
                (p >> 8 & 0xFF) < static_cast<unsigned>(threshold) &&
                (p >> 16 & 0xFF) < static_cast<unsigned>(threshold);
    return dark;
}
