// The POSIX backend's sockets over real loopback connections.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "link/NetSocket.h"
#include "platform/posix/PosixPlatform.h"

using namespace prax::platform;
using prax::platform::posix::PosixPlatform;

namespace {

// A listening socket on a free loopback port; Accept gives the far end of a connection to it.
class Listener {
public:
    // A receive buffer given here bounds the window a connection to it ever offers.
    explicit Listener(int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), size) != 0 || ::listen(fd_, 4) != 0) return;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
    }
    ~Listener() { ::close(fd_); }
    std::uint16_t port() const { return port_; }
    int Accept() { return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC); }
    // Connects `host` to it by `name`: `s` is the host's end, `peer` the far end.
    void Connect(PosixPlatform& host, Socket& s, int& peer, const char* name = "127.0.0.1") {
        s = host.ConnectTcp(name, port_, 2000);
        ASSERT_NE(s, INVALID_SOCKET_) << host.LastHostDetail();
        peer = Accept();
        ASSERT_GE(peer, 0);
    }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> v(size);
    for (std::size_t i = 0; i < size; ++i) v[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return v;
}

}  // namespace

// Every byte arrives, in order; the close after a whole stream waits for it to leave and ends
// the connection cleanly (the reader sees the end, not a reset).
TEST(PosixSockets, SendAllOverLoopbackDeliversEveryByteThenEndsCleanly) {
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    PosixPlatform host;
    prax::link::NetSocket net(host);
    net.Adopt(host.ConnectTcp("127.0.0.1", listener.port(), 2000));
    ASSERT_TRUE(net.IsValid()) << host.LastHostDetail();
    const int peer = listener.Accept();
    ASSERT_GE(peer, 0);
    const std::vector<std::uint8_t> data = Pattern(8 << 20);  // more than the socket buffers hold
    std::vector<std::uint8_t> got;
    int endedWith = -1;
    std::thread reader([&] {
        std::vector<std::uint8_t> buf(1 << 16);
        for (;;) {
            const ssize_t n = ::read(peer, buf.data(), buf.size());
            if (n <= 0) {
                endedWith = n == 0 ? 0 : errno;
                return;
            }
            got.insert(got.end(), buf.begin(), buf.begin() + n);
        }
    });
    for (std::size_t at = 0; at < data.size(); at += 512)
        ASSERT_TRUE(net.SendAll(data.data() + at, 512));
    EXPECT_TRUE(net.CloseSocket());
    reader.join();
    ::close(peer);
    EXPECT_EQ(endedWith, 0);
    EXPECT_TRUE(got == data) << got.size() << " of " << data.size() << " bytes";
}

// A peer that takes nothing: the send returns what went within the stall limit, as stopped;
// with the abort flag up it returns as interrupted. The close then drops what was queued,
// resetting the connection rather than delivering a cut stream later.
TEST(PosixSockets, APeerThatStopsReadingEndsTheSendWithThePartialCount) {
    for (const bool abort : {false, true}) {
        SCOPED_TRACE(abort ? "abort" : "stall");
        Listener listener;
        PosixPlatform host;
        volatile std::sig_atomic_t flag = 0;
        host.SetAbortFlag(&flag);
        host.SetSendStallLimitMs(300);
        Socket s = INVALID_SOCKET_;
        int peer = -1;
        ASSERT_NO_FATAL_FAILURE(listener.Connect(host, s, peer, "localhost"));
        if (abort) flag = SIGINT;
        const std::vector<std::uint8_t> data = Pattern(64 << 20);
        const auto start = std::chrono::steady_clock::now();
        const int sent = host.send(s, data.data(), static_cast<int>(data.size()), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_GT(sent, 0);
        EXPECT_LT(sent, static_cast<int>(data.size()));
        EXPECT_EQ(host.WSAGetLastError(), abort ? WSAEINTR_ : WSAETIMEDOUT_);
        EXPECT_EQ(host.shutdown(s, SD_SEND_), 0);
        // The close says the stream was given up, and what of it never left.
        EXPECT_EQ(host.closesocket(s), SOCKET_ERROR_);
        EXPECT_EQ(host.WSAGetLastError(), WSAETIMEDOUT_);
        EXPECT_GT(host.LastCloseDiscarded(), 0u);
        EXPECT_LT(host.LastCloseDiscarded(), static_cast<std::uint64_t>(sent));
        EXPECT_EQ(host.closesocket(s), SOCKET_ERROR_);  // gone, and not some other descriptor
        EXPECT_EQ(host.WSAGetLastError(), WSAENOTSOCK_);
        // The queued rest is thrown away: reading on meets the reset before the end.
        std::vector<std::uint8_t> buf(1 << 16);
        ssize_t n;
        std::size_t read = 0;
        while ((n = ::read(peer, buf.data(), buf.size())) > 0) read += static_cast<std::size_t>(n);
        EXPECT_EQ(n, -1);
        EXPECT_EQ(errno, ECONNRESET);
        EXPECT_LE(read, static_cast<std::size_t>(sent));
        ::close(peer);
    }
}

// Every send went (the socket buffers took it all), but the peer reads nothing more: the close
// waits out its limit, gives the queue up and says so, with the count the peer never confirmed.
TEST(PosixSockets, ACloseThatCannotHandOverTheQueueFailsWithWhatItGaveUp) {
    Listener listener;
    PosixPlatform host;
    host.SetDrainLimitMs(300);
    Socket s = INVALID_SOCKET_;
    int peer = -1;
    ASSERT_NO_FATAL_FAILURE(listener.Connect(host, s, peer));
    int small = 4096, large = 1 << 20;
    ASSERT_EQ(::setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    ASSERT_EQ(::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_SNDBUF, &large, sizeof large), 0);
    const std::vector<std::uint8_t> data = Pattern(64 << 10);
    ASSERT_EQ(host.send(s, data.data(), static_cast<int>(data.size()), 0), static_cast<int>(data.size()));
    ASSERT_EQ(host.shutdown(s, SD_SEND_), 0);
    EXPECT_EQ(host.closesocket(s), SOCKET_ERROR_);
    EXPECT_EQ(host.WSAGetLastError(), WSAETIMEDOUT_);
    EXPECT_GT(host.LastCloseDiscarded(), 0u);
    EXPECT_LT(host.LastCloseDiscarded(), data.size());
    ::close(peer);
}

// A printer that resets the connection with its buffer full: whether the reset meets the close's
// wait for the queue or a later send, the stream ends at once as lost, and all but what its
// buffer could hold is given up, not counted as delivered.
TEST(PosixSockets, APeerThatResetsEndsTheStreamAtOnceAndTheQueuedRestIsNotCounted) {
    for (const bool sendAfter : {false, true}) {
        SCOPED_TRACE(sendAfter ? "a send meets the reset" : "the close meets the reset");
        Listener listener(4096);
        PosixPlatform host;
        host.SetDrainLimitMs(30000);
        Socket s = INVALID_SOCKET_;
        int peer = -1;
        ASSERT_NO_FATAL_FAILURE(listener.Connect(host, s, peer));
        int large = 1 << 20, held = 0;
        ASSERT_EQ(::setsockopt(static_cast<int>(s), SOL_SOCKET, SO_SNDBUF, &large, sizeof large), 0);
        socklen_t size = sizeof held;
        ASSERT_EQ(::getsockopt(peer, SOL_SOCKET, SO_RCVBUF, &held, &size), 0);
        const std::vector<std::uint8_t> data = Pattern(256 << 10);
        ASSERT_EQ(host.send(s, data.data(), static_cast<int>(data.size()), 0), static_cast<int>(data.size()));
        if (!sendAfter) {
            ASSERT_EQ(host.shutdown(s, SD_SEND_), 0);
        }
        struct linger reset {1, 0};
        ASSERT_EQ(::setsockopt(peer, SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
        ::close(peer);
        const auto start = std::chrono::steady_clock::now();
        if (sendAfter) {
            // Once the reset has arrived, the next send meets it.
            struct pollfd p {static_cast<int>(s), 0, 0};
            ASSERT_EQ(::poll(&p, 1, 5000), 1);
            EXPECT_EQ(host.send(s, data.data(), 512, 0), SOCKET_ERROR_);
            EXPECT_EQ(host.WSAGetLastError(), WSAECONNRESET_);
        }
        EXPECT_EQ(host.closesocket(s), SOCKET_ERROR_);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        if (!sendAfter) {
            EXPECT_EQ(host.WSAGetLastError(), WSAECONNRESET_);
        }
        EXPECT_GE(host.LastCloseDiscarded() + static_cast<std::uint64_t>(held), data.size());
        EXPECT_LE(host.LastCloseDiscarded(), data.size());
    }
}

TEST(PosixSockets, ConnectFailuresSayWhy) {
    PosixPlatform host;
    const std::uint16_t closed = Listener().port();
    EXPECT_EQ(host.ConnectTcp("127.0.0.1", closed, 2000), INVALID_SOCKET_);
    EXPECT_EQ(host.WSAGetLastError(), WSAECONNREFUSED_);
    EXPECT_EQ(host.LastHostDetail(), "127.0.0.1:" + std::to_string(closed) + ": Connection refused");
    EXPECT_EQ(host.ConnectTcp("no-such-host.invalid", 9100, 2000), INVALID_SOCKET_);
    EXPECT_EQ(host.WSAGetLastError(), WSAHOST_NOT_FOUND_);
    EXPECT_EQ(host.LastHostReason(), HostReason::Absent);
    EXPECT_EQ(host.LastHostDetail().rfind("no-such-host.invalid:9100: unknown host", 0), 0u) << host.LastHostDetail();
    EXPECT_EQ(host.send(12345, nullptr, 0, 0), SOCKET_ERROR_);  // not a socket of ours
    EXPECT_EQ(host.WSAGetLastError(), WSAENOTSOCK_);
}
