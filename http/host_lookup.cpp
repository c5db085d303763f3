#include "http/host_lookup.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "core/owner.h"
#include "http/transfer.h"

namespace {

constexpr ULONGLONG kRememberedMs = 60 * 1000;
constexpr size_t kRememberedNames = 16;

struct AddressListTraits {
    using Handle = addrinfo*;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle list) {
        freeaddrinfo(list);
        return true;
    }
};

// The system's answer for `host`, as plain values; empty when it found none.
std::vector<HostAddress> Resolve(const std::string& host, const std::string& port, int flags) {
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    std::vector<HostAddress> addresses;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0)
        return addresses;
    const Owner<AddressListTraits> list(found);
    for (const addrinfo* a = list.Get(); a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        HostAddress address;
        address.family = a->ai_family;
        address.socktype = a->ai_socktype;
        address.protocol = a->ai_protocol;
        std::memcpy(&address.address, a->ai_addr, a->ai_addrlen);
        address.length = static_cast<int>(a->ai_addrlen);
        addresses.push_back(address);
    }
    return addresses;
}

struct Remembered {
    ULONGLONG until;
    std::vector<HostAddress> addresses;
};
std::mutex g_rememberedLock;
std::map<std::string, Remembered> g_remembered;  // by "host:port"

// One lookup, shared by the thread doing it and the caller waiting for it; whichever goes last
// lets go of it. `addresses` is the thread's until `finished` is set.
struct Lookup {
    std::string host;
    std::string service;
    std::vector<HostAddress> addresses;
    KernelHandle finished{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

DWORD WINAPI LookUpOnItsOwn(void* parameter) {
    std::unique_ptr<std::shared_ptr<Lookup>> held(static_cast<std::shared_ptr<Lookup>*>(parameter));
    Lookup& lookup = **held;
    WSADATA data;
    const bool started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    lookup.addresses = Resolve(lookup.host, lookup.service, 0);
    if (started)
        WSACleanup();
    SetEvent(lookup.finished.Get());
    return 0;
}

}  // namespace

std::vector<HostAddress> LookUpHost(const Text& host,
                                    int port,
                                    ULONGLONG deadline,
                                    const std::atomic<bool>& stop) {
    const std::string service = std::to_string(port);
    std::vector<HostAddress> addresses = Resolve(host, service, AI_NUMERICHOST);
    if (!addresses.empty())
        return addresses;

    const std::string key = host + ":" + service;
    {
        const std::lock_guard<std::mutex> guard(g_rememberedLock);
        const auto known = g_remembered.find(key);
        if (known != g_remembered.end()) {
            if (GetTickCount64() < known->second.until)
                return known->second.addresses;
            g_remembered.erase(known);
        }
    }

    auto lookup = std::make_shared<Lookup>();
    lookup->host = host;
    lookup->service = service;
    auto* handOver = new std::shared_ptr<Lookup>(lookup);
    const KernelHandle thread(lookup->finished
                                  ? CreateThread(nullptr, 0, LookUpOnItsOwn, handOver, 0, nullptr)
                                  : nullptr);
    if (!thread) {
        delete handOver;
        return Resolve(host, service, 0);  // no thread to be had: look it up here
    }
    for (;;) {
        const DWORD left = MillisecondsLeft(deadline);
        if (stop || left == 0)
            return {};
        if (WaitForSingleObject(lookup->finished.Get(), std::min<DWORD>(left, 200)) ==
            WAIT_OBJECT_0)
            break;
    }
    addresses = std::move(lookup->addresses);
    if (!addresses.empty()) {
        const std::lock_guard<std::mutex> guard(g_rememberedLock);
        if (g_remembered.size() >= kRememberedNames)
            g_remembered.clear();
        g_remembered[key] = {GetTickCount64() + kRememberedMs, addresses};
    }
    return addresses;
}
