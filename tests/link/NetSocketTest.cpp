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
        bool connected;
        int length;
        std::int64_t peerTakes;  // -1: all
        bool result, sends;
    } cases[] = {{false, 5, -1, false, false}, {false, 0, -1, false, false}, {true, 0, -1, true, false},
                 {true, -3, -1, true, false},  {true, 5, -1, true, true},     {true, 5, 3, false, true},
                 {true, 5, 0, false, true}};
    const Bytes data = B("ABCDE");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.connected << " " << c.length << " " << c.peerTakes);
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

// Sockets start once per process, only on version 2.2, and stop at the end after the socket
// is closed: sending side first.
TEST_F(NetSocketTest, StartsOnceOnVersionTwoTwoAndEndsClosingTheSocketFirst) {
    {
        NetSocket net(host);
        EXPECT_TRUE(net.NetStartup());
        EXPECT_EQ(NetSocket::Instance(), &net);
        net.Adopt(host.ConnectTcp("printer", 9100, 1000));
    }
    EXPECT_EQ(host.CallNames(), (Names{"WSAStartup", "ConnectTcp", "shutdown", "closesocket", "WSACleanup"}));
    EXPECT_EQ(host.calls[0].args, Args{0x0202});
    EXPECT_EQ(host.calls[2].args, Args{SD_SEND_});
    EXPECT_EQ(host.calls[2].handle, host.calls[3].handle);
    EXPECT_FALSE(prax::link::netStarted());
    EXPECT_EQ(NetSocket::Instance(), nullptr);

    FakePlatform old;
    old.wsaGrantedVersion = 0x0101;
    { NetSocket net(old); }
    EXPECT_EQ(old.CallNames(), (Names{"WSAStartup", "WSACleanup"})) << "undone once, not stopped again";
    FakePlatform refusing;
    refusing.wsaStartupResult = WSASYSNOTREADY_;
    NetSocket net(refusing);
    EXPECT_FALSE(net.NetStartup());
    EXPECT_EQ(refusing.CallNames(), (Names{"WSAStartup", "WSAStartup"}));
    // Without sockets started the link doesn't try to connect.
    TCom com(refusing);
    EXPECT_FALSE(com.OpenNetwork(NetworkTarget{"printer"}));
    EXPECT_EQ(refusing.Count("ConnectTcp"), 0u);
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

    TCom com(host);
    ASSERT_TRUE(com.OpenNetwork(NetworkTarget{"::1"}));
    EXPECT_EQ(prax::link::currentDeviceName(), "[::1]:9100");
    EXPECT_EQ(host.calls.back().args, (Args{9100, 5000}));
    com.Close();
    host.connectFails = true;
    EXPECT_FALSE(com.OpenNetwork(target));
    EXPECT_EQ(com.Write("abc"), 0);
    EXPECT_FALSE(com.LastWriteDelivered());
    EXPECT_EQ(host.Count("send"), 3u);
}

// How far a transfer got and why it ended, over the network: a peer that stopped taking data is
// the printer stopping; a reset is the connection lost. Either way the socket is closed at once,
// and what the close says the printer never acknowledged is not counted.
TEST_F(NetSocketTest, AShortSendEndsTheTransferWithItsReason) {
    const std::string image(2000, 'i');
    const std::string path = ::testing::TempDir() + "net-fw-" + std::to_string(::getpid()) + ".bin";
    std::ofstream(path, std::ios::binary) << image;
    struct Case {
        int error;
        std::uint32_t unacknowledged;
        const char* said;
    } cases[] = {{WSAETIMEDOUT_, 0, "The printer stopped taking data: 700 of the image's 2000 bytes were delivered."},
                 {WSAECONNRESET_, 0, "The connection to the printer was lost: 700 of the image's 2000 bytes"},
                 {WSAECONNRESET_, 300, "The connection to the printer was lost: 400 of the image's 2000 bytes"},
                 {WSAETIMEDOUT_, 300, "The printer stopped taking data: 400 of the image's 2000 bytes"}};
    const std::size_t before = 20 + prax::protocol::BuildFirmwareHeader(2000).size() + 2;
    for (const Case& c : cases) {
        FakePlatform h;
        h.socketTakes = static_cast<std::int64_t>(before) + 700;
        h.sendError = c.error;
        h.closeFails = c.unacknowledged > 0;
        h.closeDiscards = c.unacknowledged;
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
        EXPECT_EQ(r.delivered, before + 700 - c.unacknowledged);
        const std::vector<std::string> names = h.CallNames();
        ASSERT_GE(names.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
                  (std::vector<std::string>{"send", "shutdown", "closesocket"}));
        EXPECT_EQ(h.Count("CreateFileA"), 0u);
    }
}
