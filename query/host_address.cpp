#include "host_address.h"

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

Ipv4Address AddressBytes(const sockaddr *address) {
    Ipv4Address bytes{};
    const in_addr &inet = reinterpret_cast<const sockaddr_in *>(address)->sin_addr;
    std::memcpy(bytes.data(), &inet.s_addr, bytes.size()); // network order: first byte first
    return bytes;
}

bool IsLoopback(const Ipv4Address &address) { return address[0] == 127; }

// Message for a Windows Sockets error code; empty text for a code outside the table.
QString SocketErrorMessage(int code) {
    switch (code) {
    case 10004:
        return QStringLiteral(
            "A blocking Windows Socket 1.1 call was canceled through WSACancelBlockingCall.");
    case 10014:
        return QStringLiteral("The name parameter is not a valid part of the user address space.");
    case 10036:
        return QStringLiteral("A blocking Windows Sockets 1.1 call is in progress, or the "
                              "service provider is still processing a callback function.");
    case 10050:
        return QStringLiteral("The network subsystem has failed.");
    case 10093:
        return QStringLiteral(
            "A successful WSAStartup call must occur before using this function.");
    case 11001:
        return QStringLiteral("Authoritative answer host not found.");
    case 11002:
        return QStringLiteral("Nonauthoritative host not found, or server failure.");
    case 11003:
        return QStringLiteral("A nonrecoverable error occurred.");
    case 11004:
        return QStringLiteral("Valid name, no data record of requested type.");
    default:
        return QString();
    }
}

void ShowSocketError(int code, MessageSink &messages) {
    messages.showMessage(SocketErrorMessage(code), MessageSink::Icon::Exclamation);
}

// "10.0.0.7" for the bytes 10, 0, 0, 7.
QString AddressText(const Ipv4Address &address) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(address[0])
        .arg(address[1])
        .arg(address[2])
        .arg(address[3]);
}

} // namespace

std::optional<QString> SystemHostResolver::hostName(int *error) {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer) != 0) {
        // Linux host names fit the buffer many times over: a failure is the system's.
        *error = 10050;
        return std::nullopt;
    }
    buffer[sizeof buffer - 1] = '\0';
    return QString::fromLocal8Bit(buffer);
}

std::optional<QList<Ipv4Address>> SystemHostResolver::resolve(const QString &name, int *error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int status = getaddrinfo(name.toLocal8Bit().constData(), nullptr, &hints, &found);
    if (status != 0) {
        switch (status) {
        case EAI_NONAME:
            *error = 11001;
            break;
        case EAI_AGAIN:
            *error = 11002;
            break;
#ifdef EAI_NODATA
        case EAI_NODATA:
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY:
#endif
            *error = 11004;
            break;
        default:
            *error = 11003;
            break;
        }
        return std::nullopt;
    }
    QList<Ipv4Address> addresses;
    for (const addrinfo *entry = found; entry; entry = entry->ai_next) // IPv4 only, as asked
        addresses.append(AddressBytes(entry->ai_addr));
    freeaddrinfo(found);
    return addresses;
}

QList<Ipv4Address> SystemHostResolver::interfaceAddresses() {
    QList<Ipv4Address> addresses;
    ifaddrs *interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return addresses;
    for (const ifaddrs *entry = interfaces; entry; entry = entry->ifa_next)
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP))
            addresses.append(AddressBytes(entry->ifa_addr));
    freeifaddrs(interfaces);
    return addresses;
}

QString GetHostIPAddress(HostResolver &resolver, MessageSink &messages) {
    int error = 0;
    const std::optional<QString> name = resolver.hostName(&error);
    if (!name) {
        ShowSocketError(error, messages);
        return QString();
    }
    const std::optional<QList<Ipv4Address>> addresses =
        resolver.resolve(TrimSpaces(*name).toString(), &error);
    if (!addresses) {
        ShowSocketError(error, messages);
        return FallbackAddress;
    }
    if (addresses->isEmpty())
        return FallbackAddress;
    // The label tells the operator where clients reach the simulator. Debian-like systems
    // resolve the host name to 127.0.1.1, which no other machine can reach: show the last
    // interface address that others can reach instead, where there is one.
    if (std::all_of(addresses->begin(), addresses->end(), IsLoopback)) {
        const QList<Ipv4Address> interfaces = resolver.interfaceAddresses();
        const auto reachable = std::find_if(interfaces.rbegin(), interfaces.rend(),
                                            [](const Ipv4Address &a) { return !IsLoopback(a); });
        if (reachable != interfaces.rend())
            return AddressText(*reachable);
    }
    return AddressText(addresses->last());
}

} // namespace kolva
