#pragma once

// A pause that keeps the program alive: while it waits, window events, timer ticks and signals are
// handled as usual, so callers must expect other handlers to run before Wait returns.
class clsWaitableTimer
{
public:
    // Returns once MilliSeconds have passed (at once for zero or less, after handling the events
    // already pending). Events that arrive meanwhile are handled during the wait.
    void Wait(int MilliSeconds);

    // True while a Wait of this object is in progress.
    bool isWaiting() const { return m_waiting; }

private:
    bool m_waiting = false;
};
