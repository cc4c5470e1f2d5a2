// The widget-free rules, a named row per rule; expected values are written from the rules.

#include "fakes.h"
#include "query/query_rules.h"
#include "query/query_service.h"
#include "query/socket_error.h"
#include "units/number_text.h"

#include <clocale>

using namespace kolva;
using Addresses = QList<Ipv4Address>;

namespace {

const Ipv4Address Lan{10, 0, 0, 7}, Wide{192, 168, 1, 20}, Loop{127, 0, 0, 1}, Debian{127, 0, 1, 1};

// A row: what the product gives, then what the rule says.
void rule(const char *name, const QVariant &actual, const QVariant &expected) {
    QTest::newRow(name) << actual << expected;
}

void ruleColumns() {
    QTest::addColumn<QVariant>("actual");
    QTest::addColumn<QVariant>("expected");
}

void compareWithRule() {
    QFETCH(QVariant, actual);
    QFETCH(QVariant, expected);
    QCOMPARE(actual, expected);
}

QString toC(double f) { return singleNumberText(fahrenheitToCelsius(toSingle(f))); }

// The reply to one arrival, from the records of a fresh start.
QByteArray replyTo(const QByteArray &received) {
    const fake::Console console;
    return answerQuery(received, console.table).reply;
}

QByteArray recordReply(int entry) { return fake::defaultRecords()[entry].toLatin1() + '\r'; }

// The address shown where the host name resolves to these addresses.
QString shownAddress(const Addresses &resolved, const Addresses &interfaces = {}) {
    fake::Resolver resolver;
    resolver.addresses = resolved;
    resolver.interfaces = interfaces;
    QString address;
    return lookUpHostAddress(resolver, &address) ? address : u"failed"_s;
}

// T1, T2 and Amb of the master record after T1 was typed and Set All, Increment set (armed:
// edited), and "Accept Changes".
QString committed(const QString &typed, const QString &setAll, const QString &increment,
                  bool armed) {
    fake::Console console;
    console.master.setAll = setAll;
    console.master.increment = increment;
    if (armed)
        console.installation.fillInputEdited(Bank::Master);
    console.master.setReading(0, typed);
    console.installation.commit(Bank::Master);
    const QString record = console.table.record(MasterEntry);
    return record.section(u',', 3, 4) + u',' + record.section(u',', -1);
}

// How many of six ticks step the ramp.
int stepsInSixTicks(const QString &seconds, const QString &amount, bool enabled) {
    fake::Console console;
    console.seconds = seconds;
    console.amount = amount;
    console.enabled = enabled;
    int steps = 0;
    for (int tick = 0; tick < 6; ++tick)
        steps += console.tick();
    return steps;
}

} // namespace

class TestRules : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // A decimal-comma locale must change nothing: only "." is ever a decimal point.
        QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8"), "scripts/setup.sh generates de_DE.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void numberTexts_data() {
        ruleColumns();
        rule("blanks, tabs, line feeds ignored", leadingNumber(" 2\t5.\n3xyz"), 25.3);
        rule("a comma is no decimal point", leadingNumber("25,5"), 25.0);
        rule("D is an exponent letter", leadingNumber("25D-1"), 2.5);
        rule("an exponent needs digits", isNumberText("5e"), false);
        rule("no number reads as 0", leadingNumber("abc"), 0.0);
        rule("overflow saturates", leadingNumber("-1E+999"), -std::numeric_limits<double>::max());
        rule("underflow is 0", leadingNumber(QString(400, u'0') + "1e-330"), 0.0);
        rule("spaces around a number", isNumberText(" -.5 "), true);
        rule("trailing text is no number", isNumberText("25abc"), false);
        rule("blanks inside make no number", isNumberText("2 5"), false);
        rule("15 digits hide binary noise", numberText(25.1 + 0.1), "25.2");
        rule("exponent below 0.0001", numberText(0.00001), "1E-05");
        rule("0.0001 is plain", numberText(0.0001), "0.0001");
        rule("exponent from 1E15", numberText(1.5e15), "1.5E+15");
        rule("plain below 1E15", numberText(999999999999999.0), "999999999999999");
        rule("a half on 15 digits, away from 0", oneDecimalText(-0.2499999999999999), "-0.3");
        rule("a half below 0.1", oneDecimalText(0.05), "0.1");
        rule("no exponent", oneDecimalText(1e20), "100000000000000000000.0");
        rule("a carry through nines", oneDecimalText(99.95), "100.0");
        rule("never -0.0", oneDecimalText(-0.04), "0.0");
        rule("a single's exponent from 1E7", toC(18000032), "1E+07");
    }
    void numberTexts() { compareWithRule(); }

    void queries_data() {
        ruleColumns();
        rule("CR LF at the end dropped", replyTo("KOLVAM?\r\n"), recordReply(0));
        rule("case does not matter", replyTo("kolvam05?"), recordReply(5));
        rule("spaces at both ends dropped", replyTo("  KOLVAM16? "), recordReply(16));
        rule("CR LF inside removed", replyTo("KOL\r\nVAM03?"), recordReply(3));
        rule("lone CR makes the query unknown", replyTo("KOLVAM03?\r"), "\r"_ba);
        rule("two queries at once are unknown", replyTo("KOLVAM?\r\nKOLVAM01?"), "\r"_ba);
        rule("spaces only at the ends", cleanQuery("K? \r\n  "), "K? ");
        rule("CR LF pairs removed in one pass", cleanQuery("K?\r\r\n\n"), "K?\r\n");
        rule("a unit takes two digits", queryEntry("KOLVAM5?"), -1);
        rule("no unit 17", queryEntry("KOLVAM17?"), -1);
    }
    void queries() { compareWithRule(); }

    void listener_data() {
        ruleColumns();
        rule("a half port rounds to even, down", portFromText("80.5").value_or(-1), 80);
        rule("a half port rounds to even, up", portFromText("81.5").value_or(-1), 82);
        rule("a port past 32 bits is refused", portFromText("2147483648").has_value(), false);
        rule("address in use", socketError(QAbstractSocket::AddressInUseError).number, 10048);
        rule("permission denied", socketError(QAbstractSocket::SocketAccessError).number, 10013);
        rule("port out of range", socketError(SocketFault::PortOutOfRange).number, 10022);
        rule("wrong state", socketError(SocketFault::WrongState).number, 40006);
    }
    void listener() { compareWithRule(); }

    void hostAddress_data() {
        ruleColumns();
        rule("the last address resolved", shownAddress({Wide, Lan}), "10.0.0.7");
        rule("no address: the fallback", shownAddress({}), "255.255.255.0");
        rule("loopback: the last other interface", shownAddress({Debian}, {Loop, Lan, Wide, Loop}),
             "192.168.1.20");
        rule("loopback and no other interface", shownAddress({Debian}, {Loop}), "127.0.1.1");
        rule("loopback beside another address", shownAddress({Lan, Debian}, {Wide}), "127.0.1.1");
    }
    void hostAddress() { compareWithRule(); }

    // An unresolved name shows the fallback, a name not to be had nothing; the name is trimmed.
    void hostAddressFailures() {
        fake::Resolver resolver;
        resolver.name = u" kolvahost  "_s;
        resolver.resolveError = 11001;
        QString address;
        QVERIFY(!lookUpHostAddress(resolver, &address));
        QCOMPARE(resolver.asked, u"kolvahost"_s);
        QCOMPARE(address, u"255.255.255.0"_s);
        QCOMPARE(resolver.errorString(), u"Authoritative answer host not found."_s);
        resolver.nameError = 12345;
        QVERIFY(!lookUpHostAddress(resolver, &address));
        QCOMPARE(address, QString());
        QCOMPARE(resolver.errorString(), QString());
    }

    // A fresh start publishes the records the README describes.
    void records() {
        fake::Console console;
        const QStringList defaults = fake::defaultRecords();
        QCOMPARE(defaults.size(), EntryCount);
        for (int entry = 0; entry < EntryCount; ++entry)
            QCOMPARE(console.table.record(entry), defaults[entry]);
    }

    void commit_data() {
        ruleColumns();
        rule("leading number, one decimal", committed(" 25.34 ", "25", ".1", false),
             " T1=25.3, T2=25.1, Amb=26.6");
        rule("fill: Tn = Set All + (n-1) * Increment", committed("25.0", "30", "1", true),
             " T1=30.0, T2=31.0, Amb=46.0");
        rule("an armed fill wins over an edit", committed("7", "10", "-.5", true),
             " T1=10.0, T2=9.5, Amb=2.0");
        rule("no fill unless armed", committed("ComEr", "30", "1", false),
             " T1=0.0, T2=25.1, Amb=26.6");
        rule("Set All not a number: no fill", committed("7", "abc", "1", true),
             " T1=7.0, T2=25.1, Amb=26.6");
        rule("Increment not a number is 0", committed("25.0", "30", "x", true),
             " T1=30.0, T2=30.0, Amb=30.0");
    }
    void commit() { compareWithRule(); }

    // Editing Set All or Increment marks the bank as typing does.
    void editMarker() {
        fake::Console console;
        console.installation.fillInputEdited(Bank::Slave);
        QVERIFY(console.slave.marker);
        QVERIFY(!console.master.marker);
    }

    // A switch converts numeric readings, commits both banks; a repeated one changes nothing.
    void unitSwitch() {
        fake::Console console;
        console.master.setReading(1, OpenWord);
        console.installation.selectUnit(TemperatureUnit::Fahrenheit);
        QCOMPARE(console.master.readings.mid(0, 3), (QStringList{"77", "OPEN", "77.36"}));
        QCOMPARE(console.table.record(0).section(u',', 2, 5), u" F, T1=77.0, T2=0.0, T3=77.4"_s);
        QCOMPARE(console.table.record(16).section(u',', 1, 3), u" Kolva16, F, T1=89.6"_s);
        QVERIFY(!console.master.marker);
        console.installation.selectUnit(TemperatureUnit::Fahrenheit);
        QCOMPARE(console.master.readings.first(), u"77"_s);
        console.installation.selectUnit(TemperatureUnit::Celsius);
        QCOMPARE(console.master.readings.mid(0, 3), (QStringList{"25", "OPEN", "25.2"}));
        QCOMPARE(console.table.record(0).section(u',', 2, 3), u" C, T1=25.0"_s);
    }

    void rampPeriod_data() {
        ruleColumns();
        rule("idle: Seconds not a number", stepsInSixTicks("1x", "1", true), 0);
        rule("idle: Amount not a number", stepsInSixTicks("1", "", true), 0);
        rule("idle: not enabled", stepsInSixTicks("1", "1", false), 0);
        rule("a step when the count reaches Seconds", stepsInSixTicks("3", "1", true), 2);
        rule("Seconds 0: a step every tick", stepsInSixTicks("0", "1", true), 6);
    }
    void rampPeriod() { compareWithRule(); }

    // A master commit starts the ramp's period afresh; a slave commit does not.
    void rampRestart() {
        fake::Console console;
        console.seconds = u"2"_s;
        QVERIFY(!console.tick());
        console.installation.commit(Bank::Slave);
        QVERIFY(console.tick());
        QVERIFY(!console.tick());
        console.installation.commit(Bank::Master);
        QVERIFY(!console.tick());
        QVERIFY(console.tick());
    }

    // A fault word is an operator edit, published as 0.0 by a commit, as is by a ramp step.
    void faultsAndRampStep() {
        fake::Console console;
        console.installation.injectFault(Bank::Slave, OpenWord);
        QCOMPARE(console.slave.readings, QStringList(ReadingCount, OpenWord));
        QVERIFY(console.slave.marker);
        QCOMPARE(console.table.record(1), fake::defaultRecords()[1]);
        console.installation.commit(Bank::Slave);
        QVERIFY(!console.slave.marker);
        QCOMPARE(console.table.record(16).section(u',', -2), u" T16=0.0, Amb=0.0"_s);
        console.master.readings[2] = ComErWord;
        console.seconds = u"0"_s;
        QVERIFY(console.tick());
        QCOMPARE(console.master.readings.mid(0, 3), (QStringList{"26", "26.1", "ComEr"}));
        QCOMPARE(console.table.record(0).section(u',', 3, 5), u" T1=26, T2=26.1, T3=ComEr"_s);
        QCOMPARE(console.table.record(16).section(u',', -2), u" T16=OPEN, Amb=OPEN"_s);
        QVERIFY(!console.master.marker);
    }

    // This machine's resolver, inside tests/in_namespace.sh: its host name, loopback only.
    void systemResolver() {
        const QString host = qEnvironmentVariable("KOLVA_NAMESPACE_HOST");
        if (host.isEmpty())
            QSKIP("runs inside tests/in_namespace.sh");
        SystemHostResolver resolver;
        QString name;
        QVERIFY(resolver.hostName(&name));
        QCOMPARE(name, host);
        Addresses addresses{Lan};
        QVERIFY(resolver.resolve(u"10.1.2.3"_s, &addresses));
        QCOMPARE(addresses, (Addresses{{10, 1, 2, 3}}));
        QCOMPARE(resolver.interfaceAddresses(), (Addresses{Loop}));
        QVERIFY(!resolver.resolve(QString(), &addresses));
        QCOMPARE(resolver.lastError(), 11001);
        QVERIFY(!resolver.resolve(u"::1"_s, &addresses));
        QCOMPARE(resolver.lastError(), 11004);
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
