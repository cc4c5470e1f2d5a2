// One phase of the soak test against a Server listening on 127.0.0.1:23, byte for byte against
// the records of a fresh start; soak_server.sh runs the phases and watches the process.
// Usage: soak_client queries <count> | junk | clients <count>

#include "query/query_rules.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// Ends the phase where got is not what was expected, bytes outside printable ASCII %-encoded:
// "KOLVAM?%0D".
static void Check(const std::string &what, const std::string &got, const std::string &expected) {
    if (got == expected)
        return;
    const QByteArray failure =
        QByteArray::fromStdString(what + " got \"" + got + "\", expected \"" + expected + "\"");
    std::printf("FAIL: %s\n", failure.toPercentEncoding(" \"(),:=?").constData());
    std::exit(1);
}

struct Client {
    int fd = -1;

    // A refused connect is retried: the service is starting, or between clients until its next
    // status poll. A reply is waited for `wait` at most.
    explicit Client(timeval wait = {5, 0}) {
        const sockaddr_in address{AF_INET, htons(23), {htonl(INADDR_LOOPBACK)}, {}};
        for (int refused = 0;; ++refused, ::close(fd), ::usleep(10'000)) {
            fd = ::socket(AF_INET, SOCK_STREAM, 0);
            if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
                break;
            if (errno != ECONNREFUSED || refused == 1000)
                Check("connect", std::strerror(errno), "a listener on port 23");
        }
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~Client() { ::close(fd); }

    bool send(const std::string &bytes) {
        return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }
    // What arrives up to the first CR, or all of it until the line stays quiet; less when the
    // service ends the connection.
    std::string receive(bool toCr = true) {
        std::string got;
        char buffer[65536];
        for (ssize_t n; !(toCr && got.find('\r') != std::string::npos) &&
                        (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            got.append(buffer, std::size_t(n));
        return got;
    }
    std::string ask(const std::string &query) { return send(query) ? receive() : ""; }
};

int main(int argc, char *argv[]) {
    const std::string phase = argc > 1 ? argv[1] : "";
    const std::size_t count = argc > 2 ? std::stoul(argv[2]) : 0;
    std::vector<std::string> queries, replies;
    std::ifstream records(KOLVA_DEFAULT_RECORDS);
    for (std::string record; std::getline(records, record) && !record.empty();) {
        queries.push_back(kolva::QueryCommand(int(queries.size())).toStdString());
        replies.push_back(record + '\r');
    }
    Check(KOLVA_DEFAULT_RECORDS, std::to_string(replies.size()) + " records", "17 records");

    if (phase == "queries") { // one connection, three spellings selecting the same record
        Client client;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string &query = queries[i % 17];
            const std::string spellings[] = {
                query, "  " + QString::fromStdString(query).toLower().toStdString() + "\r\n",
                query + "\r\n  "};
            Check(spellings[i / 17 % 3], client.ask(spellings[i / 17 % 3]), replies[i % 17]);
        }
    } else if (phase == "junk") {
        // Four 64 KiB chunks without a '?', then 0x00 and 0x80..0xFF alone and in queries: lone
        // CRs only, and still a query answered.
        Client client({0, 500'000});
        std::string junk(64 * 1024, '\0');
        for (std::size_t chunk = 0; chunk < 4; ++chunk) {
            for (std::size_t i = 0; i < junk.size(); ++i)
                junk[i] = char('?' + 1 + (i * 7919 + chunk) % 255);
            Check("64 KiB of junk", client.send(junk) ? "sent" : "the connection dropped", "sent");
        }
        const std::string crs = client.receive(false);
        Check("junk", crs.empty() ? "nothing" : crs, std::string(crs.size(), '\r'));
        for (int value = 0x80; value <= 0x100; ++value) {
            const std::string b(1, char(value)), &query = queries[std::size_t(value % 17)];
            for (const std::string &bad :
                 {b, b + query, std::string(query).insert(3, b), query + b + "\r\n"})
                Check(bad, client.ask(bad), "\r");
        }
        Check(queries[16], client.ask(queries[16]), replies[16]);
    } else if (phase == "clients") { // each after one that leaves early, resets or says nothing
        for (std::size_t cycle = 0; cycle < count; ++cycle) {
            {
                Client client;
                if (cycle % 4 < 2)
                    client.send(queries[cycle % 17]);
                const linger hard{cycle % 2 == 1, 0}; // on: the close sends a reset
                ::setsockopt(client.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            }
            // One that connected while the service was still taking the previous client is
            // reset with the listener: like any client, it tries again.
            std::string got;
            for (int turnedAway = 0; turnedAway < 5 && got.empty(); ++turnedAway)
                got = Client().ask(queries[cycle % 17] + "\r\n");
            Check(queries[cycle % 17], got, replies[cycle % 17]);
        }
    } else {
        Check("phase", phase, "queries, junk or clients");
    }
}
