// The bare probe beside InetRequest: the same GET over WinInet made with nothing else around
// it, in a few ways (read sizes, with and without the transport's cache), each timed a few
// rounds. Prints one line per way and, last, the fastest one, which is the probe's figure.
//
//   probe_fetch.exe URL EXPECTED_BYTES [ROUNDS]
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
    DWORD flags;
    size_t step;
};

constexpr DWORD kNoCache = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr Way kWays[] = {
    {"cached,1MiB-reads", 0, 1 << 20},
    {"no-cache,64KiB-reads", kNoCache, 64 << 10},
    {"no-cache,1MiB-reads", kNoCache, 1 << 20},
    {"no-cache,16MiB-reads", kNoCache, 16 << 20},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: probe_fetch URL EXPECTED_BYTES [ROUNDS]\n");
        return 2;
    }
    const std::string narrow = argv[1];
    const std::wstring url(narrow.begin(), narrow.end());
    const size_t expected = std::strtoull(argv[2], nullptr, 10);
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const Way* fastest = nullptr;
    double fastestTime = 1e9;
    for (const Way& way : kWays) {
        std::vector<double> times;
        for (int i = 0; i < rounds; ++i) {
            probe::InetBody body;
            const double start = probe::Now();
            const bool ok = probe::BareInetRequest(url, nullptr, way.flags, way.step, body);
            const double took = probe::Now() - start;
            if (!ok || body.size != expected || body.status != 200) {
                std::fprintf(stderr, "%s: %zu bytes, status %d\n", way.name, body.size,
                             body.status);
                return 1;
            }
            times.push_back(took);
        }
        std::printf("way %s %.6f\n", way.name, probe::Best(times));
        if (probe::Best(times) < fastestTime) {
            fastestTime = probe::Best(times);
            fastest = &way;
        }
    }
    std::printf("probe %.6f %s\n", fastestTime, fastest->name);
    return 0;
}
