// The font download on the real main window: a click on 超级按钮3, the save dialog answered
// with a path (an existing file there, so every round replaces one), the POST to the service,
// the bytes written beside the file and moved over it, until the success message. Timed from
// the dialog's answer to the message, as the user waits; the peak working set of the process
// is read at the end. Run by run.sh, once per mode, each in a fresh process:
//
//   bench_download.exe feature ROUNDS TARGET EXPECTED_BYTES
//       the whole feature, as above
//   bench_download.exe engine ROUNDS TARGET EXPECTED_BYTES
//       its parts alone, without the window: the same InetRequest call, then the same
//       WriteFileWhole, each timed, and a plain write of the bytes without the flush
//
// Prints "ours|engine <best s> <median s> <peak bytes> <working set before bytes>" and, for
// the engine, "part <name> <median s>" lines.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/catalogue/bench_window.h"
#include "bench/probe_support.h"
#include "catalogue/catalogue_state.h"
#include "catalogue/file_writer.h"
#include "catalogue/service_headers.h"
#include "core/codepage.h"
#include "http/inet_request.h"
#include "ui/dialogs.h"
#include "ui/properties.h"

namespace {

bool FileHasSize(const std::wstring& path, size_t expected) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow) ==
           expected;
}

// A small file at the target, so that the download replaces an existing file.
void PutOldFile(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(f, "old", 3, &written, nullptr);
    CloseHandle(f);
}

int Feature(int rounds, const std::wstring& target, size_t expected) {
    bench::MainWindow window;
    if (!window.window()) {
        std::fprintf(stderr, "the main window could not be created\n");
        return 1;
    }
    double answered = 0, messaged = 0;
    Text message;
    ui::SetSaveDialogObserver([&](const ui::SaveDialogRequest&) {
        answered = probe::Now();
        return target;
    });
    ui::SetMessageObserver([&](const ui::MessageRequest& request) {
        messaged = probe::Now();
        message = request.text;
        return IDOK;
    });
    HWND button = window.Control(kDownloadButton);
    const size_t before = probe::WorkingSet();
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        PutOldFile(target);
        answered = messaged = 0;
        // As after a description check that allowed the download.
        ui::SetDisabled(kDownloadButton, false);
        SendMessageW(button, BM_CLICK, 0, 0);
        if (!answered || !messaged || message.rfind("恭喜", 0) != 0 ||
            !FileHasSize(target, expected)) {
            std::fprintf(stderr, "round %d: the download did not succeed\n", round + 1);
            return 1;
        }
        times.push_back(messaged - answered);
        std::printf("round %d %.6f\n", round + 1, messaged - answered);
    }
    std::printf("ours %.6f %.6f %zu %zu\n", probe::Best(times), probe::Median(times),
                probe::PeakWorkingSet(), before);
    return 0;
}

int Engine(int rounds, const std::wstring& target, size_t expected) {
    const Text id = "104";
    const Text body = "id=" + id;
    const size_t before = probe::WorkingSet();
    std::vector<double> total, fetch, write, plainWrite;
    for (int round = 0; round < rounds; ++round) {
        PutOldFile(target);
        InetResult result;
        const double t0 = probe::Now();
        Bytes font = InetRequest(CatalogueUrl("Download/" + id), 1, body,
                                 DownloadHeaders(body.size()), {.result = &result});
        const double t1 = probe::Now();
        const bool ok = result.status == 200 && result.complete && font.size() == expected &&
                        WriteFileWhole(target, font);
        const double t2 = probe::Now();
        if (!ok || !FileHasSize(target, expected)) {
            std::fprintf(stderr, "round %d: the engine's download failed\n", round + 1);
            return 1;
        }
        total.push_back(t2 - t0);
        fetch.push_back(t1 - t0);
        write.push_back(t2 - t1);
        // The same bytes written without the flush to the disk, for comparison.
        const std::wstring plain = target + L".plain";
        const double t3 = probe::Now();
        HANDLE f = CreateFileW(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(f, font.data(), static_cast<DWORD>(font.size()), &written, nullptr);
        CloseHandle(f);
        plainWrite.push_back(probe::Now() - t3);
        DeleteFileW(plain.c_str());
    }
    std::printf("part inetrequest %.6f\n", probe::Median(fetch));
    std::printf("part writefilewhole %.6f\n", probe::Median(write));
    std::printf("part plain-write %.6f\n", probe::Median(plainWrite));
    std::printf("engine %.6f %.6f %zu %zu\n", probe::Best(total), probe::Median(total),
                probe::PeakWorkingSet(), before);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench_download feature|engine ROUNDS TARGET EXPECTED_BYTES\n");
        return 2;
    }
    const std::string mode = argv[1];
    const int rounds = std::max(1, std::atoi(argv[2]));
    const std::wstring target = codepage::Wide(argv[3]);
    const size_t expected = std::strtoull(argv[4], nullptr, 10);
    if (mode == "feature")
        return Feature(rounds, target, expected);
    if (mode == "engine")
        return Engine(rounds, target, expected);
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
