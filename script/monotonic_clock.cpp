// Built with UTF-8 string literals (see script.cmake); holds no text of the program.
#include "script/monotonic_clock.h"

#include <chrono>

std::int64_t MonotonicNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
