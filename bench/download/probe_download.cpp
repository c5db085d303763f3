// The bare probe beside the font download: the same POST over WinInet with nothing around it,
// the body read into one buffer, written to a new file beside the target and moved over the
// existing target. Tried in a few ways (read sizes; with and without flushing the new file to
// the disk before the move, which keeps the old file whole if the machine stops right then);
// prints one line per way, then the fastest way with a flush and the fastest without, each
// with the process's peak working set.
//
//   probe_download.exe URL ROUNDS TARGET EXPECTED_BYTES
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/probe_support.h"
#include "bench/wininet_probe.h"

namespace {

struct Way {
    const char* name;
    size_t step;
    bool flush;
};

constexpr Way kWays[] = {
    {"64KiB-reads,flush", 64 << 10, true},     {"1MiB-reads,flush", 1 << 20, true},
    {"16MiB-reads,flush", 16 << 20, true},     {"1MiB-reads,no-flush", 1 << 20, false},
    {"16MiB-reads,no-flush", 16 << 20, false},
};

std::wstring Widen(const std::string& s) {
    return std::wstring(s.begin(), s.end());
}

bool WriteBesideAndReplace(const std::wstring& target, const probe::InetBody& body, bool flush) {
    const std::wstring partial = target + L".part";
    HANDLE f = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(f, body.bytes.get(), static_cast<DWORD>(body.size), &written, nullptr) &&
              written == body.size;
    if (flush)
        ok = FlushFileBuffers(f) && ok;
    ok = CloseHandle(f) && ok;
    return ok && MoveFileExW(partial.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | (flush ? MOVEFILE_WRITE_THROUGH : 0));
}

void PutOldFile(const std::wstring& path) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(f, "old", 3, &written, nullptr);
    CloseHandle(f);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: probe_download URL ROUNDS TARGET EXPECTED_BYTES\n");
        return 2;
    }
    const std::wstring url = Widen(argv[1]);
    const int rounds = std::max(1, std::atoi(argv[2]));
    const std::wstring target = Widen(argv[3]);
    const size_t expected = std::strtoull(argv[4], nullptr, 10);
    const size_t before = probe::WorkingSet();
    const Way* best[2] = {};
    double bestTime[2] = {1e9, 1e9};
    for (const Way& way : kWays) {
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            PutOldFile(target);
            probe::InetBody body;
            const double start = probe::Now();
            const bool ok = probe::BareInetRequest(
                                url, "id=104", INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                way.step, body) &&
                            body.status == 200 && body.size == expected &&
                            WriteBesideAndReplace(target, body, way.flush);
            const double took = probe::Now() - start;
            if (!ok) {
                std::fprintf(stderr, "%s: %zu bytes, status %d\n", way.name, body.size,
                             body.status);
                return 1;
            }
            times.push_back(took);
        }
        std::printf("way %s %.6f\n", way.name, probe::Best(times));
        if (probe::Best(times) < bestTime[way.flush]) {
            bestTime[way.flush] = probe::Best(times);
            best[way.flush] = &way;
        }
    }
    std::printf("probe %.6f %s %zu %zu\n", bestTime[1], best[1]->name, probe::PeakWorkingSet(),
                before);
    std::printf("probe-no-flush %.6f %s\n", bestTime[0], best[0]->name);
    return 0;
}
