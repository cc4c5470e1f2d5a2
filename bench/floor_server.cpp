// The floor the benchmark holds the simulator against: the same wire behaviour and nothing
// else. Blocking sockets, one client at a time, one reply per read: spaces trimmed, CR LF pairs
// removed, a to z upper-cased, the record and a CR for a known query, a lone CR otherwise.
// Usage: floor_server <port>. Listens on loopback until it is killed.

#include "wire.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string Answer(std::string_view received,
                   const std::array<std::string, bench::Entries> &replies) {
    while (!received.empty() && received.front() == ' ')
        received.remove_prefix(1);
    while (!received.empty() && received.back() == ' ')
        received.remove_suffix(1);
    std::string query;
    for (std::size_t i = 0; i < received.size(); ++i) {
        if (received[i] == '\r' && i + 1 < received.size() && received[i + 1] == '\n') {
            ++i;
            continue;
        }
        const char c = received[i];
        query += c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
    }
    for (int entry = 0; entry < bench::Entries; ++entry)
        if (query == bench::Command(entry))
            return replies[std::size_t(entry)];
    return "\r";
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <port>\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::array<std::string, bench::Entries> replies;
    for (int entry = 0; entry < bench::Entries; ++entry)
        replies[std::size_t(entry)] = bench::Record(entry) + '\r';

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0) {
        std::perror("floor_server: listen");
        return 1;
    }
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        char buffer[64 * 1024];
        for (ssize_t got; (got = ::read(client, buffer, sizeof buffer)) > 0;) {
            const std::string reply = Answer(std::string_view(buffer, std::size_t(got)), replies);
            if (::write(client, reply.data(), reply.size()) < 0)
                break;
        }
        ::close(client);
    }
}
