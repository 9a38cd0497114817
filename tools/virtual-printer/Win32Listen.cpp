// The listening socket with Winsock.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tools/virtual-printer/Listen.h"

#include "platform/win32/Win32Platform.h"

namespace prax::vprinter {

Socket OpenListener(const ListenAddress& address, std::string& bound, std::string& error) {
    using prax::platform::win32::SystemMessage;
    // Once for the program; its sockets live until it ends.
    static const int started = [] {
        WSADATA data{};
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (started != 0) {
        error = "no sockets: " + SystemMessage(static_cast<std::uint32_t>(started));
        return kNoSocket;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found);
    if (rc != 0) {
        error = address.host + ": " + SystemMessage(static_cast<std::uint32_t>(rc));
        return kNoSocket;
    }
    // No SO_REUSEADDR: on Windows it would let a second listener take the port from this one.
    SOCKET s = INVALID_SOCKET;
    for (const addrinfo* a = found; a != nullptr && s == INVALID_SOCKET; a = a->ai_next) {
        s = WSASocketW(a->ai_family, SOCK_STREAM, a->ai_protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
        if (s == INVALID_SOCKET) continue;
        u_long nonBlocking = 1;
        if (bind(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0 || listen(s, 8) != 0 ||
            ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
            const int e = WSAGetLastError();
            error = ListenError(address, e == WSAEADDRINUSE, SystemMessage(static_cast<std::uint32_t>(e)));
            closesocket(s);
            s = INVALID_SOCKET;
        }
    }
    freeaddrinfo(found);
    if (s == INVALID_SOCKET) return kNoSocket;

    sockaddr_storage ss{};
    int size = sizeof ss;
    getsockname(s, reinterpret_cast<sockaddr*>(&ss), &size);
    bound = AddressText(ss);
    return s;
}

}  // namespace prax::vprinter
