#include "ui/threads.h"

#include <memory>

#include "core/pump.h"
#include "ui/window.h"

namespace ui {
namespace {

// QS_ALLEVENTS plus QS_SENDMESSAGE: a worker that writes a control sends a message to this
// thread and waits for it; without QS_SENDMESSAGE the wait would not wake for that message
// and both threads would stand still.
constexpr DWORD kWakeMask = QS_ALLEVENTS | QS_SENDMESSAGE;

DWORD WINAPI ThreadStart(LPVOID parameter) {
    std::unique_ptr<std::function<void()>> job(static_cast<std::function<void()>*>(parameter));
    (*job)();
    return 0;
}

}  // namespace

OwnedHandle RunInThread(std::function<void()> job) {
    if (!job)
        return {};
    auto owned = std::make_unique<std::function<void()>>(std::move(job));
    OwnedHandle thread(CreateThread(nullptr, 0, ThreadStart, owned.get(), 0, nullptr));
    if (thread)
        owned.release();  // the thread's now
    return thread;
}

bool WaitForThreadPumping(HANDLE thread, unsigned timeoutMs) {
    const DWORD timeout = timeoutMs == 0 ? INFINITE : timeoutMs;
    const DWORD start = GetTickCount();
    DWORD result;
    do {
        result = MsgWaitForMultipleObjects(1, &thread, FALSE, timeout, kWakeMask);
        if (timeout != INFINITE &&
            static_cast<double>(GetTickCount() - start) - static_cast<double>(timeout) >= -1e-7)
            result = WAIT_TIMEOUT;
        PumpMessages();
    } while (result == WAIT_OBJECT_0 + 1);
    return result == WAIT_OBJECT_0;
}

bool PumpMessages() {
    MSG message;
    bool processed = false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        processed = true;
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        DispatchQueuedMessage(message);
    }
    return processed;
}

void InstallMessagePump() {
    SetMessagePump(&PumpMessages);
}

void TrimWorkingSet() {
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

}  // namespace ui
