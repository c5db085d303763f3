// Helpers of the engine tests: addresses on the private service, fault rules, the wire log.
#pragma once

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/service_client.h"

namespace nettest {

// An address on the private service: Url("/t/x") -> "http://127.0.0.1:PORT/t/x".
inline std::string Url(const std::string& path) {
    return ServiceUrl() + path.substr(1);
}

// An address on the service's trusted TLS port ("https://127.0.0.1:PORT/t/x"), whose
// certificate authority the test programs trust while they run (trusted_root.cpp); empty when
// the service was started without that port.
inline std::string TrustedUrl(const std::string& path) {
    const char* base = std::getenv("LZF_SERVICE_TRUSTED_TLS_URL");
    return base && *base ? base + path.substr(1) : std::string();
}

// Installs a fault rule (key=value pairs of the control query) and reports whether the
// service accepted it.
inline bool SetFault(std::initializer_list<std::pair<std::string, std::string>> items) {
    std::string q;
    for (const auto& [k, v] : items) {
        if (!q.empty())
            q += "&";
        q += k + "=" + ServiceEscape(v);
    }
    return ServiceControl(q);
}

// The last logged request whose request line names `path` (the path must be unique to the
// test); an empty request when there is none.
inline LoggedRequest LastRequestTo(const std::string& path) {
    LoggedRequest found;
    for (LoggedRequest& r : ParseServiceLog(ServiceLog())) {
        if (r.request_line.find(" " + path + " ") != std::string::npos ||
            r.request_line.find(" " + path + "?") != std::string::npos)
            found = std::move(r);
    }
    return found;
}

inline int CountRequestsTo(const std::string& path) {
    int n = 0;
    for (const LoggedRequest& r : ParseServiceLog(ServiceLog()))
        n += r.request_line.find(" " + path + " ") != std::string::npos;
    return n;
}

// Values of every header line called `name` (exact spelling), in order.
inline std::vector<std::string> Values(const LoggedRequest& r, const std::string& name) {
    std::vector<std::string> out;
    for (const auto& [n, v] : r.headers)
        if (n == name)
            out.push_back(v);
    return out;
}

// Index of the first header line called `name` (compared without case), or -1.
inline int IndexOf(const LoggedRequest& r, const std::string& name) {
    for (size_t i = 0; i < r.headers.size(); ++i) {
        if (_stricmp(r.headers[i].first.c_str(), name.c_str()) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

// Peak working set of this process so far, in bytes (Wine keeps this figure, not the peak of
// private bytes).
inline size_t PeakMemoryBytes() {
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc))
        return 0;
    return pmc.PeakWorkingSetSize;
}

// The threads this process has now; -1 when the system does not say.
inline int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        n += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return n;
}

class Stopwatch {
  public:
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

  private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace nettest
