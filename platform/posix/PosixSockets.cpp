// Windows Sockets on POSIX sockets. A socket is its descriptor, non-blocking, so that a peer
// that stops reading can't hold a send (or a close) beyond its limit, and sends never raise
// SIGPIPE.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/Names.h"
#include "platform/posix/PosixPlatform.h"

namespace prax::platform::posix {

namespace {

// A wait that the abort flag must be able to end is cut into slices this long: a signal that
// lands just before poll would otherwise go unseen until the wait is over.
constexpr std::int64_t kSliceMs = 200;

int WsaErrorFor(int err) {
    switch (err) {
        case EINTR:
        case ECANCELED:
            return WSAEINTR_;
        case EPIPE:
        case ECONNRESET:
            return WSAECONNRESET_;
        case ECONNREFUSED:
            return WSAECONNREFUSED_;
        case EHOSTUNREACH:
            return WSAEHOSTUNREACH_;
        case ENETUNREACH:
            return WSAENETUNREACH_;
        case EBADF:
        case ENOTSOCK:
            return WSAENOTSOCK_;
        default:
            // The kernel's own time-out (retransmissions unanswered) means the peer is gone, not
            // that it only stopped reading; that one is WSAETIMEDOUT_ from our stall limit.
            return WSAECONNABORTED_;
    }
}

int PollFor(int fd, short events, std::int64_t ms) {
    struct pollfd p {fd, events, 0};
    return ::poll(&p, 1, static_cast<int>(std::clamp<std::int64_t>(ms, 0, kSliceMs)));
}

}  // namespace

void PosixPlatform::SocketFail(int err, int wsa, const std::string& what) {
    wsaError_ = wsa;
    reason_ = err == EACCES || err == EPERM ? HostReason::Permission : HostReason::Other;
    detail_ = what;
}

int PosixPlatform::WSAStartup(std::uint16_t, WsaData& data) {
    // POSIX sockets need no start-up; they do all that 2.2 offers.
    data.wVersion = WINSOCK_VERSION_2_2_;
    data.wHighVersion = WINSOCK_VERSION_2_2_;
    return 0;
}

int PosixPlatform::send(Socket s, const std::uint8_t* data, int length, int) {
    auto it = sockets_.find(s);
    if (it == sockets_.end()) {
        wsaError_ = WSAENOTSOCK_;
        return SOCKET_ERROR_;
    }
    if (length < 0 || (length > 0 && data == nullptr)) {
        wsaError_ = WSAEINVAL_;
        return SOCKET_ERROR_;
    }
    const int fd = static_cast<int>(s);
    const auto total = static_cast<std::size_t>(length);
    std::size_t done = 0;
    std::int64_t lastProgress = -1;
    int err = 0, wsa = 0;
    while (done < total) {
        const ssize_t n = ::send(fd, data + done, total - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            lastProgress = -1;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Only a full send buffer costs a look at the clock; the common case doesn't.
            const std::int64_t now = MonotonicMs();
            if (lastProgress < 0) lastProgress = now;
            if (Aborted()) {
                err = EINTR, wsa = WSAEINTR_;
                break;
            }
            const std::int64_t left = lastProgress + sendStallLimitMs_ - now;
            if (left <= 0) {
                err = ETIMEDOUT, wsa = WSAETIMEDOUT_;
                break;
            }
            PollFor(fd, POLLOUT, left);
            continue;
        }
        err = n < 0 ? errno : EIO;
        wsa = WsaErrorFor(err);
        break;
    }
    if (done < total) {
        it->second.failed = true;
        const std::string why = wsa == WSAETIMEDOUT_
                                    ? "the printer took no data for " + std::to_string(sendStallLimitMs_) + " ms"
                                    : std::strerror(err);
        SocketFail(err, wsa, "send: " + why);
        return done > 0 ? static_cast<int>(done) : SOCKET_ERROR_;
    }
    wsaError_ = 0;
    return static_cast<int>(done);
}

int PosixPlatform::shutdown(Socket s, int how) {
    auto it = sockets_.find(s);
    if (it == sockets_.end()) {
        wsaError_ = WSAENOTSOCK_;
        return SOCKET_ERROR_;
    }
    const int posixHow = how == SD_RECEIVE_ ? SHUT_RD : how == SD_SEND_ ? SHUT_WR : SHUT_RDWR;
    if (::shutdown(static_cast<int>(s), posixHow) != 0) {
        wsaError_ = WsaErrorFor(errno);
        return SOCKET_ERROR_;
    }
    if (posixHow != SHUT_RD) it->second.finQueued = true;
    return 0;
}

namespace {

int TcpState(int fd) {
    struct tcp_info info {};
    socklen_t length = sizeof info;
    return getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 ? info.tcpi_state : -1;
}

// What the queue of a connection holds that the peer has not acknowledged. The kernel's count
// stays as it was when a reset ended the connection, so it tells then what never arrived; once
// the sending side is shut down it counts the FIN as one more, until that is acknowledged.
std::uint64_t UnacknowledgedBytes(int fd, bool finQueued) {
    int queued = 0;
    if (ioctl(fd, SIOCOUTQ, &queued) != 0 || queued <= 0) return 0;
    const int state = TcpState(fd);
    if (finQueued && (state == TCP_FIN_WAIT1 || state == TCP_CLOSING || state == TCP_LAST_ACK || state == TCP_CLOSE))
        --queued;
    return static_cast<std::uint64_t>(queued);
}

// What the queue holds that never left this host; a FIN behind it is not one of its bytes.
std::uint64_t UnsentBytes(int fd, bool finQueued) {
    int unsent = 0;
    if (ioctl(fd, SIOCOUTQNSD, &unsent) != 0 || unsent <= 0) return 0;
    if (finQueued) --unsent;
    return static_cast<std::uint64_t>(unsent);
}

}  // namespace

int PosixPlatform::closesocket(Socket s) {
    auto it = sockets_.find(s);
    if (it == sockets_.end()) {
        wsaError_ = WSAENOTSOCK_;
        return SOCKET_ERROR_;
    }
    const int fd = static_cast<int>(s);
    const bool finQueued = it->second.finQueued;
    const bool givenUp = it->second.failed || Aborted();
    bool discard = givenUp;
    if (!discard) {
        // A finished stream is only done once the printer has it: wait while what is queued
        // goes down, and give the rest up only when it stands still for the whole limit. A reset
        // ends the wait at once: the count then stands still for good.
        std::int64_t lastProgress = MonotonicMs();
        int lastQueued = -1;
        for (;;) {
            int queued = 0;
            if (ioctl(fd, SIOCOUTQ, &queued) != 0 || queued <= 0 || TcpState(fd) == TCP_CLOSE) break;
            if (lastQueued < 0 || queued < lastQueued) lastProgress = MonotonicMs();
            lastQueued = queued;
            if (Aborted() || MonotonicMs() - lastProgress >= drainLimitMs_) {
                discard = true;
                break;
            }
            SleepUntil(MonotonicMs() + 2);
        }
    }
    // A peer that reset the connection took its queue with it: none of that arrived.
    int peerError = 0;
    socklen_t length = sizeof peerError;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &peerError, &length) != 0) peerError = 0;
    // What the close gives up is not counted as delivered. A stream given up before the close
    // (a send that failed or was interrupted) loses what never left this host: bytes on their
    // way may still have reached the printer, and whether it is left inside an image is told
    // from that count. A close that waited for the printer loses what it never acknowledged.
    closeDiscarded_ = givenUp ? UnsentBytes(fd, finQueued)
                      : discard || peerError != 0 ? UnacknowledgedBytes(fd, finQueued)
                                                  : 0;
    if (discard) {
        // What an abandoned stream left queued must not reach the printer ahead of the next
        // one: a close that resets the connection drops it.
        struct linger l {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    sockets_.erase(it);
    if (::close(fd) != 0) {
        wsaError_ = WsaErrorFor(errno);
        return SOCKET_ERROR_;
    }
    // The stream was given up, or the peer threw it away: the close says so.
    if (peerError != 0 || discard) {
        wsaError_ = peerError != 0 ? WsaErrorFor(peerError) : WSAETIMEDOUT_;
        return SOCKET_ERROR_;
    }
    return 0;
}

Socket PosixPlatform::ConnectTcp(const std::string& host, std::uint16_t port, std::uint32_t timeoutMs) {
    const std::string where = HostAndPort(host, port);
    struct addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    struct addrinfo* found = nullptr;
    const int rc = host.empty() ? EAI_NONAME
                                : ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (rc != 0) {
        const int err = rc == EAI_SYSTEM ? errno : 0;
        SocketFail(err, WSAHOST_NOT_FOUND_, where + ": unknown host (" + ::gai_strerror(rc) + ")");
        reason_ = HostReason::Absent;
        return INVALID_SOCKET_;
    }
    std::unique_ptr<struct addrinfo, void (*)(struct addrinfo*)> list(found, ::freeaddrinfo);

    const std::int64_t deadline = MonotonicMs() + timeoutMs;
    int lastError = ETIMEDOUT;
    for (const struct addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (Aborted()) {
            lastError = EINTR;
            break;
        }
        const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        int err = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (err == EINPROGRESS) {
            err = ETIMEDOUT;
            for (;;) {
                const std::int64_t left = deadline - MonotonicMs();
                if (left <= 0) break;
                if (Aborted()) {
                    err = EINTR;
                    break;
                }
                if (PollFor(fd, POLLOUT, left) > 0) {
                    socklen_t size = sizeof err;
                    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &size) != 0) err = errno;
                    break;
                }
            }
        }
        if (err == 0) {
            // Nagle's merging stays on: the link writes in 512-byte chunks and byte by byte, and a
            // segment per write would cost the loopback (and a printer's stack) several times the
            // time; a stream has no write boundaries on the wire anyway, and pauses still show.
            sockets_[static_cast<Socket>(fd)] = SocketState{};
            wsaError_ = 0;
            reason_ = HostReason::None;
            detail_.clear();
            return static_cast<Socket>(fd);
        }
        ::close(fd);
        lastError = err;
        if (err == ETIMEDOUT || err == EINTR) break;  // the time is up for every address
    }
    const std::string why = lastError == ETIMEDOUT
                                ? "no answer within " + std::to_string(timeoutMs) + " ms"
                                : lastError == EINTR ? "interrupted" : std::strerror(lastError);
    SocketFail(lastError, lastError == ETIMEDOUT ? WSAETIMEDOUT_ : WsaErrorFor(lastError), where + ": " + why);
    return INVALID_SOCKET_;
}

}  // namespace prax::platform::posix
