#include "script/script_engine.h"

#include <duktape.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "script/script_heap.h"

struct ScriptHeapBlock {
    ScriptHeapBlock* prev;
    ScriptHeapBlock* next;
    std::size_t size;
};

namespace {

// The header in front of every block, keeping the engine's data maximally aligned.
constexpr std::size_t kHeader =
    (sizeof(ScriptHeapBlock) + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);

std::atomic<long> gTimeouts{0};
std::atomic<long> gFatals{0};

ScriptHeapBlock* BlockOf(void* ptr) {
    return reinterpret_cast<ScriptHeapBlock*>(static_cast<char*>(ptr) - kHeader);
}

void* PayloadOf(ScriptHeapBlock* block) {
    return reinterpret_cast<char*>(block) + kHeader;
}

void Link(ScriptHeapState* s, ScriptHeapBlock* block) {
    block->prev = nullptr;
    block->next = s->blocks;
    if (s->blocks)
        s->blocks->prev = block;
    s->blocks = block;
}

void Unlink(ScriptHeapState* s, ScriptHeapBlock* block) {
    if (block->prev)
        block->prev->next = block->next;
    else
        s->blocks = block->next;
    if (block->next)
        block->next->prev = block->prev;
}

void* HeapAlloc(void* udata, duk_size_t size) {
    auto* s = static_cast<ScriptHeapState*>(udata);
    if (size > s->limit - s->used)
        return nullptr;
    auto* block = static_cast<ScriptHeapBlock*>(std::malloc(kHeader + size));
    if (!block)
        return nullptr;
    block->size = size;
    Link(s, block);
    s->used += size;
    return PayloadOf(block);
}

void HeapFree(void* udata, void* ptr) {
    if (!ptr)
        return;
    auto* s = static_cast<ScriptHeapState*>(udata);
    ScriptHeapBlock* block = BlockOf(ptr);
    Unlink(s, block);
    s->used -= block->size;
    std::free(block);
}

void* HeapRealloc(void* udata, void* ptr, duk_size_t size) {
    if (!ptr)
        return HeapAlloc(udata, size);
    if (size == 0) {
        HeapFree(udata, ptr);
        return nullptr;
    }
    auto* s = static_cast<ScriptHeapState*>(udata);
    ScriptHeapBlock* block = BlockOf(ptr);
    const std::size_t old = block->size;
    if (size > old && size - old > s->limit - s->used)
        return nullptr;
    Unlink(s, block);
    auto* moved = static_cast<ScriptHeapBlock*>(std::realloc(block, kHeader + size));
    if (!moved) {
        Link(s, block);
        return nullptr;
    }
    moved->size = size;
    Link(s, moved);
    s->used = s->used - old + size;
    return PayloadOf(moved);
}

void FreeAllBlocks(ScriptHeapState* s) {
    while (s->blocks) {
        ScriptHeapBlock* next = s->blocks->next;
        std::free(s->blocks);
        s->blocks = next;
    }
    s->used = 0;
}

// Never returns: goes back to the protected region that is running. Every entry into the
// engine is inside one.
void OnFatal(void* udata, const char*) {
    auto* s = static_cast<ScriptHeapState*>(udata);
    s->fatal = true;
    if (s->recover)
        __builtin_longjmp(*s->recover, 1);
    std::abort();
}

struct Call {
    ScriptEngine::Step step;
    void* arg;
};

duk_ret_t Trampoline(duk_context* ctx, void* udata) {
    auto* call = static_cast<Call*>(udata);
    return call->step(ctx, call->arg);
}

duk_ret_t RunPrelude(duk_context* ctx, void* udata) {
    auto* prelude = static_cast<const std::string*>(udata);
    duk_eval_lstring_noresult(ctx, prelude->data(), prelude->size());
    // Without the engine's own object scripts cannot install finalizers, which would run
    // outside any call and its time limit.
    duk_push_global_object(ctx);
    duk_del_prop_string(ctx, -1, "Duktape");
    duk_pop(ctx);
    return 0;
}

}  // namespace

std::shared_ptr<ScriptEngine> ScriptEngine::Create(std::string prelude) {
    std::shared_ptr<ScriptEngine> engine(new (std::nothrow) ScriptEngine(std::move(prelude)));
    if (!engine || !engine->Build())
        return nullptr;
    return engine;
}

ScriptEngine::ScriptEngine(std::string prelude)
    : state_(std::make_unique<ScriptHeapState>()), prelude_(std::move(prelude)) {
    state_->limit = kDefaultHeapLimit;
}

ScriptEngine::~ScriptEngine() {
    Discard();
}

bool ScriptEngine::Build() {
    Discard();
    ctx_ = duk_create_heap(HeapAlloc, HeapRealloc, HeapFree, state_.get(), OnFatal);
    if (!ctx_) {
        FreeAllBlocks(state_.get());
        return false;
    }
    if (!Protected([](duk_hthread* ctx, void* arg) -> int { return RunPrelude(ctx, arg); },
                   &prelude_)) {
        Discard();
        return false;
    }
    pristine_ = true;
    return true;
}

void ScriptEngine::Discard() {
    if (ctx_) {
        ScriptHeapState* s = state_.get();
        ScriptRecoverPoint recover;
        s->recover = &recover;
        ArmScriptDeadline(s, timeLimitNs_);
        if (__builtin_setjmp(recover) == 0)
            duk_destroy_heap(ctx_);
        s->recover = nullptr;
        DisarmScriptDeadline(s);
        ctx_ = nullptr;
    }
    FreeAllBlocks(state_.get());
    state_->fatal = false;
}

bool ScriptEngine::Protected(Step step, void* arg) {
    ScriptHeapState* s = state_.get();
    Call call{step, arg};
    ScriptRecoverPoint recover;
    volatile bool ok = false;
    s->recover = &recover;
    ArmScriptDeadline(s, timeLimitNs_);
    if (__builtin_setjmp(recover) == 0) {
        duk_int_t rc = duk_safe_call(ctx_, Trampoline, &call, 0, 1);
        DisarmScriptDeadline(s);
        duk_pop(ctx_);
        if (rc != DUK_EXEC_SUCCESS)
            duk_gc(ctx_, 0);  // give back what the failed call left, at once
        ok = rc == DUK_EXEC_SUCCESS && !s->timedOut;
    }
    DisarmScriptDeadline(s);
    s->recover = nullptr;
    if (s->timedOut)
        ++gTimeouts;
    if (s->fatal) {
        ++gFatals;
        // The heap is not safe to use or to destroy: drop its memory wholesale.
        ctx_ = nullptr;
        FreeAllBlocks(s);
        s->fatal = false;
        ok = false;
    }
    return ok;
}

bool ScriptEngine::Run(Step step, void* arg) {
    if (!ctx_ && !Build())
        return false;
    pristine_ = false;
    return Protected(step, arg);
}

void ScriptEngine::SetTimeLimit(std::int64_t milliseconds) {
    timeLimitNs_ = milliseconds * 1000000;
}

void ScriptEngine::SetHeapLimit(std::size_t bytes) {
    state_->limit = bytes < state_->used ? state_->used : bytes;
}

std::size_t ScriptEngine::HeapBytes() const {
    return state_->used;
}

long ScriptEngine::TimeoutCount() {
    return gTimeouts.load();
}

long ScriptEngine::FatalCount() {
    return gFatals.load();
}
