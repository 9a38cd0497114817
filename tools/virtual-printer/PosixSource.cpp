// The inputs with the POSIX calls: descriptors that poll(2) watches together with a pipe that a
// signal writes to.
#include "tools/virtual-printer/Source.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

namespace prax::vprinter {
namespace {

using Ms = std::chrono::milliseconds;

// Nobody drains it, so one signal ends every wait, of every printer, from then on.
int signalPipe[2] = {-1, -1};
void OnSignal(int) {
    const char c = 's';
    [[maybe_unused]] const ssize_t r = write(signalPipe[1], &c, 1);
}

void SetRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
}

int CeilMs(Clock::duration d) {
    const auto ms = std::chrono::ceil<Ms>(d).count();
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT_MAX));
}

// What it reads from: `in` (the pty's master, a file, standard input, or the open connection of
// `listener`); `slave`, the pty's device end it holds open.
class FdSource : public Source {
public:
    FdSource(int in, int slave, int listener) : in_(in), slave_(slave), listener_(listener) {}
    ~FdSource() override {
        if (slave_ >= 0) close(slave_);
        if (in_ >= 0 && in_ != STDIN_FILENO) close(in_);
        if (listener_ >= 0) close(listener_);
    }
    FdSource(const FdSource&) = delete;
    FdSource& operator=(const FdSource&) = delete;

    Woke Wait(bool forInput, Clock::time_point deadline) override {
        const bool waitingForPeer = listener_ >= 0 && in_ < 0;
        pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {!forInput ? -1 : waitingForPeer ? listener_ : in_, POLLIN, 0}};
        const int ready = poll(fds, 2, deadline == Clock::time_point::max() ? -1 : CeilMs(deadline - Clock::now()));
        if (ready < 0) return errno == EINTR ? Woke::Nothing : Woke::Stop;
        if (fds[0].revents) return Woke::Stop;
        if (ready == 0) return Woke::Timeout;
        const short wanted = waitingForPeer ? POLLIN : POLLIN | POLLHUP | POLLERR;
        return fds[1].revents & wanted ? Woke::Ready : Woke::Nothing;
    }
    long Read(std::uint8_t* data, std::size_t size) override {
        const ssize_t r = read(in_, data, size);
        if (r < 0 && (errno == EINTR || errno == EAGAIN)) return -1;
        return r < 0 ? 0 : static_cast<long>(r);
    }
    bool Connected() const override { return in_ >= 0; }
    bool Accept() override {
        in_ = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        return in_ >= 0;
    }
    void CloseStream() override {
        close(in_);
        in_ = -1;
    }
    void StopListening() override {
        close(listener_);
        listener_ = -1;
    }
    void Listen(Socket listener) override { listener_ = listener; }
    void Send(std::uint8_t byte) override { [[maybe_unused]] const ssize_t r = write(in_, &byte, 1); }
    // A writer sets TIOCEXCL; with our own descriptor keeping the device open that flag would
    // outlive the writer and lock out its next session. Clearing it while idle keeps the device
    // reopenable; the writer's flock still keeps two writers apart.
    void Idle() override { ioctl(slave_, TIOCNXCL); }

private:
    int in_ = -1, slave_ = -1, listener_ = -1;
};

}  // namespace

bool CatchStopRequests() {
    signal(SIGPIPE, SIG_IGN);
    if (pipe(signalPipe) != 0) return false;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &sa, nullptr);
    return true;
}

// A pty pair in raw mode with a non-blocking master.
std::unique_ptr<Source> OpenPtySource(std::string& name) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return std::perror("pty"), nullptr;
    const char* device = ptsname(master);
    if (!device) return std::perror("ptsname"), nullptr;
    name = device;
    SetRaw(master);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // Holding the device end ourselves means a writer that closes and reopens it never
    // leaves the master without a peer (which would turn every read into EIO).
    const int slave = open(device, O_RDWR | O_NOCTTY);
    if (slave < 0) return std::perror(device), nullptr;
    SetRaw(slave);  // no CR/LF translation either way: the bytes are the message
    return std::make_unique<FdSource>(master, slave, -1);
}

std::unique_ptr<Source> OpenFileSource(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return std::perror(path.c_str()), nullptr;
    return std::make_unique<FdSource>(fd, -1, -1);
}

std::unique_ptr<Source> OpenStdinSource() { return std::make_unique<FdSource>(STDIN_FILENO, -1, -1); }

std::unique_ptr<Source> ListenSource(Socket listener) { return std::make_unique<FdSource>(-1, -1, listener); }

// Standard output by write(2) itself: a line goes out in one write the moment it is decided, so
// a reader sees it at once and the lines of two printers never mix.
void Print(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = write(STDOUT_FILENO, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // nobody reads any more: the printer carries on all the same
        at += static_cast<std::size_t>(n);
    }
}

void MakeFolder(const std::string& path) {
    mkdir(path.c_str(), 0777);  // an existing folder is fine too
}

}  // namespace prax::vprinter
