// The real program, started as its own process: the animation window first, then the main
// window with its shadow and skin; closing the main window ends the process with exit code 0.
// The program reaches the local service (LANZIFANG_UPDATE_URL) for the update page.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/dialog_answerer.h"
#include "tests/support/service_client.h"
#include "tests/support/window_test_support.h"

namespace {

std::wstring ProgramPath() {
    std::string path = LZF_PROGRAM_EXE;
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') {  // a path of the build machine: Wine's Z: drive
        for (wchar_t& c : wide)
            c = c == L'/' ? L'\\' : c;
        wide = L"Z:" + wide;
    }
    return wide;
}

struct Program {
    PROCESS_INFORMATION process = {};

    bool Start() {
        STARTUPINFOW startup = {sizeof(startup)};
        std::wstring command = L"\"" + ProgramPath() + L"\"";
        return CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process) != FALSE;
    }
    // Waits for the process to end; its exit code, or -1 when it is still running.
    long WaitForExit(DWORD ms) {
        if (WaitForSingleObject(process.hProcess, ms) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        return static_cast<long>(code);
    }
    ~Program() {
        if (process.hProcess) {
            if (WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0)
                TerminateProcess(process.hProcess, 99);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
};

struct Found {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    auto* found = reinterpret_cast<Found*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == found->pid && IsWindowVisible(window))
        found->windows.push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleWindowsOf(const Program& program) {
    Found found = {program.process.dwProcessId, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
    return found.windows;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TitleOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

bool IsAnimationWindow(HWND window) {
    RECT rc;
    GetWindowRect(window, &rc);
    return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYERED) && rc.right - rc.left == 495 &&
           rc.bottom - rc.top == 331 && ClassOf(window) != L"QMVK";
}

// Polls `condition` every 10 ms for at most `ms`.
template <typename Condition>
bool WaitFor(Condition condition, DWORD ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10)) {
        if (condition())
            return true;
    }
    return condition();
}

HWND FindOwn(const Program& program, bool (*match)(HWND)) {
    for (HWND window : VisibleWindowsOf(program))
        if (match(window))
            return window;
    return nullptr;
}

bool IsMainWindow(HWND window) {
    return ClassOf(window) == L"QMVK";
}

class WholeProgram : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(ServiceUrl().empty()) << "LZF_SERVICE_URL is not set";
        ASSERT_TRUE(ServiceControl("reset=1"));
        SetEnvironmentVariableA("LANZIFANG_UPDATE_URL",
                                (ServiceUrl() + "skin/update.html").c_str());
    }
};

TEST_F(WholeProgram, AnimationThenDecoratedMainWindowThenCleanExit) {
    Program program;
    ASSERT_TRUE(program.Start());
    HWND animation = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (animation = FindOwn(program, IsAnimationWindow)); }, 30000));
    // While it plays there is no main window.
    EXPECT_EQ(FindOwn(program, IsMainWindow), nullptr);
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (main = FindOwn(program, IsMainWindow)); }, 30000));
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(animation); }, 5000));
    EXPECT_EQ(TitleOf(main), L"\u89C8\u5B57\u574A");  // 览字坊
    // The shadow: a visible layered window of the program named by the main window.
    HWND shadow = static_cast<HWND>(GetPropW(main, L"Comet.WndShadow"));
    ASSERT_NE(shadow, nullptr);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(shadow) != FALSE; }, 5000));
    EXPECT_TRUE(GetWindowLongPtrW(shadow, GWL_EXSTYLE) & WS_EX_LAYERED);
    // The skin library has taken the main window's frame.
    EXPECT_NE(GetPropW(main, L"SkinH.Frame"), nullptr);
    // The update page was asked for once.
    std::vector<LoggedRequest> log = ParseServiceLog(ServiceLog());
    int updateRequests = 0;
    for (const LoggedRequest& r : log)
        updateRequests += r.request_line.find("/skin/update.html") != std::string::npos;
    EXPECT_EQ(updateRequests, 1);

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(20000), 0);
}

TEST_F(WholeProgram, EscapeDuringTheAnimationEndsTheProgramWithoutAMainWindow) {
    Program program;
    ASSERT_TRUE(program.Start());
    HWND animation = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (animation = FindOwn(program, IsAnimationWindow)); }, 30000));
    PostMessageW(animation, WM_KEYDOWN, VK_ESCAPE, 0);
    bool mainSeen = false;
    long code = -1;
    WaitFor(
        [&] {
            mainSeen = mainSeen || FindOwn(program, IsMainWindow);
            code = program.WaitForExit(0);
            return code != -1;
        },
        20000);
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(mainSeen);
}

bool IsUpdateMessage(HWND window) {
    return ClassOf(window) == L"#32770" &&
           TitleOf(window) == L"\u53D1\u73B0\u76AE\u80A4\u65B0\u7248\u672C";  // 发现皮肤新版本
}

BOOL CALLBACK AppendStaticText(HWND child, LPARAM parameter) {
    if (ClassOf(child) == L"Static")
        *reinterpret_cast<std::wstring*>(parameter) += TitleOf(child);
    return TRUE;
}

// The message of a message box: the text of its static controls.
std::wstring BoxText(HWND box) {
    std::wstring text;
    EnumChildWindows(box, AppendStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

TEST_F(WholeProgram, NewerSkinIsAnnouncedBeforeTheAnimation) {
    // A local file as the download address: announced, never opened.
    ASSERT_TRUE(ServiceControl("skin_version=3.5&skin_url=" +
                               ServiceEscape("file:///C:/windows/notepad.exe")));
    Program program;
    ASSERT_TRUE(program.Start());
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = FindOwn(program, IsUpdateMessage)); }, 30000));
    // The start waits for the box: no animation yet.
    EXPECT_EQ(FindOwn(program, IsAnimationWindow), nullptr);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
    EXPECT_EQ(BoxText(box).rfind(L"\u3014\u9752\u5C9A\u76AE\u80A4\u6A21\u5757\u3015", 0),
              0u);  // 〔青岚皮肤模块〕
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (main = FindOwn(program, IsMainWindow)); }, 30000));
    // No program was started for the file address (notepad would be a window of its own).
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(20000), 0);
}

struct ChildSearch {
    const wchar_t* cls;
    const wchar_t* text;  // nullptr: any
    HWND found = nullptr;
};

BOOL CALLBACK MatchChild(HWND child, LPARAM parameter) {
    auto* search = reinterpret_cast<ChildSearch*>(parameter);
    if (ClassOf(child) != search->cls || (search->text && TitleOf(child) != search->text))
        return TRUE;
    search->found = child;
    return FALSE;
}

// A control of the main window by its class and text.
HWND ChildOf(HWND main, const wchar_t* cls, const wchar_t* text) {
    ChildSearch search{cls, text};
    EnumChildWindows(main, MatchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Closing the window while a font is on its way: the download is cancelled (no file, not even
// a partial one), no message appears, and the process ends long before the transfer could have.
TEST_F(WholeProgram, ClosingDuringADownloadEndsTheProgramSilently) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"lzf-closing-" + std::to_wstring(GetTickCount());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    Program program;
    ASSERT_TRUE(program.Start());
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (main = FindOwn(program, IsMainWindow)); }, 30000));
    HWND init = ChildOf(main, L"Button", L"\u521D\u59CB\u5316\u5B57\u4F53");  // 初始化字体
    HWND list = ChildOf(main, L"SysListView32", nullptr);
    HWND download = ChildOf(main, L"Button", L"\u5B57\u4F53\u4E0B\u8F7D");  // 字体下载
    HWND cancel = ChildOf(main, L"Button", L"\u53D6\u6D88\u4E0B\u8F7D");    // 取消下载
    ASSERT_TRUE(init && list && download && cancel);
    PostMessageW(init, BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitFor(
        [&] { return TitleOf(init) == L"\u521D\u59CB\u5316\u5B57\u4F53\u3010\u5B8C\u6210\u3011"; },
        30000));  // 初始化字体【完成】
    // ↓ on a list without a current row makes the first font current and checks it.
    PostMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
    ASSERT_TRUE(WaitFor([&] { return IsWindowEnabled(download) != FALSE; }, 30000));

    ASSERT_TRUE(ServiceControl("path=/Download/*&drip_bytes=256&drip_ms=200"));
    ServiceClearLog();
    PostMessageW(download, BM_CLICK, 0, 0);
    std::wstring dialogTitle = L"\u5B57\u4F53\u4E0B\u8F7D\u3010\u89C8\u5B57\u574A\u3011";
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitFor(
        [&] { return (dialog = dialogs::FindDialog(&dialogTitle, program.process.dwProcessId)); },
        30000));
    ASSERT_TRUE(
        WaitFor([&] { return dialogs::AnswerSaveDialog(dialog, folder + L"\\font"); }, 10000));
    ASSERT_TRUE(WaitFor(
        [&] {
            return IsWindowVisible(cancel) &&
                   ServiceLog().find("POST /Download/") != std::string::npos;
        },
        30000));

    DWORD closed = GetTickCount();
    PostMessageW(main, WM_CLOSE, 0, 0);
    // The whole font at this pace takes minutes.
    EXPECT_EQ(program.WaitForExit(60000), 0);
    std::printf("from WM_CLOSE to the end of the process: %lu ms\n", GetTickCount() - closed);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*.*").c_str(), &found);
    int files = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ++files;
                DeleteFileW((folder + L"\\" + found.cFileName).c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(files, 0);
}

TEST_F(WholeProgram, StartsWithoutAnyUpdateServer) {
    const int port = testsupport::UnusedLoopbackPort();
    ASSERT_NE(port, 0);
    SetEnvironmentVariableA(
        "LANZIFANG_UPDATE_URL",
        ("http://127.0.0.1:" + std::to_string(port) + "/skin/update.html").c_str());
    Program program;
    ASSERT_TRUE(program.Start());
    HWND main = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (main = FindOwn(program, IsMainWindow)); }, 30000));
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(20000), 0);
}

}  // namespace
