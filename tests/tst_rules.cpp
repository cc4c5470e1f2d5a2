// The widget-free rules through their public seams: number texts, records, the bank rules on
// fake fields, the ramp, the query answer and the host address.

#include "fakes.h"
#include "query/query_rules.h"
#include "query/query_service.h"
#include "units/number_text.h"

#include <QTest>

#include <clocale>
#include <limits>

using namespace kolva;

namespace {
const double Huge = std::numeric_limits<double>::max();
const QString Fallback = QStringLiteral("255.255.255.0");
using Addresses = QList<Ipv4Address>;
} // namespace

class TestRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // A decimal-comma locale must change nothing: only "." is ever a decimal point.
        QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8"), "scripts/setup.sh generates de_DE.UTF-8");
        QCOMPARE(QByteArray(std::localeconv()->decimal_point), QByteArray(","));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    // clang-format off
    void reading_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("number");
        QTest::newRow("plain") << "25.3" << 25.3 << true;
        QTest::newRow("spaces around") << " 25 " << 25.0 << true;
        QTest::newRow("junk after") << " 25.3xyz" << 25.3 << false;
        QTest::newRow("comma ends it") << "25,5" << 25.0 << false;
        QTest::newRow("fraction") << "-.5" << -0.5 << true;
        QTest::newRow("trailing point") << "25." << 25.0 << true;
        QTest::newRow("plus") << "+7.5" << 7.5 << true;
        QTest::newRow("letters") << "abc" << 0.0 << false;
        QTest::newRow("empty") << "" << 0.0 << false;
        QTest::newRow("sign only") << "-" << 0.0 << false;
        QTest::newRow("point only") << "." << 0.0 << false;
        QTest::newRow("exponent") << "1e3" << 1000.0 << true;
        QTest::newRow("capital exponent") << "1E3" << 1000.0 << true;
        QTest::newRow("d exponent") << "25D-1" << 2.5 << true;
        QTest::newRow("d small") << "1d3" << 1000.0 << true;
        QTest::newRow("bare exponent") << "5e" << 5.0 << false;
        QTest::newRow("exponent sign only") << "5e+x" << 5.0 << false;
        QTest::newRow("blanks inside") << " 2 5 . 3" << 25.3 << false;
        QTest::newRow("tab and LF inside") << "\t1\n2" << 12.0 << false;
        QTest::newRow("CR ends") << "1\r2" << 1.0 << false;
        QTest::newRow("second point") << "1.2.3" << 1.2 << false;
        QTest::newRow("overflow") << "-1e999" << -Huge << true;
        QTest::newRow("underflow") << "1e-999" << 0.0 << true;
        QTest::newRow("long exponent") << "1e99999999999999999999" << Huge << true;
        QTest::newRow("many digits") << QString(400, u'9') << Huge << true;
        QTest::newRow("other digits") << QStringLiteral("\u0663") << 0.0 << false;
    }
    // clang-format on
    void reading() {
        QFETCH(QString, text);
        QTEST(LeadingNumber(text), "value");
        QTEST(IsNumberText(text), "number");
    }

    // Shortest texts (15 digits, 7 for a single) and the one-decimal form of commits.
    // clang-format off
    void numberText_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("shortest");
        QTest::addColumn<QString>("single");
        QTest::addColumn<QString>("oneDecimal");
        QTest::newRow("whole") << 25.0 << "25" << "25" << "25.0";
        QTest::newRow("tenths sum") << 25.1 + 0.1 << "25.2" << "25.2" << "25.2";
        QTest::newRow("half up") << 25.05 << "25.05" << "25.05" << "25.1";
        QTest::newRow("below half") << 25.04 << "25.04" << "25.04" << "25.0";
        QTest::newRow("negative half") << -3.25 << "-3.25" << "-3.25" << "-3.3";
        QTest::newRow("small half") << 0.05 << "0.05" << "0.05" << "0.1";
        QTest::newRow("to zero") << -0.04 << "-0.04" << "-0.04" << "0.0";
        QTest::newRow("negative zero") << -0.0 << "0" << "0" << "0.0";
        QTest::newRow("carry") << 99.95 << "99.95" << "99.95" << "100.0";
        QTest::newRow("third") << 1.0 / 3 << "0.333333333333333" << "0.3333333" << "0.3";
        QTest::newRow("small limit") << 0.0001 << "0.0001" << "0.0001" << "0.0";
        QTest::newRow("below small limit") << 0.00001 << "1E-05" << "1E-05" << "0.0";
        QTest::newRow("single limit") << 1e7 << "10000000" << "1E+07" << "10000000.0";
        QTest::newRow("below single limit") << 9999999.0 << "9999999" << "9999999" << "9999999.0";
        QTest::newRow("below limit") << 999999999999999.0 << "999999999999999" << "1E+15" << "999999999999999.0";
        QTest::newRow("rounds to limit") << 999999999999999.9 << "1E+15" << "1E+15" << "1000000000000000.0";
        QTest::newRow("mantissa") << 1.25e20 << "1.25E+20" << "1.25E+20" << "125000000000000000000.0";
        QTest::newRow("largest") << Huge << "1.79769313486232E+308" << "3.402823E+38" << "179769313486232" + QString(294, u'0') + ".0";
        QTest::newRow("infinity") << -std::numeric_limits<double>::infinity() << "-1.79769313486232E+308" << "-3.402823E+38" << "-179769313486232" + QString(294, u'0') + ".0";
    }
    // clang-format on
    void numberText() {
        QFETCH(double, value);
        QTEST(NumberText(value), "shortest");
        QTEST(SingleNumberText(ToSingle(value)), "single");
        QTEST(OneDecimalText(value), "oneDecimal");
    }

    void defaultRecords() {
        const fake::Console console;
        const QStringList expected = fake::DefaultRecords();
        for (int entry = 0; entry < EntryCount; ++entry)
            QCOMPARE(console.table.record(entry), expected.at(entry));
    }

    // An armed commit fills the bank from "Set All Sensors", each field the previous one plus
    // the increment; then every reading is published by its leading number with one decimal.
    // clang-format off
    void fill_data() {
        QTest::addColumn<QString>("setAll");
        QTest::addColumn<QString>("increment");
        QTest::addColumn<QStringList>("fields"); // T1, T2, T16, Amb
        QTest::addColumn<QString>("record");
        QTest::newRow("defaults") << "25" << ".1" << QStringList{"25", "25.1", "26.5", "26.6"} << "C, T1=25.0, T2=25.1,";
        QTest::newRow("negative steps") << "10" << "-.5" << QStringList{"10", "9.5", "2.5", "2"} << "C, T1=10.0, T2=9.5,";
        QTest::newRow("blank kept") << " 25" << "1" << QStringList{" 25", "26", "40", "41"} << "C, T1=25.0, T2=26.0,";
        QTest::newRow("increment no number") << "7" << "abc" << QStringList{"7", "7", "7", "7"} << "C, T1=7.0, T2=7.0,";
        QTest::newRow("start no number") << "x1" << "1" << QStringList{"25.0", "25.1", "26.5", "26.6"} << "C, T1=25.0, T2=25.1,";
        QTest::newRow("exponent form") << "1e15" << "0" << QStringList{"1e15", "1E+15", "1E+15", "1E+15"} << "C, T1=1000000000000000.0, T2=1000000000000000.0,";
        QTest::newRow("clamped") << "1.7e308" << "1e308" << QStringList{"1.7e308", "1.79769313486232E+308", "1.79769313486232E+308", "1.79769313486232E+308"} << "C, T1=17";
    }
    // clang-format on
    void fill() {
        QFETCH(QString, setAll);
        QFETCH(QString, increment);
        fake::Console console;
        console.slave.typeSetAll(QStringLiteral("40"));
        console.master.typeIncrement(increment);
        console.master.type(2, QStringLiteral("77")); // armed stays armed; the fill overwrites
        console.master.typeSetAll(setAll);
        QVERIFY(console.master.marker);
        console.installation.commit(Bank::Master);
        const auto &r = console.master.readings;
        QTEST((QStringList{r[0], r[1], r[15], r[16]}), "fields");
        QFETCH(QString, record);
        QVERIFY2(console.table.record(0).startsWith(UnitPrefix(0) + record),
                 qPrintable(console.table.record(0)));
        QVERIFY(!console.master.marker);
        QCOMPARE(console.slave.readings[0], QStringLiteral("32.0")); // the slave stays armed:
        console.installation.commit(Bank::Slave);
        QCOMPARE(console.slave.readings[16], QStringLiteral("41.6"));
        console.master.typeSetAll(QStringLiteral("0")); // consumed by the commit before:
        console.master.type(0, QStringLiteral("5"));
        console.installation.commit(Bank::Master);
        console.master.type(0, QStringLiteral("6"));
        console.installation.commit(Bank::Master);
        QCOMPARE(console.master.readings[0], QStringLiteral("6"));
    }

    // Edits mark only their bank and reach clients only with the next commit; fault words are
    // edits too, and a commit publishes them as numbers.
    void editsAndFaults() {
        fake::Console console;
        console.master.type(4, QStringLiteral("9"));
        QVERIFY(console.master.marker && !console.slave.marker);
        QCOMPARE(console.table.record(0), fake::DefaultRecords().at(0));
        console.installation.injectFault(Bank::Slave, ComErWord);
        QVERIFY(console.slave.marker);
        QCOMPARE(console.slave.readings[16], ComErWord);
        console.installation.commit(Bank::Slave);
        console.installation.commit(Bank::Master);
        QVERIFY(!console.master.marker && !console.slave.marker);
        QVERIFY(console.table.record(0).contains(QStringLiteral(" T5=9.0, T6=25.5,")));
        for (const int entry : {1, 9, 16})
            QVERIFY(console.table.record(entry).startsWith(UnitPrefix(entry) + "C, T1=0.0,") &&
                    console.table.record(entry).count(QStringLiteral("=0.0")) == ReadingCount);
    }

    // A commit reached from inside a system write, as from a change notification, does nothing.
    void commitDuringSystemWrite() {
        ResponseTable table;
        bool publishedMidway = false;
        struct Reentrant : fake::Bank {
            using fake::Bank::Bank;
            void setReading(int index, const QString &text) override {
                fake::Bank::setReading(index, text);
                installation->commit(which);
                *midway |= !table->record(0).isEmpty();
            }
            const ResponseTable *table;
            bool *midway;
        } master(Bank::Master, 25.0, QStringLiteral("30"));
        master.table = &table;
        master.midway = &publishedMidway;
        fake::Bank slave(Bank::Slave, 32.0, QStringLiteral("32"));
        Installation installation(master, slave, table);
        master.installation = &installation;
        master.typeSetAll(QStringLiteral("30"));
        installation.commit(Bank::Master);
        QVERIFY(!publishedMidway);
        QVERIFY(table.record(0).endsWith(QStringLiteral(" T16=31.5, Amb=31.6")));
        QVERIFY(!master.marker);
    }

    void unitSwitch() {
        fake::Console console;
        console.master.type(1, ComErWord);
        console.slave.type(16, OpenWord);
        console.slave.type(3, QStringLiteral("abc"));
        console.slave.type(4, QStringLiteral("1e39"));
        console.installation.selectUnit(TemperatureUnit::Fahrenheit);
        const auto &m = console.master.readings;
        const auto &s = console.slave.readings;
        QCOMPARE((QStringList{m[0], m[1], m[2], m[16], s[3], s[4], s[16]}),
                 (QStringList{"77", "ComEr", "77.36", "79.88", "32", "3.402823E+38", "OPEN"}));
        QVERIFY(console.table.record(0).startsWith(UnitPrefix(0) + "F, T1=77.0, T2=0.0, T3=77.4,"));
        QVERIFY(console.table.record(16).startsWith(UnitPrefix(16) + "F, T1=89.6,"));
        QVERIFY(!console.master.marker && !console.slave.marker);

        const QString record = console.table.record(0);
        console.master.type(0, QStringLiteral("1"));
        console.installation.selectUnit(TemperatureUnit::Fahrenheit); // in force: nothing happens
        QCOMPARE(console.table.record(0), record);
        QCOMPARE(m[0], QStringLiteral("1"));
        console.installation.selectUnit(TemperatureUnit::Celsius);
        QCOMPARE((QStringList{m[0], m[2], s[0], s[3], s[4]}),
                 (QStringList{"-17.22222", "25.2", "32", "0", "3.402823E+38"}));
        QVERIFY(console.table.record(5).startsWith(UnitPrefix(5) + "C, T1=32.0,"));
    }

    // Ticks until the step, idle inputs, and the count kept across idle ticks and commits.
    // clang-format off
    void rampPeriod_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("ticks"); // 0: never steps
        QTest::newRow("sixty") << "60" << "1" << true << 60;
        QTest::newRow("zero") << "0" << "1" << true << 1;
        QTest::newRow("negative") << "-5" << "1" << true << 1;
        QTest::newRow("fraction rounds up") << "2.5" << "1" << true << 3;
        QTest::newRow("disabled") << "1" << "1" << false << 0;
        QTest::newRow("period no number") << "1x" << "1" << true << 0;
        QTest::newRow("step no number") << "1" << "" << true << 0;
    }
    // clang-format on
    void rampPeriod() {
        QFETCH(int, ticks);
        fake::Console console;
        QFETCH(QString, seconds);
        QFETCH(QString, amount);
        QFETCH(bool, enabled);
        console.controls.set(seconds, amount, enabled);
        for (int round = 0; round < 2; ++round) {
            int tick = 1;
            while (tick <= 100 && !console.tick())
                ++tick;
            QCOMPARE(tick, ticks ? ticks : 101);
        }
        QCOMPARE(console.master.readings[0], ticks ? QStringLiteral("27") : QStringLiteral("25.0"));
        console.controls.set(QStringLiteral("3"), QStringLiteral("1"), true);
        QVERIFY(!console.tick());
        console.controls.checked = false; // idle ticks are not counted
        QVERIFY(!console.tick());
        console.controls.checked = true;
        QVERIFY(!console.tick() && console.tick());
        QVERIFY(!console.tick());
        console.installation.commit(Bank::Master); // restarts the period
        QVERIFY(!console.tick() && !console.tick() && console.tick());
        QVERIFY(!console.tick());
        console.installation.commit(Bank::Slave); // does not
        QVERIFY(!console.tick() && console.tick());
    }

    // Fields keep the stepped value, records the value rounded to one decimal, written
    // shortest; fault texts pass as they stand; markers stay as they were.
    void rampStep() {
        fake::Console console;
        console.master.type(4, ComErWord);
        console.slave.type(16, OpenWord);
        console.slave.type(0, QStringLiteral("open"));
        console.slave.type(1, QStringLiteral("1e2"));
        console.master.marker = false;
        console.controls.set(QStringLiteral("0"), QStringLiteral("0.05"), true);
        QVERIFY(console.tick());
        QCOMPARE(console.table.record(0),
                 UnitPrefix(0) + "C, T1=25.1, T2=25.2, T3=25.3, T4=25.4, T5=ComEr, T6=25.6, "
                                 "T7=25.7, T8=25.8, T9=25.9, T10=26, T11=26.1, T12=26.2, T13=26.3, "
                                 "T14=26.4, T15=26.5, T16=26.6, Amb=26.7");
        QCOMPARE(console.master.readings[0], QStringLiteral("25.05"));
        for (int entry = FirstSlaveEntry; entry < EntryCount; ++entry)
            QVERIFY(console.table.record(entry).startsWith(
                        UnitPrefix(entry) + "C, T1=0.1, T2=100.1, T3=32.3, T4=32.4,") &&
                    console.table.record(entry).endsWith(" Amb=OPEN"));
        QVERIFY(!console.master.marker && console.slave.marker);
        console.controls.amount = QStringLiteral("1.7e308");
        console.master.type(0, QStringLiteral("1.7e308"));
        QVERIFY(console.tick());
        QCOMPARE(console.master.readings[0], QStringLiteral("1.79769313486232E+308"));
        QVERIFY(console.tick());
        QCOMPARE(console.master.readings[0], QStringLiteral("1.79769313486232E+308"));
    }

    // Received bytes -> the entry answered (-1: a lone CR) and the query shown.
    // clang-format off
    void answer_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("shown");
        QTest::newRow("master") << QByteArray("KOLVAM?\r\n") << 0 << "KOLVAM?";
        QTest::newRow("lower case") << QByteArray("kolvam01?\r\n") << 1 << "kolvam01?";
        QTest::newRow("mixed, bare") << QByteArray("KolVam16?") << 16 << "KolVam16?";
        QTest::newRow("CR alone") << QByteArray("KOLVAM03?\r") << -1 << "KOLVAM03?\r";
        QTest::newRow("LF alone") << QByteArray("KOLVAM03?\n") << -1 << "KOLVAM03?\n";
        QTest::newRow("spaces around") << QByteArray("  KOLVAM03?\r\n  ") << 3 << "KOLVAM03?";
        QTest::newRow("space before CR LF") << QByteArray("KOLVAM03? \r\n") << -1 << "KOLVAM03? ";
        QTest::newRow("CR LF inside") << QByteArray("KOL\r\nVAM09?") << 9 << "KOLVAM09?";
        QTest::newRow("pair left by removal") << QByteArray("KOLVAM?\r\r\n\n") << -1 << "KOLVAM?\r\n";
        QTest::newRow("nothing") << QByteArray("\r\n") << -1 << "";
        QTest::newRow("two together") << QByteArray("KOLVAM?\r\nKOLVAM01?") << -1 << "KOLVAM?KOLVAM01?";
        QTest::newRow("leading tab") << QByteArray("\tKOLVAM?") << -1 << "\tKOLVAM?";
        QTest::newRow("no zero") << QByteArray("KOLVAM5?") << -1 << "KOLVAM5?";
        QTest::newRow("above sixteen") << QByteArray("KOLVAM17?") << -1 << "KOLVAM17?";
        QTest::newRow("NUL") << QByteArray("KOLVAM?\0", 8) << -1 << QStringLiteral("KOLVAM?") + QChar(0);
        QTest::newRow("Latin-1 letter") << QByteArray("kolv\xe1m?\xff") << -1 << QStringLiteral("kolv\u00e1m?\u00ff");
    }
    // clang-format on
    void answer() {
        QFETCH(QByteArray, received);
        QFETCH(int, entry);
        fake::Console console;
        console.table.store(0, QStringLiteral("T1=\u00b0C")); // a typed text goes out as UTF-8
        const QueryAnswer answer = AnswerQuery(received, console.table);
        const QString record = entry < 0 ? QString() : console.table.record(entry);
        QTEST(answer.query, "shown");
        QCOMPARE(answer.record, record);
        QCOMPARE(answer.reply, record.toUtf8() + '\r');
        QCOMPARE(AnswerQuery("KOLVAM?", ResponseTable()).reply, QByteArray("\r"));
    }

    // clang-format off
    void hostAddress_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<Addresses>("resolved");
        QTest::addColumn<Addresses>("interfaces");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("message");
        const Ipv4Address lan{10, 0, 0, 7}, wide{192, 168, 100, 255}, loop{127, 0, 0, 1}, debian{127, 0, 1, 1};
        QTest::newRow("one") << 0 << Addresses{lan} << Addresses{} << "10.0.0.7" << "";
        QTest::newRow("two: the last") << 0 << Addresses{lan, wide} << Addresses{} << "192.168.100.255" << "";
        QTest::newRow("none") << 0 << Addresses{} << Addresses{wide} << Fallback << "";
        QTest::newRow("loopback: last interface") << 0 << Addresses{debian} << Addresses{loop, wide, lan, loop} << "10.0.0.7" << "";
        QTest::newRow("loopback only") << 0 << Addresses{loop, debian} << Addresses{loop} << "127.0.1.1" << "";
        QTest::newRow("loopback among others") << 0 << Addresses{lan, debian} << Addresses{wide} << "127.0.1.1" << "";
        QTest::newRow("no host name") << 10050 << Addresses{lan} << Addresses{} << "" << "!The network subsystem has failed.";
        QTest::newRow("11001") << 11001 << Addresses{lan} << Addresses{} << Fallback << "!Authoritative answer host not found.";
        QTest::newRow("11002") << 11002 << Addresses{} << Addresses{} << Fallback << "!Nonauthoritative host not found, or server failure.";
        QTest::newRow("11003") << 11003 << Addresses{} << Addresses{} << Fallback << "!A nonrecoverable error occurred.";
        QTest::newRow("11004") << 11004 << Addresses{} << Addresses{} << Fallback << "!Valid name, no data record of requested type.";
        QTest::newRow("10004") << 10004 << Addresses{} << Addresses{} << "" << "!A blocking Windows Socket 1.1 call was canceled through WSACancelBlockingCall.";
        QTest::newRow("10014") << 10014 << Addresses{} << Addresses{} << "" << "!The name parameter is not a valid part of the user address space.";
        QTest::newRow("10036") << 10036 << Addresses{} << Addresses{} << "" << "!A blocking Windows Sockets 1.1 call is in progress, or the service provider is still processing a callback function.";
        QTest::newRow("10093") << 10093 << Addresses{} << Addresses{} << "" << "!A successful WSAStartup call must occur before using this function.";
        QTest::newRow("outside the table") << 12345 << Addresses{} << Addresses{} << Fallback << "!";
    }
    // clang-format on
    void hostAddress() {
        QFETCH(int, error);
        QFETCH(QString, message);
        fake::Resolver resolver;
        fake::Messages messages;
        resolver.name = QStringLiteral("  kolvahost ");
        if (error && error < 11000 && error != 12345)
            resolver.name.reset();
        resolver.error = error;
        QFETCH(Addresses, resolved);
        if (error > 11000)
            resolver.addresses.reset();
        else
            resolver.addresses = resolved;
        QFETCH(Addresses, interfaces);
        resolver.interfaces = interfaces;
        QTEST(GetHostIPAddress(resolver, messages), "shown");
        QCOMPARE(messages.shown, message.isEmpty() ? QStringList() : QStringList{message});
        if (resolver.name)
            QCOMPARE(resolver.asked, QStringLiteral("kolvahost"));
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
        QCOMPARE(resolver.resolve(QStringLiteral("10.1.2.3"), &error),
                 std::optional(Addresses{{10, 1, 2, 3}}));
        QCOMPARE(resolver.interfaceAddresses(), (Addresses{{127, 0, 0, 1}}));
        QVERIFY(!resolver.resolve(QStringLiteral("no-such-host.invalid"), &error));
        QVERIFY2(error == 11001 || error == 11002, qPrintable(QString::number(error)));
    }

    // clang-format off
    void port_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint32>("port");
        QTest::newRow("design") << "23" << 23;
        QTest::newRow("letters after") << "80abc" << 80;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("half to even down") << "80.5" << 80;
        QTest::newRow("half to even up") << "81.5" << 82;
        QTest::newRow("negative") << "-2147483648" << -2147483647 - 1;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("overflow") << "2147483648" << -1;
        QTest::newRow("negative overflow") << "-2147483649" << -1;
    }
    // clang-format on
    void port() {
        QFETCH(QString, text);
        QFETCH(qint32, port);
        OperationError error;
        QCOMPARE(PortFromText(text, &error).value_or(-1), port);
        QCOMPARE(error.number == 6 && error.description == u"Overflow", port == -1);
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
