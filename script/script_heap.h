// The state behind one script engine heap, shared by its allocator, its fatal-error handler
// and the execution time-out check the engine calls while it runs bytecode.
#pragma once

#include <cstddef>
#include <cstdint>

struct ScriptHeapBlock;

// A point a fatal error jumps back to: the compiler's own non-local jump, which restores the
// registers and nothing else. The C library's longjmp on x86-64 Windows unwinds the stack
// through the system's exception dispatch instead, and under Wine that never returns when the
// jump crosses the engine's frames from its fatal-error handler.
using ScriptRecoverPoint = void* [5];

struct ScriptHeapState {
    // MonotonicNanoseconds() past which the running call is stopped; 0 when none runs.
    std::int64_t deadline = 0;
    bool timedOut = false;
    // Bytes handed to the engine, its limit, and every block (freed at once after a fatal
    // error, when the heap itself can no longer be trusted to free them).
    std::size_t used = 0;
    std::size_t limit = 0;
    ScriptHeapBlock* blocks = nullptr;
    // Where a fatal error returns to.
    ScriptRecoverPoint* recover = nullptr;
    bool fatal = false;
};

// Starts and ends the time limit of a call (defined beside the time-out hook, so that the
// hook is always linked in with the engine).
void ArmScriptDeadline(ScriptHeapState* state, std::int64_t limitNs);
void DisarmScriptDeadline(ScriptHeapState* state);
