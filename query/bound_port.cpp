#include "bound_port.h"

#include "socket_error.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kolva {

namespace {

// A new TCP socket bound to the address; -1 on failure, with errno telling why.
int boundSocket(const sockaddr *address, socklen_t size) {
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // As QTcpServer does: listening again while the last client's connection lingers in
    // TIME_WAIT must not meet "address in use".
    const int on = 1;
    const int off = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (address->sa_family == AF_INET6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    if (::bind(fd, address, size) == 0)
        return fd;
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
}

} // namespace

BoundPort bindTcpPort(quint16 port) {
    sockaddr_in6 any6{};
    any6.sin6_family = AF_INET6;
    any6.sin6_port = htons(port);
    any6.sin6_addr = in6addr_any;
    int fd = boundSocket(reinterpret_cast<const sockaddr *>(&any6), sizeof any6);
    if (fd < 0 && errno == EAFNOSUPPORT) {
        sockaddr_in any4{};
        any4.sin_family = AF_INET;
        any4.sin_port = htons(port);
        any4.sin_addr.s_addr = htonl(INADDR_ANY);
        fd = boundSocket(reinterpret_cast<const sockaddr *>(&any4), sizeof any4);
    }
    return {port, fd, fd < 0 ? systemSocketError(errno) : OperationError()};
}

} // namespace kolva
