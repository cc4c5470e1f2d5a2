// Drives a running Server over loopback the way a long day with badly behaved clients would: a
// long run of queries on one connection, a flood of junk, bytes outside ASCII, clients that
// vanish or reset, many short connections; then checks that the process kept its memory.
// Usage: soak_client <server-pid> [--no-memory-check]; the server listens on 127.0.0.1:23.
// Prints what it did; exit 0 when everything held. A sanitized server's memory is the
// sanitizer's to keep, hence the option.

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
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
#include <unistd.h>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int Entries = 17;
constexpr int LongRunQueries = 100'000;
constexpr int BaselineAfter = 1'000;
constexpr std::size_t JunkBytes = 1024 * 1024;
constexpr int Cycles = 50;
constexpr long RssGrowthLimitKiB = 4 * 1024;
constexpr auto ReplyLimit = 5s;
constexpr auto RelistenLimit = 5s; // the status poll listens again within about a second

// The records the window publishes at start-up; slave records differ only in the unit name.
const std::string MasterRecord =
    "REZU DOZURUZ UNIT, Kolva0_Master, C, T1=25.0, T2=25.1, T3=25.2, T4=25.3, T5=25.4, "
    "T6=25.5, T7=25.6, T8=25.7, T9=25.8, T10=25.9, T11=26.0, T12=26.1, T13=26.2, T14=26.3, "
    "T15=26.4, T16=26.5, Amb=26.6";
const std::string SlaveRecord =
    "REZU DOZURUZ UNIT, Kolva01, C, T1=32.0, T2=32.1, T3=32.2, T4=32.3, T5=32.4, T6=32.5, "
    "T7=32.6, T8=32.7, T9=32.8, T10=32.9, T11=33.0, T12=33.1, T13=33.2, T14=33.3, T15=33.4, "
    "T16=33.5, Amb=33.6";

constexpr int Port = 23;
pid_t g_server = 0;

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
    if (entry == 0)
        return "KOLVAM?";
    char text[16];
    std::snprintf(text, sizeof text, "KOLVAM%02d?", entry);
    return text;
}

std::string Reply(int entry) {
    if (entry == 0)
        return MasterRecord + '\r';
    std::string record = SlaveRecord;
    record.replace(record.find("01"), 2, Command(entry).substr(6, 2));
    return record + '\r';
}

// Non-printing bytes as \xNN, so a wrong reply reads clearly.
std::string Visible(std::string_view bytes) {
    std::string text;
    for (const unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7f) {
            text += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    return text;
}

void ReportMismatch(std::string_view what, std::string_view expected, std::string_view got) {
    const auto first = std::mismatch(expected.begin(), expected.end(), got.begin(), got.end());
    std::printf("  %.*s: first difference at byte %td\n    expected \"%s\"\n    got      \"%s\"\n",
                int(what.size()), what.data(), first.first - expected.begin(),
                Visible(expected).c_str(), Visible(got).c_str());
}

long StatusKiB(const char *field) {
    std::ifstream status("/proc/" + std::to_string(g_server) + "/status");
    const std::string prefix = std::string(field) + ':';
    for (std::string line; std::getline(status, line);)
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    Fail("no %s in /proc/%d/status", field, int(g_server));
}

double Seconds(Clock::duration elapsed) {
    return std::chrono::duration<double>(elapsed).count();
}

// One client connection; replies are split at their CR, so a stray byte shows in the next one.
class Client {
public:
    // Retries a refused connect until the service listens again, at most `limit`.
    explicit Client(Clock::duration limit = RelistenLimit) {
        const Clock::time_point start = Clock::now();
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(Port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        for (;;) {
            m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
            if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
                break;
            const int error = errno;
            ::close(m_fd);
            if (error != ECONNREFUSED || Clock::now() - start > limit)
                Fail("connect to 127.0.0.1:%d: %s", Port, std::strerror(error));
            std::this_thread::sleep_for(5ms);
        }
        m_waited = Clock::now() - start;
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;
    ~Client() { ::close(m_fd); }

    int fd() const { return m_fd; }
    Clock::duration waited() const { return m_waited; }

    // False when the service has reset the connection.
    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && (errno == ECONNRESET || errno == EPIPE))
                return false;
            if (sent < 0)
                Fail("send: %s", std::strerror(errno));
            bytes.remove_prefix(std::size_t(sent));
        }
        return true;
    }

    // Up to and including the next CR; nothing when the service ended the connection first.
    std::optional<std::string> reply() {
        const Clock::time_point deadline = Clock::now() + ReplyLimit;
        for (;;) {
            if (const std::size_t cr = m_pending.find('\r'); cr != std::string::npos) {
                std::string reply = m_pending.substr(0, cr + 1);
                m_pending.erase(0, cr + 1);
                return reply;
            }
            if (!receive(deadline))
                return std::nullopt;
        }
    }

    // Appends what arrives by the deadline; false when the service ended the connection.
    bool receive(Clock::time_point deadline) {
        pollfd ready{m_fd, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (::poll(&ready, 1, int(std::max<long>(left.count(), 0))) <= 0)
            Fail("no reply within %.0f s", Seconds(ReplyLimit));
        char buffer[4096];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == ECONNRESET)
            return false;
        if (got < 0)
            Fail("recv: %s", std::strerror(errno));
        m_pending.append(buffer, std::size_t(got));
        return got > 0;
    }

    // The next close sends a reset instead of an orderly end.
    void resetOnClose() {
        const linger abort{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }

    std::string takePending() { return std::exchange(m_pending, {}); }

private:
    int m_fd = -1;
    Clock::duration m_waited{};
    std::string m_pending;
};

// One query and its reply, on a connection that must stay up.
std::string Ask(Client &client, std::string_view query) {
    std::optional<std::string> got;
    if (!client.send(query) || !(got = client.reply()))
        Fail("the service ended the connection after \"%s\"", Visible(query.substr(0, 40)).c_str());
    return *got;
}

void ExpectAnswered(Client &client, int entry, std::string_view what) {
    const std::string got = Ask(client, Command(entry) + "\r\n");
    if (got != Reply(entry)) {
        ReportMismatch(what, Reply(entry), got);
        Fail("%.*s: wrong reply", int(what.size()), what.data());
    }
}

// Cases and line ends a client may use; all must select the same record.
std::string Spelling(const std::string &command, int variant) {
    std::string lower = command;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    switch (variant % 4) {
    case 0:
        return command;
    case 1:
        return lower + "\r\n";
    case 2:
        return "  " + lower.substr(0, 3) + command.substr(3) + "  ";
    default:
        return command + "\r\n  ";
    }
}

long LongRun() {
    const Clock::time_point start = Clock::now();
    Client client(10s); // the first connection also waits for the start-up
    long baselineKiB = 0;
    int wrong = 0;
    for (int i = 0; i < LongRunQueries; ++i) {
        const int entry = i % Entries;
        const std::string query = Spelling(Command(entry), i / Entries);
        const std::string got = Ask(client, query);
        if (got != Reply(entry) && ++wrong <= 3)
            ReportMismatch("query " + std::to_string(i) + " \"" + Visible(query) + "\"",
                           Reply(entry), got);
        if (i + 1 == BaselineAfter)
            baselineKiB = StatusKiB("VmRSS");
    }
    if (wrong > 0)
        Fail("%d wrong replies in %d queries on one connection", wrong, LongRunQueries);
    std::printf("%d queries on one connection, all answered exactly, in %.1f s; VmRSS after "
                "the first %d: %ld KiB\n",
                LongRunQueries, Seconds(Clock::now() - start), BaselineAfter, baselineKiB);
    return baselineKiB;
}

// A megabyte of random bytes, with no '?' so no read of it can be a query, sent while the
// replies are read; then the service must still answer on a new connection.
void Junk() {
    const Clock::time_point start = Clock::now();
    std::string junk(JunkBytes, '\0');
    std::mt19937 random(23);
    std::uniform_int_distribution<int> byte(0, 255);
    for (char &c : junk) {
        const int value = byte(random);
        c = value == '?' ? '!' : char(value);
    }
    {
        Client client;
        std::string_view left = junk;
        const Clock::time_point deadline = Clock::now() + 60s;
        // After the last byte, the replies have all come once the line stays quiet for a while.
        for (;;) {
            pollfd ready{client.fd(), short(POLLIN | (left.empty() ? 0 : POLLOUT)), 0};
            const int events = ::poll(&ready, 1, left.empty() ? 500 : 5000);
            if (events == 0 && left.empty())
                break;
            if (events <= 0 || Clock::now() > deadline)
                Fail("junk: stalled with %zu bytes unsent", left.size());
            if ((ready.revents & POLLIN) && !client.receive(deadline))
                Fail("junk: the service closed the connection");
            if (ready.revents & POLLOUT) {
                const ssize_t sent =
                    ::send(client.fd(), left.data(), std::min<std::size_t>(left.size(), 16 * 1024),
                           MSG_NOSIGNAL | MSG_DONTWAIT);
                if (sent < 0 && errno != EAGAIN)
                    Fail("junk: send: %s", std::strerror(errno));
                left.remove_prefix(std::size_t(std::max<ssize_t>(sent, 0)));
            }
        }
        const std::string replies = client.takePending();
        if (replies.empty() || replies.find_first_not_of('\r') != std::string::npos)
            Fail("junk: expected lone CRs, got \"%.200s\"", Visible(replies).c_str());
        std::printf("1 MiB of junk: %zu lone CRs back, nothing else, in %.1f s\n", replies.size(),
                    Seconds(Clock::now() - start));
    }
    Client next;
    ExpectAnswered(next, 0, "first query after the junk");
}

// Each of 0x00 and 0x80..0xFF alone and in or around a query: never a record.
void HighBytes() {
    Client client;
    int sent = 0;
    for (int value = 0x80; value <= 0x100; ++value) {
        const char b = char(value == 0x100 ? 0 : value);
        for (const std::string &query :
             {std::string(1, b), std::string(1, b) + "KOLVAM01?",
              "KOLVAM" + std::string(1, b) + "?", "kolvam?" + std::string(1, b) + "\r\n"}) {
            if (const std::string got = Ask(client, query); got != "\r") {
                ReportMismatch("\"" + Visible(query) + "\"", "\r", got);
                Fail("a query with byte 0x%02x was answered", value & 0xff);
            }
            ++sent;
        }
    }
    ExpectAnswered(client, 16, "query after the bytes outside ASCII");
    std::printf("%d queries with 0x00 or 0x80..0xFF in them: a lone CR each\n", sent);
}

// Clients that leave abruptly; each time the next client must be served. One that leaves
// before the service has even taken it lets the next one into the listener's backlog, which
// the service resets as it closes the listener to serve the first: like any client, retry.
void VanishingClients() {
    struct Leaving {
        const char *what;
        bool query;
        bool reset;
    };
    for (const Leaving &leaving : {Leaving{"leaves before its reply", true, false},
                                   Leaving{"resets after its query", true, true},
                                   Leaving{"resets without a word", false, true},
                                   Leaving{"connects and leaves silently", false, false}}) {
        {
            Client client;
            if (leaving.query)
                client.send("KOLVAM?\r\n");
            if (leaving.reset)
                client.resetOnClose();
        }
        int turnedAway = 0;
        for (;;) {
            Client next;
            std::optional<std::string> got;
            if (next.send("KOLVAM05?\r\n") && (got = next.reply())) {
                if (*got != Reply(5)) {
                    ReportMismatch("client after one that " + std::string(leaving.what), Reply(5),
                                   *got);
                    Fail("wrong reply after a client that %s", leaving.what);
                }
                break;
            }
            if (++turnedAway == 5)
                Fail("after a client that %s, 5 clients in a row were turned away", leaving.what);
        }
        std::printf("a client that %s: the next one was served (turned away %d times first)\n",
                    leaving.what, turnedAway);
    }
}

void ShortConnections() {
    const Clock::time_point start = Clock::now();
    Clock::duration longestWait{};
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        Client client;
        longestWait = std::max(longestWait, client.waited());
        ExpectAnswered(client, cycle % Entries, "cycle " + std::to_string(cycle));
    }
    std::printf("%d connect, query, leave cycles in %.1f s; longest wait to reconnect %.2f s\n",
                Cycles, Seconds(Clock::now() - start), Seconds(longestWait));
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

    const long baselineKiB = LongRun();
    std::printf("  VmRSS now %ld KiB\n", StatusKiB("VmRSS"));
    for (void (*phase)() : {Junk, HighBytes, VanishingClients, ShortConnections}) {
        phase();
        std::printf("  VmRSS now %ld KiB\n", StatusKiB("VmRSS"));
    }

    const long endKiB = StatusKiB("VmRSS");
    std::printf("VmRSS %ld KiB at the end, %+ld KiB since the first %d queries; VmHWM %ld KiB\n",
                endKiB, endKiB - baselineKiB, BaselineAfter, StatusKiB("VmHWM"));
    if (memoryCheck && endKiB - baselineKiB > RssGrowthLimitKiB)
        Fail("resident memory grew by %ld KiB (limit %ld KiB)", endKiB - baselineKiB,
             RssGrowthLimitKiB);
    return 0;
}
