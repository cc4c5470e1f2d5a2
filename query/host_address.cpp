#include "host_address.h"

#include "socket_error.h"
#include "units/text.h"

#include <algorithm>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kolva {

namespace {

const QString FallbackAddress = QStringLiteral("255.255.255.0");

Ipv4Address addressBytes(const sockaddr *address) {
    Ipv4Address bytes{};
    const in_addr &inet = reinterpret_cast<const sockaddr_in *>(address)->sin_addr;
    std::memcpy(bytes.data(), &inet.s_addr, bytes.size()); // network order: first byte first
    return bytes;
}

bool isLoopback(const Ipv4Address &address) { return address[0] == 127; }

// "10.0.0.7" for the bytes 10, 0, 0, 7.
QString addressText(const Ipv4Address &address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address[0])
        .arg(address[1])
        .arg(address[2])
        .arg(address[3]);
}

} // namespace

bool SystemHostResolver::hostName(QString *name) {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer) != 0) {
        // Linux host names fit the buffer many times over: a failure is the system's.
        m_lastError = hostLookupError(10050);
        return false;
    }
    buffer[sizeof buffer - 1] = '\0';
    *name = QString::fromLocal8Bit(buffer);
    return true;
}

bool SystemHostResolver::resolve(const QString &name, QList<Ipv4Address> *addresses) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int status = getaddrinfo(name.toLocal8Bit().constData(), nullptr, &hints, &found);
    if (status != 0) {
        switch (status) {
        case EAI_NONAME:
            m_lastError = hostLookupError(11001);
            break;
        case EAI_AGAIN:
            m_lastError = hostLookupError(11002);
            break;
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
#endif
            m_lastError = hostLookupError(11004);
            break;
        default:
            m_lastError = hostLookupError(11003);
            break;
        }
        return false;
    }
    addresses->clear();
    for (const addrinfo *entry = found; entry; entry = entry->ai_next) // IPv4 only, as asked
        addresses->append(addressBytes(entry->ai_addr));
    freeaddrinfo(found);
    return true;
}

QList<Ipv4Address> SystemHostResolver::interfaceAddresses() {
    QList<Ipv4Address> addresses;
    ifaddrs *interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return addresses;
    for (const ifaddrs *entry = interfaces; entry; entry = entry->ifa_next)
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP))
            addresses.append(addressBytes(entry->ifa_addr));
    freeifaddrs(interfaces);
    return addresses;
}

bool lookUpHostAddress(HostResolver &resolver, QString *address) {
    address->clear();
    QString name;
    if (!resolver.hostName(&name))
        return false;
    QList<Ipv4Address> addresses;
    if (!resolver.resolve(trimSpaces(name).toString(), &addresses)) {
        *address = FallbackAddress;
        return false;
    }
    if (addresses.isEmpty()) {
        *address = FallbackAddress;
        return true;
    }
    // The label tells the operator where clients reach the simulator. Debian-like systems
    // resolve the host name to 127.0.1.1, which no other machine can reach: show the last
    // interface address that others can reach instead, where there is one.
    if (std::all_of(addresses.begin(), addresses.end(), isLoopback)) {
        const QList<Ipv4Address> interfaces = resolver.interfaceAddresses();
        const auto reachable = std::find_if(interfaces.rbegin(), interfaces.rend(),
                                            [](const Ipv4Address &a) { return !isLoopback(a); });
        if (reachable != interfaces.rend()) {
            *address = addressText(*reachable);
            return true;
        }
    }
    *address = addressText(addresses.last());
    return true;
}

} // namespace kolva
