#include "link/NetSocket.h"

namespace prax::link {

using namespace prax::platform;

namespace {
// One holder per thread, like the rest of the link's state: each link of a run to several
// printers has its own socket.
thread_local NetSocket* gInstance = nullptr;
}  // namespace

bool& netStarted() {
    thread_local bool started = false;
    return started;
}

NetSocket* NetSocket::Instance() { return gInstance; }

NetSocket::NetSocket(Platform& host) : host_(host) {
    NetStartup();
    gInstance = this;
}

NetSocket::~NetSocket() {
    try {
        CloseSocket();
        NetCleanup();
    } catch (...) {
    }
    if (gInstance == this) gInstance = nullptr;
}

bool NetSocket::NetStartup() {
    if (netStarted()) return true;
    WsaData data;
    if (host_.WSAStartup(WINSOCK_VERSION_2_2_, data) != 0) return false;
    if ((data.wVersion & 0xFF) == 2 && (data.wVersion >> 8) == 2) {
        netStarted() = true;
        return true;
    }
    host_.WSACleanup();
    return false;
}

void NetSocket::NetCleanup() {
    if (!netStarted()) return;
    host_.WSACleanup();
    netStarted() = false;
}

bool NetSocket::SendAll(const std::uint8_t* data, int length) {
    lastSendResult_ = 0;
    if (!IsValid()) return false;
    if (length < 1) return true;
    int sent;
    try {
        sent = host_.send(socket, data, length, 0);
    } catch (...) {
        sent = SOCKET_ERROR_;
    }
    lastSendResult_ = sent;
    return sent == length;
}

bool NetSocket::CloseSocket() {
    if (!IsValid()) return true;
    try {
        host_.shutdown(socket, SD_SEND_);
    } catch (...) {
    }
    bool handedOver = false;
    try {
        // A socket the host no longer knew has nothing queued that could be lost.
        handedOver = host_.closesocket(socket) == 0 || host_.WSAGetLastError() == WSAENOTSOCK_;
    } catch (...) {
    }
    socket = INVALID_SOCKET_;
    return handedOver;
}

void NetSocket::Adopt(Socket s) {
    if (s == socket) return;
    CloseSocket();
    socket = s;
}

}  // namespace prax::link
