// A bounded Duktape heap: every call runs in a protected call with a time limit, the heap's
// memory is capped, and a fatal engine error returns to the caller instead of ending the
// process (the heap is then rebuilt, losing its contents).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct duk_hthread;
struct ScriptHeapState;

class ScriptEngine {
  public:
    // A step runs inside the protected call and may throw script errors through the engine.
    // While it calls into the engine it must hold no C++ object with a destructor (a fatal
    // error unwinds without running destructors). It returns the number of values it left
    // on the stack (0 or 1), like a Duktape/C function.
    using Step = int (*)(duk_hthread* ctx, void* arg);

    static constexpr std::int64_t kDefaultTimeLimitMs = 1000;
    static constexpr std::size_t kDefaultHeapLimit = std::size_t{64} << 20;

    // A heap that has run `prelude` (CESU-8 script). Null when no heap could be made.
    static std::shared_ptr<ScriptEngine> Create(std::string prelude);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // True when the step completed without a script error, a time-out or a memory failure.
    bool Run(Step step, void* arg);

    void SetTimeLimit(std::int64_t milliseconds);
    void SetHeapLimit(std::size_t bytes);
    std::size_t HeapBytes() const;
    // True until the first Run after the heap was made.
    bool Pristine() const { return pristine_; }

    // Calls stopped by their time limit, and heaps lost to fatal errors, in this process.
    static long TimeoutCount();
    static long FatalCount();

  private:
    explicit ScriptEngine(std::string prelude);
    bool Build();
    void Discard();
    bool Protected(Step step, void* arg);

    std::unique_ptr<ScriptHeapState> state_;
    duk_hthread* ctx_ = nullptr;
    std::string prelude_;
    std::int64_t timeLimitNs_ = kDefaultTimeLimitMs * 1000000;
    bool pristine_ = false;
};
