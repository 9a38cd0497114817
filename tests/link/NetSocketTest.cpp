#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "link/NetSocket.h"
#include "link/TCom.h"
#include "platform/fake/FakePlatform.h"
#include "protocol/Firmware.h"
#include "protocol/StreamPieces.h"
#include "tests/support/Recorder.h"

using namespace prax::platform;
using prax::link::NetSocket;
using prax::link::NetworkTarget;
using prax::link::TCom;
using prax::platform::fake::FakePlatform;
using Bytes = std::vector<std::uint8_t>;
using Names = std::vector<std::string>;
using Args = std::vector<std::uint64_t>;

namespace {

Bytes B(const std::string& s) { return Bytes(s.begin(), s.end()); }

class NetSocketTest : public ::testing::Test {
protected:
    void SetUp() override {
        prax::link::netStarted() = false;
        prax::link::quietStall() = true;
    }
    FakePlatform host;
};

}  // namespace

TEST_F(NetSocketTest, SendAllIsOneSendOfTheWholeBufferAndTrueOnlyWhenAllWent) {
    struct Case {
        const char* what;
        bool connected;
        int length;
        std::int64_t peerTakes;  // -1: all
        bool result;
        bool sends;
    } cases[] = {
        {"no socket", false, 5, -1, false, false},
        {"no socket, nothing to send", false, 0, -1, false, false},
        {"nothing to send", true, 0, -1, true, false},
        {"below nothing", true, -3, -1, true, false},
        {"all", true, 5, -1, true, true},
        {"part of it", true, 5, 3, false, true},
        {"none of it", true, 5, 0, false, true},
    };
    const Bytes data = B("ABCDE");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform h;
        h.socketTakes = c.peerTakes;
        NetSocket net(h);
        if (c.connected) net.Adopt(h.ConnectTcp("printer", 9100, 1000));
        h.calls.clear();
        EXPECT_EQ(net.SendAll(data.data(), c.length), c.result);
        if (c.sends) {
            // One call with flags 0; a short send is not continued.
            ASSERT_EQ(h.CallNames(), Names{"send"});
            EXPECT_EQ(h.calls[0].args, (Args{static_cast<std::uint64_t>(c.length), 0}));
            EXPECT_EQ(h.writes, std::vector<Bytes>{data});
        } else {
            EXPECT_EQ(h.Count("send"), 0u);
        }
    }
}

TEST_F(NetSocketTest, StartsSocketsOnceAndOnlyOnVersionTwoTwo) {
    {
        NetSocket net(host);
        EXPECT_EQ(host.CallNames(), Names{"WSAStartup"});
        EXPECT_EQ(host.calls[0].args, Args{0x0202});
        EXPECT_TRUE(prax::link::netStarted());
        EXPECT_EQ(NetSocket::Instance(), &net);
        EXPECT_TRUE(net.NetStartup());
        EXPECT_EQ(host.Count("WSAStartup"), 1u);
    }
    // Nothing held: the end only stops sockets.
    EXPECT_EQ(host.CallNames(), (Names{"WSAStartup", "WSACleanup"}));
    EXPECT_FALSE(prax::link::netStarted());
    EXPECT_EQ(NetSocket::Instance(), nullptr);

    FakePlatform old;
    old.wsaGrantedVersion = 0x0101;
    {
        NetSocket net(old);
        EXPECT_EQ(old.CallNames(), (Names{"WSAStartup", "WSACleanup"}));
        EXPECT_FALSE(prax::link::netStarted());
    }
    EXPECT_EQ(old.Count("WSACleanup"), 1u) << "not started, so not stopped again";

    FakePlatform refusing;
    refusing.wsaStartupResult = WSASYSNOTREADY_;
    NetSocket net(refusing);
    EXPECT_FALSE(net.NetStartup());
    EXPECT_EQ(refusing.CallNames(), (Names{"WSAStartup", "WSAStartup"}));
}

TEST_F(NetSocketTest, EndClosesTheSendingSideThenTheSocketThenStopsSockets) {
    Socket s;
    {
        NetSocket net(host);
        s = host.ConnectTcp("printer", 9100, 1000);
        net.Adopt(s);
        host.calls.clear();
    }
    EXPECT_EQ(host.CallNames(), (Names{"shutdown", "closesocket", "WSACleanup"}));
    EXPECT_EQ(host.calls[0].handle, static_cast<Handle>(s));
    EXPECT_EQ(host.calls[0].args, Args{SD_SEND_});
    EXPECT_EQ(host.calls[1].handle, static_cast<Handle>(s));
    EXPECT_TRUE(host.OpenSockets().empty());
}

// The network kind of the link: every Write is one send of exactly its bytes; Close (and the
// end of the link) closes the socket, so each open connects anew.
TEST_F(NetSocketTest, LinkOfTheNetworkKindSendsEachWriteWhole) {
    NetSocket net(host);
    const NetworkTarget target{"printer.local", 9101, 750};
    {
        TCom com(host);
        ASSERT_TRUE(com.OpenNetwork(target));
        EXPECT_TRUE(com.IsOpen());
        EXPECT_EQ(com.kind, prax::link::TransportKind::Network);
        EXPECT_EQ(prax::link::currentDeviceName(), "printer.local:9101");
        EXPECT_EQ(com.Write("^default\r\n"), 1);
        com.WriteByte(0x0D);
        EXPECT_EQ(com.Write(nullptr, 0), 1);  // nothing to send is success, with no call
        EXPECT_EQ(com.DeliveredBytes(), 11u);
        com.Close();
        EXPECT_FALSE(com.IsOpen());
        ASSERT_TRUE(com.OpenNetwork(target));
        EXPECT_EQ(com.Write("x"), 1);
    }
    EXPECT_EQ(host.CallNames(), (Names{"WSAStartup", "ConnectTcp", "send", "send", "shutdown", "closesocket",
                                       "ConnectTcp", "send", "shutdown", "closesocket"}));
    EXPECT_EQ(host.calls[1].text, "printer.local");
    EXPECT_EQ(host.calls[1].args, (Args{9101, 750}));
    EXPECT_EQ(host.writes, (std::vector<Bytes>{B("^default\r\n"), B("\r"), B("x")}));
    EXPECT_TRUE(host.OpenSockets().empty());

    NetworkTarget v6{"::1"};
    TCom com(host);
    ASSERT_TRUE(com.OpenNetwork(v6));
    EXPECT_EQ(prax::link::currentDeviceName(), "[::1]:9100");
    EXPECT_EQ(host.calls.back().args, (Args{9100, 5000}));
}

TEST_F(NetSocketTest, LinkCannotOpenWithoutAConnectionOrWithoutSockets) {
    const NetworkTarget target{"printer"};
    {
        TCom com(host);  // no holder at all
        EXPECT_FALSE(com.OpenNetwork(target));
        EXPECT_EQ(com.Write("abc"), 0);
        EXPECT_FALSE(com.LastWriteDelivered());
    }
    EXPECT_TRUE(host.calls.empty());

    {
        host.connectFails = true;
        NetSocket net(host);
        TCom com(host);
        EXPECT_FALSE(com.OpenNetwork(target));
        EXPECT_EQ(host.Count("ConnectTcp"), 1u);
        EXPECT_EQ(com.Write("abc"), 0);
        EXPECT_EQ(host.Count("send"), 0u);
    }

    FakePlatform refusing;
    refusing.wsaStartupResult = WSASYSNOTREADY_;
    NetSocket unstarted(refusing);
    TCom other(refusing);
    EXPECT_FALSE(other.OpenNetwork(target));
    EXPECT_EQ(refusing.Count("ConnectTcp"), 0u);
}

// How far a transfer got and why it ended, over the network: a peer that stopped taking data is
// the printer stopping; a reset is the connection lost. Either way the socket is closed.
TEST_F(NetSocketTest, AShortSendEndsTheTransferWithItsReason) {
    const std::string image(2000, 'i');
    const std::string path = ::testing::TempDir() + "net-fw-" + std::to_string(::getpid()) + ".bin";
    std::ofstream(path, std::ios::binary) << image;
    struct Case {
        int error;
        const char* said;
    } cases[] = {{WSAETIMEDOUT_, "The printer stopped taking data: 700 of the image's 2000 bytes were delivered."},
                 {WSAECONNRESET_, "The connection to the printer was lost: 700 of the image's 2000 bytes"}};
    const std::size_t before = 20 + prax::protocol::BuildFirmwareHeader(2000).size() + 2;
    for (const Case& c : cases) {
        FakePlatform h;
        h.socketTakes = static_cast<std::int64_t>(before) + 700;
        h.sendError = c.error;
        NetSocket net(h);
        prax::testing::Recorder ui;
        std::string status;
        const NetworkTarget target{"printer"};
        prax::protocol::Context ctx{h, ui, [] { return 3; }, status, &target};
        prax::protocol::FirmwareRequest req;
        req.imagePath = path;
        const prax::protocol::Result r = prax::protocol::DownloadFirmware(ctx, req);
        EXPECT_EQ(r.outcome, prax::protocol::Outcome::Stopped);
        EXPECT_EQ(r.message.rfind(c.said, 0), 0u) << r.message;
        // Wake-up run, header, its end and the first chunk byte by byte; then the short chunk.
        std::vector<std::size_t> lengths(before + 512, 1);
        lengths.push_back(512);
        EXPECT_EQ(h.WriteLengths(), lengths);
        EXPECT_EQ(h.CallNames().back(), "closesocket");
        EXPECT_EQ(h.Count("CreateFileA"), 0u);
    }
}
