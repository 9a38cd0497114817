#include "platform/posix/PosixPlatform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/posix/DeviceNames.h"
#include "platform/Names.h"
#include "platform/posix/InstalledFonts.h"
#include "platform/posix/UsbPrinters.h"

namespace prax::platform::posix {

namespace {

// A synchronous write (the parallel port) that makes no progress for this long fails, so a
// printer that went away can't hang the program.
constexpr std::int64_t kSyncStallLimitMs = 20000;

struct BaudEntry {
    std::uint32_t baud;
    speed_t speed;
};
constexpr BaudEntry kBauds[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},   {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400},
};

speed_t SpeedFor(std::uint32_t baud) {
    for (const auto& e : kBauds)
        if (e.baud == baud) return e.speed;
    return B115200;
}

std::uint32_t BaudFor(speed_t speed) {
    for (const auto& e : kBauds)
        if (e.speed == speed) return e.baud;
    return 0;
}

std::uint32_t WindowsError(int err) {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return ERROR_FILE_NOT_FOUND_;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED_;
        case EBUSY:
        case EWOULDBLOCK:
            return ERROR_SHARING_VIOLATION_;
        case ECANCELED:
            return ERROR_OPERATION_ABORTED_;
        case ETIMEDOUT:
            return ERROR_SEM_TIMEOUT_;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL_;
        default:
            return ERROR_GEN_FAILURE_;
    }
}

HostReason ReasonFor(int err) {
    switch (err) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return HostReason::Absent;
        case EACCES:
        case EPERM:
        case EROFS:
            return HostReason::Permission;
        case EBUSY:
        case EWOULDBLOCK:
            return HostReason::Busy;
        case EIO:
            return HostReason::Io;
        case ENOSPC:
        case EDQUOT:
            return HostReason::DiskFull;
        default:
            return HostReason::Other;
    }
}


const std::string kFontsKey = "SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION\\FONTS";
const std::string kFontsFolder = "C:\\WINDOWS\\FONTS\\";
// Keeps a subkey of the user's fonts key from being taken for one of the machine's.
const std::string kCurrentUserPrefix = "HKEY_CURRENT_USER\\";
// Below a character device nothing can exist: the path for a font no view listed.
const std::string kNoSuchFolder = "/dev/null/";

long Err(std::uint32_t code) { return static_cast<long>(code); }

}  // namespace

void PosixPlatform::SleepUntil(std::int64_t deadlineMs) {
    for (;;) {
        const std::int64_t left = deadlineMs - MonotonicMs();
        if (left <= 0 || Aborted()) return;
        struct timespec ts {
            static_cast<time_t>(left / 1000), static_cast<long>((left % 1000) * 1000000)
        };
        nanosleep(&ts, nullptr);
    }
}

void PosixPlatform::AbortTransfers() {
    for (auto& [token, t] : transfers_)
        if (!t.error && t.done < t.bytes.size()) t.cancelled = true;
}

std::int64_t MonotonicMs() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

PosixPlatform::~PosixPlatform() {
    for (const auto& [s, state] : sockets_) ::close(static_cast<int>(s));
    for (auto& [h, d] : devices_) {
        if (d.tty) ioctl(d.fd, TIOCNXCL);
        ::close(d.fd);
    }
}

void PosixPlatform::Fail(int err, const std::string& what) {
    lastError_ = WindowsError(err);
    reason_ = ReasonFor(err);
    detail_ = what + ": " + std::strerror(err);
}

Handle PosixPlatform::CreateFileA(const std::string& name, std::uint32_t access, std::uint32_t,
                                  std::uint32_t, std::uint32_t) {
    const std::string path = HostPathFor(name, overrides());
    if (path.empty()) {
        // A USB interface path whose printer is no longer attached.
        Fail(ENODEV, name);
        return kInvalidHandle;
    }
    const bool wantRead = (access & GENERIC_READ_) != 0;
    const int create = (CreatedByOpen(path) ? O_CREAT | O_TRUNC : 0) | (AppendedTo(path) ? O_APPEND : 0);
    int fd = ::open(path.c_str(), (wantRead ? O_RDWR : O_WRONLY) | create | O_NOCTTY | O_NONBLOCK | O_CLOEXEC,
                    0666);
    if (fd < 0 && wantRead && (errno == EACCES || errno == EROFS || errno == EISDIR)) {
        // Nothing is ever read back: a device we may only write to serves as well.
        fd = ::open(path.c_str(), O_WRONLY | create | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        Fail(errno, path);
        return kInvalidHandle;
    }
    const bool tty = isatty(fd) == 1;
    // Another program holding the port must make this open fail, not share the wire with us.
    // Root gets past another holder's TIOCEXCL, so the mode is asked for too: a port already
    // exclusive is busy for everyone, and its holder's mode is never touched (our close clears
    // only the mode this open set).
    int exclusive = 0;
    if (tty && ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        ::close(fd);
        Fail(EBUSY, path);
        return kInvalidHandle;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || (tty && ioctl(fd, TIOCEXCL) != 0)) {
        const int err = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        Fail(err, path);
        return kInvalidHandle;
    }
    const Handle h = nextHandle_++;
    Device d;
    d.fd = fd;
    d.tty = tty;
    d.usbPrinter = name.rfind("\\\\?\\", 0) == 0 && !tty;
    d.path = path;
    devices_[h] = d;
    lastError_ = 0;
    reason_ = HostReason::None;
    detail_.clear();
    return h;
}

bool PosixPlatform::Drain(const Device& d) {
    closeDiscarded_ = 0;
    if (d.usbPrinter) {
        // The printer driver cancels a write still on its way when the node is closed; it
        // reports writable once the last one has gone.
        struct pollfd p {d.fd, POLLOUT, 0};
        const std::int64_t deadline = MonotonicMs() + drainLimitMs_;
        while (!Aborted() && MonotonicMs() < deadline) {
            const int r = ::poll(&p, 1, 10);
            // A signal that is no interrupt (a terminal resize) only wakes the poll.
            if (r > 0 && (p.revents & (POLLERR | POLLHUP)) == 0) return true;
            if (r > 0) break;
            if (r < 0 && errno != EINTR) break;
        }
        lastError_ = ERROR_SEM_TIMEOUT_;
        return false;
    }
    if (!d.tty) {
        // A file's last blocks may only now meet a full disk. A device that keeps nothing to
        // flush (/dev/null, a pipe) answers EINVAL or EROFS, which is no failure.
        if (fsync(d.fd) != 0 && (errno == EIO || errno == ENOSPC || errno == EDQUOT)) {
            Fail(errno, d.path);
            return false;
        }
        return true;
    }
    // The closing bytes of a stream must leave before the port is closed, and a printer may hold
    // them back with XOFF for a while (it may be busy with what it got). So wait as long as the
    // queue goes down; only when it stands still for the whole limit is the rest given up, and
    // then flushed, so that close itself doesn't wait for it as well.
    std::int64_t lastProgress = MonotonicMs();
    int lastQueued = -1;
    for (;;) {
        int queued = 0;
        if (ioctl(d.fd, TIOCOUTQ, &queued) != 0) {
            // A port hung up (the far end of a pty closed, an adapter pulled out) threw away
            // what it held: the stream did not arrive whole.
            if (errno != EIO) return true;
            Fail(EIO, d.path);
            return false;
        }
        if (queued <= 0) return true;
        if (lastQueued < 0 || queued < lastQueued) lastProgress = MonotonicMs();
        lastQueued = queued;
        if (Aborted() || MonotonicMs() - lastProgress >= drainLimitMs_) {
            tcflush(d.fd, TCOFLUSH);
            closeDiscarded_ = static_cast<std::uint64_t>(queued);
            lastError_ = ERROR_SEM_TIMEOUT_;
            return false;
        }
        SleepUntil(MonotonicMs() + 2);
    }
}

bool PosixPlatform::CloseHandle(Handle h) {
    if (events_.erase(h)) return true;
    auto it = devices_.find(h);
    if (it == devices_.end()) {
        lastError_ = ERROR_INVALID_HANDLE_;
        return false;
    }
    for (auto t = transfers_.begin(); t != transfers_.end();) {
        if (t->second.device == h) t = transfers_.erase(t);
        else ++t;
    }
    const bool handedOver = Drain(it->second);
    if (it->second.tty) ioctl(it->second.fd, TIOCNXCL);
    ::close(it->second.fd);
    devices_.erase(it);
    return handedOver;
}

bool PosixPlatform::CancelIo(Handle h) {
    if (!devices_.count(h)) {
        lastError_ = ERROR_INVALID_HANDLE_;
        return false;
    }
    for (auto& [token, t] : transfers_)
        if (t.device == h) t.cancelled = true;
    return true;
}

bool PosixPlatform::GetCommState(Handle h, Dcb& dcb) {
    auto it = devices_.find(h);
    struct termios tio {};
    if (it == devices_.end() || tcgetattr(it->second.fd, &tio) != 0) {
        Fail(it == devices_.end() ? EBADF : errno, "serial state");
        return false;
    }
    dcb.BaudRate = BaudFor(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5: dcb.ByteSize = 5; break;
        case CS6: dcb.ByteSize = 6; break;
        case CS7: dcb.ByteSize = 7; break;
        default: dcb.ByteSize = 8; break;
    }
    dcb.Parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : 0;
    dcb.StopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
    dcb.fOutX = (tio.c_iflag & IXON) != 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0;
    return true;
}

bool PosixPlatform::SetCommState(Handle h, const Dcb& dcb) {
    auto it = devices_.find(h);
    struct termios tio {};
    if (it == devices_.end() || tcgetattr(it->second.fd, &tio) != 0) {
        Fail(it == devices_.end() ? EBADF : errno, "serial state");
        return false;
    }
    // Raw: every byte goes out as it is, nothing is echoed or translated.
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= dcb.ByteSize == 7 ? CS7 : dcb.ByteSize == 6 ? CS6 : dcb.ByteSize == 5 ? CS5 : CS8;
    if (dcb.Parity == 1) tio.c_cflag |= PARENB | PARODD;
    if (dcb.Parity == 2) tio.c_cflag |= PARENB;
    if (dcb.StopBits == 2) tio.c_cflag |= CSTOPB;
    // XON/XOFF on output only: IXANY would let any byte from the printer restart output, and
    // IXOFF is for input, which this program never reads.
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    if (dcb.fOutX) tio.c_iflag |= IXON;
    if (dcb.fInX) tio.c_iflag |= IXOFF;
    cfsetispeed(&tio, SpeedFor(dcb.BaudRate));
    cfsetospeed(&tio, SpeedFor(dcb.BaudRate));
    if (tcsetattr(it->second.fd, TCSANOW, &tio) != 0) {
        Fail(errno, "serial state");
        return false;
    }
    return true;
}

bool PosixPlatform::GetCommTimeouts(Handle h, CommTimeouts& t) {
    auto it = devices_.find(h);
    if (it == devices_.end()) return false;
    t = it->second.timeouts;
    return true;
}

// Kept for the record only: the link's own write cycles bound every wait here.
bool PosixPlatform::SetCommTimeouts(Handle h, const CommTimeouts& t) {
    auto it = devices_.find(h);
    if (it == devices_.end()) return false;
    it->second.timeouts = t;
    return true;
}

bool PosixPlatform::SetCommMask(Handle h, std::uint32_t mask) {
    auto it = devices_.find(h);
    if (it == devices_.end()) return false;
    it->second.mask = mask;
    return true;
}

bool PosixPlatform::ClearCommError(Handle h, std::uint32_t& errors, ComStat& stat) {
    errors = 0;
    stat = ComStat{};
    auto it = devices_.find(h);
    if (it == devices_.end() || !it->second.tty) {
        lastError_ = ERROR_INVALID_HANDLE_;
        return false;
    }
    int queued = 0;
    if (ioctl(it->second.fd, TIOCOUTQ, &queued) == 0 && queued > 0)
        stat.cbOutQue = static_cast<std::uint32_t>(queued);
    if (ioctl(it->second.fd, FIONREAD, &queued) == 0 && queued > 0)
        stat.cbInQue = static_cast<std::uint32_t>(queued);
    return true;
}

bool PosixPlatform::PurgeComm(Handle h, std::uint32_t flags) {
    auto it = devices_.find(h);
    if (it == devices_.end()) {
        lastError_ = ERROR_INVALID_HANDLE_;
        return false;
    }
    if (flags & PURGE_TXABORT_)
        for (auto& [token, t] : transfers_)
            if (t.device == h) t.cancelled = true;
    if ((flags & PURGE_TXCLEAR_) && it->second.tty && tcflush(it->second.fd, TCOFLUSH) != 0) {
        Fail(errno, "purge");
        return false;
    }
    return true;
}

bool PosixPlatform::GetCommModemStatus(Handle h, std::uint32_t& status) {
    status = 0;
    auto it = devices_.find(h);
    if (it == devices_.end()) return false;
    int lines = 0;
    if (ioctl(it->second.fd, TIOCMGET, &lines) == 0) {
        if (lines & TIOCM_CTS) status |= MS_CTS_ON_;
        if (lines & TIOCM_DSR) status |= 0x20u;
        if (lines & TIOCM_RI) status |= 0x40u;
        if (lines & TIOCM_CD) status |= 0x80u;
        return true;
    }
    // Ptys and some adapters have no modem lines at all: nothing there can say "not ready".
    if (errno == ENOTTY || errno == EINVAL) {
        status = MS_CTS_ON_;
        return true;
    }
    Fail(errno, "modem status");
    return false;
}

Handle PosixPlatform::CreateEventA(bool manualReset, bool initialState, const std::string&) {
    const Handle h = nextHandle_++;
    events_[h] = Event{manualReset, initialState};
    return h;
}

bool PosixPlatform::SetEvent(Handle event) {
    auto it = events_.find(event);
    if (it == events_.end()) return false;
    it->second.signalled = true;
    return true;
}

bool PosixPlatform::WriteSome(int fd, Transfer& t) {
    while (t.done < t.bytes.size()) {
        const ssize_t n = ::write(fd, t.bytes.data() + t.done, t.bytes.size() - t.done);
        if (n > 0) {
            t.done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        t.error = n < 0 ? errno : EIO;
        return false;
    }
    // Whichever pass moves the last byte signals the write's event: one that finished unseen
    // would leave its waiter to sleep out the whole write cycle.
    if (auto e = events_.find(t.event); t.event != kNullHandle && e != events_.end()) e->second.signalled = true;
    return true;
}

void PosixPlatform::Pump(std::int64_t deadlineMs) {
    // Transfers whose device the last poll found hung up or failed: each gets one more write
    // (a device may report a hang-up and still take the rest) and an error if it stays short.
    std::vector<std::uint64_t> hungUp;
    for (;;) {
        if (Aborted()) {
            AbortTransfers();
            return;
        }
        std::vector<struct pollfd> fds;
        std::vector<std::uint64_t> tokens;
        for (auto& [token, t] : transfers_) {
            if (t.cancelled || t.error || t.done == t.bytes.size()) continue;
            const int fd = devices_.at(t.device).fd;
            if (!WriteSome(fd, t) || t.done == t.bytes.size()) continue;
            if (std::find(hungUp.begin(), hungUp.end(), token) != hungUp.end()) {
                t.error = EIO;
                continue;
            }
            fds.push_back({fd, POLLOUT, 0});
            tokens.push_back(token);
        }
        if (fds.empty()) return;
        const std::int64_t left = deadlineMs - MonotonicMs();
        if (left <= 0) return;
        const int r = ::poll(fds.data(), fds.size(), static_cast<int>(left > 1000 ? 1000 : left));
        if (r < 0 && errno != EINTR) return;
        hungUp.clear();
        for (std::size_t i = 0; i < fds.size(); ++i)
            if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) hungUp.push_back(tokens[i]);
    }
}

std::uint32_t PosixPlatform::WaitForSingleObject(Handle event, std::uint32_t ms) {
    auto it = events_.find(event);
    if (it == events_.end()) {
        lastError_ = ERROR_INVALID_HANDLE_;
        return WAIT_FAILED_;
    }
    const std::int64_t deadline = MonotonicMs() + ms;
    bool ours = false;
    for (auto& [token, t] : transfers_)
        if (t.event == event && !t.cancelled && !t.error && t.done < t.bytes.size()) ours = true;
    if (ours) Pump(deadline);
    if (!events_.at(event).signalled) {
        // A transfer that failed won't signal; don't sit out the whole slice for it.
        bool failed = false;
        for (auto& [token, t] : transfers_)
            if (t.event == event && (t.error || t.cancelled)) failed = true;
        if (!failed) SleepUntil(deadline);
        if (Aborted()) AbortTransfers();
    }
    Event& e = events_.at(event);
    if (!e.signalled) return WAIT_TIMEOUT_;
    if (!e.manualReset) e.signalled = false;
    return WAIT_OBJECT_0_;
}

bool PosixPlatform::WriteFile(Handle h, const std::uint8_t* data, std::uint32_t length,
                              std::uint32_t* written, Overlapped* ov) {
    if (written) *written = 0;
    auto it = devices_.find(h);
    if (it == devices_.end()) {
        lastError_ = ERROR_INVALID_HANDLE_;
        return false;
    }
    Transfer t;
    t.device = h;
    t.bytes.assign(data, data + length);
    const int fd = it->second.fd;
    if (!ov) {
        std::int64_t lastProgress = MonotonicMs();
        while (t.done < t.bytes.size()) {
            const std::size_t before = t.done;
            if (!WriteSome(fd, t)) break;
            if (t.done > before) lastProgress = MonotonicMs();
            if (t.done == t.bytes.size()) break;
            if (Aborted()) {
                t.error = ECANCELED;
                break;
            }
            if (MonotonicMs() - lastProgress >= kSyncStallLimitMs) {
                t.error = ETIMEDOUT;
                break;
            }
            struct pollfd p {fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
        if (written) *written = static_cast<std::uint32_t>(t.done);
        if (t.error) {
            Fail(t.error, it->second.path);
            return false;
        }
        return true;
    }
    ov->Transferred = 0;
    ov->token = 0;
    if (!WriteSome(fd, t)) {
        Fail(t.error, it->second.path);
        return false;
    }
    if (t.done == t.bytes.size()) {
        if (written) *written = length;
        ov->Transferred = length;
        if (auto e = events_.find(ov->hEvent); e != events_.end()) e->second.signalled = true;
        return true;
    }
    t.event = ov->hEvent;
    const std::uint64_t token = nextToken_++;
    ov->token = token;
    ov->Transferred = static_cast<std::uint32_t>(t.done);
    transfers_[token] = std::move(t);
    lastError_ = ERROR_IO_PENDING_;
    return false;
}

bool PosixPlatform::GetOverlappedResult(Handle, Overlapped& ov, std::uint32_t& transferred,
                                        bool wait) {
    auto it = transfers_.find(ov.token);
    if (it == transfers_.end()) {
        transferred = ov.Transferred;
        return true;
    }
    Transfer& t = it->second;
    if (!t.cancelled && !t.error) Pump(MonotonicMs());
    transferred = static_cast<std::uint32_t>(t.done);
    ov.Transferred = transferred;
    if (t.done == t.bytes.size()) {
        transfers_.erase(it);
        return true;
    }
    if (t.cancelled || t.error) {
        const int err = t.cancelled ? ECANCELED : t.error;
        if (wait) transfers_.erase(it);
        Fail(err, "write");
        return false;
    }
    lastError_ = ERROR_IO_INCOMPLETE_;
    return false;
}

void PosixPlatform::Sleep(std::uint32_t ms) {
    const std::int64_t deadline = MonotonicMs() + ms;
    std::vector<std::uint64_t> live;
    for (const auto& [token, t] : transfers_)
        if (!t.cancelled && !t.error && t.done < t.bytes.size()) live.push_back(token);
    Pump(deadline);
    // A pending write that failed meanwhile ends the sleep: the link looks at that write next,
    // and a printer that went away must not be waited for. Without one, a sleep is a pause.
    for (const std::uint64_t token : live)
        if (auto it = transfers_.find(token); it != transfers_.end() && it->second.error) return;
    SleepUntil(deadline);
}

std::int64_t PosixPlatform::LocalTimeMs() {
    struct timespec ts {};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int PosixPlatform::MessageBoxA(const std::string& text, const std::string& caption,
                               std::uint32_t type) {
    return AskHandler(text, caption, type);
}

bool PosixPlatform::BuildFontsView(RegKeyView& key) {
    std::vector<FontFace> faces;
    if (!InstalledFaces(faces)) return false;
    // The fonts in the user's home folder (~/.local/share/fonts, ~/.fonts) are the user's own,
    // as Windows keeps a font installed for one user apart from the machine's.
    const char* home = std::getenv("HOME");
    FontView view = ViewOfFaces(std::move(faces), home != nullptr ? home : "");
    for (auto& [name, file] : view.entries) key.values.push_back({std::move(name), REG_SZ_, std::move(file)});
    fontPaths_ = std::move(view.paths);
    userFonts_ = std::move(view.userEntries);
    fontsViewBuilt_ = true;
    return true;
}

long PosixPlatform::RegOpenKeyExA(HKey root, const std::string& subKey, std::uint32_t,
                                  HKey& out) {
    out = 0;
    std::string path = UpperAscii(TrimmedKeyPath(subKey));
    if (root == HKEY_CURRENT_USER_) {
        // Only the user's fonts: the view built with the machine's, which a fill opens first.
        if (path != kFontsKey) return Err(ERROR_FILE_NOT_FOUND_);
        if (!fontsViewBuilt_) {
            RegKeyView machine;
            if (!BuildFontsView(machine)) return Err(ERROR_FILE_NOT_FOUND_);
        }
        RegKeyView user;
        user.path = kCurrentUserPrefix + path;
        for (const auto& [name, file] : userFonts_) user.values.push_back({name, REG_SZ_, file});
        out = nextHandle_++;
        keys_[out] = std::move(user);
        return Err(ERROR_SUCCESS_);
    }
    if (root != HKEY_LOCAL_MACHINE_) {
        auto it = keys_.find(root);
        if (it == keys_.end()) return Err(ERROR_INVALID_HANDLE_);
        path = path.empty() ? it->second.path : it->second.path + "\\" + path;
    }
    RegKeyView key;
    key.path = path;
    // Once per open, not per value: a fill reads the whole list from one consistent view.
    if (path == kFontsKey) {
        if (!BuildFontsView(key)) return Err(ERROR_FILE_NOT_FOUND_);
    } else if (path == kUsbPrintingClassKey || path == kUsbPrintEnumKey) {
        const std::vector<UsbPrinter> printers = ScanUsbPrinters();
        if (!UsbPrintDriverPresent(!printers.empty())) return Err(ERROR_FILE_NOT_FOUND_);
        if (path == kUsbPrintingClassKey) {
            for (const UsbPrinter& p : printers) key.subKeys.push_back(p.InterfaceKey());
            std::sort(key.subKeys.begin(), key.subKeys.end(),
                      [](const std::string& a, const std::string& b) { return UpperAscii(a) < UpperAscii(b); });
        } else {
            const auto count = static_cast<std::uint32_t>(printers.size());
            key.values.push_back({"Count", REG_DWORD_,
                                  std::string{static_cast<char>(count & 0xFF), static_cast<char>((count >> 8) & 0xFF),
                                              static_cast<char>((count >> 16) & 0xFF),
                                              static_cast<char>(count >> 24)}});
            for (std::size_t i = 0; i < printers.size(); ++i)
                key.values.push_back({std::to_string(i), REG_SZ_, printers[i].DeviceId()});
        }
    } else {
        return Err(ERROR_FILE_NOT_FOUND_);
    }
    out = nextHandle_++;
    keys_[out] = std::move(key);
    return Err(ERROR_SUCCESS_);
}

long PosixPlatform::RegQueryInfoKeyA(HKey key, std::uint32_t& subKeyCount,
                                     std::uint32_t& valueCount) {
    subKeyCount = valueCount = 0;
    auto it = keys_.find(key);
    if (it == keys_.end()) return Err(ERROR_INVALID_HANDLE_);
    subKeyCount = static_cast<std::uint32_t>(it->second.subKeys.size());
    valueCount = static_cast<std::uint32_t>(it->second.values.size());
    return Err(ERROR_SUCCESS_);
}

long PosixPlatform::RegEnumKeyExA(HKey key, std::uint32_t index, std::string& name) {
    name.clear();
    auto it = keys_.find(key);
    if (it == keys_.end()) return Err(ERROR_INVALID_HANDLE_);
    if (index >= it->second.subKeys.size()) return ERROR_NO_MORE_ITEMS_;
    name = it->second.subKeys[index];
    return Err(ERROR_SUCCESS_);
}

long PosixPlatform::RegEnumValueA(HKey key, std::uint32_t index, std::string& name) {
    name.clear();
    auto it = keys_.find(key);
    if (it == keys_.end()) return Err(ERROR_INVALID_HANDLE_);
    if (index >= it->second.values.size()) return ERROR_NO_MORE_ITEMS_;
    name = it->second.values[index].name;
    return Err(ERROR_SUCCESS_);
}

long PosixPlatform::RegQueryValueExA(HKey key, const std::string& name, std::uint32_t& type,
                                     std::string& data) {
    type = REG_NONE_;
    data.clear();
    auto it = keys_.find(key);
    if (it == keys_.end()) return Err(ERROR_INVALID_HANDLE_);
    // Compared in place: a key of a thousand printers' entries is read a value at a time.
    const auto sameName = [&name](const std::string& other) {
        return other.size() == name.size() &&
               std::equal(other.begin(), other.end(), name.begin(), [](char a, char b) {
                   return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
               });
    };
    for (const RegValueView& v : it->second.values) {
        if (!sameName(v.name)) continue;
        type = v.type;
        data = v.data;
        return Err(ERROR_SUCCESS_);
    }
    return Err(ERROR_FILE_NOT_FOUND_);
}

long PosixPlatform::RegCloseKey(HKey key) {
    return keys_.erase(key) ? Err(ERROR_SUCCESS_) : Err(ERROR_INVALID_HANDLE_);
}

bool PosixPlatform::ListUsbDevices(std::vector<UsbDeviceFacts>& out) {
    out.clear();
    for (UsbPrinter& p : ScanUsbPrinters()) {
        UsbDeviceFacts f;
        f.interfacePath = p.InterfacePath();
        f.port = p.lp;
        f.nodeReady = UsbNodeReady(p.node);
        f.node = std::move(p.node);
        f.serial = std::move(p.serial);
        f.manufacturer = std::move(p.manufacturer);
        f.product = std::move(p.product);
        out.push_back(std::move(f));
    }
    return true;
}

bool PosixPlatform::WaitForUsbChange(std::uint32_t ms) {
    if (!usbWatch_) {
        usbWatch_ = std::make_unique<UsbWatch>();
        return true;
    }
    return usbWatch_->Wait(ms);
}

std::string PosixPlatform::HostFilePath(const std::string& windowsPath) {
    if (windowsPath.size() <= kFontsFolder.size() ||
        UpperAscii(windowsPath.substr(0, kFontsFolder.size())) != kFontsFolder)
        return windowsPath;
    const std::string bare = windowsPath.substr(kFontsFolder.size());
    if (bare.find_first_of("\\/") != std::string::npos) return windowsPath;
    // A caller that never listed the fonts still finds the files they name.
    if (!fontsViewBuilt_) {
        RegKeyView unused;
        BuildFontsView(unused);
    }
    if (auto it = fontPaths_.find(UpperAscii(bare)); it != fontPaths_.end()) return it->second;
    return kNoSuchFolder + bare;
}

std::string PosixPlatform::RegistryKeyPlace(HKey root, const std::string& subKey) {
    if (UpperAscii(TrimmedKeyPath(subKey)) != kFontsKey) return {};
    if (root == HKEY_CURRENT_USER_) return "the fonts fontconfig finds in your home folder (~/.local/share/fonts)";
    return "the fonts fontconfig finds outside your home folder (fc-list lists them)";
}

}  // namespace prax::platform::posix
