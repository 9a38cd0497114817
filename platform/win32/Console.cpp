#include "platform/Console.h"

#include <io.h>

#include "platform/win32/WindowsApi.h"

namespace prax::platform {

int ConsoleColumns(int fd) {
    // The visible part of the console, not its scroll-back buffer's width.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) return columns;
    }
    return 0;
}

namespace {

volatile std::sig_atomic_t* gStop = nullptr;

extern "C" void OnStop(int signal) { *gStop = signal; }

}  // namespace

// Windows runs the handler on a thread of its own at Ctrl+C and resets it to the default first, so
// a second Ctrl+C ends the program. The console sends no resize signal: a width read once stays.
void InstallStopHandlers(volatile std::sig_atomic_t* stop, volatile std::sig_atomic_t* /*resized*/) {
    gStop = stop;
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);
}

void InstallResizeHandler(volatile std::sig_atomic_t* /*resized*/) {}

int TakeWakeSlot() { return -1; }

void ReleaseWakeSlot(int /*slot*/) {}

}  // namespace prax::platform
