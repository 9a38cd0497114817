#include "platform/win32/WindowsApi.h"
#include <winspool.h>

#include "platform/win32/Win32Platform.h"

#include <algorithm>
#include <vector>

#include "platform/Names.h"

namespace prax::platform::win32 {

namespace {

// A wait the abort flag must be able to end is cut into slices this long: the flag is set on the
// console handler's thread, which has no way to wake ours.
constexpr DWORD kSliceMs = 50;

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle Ours(HANDLE h) { return reinterpret_cast<Handle>(h); }

HKEY Key(HKey k) {
    if (k == HKEY_LOCAL_MACHINE_) return HKEY_LOCAL_MACHINE;
    if (k == HKEY_CURRENT_USER_) return HKEY_CURRENT_USER;
    return reinterpret_cast<HKEY>(k);
}

std::int64_t MonotonicMs() { return static_cast<std::int64_t>(::GetTickCount64()); }

}  // namespace

// One overlapped write in flight. The kernel writes into `ov` and reads `bytes` until the write
// has completed or was cancelled, so the record lives on the heap at a fixed address until that
// was observed.
struct Win32Platform::Transfer {
    HANDLE device = nullptr;
    OVERLAPPED ov{};
    std::vector<std::uint8_t> bytes;
    std::uint64_t start = 0;  // where on a disk file it was written
    bool cancelled = false;   // by the abort flag
};

std::string SystemMessage(std::uint32_t code) {
    char buf[512] = {};
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                               buf, sizeof buf, nullptr);
    while (n > 0 && (buf[n - 1] == ' ' || buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == '\t')) --n;
    std::string text(buf, n);
    if (text.empty()) text = "unknown error";
    return text + " (error " + std::to_string(code) + ")";
}

HostReason ReasonForError(std::uint32_t code) {
    switch (code) {
        case ERROR_SUCCESS:
            return HostReason::None;
        // Windows answers "access denied" for a COM port another program holds.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return HostReason::Busy;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return HostReason::Absent;
        case ERROR_GEN_FAILURE:
        case ERROR_IO_DEVICE:
        case ERROR_WRITE_FAULT:
        case ERROR_NOT_READY:
        case ERROR_CRC:
        case ERROR_DEVICE_NOT_CONNECTED:
            return HostReason::Io;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return HostReason::DiskFull;
        default:
            return HostReason::Other;
    }
}

Win32Platform::Win32Platform() = default;

Win32Platform::~Win32Platform() {
    for (void* key : usbKeys_)
        if (key) ::RegCloseKey(static_cast<HKEY>(key));
    if (usbEvent_) ::CloseHandle(usbEvent_);
    for (const auto& [s, failed] : sockets_) ::closesocket(static_cast<SOCKET>(s));
    for (const auto& [h, d] : devices_) {
        SettleAll(h);
        ::CloseHandle(H(h));
    }
}

void Win32Platform::Fail(std::uint32_t err, const std::string& what) {
    lastError_ = err;
    reason_ = ReasonForError(err);
    detail_ = what + ": " + SystemMessage(err);
}

Handle Win32Platform::CreateFileA(const std::string& name, std::uint32_t access, std::uint32_t share,
                                  std::uint32_t disposition, std::uint32_t flags) {
    const auto mapped = overrides().find(name);
    const std::string path = mapped != overrides().end() ? mapped->second : name;
    const DWORD disp = CreatedByOpen(path) ? CREATE_ALWAYS : disposition;
    HANDLE h = ::CreateFileA(path.c_str(), access, share, nullptr, disp, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE && (access & GENERIC_READ) && ::GetLastError() == ERROR_ACCESS_DENIED) {
        // Nothing is ever read back: a device we may only write to serves as well.
        h = ::CreateFileA(path.c_str(), access & ~GENERIC_READ, share, nullptr, disp, flags, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE) {
        Fail(::GetLastError(), path);
        return kInvalidHandle;
    }
    Device d;
    d.path = path;
    d.overlapped = (flags & FILE_FLAG_OVERLAPPED) != 0;
    d.disk = ::GetFileType(h) == FILE_TYPE_DISK;
    LARGE_INTEGER size{};
    // A disk file's writes carry their own offset: appending starts them at its end.
    if (d.disk && AppendedTo(path) && ::GetFileSizeEx(h, &size)) d.position = static_cast<std::uint64_t>(size.QuadPart);
    devices_[Ours(h)] = d;
    lastError_ = ERROR_SUCCESS;
    reason_ = HostReason::None;
    detail_.clear();
    return Ours(h);
}

void Win32Platform::SettleAll(Handle h) {
    for (auto it = transfers_.begin(); it != transfers_.end();) {
        Transfer& t = *it->second;
        if (t.device != H(h)) {
            ++it;
            continue;
        }
        ::CancelIoEx(t.device, &t.ov);
        DWORD n = 0;
        ::GetOverlappedResult(t.device, &t.ov, &n, TRUE);
        it = transfers_.erase(it);
    }
}

bool Win32Platform::Drain(Handle h, const Device& d) {
    closeDiscarded_ = 0;
    if (d.disk) {
        // A file's last blocks may only now meet a full disk.
        if (::FlushFileBuffers(H(h))) return true;
        const DWORD err = ::GetLastError();
        if (err != ERROR_DISK_FULL && err != ERROR_HANDLE_DISK_FULL && err != ERROR_WRITE_FAULT) return true;
        Fail(err, "flush");
        return false;
    }
    // The closing bytes of a stream must leave before the port is closed, and a printer may hold
    // them back with XOFF for a while. So wait as long as the queue goes down; only when it
    // stands still for the whole limit is the rest given up, and then purged.
    std::int64_t lastProgress = MonotonicMs();
    DWORD lastQueued = 0;
    bool first = true;
    for (;;) {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!::ClearCommError(H(h), &errors, &stat) || stat.cbOutQue == 0) return true;
        if (first || stat.cbOutQue < lastQueued) lastProgress = MonotonicMs();
        first = false;
        lastQueued = stat.cbOutQue;
        if (Aborted() || MonotonicMs() - lastProgress >= drainLimitMs_) {
            ::PurgeComm(H(h), PURGE_TXCLEAR);
            closeDiscarded_ = stat.cbOutQue;
            lastError_ = ERROR_SEM_TIMEOUT_;
            return false;
        }
        ::Sleep(5);
    }
}

bool Win32Platform::CloseHandle(Handle h) {
    auto it = devices_.find(h);
    if (it == devices_.end()) {
        // An event, or a handle we did not open.
        if (::CloseHandle(H(h))) return true;
        lastError_ = ::GetLastError();
        return false;
    }
    SettleAll(h);
    const bool handedOver = Drain(h, it->second);
    devices_.erase(it);
    if (!::CloseHandle(H(h))) {
        lastError_ = ::GetLastError();
        return false;
    }
    return handedOver;
}

bool Win32Platform::CancelIo(Handle h) {
    // Every write on the handle, whichever thread started it; they then end as cancelled.
    if (::CancelIoEx(H(h), nullptr)) return true;
    const DWORD err = ::GetLastError();
    if (err == ERROR_NOT_FOUND) return true;  // nothing was in flight
    lastError_ = err;
    return false;
}

bool Win32Platform::GetCommState(Handle h, Dcb& dcb) {
    DCB real{};
    real.DCBlength = sizeof real;
    if (!::GetCommState(H(h), &real)) {
        lastError_ = ::GetLastError();
        return false;
    }
    dcb.BaudRate = real.BaudRate;
    dcb.ByteSize = real.ByteSize;
    dcb.Parity = real.Parity;
    dcb.StopBits = real.StopBits;
    dcb.fOutX = real.fOutX != 0;
    dcb.fInX = real.fInX != 0;
    return true;
}

bool Win32Platform::SetCommState(Handle h, const Dcb& dcb) {
    // Only the fields the link sets change; handshake lines, special characters and the rest
    // keep what the port (and whoever set it up) has.
    DCB real{};
    real.DCBlength = sizeof real;
    if (!::GetCommState(H(h), &real)) {
        lastError_ = ::GetLastError();
        return false;
    }
    real.BaudRate = dcb.BaudRate;
    real.ByteSize = dcb.ByteSize;
    real.Parity = dcb.Parity;
    real.StopBits = dcb.StopBits;
    real.fOutX = dcb.fOutX ? 1 : 0;
    real.fInX = dcb.fInX ? 1 : 0;
    if (!::SetCommState(H(h), &real)) {
        lastError_ = ::GetLastError();
        return false;
    }
    return true;
}

bool Win32Platform::GetCommTimeouts(Handle h, CommTimeouts& t) {
    COMMTIMEOUTS real{};
    if (!::GetCommTimeouts(H(h), &real)) {
        lastError_ = ::GetLastError();
        return false;
    }
    t.ReadIntervalTimeout = real.ReadIntervalTimeout;
    t.ReadTotalTimeoutMultiplier = real.ReadTotalTimeoutMultiplier;
    t.ReadTotalTimeoutConstant = real.ReadTotalTimeoutConstant;
    t.WriteTotalTimeoutMultiplier = real.WriteTotalTimeoutMultiplier;
    t.WriteTotalTimeoutConstant = real.WriteTotalTimeoutConstant;
    return true;
}

bool Win32Platform::SetCommTimeouts(Handle h, const CommTimeouts& t) {
    COMMTIMEOUTS real{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                      t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
    if (!::SetCommTimeouts(H(h), &real)) {
        lastError_ = ::GetLastError();
        return false;
    }
    return true;
}

bool Win32Platform::SetCommMask(Handle h, std::uint32_t mask) {
    if (::SetCommMask(H(h), mask)) return true;
    lastError_ = ::GetLastError();
    return false;
}

bool Win32Platform::GetCommModemStatus(Handle h, std::uint32_t& status) {
    DWORD lines = 0;
    if (::GetCommModemStatus(H(h), &lines)) {
        status = lines;
        return true;
    }
    const DWORD err = ::GetLastError();
    // A device without modem lines at all (a pty under Wine, some adapters): nothing there can
    // say "not ready".
    if (err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION) {
        status = MS_CTS_ON_;
        return true;
    }
    status = 0;
    lastError_ = err;
    return false;
}

bool Win32Platform::ClearCommError(Handle h, std::uint32_t& errors, ComStat& stat) {
    errors = 0;
    stat = ComStat{};
    DWORD flags = 0;
    COMSTAT real{};
    if (!::ClearCommError(H(h), &flags, &real)) {
        lastError_ = ::GetLastError();
        return false;
    }
    errors = flags;
    stat.cbInQue = real.cbInQue;
    stat.cbOutQue = real.cbOutQue;
    return true;
}

bool Win32Platform::PurgeComm(Handle h, std::uint32_t flags) {
    if (::PurgeComm(H(h), flags)) return true;
    lastError_ = ::GetLastError();
    return false;
}

Handle Win32Platform::CreateEventA(bool manualReset, bool initialState, const std::string&) {
    // Never named: a name is shared by every process in the session, and a second copy of this
    // program writing to another port would take (or reset) our write's completion signal.
    HANDLE e = ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
    if (e == nullptr) {
        lastError_ = ::GetLastError();
        return kNullHandle;
    }
    return Ours(e);
}

bool Win32Platform::SetEvent(Handle event) {
    if (::SetEvent(H(event))) return true;
    lastError_ = ::GetLastError();
    return false;
}

void Win32Platform::AbortTransfers() {
    for (auto& [token, t] : transfers_) {
        if (t->cancelled) continue;
        t->cancelled = true;
        ::CancelIoEx(t->device, &t->ov);
    }
}

// With an abort flag the wait goes in slices, so the flag ends it.
std::uint32_t Win32Platform::WaitForSingleObject(Handle h, std::uint32_t ms) {
    if (!AbortFlagSet()) {
        const DWORD r = ::WaitForSingleObject(H(h), ms);
        if (r == WAIT_FAILED) lastError_ = ::GetLastError();
        return r;
    }
    const std::int64_t deadline = MonotonicMs() + ms;
    for (;;) {
        if (Aborted()) {
            AbortTransfers();
            // What is already signalled still counts; nothing more is waited for.
            const DWORD r = ::WaitForSingleObject(H(h), 0);
            if (r == WAIT_FAILED) lastError_ = ::GetLastError();
            return r;
        }
        const std::int64_t left = ms == INFINITE ? kSliceMs : deadline - MonotonicMs();
        const DWORD r = ::WaitForSingleObject(H(h), static_cast<DWORD>(std::clamp<std::int64_t>(left, 0, kSliceMs)));
        if (r == WAIT_FAILED) lastError_ = ::GetLastError();
        if (r != WAIT_TIMEOUT) return r;
        if (ms != INFINITE && MonotonicMs() >= deadline) {
            if (Aborted()) AbortTransfers();
            return r;
        }
    }
}

void Win32Platform::Sleep(std::uint32_t ms) {
    if (!AbortFlagSet()) {
        ::Sleep(ms);
        return;
    }
    const std::int64_t deadline = MonotonicMs() + ms;
    for (;;) {
        if (Aborted()) {
            AbortTransfers();
            return;
        }
        const std::int64_t left = deadline - MonotonicMs();
        if (left <= 0) return;
        ::Sleep(static_cast<DWORD>(std::min<std::int64_t>(left, kSliceMs)));
    }
}

bool Win32Platform::WriteFile(Handle h, const std::uint8_t* data, std::uint32_t length,
                              std::uint32_t* written, Overlapped* ov) {
    if (written) *written = 0;
    if (length > 0 && data == nullptr) {
        lastError_ = ERROR_INVALID_PARAMETER;
        return false;
    }
    const auto dev = devices_.find(h);
    const std::string what = dev != devices_.end() ? dev->second.path : "write";
    if (!ov && (dev == devices_.end() || (!dev->second.overlapped && !dev->second.disk))) {
        DWORD n = 0;
        const BOOL ok = ::WriteFile(H(h), data, length, &n, nullptr);
        if (written) *written = n;
        if (ok) return true;
        Fail(::GetLastError(), what);
        return false;
    }
    if (!ov) {
        // A handle opened for overlapped writes may not be written without a record, and a file
        // is written where the last write ended: write through a record and wait for it.
        HANDLE e = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (e == nullptr) {
            Fail(::GetLastError(), what);
            return false;
        }
        Overlapped own;
        own.hEvent = Ours(e);
        std::uint32_t n = 0;
        bool ok = WriteFile(h, data, length, &n, &own);
        if (!ok && lastError_ == ERROR_IO_PENDING) ok = GetOverlappedResult(h, own, n, true);
        const std::uint32_t err = lastError_;
        ::CloseHandle(e);
        lastError_ = err;
        if (written) *written = n;
        return ok;
    }

    ov->Transferred = 0;
    ov->token = 0;
    auto t = std::make_unique<Transfer>();
    t->device = H(h);
    t->bytes.assign(data, data + length);
    // Successive writes to a file follow each other, as they do on a device; the caller's
    // records all say offset 0.
    const bool disk = dev != devices_.end() && dev->second.disk;
    t->start = disk ? dev->second.position : ov->Offset;
    t->ov.Offset = static_cast<DWORD>(t->start);
    t->ov.OffsetHigh = static_cast<DWORD>(t->start >> 32);
    t->ov.hEvent = H(ov->hEvent);
    DWORD n = 0;
    if (::WriteFile(t->device, t->bytes.data(), length, &n, &t->ov)) {
        // Done at once: nothing refers to the record past this call.
        if (disk) dev->second.position = t->start + n;
        if (written) *written = n;
        ov->Transferred = n;
        lastError_ = ERROR_SUCCESS;
        return true;
    }
    const DWORD err = ::GetLastError();
    if (err != ERROR_IO_PENDING) {
        Fail(err, what);
        return false;
    }
    if (disk) dev->second.position = t->start + length;
    const std::uint64_t token = nextToken_++;
    ov->token = token;
    transfers_[token] = std::move(t);
    lastError_ = ERROR_IO_PENDING;
    return false;
}

bool Win32Platform::Observe(std::uint64_t token, std::uint32_t& transferred, bool wait) {
    const auto it = transfers_.find(token);
    Transfer& t = *it->second;
    if (Aborted()) AbortTransfers();
    for (;;) {
        DWORD n = 0;
        const BOOL ok = ::GetOverlappedResult(t.device, &t.ov, &n, FALSE);
        const DWORD err = ok ? ERROR_SUCCESS : ::GetLastError();
        if (ok || err != ERROR_IO_INCOMPLETE) {
            transferred = n;
            const auto dev = devices_.find(Ours(t.device));
            if (dev != devices_.end() && dev->second.disk && n < t.bytes.size())
                dev->second.position = t.start + n;
            const std::string what = dev != devices_.end() ? dev->second.path : "write";
            const bool cutShort = t.cancelled && n < t.bytes.size();
            transfers_.erase(it);
            if (ok && !cutShort) {
                lastError_ = ERROR_SUCCESS;
                return true;
            }
            Fail(cutShort ? ERROR_OPERATION_ABORTED : err, what);
            return false;
        }
        if (!wait) {
            // Cancelled by the abort flag but not yet settled: the record stays until it is.
            lastError_ = t.cancelled ? ERROR_OPERATION_ABORTED : ERROR_IO_INCOMPLETE;
            return false;
        }
        ::WaitForSingleObject(t.ov.hEvent != nullptr ? t.ov.hEvent : t.device, kSliceMs);
        if (Aborted()) AbortTransfers();
    }
}

bool Win32Platform::GetOverlappedResult(Handle, Overlapped& ov, std::uint32_t& transferred, bool wait) {
    if (ov.token == 0 || !transfers_.count(ov.token)) {
        // Completed at once, or already settled.
        transferred = ov.Transferred;
        lastError_ = ERROR_SUCCESS;
        return true;
    }
    std::uint32_t n = ov.Transferred;
    const bool ok = Observe(ov.token, n, wait);
    if (!transfers_.count(ov.token)) {
        ov.token = 0;
        ov.Transferred = n;
    }
    transferred = ov.Transferred;
    return ok;
}

std::int64_t Win32Platform::LocalTimeMs() {
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    FILETIME ft{};
    ::SystemTimeToFileTime(&st, &ft);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    // 100 ns ticks since 1601 to milliseconds since 1970.
    return static_cast<std::int64_t>(ticks / 10000) - 11644473600000LL;
}

int Win32Platform::MessageBoxA(const std::string& text, const std::string& caption, std::uint32_t type) {
    if (HasMessageBoxHandler()) return AskHandler(text, caption, type);
    return ::MessageBoxA(nullptr, text.c_str(), caption.c_str(), type);
}

bool Win32Platform::WritePrinter(Handle printer, const std::uint8_t* data, std::uint32_t length,
                                 std::uint32_t& written) {
    DWORD n = 0;
    const BOOL ok = ::WritePrinter(H(printer), const_cast<std::uint8_t*>(data), length, &n);
    written = n;
    if (!ok) Fail(::GetLastError(), "printer");
    return ok != FALSE;
}

bool Win32Platform::EndDocPrinter(Handle printer) {
    if (::EndDocPrinter(H(printer))) return true;
    lastError_ = ::GetLastError();
    return false;
}

bool Win32Platform::ClosePrinter(Handle printer) {
    if (::ClosePrinter(H(printer))) return true;
    lastError_ = ::GetLastError();
    return false;
}

bool Win32Platform::ArmUsbWatch() {
    // The keys the USB search reads: the printer interfaces and the driver's list of the ones it serves.
    static const char* const kKeys[2] = {
        "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}",
        "SYSTEM\\CurrentControlSet\\services\\usbprint\\Enum"};
    if (!usbEvent_) usbEvent_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!usbEvent_) return false;
    bool all = true;
    for (int i = 0; i < 2; ++i) {
        HKEY key = static_cast<HKEY>(usbKeys_[i]);
        if (!key && ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeys[i], 0, KEY_NOTIFY, &key) != ERROR_SUCCESS) key = nullptr;
        usbKeys_[i] = key;
        // A notice is good for one change: armed again after each.
        all = key && ::RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                               usbEvent_, TRUE) == ERROR_SUCCESS && all;
    }
    return all;
}

bool Win32Platform::WaitForUsbChange(std::uint32_t ms) {
    if (!usbWatchStarted_) {
        usbWatchStarted_ = true;
        ArmUsbWatch();
        return true;
    }
    // A key that is not there yet (no printer driver installed) can't be watched: look each time.
    if (!usbKeys_[0] || !usbKeys_[1]) {
        Sleep(ms);
        ArmUsbWatch();
        return true;
    }
    if (::WaitForSingleObject(usbEvent_, ms) != WAIT_OBJECT_0) return false;
    ArmUsbWatch();
    return true;
}

long Win32Platform::RegOpenKeyExA(HKey root, const std::string& subKey, std::uint32_t access, HKey& out) {
    out = 0;
    HKEY k = nullptr;
    const LONG r = ::RegOpenKeyExA(Key(root), TrimmedKeyPath(subKey).c_str(), 0, access, &k);
    if (r == ERROR_SUCCESS) out = reinterpret_cast<HKey>(k);
    return r;
}

long Win32Platform::RegQueryInfoKeyA(HKey key, std::uint32_t& subKeyCount, std::uint32_t& valueCount) {
    DWORD keys = 0, values = 0;
    const LONG r = ::RegQueryInfoKeyA(Key(key), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values,
                                      nullptr, nullptr, nullptr, nullptr);
    subKeyCount = r == ERROR_SUCCESS ? keys : 0;
    valueCount = r == ERROR_SUCCESS ? values : 0;
    return r;
}

long Win32Platform::RegEnumKeyExA(HKey key, std::uint32_t index, std::string& name) {
    name.clear();
    char buf[256];  // a key name has at most 255 characters
    DWORD size = sizeof buf;
    const LONG r = ::RegEnumKeyExA(Key(key), index, buf, &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_SUCCESS) name.assign(buf, size);
    return r;
}

long Win32Platform::RegEnumValueA(HKey key, std::uint32_t index, std::string& name) {
    name.clear();
    std::vector<char> buf(16384);  // a value name has at most 16383 characters
    DWORD size = static_cast<DWORD>(buf.size());
    const LONG r = ::RegEnumValueA(Key(key), index, buf.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_SUCCESS) name.assign(buf.data(), size);
    return r;
}

constexpr DWORD kMaxRegistryValue = 64 * 1024;

long Win32Platform::RegQueryValueExA(HKey key, const std::string& name, std::uint32_t& type, std::string& data) {
    type = REG_NONE_;
    data.clear();
    // The value may grow between asking its size and reading it: ask again then.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD realType = 0, size = 0;
        LONG r = ::RegQueryValueExA(Key(key), name.c_str(), nullptr, &realType, nullptr, &size);
        if (r != ERROR_SUCCESS) return r;
        // Every value read here is a name or a short list; one far larger is none of them, and
        // is not read into memory.
        if (size > kMaxRegistryValue) return ERROR_MORE_DATA;
        std::vector<BYTE> buf(static_cast<std::size_t>(size) + 1);
        DWORD got = size;
        r = ::RegQueryValueExA(Key(key), name.c_str(), nullptr, &realType, buf.data(), &got);
        if (r == ERROR_MORE_DATA) continue;
        if (r != ERROR_SUCCESS) return r;
        data.assign(reinterpret_cast<const char*>(buf.data()), std::min<DWORD>(got, size));
        if (realType == REG_SZ || realType == REG_EXPAND_SZ)
            while (!data.empty() && data.back() == '\0') data.pop_back();
        type = realType;
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

long Win32Platform::RegCloseKey(HKey key) { return ::RegCloseKey(Key(key)); }

std::string Win32Platform::GetWindowsDirectoryA() {
    std::vector<char> buf(MAX_PATH);
    UINT n = ::GetWindowsDirectoryA(buf.data(), static_cast<UINT>(buf.size()));
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = ::GetWindowsDirectoryA(buf.data(), static_cast<UINT>(buf.size()));
    }
    if (n == 0 || n >= buf.size()) return {};
    return std::string(buf.data(), n);
}

}  // namespace prax::platform::win32
