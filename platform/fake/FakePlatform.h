// A host for tests: records every call with its arguments and every write with its bytes, plays
// a scripted device (open failures, CTS off for a while, stalls), and runs on a fake clock that
// moves only when the link waits, sleeps or polls.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace prax::platform::fake {

struct Call {
    std::string name;
    Handle handle = kNullHandle;
    std::string text;                // a device name, an event name, a question
    std::vector<std::uint64_t> args;  // numeric arguments in call order
};

inline constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max() / 4;

class FakePlatform : public Platform {
public:
    // --- what happened ---
    std::vector<Call> calls;
    std::vector<std::vector<std::uint8_t>> writes;  // the bytes handed to each WriteFile
    std::vector<std::uint8_t> delivered;            // the bytes the device accepted, in order
    std::vector<std::string> questions;             // message box texts, in order
    std::vector<std::string> captions;
    std::vector<std::uint32_t> sleeps;
    Dcb dcb;                                        // the port's state as last set
    CommTimeouts timeouts;

    // --- the script ---
    std::set<std::string> failingNames;  // CreateFileA fails for these
    bool failAllOpens = false;
    int opensBeforeFailing = -1;  // after this many good opens every open fails; -1: never
    std::uint32_t openError = ERROR_FILE_NOT_FOUND_;
    HostReason openReason = HostReason::None;  // and what the host says about a failed open
    std::string openDetail;
    std::int64_t ctsOnFromMs = 0;   // CTS is off until this fake time
    std::int64_t modemPollMs = 1;   // fake time one modem status poll costs
    bool modemStatusFails = false;
    bool writesPending = false;     // every overlapped write starts as pending
    bool writeFailsAtOnce = false;  // WriteFile fails with an error other than pending
    // Once `atByte` bytes were delivered in all, the device takes nothing for `durationMs`.
    struct Stall {
        std::uint64_t atByte;
        std::int64_t durationMs;
    };
    std::vector<Stall> stalls;
    // The device is gone from this fake time on (unplugged, the far end closed): a pending write
    // fails at once, and so does every later one.
    std::int64_t goneFromMs = kForever;
    // The last `outQueue` delivered bytes still sit in the port's output queue: ClearCommError
    // reports them, and PurgeComm takes them back (they never reach the printer).
    std::uint32_t outQueue = 0;
    // The close of a port or a socket cannot hand over what is queued: it fails (the port with
    // ERROR_SEM_TIMEOUT_, the socket with WSAETIMEDOUT_) and gives up `closeDiscards` bytes.
    bool closeFails = false;
    std::uint32_t closeDiscards = 0;
    // Answers to Yes/No questions in order; when they run out the answer is No. `onQuestion`, if
    // set, is asked first and may change the script (resume a stalled device, say).
    std::deque<int> answers;
    std::function<int(const std::string& text)> onQuestion;

    std::int64_t now = 1'000'000;  // fake local time in ms

    // Sockets. Each send is logged as "send" with {length, flags}, its bytes kept in `writes`
    // and what the peer took appended to `delivered`.
    int wsaStartupResult = 0;
    std::uint16_t wsaGrantedVersion = WINSOCK_VERSION_2_2_;
    bool connectFails = false;  // ConnectTcp fails, saying `connectDetail`
    std::string connectDetail = "connection refused";
    // The peer takes this many bytes over all sends, then none: the send that meets the limit
    // gives what fit (SOCKET_ERROR_ when nothing did) and WSAGetLastError says `sendError`.
    // -1: no limit.
    std::int64_t socketTakes = -1;
    int sendError = WSAETIMEDOUT_;

    // The registry under HKEY_LOCAL_MACHINE_: keys by path ("SOFTWARE\\Microsoft\\..."), each
    // with its values in the order they were set, which is the order they enumerate in. A key
    // exists once a value was set in it, it was added, or it lies on the way to such a key.
    // HKEY_CURRENT_USER_'s keys are those whose path starts with kCurrentUser.
    static constexpr const char* kCurrentUser = "HKEY_CURRENT_USER\\";
    struct RegValue {
        std::uint32_t type = REG_SZ_;
        std::string data;
    };
    void AddRegKey(const std::string& keyPath);
    // Sets (or replaces: names ignore letter case) one value; creates the key.
    void SetRegValue(const std::string& keyPath, const std::string& name, std::uint32_t type,
                     std::string data);
    void SetRegString(const std::string& keyPath, const std::string& name, std::string text) {
        SetRegValue(keyPath, name, REG_SZ_, std::move(text));
    }
    std::string windowsDirectory = "C:\\Windows";
    // Paths below `windowsDirectory` lie in this host folder (the rest of the path with slashes
    // for backslashes); empty: every path stays as it is.
    std::string hostWindowsFolder;

    // Print spooler: each WritePrinter is logged with {length}, its bytes kept in `writes`; the
    // results are taken from here in order (true once they run out).
    std::deque<bool> printerWriteResults;

    // --- helpers for tests ---
    std::vector<std::string> CallNames() const;
    std::size_t Count(const std::string& name) const;
    std::vector<std::size_t> WriteLengths() const;
    std::string DeliveredText() const { return {delivered.begin(), delivered.end()}; }
    void ResumeDevice();  // ends every stall from now on

    // --- Platform ---
    Handle CreateFileA(const std::string& name, std::uint32_t access, std::uint32_t share,
                       std::uint32_t disposition, std::uint32_t flags) override;
    bool CloseHandle(Handle h) override;
    bool CancelIo(Handle h) override;
    bool GetCommState(Handle h, Dcb& d) override;
    bool SetCommState(Handle h, const Dcb& d) override;
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
    std::int64_t LocalTimeMs() override { return now; }
    int MessageBoxA(const std::string& text, const std::string& caption,
                    std::uint32_t type) override;

    long RegOpenKeyExA(HKey root, const std::string& subKey, std::uint32_t access,
                       HKey& out) override;
    long RegQueryInfoKeyA(HKey key, std::uint32_t& subKeyCount, std::uint32_t& valueCount) override;
    long RegEnumKeyExA(HKey key, std::uint32_t index, std::string& name) override;
    long RegEnumValueA(HKey key, std::uint32_t index, std::string& name) override;
    long RegQueryValueExA(HKey key, const std::string& name, std::uint32_t& type,
                          std::string& data) override;
    long RegCloseKey(HKey key) override;
    std::string GetWindowsDirectoryA() override;
    std::string HostFilePath(const std::string& windowsPath) override;

    bool WritePrinter(Handle printer, const std::uint8_t* data, std::uint32_t length,
                      std::uint32_t& written) override;
    bool EndDocPrinter(Handle printer) override;
    bool ClosePrinter(Handle printer) override;

    int WSAStartup(std::uint16_t version, WsaData& data) override;
    int WSACleanup() override;
    int WSAGetLastError() override { return wsaError_; }
    int send(Socket s, const std::uint8_t* data, int length, int flags) override;
    int shutdown(Socket s, int how) override;
    int closesocket(Socket s) override;
    Socket ConnectTcp(const std::string& host, std::uint16_t port, std::uint32_t timeoutMs) override;
    std::uint64_t LastCloseDiscarded() override { return closeFails ? closeDiscards : 0; }
    HostReason LastHostReason() override { return hostReason_; }
    std::string LastHostDetail() override { return hostDetail_; }

    std::set<Handle> OpenHandles() const { return open_; }
    std::set<Socket> OpenSockets() const { return sockets_; }
    std::set<HKey> OpenKeys() const;

private:
    struct Pending {
        std::vector<std::uint8_t> bytes;
        std::uint32_t done = 0;
        Handle event = kNullHandle;
        bool cancelled = false;
        bool failed = false;
    };
    void Log(const std::string& name, Handle h, std::string text = {},
             std::vector<std::uint64_t> args = {});
    // Let the device take bytes of the pending write until `until`; returns true when complete.
    bool Advance(std::int64_t until);
    std::uint32_t AcceptNow(const std::uint8_t* data, std::uint32_t length);
    std::int64_t StallEnd() const;  // fake time the current stall ends, or `now` when none
    void StartNextStall();  // the next scripted stall begins now
    bool Gone() const { return now >= goneFromMs; }

    struct RegKey {
        std::vector<std::pair<std::string, RegValue>> values;
    };
    // Subkey names directly below `path` (upper-cased, no surrounding backslashes), in order.
    std::vector<std::string> SubKeysOf(const std::string& path) const;
    bool KeyExists(const std::string& path) const;

    std::map<std::string, RegKey> registry_;  // by upper-cased path
    std::map<std::string, std::string> keyNames_;  // upper-cased path -> the path as spelt
    std::map<HKey, std::string> openKeys_;   // handle -> upper-cased path

    std::set<Handle> open_;
    std::set<Handle> events_;
    std::set<Handle> signalled_;
    std::map<std::uint64_t, Pending> pending_;
    std::uint64_t nextToken_ = 1;
    Handle nextHandle_ = 100;
    std::uint32_t lastError_ = 0;
    std::int64_t stallUntil_ = -1;   // the stall in force, started when its byte count was met
    std::size_t nextStall_ = 0;
    std::set<Socket> sockets_;
    std::int64_t socketDelivered_ = 0;
    int wsaError_ = 0;
    HostReason hostReason_ = HostReason::None;
    std::string hostDetail_;
};

}  // namespace prax::platform::fake
