// The blocking part of a request, run on a thread of its own so that the caller can stop
// waiting for it: when a deadline passes or the user cancels, the caller goes on at once while
// the transfer ends by itself. Closing a transport handle does not end a call blocked in it
// (a receive waits for the server whatever another thread does), so this is the only way to
// keep a promise about time while a server sends nothing or drips.
#pragma once

#include <windows.h>

#include <functional>

#include "core/owner.h"

// Threads and events of the engines, closed when their owner goes.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};
using KernelHandle = Owner<KernelHandleTraits>;

// Runs `job` on a new thread and waits until it returns, `timeout_ms` pass (INFINITE for no
// limit) or `cancel` (an event; may be null) is set. True when the job returned. Otherwise the
// job keeps running on its own: it must own everything it touches (hold it by shared_ptr) and
// see for itself that it was given up. When no thread can be made, the job runs here.
bool RunTransfer(std::function<void()> job, DWORD timeout_ms, HANDLE cancel);

// Milliseconds left until `deadline` (a GetTickCount64 value), 0 when it has passed; never
// INFINITE.
DWORD MillisecondsLeft(ULONGLONG deadline);
