// The terminal or console a command-line program runs in, and the signals (on Windows the console's
// Ctrl+C) that ask it to stop.
#pragma once

#include <csignal>

namespace prax::platform {

// The visible columns of the terminal or console on `fd`; 0 when it can't be told.
int ConsoleColumns(int fd);

// SIGINT, SIGTERM and (where there is one) SIGHUP record their number in `*stop`; the handler
// resets itself, so a second one ends the program at once. A Windows console's Ctrl+C records
// SIGINT, its Ctrl+Break SIGTERM and its closing SIGHUP's number, 1. SIGPIPE is ignored, so a reader of
// the program's output that went away never stops it. Also installs the resize handler. On
// POSIX a wait of any thread that holds a wake slot comes back at once as well.
void InstallStopHandlers(volatile std::sig_atomic_t* stop, volatile std::sig_atomic_t* resized);
// A terminal that changes its size (SIGWINCH) sets `*resized`; a console sends no such signal.
void InstallResizeHandler(volatile std::sig_atomic_t* resized);

// The calling thread's place among the threads a stop signal wakes: the system hands a signal to
// one thread of the process, and only that thread's poll or sleep comes back at once. -1 when
// every place is taken (the thread then waits out its wait's slice) or where the system gives no
// thread the signal (Windows: the waits look at the flag in short slices).
int TakeWakeSlot();
// Gives the place back; once this returns, no handler signals the thread any more.
void ReleaseWakeSlot(int slot);

}  // namespace prax::platform
