#include <cerrno>
#include <cstdio>

#include "core/log.h"

void LogLastError(const char* call) {
    const int error = errno;
    std::fprintf(stderr, "lanzifang: %s failed, error %d\n", call, error);
    errno = error;
}
