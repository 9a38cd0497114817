// Host services the printer link and the operations need, in the shape of the Windows calls the
// link's behaviour is written against. The POSIX backend maps them onto a Linux host, the Win32
// backend passes them straight through, and the fake backend records them for tests. What the
// front ends need of the host besides (files, code pages, the console and its signals, the
// machine) lives beside this: Files.h, CodePages.h, Console.h, System.h, Native.h.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace prax::platform {

using Handle = std::intptr_t;
inline constexpr Handle kNullHandle = 0;
inline constexpr Handle kInvalidHandle = -1;

// CreateFileA arguments, with the values Windows gives them.
inline constexpr std::uint32_t GENERIC_READ_ = 0x80000000u;
inline constexpr std::uint32_t GENERIC_WRITE_ = 0x40000000u;
inline constexpr std::uint32_t FILE_SHARE_READ_ = 0x1u;
inline constexpr std::uint32_t FILE_SHARE_WRITE_ = 0x2u;
inline constexpr std::uint32_t OPEN_EXISTING_ = 3u;
inline constexpr std::uint32_t FILE_ATTRIBUTE_NORMAL_ = 0x80u;
inline constexpr std::uint32_t FILE_FLAG_OVERLAPPED_ = 0x40000000u;

inline constexpr std::uint32_t ERROR_SUCCESS_ = 0;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND_ = 2;
inline constexpr std::uint32_t ERROR_ACCESS_DENIED_ = 5;
inline constexpr std::uint32_t ERROR_INVALID_HANDLE_ = 6;
inline constexpr std::uint32_t ERROR_GEN_FAILURE_ = 31;
inline constexpr std::uint32_t ERROR_SHARING_VIOLATION_ = 32;
inline constexpr std::uint32_t ERROR_NOT_SUPPORTED_ = 50;
inline constexpr std::uint32_t ERROR_DISK_FULL_ = 112;
inline constexpr std::uint32_t ERROR_SEM_TIMEOUT_ = 121;
inline constexpr std::uint32_t ERROR_OPERATION_ABORTED_ = 995;
inline constexpr std::uint32_t ERROR_IO_INCOMPLETE_ = 996;
inline constexpr std::uint32_t ERROR_IO_PENDING_ = 997;

inline constexpr std::uint32_t WAIT_OBJECT_0_ = 0;
inline constexpr std::uint32_t WAIT_TIMEOUT_ = 258;
inline constexpr std::uint32_t WAIT_FAILED_ = 0xFFFFFFFFu;

inline constexpr std::uint32_t MS_CTS_ON_ = 0x10u;

inline constexpr std::uint32_t PURGE_TXABORT_ = 0x1u;
inline constexpr std::uint32_t PURGE_TXCLEAR_ = 0x4u;

inline constexpr std::uint32_t MB_YESNO_ = 0x4u;
inline constexpr std::uint32_t MB_ICONEXCLAMATION_ = 0x30u;
inline constexpr std::uint32_t MB_ICONQUESTION_ = 0x20u;
inline constexpr int IDYES_ = 6;
inline constexpr int IDNO_ = 7;

// The fields of a DCB the link touches; a backend keeps whatever else the port has.
struct Dcb {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;    // 0 = none
    std::uint8_t StopBits = 0;  // 0 = one stop bit
    bool fOutX = false;         // XON/XOFF on output
    bool fInX = false;
};

struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

// What ClearCommError reports of a serial port's queues.
struct ComStat {
    std::uint32_t cbInQue = 0;
    std::uint32_t cbOutQue = 0;  // bytes written but not yet sent on the wire
};

// An overlapped write in flight. The caller keeps the record alive until the write has finished
// or was cancelled; the backend keeps its own copy of the bytes, so the caller's buffer is free
// as soon as WriteFile returns.
struct Overlapped {
    Handle hEvent = kNullHandle;
    std::uint64_t Offset = 0;
    std::uint32_t Transferred = 0;  // what the backend reports so far
    std::uint64_t token = 0;        // backend's id of the transfer; 0 when none
};

// The registry, read only. A key handle is HKEY_LOCAL_MACHINE_, HKEY_CURRENT_USER_ or what
// RegOpenKeyExA gave.
using HKey = std::intptr_t;
// HKEY_LOCAL_MACHINE is (HKEY)(LONG)0x80000002: sign-extended where a handle is wider.
inline constexpr HKey HKEY_LOCAL_MACHINE_ =
    static_cast<HKey>(static_cast<std::int32_t>(0x80000002u));
inline constexpr HKey HKEY_CURRENT_USER_ =
    static_cast<HKey>(static_cast<std::int32_t>(0x80000001u));
inline constexpr std::uint32_t KEY_READ_ = 0x20019u;
inline constexpr long ERROR_NO_MORE_ITEMS_ = 259;
// Value types.
inline constexpr std::uint32_t REG_NONE_ = 0;
inline constexpr std::uint32_t REG_SZ_ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ_ = 2;
inline constexpr std::uint32_t REG_BINARY_ = 3;
inline constexpr std::uint32_t REG_DWORD_ = 4;
inline constexpr std::uint32_t REG_MULTI_SZ_ = 7;

// Windows Sockets, as far as the network link uses them.
using Socket = std::uintptr_t;
inline constexpr Socket INVALID_SOCKET_ = ~Socket{0};
inline constexpr int SOCKET_ERROR_ = -1;
inline constexpr int SD_RECEIVE_ = 0;
inline constexpr int SD_SEND_ = 1;
inline constexpr int SD_BOTH_ = 2;
inline constexpr std::uint16_t WINSOCK_VERSION_2_2_ = 0x0202;
inline constexpr int WSAEINTR_ = 10004;
inline constexpr int WSAEINVAL_ = 10022;
inline constexpr int WSAENOTSOCK_ = 10038;
inline constexpr int WSAENETUNREACH_ = 10051;
inline constexpr int WSAECONNABORTED_ = 10053;
inline constexpr int WSAECONNRESET_ = 10054;
inline constexpr int WSAETIMEDOUT_ = 10060;
inline constexpr int WSAECONNREFUSED_ = 10061;
inline constexpr int WSAEHOSTUNREACH_ = 10065;
inline constexpr int WSASYSNOTREADY_ = 10091;
inline constexpr int WSAHOST_NOT_FOUND_ = 11001;
struct WsaData {
    std::uint16_t wVersion = 0;      // the version granted: low byte major, high byte minor
    std::uint16_t wHighVersion = 0;
};

// Why the host refused something, as far as an operator can act on it.
enum class HostReason { None, Permission, Busy, Absent, Io, DiskFull, Other };

// What a host knows of an attached USB printer beyond the names its registry gives.
struct UsbDeviceFacts {
    std::string interfacePath;  // as the printing class key names it
    std::string port;           // the host's own name for it ("lp3")
    std::string node;           // what opens it here
    std::string serial, manufacturer, product;  // as the device reports them; empty if it doesn't
    bool nodeReady = true;      // the node is there and this user may open it for writing
};

class Platform {
public:
    virtual ~Platform() = default;

    virtual Handle CreateFileA(const std::string& name, std::uint32_t access, std::uint32_t share,
                               std::uint32_t disposition, std::uint32_t flags) = 0;
    virtual bool CloseHandle(Handle h) = 0;
    virtual bool CancelIo(Handle h) = 0;
    virtual bool GetCommState(Handle h, Dcb& dcb) = 0;
    virtual bool SetCommState(Handle h, const Dcb& dcb) = 0;
    virtual bool GetCommTimeouts(Handle h, CommTimeouts& t) = 0;
    virtual bool SetCommTimeouts(Handle h, const CommTimeouts& t) = 0;
    virtual bool SetCommMask(Handle h, std::uint32_t mask) = 0;
    virtual bool GetCommModemStatus(Handle h, std::uint32_t& status) = 0;
    // The port's error flags and queue counts; fails on a handle that is no serial port.
    virtual bool ClearCommError(Handle h, std::uint32_t& errors, ComStat& stat) = 0;
    // Discards what is still queued for output (PURGE_TXCLEAR_) or being written (PURGE_TXABORT_).
    virtual bool PurgeComm(Handle h, std::uint32_t flags) = 0;
    virtual Handle CreateEventA(bool manualReset, bool initialState, const std::string& name) = 0;
    virtual bool SetEvent(Handle event) = 0;
    virtual std::uint32_t WaitForSingleObject(Handle event, std::uint32_t ms) = 0;
    // Without `ov` the write is synchronous: it returns when every byte went or the device failed.
    virtual bool WriteFile(Handle h, const std::uint8_t* data, std::uint32_t length,
                           std::uint32_t* written, Overlapped* ov) = 0;
    virtual bool GetOverlappedResult(Handle h, Overlapped& ov, std::uint32_t& transferred,
                                     bool wait) = 0;
    virtual std::uint32_t GetLastError() = 0;
    virtual void Sleep(std::uint32_t ms) = 0;
    // The local clock (date and time of day) in milliseconds.
    virtual std::int64_t LocalTimeMs() = 0;
    // A message box with Yes/No or OK; returns IDYES_, IDNO_ or 1 (OK).
    virtual int MessageBoxA(const std::string& text, const std::string& caption,
                            std::uint32_t type) = 0;

    // --- print spooler (a printer opened through the spooler, written a document at a time) ---
    // A host without a spooler has no printers open in it: every call fails.
    virtual bool WritePrinter(Handle /*printer*/, const std::uint8_t* /*data*/, std::uint32_t /*length*/,
                              std::uint32_t& written) {
        written = 0;
        return false;
    }
    virtual bool EndDocPrinter(Handle /*printer*/) { return false; }
    virtual bool ClosePrinter(Handle /*printer*/) { return false; }

    // --- registry (read only) ---
    // A host without a registry has no keys: every open fails, so callers see "not there".
    // `subKey` is relative to `root` (a leading backslash is tolerated); names ignore letter case.
    virtual long RegOpenKeyExA(HKey /*root*/, const std::string& /*subKey*/,
                               std::uint32_t /*access*/, HKey& out) {
        out = 0;
        return static_cast<long>(ERROR_FILE_NOT_FOUND_);
    }
    virtual long RegQueryInfoKeyA(HKey /*key*/, std::uint32_t& subKeyCount,
                                  std::uint32_t& valueCount) {
        subKeyCount = valueCount = 0;
        return static_cast<long>(ERROR_INVALID_HANDLE_);
    }
    // The name of subkey or value number `index`; ERROR_NO_MORE_ITEMS_ past the last one.
    virtual long RegEnumKeyExA(HKey /*key*/, std::uint32_t /*index*/, std::string& name) {
        name.clear();
        return static_cast<long>(ERROR_INVALID_HANDLE_);
    }
    virtual long RegEnumValueA(HKey /*key*/, std::uint32_t /*index*/, std::string& name) {
        name.clear();
        return static_cast<long>(ERROR_INVALID_HANDLE_);
    }
    // A value's type and its bytes as stored (text without a terminating zero, a REG_DWORD_ as
    // four little-endian bytes).
    virtual long RegQueryValueExA(HKey /*key*/, const std::string& /*name*/, std::uint32_t& type,
                                  std::string& data) {
        type = REG_NONE_;
        data.clear();
        return static_cast<long>(ERROR_INVALID_HANDLE_);
    }
    virtual long RegCloseKey(HKey /*key*/) { return static_cast<long>(ERROR_INVALID_HANDLE_); }
    // Where the values of key `subKey` under `root` come from, in words for the operator; empty
    // where the key's own name says it (a host with a real registry).
    virtual std::string RegistryKeyPlace(HKey /*root*/, const std::string& /*subKey*/) { return {}; }
    // --- USB printers coming and going ---
    // Every USB printer the host lists, in its own order; false where the registry is all it has.
    virtual bool ListUsbDevices(std::vector<UsbDeviceFacts>& out) {
        out.clear();
        return false;
    }
    // Waits up to `ms` for a USB printer to come, go or change (its node made, or opened up to
    // this user); true when something may have changed and a new look is worth taking. The first
    // call starts watching and answers true. A host that can't watch answers true after the wait.
    virtual bool WaitForUsbChange(std::uint32_t ms) {
        Sleep(ms);
        return true;
    }

    // The Windows folder ("C:\Windows"); empty when the host has none.
    virtual std::string GetWindowsDirectoryA() { return {}; }
    // Where a Windows-style path that an operation built (Windows folder + "\Fonts\" + a bare
    // file name) lies on this host.
    virtual std::string HostFilePath(const std::string& windowsPath) { return windowsPath; }

    // --- sockets ---
    // A host without sockets refuses to start them; the network link then never opens.
    virtual int WSAStartup(std::uint16_t /*version*/, WsaData& data) {
        data = {};
        return WSASYSNOTREADY_;
    }
    virtual int WSACleanup() { return SOCKET_ERROR_; }
    virtual int WSAGetLastError() { return 0; }
    // Bytes sent, or SOCKET_ERROR_ when none went; a peer that stops taking data ends the call
    // within the backend's stall limit with what went so far (WSAETIMEDOUT_).
    virtual int send(Socket /*s*/, const std::uint8_t* /*data*/, int /*length*/, int /*flags*/) {
        return SOCKET_ERROR_;
    }
    virtual int shutdown(Socket /*s*/, int /*how*/) { return SOCKET_ERROR_; }
    virtual int closesocket(Socket /*s*/) { return SOCKET_ERROR_; }
    // A TCP connection to `host` (a name, an IPv4 or IPv6 address) and `port`, made within
    // `timeoutMs`; INVALID_SOCKET_ when it can't be, with LastHostReason/Detail saying why.
    virtual Socket ConnectTcp(const std::string& /*host*/, std::uint16_t /*port*/,
                              std::uint32_t /*timeoutMs*/) {
        return INVALID_SOCKET_;
    }

    // A close of a port (CloseHandle) or a socket (closesocket) fails, and the handle is closed
    // all the same, when what was still queued for the printer could not be handed over: the
    // queue stood still for the whole wait, the peer reset the connection, the disk was full.
    // This is how many bytes that close gave up, where the host can tell; 0 where it cannot.
    virtual std::uint64_t LastCloseDiscarded() { return 0; }

    // What the last failed open or write meant in the host's terms, for hints under messages.
    virtual HostReason LastHostReason() { return HostReason::None; }
    virtual std::string LastHostDetail() { return {}; }

    // Who answers the link's questions: the front end installs its operator here.
    using MessageBoxHandler =
        std::function<int(const std::string& text, const std::string& caption, std::uint32_t type)>;
    void SetMessageBoxHandler(MessageBoxHandler handler) { messageBox_ = std::move(handler); }

protected:
    bool HasMessageBoxHandler() const { return static_cast<bool>(messageBox_); }
    int AskHandler(const std::string& text, const std::string& caption, std::uint32_t type) {
        if (messageBox_) return messageBox_(text, caption, type);
        return (type & MB_YESNO_) ? IDNO_ : 1;
    }

private:
    MessageBoxHandler messageBox_;
};

}  // namespace prax::platform
