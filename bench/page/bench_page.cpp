// Fetches the catalogue's home page with WebRequest a few times and prints the best time.
// Run by run.sh, which starts a service with a large synthetic catalogue and times curl beside.
//
//   bench_page.exe URL [ROUNDS]
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "http/web_request.h"

namespace {

double Now() {
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_page URL [ROUNDS]\n");
        return 2;
    }
    const Text url = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    // The headers the font-list load sends (without its fixed analytics cookies).
    const Text headers =
        "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64; rv:68.0) Gecko/20100101 Firefox/68.0\r\n"
        "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
        "Accept-Language: zh-CN,zh;q=0.8,zh-TW;q=0.7,zh-HK;q=0.5,en-US;q=0.3,en;q=0.2\r\n"
        "Accept-Encoding: gzip, deflate\r\n"
        "Connection: keep-alive\r\n"
        "Upgrade-Insecure-Requests: 1\r\n"
        "Cache-Control: max-age=0";
    double best = 1e9;
    size_t size = 0;
    for (int i = 0; i < rounds; ++i) {
        Text status;
        Bytes bytes;
        const double start = Now();
        const Text page =
            WebRequest(url, 0, "", headers, {.status = &status, .response_bytes = &bytes});
        const double took = Now() - start;
        if (status != "200 OK" || page.empty()) {
            std::fprintf(stderr, "round %d: status \"%s\", %zu bytes\n", i + 1, status.c_str(),
                         page.size());
            return 1;
        }
        size = bytes.size();
        if (took < best)
            best = took;
    }
    std::printf("ours %.6f %zu\n", best, size);
    return 0;
}
