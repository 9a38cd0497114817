// The printer link: turns a port code into an open device, sets a serial port up, and sends
// bytes with time-outs and the operator's say on stalled writes. It never throws.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace prax::link {

enum class TransportKind : std::int32_t { Device = 0, Spooler = 1, Network = 2 };

inline constexpr std::int32_t kUsbPortCode = 300;
inline constexpr std::int32_t kLpt1PortCode = 0;

// A network printer's raw port. The window never offers one; praxdl --host does.
struct NetworkTarget {
    std::string host;
    std::uint16_t port = 9100;
    std::uint32_t connectTimeoutMs = 5000;
};

// Link-wide state, shared by every TCom of a thread: one link is in use at a time on it. Where
// several printers are served at once each link runs on a thread of its own, and so has its own.
std::string& currentDeviceName();
// The name a device is opened under: "\\.\" before a serial port's name ("COMn"), others as
// they stand.
std::string DeviceFileName(const std::string& name);
bool& quietStall();

class TCom {
public:
    explicit TCom(platform::Platform& host);
    ~TCom();
    TCom(const TCom&) = delete;
    TCom& operator=(const TCom&) = delete;

    bool Open(std::int32_t portCode);
    bool OpenDevice(const std::string& name);
    // Kind 2: the process-wide socket holder, connected to `target` when it holds no socket.
    bool OpenNetwork(const NetworkTarget& target);
    // Kind 1 and 2: 1 or 0. LPT1: the synchronous write's result. Otherwise the count the system
    // reports as transferred, 0 on failure.
    int Write(const std::uint8_t* data, int length);
    int Write(const std::string& text) {
        return Write(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
    }
    void WriteByte(std::uint8_t value);
    // False when the close could not hand over what was still queued for the printer (the host
    // gave it up after its wait, the peer reset, the disk was full); what it gave up, where the
    // host can tell, no longer counts as delivered.
    bool Close();

    bool SetBaudRate(int baud);
    bool WaitForClearToSend();

    // Whether the last Write delivered all of its bytes; an operation stops once one has not.
    bool LastWriteDelivered() const { return lastWriteDelivered_; }
    // Whether the host ended the last Write with an error (the device gone, an I/O error),
    // rather than the printer only not taking data.
    bool LastWriteLost() const { return lastWriteLost_; }
    // Bytes delivered since the last successful open; output discarded from the port's queue
    // after a give-up does not count.
    std::uint64_t DeliveredBytes() const { return delivered_; }
    // Throws away what is still queued for the port, so none of an abandoned stream reaches the
    // printer ahead of the next one. Every short write does this by itself.
    void DiscardQueuedOutput();
    bool IsOpen() const;

    // Fields, in the order the link declares them.
    platform::Handle handle = platform::kNullHandle;
    std::uint32_t writeTimeoutMs = 10000;
    platform::Handle writeEvent = platform::kNullHandle;
    std::int32_t interfaceCount = 1;
    std::uint32_t spoolWritten = 0;
    TransportKind kind = TransportKind::Device;

    // The interface path of the printer the USB port code opens; empty: the first accepted one.
    std::string usbPrinter;

private:
    class PendingWrite;
    // What every open does first: whatever the link holds is closed, and the new connection
    // starts with a clean count and the first stall given up without asking.
    void StartOpen(const std::string& name, TransportKind newKind);
    int WriteOverlapped(const std::uint8_t* data, int length);
    int WriteSpooler(const std::uint8_t* data, int length);
    int WriteNetwork(const std::uint8_t* data, int length);
    // Whether the host reported an error other than "still in progress" for the pending write.
    bool HardError();
    void NoteWrite(int length, std::uint64_t deliveredNow, bool lost = false);

    platform::Platform& host_;
    char nameBuffer_[500] = {};
    bool lastWriteDelivered_ = true;
    bool lastWriteLost_ = false;
    std::uint64_t delivered_ = 0;
};

}  // namespace prax::link
