#include <cstdlib>

#include "core/environment.h"

Text GetEnvironmentText(const char* name) {
    const char* v = std::getenv(name);
    return v ? Text(v) : Text();
}
