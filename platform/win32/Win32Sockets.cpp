// Windows Sockets, non-blocking, so that a peer that stops reading can't hold a send beyond its
// limit and the abort flag can end any wait.
#include "platform/win32/WindowsApi.h"
#include <ws2tcpip.h>

#include <algorithm>
#include <memory>

#include "platform/Names.h"
#include "platform/win32/Win32Platform.h"

namespace prax::platform::win32 {

namespace {

// A wait that the abort flag must be able to end is cut into slices this long.
constexpr std::int64_t kSliceMs = 50;

std::int64_t MonotonicMs() { return static_cast<std::int64_t>(::GetTickCount64()); }

// The codes the link tells apart, as the POSIX host gives them: a lost peer is a reset or an
// abort, and the stack's own time-out (retransmissions unanswered) means the peer is gone, not
// that it only stopped reading; WSAETIMEDOUT_ is kept for our stall limit.
int LinkError(int wsa) {
    switch (wsa) {
        case WSAEINTR:
            return WSAEINTR_;
        case WSAECONNRESET:
        case WSAENETRESET:
        case WSAESHUTDOWN:
            return WSAECONNRESET_;
        case WSAECONNREFUSED:
            return WSAECONNREFUSED_;
        case WSAEHOSTUNREACH:
            return WSAEHOSTUNREACH_;
        case WSAENETUNREACH:
            return WSAENETUNREACH_;
        case WSAENOTSOCK:
            return WSAENOTSOCK_;
        default:
            return WSAECONNABORTED_;
    }
}

// The words the POSIX host uses for the reasons an operator reads under a failed connection, so
// a hint reads the same on both; anything else in the system's words.
std::string ReasonText(int wsa) {
    switch (wsa) {
        case WSAECONNREFUSED:
            return "Connection refused";
        case WSAEHOSTUNREACH:
            return "No route to host";
        case WSAENETUNREACH:
            return "Network is unreachable";
        default:
            return SystemMessage(static_cast<std::uint32_t>(wsa));
    }
}

// Waits up to one slice for `s` to take data (or, connecting, to connect or fail); > 0 when it
// can go on.
int WaitWritable(SOCKET s, std::int64_t ms, bool* failed = nullptr) {
    fd_set writable, broken;
    FD_ZERO(&writable);
    FD_ZERO(&broken);
    FD_SET(s, &writable);
    FD_SET(s, &broken);
    timeval tv{0, static_cast<long>(std::clamp<std::int64_t>(ms, 0, kSliceMs) * 1000)};
    const int r = ::select(0, nullptr, &writable, &broken, &tv);
    if (failed) *failed = r > 0 && FD_ISSET(s, &broken) && !FD_ISSET(s, &writable);
    return r;
}

}  // namespace

void Win32Platform::SocketFail(int wsa, const std::string& what) {
    wsaError_ = wsa;
    reason_ = wsa == WSAEACCES ? HostReason::Permission : HostReason::Other;
    detail_ = what;
}

int Win32Platform::WSAStartup(std::uint16_t version, WsaData& data) {
    WSADATA real{};
    const int r = ::WSAStartup(version, &real);
    data = {};
    if (r == 0) {
        data.wVersion = real.wVersion;
        data.wHighVersion = real.wHighVersion;
    }
    return r;
}

int Win32Platform::WSACleanup() {
    if (::WSACleanup() == 0) return 0;
    wsaError_ = ::WSAGetLastError();
    return SOCKET_ERROR_;
}

int Win32Platform::send(Socket s, const std::uint8_t* data, int length, int) {
    auto it = sockets_.find(s);
    if (it == sockets_.end()) {
        wsaError_ = WSAENOTSOCK_;
        return SOCKET_ERROR_;
    }
    if (length < 0 || (length > 0 && data == nullptr)) {
        wsaError_ = WSAEINVAL_;
        return SOCKET_ERROR_;
    }
    const auto sock = static_cast<SOCKET>(s);
    int done = 0;
    std::int64_t lastProgress = -1;
    int err = 0, wsa = 0;
    while (done < length) {
        const int n = ::send(sock, reinterpret_cast<const char*>(data) + done, length - done, 0);
        if (n > 0) {
            done += n;
            lastProgress = -1;
            continue;
        }
        err = n == 0 ? WSAECONNABORTED : ::WSAGetLastError();
        if (err == WSAEWOULDBLOCK) {
            // Only a full send buffer costs a look at the clock; the common case doesn't.
            const std::int64_t now = MonotonicMs();
            if (lastProgress < 0) lastProgress = now;
            if (Aborted()) {
                wsa = WSAEINTR_;
                break;
            }
            const std::int64_t left = lastProgress + sendStallLimitMs_ - now;
            if (left <= 0) {
                wsa = WSAETIMEDOUT_;
                break;
            }
            WaitWritable(sock, left);
            continue;
        }
        wsa = LinkError(err);
        break;
    }
    if (done < length) {
        it->second = true;
        const std::string why = wsa == WSAETIMEDOUT_ ? "the printer took no data for " +
                                                           std::to_string(sendStallLimitMs_) + " ms"
                                : wsa == WSAEINTR_ ? std::string("interrupted")
                                                   : SystemMessage(static_cast<std::uint32_t>(err));
        SocketFail(wsa, "send: " + why);
        return done > 0 ? done : SOCKET_ERROR_;
    }
    wsaError_ = 0;
    return done;
}

int Win32Platform::shutdown(Socket s, int how) {
    if (!sockets_.count(s)) {
        wsaError_ = WSAENOTSOCK_;
        return SOCKET_ERROR_;
    }
    if (::shutdown(static_cast<SOCKET>(s), how) != 0) {
        wsaError_ = LinkError(::WSAGetLastError());
        return SOCKET_ERROR_;
    }
    return 0;
}

int Win32Platform::closesocket(Socket s) {
    auto it = sockets_.find(s);
    if (it == sockets_.end()) {
        wsaError_ = WSAENOTSOCK_;
        return SOCKET_ERROR_;
    }
    const auto sock = static_cast<SOCKET>(s);
    closeDiscarded_ = 0;
    linger l{};
    l.l_onoff = 1;
    const bool discard = it->second || Aborted();
    int peerError = 0;
    if (discard) {
        // What an abandoned stream left queued must not reach the printer ahead of the next
        // one: a close that resets the connection drops it.
        l.l_linger = 0;
    } else {
        // A finished stream is only done once the printer has it: the close waits (blocking,
        // as lingering needs) until the queue has gone, and resets the connection when it has
        // not within the limit.
        u_long blocking = 0;
        ::ioctlsocket(sock, FIONBIO, &blocking);
        l.l_linger = static_cast<u_short>(std::clamp<std::uint32_t>((drainLimitMs_ + 999) / 1000, 1, 0xFFFF));
        // A peer that reset the connection took what was queued with it.
        int length = sizeof peerError;
        if (::getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&peerError), &length) != 0) peerError = 0;
    }
    ::setsockopt(sock, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    sockets_.erase(it);
    const std::int64_t start = MonotonicMs();
    if (::closesocket(sock) != 0) {
        wsaError_ = LinkError(::WSAGetLastError());
        return SOCKET_ERROR_;
    }
    // Windows tells no count of what is still queued, and a close that lingered for its whole
    // time ends the connection with the rest unsent; so a close that took that long gave the
    // stream up.
    const bool lingeredOut = !discard && MonotonicMs() - start + 250 >= static_cast<std::int64_t>(l.l_linger) * 1000;
    if (discard || peerError != 0 || lingeredOut) {
        wsaError_ = peerError != 0 ? LinkError(peerError) : WSAETIMEDOUT_;
        return SOCKET_ERROR_;
    }
    return 0;
}

Socket Win32Platform::ConnectTcp(const std::string& host, std::uint16_t port, std::uint32_t timeoutMs) {
    const std::string where = HostAndPort(host, port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = host.empty() ? WSAHOST_NOT_FOUND
                                : ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        std::string why = SystemMessage(static_cast<std::uint32_t>(rc));
        why = why.substr(0, why.rfind(" (error "));
        SocketFail(WSAHOST_NOT_FOUND_, where + ": unknown host (" + why + ")");
        reason_ = HostReason::Absent;
        return INVALID_SOCKET_;
    }
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> list(found, ::freeaddrinfo);

    const std::int64_t deadline = MonotonicMs() + timeoutMs;
    int lastError = WSAETIMEDOUT;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (Aborted()) {
            lastError = WSAEINTR;
            break;
        }
        const SOCKET sock = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (sock == INVALID_SOCKET) {
            lastError = ::WSAGetLastError();
            continue;
        }
        // A program started meanwhile must not keep the printer's connection open.
        ::SetHandleInformation(reinterpret_cast<HANDLE>(sock), HANDLE_FLAG_INHERIT, 0);
        u_long nonBlocking = 1;
        int err = ::ioctlsocket(sock, FIONBIO, &nonBlocking) != 0 ? ::WSAGetLastError() : 0;
        if (err == 0) err = ::connect(sock, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ? 0 : ::WSAGetLastError();
        if (err == WSAEWOULDBLOCK) {
            err = WSAETIMEDOUT;
            for (;;) {
                const std::int64_t left = deadline - MonotonicMs();
                if (left <= 0) break;
                if (Aborted()) {
                    err = WSAEINTR;
                    break;
                }
                bool failed = false;
                const int r = WaitWritable(sock, left, &failed);
                if (r < 0) {
                    err = ::WSAGetLastError();
                    break;
                }
                if (r == 0) continue;
                err = 0;
                if (failed) {
                    int soError = 0;
                    int size = sizeof soError;
                    ::getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size);
                    err = soError != 0 ? soError : WSAECONNREFUSED;
                }
                break;
            }
        }
        if (err == 0) {
            // Nagle's merging stays on: the link writes in 512-byte chunks and byte by byte, and a
            // segment per write would cost a printer's stack several times the time.
            sockets_[static_cast<Socket>(sock)] = false;
            wsaError_ = 0;
            reason_ = HostReason::None;
            detail_.clear();
            return static_cast<Socket>(sock);
        }
        ::closesocket(sock);
        lastError = err;
        if (err == WSAETIMEDOUT || err == WSAEINTR) break;  // the time is up for every address
    }
    const std::string why = lastError == WSAETIMEDOUT ? "no answer within " + std::to_string(timeoutMs) + " ms"
                            : lastError == WSAEINTR   ? std::string("interrupted")
                                                      : ReasonText(lastError);
    SocketFail(lastError == WSAETIMEDOUT ? WSAETIMEDOUT_ : LinkError(lastError), where + ": " + why);
    return INVALID_SOCKET_;
}

}  // namespace prax::platform::win32
