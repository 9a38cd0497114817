#include "platform/Console.h"

#include <pthread.h>
#include <sys/ioctl.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

namespace prax::platform {

int ConsoleColumns(int fd) {
    struct winsize size {};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 0;
}

namespace {

volatile std::sig_atomic_t* gStop = nullptr;
volatile std::sig_atomic_t* gResized = nullptr;

// Wakes the other threads' waits. Ignored unless caught, and nothing else here sends it, so one
// that comes from elsewhere changes nothing.
constexpr int kWakeSignal = SIGURG;

// The threads to wake: a fixed table the handler can walk without a lock.
constexpr int kWakeSlots = 256;
enum SlotState : int { kFree, kTaking, kTaken };
std::atomic<int> gSlotState[kWakeSlots];
pthread_t gSlotThread[kWakeSlots];
// Handlers walking the table right now: a thread that leaves it waits for them, so none is sent
// a signal once it has ended.
std::atomic<int> gWaking{0};

extern "C" void OnStop(int signal) {
    *gStop = signal;
    const int interrupted = errno;  // the interrupted call's, which its caller may still read
    gWaking.fetch_add(1);
    const pthread_t self = pthread_self();
    for (int i = 0; i < kWakeSlots; ++i)
        if (gSlotState[i].load() == kTaken && !pthread_equal(gSlotThread[i], self))
            pthread_kill(gSlotThread[i], kWakeSignal);
    gWaking.fetch_sub(1);
    errno = interrupted;
}

// Only there so that the signal ends a poll or a sleep.
extern "C" void OnWake(int) {}

extern "C" void OnResize(int) { *gResized = 1; }

void Install(int signal, void (*handler)(int), int flags) {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(signal, &action, nullptr);
}

}  // namespace

void InstallStopHandlers(volatile std::sig_atomic_t* stop, volatile std::sig_atomic_t* resized) {
    gStop = stop;
    // No SA_RESTART: a wait in poll or nanosleep must come back at once to see the flag.
    Install(SIGINT, OnStop, SA_RESETHAND);
    Install(SIGTERM, OnStop, SA_RESETHAND);
    // A dropped SSH session must not cut an image in half: the hang-up ends the transfer as a
    // stop request does.
    Install(SIGHUP, OnStop, SA_RESETHAND);
    // A reader of our output that went away (`| head -1`) must not kill a transfer either: the
    // write to it fails instead, and the transfer goes on to its end.
    Install(SIGPIPE, SIG_IGN, 0);
    // Reads and writes carry on after it; a poll or a sleep comes back (they never restart).
    Install(kWakeSignal, OnWake, SA_RESTART);
    InstallResizeHandler(resized);
}

void InstallResizeHandler(volatile std::sig_atomic_t* resized) {
    gResized = resized;
    // A resize must not disturb anything: reads and writes (the answer typed at a question, the
    // bytes to the port) carry on as if it never came.
    Install(SIGWINCH, OnResize, SA_RESTART);
}

int TakeWakeSlot() {
    for (int i = 0; i < kWakeSlots; ++i) {
        int free = kFree;
        if (!gSlotState[i].compare_exchange_strong(free, kTaking)) continue;
        gSlotThread[i] = pthread_self();
        gSlotState[i].store(kTaken);
        return i;
    }
    return -1;
}

void ReleaseWakeSlot(int slot) {
    if (slot < 0) return;
    gSlotState[slot].store(kFree);
    while (gWaking.load() != 0) std::this_thread::yield();
}

}  // namespace prax::platform
