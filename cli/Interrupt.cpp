#include "cli/Interrupt.h"

#include <cstring>

namespace prax::cli {

volatile std::sig_atomic_t gInterruptSignal = 0;
volatile std::sig_atomic_t gWindowResized = 0;

namespace {
extern "C" void OnInterrupt(int signal) { gInterruptSignal = signal; }

#if defined(_WIN32)
}  // namespace

// Windows runs the handler on a thread of its own at Ctrl+C and resets it to the default first, so
// a second Ctrl+C ends the program. The console sends no resize signal: the bar keeps the width
// the console had when it first drew.
void InstallInterruptHandlers() {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
}

void InstallResizeHandler() {}

#else
extern "C" void OnResize(int) { gWindowResized = 1; }

void Install(int signal, void (*handler)(int), int flags) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(signal, &action, nullptr);
}
}  // namespace

void InstallInterruptHandlers() {
    // No SA_RESTART: a wait in poll or nanosleep must come back at once to see the flag.
    Install(SIGINT, OnInterrupt, SA_RESETHAND);
    Install(SIGTERM, OnInterrupt, SA_RESETHAND);
    // A dropped SSH session must not cut an image in half: the hang-up ends the transfer as a
    // stop request does (exit 129).
    Install(SIGHUP, OnInterrupt, SA_RESETHAND);
    // A reader of our output that went away (`| head -1`) must not kill a transfer either: the
    // write to it fails instead, and the transfer goes on to its end.
    Install(SIGPIPE, SIG_IGN, 0);
    InstallResizeHandler();
}

void InstallResizeHandler() {
    // A resize must not disturb anything: reads and writes (the answer typed at a question, the
    // bytes to the port) carry on as if it never came.
    Install(SIGWINCH, OnResize, SA_RESTART);
}

#endif

}  // namespace prax::cli
