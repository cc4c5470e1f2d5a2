#include "socket_error.h"

// Numbers are the Windows Sockets codes that client developers of this installation already
// know (10048 address in use, 10013 permission denied, ...); a call made in the wrong state,
// for which those codes have no clear name, is 40006. The descriptions are our own.

namespace kolva {

namespace {
OperationError numbered(int number, const char *description) {
    return {number, QString::fromLatin1(description)};
}
} // namespace

OperationError socketError(SocketFault fault) {
    switch (fault) {
    case SocketFault::WrongState:
        break;
    case SocketFault::PortOutOfRange:
        return numbered(10022, "Invalid argument: the port must be 0 to 65535");
    case SocketFault::NotConnected:
        return numbered(10057, "Socket is not connected");
    case SocketFault::ReplyBacklog:
        return numbered(10055, "No buffer space available: the client does not read its replies");
    }
    return numbered(40006, "Operation not allowed in the socket's current state");
}

OperationError socketError(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return numbered(10048, "Address already in use");
    case QAbstractSocket::SocketAccessError:
        return numbered(10013, "Permission denied");
    case QAbstractSocket::SocketAddressNotAvailableError:
        return numbered(10049, "Address not available on this machine");
    case QAbstractSocket::SocketResourceError:
        return numbered(10055, "No buffer space available");
    case QAbstractSocket::UnsupportedSocketOperationError:
        return numbered(10045, "Operation not supported");
    case QAbstractSocket::ConnectionRefusedError:
        return numbered(10061, "Connection refused");
    case QAbstractSocket::RemoteHostClosedError:
        return numbered(10101, "Connection closed by the peer");
    case QAbstractSocket::SocketTimeoutError:
        return numbered(10060, "Connection timed out");
    case QAbstractSocket::DatagramTooLargeError:
        return numbered(10040, "Message too long");
    case QAbstractSocket::HostNotFoundError:
        return numbered(11001, "Host not found");
    default:
        return numbered(10050, "Network subsystem failure");
    }
}

} // namespace kolva
