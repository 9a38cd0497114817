#include "cli/Interrupt.h"

#include <cstring>

namespace prax::cli {

volatile std::sig_atomic_t gInterruptSignal = 0;

namespace {
extern "C" void OnInterrupt(int signal) { gInterruptSignal = signal; }
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
}

}  // namespace prax::cli
