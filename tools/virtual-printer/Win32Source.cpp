// The inputs on Windows: a listening socket whose events, and a file or standard input whose
// reader thread, are waited for together with the event a console's Ctrl+C, Ctrl+Break or
// closing sets.
#include <winsock2.h>
#include <windows.h>

#include <direct.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/virtual-printer/Source.h"

namespace prax::vprinter {
namespace {

// Set once by a stop request and never reset, so that it ends every wait from then on.
HANDLE stopEvent = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    SetEvent(stopEvent);
    // Windows ends the program as soon as this returns from a console closing, a logoff or a
    // shutdown: held here, the serve loop gets to report what was left and the byte count
    // first, and the program's own end ends this thread. Windows waits about five seconds.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) Sleep(5000);
    return TRUE;
}

// What WaitForMultipleObjects takes for a deadline: rounded up, so a wait never ends before it.
DWORD WaitMs(Clock::time_point deadline) {
    if (deadline == Clock::time_point::max()) return INFINITE;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<DWORD>(std::clamp<std::int64_t>(ms, 0, INFINITE - 1));
}

// Waits for the stop event and, if there is one, `input`.
Woke WaitFor(HANDLE input, Clock::time_point deadline) {
    const HANDLE handles[2] = {stopEvent, input};
    const DWORD r = WaitForMultipleObjects(input ? 2 : 1, handles, FALSE, WaitMs(deadline));
    if (r == WAIT_OBJECT_0 + 1) return Woke::Ready;
    if (r == WAIT_TIMEOUT) return Woke::Timeout;
    return Woke::Stop;  // the stop event, or a wait that failed
}

// TCP connections, one at a time. WSAEventSelect makes both sockets non-blocking and sets their
// events while an accept, bytes or the peer's end wait; the events are manual ones that
// WSAEnumNetworkEvents clears, and Winsock sets them again while anything is left.
class SocketSource : public Source {
public:
    explicit SocketSource(SOCKET listener) : listener_(listener) {
        WSAEventSelect(listener_, listenEvent_, FD_ACCEPT);
    }
    ~SocketSource() override {
        if (peer_ != INVALID_SOCKET) closesocket(peer_);
        if (listener_ != INVALID_SOCKET) closesocket(listener_);
        WSACloseEvent(peerEvent_);
        WSACloseEvent(listenEvent_);
    }
    SocketSource(const SocketSource&) = delete;
    SocketSource& operator=(const SocketSource&) = delete;

    Woke Wait(bool forInput, Clock::time_point deadline) override {
        if (!forInput) return WaitFor(nullptr, deadline);
        const bool open = peer_ != INVALID_SOCKET;
        // The peer's end is told once; after it, reads go on until one returns 0.
        if (open && peerClosed_) return WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0 ? Woke::Stop : Woke::Ready;
        const Woke woke = WaitFor(open ? peerEvent_ : listenEvent_, deadline);
        if (woke != Woke::Ready) return woke;
        WSANETWORKEVENTS events{};
        WSAEnumNetworkEvents(open ? peer_ : listener_, open ? peerEvent_ : listenEvent_, &events);
        if (open && (events.lNetworkEvents & FD_CLOSE)) peerClosed_ = true;
        return Woke::Ready;
    }
    long Read(std::uint8_t* data, std::size_t size) override {
        const int n = recv(peer_, reinterpret_cast<char*>(data), static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
        if (n >= 0) return n;
        return WSAGetLastError() == WSAEWOULDBLOCK && !peerClosed_ ? -1 : 0;
    }
    bool Connected() const override { return peer_ != INVALID_SOCKET; }
    bool Accept() override {
        peer_ = accept(listener_, nullptr, nullptr);
        if (peer_ == INVALID_SOCKET) return false;
        // An accepted socket takes the listener's events; it gets its own.
        WSAResetEvent(peerEvent_);
        WSAEventSelect(peer_, peerEvent_, FD_READ | FD_CLOSE);
        peerClosed_ = false;
        return true;
    }
    void CloseStream() override {
        closesocket(peer_);
        peer_ = INVALID_SOCKET;
    }
    void StopListening() override {
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
    }
    void Listen(Socket listener) override {
        listener_ = static_cast<SOCKET>(listener);
        WSAResetEvent(listenEvent_);  // the closed listener's accept, if one waited, is gone with it
        WSAEventSelect(listener_, listenEvent_, FD_ACCEPT);
    }

private:
    SOCKET listener_ = INVALID_SOCKET, peer_ = INVALID_SOCKET;
    WSAEVENT listenEvent_ = WSACreateEvent(), peerEvent_ = WSACreateEvent();
    bool peerClosed_ = false;
};

// A file or standard input, read by a thread of its own into a buffer that the wait watches: a
// read of a pipe or a console blocks, and the settle and idle timers must go on meanwhile.
class ReaderSource : public Source {
public:
    explicit ReaderSource(int fd) : shared_(std::make_shared<Shared>()) {
        // Blocked in a read, the thread can't be stopped; the program's end ends it. It keeps
        // what it shares alive itself.
        std::thread(Run, shared_, fd).detach();
    }
    ~ReaderSource() override {
        const std::lock_guard<std::mutex> hold(shared_->mutex);
        shared_->quit = true;
        shared_->space.notify_one();
    }
    ReaderSource(const ReaderSource&) = delete;
    ReaderSource& operator=(const ReaderSource&) = delete;

    Woke Wait(bool forInput, Clock::time_point deadline) override {
        return WaitFor(forInput ? shared_->ready : nullptr, deadline);
    }
    long Read(std::uint8_t* data, std::size_t size) override {
        Shared& s = *shared_;
        const std::lock_guard<std::mutex> hold(s.mutex);
        if (s.bytes.empty()) return s.ended ? 0 : -1;
        const std::size_t n = std::min({size, s.bytes.size(), static_cast<std::size_t>(LONG_MAX)});
        std::memcpy(data, s.bytes.data(), n);
        s.bytes.erase(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(n));
        if (s.bytes.empty() && !s.ended) ResetEvent(s.ready);
        s.space.notify_one();
        return static_cast<long>(n);
    }

private:
    static constexpr std::size_t kAhead = 1 << 20;  // what the thread reads ahead at most

    struct Shared {
        std::mutex mutex;
        std::condition_variable space;
        std::vector<std::uint8_t> bytes;  // read, not yet taken
        bool ended = false;               // the input's end (or a failed read) came after them
        bool quit = false;
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // bytes or the end wait
        Shared() = default;
        Shared(const Shared&) = delete;
        Shared& operator=(const Shared&) = delete;
        ~Shared() { CloseHandle(ready); }
    };

    static void Run(std::shared_ptr<Shared> shared, int fd) {
        Shared& s = *shared;
        std::vector<std::uint8_t> chunk(64 * 1024);
        for (;;) {
            {
                std::unique_lock<std::mutex> hold(s.mutex);
                s.space.wait(hold, [&] { return s.quit || s.bytes.size() < kAhead; });
                if (s.quit) break;
            }
            const int n = _read(fd, chunk.data(), static_cast<unsigned>(chunk.size()));
            const std::lock_guard<std::mutex> hold(s.mutex);
            if (n > 0) s.bytes.insert(s.bytes.end(), chunk.begin(), chunk.begin() + n);
            else s.ended = true;
            SetEvent(s.ready);
            if (s.ended) break;
        }
        if (fd != 0) _close(fd);
    }

    std::shared_ptr<Shared> shared_;
};

}  // namespace

bool CatchStopRequests() {
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return stopEvent && SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

std::unique_ptr<Source> OpenPtySource(std::string&) {
    std::fputs("prax-virtual-printer: Windows has no pty\n", stderr);
    return nullptr;
}

std::unique_ptr<Source> OpenFileSource(const std::string& path) {
    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) return std::perror(path.c_str()), nullptr;
    return std::make_unique<ReaderSource>(fd);
}

std::unique_ptr<Source> OpenStdinSource() {
    _setmode(0, _O_BINARY);  // the bytes as they are, CR LF and Ctrl+Z too
    return std::make_unique<ReaderSource>(0);
}

std::unique_ptr<Source> ListenSource(Socket listener) {
    return std::make_unique<SocketSource>(static_cast<SOCKET>(listener));
}

// Text as praxdl.exe writes it, each LF as CR LF, and in one write: a reader sees the line the
// moment it is decided.
void Print(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    const HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    for (std::size_t at = 0; at < out.size();) {
        DWORD n = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(out.size() - at, 1u << 30));
        if (!WriteFile(handle, out.data() + at, size, &n, nullptr) || n == 0) return;  // nobody reads any more
        at += n;
    }
}

void MakeFolder(const std::string& path) {
    _mkdir(path.c_str());  // an existing folder is fine too
}

}  // namespace prax::vprinter
