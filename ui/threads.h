// Worker threads, waiting for them while window messages keep being processed, and the
// pending-message pump.
#pragma once

#include <windows.h>

#include <functional>

#include "ui/handles.h"

namespace ui {

// Runs `job`, with whatever it holds, in a new thread (CreateThread, default stack and
// attributes). Returns the thread's handle; closing it does not stop the thread. An empty
// handle when the thread could not start (or `job` is empty), and the job is not run.
OwnedHandle RunInThread(std::function<void()> job);

// Waits for `thread` to end while processing window messages. `timeoutMs` 0 waits without
// limit. Each round waits with MsgWaitForMultipleObjects (wake mask QS_ALLEVENTS) and the
// whole time-out, counts as timed out once the time-out has passed since the start, then
// processes every pending message; it stops when the thread has ended (true), on time-out or
// on a failed wait (false; a null handle fails).
bool WaitForThreadPumping(HANDLE thread, unsigned timeoutMs);

// Processes every window message already queued for the calling thread and returns when the
// queue is empty. A WM_QUIT taken from the queue is posted again and ends the pump. True when a
// message was taken from the queue.
bool PumpMessages();

// Makes PumpMessages the pump behind PumpPendingMessages() (core/pump.h). Done by the first
// window the framework creates; callable earlier.
void InstallMessagePump();

// Asks the system to trim the process's working set (SetProcessWorkingSetSize -1, -1).
void TrimWorkingSet();

}  // namespace ui
