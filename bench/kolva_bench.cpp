// The simulator's figures: query round trips over one loopback connection against the running
// Server and against the raw-socket floor, time from process start until the port accepts,
// memory, and the cost of one ramp step, by the rules alone and with the real window. Prints
// figures, judges nothing.
// Usage: kolva_bench <Server> <floor_server>; bench/run.sh runs it in a private network
// namespace, where the Server may take port 23.

#include "query/query_rules.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int ServerPort = 23;
constexpr int FloorPort = 2323;
constexpr int Rounds = 7;
constexpr int WarmUpQueries = 2'000;
constexpr int QueriesPerRound = 20'000;
constexpr int StartRounds = 7;
constexpr int RampStepsPerRound = 1'000;
constexpr int TurnsPerRound = 100;

// A reading bank of plain texts at the window's defaults, for the rules alone.
struct PlainBank : kolva::BankFields {
    explicit PlainBank(double first) {
        for (int i = 0; i < kolva::ReadingCount; ++i)
            readings << QString::number(first + i / 10.0, 'f', 1);
    }
    QString reading(int index) const override { return readings[index]; }
    void setReading(int index, const QString &text) override { readings[index] = text; }
    QString setAllText() const override { return QString(); }
    QString incrementText() const override { return QString(); }
    void setEditMarker(bool) override {}
    QStringList readings;
};

// Both banks published as at start-up, and a ramp that steps at every tick.
struct PlainConsole : kolva::RampControls {
    PlainBank master{25.0};
    PlainBank slave{32.0};
    kolva::ResponseTable table;
    kolva::Installation installation{master, slave, table};

    PlainConsole() {
        installation.commit(kolva::Bank::Master);
        installation.commit(kolva::Bank::Slave);
    }
    QString secondsText() const override { return QStringLiteral("0"); }
    QString amountText() const override { return QStringLiteral("1"); }
    bool rampEnabled() const override { return true; }
};

// The records of a fresh start, as clients are answered by Server and by the floor.
std::vector<std::string> FreshRecords() {
    const PlainConsole console;
    std::vector<std::string> records;
    for (int entry = 0; entry < kolva::EntryCount; ++entry)
        records.push_back(console.table.record(entry).toStdString());
    return records;
}

// The floor serves the records of a fresh start for the simulator's own query texts.
std::vector<std::string> FloorArguments() {
    std::vector<std::string> arguments{std::to_string(FloorPort)};
    const std::vector<std::string> records = FreshRecords();
    for (int entry = 0; entry < kolva::EntryCount; ++entry) {
        arguments.push_back(kolva::queryCommand(entry).toStdString());
        arguments.push_back(records[std::size_t(entry)]);
    }
    return arguments;
}

// Thrown, so that the servers started so far are ended on the way out.
[[noreturn]] void Fail(const std::string &what) { throw std::runtime_error(what); }

double Micro(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Percentile(const std::vector<double> &sorted, double p) {
    return sorted[std::min(sorted.size() - 1, std::size_t(p * double(sorted.size())))];
}

// A child process of ours, ended by its id when this object goes.
class Child {
public:
    Child(const std::string &program, const std::vector<std::string> &arguments, bool offscreen) {
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        std::vector<std::string> env;
        for (char **entry = environ; *entry; ++entry)
            if (std::strncmp(*entry, "QT_QPA_PLATFORM=", 16) != 0)
                env.emplace_back(*entry);
        if (offscreen)
            env.emplace_back("QT_QPA_PLATFORM=offscreen");
        std::vector<char *> envp;
        for (std::string &entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        if (::posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, argv.data(), envp.data()))
            Fail("cannot start " + program);
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }

    long statusKiB(const char *field) const {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        const std::string prefix = std::string(field) + ':';
        for (std::string line; std::getline(status, line);)
            if (line.rfind(prefix, 0) == 0)
                return std::stol(line.substr(prefix.size()));
        return -1;
    }

private:
    pid_t m_pid = 0;
};

// One client connection on loopback.
class Client {
public:
    // Retries a refused connect every 0.2 ms, for at most ten seconds.
    explicit Client(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(std::uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const Clock::time_point deadline = Clock::now() + 10s;
        for (;;) {
            m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
            if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
                break;
            const int error = errno;
            ::close(m_fd);
            if (error != ECONNREFUSED || Clock::now() > deadline)
                Fail("no listener on port " + std::to_string(port));
            std::this_thread::sleep_for(200us);
        }
        const int on = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;
    ~Client() { ::close(m_fd); }

    // Sends one query and reads its reply through the CR; true when it is the expected one.
    bool roundTrip(const std::string &query, const std::string &expected) {
        if (::send(m_fd, query.data(), query.size(), MSG_NOSIGNAL) != ssize_t(query.size()))
            Fail("send failed");
        std::size_t have = 0;
        while (have == 0 || m_buffer[have - 1] != '\r') {
            const ssize_t got = ::recv(m_fd, m_buffer + have, sizeof m_buffer - have, 0);
            if (got <= 0)
                Fail("connection lost");
            have += std::size_t(got);
        }
        return std::string_view(m_buffer, have) == expected;
    }

private:
    int m_fd = -1;
    char m_buffer[4096];
};

struct RoundFigures {
    double p50 = 0, p99 = 0, qps = 0; // microseconds, microseconds, queries per second
    long wrong = 0;
};

// Cycles through the seventeen queries as a polling client does, one at a time.
RoundFigures MeasureRound(Client &client, int queries) {
    std::vector<std::string> asks, replies;
    const std::vector<std::string> records = FreshRecords();
    for (int entry = 0; entry < kolva::EntryCount; ++entry) {
        asks.push_back(kolva::queryCommand(entry).toStdString() + "\r\n");
        replies.push_back(records[std::size_t(entry)] + '\r');
    }
    RoundFigures figures;
    std::vector<double> latencies;
    latencies.reserve(std::size_t(queries));
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < queries; ++i) {
        const std::size_t entry = std::size_t(i % kolva::EntryCount);
        const Clock::time_point sent = Clock::now();
        if (!client.roundTrip(asks[entry], replies[entry]))
            ++figures.wrong;
        latencies.push_back(Micro(Clock::now() - sent));
    }
    figures.qps = queries / (Micro(Clock::now() - start) / 1e6);
    std::sort(latencies.begin(), latencies.end());
    figures.p50 = Percentile(latencies, 0.50);
    figures.p99 = Percentile(latencies, 0.99);
    return figures;
}

struct Target {
    const char *name;
    Client &client;
    std::vector<double> p50, p99, qps;
    long wrong = 0;

    void measure(int queries) {
        const RoundFigures figures = MeasureRound(client, queries);
        p50.push_back(figures.p50);
        p99.push_back(figures.p99);
        qps.push_back(figures.qps);
        wrong += figures.wrong;
    }
};

// Milliseconds from spawning the program until its port first accepts a connection.
double StartToAccept(const std::string &program, const std::vector<std::string> &arguments,
                     int port, bool offscreen) {
    const Clock::time_point start = Clock::now();
    Child child(program, arguments, offscreen);
    Client probe(port);
    return Micro(Clock::now() - start) / 1000;
}

// Where the client and the servers run. Left to the scheduler, the placement changes from run
// to run and moves the floor itself by half; pinned, both servers are measured alike.
struct Placement {
    const char *what;
    int serverCpu;
    int clientCpu;
};

void PinTo(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (::sched_setaffinity(0, sizeof set, &set) != 0)
        Fail("cannot run on CPU " + std::to_string(cpu));
}

void RoundTrips(const std::string &server, const std::string &floor, const Placement &placement,
                bool showMemory) {
    PinTo(placement.serverCpu); // the servers inherit it
    Child serverProcess(server, {}, true);
    Child floorProcess(floor, FloorArguments(), false);
    PinTo(placement.clientCpu);
    Client serverClient(ServerPort);
    Client floorClient(FloorPort);
    Target targets[] = {{"floor", floorClient, {}, {}, {}}, {"Server", serverClient, {}, {}, {}}};
    for (Target &target : targets)
        MeasureRound(target.client, WarmUpQueries);
    // Alternating rounds spread any drift of the machine over both.
    for (int round = 0; round < Rounds; ++round)
        for (Target &target : targets)
            target.measure(QueriesPerRound);

    const Target &base = targets[0];
    std::printf("\nQuery round trips on one loopback connection, %s\n(%d rounds of %d, "
                "medians)\n",
                placement.what, Rounds, QueriesPerRound);
    std::printf("  %-8s %9s %9s %11s %8s %8s %8s %6s\n", "", "p50 us", "p99 us", "queries/s",
                "p50 x", "p99 x", "q/s x", "wrong");
    for (const Target &target : targets)
        std::printf("  %-8s %9.1f %9.1f %11.0f %8.2f %8.2f %8.2f %6ld\n", target.name,
                    Median(target.p50), Median(target.p99), Median(target.qps),
                    Median(target.p50) / Median(base.p50), Median(target.p99) / Median(base.p99),
                    Median(target.qps) / Median(base.qps), target.wrong);
    if (!showMemory)
        return;
    std::printf("\nMemory after %d queries each\n", WarmUpQueries + Rounds * QueriesPerRound);
    std::printf("  Server (offscreen)  VmHWM %6ld KiB   VmRSS %6ld KiB\n",
                serverProcess.statusKiB("VmHWM"), serverProcess.statusKiB("VmRSS"));
    std::printf("  floor               VmHWM %6ld KiB   VmRSS %6ld KiB\n",
                floorProcess.statusKiB("VmHWM"), floorProcess.statusKiB("VmRSS"));
}

// A ramp step as the rules alone take it, with plain texts for fields.
void RampRules() {
    PlainConsole console;
    kolva::Ramp ramp;
    std::vector<double> medians, p99s;
    for (int round = 0; round < Rounds; ++round) {
        std::vector<double> times;
        for (int i = 0; i < RampStepsPerRound; ++i) {
            const Clock::time_point start = Clock::now();
            if (!ramp.tick(console.installation, console))
                Fail("the ramp did not step");
            times.push_back(Micro(Clock::now() - start));
        }
        std::sort(times.begin(), times.end());
        medians.push_back(Percentile(times, 0.5));
        p99s.push_back(Percentile(times, 0.99));
    }
    std::printf("\nRamp step, %d rounds of %d\n", Rounds, RampStepsPerRound);
    std::printf("  the rules alone (34 plain texts, 17 records):  median %7.1f us   p99 %7.1f us\n",
                Median(medians), Median(p99s));
}

// The same with the real window: its timers run at every turn of the event loop, so each turn
// is one ramp step, the fields' updates and the repaint that follows, and a status poll.
void RampWindow() {
    struct : kolva::MessageSink {
        QStringList shown;
        void showMessage(const QString &text, Icon) override { shown << text; }
    } messages;
    kolva::SystemHostResolver resolver;
    struct : kolva::UrlOpener {
        void open(const QUrl &) override {}
    } browser;
    kolva::OperatorWindow window(
        {QStringLiteral("0"), QHostAddress(QHostAddress::LocalHost), 0, {}}, messages, resolver,
        browser);
    window.findChild<QCheckBox *>(QStringLiteral("chkRamp"))->setChecked(true);
    window.findChild<QLineEdit *>(QStringLiteral("txtSeconds"))->setText(QStringLiteral("0"));
    window.findChild<QLineEdit *>(QStringLiteral("txtAmount"))->setText(QStringLiteral("1"));
    const QLineEdit *firstReading = window.findChild<QLineEdit *>(QStringLiteral("txtSensor(0)"));
    window.startServing();
    window.show();
    QCoreApplication::processEvents();

    std::vector<double> perStep;
    for (int round = 0; round < Rounds; ++round) {
        const double before = firstReading->text().toDouble();
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < TurnsPerRound; ++i)
            QCoreApplication::processEvents();
        const double steps = firstReading->text().toDouble() - before;
        if (steps < 1)
            Fail("the ramp did not step: T1 shows " + firstReading->text().toStdString());
        perStep.push_back(Micro(Clock::now() - start) / steps);
    }
    std::printf("  with the window (34 fields, one event-loop turn each): median %7.1f us\n",
                Median(perStep));
    std::printf("  (T1 went from 25.0 to %s)\n", qPrintable(firstReading->text()));
    if (!messages.shown.isEmpty())
        std::printf("  messages: %s\n", qPrintable(messages.shown.join(QStringLiteral("; "))));
}

void Benchmark(const std::string &server, const std::string &floor, int &argc, char **argv) {
    std::vector<double> serverStarts, floorStarts;
    for (int round = 0; round < StartRounds; ++round) {
        serverStarts.push_back(StartToAccept(server, {}, ServerPort, true));
        floorStarts.push_back(StartToAccept(floor, FloorArguments(), FloorPort, false));
    }
    std::printf("Process start until the port accepts, median of %d\n", StartRounds);
    std::printf("  Server (offscreen) %7.1f ms   (each: ", Median(serverStarts));
    for (const double ms : serverStarts)
        std::printf("%.0f ", ms);
    std::printf(")\n  floor              %7.1f ms\n", Median(floorStarts));

    cpu_set_t all;
    ::sched_getaffinity(0, sizeof all, &all);
    std::vector<int> cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &all))
            cpus.push_back(cpu);
    std::vector<Placement> placements;
    if (cpus.size() >= 2)
        placements.push_back({"client and servers on separate CPUs", cpus[1], cpus[0]});
    placements.push_back({"client and servers sharing one CPU", cpus[0], cpus[0]});
    for (const Placement &placement : placements)
        RoundTrips(server, floor, placement, &placement == &placements.front());
    ::sched_setaffinity(0, sizeof all, &all);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RampRules();
    RampWindow();
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <Server> <floor_server>\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        Benchmark(argv[1], argv[2], argc, argv);
    } catch (const std::exception &failure) {
        std::fprintf(stderr, "kolva_bench: %s\n", failure.what());
        return 1;
    }
    return 0;
}
