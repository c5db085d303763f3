// The addresses of a host for a connection of the program's own, found within a deadline. The
// system's name lookup cannot be stopped and, with a resolver that does not answer, takes as
// long as it likes; a caller on the window thread or a download being cancelled must not wait
// for it longer than its own time allows.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <vector>

#include "core/types.h"

struct HostAddress {
    int family = 0;
    int socktype = 0;
    int protocol = 0;
    sockaddr_storage address = {};
    int length = 0;
};

// The stream addresses of `host` (GBK; a name, or an address written as digits) on `port`.
// Digits are read at once. A name is looked up on a short thread of its own and waited for
// until `deadline` (a GetTickCount64 value) passes or `stop` is set: a lookup given up ends on
// its own. A name found is remembered for a minute, so that the requests of one step do not
// each wait for the system. Empty when the host is unknown or the time ran out.
std::vector<HostAddress> LookUpHost(const Text& host,
                                    int port,
                                    ULONGLONG deadline,
                                    const std::atomic<bool>& stop);
