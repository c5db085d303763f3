// The execution time-out hook the engine's configuration calls between bytecode
// instructions. Kept apart from duktape.h, which declares it without C linkage.
#include "script/monotonic_clock.h"
#include "script/script_heap.h"

extern "C" int LzfDuktapeTimeoutCheck(void* udata) {
    auto* state = static_cast<ScriptHeapState*>(udata);
    if (!state || state->deadline == 0)
        return 0;
    // Once over, stay over until the call has unwound completely.
    if (state->timedOut || MonotonicNanoseconds() >= state->deadline) {
        state->timedOut = true;
        return 1;
    }
    return 0;
}

void ArmScriptDeadline(ScriptHeapState* state, std::int64_t limitNs) {
    state->timedOut = false;
    state->deadline = MonotonicNanoseconds() + limitNs;
}

void DisarmScriptDeadline(ScriptHeapState* state) {
    state->deadline = 0;
}
