// The listening socket with the POSIX calls.
#include "tools/virtual-printer/Listen.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace prax::vprinter {

Socket OpenListener(const ListenAddress& address, std::string& bound, std::string& error) {
    struct addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    struct addrinfo* found = nullptr;
    const int rc = getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found);
    if (rc != 0) {
        error = address.host + ": " + gai_strerror(rc);
        return -1;
    }
    int fd = -1;
    for (const struct addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) continue;
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, 8) != 0) {
            const int e = errno;
            error = ListenError(address, e == EADDRINUSE, std::strerror(e));
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    if (fd < 0) return -1;

    struct sockaddr_storage ss {};
    socklen_t size = sizeof ss;
    getsockname(fd, reinterpret_cast<struct sockaddr*>(&ss), &size);
    bound = AddressText(ss);
    return fd;
}

}  // namespace prax::vprinter
