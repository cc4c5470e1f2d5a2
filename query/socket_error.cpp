#include "socket_error.h"

#include <cerrno>

// Numbers are the Windows Sockets codes that client developers of this installation already
// know (10048 address in use, 10013 permission denied, ...); a call made in the wrong state,
// for which those codes have no clear name, is 40006, and a port past 32 bits is the
// installation's own "6 Overflow". The socket descriptions are our own; the host lookup's are
// the installation's.

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
    case SocketFault::PortOverflow:
        return numbered(6, "Overflow");
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
    default:
        return numbered(10050, "Network subsystem failure");
    }
}

OperationError systemSocketError(int errnoValue) {
    return socketError(errnoValue == EADDRINUSE ? QAbstractSocket::AddressInUseError
                       : errnoValue == EACCES   ? QAbstractSocket::SocketAccessError
                                                : QAbstractSocket::UnknownSocketError);
}

OperationError hostLookupError(int number) {
    switch (number) {
    case 11001:
        return numbered(number, "Authoritative answer host not found.");
    case 11002:
        return numbered(number, "Nonauthoritative host not found, or server failure.");
    case 11003:
        return numbered(number, "A nonrecoverable error occurred.");
    case 11004:
        return numbered(number, "Valid name, no data record of requested type.");
    case 10050:
        return numbered(number, "The network subsystem has failed.");
    default:
        return {number, QString()};
    }
}

} // namespace kolva
