#pragma once

#include "query/operation_error.h"

#include <QList>
#include <QString>

#include <array>
#include <cstdint>

// The host address shown to the operator, so they know where clients reach the simulator.

namespace kolva {

using Ipv4Address = std::array<std::uint8_t, 4>;

// The platform's resolver, injected so that every outcome can be tested. Each call that can fail
// returns false and keeps the failure, numbered as Windows Sockets numbers it, for lastError().
class HostResolver {
public:
    virtual ~HostResolver() = default;
    // The local host name.
    virtual bool hostName(QString *name) = 0;
    // The IPv4 addresses of a name, in the resolver's order; the code of a failure is chosen by
    // meaning (11001 not found, 11002 temporary, 11003 fatal, 11004 no data).
    virtual bool resolve(const QString &name, QList<Ipv4Address> *addresses) = 0;
    // The machine's IPv4 interface addresses, loopback ones included.
    virtual QList<Ipv4Address> interfaceAddresses() = 0;
    // The last failure, as hostLookupError() names it.
    virtual const OperationError &lastError() const = 0;
};

// gethostname, getaddrinfo (IPv4 only) and the interface list of this machine.
class SystemHostResolver : public HostResolver {
public:
    bool hostName(QString *name) override;
    bool resolve(const QString &name, QList<Ipv4Address> *addresses) override;
    QList<Ipv4Address> interfaceAddresses() override;
    const OperationError &lastError() const override { return m_lastError; }

private:
    OperationError m_lastError;
};

// Writes the host's address as dotted text to *address: the last address its name resolves to;
// where all of them are loopback, the last non-loopback interface address instead, if there is
// one; "255.255.255.0" when the name resolves to nothing. False when the host name cannot be
// had (*address is then empty) or does not resolve (*address is then "255.255.255.0"); the
// resolver's lastError() tells why.
bool lookUpHostAddress(HostResolver &resolver, QString *address);

} // namespace kolva
