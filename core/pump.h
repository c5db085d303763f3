// Processing of pending window messages from code below the window framework. The framework
// installs the real pump at start; until then (and in the native build) it does nothing.
#pragma once

using PumpFunction = void (*)();

void SetMessagePump(PumpFunction pump);

// Processes every window message already queued for the calling thread and returns when the
// queue is empty.
void PumpPendingMessages();
