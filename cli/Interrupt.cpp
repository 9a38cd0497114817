#include "cli/Interrupt.h"

#include <cstring>

namespace prax::cli {

volatile std::sig_atomic_t gInterruptSignal = 0;
volatile std::sig_atomic_t gWindowResized = 0;

namespace {
extern "C" void OnInterrupt(int signal) { gInterruptSignal = signal; }
extern "C" void OnResize(int) { gWindowResized = 1; }
}  // namespace

void InstallInterruptHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait in poll or nanosleep must come back at once to see the flag.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    InstallResizeHandler();
}

void InstallResizeHandler() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnResize;
    sigemptyset(&action.sa_mask);
    // A resize must not disturb anything: reads and writes (the answer typed at a question, the
    // bytes to the port) carry on as if it never came.
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, nullptr);
}

}  // namespace prax::cli
