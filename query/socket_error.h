#pragma once

#include "query/operation_error.h"

#include <QAbstractSocket>

// What failures are called when the operator is told about them.

namespace kolva {

// Failures of the query socket's own making, beside those the system's sockets report.
enum class SocketFault { WrongState, PortOutOfRange, PortOverflow, NotConnected, ReplyBacklog };

// The number and description of a failure of our own making.
OperationError socketError(SocketFault fault);

// The number and description of a failure reported by Qt's sockets: those a listen or a write
// can meet by name, any other as a failure of the network subsystem.
OperationError socketError(QAbstractSocket::SocketError error);

// The number and description of a bind or listen that failed with errno.
OperationError systemSocketError(int errnoValue);

// The number and description of a failed host name lookup, from the Windows Sockets number the
// resolver chose (11001 not found, 11002 temporary, 11003 fatal, 11004 no data, 10050 the
// system's); no description for any other number.
OperationError hostLookupError(int number);

} // namespace kolva
