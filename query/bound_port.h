#pragma once

#include <QtGlobal>

namespace kolva {

// A TCP socket bound to the port on every local address (IPv6 with IPv4 mapped, or IPv4 alone
// where the machine has no IPv6), as QTcpServer binds QHostAddress::Any, but not listening yet:
// binding a privileged port needs a privilege that listening on the bound socket does not. The
// descriptor, or -1 where the port cannot be bound (no privilege, taken).
int bindTcpPort(quint16 port);

} // namespace kolva
