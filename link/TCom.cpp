#include "link/TCom.h"

#include <cstdio>
#include <cstring>

#include "link/NetSocket.h"
#include "link/UsbDiscovery.h"
#include "platform/Names.h"

namespace prax::link {

using namespace prax::platform;

std::string& currentDeviceName() {
    thread_local std::string name;
    return name;
}

bool& quietStall() {
    thread_local bool quiet = true;
    return quiet;
}

namespace {
constexpr const char* kRetryText = "Retry again?";
constexpr const char* kRetryCaption = "Time-out";
constexpr const char* kStallText = "Continue ? \r\n[Y] Continue \r\n[N] Stop";
constexpr const char* kStallCaption = "IO Error (ERROR_IO_PENDING)";
constexpr std::uint32_t kCommMask = 0x25E;  // RXFLAG | TXEMPTY | CTS | DSR | BREAK | PERR
}  // namespace

TCom::TCom(Platform& host) : host_(host) {}

TCom::~TCom() {
    try {
        if (kind == TransportKind::Network) {
            if (NetSocket* net = NetSocket::Instance()) net->CloseSocket();
            handle = kNullHandle;
        } else if (handle != kNullHandle) {
            Close();
        }
    } catch (...) {
    }
}

bool TCom::Open(std::int32_t portCode) {
    try {
        std::snprintf(nameBuffer_, sizeof nameBuffer_, "a");
        kind = TransportKind::Device;
        if (portCode == kLpt1PortCode) {
            std::snprintf(nameBuffer_, sizeof nameBuffer_, "LPT1");
        } else if (portCode == kUsbPortCode && IsUsbPrinterInterfacePath(usbPrinter)) {
            // A printer that a look picked out a moment ago opens by its path, and fails as one
            // pulled out does when it is gone: a search of its own for each of a thousand links
            // would make a line cost the square of its printers.
            if (usbPrinter.size() >= sizeof nameBuffer_) return false;
            std::snprintf(nameBuffer_, sizeof nameBuffer_, "%s", usbPrinter.c_str());
        } else if (portCode == kUsbPortCode) {
            int count = 0;
            const std::string path = FindUsbPrinterPath(host_, count, usbPrinter);
            interfaceCount = count;
            // An interface name has at most 254 characters, so any path found fits the buffer.
            if (path.empty() || path.size() >= sizeof nameBuffer_) return false;
            std::snprintf(nameBuffer_, sizeof nameBuffer_, "%s", path.c_str());
        } else if (portCode >= 1) {
            std::snprintf(nameBuffer_, sizeof nameBuffer_, "COM%d", portCode);
        }
        return OpenDevice(nameBuffer_);
    } catch (...) {
        return false;
    }
}

void TCom::StartOpen(const std::string& name, TransportKind newKind) {
    quietStall() = true;
    Close();
    currentDeviceName() = name;
    kind = newKind;
    delivered_ = 0;
    lastWriteDelivered_ = true;
    lastWriteLost_ = false;
}

std::string DeviceFileName(const std::string& name) {
    // Built whole rather than into a fixed buffer: a long name must not open a cut one.
    return !name.empty() && name[0] == 'C' ? "\\\\.\\" + name : name;
}

bool TCom::OpenDevice(const std::string& name) {
    try {
        StartOpen(name, TransportKind::Device);

        const std::uint32_t access = GENERIC_READ_ | GENERIC_WRITE_;
        const std::uint32_t share = FILE_SHARE_READ_ | FILE_SHARE_WRITE_;
        const bool serial = !name.empty() && name[0] == 'C';
        Handle h;
        if (serial) {
            h = host_.CreateFileA(DeviceFileName(name), access, share, OPEN_EXISTING_, FILE_FLAG_OVERLAPPED_);
        } else if (!name.empty() && name[0] == 'L') {
            h = host_.CreateFileA(name, access, share, OPEN_EXISTING_, FILE_ATTRIBUTE_NORMAL_);
        } else {
            h = host_.CreateFileA(name, access, share, OPEN_EXISTING_, FILE_FLAG_OVERLAPPED_);
        }
        if (h == kInvalidHandle || h == kNullHandle) {
            handle = kNullHandle;
            return false;
        }
        handle = h;
        if (serial) {
            SetBaudRate(115200);
            CommTimeouts t;
            host_.GetCommTimeouts(handle, t);
            t.ReadIntervalTimeout = 200;
            t.ReadTotalTimeoutMultiplier = 100;
            t.ReadTotalTimeoutConstant = 200;
            t.WriteTotalTimeoutMultiplier = 100;
            t.WriteTotalTimeoutConstant = 200;
            host_.SetCommTimeouts(handle, t);
            host_.SetCommMask(handle, kCommMask);
            if (!WaitForClearToSend()) return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool TCom::OpenNetwork(const NetworkTarget& target) {
    try {
        StartOpen(HostAndPort(target.host, target.port), TransportKind::Network);
        NetSocket* net = NetSocket::Instance();
        // Without sockets started there is nothing to connect with.
        if (net == nullptr || !netStarted()) return false;
        if (!net->IsValid()) {
            const Socket s = host_.ConnectTcp(target.host, target.port, target.connectTimeoutMs);
            if (s != INVALID_SOCKET_) net->Adopt(s);
        }
        return net->IsValid();
    } catch (...) {
        return false;
    }
}

bool TCom::IsOpen() const {
    if (kind == TransportKind::Network) {
        const NetSocket* net = NetSocket::Instance();
        return net != nullptr && net->IsValid();
    }
    return handle != kNullHandle;
}

bool TCom::SetBaudRate(int baud) {
    try {
        if (handle == kNullHandle) return false;
        Dcb dcb;
        dcb.DCBlength = 28;
        host_.GetCommState(handle, dcb);
        dcb.BaudRate = static_cast<std::uint32_t>(baud);
        dcb.ByteSize = 8;
        dcb.Parity = 0;
        dcb.StopBits = 0;
        dcb.fOutX = true;
        return host_.SetCommState(handle, dcb);
    } catch (...) {
        return false;
    }
}

bool TCom::WaitForClearToSend() {
    std::int64_t start = host_.LocalTimeMs();
    for (;;) {
        std::uint32_t status = 0;
        // A failed poll leaves the status word without CTS: the port is treated as not ready.
        if (!host_.GetCommModemStatus(handle, status)) status = 0;
        const std::int64_t now = host_.LocalTimeMs();
        const std::int64_t elapsedMs = now >= start ? now - start : start - now;
        if (elapsedMs / 1000 > 1) {
            if (host_.MessageBoxA(kRetryText, kRetryCaption, MB_YESNO_ | MB_ICONEXCLAMATION_) !=
                IDYES_)
                return false;
            start = host_.LocalTimeMs();
        }
        if (status & MS_CTS_ON_) return true;
    }
}

void TCom::NoteWrite(int length, std::uint64_t deliveredNow, bool lost) {
    delivered_ += deliveredNow;
    lastWriteDelivered_ = length <= 0 || deliveredNow >= static_cast<std::uint64_t>(length);
    lastWriteLost_ = lost;
    if (!lastWriteDelivered_) DiscardQueuedOutput();
}

void TCom::DiscardQueuedOutput() {
    try {
        if (kind == TransportKind::Network) {
            // A connection that failed or stalled is given up at once, so that the count drops
            // what never left this host before anyone reads it.
            const NetSocket* net = NetSocket::Instance();
            if (net != nullptr && net->IsValid()) Close();
            return;
        }
        if (kind != TransportKind::Device || handle == kNullHandle) return;
        // What still sits in the queue has not reached the printer: it is neither sent later
        // nor counted. Only a serial port can tell; for other devices the count stands.
        std::uint32_t errors = 0;
        ComStat stat;
        const std::uint64_t queued = host_.ClearCommError(handle, errors, stat) ? stat.cbOutQue : 0;
        host_.PurgeComm(handle, PURGE_TXABORT_ | PURGE_TXCLEAR_);
        delivered_ -= queued < delivered_ ? queued : delivered_;
    } catch (...) {
    }
}

int TCom::Write(const std::uint8_t* data, int length) {
    try {
        if (kind == TransportKind::Spooler) return WriteSpooler(data, length);
        if (kind == TransportKind::Network) return WriteNetwork(data, length);
        if (length < 0) {
            // No count below zero means anything; it must not reach the host as a huge one.
            NoteWrite(0, 0);
            return 0;
        }
        if (currentDeviceName().rfind("LPT1", 0) == 0) {
            std::uint32_t written = 0;
            const bool ok = host_.WriteFile(handle, data, static_cast<std::uint32_t>(length), &written,
                                            nullptr);
            // A port that timed out only stopped taking data; any other error lost the device.
            const bool lost = !ok && handle != kNullHandle && host_.GetLastError() != ERROR_SEM_TIMEOUT_;
            NoteWrite(length, ok ? written : 0, lost);
            return ok ? 1 : 0;
        }
        if (handle == kNullHandle || length == 0) {
            NoteWrite(length, 0);
            return 0;
        }
        return WriteOverlapped(data, length);
    } catch (...) {
        lastWriteDelivered_ = false;
        return 0;
    }
}

int TCom::WriteSpooler(const std::uint8_t* data, int length) {
    // A byte at a time, each tried once more when the spooler refuses it.
    for (int i = 0; i < length; ++i) {
        if (!host_.WritePrinter(handle, data + i, 1, spoolWritten) &&
            !host_.WritePrinter(handle, data + i, 1, spoolWritten)) {
            NoteWrite(length, static_cast<std::uint64_t>(i));
            return 0;
        }
    }
    NoteWrite(length, length > 0 ? static_cast<std::uint64_t>(length) : 0);
    return 1;
}

int TCom::WriteNetwork(const std::uint8_t* data, int length) {
    NetSocket* net = NetSocket::Instance();
    if (net == nullptr || !net->IsValid()) {
        // No connection to write to: if there was anything to send, it is lost.
        NoteWrite(length, 0, length > 0);
        return 0;
    }
    if (net->SendAll(data, length)) {
        NoteWrite(length, length > 0 ? static_cast<std::uint64_t>(length) : 0);
        return 1;
    }
    const int sent = net->LastSendResult();
    // A peer that only stopped taking data timed the send out; anything else (reset, closed,
    // unreachable) lost the connection. An interrupted send is the operator's stop, which the
    // transfer sees for itself.
    const int error = host_.WSAGetLastError();
    NoteWrite(length, sent > 0 ? static_cast<std::uint64_t>(sent) : 0,
              error != WSAETIMEDOUT_ && error != WSAEINTR_);
    return 0;
}

bool TCom::HardError() { return host_.GetLastError() != ERROR_IO_INCOMPLETE_; }

// The event of one overlapped write and, while it is in flight, the transfer itself. Whatever
// way the write is left (an exception from a question hook included), a transfer still in
// flight is cancelled and waited for, so the kernel never writes into a record that is gone,
// and the event is closed.
class TCom::PendingWrite {
public:
    explicit PendingWrite(TCom& com) : com_(com) {
        com_.writeEvent = com_.host_.CreateEventA(false, false, "write_event");
        ov.hEvent = com_.writeEvent;
    }
    ~PendingWrite() {
        try {
            if (inFlight) Settle(transferred);
            Release();
        } catch (...) {
        }
    }
    PendingWrite(const PendingWrite&) = delete;
    PendingWrite& operator=(const PendingWrite&) = delete;

    // Cancels the transfer and waits until it has settled; the count may still grow meanwhile.
    void Settle(std::uint32_t& count) {
        inFlight = false;
        com_.host_.CancelIo(com_.handle);
        std::uint32_t settled = count;
        com_.host_.GetOverlappedResult(com_.handle, ov, settled, true);
        if (settled > count) count = settled;
    }
    void Release() {
        if (com_.writeEvent == kNullHandle) return;
        com_.host_.CloseHandle(com_.writeEvent);
        com_.writeEvent = kNullHandle;
    }

    Overlapped ov;
    std::uint32_t transferred = 0;
    bool inFlight = false;

private:
    TCom& com_;
};

int TCom::WriteOverlapped(const std::uint8_t* data, int length) {
    const auto len = static_cast<std::uint32_t>(length);
    PendingWrite w(*this);
    std::uint32_t& transferred = w.transferred;

    auto finish = [&](std::uint32_t count) {
        w.inFlight = false;
        quietStall() = false;
        w.Release();
        NoteWrite(length, count);
        return static_cast<int>(count);
    };
    // The write ends short: silently after a first stall, after No, or on a host error.
    auto giveUp = [&](bool lost, int result) {
        w.Settle(transferred);
        w.Release();
        NoteWrite(length, transferred, lost);
        return result;
    };

    if (host_.WriteFile(handle, data, len, &transferred, &w.ov)) return finish(transferred);
    if (host_.GetLastError() != ERROR_IO_PENDING_) {
        host_.SetEvent(writeEvent);
        w.Release();
        NoteWrite(length, 0, true);
        return 0;
    }
    w.inFlight = true;
    for (;;) {
        host_.WaitForSingleObject(writeEvent, writeTimeoutMs);
        if (host_.GetOverlappedResult(handle, w.ov, transferred, false)) return finish(transferred);
        // A device that is gone or failed won't take the rest, however long we wait.
        if (HardError()) return giveUp(true, 0);
        const std::uint32_t remembered = transferred;
        for (int i = 0; i < 10; ++i) {
            host_.Sleep(writeTimeoutMs / 10);
            if (!host_.GetOverlappedResult(handle, w.ov, transferred, false) && HardError())
                return giveUp(true, 0);
        }
        host_.GetOverlappedResult(handle, w.ov, transferred, false);
        if (transferred == len) return finish(transferred);
        if (transferred > remembered) continue;
        if (quietStall()) return giveUp(false, 0);
        if (host_.MessageBoxA(kStallText, kStallCaption, MB_YESNO_ | MB_ICONEXCLAMATION_) == IDYES_)
            continue;
        w.Settle(transferred);
        return finish(transferred);
    }
}

void TCom::WriteByte(std::uint8_t value) {
    try {
        Write(&value, 1);
    } catch (...) {
    }
}

bool TCom::Close() {
    bool handedOver = true;
    try {
        if (kind == TransportKind::Device && handle != kNullHandle) {
            host_.CancelIo(handle);
            handedOver = host_.CloseHandle(handle);
        } else if (kind == TransportKind::Spooler) {
            host_.EndDocPrinter(handle);
            host_.ClosePrinter(handle);
        } else if (kind == TransportKind::Network) {
            if (NetSocket* net = NetSocket::Instance()) handedOver = net->CloseSocket();
        }
        if (!handedOver) {
            // What the close gave up never reached the printer.
            const std::uint64_t discarded = host_.LastCloseDiscarded();
            delivered_ -= discarded < delivered_ ? discarded : delivered_;
        }
    } catch (...) {
    }
    handle = kNullHandle;
    return handedOver;
}

}  // namespace prax::link
