// Processing of pending window messages from code below the window framework. The framework
// installs the real pump at start; until then (and in the native build) it does nothing.
#pragma once

// Processes the calling thread's queued messages; true when it processed any.
using PumpFunction = bool (*)();

void SetMessagePump(PumpFunction pump);

// Processes every window message already queued for the calling thread and returns when the
// queue is empty. True when a message was processed.
bool PumpPendingMessages();

// Rounds of message processing that follow one another with nothing but this thread's own work
// between them (the rounds a request makes on its way out). Once a round finds the queue empty
// the later rounds are skipped: a message that arrives in the microseconds after it is
// processed by the next pump that follows a wait, and under Wine each empty round costs tens of
// microseconds. A round that processed something is followed by a real one, so messages that
// a handler posts still run in the rounds left.
class PumpRounds {
  public:
    void Round() {
        if (!idle_)
            idle_ = !PumpPendingMessages();
    }
    // The thread did work of unbounded length since the last round: the next one is real.
    void Waited() { idle_ = false; }

  private:
    bool idle_ = false;
};
