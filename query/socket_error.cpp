#include "socket_error.h"

// Numbers are the Windows Sockets codes that client developers of this installation already
// know (10048 address in use, 10013 permission denied, ...); a call made in the wrong state,
// for which those codes have no clear name, is 40006. The descriptions are our own.

namespace kolva {

namespace {
OperationError Error(int number, const char *description) {
    return {number, QString::fromLatin1(description)};
}
} // namespace

OperationError SocketFaultError(SocketFault fault) {
    switch (fault) {
    case SocketFault::WrongState:
        return Error(40006, "Operation not allowed in the socket's current state");
    case SocketFault::PortOutOfRange:
        return Error(10022, "Invalid argument: the port must be 0 to 65535");
    case SocketFault::NotConnected:
        return Error(10057, "Socket is not connected");
    case SocketFault::ReplyBacklog:
        return Error(10055, "No buffer space available: the client does not read its replies");
    }
    return Error(40006, "Operation not allowed in the socket's current state");
}

OperationError SocketFaultError(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return Error(10048, "Address already in use");
    case QAbstractSocket::SocketAccessError:
        return Error(10013, "Permission denied");
    case QAbstractSocket::SocketAddressNotAvailableError:
        return Error(10049, "Address not available on this machine");
    case QAbstractSocket::SocketResourceError:
        return Error(10055, "No buffer space available");
    case QAbstractSocket::UnsupportedSocketOperationError:
        return Error(10045, "Operation not supported");
    case QAbstractSocket::ConnectionRefusedError:
        return Error(10061, "Connection refused");
    case QAbstractSocket::RemoteHostClosedError:
        return Error(10101, "Connection closed by the peer");
    case QAbstractSocket::SocketTimeoutError:
        return Error(10060, "Connection timed out");
    case QAbstractSocket::DatagramTooLargeError:
        return Error(10040, "Message too long");
    case QAbstractSocket::HostNotFoundError:
        return Error(11001, "Host not found");
    default:
        return Error(10050, "Network subsystem failure");
    }
}

} // namespace kolva
