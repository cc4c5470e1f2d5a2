#include "fakes.h"
#include "query/bound_port.h"
#include "query/query_rules.h"
#include "query/query_service.h"
#include "query/query_socket.h"
#include "query/socket_error.h"
#include "units/number_text.h"

#include <cfloat>
#include <clocale>
#include <sys/socket.h>
#include <unistd.h>

using namespace kolva;
using Addresses = QList<Ipv4Address>;
using enum Bank;

namespace {

const Ipv4Address Lan{10, 0, 0, 7}, Wide{192, 168, 1, 20}, Loop{127, 0, 0, 1}, Debian{127, 0, 1, 1};

struct Rule {
    const char *name;
    QVariant actual, expected;
};

int entryOf(const char *received) { return queryEntry(cleanQuery(received)); }

QString errorNumbers() {
    QStringList numbers;
    for (int error = 0; error <= QAbstractSocket::UnsupportedSocketOperationError; ++error)
        numbers << QString::number(socketError(QAbstractSocket::SocketError(error)).number);
    for (SocketFault fault : {SocketFault::WrongState, SocketFault::PortOutOfRange,
                              SocketFault::NotConnected, SocketFault::ReplyBacklog})
        numbers << QString::number(socketError(fault).number);
    return numbers.join(u' ');
}

int port(const char *text) { return portFromText(text).value_or(-1); }

// The number a socket call fails with, 0 where it succeeds.
int failure(bool (*call)(QuerySocket &)) {
    QuerySocket socket(QHostAddress::LocalHost);
    return call(socket) ? 0 : socket.lastError().number;
}

// The host address shown, "!" first where the operator is told of a failure.
QString shown(Addresses resolved, Addresses interfaces = {}, int nameError = 0) {
    fake::Resolver resolver;
    resolver.addresses = resolved;
    resolver.interfaces = interfaces;
    resolver.nameError = nameError;
    QString address;
    return lookUpHostAddress(resolver, &address) ? address : u'!' + address;
}

// T1, T2 and Amb of the master record after T1 is typed and committed; filled: the armed fill
// is committed before the typing.
QString committed(QString typed, bool armed = false, QString setAll = u"30"_s,
                  bool filled = false) {
    fake::Console console;
    console.master.setAll = setAll;
    if (armed)
        console.installation.fillInputEdited(Master);
    if (filled)
        console.installation.commit(Master);
    console.master.setReading(0, typed);
    console.installation.commit(Master);
    const QString record = console.table.record(0);
    return record.section(u',', 3, 4) + u',' + record.section(u',', -1);
}

// Ramp steps in six ticks; commit: the master commits after the first.
int steps(QString seconds, QString amount = u"1"_s, bool enabled = true, bool commit = false) {
    fake::Console console;
    console.seconds = seconds;
    console.amount = amount;
    console.enabled = enabled;
    int steps = console.tick();
    if (commit)
        console.installation.commit(Master);
    for (int tick = 1; tick < 6; ++tick)
        steps += console.tick();
    return steps;
}

} // namespace

class TestRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Only "." is ever a decimal point.
    void initTestCase() {
        QVERIFY(std::setlocale(LC_ALL, "de_DE.UTF-8"));
        QLocale::setDefault(QLocale(u"de_DE"_s));
    }

    // The window-free rules, one row each.
    void rules_data() {
        const Rule rules[] = {
            {"blanks ignored", leadingNumber(" 2\t5.\n3xyz"), 25.3},
            {"comma ends a number", leadingNumber("25,5"), 25.0},
            {"D is an exponent", leadingNumber("25D-1"), 2.5},
            {"past the range: the largest number", leadingNumber("-1e400"), -DBL_MAX},
            {"below the range: 0", leadingNumber("1e-400"), 0.0},
            {"half on 15 digits, away from 0", oneDecimalText(-0.2499999999999996), "-0.3"},
            {"hundredths alone round", oneDecimalText(0.05), "0.1"},
            {"never -0.0", oneDecimalText(-0.04), "0.0"},
            {"exponent below 0.0001", numberText(1e-5), "1E-05"},
            {"exponent from 1E15", numberText(1.5e15), "1.5E+15"},
            {"plain from 0.0001", numberText(0.05), "0.05"},
            {"plain below 1E15", numberText(2.5), "2.5"},
            {"15 significant digits", numberText(123456789012345.6), "123456789012346"},
            {"an exponent needs digits", isNumberText("25e"), false},
            {"spaces only, before CR LF", cleanQuery("K? \r\n  "), "K? "},
            {"CR LF removed in one pass", cleanQuery("K\r\n?\r\r\n\n"), "K?\r\n"},
            {"lone CR: unknown", entryOf("KOLVAM03?\r"), -1},
            {"two queries: unknown", entryOf("KOLVAM?\r\nKOLVAM01?"), -1},
            {"unit in two digits", entryOf("KOLVAM5?"), -1},
            {"no unit 17", entryOf("KOLVAM17?"), -1},
            {"half port to even, down", port("80.5"), 80},
            {"half port to even, up", port("81.5"), 82},
            {"port past 32 bits refused", port("2147483648"), -1},
            {"listen while listening",
             failure([](QuerySocket &s) { return s.listen() && s.listen(); }), 40006},
            {"accept without a request", failure([](QuerySocket &s) { return s.accept(1); }),
             40006},
            {"send without a client", failure([](QuerySocket &s) { return s.sendData("?"); }),
             10057},
            {"Windows Sockets numbers: Qt's errors in their order, then ours", errorNumbers(),
             "10061 10101 11001 10013 10055 10060 10040 10050 10048 10049 10045 40006 10022 10057 "
             "10055"},
            {"the last address", shown({Wide, Lan}), "10.0.0.7"},
            {"no address: fallback", shown({}), "255.255.255.0"},
            {"loopback: last other interface", shown({Debian}, {Lan, Wide, Loop}), "192.168.1.20"},
            {"no host name: no address, told", shown({Lan}, {}, 11004), "!"},
            {"leading number, one decimal", committed(" 25.34 "), " T1=25.3, T2=25.1, Amb=26.6"},
            {"no fill unless armed", committed("7"), " T1=7.0, T2=25.1, Amb=26.6"},
            {"Tn = Set All + (n-1)*Increment", committed("7", true), " T1=30.0, T2=30.1, Amb=31.6"},
            {"an armed fill is used once", committed("7", true, u"30"_s, true),
             " T1=7.0, T2=30.1, Amb=31.6"},
            {"Set All not a number", committed("7", true, "x"), " T1=7.0, T2=25.1, Amb=26.6"},
            {"idle: Seconds not a number", steps("1x"), 0},
            {"idle: Amount not a number", steps("1", ""), 0},
            {"idle: not enabled", steps("1", "1", false), 0},
            {"a step every Seconds ticks", steps("3"), 2},
            {"Seconds 0: every tick", steps("0"), 6},
            {"master commit restarts the period", steps("2", "1", true, true), 2},
        };
        QTest::addColumn<QVariant>("actual");
        QTest::addColumn<QVariant>("expected");
        for (const Rule &rule : rules)
            QTest::newRow(rule.name) << rule.actual << rule.expected;
    }
    void rules() {
        QFETCH(QVariant, actual);
        QFETCH(QVariant, expected);
        if (expected.typeId() == QMetaType::QString) // as a string, shown with CR and LF escaped
            QCOMPARE(actual.toString(), expected.toString());
        else
            QCOMPARE(actual, expected);
    }

    // A switch converts numbers, not faults, and commits; a second does nothing.
    void unitSwitch() {
        fake::Console console;
        console.master.setReading(1, OpenWord);
        console.installation.selectUnit(TemperatureUnit::Fahrenheit);
        console.installation.selectUnit(TemperatureUnit::Fahrenheit);
        QCOMPARE(console.table.record(0).section(u',', 2, 5), u" F, T1=77.0, T2=0.0, T3=77.4"_s);
        QCOMPARE(console.master.readings[2], u"77.36"_s); // the field keeps a float's 7 digits
        QCOMPARE(console.table.record(1).section(u',', 2, 3), u" F, T1=89.6"_s); // both banks
    }

    // A ramp step publishes the fields as they stand.
    void rampStep() {
        fake::Console console;
        console.installation.injectFault(Slave, OpenWord);
        console.master.readings[2] = ComErWord;
        console.seconds = u"0"_s;
        QVERIFY(console.tick());
        QCOMPARE(console.table.record(0).section(u',', 3, 5), u" T1=26, T2=26.1, T3=ComEr"_s);
        QCOMPARE(console.table.record(16).section(u',', -2), u" T16=OPEN, Amb=OPEN"_s);
    }

    // This machine's resolver, in tests/in_namespace.sh.
    void systemResolver() {
        const QString host = qEnvironmentVariable("KOLVA_NAMESPACE_HOST");
        if (host.isEmpty())
            QSKIP("runs inside tests/in_namespace.sh");
        SystemHostResolver resolver;
        QString name;
        Addresses addresses;
        const auto error = [&](const char *text) {
            return resolver.resolve(text, &addresses) ? 0 : resolver.lastError();
        };
        QVERIFY(resolver.hostName(&name));
        QCOMPARE(name, host);
        QCOMPARE(resolver.interfaceAddresses(), Addresses{Loop});
        QCOMPARE(error(""), 11001);
        QCOMPARE(error("::1"), 11004);
        QCOMPARE(error("10.1.2.3"), 0);
        QCOMPARE(addresses, (Addresses{{10, 1, 2, 3}}));
    }

    // Port 23 bound before start-up takes IPv4 clients too, even where IPv6 sockets take IPv6
    // alone by default; once it listens, another bind is refused. In tests/in_namespace.sh.
    void portBound() {
        if (qEnvironmentVariable("KOLVA_NAMESPACE_HOST").isEmpty())
            QSKIP("runs inside tests/in_namespace.sh");
        QFile v6only(u"/proc/sys/net/ipv6/bindv6only"_s);
        QVERIFY(v6only.open(QIODevice::WriteOnly) && v6only.write("1") == 1);
        v6only.close();
        const BoundPort bound = bindTcpPort(23);
        QCOMPARE(::listen(bound.descriptor, 1), 0);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, 23);
        QVERIFY(client.waitForConnected(1000));
        const BoundPort second = bindTcpPort(23);
        QCOMPARE(QList<int>({second.descriptor, second.error}), QList<int>({-1, EADDRINUSE}));
        ::close(bound.descriptor);
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
