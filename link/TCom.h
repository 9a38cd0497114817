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

// Finds the device path of an attached USB printer. Without one, USB opens fail.
class UsbDiscovery {
public:
    virtual ~UsbDiscovery() = default;
    // The number of printer interfaces counted, and the first accepted path (empty: none).
    virtual std::int32_t CountPrinterInterfaces() = 0;
    virtual std::string FirstAcceptedPrinterPath() = 0;
};

// Link-wide state, shared by every TCom of the process: one link is in use at a time.
std::string& currentDeviceName();
bool& quietStall();

class TCom {
public:
    explicit TCom(platform::Platform& host, UsbDiscovery* usb = nullptr);
    ~TCom();
    TCom(const TCom&) = delete;
    TCom& operator=(const TCom&) = delete;

    bool Open(std::int32_t portCode);
    bool OpenDevice(const std::string& name);
    // Kind 1 and 2: 1 or 0. LPT1: the synchronous write's result. Otherwise the count the system
    // reports as transferred, 0 on failure.
    int Write(const std::uint8_t* data, int length);
    int Write(const std::string& text) {
        return Write(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
    }
    void WriteByte(std::uint8_t value);
    void Close();

    bool SetBaudRate(int baud);
    bool WaitForClearToSend();

    // Whether the last Write delivered all of its bytes; an operation stops once one has not.
    bool LastWriteDelivered() const { return lastWriteDelivered_; }
    // Bytes delivered since the last successful open.
    std::uint64_t DeliveredBytes() const { return delivered_; }
    bool IsOpen() const { return handle != platform::kNullHandle; }

    // Fields, in the order the link declares them.
    platform::Handle handle = platform::kNullHandle;
    std::uint32_t writeTimeoutMs = 10000;
    platform::Handle writeEvent = platform::kNullHandle;
    std::int32_t interfaceCount = 1;
    std::uint32_t spoolWritten = 0;
    TransportKind kind = TransportKind::Device;

private:
    int WriteOverlapped(const std::uint8_t* data, int length);
    void EndPendingWrite(platform::Overlapped& ov, std::uint32_t& transferred);
    void NoteWrite(int length, std::uint64_t deliveredNow);

    platform::Platform& host_;
    UsbDiscovery* usb_;
    char nameBuffer_[500] = {};
    bool lastWriteDelivered_ = true;
    std::uint64_t delivered_ = 0;
};

}  // namespace prax::link
