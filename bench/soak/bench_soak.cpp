// The long run: ↓ steps through a large font list with downloads (some cancelled) and picture
// saves in between, on the real main window of this process, with the real save dialog and
// message boxes, which a second thread answers as a user would. The process's private bytes,
// handle count and GDI and USER objects are printed after the list is loaded, after every 100
// steps and at the end, each with its ratio to the figures after the first 100 steps (the
// baseline: the first steps still fill caches); the target is a ratio under 1.05.
//
//   bench_soak.exe [STEPS] [DOWNLOADS] [CANCELS] [PICTURES]    (default 1000 200 20 50)
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "app/program_windows.h"
#include "bench/catalogue/bench_window.h"
#include "catalogue/catalogue.h"
#include "catalogue/catalogue_state.h"
#include "core/codepage.h"
#include "tests/support/dialog_answerer.h"
#include "tests/support/service_client.h"
#include "ui/dialogs.h"
#include "ui/properties.h"
#include "ui/window.h"

namespace {

// --- What the process holds.

struct Figures {
    double privateMiB = 0;  // commit charge: PagefileUsage is what Windows calls private bytes
    double workingSetMiB = 0;
    long handles = -1;    // -1: not reported
    long dialogKeys = 0;  // of these, the save dialog's LastVisitedMRU key (see MruKeys)
    long gdi = -1;
    long user = -1;
    long windows = 0;  // top-level and child windows of this process
};

BOOL CALLBACK CountChild(HWND, LPARAM count) {
    ++*reinterpret_cast<long*>(count);
    return TRUE;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM count) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId()) {
        ++*reinterpret_cast<long*>(count);
        EnumChildWindows(window, CountChild, count);
    }
    return TRUE;
}

using QueryObject = LONG(WINAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);

// A function of ntdll by name (null when it has none).
template <typename Function>
Function NtdllFunction(const char* name) {
    FARPROC address = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name);
    // Through a plain function pointer: FARPROC's own type says nothing about the function's.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// The name (1) or type name (2) of one of this process's handles.
std::wstring ObjectText(QueryObject query, HANDLE handle, ULONG what) {
    struct Unicode {
        USHORT length;
        USHORT maximum;
        PWSTR buffer;
    };
    std::vector<char> buffer(4096);
    ULONG needed = 0;
    if (query(handle, what, buffer.data(), static_cast<ULONG>(buffer.size()), &needed) != 0)
        return {};
    auto* text = reinterpret_cast<Unicode*>(buffer.data());
    return text->buffer ? std::wstring(text->buffer, text->length / 2) : std::wstring();
}

// Wine's save dialog opens the registry key of its most recently used folders each time a
// name is confirmed and never closes it: one handle per save, not the program's to give back.
// Only registry keys are asked for their names (asking a pipe can block).
long MruKeys(const std::vector<HANDLE>& handles) {
    auto query = NtdllFunction<QueryObject>("NtQueryObject");
    if (!query)
        return 0;
    const std::wstring suffix = L"\\ComDlg32\\LastVisitedMRU";
    long keys = 0;
    for (HANDLE handle : handles) {
        if (ObjectText(query, handle, 2) != L"Key")
            continue;
        std::wstring name = ObjectText(query, handle, 1);
        keys += name.size() >= suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    return keys;
}

// This process's handles from the system's handle table (Wine's GetProcessHandleCount answers
// 0); false when the table cannot be read.
bool OwnHandles(std::vector<HANDLE>* own) {
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = NtdllFunction<Query>("NtQuerySystemInformation");
    if (!query)
        return false;
    struct Entry {
        ULONG process;
        UCHAR type;
        UCHAR flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    constexpr ULONG kSystemHandleInformation = 16;
    while (query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                 &needed) != 0) {
        if (buffer.size() >= (64u << 20))
            return false;
        buffer.resize(buffer.size() * 2);
    }
    ULONG count = *reinterpret_cast<ULONG*>(buffer.data());
    auto* entries = reinterpret_cast<Entry*>(buffer.data() + sizeof(ULONG_PTR));
    for (ULONG i = 0; i < count; ++i) {
        if (entries[i].process == GetCurrentProcessId())
            own->push_back(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(entries[i].handle)));
    }
    return true;
}

Figures Measure() {
    Figures f;
    PROCESS_MEMORY_COUNTERS memory = {sizeof(memory)};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory))) {
        f.privateMiB = memory.PagefileUsage / 1048576.0;
        f.workingSetMiB = memory.WorkingSetSize / 1048576.0;
    }
    std::vector<HANDLE> own;
    DWORD handles = 0;
    if (OwnHandles(&own)) {
        f.handles = static_cast<long>(own.size());
        f.dialogKeys = MruKeys(own);
    } else if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles > 0) {
        f.handles = static_cast<long>(handles);
    }
    // 0 objects is impossible for a process with windows: the platform does not count them.
    DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    f.gdi = gdi ? static_cast<long>(gdi) : -1;
    f.user = user ? static_cast<long>(user) : -1;
    EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&f.windows));
    return f;
}

void PrintCount(const char* name, long value, long base) {
    if (value < 0)
        std::printf("  %s n/a", name);
    else if (base > 0)
        std::printf("  %s %ld (%.3f)", name, value, static_cast<double>(value) / base);
    else
        std::printf("  %s %ld", name, value);
}

void Print(const char* when, const Figures& f, const Figures* base) {
    std::printf("%-16s private %.1f MiB", when, f.privateMiB);
    if (base && base->privateMiB > 0)
        std::printf(" (%.3f)", f.privateMiB / base->privateMiB);
    std::printf("  working set %.1f MiB", f.workingSetMiB);
    PrintCount("handles", f.handles, base ? base->handles : 0);
    if (f.dialogKeys > 0) {
        const long others = f.handles - f.dialogKeys;
        const long baseOthers = base ? base->handles - base->dialogKeys : 0;
        std::printf(" [save dialog's MRU keys %ld, others %ld", f.dialogKeys, others);
        if (baseOthers > 0)
            std::printf(" (%.3f)", static_cast<double>(others) / baseOthers);
        std::printf("]");
    }
    PrintCount("GDI", f.gdi, base ? base->gdi : 0);
    PrintCount("USER", f.user, base ? base->user : 0);
    PrintCount("windows", f.windows, base ? base->windows : 0);
    std::printf("\n");
    std::fflush(stdout);
}

// --- The user on the other thread: answers the save dialogs and the messages.

std::mutex g_userLock;
std::wstring g_nextPath;  // what the next save dialog gets
int g_succeeded = 0;
int g_failed = 0;
int g_otherMessages = 0;
volatile bool g_stopUser = false;

// A dialog goes when the window thread has processed the answer.
void WaitUntilGone(HWND dialog) {
    for (int i = 0; i < 1000 && IsWindow(dialog) && IsWindowVisible(dialog); ++i)
        Sleep(5);
}

DWORD WINAPI User(void*) {
    const std::wstring saveTitles[] = {codepage::Wide("字体下载【览字坊】"),
                                       codepage::Wide("保存图片【览字坊】")};
    const std::wstring messageTitles[] = {codepage::Wide("字体下载"), codepage::Wide("图片下载")};
    const std::wstring success = codepage::Wide("恭喜！");
    while (!g_stopUser) {
        for (const std::wstring& title : saveTitles) {
            if (HWND dialog = dialogs::FindDialog(&title, GetCurrentProcessId())) {
                std::wstring path;
                {
                    std::lock_guard<std::mutex> hold(g_userLock);
                    path = g_nextPath;
                }
                if (dialogs::AnswerSaveDialog(dialog, path))
                    WaitUntilGone(dialog);
            }
        }
        for (const std::wstring& title : messageTitles) {
            if (HWND box = dialogs::FindDialog(&title, GetCurrentProcessId())) {
                std::wstring text = dialogs::MessageBoxText(box);
                if (text.empty())
                    continue;  // not filled in yet
                {
                    std::lock_guard<std::mutex> hold(g_userLock);
                    if (text.rfind(success, 0) == 0)
                        ++g_succeeded;
                    else if (text.find(codepage::Wide("失败")) != std::wstring::npos)
                        ++g_failed;
                    else
                        ++g_otherMessages;
                }
                dialogs::PressButton(box, IDOK);
                WaitUntilGone(box);
            }
        }
        Sleep(10);
    }
    return 0;
}

// --- The run.

HWND g_cancelButton = nullptr;
int g_cancelsClicked = 0;

// Clicks 取消下载 once the transfer is under way.
void CALLBACK CancelWhenRunning(HWND, UINT, UINT_PTR id, DWORD) {
    if (!IsWindowVisible(g_cancelButton))
        return;
    if (ServiceLog().find("POST /Download/") == std::string::npos)
        return;
    KillTimer(nullptr, id);
    ++g_cancelsClicked;
    SendMessageW(g_cancelButton, BM_CLICK, 0, 0);
}

void ClearFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

void SetNextPath(const std::wstring& path) {
    std::lock_guard<std::mutex> hold(g_userLock);
    g_nextPath = path;
}

int Arg(int argc, char** argv, int i, int fallback) {
    return argc > i ? std::atoi(argv[i]) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int steps = Arg(argc, argv, 1, 1000);
    const int downloads = Arg(argc, argv, 2, 200);
    const int cancels = Arg(argc, argv, 3, 20);
    const int pictures = Arg(argc, argv, 4, 50);
    if (steps < 100 || downloads < 0 || cancels < 0 || cancels > downloads || pictures < 0) {
        std::fprintf(stderr,
                     "usage: bench_soak.exe [STEPS>=100] [DOWNLOADS] [CANCELS] [PICTURES]\n");
        return 2;
    }
#ifdef _WIN64
    std::printf("build: x86-64\n");
#else
    std::printf("build: i686\n");
#endif

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"lzf-soak-" + std::to_wstring(GetTickCount());
    CreateDirectoryW(folder.c_str(), nullptr);

    ui::SetOpenAddressObserver([](const Text&) {});
    HWND main = CreateMainWindow();
    if (!main) {
        std::fprintf(stderr, "no main window\n");
        return 1;
    }
    ui::ShowLayoutWindow(main);
    HWND list = ui::ControlHandle(main, kFontList);
    HWND download = ui::ControlHandle(main, kDownloadButton);
    HWND savePicture = ui::ControlHandle(main, kSavePictureButton);
    g_cancelButton = ui::ControlHandle(main, kCancelButton);

    SendMessageW(ui::ControlHandle(main, kInitButton), BM_CLICK, 0, 0);
    const int rows = ui::ListRowCount(kFontList);
    if (!IsCatalogueLoaded() || rows <= steps) {
        std::fprintf(stderr, "the list has %d fonts; %d steps need more\n", rows, steps);
        return 1;
    }
    std::printf("list: %d fonts; %d steps, %d downloads (%d cancelled), %d picture saves\n", rows,
                steps, downloads, cancels, pictures);
    HANDLE user = CreateThread(nullptr, 0, User, nullptr, 0, nullptr);

    Figures start = Measure();
    Print("loaded", start, nullptr);
    Figures baseline;
    ui::ListSetCurrentRow(kFontList, 0);
    int downloadsDone = 0;
    int cancelsDone = 0;
    int picturesDone = 0;
    int file = 0;
    for (int step = 1; step <= steps; ++step) {
        SetFocus(list);
        SendMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
        SendMessageW(list, WM_KEYUP, VK_DOWN, 0xC0000001);
        // A row chosen as the mouse would: its check runs in a thread of its own.
        if (step % 10 == 5)
            StartDescriptionCheck();

        if (downloadsDone < downloads * step / steps) {
            // Spread the cancels over the run: every (downloads / cancels)-th download.
            const bool cancel =
                cancelsDone < cancels * (downloadsDone + 1) / std::max(downloads, 1);
            SetNextPath(folder + L"\\font" + std::to_wstring(++file));
            if (cancel) {
                ServiceControl("path=/Download/*&drip_bytes=4096&drip_ms=50&times=1");
                ServiceClearLog();
                SetTimer(nullptr, 0, 20, CancelWhenRunning);
                ++cancelsDone;
            }
            SendMessageW(download, BM_CLICK, 0, 0);  // returns when the download has ended
            ++downloadsDone;
            ClearFolder(folder);
        }
        if (picturesDone < pictures * step / steps) {
            SetNextPath(folder + L"\\picture" + std::to_wstring(++file));
            SendMessageW(savePicture, BM_CLICK, 0, 0);
            ++picturesDone;
            ClearFolder(folder);
        }
        if (step % 100 == 0) {
            bench::PumpFor(200);  // the threads of the last checks end
            Figures now = Measure();
            if (step == 100)
                baseline = now;
            char label[32];
            std::snprintf(label, sizeof label, "after %d", step);
            Print(label, now, &baseline);
        }
    }
    bench::PumpFor(500);
    Figures end = Measure();
    Print("end", end, &baseline);

    g_stopUser = true;
    WaitForSingleObject(user, 5000);
    CloseHandle(user);
    DestroyWindow(main);
    bench::PumpFor(100);
    ClearFolder(folder);
    RemoveDirectoryW(folder.c_str());

    const int expectedSuccesses = downloads - cancels + pictures;
    std::printf(
        "done: %d downloads (%d cancel clicks), %d picture saves; messages: %d success, %d "
        "failure, %d other (expected %d success, 0 failure)\n",
        downloadsDone, g_cancelsClicked, picturesDone, g_succeeded, g_failed, g_otherMessages,
        expectedSuccesses);
    const double growth = baseline.privateMiB > 0 ? end.privateMiB / baseline.privateMiB : 0;
    std::printf("private bytes at the end / after 100 steps: %.3f (target under 1.05)\n", growth);
    if (baseline.handles > 0) {
        std::printf(
            "handles at the end / after 100 steps: %.3f; without the dialog's MRU key: %.3f\n",
            static_cast<double>(end.handles) / baseline.handles,
            static_cast<double>(end.handles - end.dialogKeys) /
                (baseline.handles - baseline.dialogKeys));
    }
    const bool allDone =
        g_succeeded == expectedSuccesses && g_failed == 0 && g_cancelsClicked == cancels;
    return allDone ? 0 : 1;
}
