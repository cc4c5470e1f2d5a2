// The floor the benchmark holds the simulator against: the same wire behaviour and nothing
// else. Blocking sockets, one client at a time, one reply per read: spaces trimmed, CR LF pairs
// removed, a to z upper-cased, the record and a CR for a known query, a lone CR otherwise.
// Usage: floor_server <port> (<query> <record>)...: each query is answered with the record after
// it. Listens on loopback until it is killed.

#include <arpa/inet.h>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <netinet/in.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string Cleaned(std::string_view received) {
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
    return query;
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc < 4 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: %s <port> (<query> <record>)...\n", argv[0]);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::map<std::string, std::string, std::less<>> replies;
    for (int query = 2; query + 1 < argc; query += 2)
        replies[argv[query]] = std::string(argv[query + 1]) + '\r';

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
    const std::string unknown = "\r";
    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0)
            continue;
        char buffer[64 * 1024];
        for (ssize_t got; (got = ::read(client, buffer, sizeof buffer)) > 0;) {
            const auto known = replies.find(Cleaned(std::string_view(buffer, std::size_t(got))));
            const std::string &reply = known == replies.end() ? unknown : known->second;
            if (::write(client, reply.data(), reply.size()) < 0)
                break;
        }
        ::close(client);
    }
}
