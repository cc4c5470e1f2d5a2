// Drives a running Server over loopback the way a long day with badly behaved clients would: a
// long run of queries on one connection, a flood of junk, bytes outside ASCII, clients that
// vanish or reset, many short connections; then checks that the process kept its memory.
// Usage: soak_client <server-pid> [--no-memory-check]; the server listens on 127.0.0.1:23.
// Prints what it did; exit 0 when everything held. A sanitized server's memory is the
// sanitizer's to keep, hence the option.

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int Entries = 17, BaselineAfter = 1'000;
constexpr long RssGrowthLimitKiB = 4 * 1024;
pid_t g_server = 0;
long g_baselineKiB = 0;

// The records the window publishes at start-up; slave records differ only in the unit name.
const std::string MasterRecord =
    "REZU DOZURUZ UNIT, Kolva0_Master, C, T1=25.0, T2=25.1, T3=25.2, T4=25.3, T5=25.4, "
    "T6=25.5, T7=25.6, T8=25.7, T9=25.8, T10=25.9, T11=26.0, T12=26.1, T13=26.2, T14=26.3, "
    "T15=26.4, T16=26.5, Amb=26.6";
const std::string SlaveRecord =
    "REZU DOZURUZ UNIT, Kolva01, C, T1=32.0, T2=32.1, T3=32.2, T4=32.3, T5=32.4, T6=32.5, "
    "T7=32.6, T8=32.7, T9=32.8, T10=32.9, T11=33.0, T12=33.1, T13=33.2, T14=33.3, T15=33.4, "
    "T16=33.5, Amb=33.6";

[[noreturn]] void Fail(const char *format, ...) {
    std::va_list args;
    va_start(args, format);
    std::fputs("FAIL: ", stdout);
    std::vprintf(format, args);
    va_end(args);
    std::printf(" (server %s)\n", ::kill(g_server, 0) == 0 ? "still running" : "is gone");
    std::exit(1);
}

std::string Command(int entry) {
    return entry == 0 ? "KOLVAM?" : "KOLVAM" + std::to_string(100 + entry).substr(1) + '?';
}

std::string Reply(int entry) {
    std::string record = entry == 0 ? MasterRecord : SlaveRecord;
    if (entry > 0)
        record.replace(record.find("01"), 2, Command(entry).substr(6, 2));
    return record + '\r';
}

// Non-printing bytes as \xNN, so a wrong reply reads clearly.
std::string Visible(std::string_view bytes) {
    std::string text;
    for (const unsigned char c : bytes) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c >= 0x20 && c < 0x7f ? "%c" : "\\x%02x", c);
        text += escaped;
    }
    return text;
}

long StatusKiB(const char *field) {
    std::ifstream status("/proc/" + std::to_string(g_server) + "/status");
    const std::string prefix = std::string(field) + ':';
    for (std::string line; std::getline(status, line);)
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    Fail("no %s in /proc/%d/status", field, int(g_server));
}

// One client connection. Replies are split at their CR, so a stray byte shows in the next one.
struct Client {
    int fd = -1;
    std::string pending;

    // Retries a refused connect until the service listens again (the status poll does so
    // within about a second), at most `limit`.
    explicit Client(Clock::duration limit = 5s) {
        const sockaddr_in address{AF_INET, htons(23), {htonl(INADDR_LOOPBACK)}, {}};
        for (const Clock::time_point start = Clock::now();; std::this_thread::sleep_for(5ms)) {
            fd = ::socket(AF_INET, SOCK_STREAM, 0);
            if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
                break;
            const int error = errno;
            ::close(fd);
            if (error != ECONNREFUSED || Clock::now() - start > limit)
                Fail("connect to 127.0.0.1:23: %s", std::strerror(error));
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;
    ~Client() { ::close(fd); }

    // False when the service has reset the connection.
    bool send(std::string_view bytes) {
        for (ssize_t sent = 0; !bytes.empty(); bytes.remove_prefix(std::size_t(sent)))
            if ((sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) < 0) {
                if (errno == ECONNRESET || errno == EPIPE)
                    return false;
                Fail("send: %s", std::strerror(errno));
            }
        return true;
    }

    // Appends what arrives by the deadline; false when the service ended the connection.
    bool receive(Clock::time_point deadline) {
        pollfd ready{fd, POLLIN, 0};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (::poll(&ready, 1, int(std::max<long>(left.count(), 0))) <= 0)
            Fail("no reply in time");
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno != ECONNRESET)
            Fail("recv: %s", std::strerror(errno));
        pending.append(buffer, std::size_t(std::max<ssize_t>(got, 0)));
        return got > 0;
    }

    // The query, then its reply up to and including the CR; nothing when the service ended
    // the connection first.
    std::optional<std::string> ask(std::string_view query) {
        const Clock::time_point deadline = Clock::now() + 5s;
        if (!send(query))
            return std::nullopt;
        std::size_t cr;
        while ((cr = pending.find('\r')) == std::string::npos)
            if (!receive(deadline))
                return std::nullopt;
        std::string reply = pending.substr(0, cr + 1);
        pending.erase(0, cr + 1);
        return reply;
    }
};

// One query on a connection that must stay up, and its exact reply.
void Expect(Client &client, std::string_view query, const std::string &reply,
            const std::string &what) {
    const std::optional<std::string> got = client.ask(query);
    if (got != reply)
        Fail("%s: \"%s\" got \"%s\", expected \"%s\"", what.c_str(), Visible(query).c_str(),
             got ? Visible(*got).c_str() : "the connection ended", Visible(reply).c_str());
}

void LongRun() {
    Client client(10s); // the first connection also waits for the start-up
    for (int i = 0; i < 100'000; ++i) {
        const int entry = i % Entries;
        const std::string command = Command(entry), lower = "kolvam" + command.substr(6);
        // Cases, blanks and line ends a client may use; all select the same record.
        const std::string spellings[] = {command, lower + "\r\n",
                                         "  " + lower.substr(0, 3) + command.substr(3) + "  ",
                                         command + "\r\n  "};
        Expect(client, spellings[i / Entries % 4], Reply(entry), "query " + std::to_string(i));
        if (i + 1 == BaselineAfter)
            g_baselineKiB = StatusKiB("VmRSS");
    }
    std::printf("100000 queries on one connection answered exactly\n");
}

// A megabyte of random bytes, with no '?' so no read of it can be a query, sent while the
// replies are read; then the service must still answer on a new connection.
void Junk() {
    std::string junk(1024 * 1024, '\0');
    std::mt19937 random(23);
    for (char &c : junk)
        c = char(random() % 255 + '?' + 1); // any byte but '?'

    {
        Client client;
        std::atomic<bool> sent = false;
        std::thread writer([&] {
            if (!client.send(junk))
                Fail("junk: the service reset the connection");
            sent = true;
        });
        // After the last byte, the replies have all come once the line stays quiet for a while.
        const Clock::time_point deadline = Clock::now() + 60s;
        for (pollfd ready{client.fd, POLLIN, 0}; ::poll(&ready, 1, 500) > 0 || !sent;) {
            if (Clock::now() > deadline)
                Fail("junk: stalled");
            if ((ready.revents & POLLIN) && !client.receive(deadline))
                Fail("junk: the service closed the connection");
        }
        writer.join();
        if (client.pending.empty() || client.pending.find_first_not_of('\r') != std::string::npos)
            Fail("junk: expected lone CRs, got \"%.200s\"", Visible(client.pending).c_str());
        std::printf("1 MiB of junk: %zu lone CRs back, nothing else\n", client.pending.size());
    }
    Client next;
    Expect(next, "KOLVAM?\r\n", Reply(0), "first query after the junk");
}

// 0x00 and each of 0x80..0xFF, alone and in or around a query: a lone CR, never a record.
void HighBytes() {
    Client client;
    for (int value = 0x80; value <= 0x100; ++value) {
        const std::string b(1, char(value & 0xff));
        for (const std::string &query :
             {b, b + "KOLVAM01?", "KOLVAM" + b + "?", "kolvam?" + b + "\r\n"})
            Expect(client, query, "\r", "a byte outside ASCII");
    }
    Expect(client, "KOLVAM16?\r\n", Reply(16), "query after the bytes outside ASCII");
    std::printf("%d queries with 0x00 or 0x80..0xFF in them: a lone CR each\n", 129 * 4);
}

// Clients that leave abruptly; each time the next client must be served. One that leaves
// before the service has even taken it lets the next one into the listener's backlog, which
// the service resets as it closes the listener to serve the first: like any client, retry.
void VanishingClients() {
    for (const auto &[what, query, reset] : {std::tuple{"leaves before its reply", true, false},
                                             {"resets after its query", true, true},
                                             {"resets without a word", false, true},
                                             {"connects and leaves silently", false, false}}) {
        {
            Client client;
            if (query)
                client.send("KOLVAM?\r\n");
            const linger hard{reset, 0}; // on: the close sends a reset
            ::setsockopt(client.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        }
        int turnedAway = 0;
        std::optional<std::string> got;
        while (!(got = Client().ask("KOLVAM05?\r\n")) && ++turnedAway < 5) {
        }
        if (got != Reply(5))
            Fail("after a client that %s: \"%s\"", what,
                 got ? Visible(*got).c_str() : "5 clients in a row turned away");
        std::printf("a client that %s: the next one was served (turned away %d times first)\n",
                    what, turnedAway);
    }
}

void ShortConnections() {
    for (int cycle = 0; cycle < 50; ++cycle) {
        Client client;
        Expect(client, Command(cycle % Entries) + "\r\n", Reply(cycle % Entries),
               "cycle " + std::to_string(cycle));
    }
    std::printf("50 connect, query, leave cycles answered exactly\n");
}

} // namespace

int main(int argc, char *argv[]) {
    const bool memoryCheck = argc == 2;
    if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--no-memory-check") != 0)) {
        std::fprintf(stderr, "usage: %s <server-pid> [--no-memory-check]\n", argv[0]);
        return 2;
    }
    g_server = pid_t(std::atoi(argv[1]));
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);

    for (void (*phase)() : {LongRun, Junk, HighBytes, VanishingClients, ShortConnections}) {
        const Clock::time_point start = Clock::now();
        phase();
        std::printf("  %.1f s; VmRSS now %ld KiB\n",
                    std::chrono::duration<double>(Clock::now() - start).count(),
                    StatusKiB("VmRSS"));
    }
    const long growthKiB = StatusKiB("VmRSS") - g_baselineKiB;
    std::printf("VmRSS %+ld KiB since the first %d queries (%ld KiB); VmHWM %ld KiB\n", growthKiB,
                BaselineAfter, g_baselineKiB, StatusKiB("VmHWM"));
    if (memoryCheck && growthKiB > RssGrowthLimitKiB)
        Fail("resident memory grew by %ld KiB (limit %ld KiB)", growthKiB, RssGrowthLimitKiB);
    return 0;
}
