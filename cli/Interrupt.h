// SIGINT, SIGTERM and SIGHUP end a running transfer cleanly instead of killing the program
// mid-write: the handler only records the signal; the host ends its waits, the operation stops
// sending, the port's queued output is discarded and the link closed before praxdl exits 130, 143
// or 129. SIGPIPE is ignored: a reader of praxdl's output that went away never stops a transfer.
#pragma once

#include <csignal>

namespace prax::cli {

// The signal that asked praxdl to stop, 0 until one came.
extern volatile std::sig_atomic_t gInterruptSignal;

// Set when the terminal changed its size (SIGWINCH); whoever draws to it clears it and asks the
// terminal for its new width.
extern volatile std::sig_atomic_t gWindowResized;

// Installs the handlers. Each resets itself, so a second Ctrl+C kills at once. Also installs
// the resize handler.
void InstallInterruptHandlers();

// Only the resize handler.
void InstallResizeHandler();

// While one lives, the interrupt ends the waits of the thread that made it. The system hands a
// signal to one thread of the process, and only that thread's poll or sleep comes back at once;
// each link of a run to several printers waits on a thread of its own, so the handler wakes every
// such thread too. A thread caught between looking at the flag and starting its wait sits out
// that one wait's slice (a second at most). Where the system gives no thread the signal
// (Windows), the waits look at the flag in short slices and this does nothing.
class InterruptWake {
public:
    InterruptWake();
    ~InterruptWake();
    InterruptWake(const InterruptWake&) = delete;
    InterruptWake& operator=(const InterruptWake&) = delete;

private:
    int slot_ = -1;  // -1: every slot was taken, and this thread waits out its slices
};

}  // namespace prax::cli
