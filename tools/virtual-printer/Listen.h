// The virtual printer's network side: a listening TCP socket that the download tool's network
// link connects to, one connection at a time.
#pragma once

#include <cstdint>
#include <string>

struct sockaddr_storage;

namespace prax::vprinter {

#ifdef _WIN32
using Socket = std::uintptr_t;  // a Winsock SOCKET
#else
using Socket = int;
#endif
inline constexpr Socket kNoSocket = static_cast<Socket>(-1);

struct ListenAddress {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;  // 0: any free port
};

// "PORT", "ADDR:PORT" or "[IPV6]:PORT". False when it is none of them.
bool ParseListenAddress(const std::string& text, ListenAddress& out);

// "host:port" of a socket's address (IPv6 in brackets), as getsockname gives it.
std::string AddressText(const sockaddr_storage& address);

// Why a listener could not be made on `address`: "host:port: " and `reason`, or the same words on
// every system when another program holds the address (Winsock has no text of its own for that
// under Wine, and its Windows text does not say what to do).
std::string ListenError(const ListenAddress& address, bool inUse, const std::string& reason);

// A non-blocking listening socket on `address`; kNoSocket with `error` set when it can't be made.
// `bound` is the address it took, "host:port" (IPv6 in brackets), with the real port.
// PosixListen.cpp and Win32Listen.cpp are its two forms.
Socket OpenListener(const ListenAddress& address, std::string& bound, std::string& error);

}  // namespace prax::vprinter
