// The widget-free rules through their public seams, each run written as a transcript and
// compared with its golden file in tests/golden/.

#include "fakes.h"
#include "query/query_service.h"
#include "query/socket_error.h"
#include "units/number_text.h"

#include <clocale>

using namespace kolva;

using Addresses = QList<Ipv4Address>;

class TestRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // A decimal-comma locale must change nothing: only "." is ever a decimal point.
        QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8"), "scripts/setup.sh generates de_DE.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    // How a field's text reads, and how numbers are written: shortest, as a single, with one
    // decimal, and converted to Fahrenheit and to Celsius.
    void numberTexts() {
        QStringList lines;
        const QStringList texts =
            u"25.3| 25 | 25.3xyz|25,5|-.5|25.|+7.5|abc||-|.|1e3|1E3|25D-1|1d3|5e|5e+x| 2 5 . 3|"
            "\t1\n2|1\r2|1.2.3|-1e999|1e-999|1e99999999999999999999|\u0663"_s.split(u'|')
            << QString(400, u'9') << QString(400, u'0') + u"1e-400"_s
            << u"."_s + QString(400, u'0') + u"1e50"_s;
        for (const QString &text : texts)
            lines << u"%1 -> %2%3"_s.arg(fake::Escaped(text.toUtf8()),
                                         QString::number(LeadingNumber(text), 'g', 17),
                                         IsNumberText(text) ? u" number"_s : QString());
        for (const QString &value :
             u"25 25.200000000000003 25.05 25.04 -3.25 0.05 -0.04 -0 99.95 0.33333333333333331 "
             "0.0001 0.00001 1e-10 1e7 9999999 999999999999999 999999999999999.9 1.25e20 "
             "1.7976931348623157e308 -inf 77.18 -40 26.6 89.6"_s.split(u' ')) {
            const double v = value.toDouble();
            lines << u"%1 -> %2 | %3 | %4 | F %5 | C %6"_s.arg(v, 0, 'g', 17)
                         .arg(NumberText(v), SingleNumberText(ToSingle(v)), OneDecimalText(v),
                              SingleNumberText(CtoF(ToSingle(v))),
                              SingleNumberText(FtoC(ToSingle(v))));
        }
        QVERIFY(fake::MatchesGolden(lines, u"number_texts.txt"_s));
    }

    // A console session: after each step the edit markers (master, slave), the fields and the
    // records that changed. Every slave record is the first one under its own unit name.
    void session() {
        fake::Console console;
        const QStringList script =
            u"t m 4 9;c m;s m 30;t m 2 77;c m;i m -.5;s m 10;c m;s m _25;i m 1;c m;"
            "i m abc;s m 7;c m;s m x1;c m;t m 0 6;c m;s m 1e15;i m 0;c m;"
            "s m 1.7e308;i m 1e308;c m;s s 40;c m;c s;f s ComEr;c s;f m OPEN;"
            "s m 25;i m .1;c m;t s 0 open;t s 1 1e2;t s 16 OPEN;r 0 0.05 1;k 1;"
            "t s 3 abc;t s 4 1e39;u F;u F;t m 0 1;u C;r 3 1 1;k 1;r 3 1 0;k 1;"
            "r 3 1 1;k 3;c m;k 3;k 1;c s;k 2;r 1x 1 1;k 2;r 1 - 1;k 2;r -5 1 1;"
            "k 1;r 2.5 1 1;k 3;t m 0 1.7e308;r 0 1.7e308 1;k 2"_s.split(u';');
        // The fields and the records of master and slave, as they stand.
        const auto state = [&] {
            return QStringList{console.master.readings.join(u' '), console.table.record(0),
                               console.slave.readings.join(u' '), console.table.record(1)};
        };
        QStringList lines, before = state();
        for (const QString &step : script) {
            lines << u"%1 %2 :: %3%4"_s.arg(step, console.run(step))
                         .arg(console.master.marker)
                         .arg(console.slave.marker);
            const QStringList now = state();
            for (int i = 0; i < 4; ++i)
                if (now[i] != std::exchange(before[i], now[i]))
                    lines << QStringList{"  m: ", "  0> ", "  s: ", "  1> "}[i] + now[i];
            for (int entry = 2; entry < EntryCount; ++entry)
                QCOMPARE(console.table.record(entry).mid(UnitPrefix(entry).size()),
                         now[3].mid(UnitPrefix(1).size()));
        }
        QVERIFY(fake::MatchesGolden(lines, u"session.txt"_s));
    }

    // The host address shown and the message given, for each answer the resolver may give:
    // an error code (below 11000 the host name fails, from there on the lookup), the
    // addresses the name resolves to and the interfaces.
    void hostAddress() {
        const Ipv4Address lan{10, 0, 0, 7}, wide{192, 168, 100, 255}, loop{127, 0, 0, 1},
            debian{127, 0, 1, 1};
        QList<std::tuple<int, Addresses, Addresses>> cases = {
            {0, {lan}, {}},
            {0, {lan, wide}, {}},
            {0, {}, {wide}},
            {0, {debian}, {loop, wide, lan, loop}},
            {0, {loop, debian}, {loop}},
            {0, {lan, debian}, {wide}}};
        for (const int error :
             {10004, 10014, 10036, 10050, 10093, 11001, 11002, 11003, 11004, 12345})
            cases.append({error, {lan}, {wide}});
        QStringList lines;
        for (const auto &[error, resolved, interfaces] : cases) {
            fake::Resolver resolver;
            fake::Messages messages;
            resolver.name =
                error && error < 11000 ? std::nullopt : std::optional(u"  kolvahost "_s);
            resolver.error = error;
            resolver.addresses = error ? std::nullopt : std::optional(resolved);
            resolver.interfaces = interfaces;
            const QString shown = GetHostIPAddress(resolver, messages);
            lines << QStringList{shown, resolver.asked, messages.shown.join(u'/')}.join(" | ");
        }
        QVERIFY(fake::MatchesGolden(lines, u"host_address.txt"_s));
    }

    // This machine's own resolver, where tests/in_namespace.sh makes the answers certain: its host
    // name, loopback the only interface, and no name server within reach.
    void systemResolver() {
        const QString host = qEnvironmentVariable("KOLVA_NAMESPACE_HOST");
        if (host.isEmpty())
            QSKIP("runs inside tests/in_namespace.sh");
        SystemHostResolver resolver;
        int error = 0;
        QCOMPARE(resolver.hostName(&error), std::optional(host));
        QCOMPARE(resolver.resolve(u"10.1.2.3"_s, &error), std::optional(Addresses{{10, 1, 2, 3}}));
        QCOMPARE(resolver.interfaceAddresses(), (Addresses{{127, 0, 0, 1}}));
        // An empty name and an IPv6 address fail before any lookup; which error a name server
        // out of reach gives depends on this machine's resolver configuration.
        QVERIFY(!resolver.resolve(QString(), &error));
        QCOMPARE(error, 11001);
        QVERIFY(!resolver.resolve(u"::1"_s, &error));
        QCOMPARE(error, 11004);
    }

    // What the operator is told: a port text read as a port, or why not, and every failure of
    // the query socket.
    void portsAndSocketErrors() {
        QStringList lines;
        const auto told = [](const OperationError &e) {
            return u"%1 %2"_s.arg(e.number).arg(e.description);
        };
        for (const char *text : {"23", "80abc", "", "80.5", "81.5", "-2147483648.5", "2147483647",
                                 "2147483647.5", "-2147483649"}) {
            OperationError error;
            const qint32 port = PortFromText(QString::fromLatin1(text), &error).value_or(-1);
            lines << QString::fromLatin1(text) + u" -> %1 "_s.arg(port) + told(error);
        }
        for (int error = QAbstractSocket::UnknownSocketError;
             error <= QAbstractSocket::OperationError; ++error)
            lines << told(SocketFaultError(QAbstractSocket::SocketError(error)));
        for (const SocketFault fault : {SocketFault::WrongState, SocketFault::PortOutOfRange,
                                        SocketFault::NotConnected, SocketFault::ReplyBacklog})
            lines << told(SocketFaultError(fault));
        QVERIFY(fake::MatchesGolden(lines, u"errors.txt"_s));
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
