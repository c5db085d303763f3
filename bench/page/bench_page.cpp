// Fetches the catalogue's home page with WebRequest and with the bare probe (probe_page.h, in
// each of its ways), round by round so that both see the same machine, and prints the best and
// median of each. Run by run.sh, which serves a large catalogue page and times curl beside.
//
//   bench_page.exe URL [ROUNDS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/page/probe_page.h"
#include "bench/probe_support.h"
#include "http/web_request.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_page URL [ROUNDS]\n");
        return 2;
    }
    const Text url = argv[1];
    const std::wstring wideUrl(url.begin(), url.end());
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 10;
    // The headers the font-list load sends (without its fixed analytics cookies).
    const Text headers =
        "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64; rv:68.0) Gecko/20100101 Firefox/68.0\r\n"
        "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
        "Accept-Language: zh-CN,zh;q=0.8,zh-TW;q=0.7,zh-HK;q=0.5,en-US;q=0.3,en;q=0.2\r\n"
        "Accept-Encoding: gzip, deflate\r\n"
        "Connection: keep-alive\r\n"
        "Upgrade-Insecure-Requests: 1\r\n"
        "Cache-Control: max-age=0";
    std::vector<double> ours;
    std::vector<std::vector<double>> probes(bench::PageProbeWays());
    size_t size = 0;
    for (int i = 0; i <= rounds; ++i) {  // round 0 warms both up, not counted
        for (int way = 0; way < bench::PageProbeWays(); ++way) {
            std::string body;
            const double start = probe::Now();
            const bool ok = bench::ProbePageFetch(wideUrl, way, body);
            const double took = probe::Now() - start;
            if (!ok || body.empty()) {
                std::fprintf(stderr, "probe %s failed\n", bench::PageProbeWayName(way));
                return 1;
            }
            if (i > 0)
                probes[way].push_back(took);
        }
        Text status;
        Bytes bytes;
        const double start = probe::Now();
        const Text page =
            WebRequest(url, 0, "", headers, {.status = &status, .response_bytes = &bytes});
        const double took = probe::Now() - start;
        if (status != "200 OK" || page.empty()) {
            std::fprintf(stderr, "round %d: status \"%s\", %zu bytes\n", i, status.c_str(),
                         page.size());
            return 1;
        }
        size = bytes.size();
        if (i > 0)
            ours.push_back(took);
    }
    int fastest = 0;
    for (int way = 0; way < bench::PageProbeWays(); ++way) {
        std::printf("way %s %.6f %.6f\n", bench::PageProbeWayName(way), probe::Best(probes[way]),
                    probe::Median(probes[way]));
        if (probe::Median(probes[way]) < probe::Median(probes[fastest]))
            fastest = way;
    }
    std::printf("probe %.6f %.6f %s\n", probe::Best(probes[fastest]),
                probe::Median(probes[fastest]), bench::PageProbeWayName(fastest));
    std::printf("ours %.6f %.6f %zu\n", probe::Best(ours), probe::Median(ours), size);
    return 0;
}
