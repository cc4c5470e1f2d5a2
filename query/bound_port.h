#pragma once

#include "query/operation_error.h"

#include <QtGlobal>

namespace kolva {

// A TCP port bound before the privilege to bind it was given up: listening on a bound socket
// needs no privilege, binding it does.
struct BoundPort {
    quint16 port = 0;
    int descriptor = -1;  // the bound socket, not listening yet; -1 where the bind failed
    OperationError error; // why the bind failed, reported at the first listen on the port
    bool attempted() const { return descriptor >= 0 || error.number != 0; }
};

// Binds a TCP socket to the port (not 0) on every local address, as QTcpServer binds
// QHostAddress::Any: IPv6 with IPv4 mapped, or IPv4 alone where the machine has no IPv6.
BoundPort bindTcpPort(quint16 port);

} // namespace kolva
