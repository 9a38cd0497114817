#include "cli/Interrupt.h"

#include "platform/Console.h"

namespace prax::cli {

volatile std::sig_atomic_t gInterruptSignal = 0;
volatile std::sig_atomic_t gWindowResized = 0;

void InstallInterruptHandlers() { platform::InstallStopHandlers(&gInterruptSignal, &gWindowResized); }

void InstallResizeHandler() { platform::InstallResizeHandler(&gWindowResized); }

InterruptWake::InterruptWake() : slot_(platform::TakeWakeSlot()) {}

InterruptWake::~InterruptWake() { platform::ReleaseWakeSlot(slot_); }

}  // namespace prax::cli
