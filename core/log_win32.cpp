#include <windows.h>

#include <cstdio>

#include "core/log.h"

void LogLastError(const char* call) {
    const DWORD error = GetLastError();
    char line[200];
    std::snprintf(line, sizeof line, "lanzifang: %s failed, error %lu\n", call,
                  static_cast<unsigned long>(error));
    OutputDebugStringA(line);
    // The log must not change what the caller reads next.
    SetLastError(error);
}
