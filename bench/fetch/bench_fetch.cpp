// Downloads one address with InetRequest a few times and prints the best throughput and the
// peak memory. Run by run.sh, which serves the file and measures curl beside it.
//
//   bench_fetch.exe URL EXPECTED_BYTES [ROUNDS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "bench/probe_support.h"
#include "http/inet_request.h"

using probe::Now;
using probe::PeakWorkingSet;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_fetch URL EXPECTED_BYTES [ROUNDS]\n");
        return 2;
    }
    const Text url = argv[1];
    const unsigned long long expected = std::strtoull(argv[2], nullptr, 10);
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const size_t baseline = PeakWorkingSet();
    double best = 1e9;
    for (int i = 0; i < rounds; ++i) {
        InetResult result;
        const double start = Now();
        const Bytes body = InetRequest(url, 0, "", "", {.result = &result});
        const double took = Now() - start;
        if (body.size() != expected || !result.complete || result.status != 200) {
            std::fprintf(stderr, "round %d: %zu bytes, status %d, complete %d (expected %llu)\n",
                         i + 1, body.size(), result.status, result.complete ? 1 : 0, expected);
            return 1;
        }
        if (took < best)
            best = took;
    }
    const size_t peak = PeakWorkingSet();
    // One line for the driver: seconds, peak working set, baseline before the first download.
    std::printf("ours %.6f %zu %zu\n", best, peak, baseline);
    return 0;
}
