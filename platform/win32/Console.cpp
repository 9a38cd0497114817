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
volatile LONG gConsoleStops = 0;

// The signal number each console event stands for, so that praxdl ends with the status it has
// on Linux: Ctrl+C as SIGINT (130), Ctrl+Break, what a program sends another's console to end
// it, as SIGTERM (143), and a console that goes away (closed, the user logging off, a shutdown)
// as SIGHUP (129), the terminal that went away.
constexpr std::sig_atomic_t kHangUp = 1;
std::sig_atomic_t SignalOf(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
            return SIGINT;
        case CTRL_BREAK_EVENT:
            return SIGTERM;
        default:
            return kHangUp;
    }
}

extern "C" void OnStop(int signal) { *gStop = signal; }

// Windows runs this on a thread of its own. A second Ctrl+C or Ctrl+Break goes on to the
// default handler, which ends the program at once. From a closing console Windows ends the
// program as soon as this returns: held here, the transfer stops, the port is closed and how far
// it got is told first, and the program's own end ends this thread (Windows waits about five
// seconds).
BOOL WINAPI OnConsoleEvent(DWORD event) {
    const bool closing = event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
    const bool first = InterlockedIncrement(&gConsoleStops) == 1;
    if (!first && !closing) return FALSE;
    if (first) *gStop = SignalOf(event);
    if (closing) Sleep(5000);
    return TRUE;
}

}  // namespace

void InstallStopHandlers(volatile std::sig_atomic_t* stop, volatile std::sig_atomic_t* /*resized*/) {
    gStop = stop;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    // raise(SIGTERM) from within; no other process can send one on Windows.
    std::signal(SIGTERM, OnStop);
}

void InstallResizeHandler(volatile std::sig_atomic_t* /*resized*/) {}

int TakeWakeSlot() { return -1; }

void ReleaseWakeSlot(int /*slot*/) {}

}  // namespace prax::platform
