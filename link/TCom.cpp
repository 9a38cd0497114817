#include "link/TCom.h"

#include <cstdio>
#include <cstring>

namespace prax::link {

using namespace prax::platform;

std::string& currentDeviceName() {
    static std::string name;
    return name;
}

bool& quietStall() {
    static bool quiet = true;
    return quiet;
}

namespace {
constexpr const char* kRetryText = "Retry again?";
constexpr const char* kRetryCaption = "Time-out";
constexpr const char* kStallText = "Continue ? \r\n[Y] Continue \r\n[N] Stop";
constexpr const char* kStallCaption = "IO Error (ERROR_IO_PENDING)";
constexpr std::uint32_t kCommMask = 0x25E;  // RXFLAG | TXEMPTY | CTS | DSR | BREAK | PERR
}  // namespace

TCom::TCom(Platform& host, UsbDiscovery* usb) : host_(host), usb_(usb) {}

TCom::~TCom() {
    try {
        if (kind == TransportKind::Network) {
            handle = kNullHandle;  // no network transport is opened by this program
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
        } else if (portCode == kUsbPortCode) {
            if (!usb_) {
                interfaceCount = 0;
                return false;
            }
            interfaceCount = usb_->CountPrinterInterfaces();
            const std::string path = usb_->FirstAcceptedPrinterPath();
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

bool TCom::OpenDevice(const std::string& name) {
    try {
        quietStall() = true;
        Close();
        currentDeviceName() = name;
        kind = TransportKind::Device;
        delivered_ = 0;
        lastWriteDelivered_ = true;

        const std::uint32_t access = GENERIC_READ_ | GENERIC_WRITE_;
        const std::uint32_t share = FILE_SHARE_READ_ | FILE_SHARE_WRITE_;
        const bool serial = !name.empty() && name[0] == 'C';
        Handle h;
        if (serial) {
            // Built whole rather than into a fixed buffer: a long name must not open a cut one.
            const std::string path = "\\\\.\\" + name;
            h = host_.CreateFileA(path, access, share, OPEN_EXISTING_, FILE_FLAG_OVERLAPPED_);
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

void TCom::NoteWrite(int length, std::uint64_t deliveredNow) {
    delivered_ += deliveredNow;
    lastWriteDelivered_ = length <= 0 || deliveredNow >= static_cast<std::uint64_t>(length);
}

int TCom::Write(const std::uint8_t* data, int length) {
    try {
        if (kind == TransportKind::Spooler || kind == TransportKind::Network) {
            // Nothing in this program opens these kinds; a link of that kind delivers nothing.
            NoteWrite(length, 0);
            return 0;
        }
        if (currentDeviceName().rfind("LPT1", 0) == 0) {
            std::uint32_t written = 0;
            const bool ok = host_.WriteFile(handle, data, static_cast<std::uint32_t>(length < 0 ? 0 : length),
                                            &written, nullptr);
            NoteWrite(length, ok ? written : 0);
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

// After a give-up the transfer may still be running: cancel it and let it settle, so nothing of
// this buffer reaches the printer behind a later write, and the event is not left open.
void TCom::EndPendingWrite(Overlapped& ov, std::uint32_t& transferred) {
    host_.CancelIo(handle);
    std::uint32_t settled = transferred;
    host_.GetOverlappedResult(handle, ov, settled, true);
    if (settled > transferred) transferred = settled;
}

int TCom::WriteOverlapped(const std::uint8_t* data, int length) {
    const auto len = static_cast<std::uint32_t>(length);
    writeEvent = host_.CreateEventA(false, false, "write_event");
    Overlapped ov;
    ov.hEvent = writeEvent;
    std::uint32_t transferred = 0;

    auto release = [&] {
        host_.CloseHandle(writeEvent);
        writeEvent = kNullHandle;
    };
    auto finish = [&](std::uint32_t count) {
        quietStall() = false;
        release();
        NoteWrite(length, count);
        return static_cast<int>(count);
    };

    if (host_.WriteFile(handle, data, len, &transferred, &ov)) return finish(transferred);
    if (host_.GetLastError() != ERROR_IO_PENDING_) {
        host_.SetEvent(writeEvent);
        release();
        NoteWrite(length, 0);
        return 0;
    }
    for (;;) {
        host_.WaitForSingleObject(writeEvent, writeTimeoutMs);
        if (host_.GetOverlappedResult(handle, ov, transferred, false)) return finish(transferred);
        const std::uint32_t remembered = transferred;
        for (int i = 0; i < 10; ++i) host_.Sleep(writeTimeoutMs / 10);
        host_.GetOverlappedResult(handle, ov, transferred, false);
        if (transferred == len) return finish(transferred);
        if (transferred > remembered) continue;
        if (quietStall()) {
            EndPendingWrite(ov, transferred);
            release();
            NoteWrite(length, transferred);
            return 0;
        }
        if (host_.MessageBoxA(kStallText, kStallCaption, MB_YESNO_ | MB_ICONEXCLAMATION_) == IDYES_)
            continue;
        EndPendingWrite(ov, transferred);
        return finish(transferred);
    }
}

void TCom::WriteByte(std::uint8_t value) {
    try {
        Write(&value, 1);
    } catch (...) {
    }
}

void TCom::Close() {
    try {
        if (kind == TransportKind::Device && handle != kNullHandle) {
            host_.CancelIo(handle);
            host_.CloseHandle(handle);
        }
    } catch (...) {
    }
    handle = kNullHandle;
}

}  // namespace prax::link
