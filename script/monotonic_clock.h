// A monotonic clock for deadlines and measurements. (<chrono> cannot be included where
// string literals are GBK: it holds a literal with a character GBK lacks.)
#pragma once

#include <cstdint>

std::int64_t MonotonicNanoseconds();
