// The host services on Linux: devices opened non-blocking and exclusive, termios for the serial
// state, and overlapped writes that make progress while the caller waits or sleeps.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/HostPlatform.h"
#include "platform/posix/UsbWatch.h"

namespace prax::platform::posix {

class PosixPlatform : public HostPlatform {
public:
    PosixPlatform() = default;
    ~PosixPlatform() override;

    Handle CreateFileA(const std::string& name, std::uint32_t access, std::uint32_t share,
                       std::uint32_t disposition, std::uint32_t flags) override;
    bool CloseHandle(Handle h) override;
    bool CancelIo(Handle h) override;
    bool GetCommState(Handle h, Dcb& dcb) override;
    bool SetCommState(Handle h, const Dcb& dcb) override;
    bool GetCommTimeouts(Handle h, CommTimeouts& t) override;
    bool SetCommTimeouts(Handle h, const CommTimeouts& t) override;
    bool SetCommMask(Handle h, std::uint32_t mask) override;
    bool GetCommModemStatus(Handle h, std::uint32_t& status) override;
    bool ClearCommError(Handle h, std::uint32_t& errors, ComStat& stat) override;
    bool PurgeComm(Handle h, std::uint32_t flags) override;
    Handle CreateEventA(bool manualReset, bool initialState, const std::string& name) override;
    bool SetEvent(Handle event) override;
    std::uint32_t WaitForSingleObject(Handle event, std::uint32_t ms) override;
    bool WriteFile(Handle h, const std::uint8_t* data, std::uint32_t length, std::uint32_t* written,
                   Overlapped* ov) override;
    bool GetOverlappedResult(Handle h, Overlapped& ov, std::uint32_t& transferred,
                             bool wait) override;
    std::uint32_t GetLastError() override { return lastError_; }
    void Sleep(std::uint32_t ms) override;
    std::int64_t LocalTimeMs() override;
    int MessageBoxA(const std::string& text, const std::string& caption,
                    std::uint32_t type) override;

    // The registry: the installed-fonts key, a view of fontconfig's fonts, and the USB printing
    // class and usbprint enumeration keys, a view of the printers usblp serves; each built afresh
    // at each open of its key. No other key exists.
    long RegOpenKeyExA(HKey root, const std::string& subKey, std::uint32_t access,
                       HKey& out) override;
    long RegQueryInfoKeyA(HKey key, std::uint32_t& subKeyCount, std::uint32_t& valueCount) override;
    long RegEnumKeyExA(HKey key, std::uint32_t index, std::string& name) override;
    long RegEnumValueA(HKey key, std::uint32_t index, std::string& name) override;
    long RegQueryValueExA(HKey key, const std::string& name, std::uint32_t& type,
                          std::string& data) override;
    long RegCloseKey(HKey key) override;
    // The printers usblp serves, from one scan of sysfs; and their coming and going, told by the
    // kernel's device events and the folders' own, with a cheap look at both folders besides.
    bool ListUsbDevices(std::vector<UsbDeviceFacts>& out) override;
    bool WaitForUsbChange(std::uint32_t ms) override;
    std::string GetWindowsDirectoryA() override { return "C:\\Windows"; }
    // "C:\\Windows\\Fonts\\<bare name>" is the file the last fonts view named so; a name it did
    // not list is a path that never exists. Any other path stays as it is.
    std::string HostFilePath(const std::string& windowsPath) override;
    std::string RegistryKeyPlace(HKey root, const std::string& subKey) override;

    // Sockets: non-blocking descriptors; a send keeps at it until every byte went, the peer
    // failed, the abort flag rose, or no byte went for the stall limit.
    int WSAStartup(std::uint16_t version, WsaData& data) override;
    int WSACleanup() override { return 0; }
    int WSAGetLastError() override { return wsaError_; }
    int send(Socket s, const std::uint8_t* data, int length, int flags) override;
    int shutdown(Socket s, int how) override;
    int closesocket(Socket s) override;
    Socket ConnectTcp(const std::string& host, std::uint16_t port, std::uint32_t timeoutMs) override;

    HostReason LastHostReason() override { return reason_; }
    std::string LastHostDetail() override { return detail_; }

private:
    struct Device {
        int fd = -1;
        bool tty = false;
        bool usbPrinter = false;  // a usblp node
        std::string path;
        CommTimeouts timeouts;
        std::uint32_t mask = 0;
    };
    struct Event {
        bool manualReset = false;
        bool signalled = false;
    };
    struct Transfer {
        Handle device = kNullHandle;
        Handle event = kNullHandle;
        std::vector<std::uint8_t> bytes;
        std::size_t done = 0;
        bool cancelled = false;
        int error = 0;
    };

    // Move the bytes of unfinished transfers until all are done or `deadlineMs` (monotonic) passes.
    void Pump(std::int64_t deadlineMs);
    // Write what the device takes now; returns false on a device error.
    bool WriteSome(int fd, Transfer& t);
    // Waits for what is queued to leave; false, with closeDiscarded_ set where it is known,
    // when it had to be given up or the device reported a failure.
    bool Drain(const Device& d);
    // Ends every unfinished transfer as cancelled once the abort flag is up.
    void AbortTransfers();
    void SleepUntil(std::int64_t deadlineMs);
    void Fail(int err, const std::string& what);

    struct RegValueView {
        std::string name;
        std::uint32_t type = REG_SZ_;
        std::string data;
    };
    struct RegKeyView {
        std::string path;  // upper-cased, without surrounding backslashes
        std::vector<std::string> subKeys;
        std::vector<RegValueView> values;
    };
    // Builds the fonts view and keeps its file map; false when fontconfig is not usable.
    bool BuildFontsView(RegKeyView& key);

    std::map<HKey, RegKeyView> keys_;
    std::unique_ptr<UsbWatch> usbWatch_;
    std::map<std::string, std::string> fontPaths_;  // upper-cased bare name -> path
    std::vector<std::pair<std::string, std::string>> userFonts_;  // the user's own: name, path
    bool fontsViewBuilt_ = false;
    std::map<Handle, Device> devices_;
    std::map<Handle, Event> events_;
    std::map<std::uint64_t, Transfer> transfers_;
    Handle nextHandle_ = 1;
    std::uint64_t nextToken_ = 1;
    std::uint32_t lastError_ = 0;
    HostReason reason_ = HostReason::None;
    std::string detail_;
    struct SocketState {
        // A send on it fell short: its close throws the unsent rest away instead of waiting for
        // it to leave.
        bool failed = false;
        // Shut down for sending: the queue's count holds the FIN as one more.
        bool finQueued = false;
    };
    std::map<Socket, SocketState> sockets_;  // open sockets by descriptor
    int wsaError_ = 0;
    void SocketFail(int err, int wsa, const std::string& what);
};

// Monotonic milliseconds, for deadlines that the wall clock can't move.
std::int64_t MonotonicMs();

}  // namespace prax::platform::posix
