#pragma once

#include "query/operation_error.h"

#include <QAbstractSocket>

// What the query socket's failures are called when the operator is told about them.

namespace kolva {

// Failures of the query socket's own making, beside those the system's sockets report.
enum class SocketFault { WrongState, PortOutOfRange, NotConnected, ReplyBacklog };

// The number and description of a failure of our own making.
OperationError socketError(SocketFault fault);

// The number and description of a failure reported by Qt's sockets.
OperationError socketError(QAbstractSocket::SocketError error);

} // namespace kolva
