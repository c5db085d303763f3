#include "core/pump.h"

#include <atomic>

namespace {
std::atomic<PumpFunction> g_pump{nullptr};
}

void SetMessagePump(PumpFunction pump) {
    g_pump.store(pump);
}

bool PumpPendingMessages() {
    if (PumpFunction pump = g_pump.load())
        return pump();
    return false;
}
