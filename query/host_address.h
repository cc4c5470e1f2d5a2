#pragma once

#include "query/operator_messages.h"

#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// The host address shown to the operator, so they know where clients reach the simulator.

namespace kolva {

using Ipv4Address = std::array<std::uint8_t, 4>;

// The platform's resolver, injected so that every outcome can be tested.
class HostResolver {
public:
    virtual ~HostResolver() = default;
    // The local host name; nullopt on failure with a Windows Sockets error code in *error.
    virtual std::optional<QString> hostName(int *error) = 0;
    // The IPv4 addresses of a name, in the resolver's order; nullopt on failure with the
    // code chosen by meaning (11001 not found, 11002 temporary, 11003 fatal, 11004 no data).
    virtual std::optional<QList<Ipv4Address>> resolve(const QString &name, int *error) = 0;
    // The machine's IPv4 interface addresses, loopback ones included.
    virtual QList<Ipv4Address> interfaceAddresses() = 0;
};

// gethostname, getaddrinfo (IPv4 only) and the interface list of this machine.
class SystemHostResolver : public HostResolver {
public:
    std::optional<QString> hostName(int *error) override;
    std::optional<QList<Ipv4Address>> resolve(const QString &name, int *error) override;
    QList<Ipv4Address> interfaceAddresses() override;
};

// The host's address as dotted text: the last address its name resolves to; where all of
// them are loopback, the last non-loopback interface address instead, if there is one.
// "255.255.255.0" when the name resolves to nothing or fails to resolve (after a message);
// empty when the host name itself cannot be had (after a message).
QString GetHostIPAddress(HostResolver &resolver, MessageSink &messages);

} // namespace kolva
