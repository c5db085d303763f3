// Start-up time of lanzifang.exe: from process creation until its main window is visible,
// against the length of the animation's own timer chain (10 ms, then 34 x 50 ms, then the
// last frame) measured in this process, in the same run. The program logs how long every
// frame took to decode, compose and present (LANZIFANG_FRAME_LOG).
//   startup_bench <lanzifang.exe> [runs]
#include <winsock2.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

// The chain of 35 one-shot timers on a window of this thread, as the animation arms them.
int chainStep = 0;
double chainEnd = 0;

void CALLBACK ChainTick(HWND window, UINT, UINT_PTR id, DWORD) {
    KillTimer(window, id);
    if (++chainStep == 35) {
        chainEnd = NowMs();
        return;
    }
    SetTimer(window, id + 1, 50, ChainTick);
}

double MeasureTimerChain() {
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    chainStep = 0;
    chainEnd = 0;
    double start = NowMs();
    SetTimer(window, 1, 10, ChainTick);
    MSG msg;
    while (chainEnd == 0 && GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    DestroyWindow(window);
    return chainEnd - start;
}

// The program's visible main window, or null. Cheap enough to poll: one class lookup.
HWND FindMain(DWORD pid) {
    for (HWND w = FindWindowExW(nullptr, nullptr, L"QMVK", nullptr); w;
         w = FindWindowExW(nullptr, w, L"QMVK", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && IsWindowVisible(w))
            return w;
    }
    return nullptr;
}

std::wstring WindowsPath(const char* path) {
    std::string p = path;
    std::wstring wide(p.begin(), p.end());
    if (!wide.empty() && wide[0] == L'/') {
        for (wchar_t& c : wide)
            c = c == L'/' ? L'\\' : c;
        wide = L"Z:" + wide;
    }
    return wide;
}

int UnusedPort() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    int n = sizeof(a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    closesocket(s);
    return ntohs(a.sin_port);
}

struct Run {
    double visibleMs = 0;    // process creation -> main window visible, seen from here
    double inProgramMs = 0;  // the program's own clock when it showed the main window
    double entryMs = 0;      // ... when ProgramMain began (the process start before it is Wine's)
    double animationMs = 0;  // ... when the animation window had been created
    double firstFrameMs = 0;
    double lastFrameMs = 0;
    std::vector<double> frameUs;
};

bool RunOnce(const std::wstring& exe, const std::wstring& log, Run& run) {
    DeleteFileW(log.c_str());
    STARTUPINFOW startup = {sizeof(startup)};
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + exe + L"\"";
    double start = NowMs();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    // Polled every 5 ms: often enough for the figure, rarely enough not to slow the program.
    HWND main = nullptr;
    while (!(main = FindMain(process.dwProcessId)) && NowMs() - start < 30000)
        Sleep(5);
    run.visibleMs = NowMs() - start;
    if (main)
        PostMessageW(main, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (!main)
        return false;

    FILE* f = _wfopen(log.c_str(), L"r");
    if (!f)
        return false;
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        int frame = 0;
        double at = 0, took = 0;
        if (std::sscanf(line, "frame %d at %lf took %lf", &frame, &at, &took) == 3) {
            run.frameUs.push_back(took);
            if (frame == 1)
                run.firstFrameMs = at;
            run.lastFrameMs = at;
        } else if (std::sscanf(line, "main-window at %lf", &at) == 1) {
            run.inProgramMs = at;
        } else if (std::sscanf(line, "program-main at %lf", &at) == 1) {
            run.entryMs = at;
        } else if (std::sscanf(line, "animation-window at %lf", &at) == 1) {
            run.animationMs = at;
        }
    }
    std::fclose(f);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <lanzifang.exe> [runs]\n", argv[0]);
        return 2;
    }
    int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    // The benchmark is built in the same tree as the program it starts.
    std::printf("build: %s\n",
                sizeof(void*) == 8 ? "x86-64 (PE32+, 64-bit Wine)" : "i686 (PE32, 32-bit Wine)");
    std::wstring exe = WindowsPath(argv[1]);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring log = std::wstring(temp) + L"lzf-startup-frames.log";
    SetEnvironmentVariableW(L"LANZIFANG_FRAME_LOG", log.c_str());
    // No update server: the check fails at once, so the figures are the program's own.
    std::string url = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/skin/update.html";
    SetEnvironmentVariableA("LANZIFANG_UPDATE_URL", url.c_str());

    Run warm;
    RunOnce(exe, log, warm);  // the first start also loads Wine's libraries from disk

    std::printf("%-4s %12s %12s %12s %10s %12s %12s\n", "run", "chain ms", "visible ms",
                "beyond ms", "ratio", "frame avg us", "frame max us");
    double sumBeyond = 0, sumRatio = 0, sumEntry = 0, sumBeforeFrames = 0, sumAfterFrames = 0;
    double worstFrame = 0;
    std::vector<double> allFrames, beyond;
    int good = 0;
    for (int i = 1; i <= runs; ++i) {
        double chain = MeasureTimerChain();
        Run run;
        if (!RunOnce(exe, log, run)) {
            std::printf("%-4d the main window did not appear\n", i);
            continue;
        }
        double avg = 0, max = 0;
        for (double us : run.frameUs) {
            avg += us;
            max = std::max(max, us);
        }
        avg = run.frameUs.empty() ? 0 : avg / run.frameUs.size();
        std::printf("%-4d %12.0f %12.0f %12.0f %10.3f %12.0f %12.0f\n", i, chain, run.visibleMs,
                    run.visibleMs - chain, run.visibleMs / chain, avg, max);
        std::printf(
            "     program clock (ms): entry %.0f, animation window %.0f, frame 1 %.0f, "
            "frame 35 %.0f, main window %.0f (%zu frames)\n",
            run.entryMs, run.animationMs, run.firstFrameMs, run.lastFrameMs, run.inProgramMs,
            run.frameUs.size());
        sumBeyond += run.visibleMs - chain;
        beyond.push_back(run.visibleMs - chain);
        sumRatio += run.visibleMs / chain;
        sumEntry += run.entryMs;
        sumBeforeFrames += run.firstFrameMs - run.entryMs;
        sumAfterFrames += run.inProgramMs - run.lastFrameMs;
        worstFrame = std::max(worstFrame, max);
        allFrames.insert(allFrames.end(), run.frameUs.begin(), run.frameUs.end());
        ++good;
    }
    if (good == 0 || allFrames.empty())
        return 1;
    std::sort(allFrames.begin(), allFrames.end());
    std::sort(beyond.begin(), beyond.end());
    double sumFrame = 0;
    for (double us : allFrames)
        sumFrame += us;
    std::printf("\nnominal chain: 1760 ms (10 + 35 x 50)\n");
    std::printf(
        "mean: visible / chain %.3f, %.0f ms beyond the chain (target <= 250); median %.0f ms, "
        "best %.0f ms\n",
        sumRatio / good, sumBeyond / good, beyond[beyond.size() / 2], beyond.front());
    std::printf(
        "      of which: process start to entry %.0f ms, entry to frame 1 %.0f ms, "
        "frame 35 to main window %.0f ms\n",
        sumEntry / good, sumBeforeFrames / good, sumAfterFrames / good);
    std::printf(
        "frames: median %.2f ms, mean %.2f ms, worst %.2f ms to decode, compose and "
        "present (target < 8); median / 50 ms interval %.3f\n",
        allFrames[allFrames.size() / 2] / 1000, sumFrame / allFrames.size() / 1000,
        worstFrame / 1000, allFrames[allFrames.size() / 2] / 1000 / 50);
    return 0;
}
