// lanzifang-catalogue-server: the local font catalogue service that the program and its tests
// talk to. See server/README.md for the switches, the control routes and the log format.

#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "server/catalogue.h"
#include "server/http_server.h"
#include "server/request_log.h"
#include "server/service.h"
#include "server/text_util.h"
#include "server/tls.h"

namespace {

lzf::server::HttpServer* g_server = nullptr;

void OnSignal(int) {
    if (g_server)
        g_server->Stop();
}

const char kUsage[] =
    "usage: lanzifang-catalogue-server [switches]\n"
    "  --host ADDR          address to listen on (127.0.0.1)\n"
    "  --port N             port (18765; 0 picks a free one)\n"
    "  --fonts DIR|FILE     font folder or file; repeatable (default: /usr/share/fonts,\n"
    "                       /usr/local/share/fonts, ~/.local/share/fonts, ~/.fonts)\n"
    "  --names FILE         display names, one \"id<TAB>name\" (UTF-8, raw HTML) per line\n"
    "  --synthetic N        add N generated fonts that borrow the real fonts' files\n"
    "  --log FILE           also append the request log to FILE\n"
    "  --fault QUERY        a misbehaviour rule, as GET /__control?QUERY; repeatable\n"
    "  --control QUERY      any control query applied at start (and again on reset)\n"
    "  --tls-port N         also serve HTTPS on N (0 = free) with a certificate for\n"
    "                       --tls-cert-host (wrong-host.invalid)\n"
    "  --trusted-tls-port N also serve HTTPS on N with a certificate for the address,\n"
    "                       signed by an authority made at start (GET /__tls/authority.der)\n"
    "  --exit-with-parent   stop when the starting process ends\n";

bool NeedsValue(int i, int argc, const char* name) {
    if (i + 1 < argc)
        return true;
    std::fprintf(stderr, "%s needs a value\n%s", name, kUsage);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    std::string host = "127.0.0.1";
    int port = 18765;
    int tls_port = -1;
    int trusted_tls_port = -1;
    std::string tls_cert_host = "wrong-host.invalid";
    std::vector<std::string> fonts;
    std::string names_file, log_file;
    int synthetic = 0;
    std::vector<std::string> controls;
    bool exit_with_parent = false;

    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto number = [&](int* out) {
            if (!NeedsValue(i, argc, a.c_str()))
                return false;
            auto n = lzf::server::ParseInteger(argv[++i]);
            if (!n || *n < 0 || *n > 1000000) {
                std::fprintf(stderr, "%s: bad number %s\n", a.c_str(), argv[i]);
                return false;
            }
            *out = static_cast<int>(*n);
            return true;
        };
        auto text = [&](std::string* out) {
            if (!NeedsValue(i, argc, a.c_str()))
                return false;
            *out = argv[++i];
            return true;
        };
        std::string value;
        bool ok = true;
        if (a == "--host") {
            ok = text(&host);
        } else if (a == "--port") {
            ok = number(&port) && port <= 65535;
        } else if (a == "--tls-port") {
            ok = number(&tls_port) && tls_port <= 65535;
        } else if (a == "--trusted-tls-port") {
            ok = number(&trusted_tls_port) && trusted_tls_port <= 65535;
        } else if (a == "--tls-cert-host") {
            ok = text(&tls_cert_host);
        } else if (a == "--fonts") {
            ok = text(&value);
            fonts.push_back(value);
        } else if (a == "--names") {
            ok = text(&names_file);
        } else if (a == "--synthetic") {
            ok = number(&synthetic);
        } else if (a == "--log") {
            ok = text(&log_file);
        } else if (a == "--fault" || a == "--control") {
            ok = text(&value);
            controls.push_back(value);
        } else if (a == "--exit-with-parent") {
            exit_with_parent = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "unknown switch %s\n%s", a.c_str(), kUsage);
            return 2;
        }
        if (!ok)
            return 2;
    }

    if (exit_with_parent) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == 1)
            return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);

    if (fonts.empty()) {
        fonts = {"/usr/share/fonts", "/usr/local/share/fonts"};
        if (const char* home = std::getenv("HOME")) {
            fonts.push_back(std::string(home) + "/.local/share/fonts");
            fonts.push_back(std::string(home) + "/.fonts");
        }
    }
    lzf::server::Catalogue catalogue;
    catalogue.Scan(fonts);
    catalogue.AddSynthetic(synthetic);
    std::string error;
    if (!names_file.empty() && !catalogue.LoadNames(names_file, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    lzf::server::RequestLog log;
    if (!log_file.empty() && !log.OpenFile(log_file)) {
        std::fprintf(stderr, "cannot write the log %s\n", log_file.c_str());
        return 2;
    }
    lzf::server::Service service(&catalogue, &log);
    // Names are read in the background so that the service answers at once; pages that need
    // them wait for the reader.
    std::thread names([&catalogue] { catalogue.ReadNames(); });
    names.detach();
    for (const auto& q : controls) {
        if (!service.AddStartupControl(q, &error)) {
            std::fprintf(stderr, "bad setting \"%s\": %s\n", q.c_str(), error.c_str());
            return 2;
        }
    }

    lzf::server::HttpServer server(
        [&service](const lzf::server::HttpRequest& r) { return service.Handle(r); },
        [&log](long long connection, const std::string& path, const std::string& raw, bool tls,
               int error_status) {
            if (path.compare(0, 3, "/__") != 0)
                log.Add(connection, raw, tls, error_status);
        });
    int bound = server.Listen(host, port, lzf::server::PlainStream, false, &error);
    if (bound < 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    int tls_bound = -1;
    if (tls_port >= 0) {
        auto factory = lzf::server::MakeTlsStreamFactory(tls_cert_host, &error);
        if (!factory) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        tls_bound = server.Listen(host, tls_port, factory, true, &error);
        if (tls_bound < 0) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    int trusted_bound = -1;
    if (trusted_tls_port >= 0) {
        // Named for the address listened on, and for the loopback names a client may use.
        std::string authority;
        auto factory = lzf::server::MakeTrustedTlsStreamFactory({host, "127.0.0.1", "localhost"},
                                                                &authority, &error);
        if (!factory) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        service.SetTlsAuthority(std::move(authority));
        trusted_bound = server.Listen(host, trusted_tls_port, factory, true, &error);
        if (trusted_bound < 0) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    const std::string shown_host = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    std::printf("listening on http://%s:%d/\n", shown_host.c_str(), bound);
    if (tls_bound >= 0)
        std::printf("tls listening on https://%s:%d/\n", shown_host.c_str(), tls_bound);
    if (trusted_bound >= 0)
        std::printf("trusted tls listening on https://%s:%d/\n", shown_host.c_str(), trusted_bound);
    std::fflush(stdout);

    g_server = &server;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    server.Run();
    std::fflush(nullptr);
    // Connection threads may still be inside a request; leave without unwinding them.
    std::_Exit(0);
}
