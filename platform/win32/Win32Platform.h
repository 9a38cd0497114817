// The host services on Windows: the real calls, passed through. What the link's interface can't
// carry as Windows does (an overlapped write's record, a send that must not stall forever) is
// kept here, so the link runs the same code on every host.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/HostPlatform.h"

namespace prax::platform::win32 {

class Win32Platform : public HostPlatform {
public:
    Win32Platform();
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

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

    bool WritePrinter(Handle printer, const std::uint8_t* data, std::uint32_t length,
                      std::uint32_t& written) override;
    bool EndDocPrinter(Handle printer) override;
    bool ClosePrinter(Handle printer) override;

    long RegOpenKeyExA(HKey root, const std::string& subKey, std::uint32_t access,
                       HKey& out) override;
    long RegQueryInfoKeyA(HKey key, std::uint32_t& subKeyCount, std::uint32_t& valueCount) override;
    long RegEnumKeyExA(HKey key, std::uint32_t index, std::string& name) override;
    long RegEnumValueA(HKey key, std::uint32_t index, std::string& name) override;
    long RegQueryValueExA(HKey key, const std::string& name, std::uint32_t& type,
                          std::string& data) override;
    long RegCloseKey(HKey key) override;
    std::string GetWindowsDirectoryA() override;
    // Printers coming and going: the USB printing class and the usbprint driver's keys, watched
    // with RegNotifyChangeKeyValue.
    bool WaitForUsbChange(std::uint32_t ms) override;
    std::string HostFilePath(const std::string& windowsPath) override { return windowsPath; }

    // Sockets: non-blocking, so a send keeps at it until every byte went, the peer failed, the
    // abort flag rose, or no byte went for the stall limit.
    int WSAStartup(std::uint16_t version, WsaData& data) override;
    int WSACleanup() override;
    int WSAGetLastError() override { return wsaError_; }
    int send(Socket s, const std::uint8_t* data, int length, int flags) override;
    int shutdown(Socket s, int how) override;
    int closesocket(Socket s) override;
    Socket ConnectTcp(const std::string& host, std::uint16_t port, std::uint32_t timeoutMs) override;

    HostReason LastHostReason() override { return reason_; }
    std::string LastHostDetail() override { return detail_; }

private:
    struct Device {
        std::string path;
        bool overlapped = false;  // opened with FILE_FLAG_OVERLAPPED
        bool disk = false;        // a file: an overlapped write names its offset itself
        std::uint64_t position = 0;
    };
    // One overlapped write in flight; defined with the real OVERLAPPED in the .cpp file.
    struct Transfer;

    // Once the abort flag is up: cancels every write still in flight.
    void AbortTransfers();
    // Settles a transfer: the real result, or ERROR_IO_INCOMPLETE_ while it is in flight. Frees
    // its record once the outcome is final.
    bool Observe(std::uint64_t token, std::uint32_t& transferred, bool wait);
    // Cancels and waits for every transfer on `h`, then frees their records.
    void SettleAll(Handle h);
    // Waits for what is queued to leave; false, with closeDiscarded_ set where it is known,
    // when it had to be given up or the disk was full.
    bool Drain(Handle h, const Device& d);
    // Keeps `err` as the last error and, for an open or a write, what it means to an operator.
    void Fail(std::uint32_t err, const std::string& what);
    void SocketFail(int wsa, const std::string& what);

    // The keys watched for USB printers, and the event their change notice sets.
    bool ArmUsbWatch();
    bool usbWatchStarted_ = false;
    void* usbEvent_ = nullptr;
    void* usbKeys_[2] = {nullptr, nullptr};

    std::map<Handle, Device> devices_;
    std::map<std::uint64_t, std::unique_ptr<Transfer>> transfers_;
    std::uint64_t nextToken_ = 1;
    std::uint32_t lastError_ = 0;
    HostReason reason_ = HostReason::None;
    std::string detail_;
    // Open sockets; true once a send on it fell short, so its close throws the unsent rest away
    // instead of waiting for it to leave.
    std::map<Socket, bool> sockets_;
    int wsaError_ = 0;
};

// The system's words for an error code, without trailing blanks, and " (error N)".
std::string SystemMessage(std::uint32_t code);

// What an error from an open or a write means to an operator.
HostReason ReasonForError(std::uint32_t code);

}  // namespace prax::platform::win32
