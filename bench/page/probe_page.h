// The bare probe beside WebRequest's page fetch: the same GET over WinHTTP with nothing around
// it (no header completion, no charset search, no cookie scan), in a few ways (read sizes;
// asking the transport what is ready before each read or not). Plain Win32 calls only.
#pragma once

#include <string>

namespace bench {

int PageProbeWays();
const char* PageProbeWayName(int way);

// Fetches `url` (http://host:port/path) in way `way` into `body`; false when a call failed.
bool ProbePageFetch(const std::wstring& url, int way, std::string& body);

}  // namespace bench
