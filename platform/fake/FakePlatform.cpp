#include "platform/fake/FakePlatform.h"

#include <algorithm>

#include "platform/Names.h"
namespace prax::platform::fake {

namespace {

long Err(std::uint32_t code) { return static_cast<long>(code); }

}  // namespace

void FakePlatform::Log(const std::string& name, Handle h, std::string text,
                       std::vector<std::uint64_t> args) {
    calls.push_back(Call{name, h, std::move(text), std::move(args)});
}

std::vector<std::string> FakePlatform::CallNames() const {
    std::vector<std::string> names;
    names.reserve(calls.size());
    for (const auto& c : calls) names.push_back(c.name);
    return names;
}

std::size_t FakePlatform::Count(const std::string& name) const {
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.name == name; }));
}

std::vector<std::size_t> FakePlatform::WriteLengths() const {
    std::vector<std::size_t> lengths;
    lengths.reserve(writes.size());
    for (const auto& w : writes) lengths.push_back(w.size());
    return lengths;
}

void FakePlatform::ResumeDevice() {
    stallUntil_ = now;
    nextStall_ = stalls.size();
}

Handle FakePlatform::CreateFileA(const std::string& name, std::uint32_t access, std::uint32_t share,
                                 std::uint32_t disposition, std::uint32_t flags) {
    Log("CreateFileA", kNullHandle, name, {access, share, disposition, flags});
    if (failAllOpens || failingNames.count(name) || opensBeforeFailing == 0) {
        lastError_ = openError;
        hostReason_ = openReason;
        hostDetail_ = openDetail;
        return kInvalidHandle;
    }
    if (opensBeforeFailing > 0) --opensBeforeFailing;
    const Handle h = nextHandle_++;
    open_.insert(h);
    return h;
}

bool FakePlatform::CloseHandle(Handle h) {
    Log("CloseHandle", h);
    if (events_.erase(h)) {
        signalled_.erase(h);
        return true;
    }
    if (open_.erase(h) == 0) return false;
    if (closeFails) {
        lastError_ = ERROR_SEM_TIMEOUT_;
        return false;
    }
    return true;
}

bool FakePlatform::CancelIo(Handle h) {
    Log("CancelIo", h);
    for (auto& [token, p] : pending_) p.cancelled = true;
    return open_.count(h) > 0;
}

bool FakePlatform::GetCommState(Handle h, Dcb& d) {
    Log("GetCommState", h, {}, {d.DCBlength});
    const std::uint32_t length = d.DCBlength;
    d = dcb;
    d.DCBlength = length;
    return open_.count(h) > 0;
}

bool FakePlatform::SetCommState(Handle h, const Dcb& d) {
    Log("SetCommState", h, {}, {d.BaudRate, d.ByteSize, d.Parity, d.StopBits, d.fOutX ? 1u : 0u});
    dcb = d;
    return open_.count(h) > 0;
}

bool FakePlatform::GetCommTimeouts(Handle h, CommTimeouts& t) {
    Log("GetCommTimeouts", h);
    t = timeouts;
    return open_.count(h) > 0;
}

bool FakePlatform::SetCommTimeouts(Handle h, const CommTimeouts& t) {
    Log("SetCommTimeouts", h, {},
        {t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
         t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant});
    timeouts = t;
    return open_.count(h) > 0;
}

bool FakePlatform::SetCommMask(Handle h, std::uint32_t mask) {
    Log("SetCommMask", h, {}, {mask});
    return open_.count(h) > 0;
}

bool FakePlatform::GetCommModemStatus(Handle h, std::uint32_t& status) {
    // Polls are not logged one by one: the link polls without pause, thousands of times.
    now += modemPollMs;
    if (modemStatusFails) return false;
    status = now >= ctsOnFromMs ? MS_CTS_ON_ : 0;
    return open_.count(h) > 0;
}

bool FakePlatform::ClearCommError(Handle h, std::uint32_t& errors, ComStat& stat) {
    Log("ClearCommError", h);
    errors = 0;
    stat = ComStat{};
    stat.cbOutQue = static_cast<std::uint32_t>(std::min<std::size_t>(outQueue, delivered.size()));
    return open_.count(h) > 0;
}

bool FakePlatform::PurgeComm(Handle h, std::uint32_t flags) {
    Log("PurgeComm", h, {}, {flags});
    if (!open_.count(h)) return false;
    if (flags & PURGE_TXCLEAR_) {
        const std::size_t n = std::min<std::size_t>(outQueue, delivered.size());
        delivered.resize(delivered.size() - n);
        outQueue = 0;
    }
    return true;
}

Handle FakePlatform::CreateEventA(bool manualReset, bool initialState, const std::string& name) {
    Log("CreateEventA", kNullHandle, name, {manualReset ? 1u : 0u, initialState ? 1u : 0u});
    const Handle h = nextHandle_++;
    events_.insert(h);
    if (initialState) signalled_.insert(h);
    return h;
}

bool FakePlatform::SetEvent(Handle event) {
    Log("SetEvent", event);
    signalled_.insert(event);
    return events_.count(event) > 0;
}

std::int64_t FakePlatform::StallEnd() const { return stallUntil_ > now ? stallUntil_ : now; }

void FakePlatform::StartNextStall() {
    const std::int64_t duration = stalls[nextStall_].durationMs;
    stallUntil_ = duration >= kForever ? kForever : now + duration;
    ++nextStall_;
}

std::uint32_t FakePlatform::AcceptNow(const std::uint8_t* data, std::uint32_t length) {
    std::uint32_t taken = 0;
    while (taken < length && StallEnd() <= now) {
        std::uint64_t room = length - taken;
        if (nextStall_ < stalls.size()) {
            const std::uint64_t at = stalls[nextStall_].atByte;
            if (delivered.size() >= at) {
                StartNextStall();
                continue;
            }
            room = std::min<std::uint64_t>(room, at - delivered.size());
        }
        delivered.insert(delivered.end(), data + taken, data + taken + room);
        taken += static_cast<std::uint32_t>(room);
    }
    // A stall that starts exactly at the end of this write holds the next one.
    if (nextStall_ < stalls.size() && delivered.size() >= stalls[nextStall_].atByte &&
        StallEnd() <= now)
        StartNextStall();
    return taken;
}

bool FakePlatform::Advance(std::int64_t until) {
    bool complete = true;
    for (auto& [token, p] : pending_) {
        if (p.cancelled || p.failed || p.done == p.bytes.size()) continue;
        for (;;) {
            if (Gone()) {
                // Windows ends a write on a vanished device with an error and signals its event.
                p.failed = true;
                signalled_.insert(p.event);
                complete = false;
                break;
            }
            p.done += AcceptNow(p.bytes.data() + p.done, static_cast<std::uint32_t>(p.bytes.size()) - p.done);
            if (p.done == p.bytes.size()) {
                signalled_.insert(p.event);
                break;
            }
            const std::int64_t end = StallEnd();
            if (goneFromMs < end && goneFromMs < until) {
                now = std::max(now, goneFromMs);
                continue;
            }
            if (end >= until) {
                complete = false;
                break;
            }
            now = end;
        }
    }
    return complete;
}

std::uint32_t FakePlatform::WaitForSingleObject(Handle event, std::uint32_t ms) {
    Log("WaitForSingleObject", event, {}, {ms});
    const std::int64_t until = now + ms;
    Advance(until);
    if (signalled_.count(event)) {
        signalled_.erase(event);  // automatic reset
        return WAIT_OBJECT_0_;
    }
    now = until;
    return WAIT_TIMEOUT_;
}

bool FakePlatform::WriteFile(Handle h, const std::uint8_t* data, std::uint32_t length,
                             std::uint32_t* written, Overlapped* ov) {
    Log("WriteFile", h, {}, {length, ov ? 1u : 0u});
    writes.emplace_back(data, data + length);
    if (written) *written = 0;
    if (!open_.count(h) || writeFailsAtOnce || Gone()) {
        lastError_ = ERROR_GEN_FAILURE_;
        return false;
    }
    if (!ov) {
        // A synchronous device takes what it can; a stall that never ends fails the write.
        std::uint32_t done = AcceptNow(data, length);
        while (done < length && StallEnd() < kForever) {
            now = StallEnd();
            done += AcceptNow(data + done, length - done);
        }
        if (written) *written = done;
        if (done < length) lastError_ = ERROR_GEN_FAILURE_;
        return done == length;
    }
    ov->Transferred = 0;
    const std::uint32_t done = writesPending ? 0 : AcceptNow(data, length);
    if (done == length && !writesPending) {
        if (written) *written = done;
        ov->Transferred = done;
        return true;
    }
    const std::uint64_t token = nextToken_++;
    Pending p;
    p.bytes.assign(data, data + length);
    p.done = done;
    p.event = ov->hEvent;
    pending_[token] = std::move(p);
    ov->token = token;
    ov->Transferred = done;
    lastError_ = ERROR_IO_PENDING_;
    return false;
}

bool FakePlatform::GetOverlappedResult(Handle h, Overlapped& ov, std::uint32_t& transferred,
                                       bool wait) {
    Log("GetOverlappedResult", h, {}, {wait ? 1u : 0u});
    auto it = pending_.find(ov.token);
    if (it == pending_.end()) {
        transferred = ov.Transferred;
        return true;
    }
    if (!it->second.cancelled) Advance(now);
    Pending& p = it->second;
    if (p.failed) {
        transferred = p.done;
        ov.Transferred = p.done;
        if (wait) pending_.erase(it);
        lastError_ = ERROR_GEN_FAILURE_;
        return false;
    }
    transferred = p.done;
    ov.Transferred = p.done;
    if (p.done == p.bytes.size()) {
        pending_.erase(it);
        return true;
    }
    if (p.cancelled && wait) {
        pending_.erase(it);
        lastError_ = ERROR_OPERATION_ABORTED_;
        return false;
    }
    lastError_ = ERROR_IO_INCOMPLETE_;
    return false;
}

void FakePlatform::Sleep(std::uint32_t ms) {
    sleeps.push_back(ms);
    Log("Sleep", kNullHandle, {}, {ms});
    const std::int64_t until = now + ms;
    Advance(until);
    now = until;
}

int FakePlatform::MessageBoxA(const std::string& text, const std::string& caption,
                              std::uint32_t type) {
    Log("MessageBoxA", kNullHandle, text, {type});
    questions.push_back(text);
    captions.push_back(caption);
    if (onQuestion) {
        const int answer = onQuestion(text);
        if (answer != 0) return answer;
    }
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (type & MB_YESNO_) ? IDNO_ : 1;
}

int FakePlatform::WSAStartup(std::uint16_t version, WsaData& data) {
    Log("WSAStartup", kNullHandle, {}, {version});
    data = WsaData{};
    if (wsaStartupResult != 0) return wsaStartupResult;
    data.wVersion = wsaGrantedVersion;
    data.wHighVersion = wsaGrantedVersion;
    return 0;
}

int FakePlatform::WSACleanup() {
    Log("WSACleanup", kNullHandle);
    return 0;
}

int FakePlatform::send(Socket s, const std::uint8_t* data, int length, int flags) {
    Log("send", static_cast<Handle>(s), {},
        {static_cast<std::uint64_t>(length), static_cast<std::uint64_t>(flags)});
    if (length < 0 || !sockets_.count(s)) {
        wsaError_ = length < 0 ? WSAEINVAL_ : WSAENOTSOCK_;
        return SOCKET_ERROR_;
    }
    writes.emplace_back(data, data + length);
    std::int64_t taken = length;
    if (socketTakes >= 0) taken = std::min<std::int64_t>(length, std::max<std::int64_t>(0, socketTakes - socketDelivered_));
    socketDelivered_ += taken;
    delivered.insert(delivered.end(), data, data + taken);
    if (taken == length) {
        wsaError_ = 0;
        return length;
    }
    wsaError_ = sendError;
    return taken > 0 ? static_cast<int>(taken) : SOCKET_ERROR_;
}

int FakePlatform::shutdown(Socket s, int how) {
    Log("shutdown", static_cast<Handle>(s), {}, {static_cast<std::uint64_t>(how)});
    return sockets_.count(s) ? 0 : SOCKET_ERROR_;
}

bool FakePlatform::WritePrinter(Handle printer, const std::uint8_t* data, std::uint32_t length,
                                std::uint32_t& written) {
    Log("WritePrinter", printer, {}, {length});
    writes.emplace_back(data, data + length);
    const bool ok = printerWriteResults.empty() || printerWriteResults.front();
    if (!printerWriteResults.empty()) printerWriteResults.pop_front();
    written = ok ? length : 0;
    if (ok) delivered.insert(delivered.end(), data, data + length);
    return ok;
}

bool FakePlatform::EndDocPrinter(Handle printer) {
    Log("EndDocPrinter", printer);
    return true;
}

bool FakePlatform::ClosePrinter(Handle printer) {
    Log("ClosePrinter", printer);
    return true;
}

int FakePlatform::closesocket(Socket s) {
    Log("closesocket", static_cast<Handle>(s));
    if (sockets_.erase(s) == 0) return SOCKET_ERROR_;
    if (closeFails) {
        wsaError_ = WSAETIMEDOUT_;
        return SOCKET_ERROR_;
    }
    return 0;
}

Socket FakePlatform::ConnectTcp(const std::string& host, std::uint16_t port, std::uint32_t timeoutMs) {
    Log("ConnectTcp", kNullHandle, host, {port, timeoutMs});
    if (connectFails) {
        hostReason_ = HostReason::Other;
        hostDetail_ = host + ":" + std::to_string(port) + ": " + connectDetail;
        wsaError_ = WSAECONNREFUSED_;
        return INVALID_SOCKET_;
    }
    const auto s = static_cast<Socket>(nextHandle_++);
    sockets_.insert(s);
    return s;
}

void FakePlatform::AddRegKey(const std::string& keyPath) {
    const std::string spelt = TrimmedKeyPath(keyPath);
    registry_[UpperAscii(spelt)];
    // Every key on the way is spelt as it was first given.
    for (std::size_t end = 0; end != std::string::npos;) {
        end = spelt.find('\\', end + 1);
        const std::string prefix = spelt.substr(0, end);
        keyNames_.emplace(UpperAscii(prefix), prefix);
    }
}

void FakePlatform::SetRegValue(const std::string& keyPath, const std::string& name,
                               std::uint32_t type, std::string data) {
    AddRegKey(keyPath);
    auto& values = registry_[UpperAscii(TrimmedKeyPath(keyPath))].values;
    const std::string upperName = UpperAscii(name);
    for (auto& [n, v] : values) {
        if (UpperAscii(n) == upperName) {
            v = RegValue{type, std::move(data)};
            return;
        }
    }
    values.emplace_back(name, RegValue{type, std::move(data)});
}

bool FakePlatform::KeyExists(const std::string& path) const {
    if (path.empty()) return true;  // the root itself
    return keyNames_.count(path) > 0;
}

std::vector<std::string> FakePlatform::SubKeysOf(const std::string& path) const {
    std::vector<std::string> names;
    const std::string prefix = path.empty() ? std::string() : path + "\\";
    for (const auto& [upper, spelt] : keyNames_) {
        if (upper.size() <= prefix.size() || upper.compare(0, prefix.size(), prefix) != 0) continue;
        if (upper.find('\\', prefix.size()) != std::string::npos) continue;  // deeper down
        names.push_back(spelt.substr(prefix.size()));
    }
    return names;
}

long FakePlatform::RegOpenKeyExA(HKey root, const std::string& subKey, std::uint32_t access,
                                 HKey& out) {
    Log("RegOpenKeyExA", root, subKey, {access});
    out = 0;
    std::string base;
    if (root == HKEY_CURRENT_USER_) {
        base = TrimmedKeyPath(kCurrentUser);
    } else if (root != HKEY_LOCAL_MACHINE_) {
        auto it = openKeys_.find(root);
        if (it == openKeys_.end()) return Err(ERROR_INVALID_HANDLE_);
        base = it->second;
    }
    const std::string rest = UpperAscii(TrimmedKeyPath(subKey));
    const std::string path = base.empty() ? rest : rest.empty() ? base : base + "\\" + rest;
    if (!KeyExists(path)) return Err(ERROR_FILE_NOT_FOUND_);
    out = nextHandle_++;
    openKeys_[out] = path;
    return Err(ERROR_SUCCESS_);
}

long FakePlatform::RegQueryInfoKeyA(HKey key, std::uint32_t& subKeyCount,
                                    std::uint32_t& valueCount) {
    Log("RegQueryInfoKeyA", key);
    subKeyCount = valueCount = 0;
    auto it = openKeys_.find(key);
    if (it == openKeys_.end()) return Err(ERROR_INVALID_HANDLE_);
    subKeyCount = static_cast<std::uint32_t>(SubKeysOf(it->second).size());
    if (auto k = registry_.find(it->second); k != registry_.end())
        valueCount = static_cast<std::uint32_t>(k->second.values.size());
    return Err(ERROR_SUCCESS_);
}

long FakePlatform::RegEnumKeyExA(HKey key, std::uint32_t index, std::string& name) {
    Log("RegEnumKeyExA", key, {}, {index});
    name.clear();
    auto it = openKeys_.find(key);
    if (it == openKeys_.end()) return Err(ERROR_INVALID_HANDLE_);
    const auto names = SubKeysOf(it->second);
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS_;
    name = names[index];
    return Err(ERROR_SUCCESS_);
}

long FakePlatform::RegEnumValueA(HKey key, std::uint32_t index, std::string& name) {
    Log("RegEnumValueA", key, {}, {index});
    name.clear();
    auto it = openKeys_.find(key);
    if (it == openKeys_.end()) return Err(ERROR_INVALID_HANDLE_);
    auto k = registry_.find(it->second);
    if (k == registry_.end() || index >= k->second.values.size()) return ERROR_NO_MORE_ITEMS_;
    name = k->second.values[index].first;
    return Err(ERROR_SUCCESS_);
}

long FakePlatform::RegQueryValueExA(HKey key, const std::string& name, std::uint32_t& type,
                                    std::string& data) {
    Log("RegQueryValueExA", key, name);
    type = REG_NONE_;
    data.clear();
    auto it = openKeys_.find(key);
    if (it == openKeys_.end()) return Err(ERROR_INVALID_HANDLE_);
    if (auto k = registry_.find(it->second); k != registry_.end()) {
        const std::string upperName = UpperAscii(name);
        for (const auto& [n, v] : k->second.values) {
            if (UpperAscii(n) != upperName) continue;
            type = v.type;
            data = v.data;
            return Err(ERROR_SUCCESS_);
        }
    }
    return Err(ERROR_FILE_NOT_FOUND_);
}

long FakePlatform::RegCloseKey(HKey key) {
    Log("RegCloseKey", key);
    return openKeys_.erase(key) ? Err(ERROR_SUCCESS_) : Err(ERROR_INVALID_HANDLE_);
}

std::set<HKey> FakePlatform::OpenKeys() const {
    std::set<HKey> keys;
    for (const auto& [h, path] : openKeys_) keys.insert(h);
    return keys;
}

std::string FakePlatform::GetWindowsDirectoryA() {
    Log("GetWindowsDirectoryA", kNullHandle);
    return windowsDirectory;
}

std::string FakePlatform::HostFilePath(const std::string& windowsPath) {
    const std::string prefix = windowsDirectory + "\\";
    if (hostWindowsFolder.empty() || windowsPath.size() < prefix.size() ||
        UpperAscii(windowsPath.substr(0, prefix.size())) != UpperAscii(prefix))
        return windowsPath;
    std::string rest = windowsPath.substr(prefix.size());
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return hostWindowsFolder + "/" + rest;
}

}  // namespace prax::platform::fake
