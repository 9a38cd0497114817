#include "tools/virtual-printer/Listen.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <algorithm>

#include "platform/Names.h"

namespace prax::vprinter {

std::string AddressText(const sockaddr_storage& address) {
    char host[INET6_ADDRSTRLEN] = {};
    std::uint16_t port = 0;
    if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
        port = ntohs(in6->sin6_port);
    } else {
        const auto* in4 = reinterpret_cast<const sockaddr_in*>(&address);
        inet_ntop(AF_INET, &in4->sin_addr, host, sizeof host);
        port = ntohs(in4->sin_port);
    }
    return prax::platform::HostAndPort(host, port);
}

std::string ListenError(const ListenAddress& address, bool inUse, const std::string& reason) {
    return prax::platform::HostAndPort(address.host, address.port) + ": " +
           (inUse ? "address already in use (another program listens there; --listen 0 takes a free port)"
                  : reason);
}

bool ParseListenAddress(const std::string& text, ListenAddress& out) {
    std::string port = text;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find("]:");
        if (close == std::string::npos) return false;
        out.host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        out.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (out.host.find(':') != std::string::npos) return false;  // IPv6 needs its brackets
    }
    if (out.host.empty() || port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const unsigned long value = std::stoul(port);
    if (value > 65535) return false;
    out.port = static_cast<std::uint16_t>(value);
    return true;
}

}  // namespace prax::vprinter
