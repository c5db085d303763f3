#include "http/transfer.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

DWORD WINAPI TransferThread(void* parameter) {
    std::unique_ptr<std::function<void()>> job(static_cast<std::function<void()>*>(parameter));
    (*job)();
    return 0;
}

}  // namespace

bool RunTransfer(std::function<void()> job, DWORD timeout_ms, HANDLE cancel) {
    auto* owned = new (std::nothrow) std::function<void()>(std::move(job));
    if (!owned)
        return false;
    const KernelHandle thread(CreateThread(nullptr, 0, TransferThread, owned, 0, nullptr));
    if (!thread) {
        (*owned)();
        delete owned;
        return true;
    }
    HANDLE waits[2] = {thread.Get(), cancel};
    return WaitForMultipleObjects(cancel ? 2 : 1, waits, FALSE, timeout_ms) == WAIT_OBJECT_0;
}

DWORD MillisecondsLeft(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline)
        return 0;
    // A deadline beyond DWORD's range (none at all) must not wrap round to a short wait.
    return static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
}
