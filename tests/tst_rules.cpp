#include "fakes.h"
#include "query/query_rules.h"
#include "units/number_text.h"

#include <cfloat>
#include <clocale>

using namespace kolva;
using Addresses = QList<Ipv4Address>;
using enum Bank;

namespace {

const Ipv4Address Lan{10, 0, 0, 7}, Wide{192, 168, 1, 20}, Loop{127, 0, 0, 1}, Debian{127, 0, 1, 1};

// A rule's row: its name, the call as written, what it gives and what the rule says it must.
struct Rule {
    const char *name, *call;
    QVariant actual, expected;
};
#define RULE(name, call, expected)                                                                 \
    { name, #call, call, expected }

int entryOf(const char *received) { return queryEntry(cleanQuery(received)); }

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
// committed before the typing.
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
            RULE("blanks ignored", leadingNumber(" 2\t5.\n3xyz"), 25.3),
            RULE("comma ends a number", leadingNumber("25,5"), 25.0),
            RULE("D is an exponent", leadingNumber("25D-1"), 2.5),
            RULE("past the range: the largest number", leadingNumber("-1E400"), -DBL_MAX),
            RULE("below the range: 0", leadingNumber("1e-400"), 0.0),
            RULE("half on 15 digits, away from 0", oneDecimalText(-0.2499999999999996), "-0.3"),
            RULE("hundredths alone round", oneDecimalText(0.05), "0.1"),
            RULE("never -0.0", oneDecimalText(-0.04), "0.0"),
            RULE("one decimal keeps every whole digit", oneDecimalText(1e14), "100000000000000.0"),
            RULE("exponent below 0.0001", numberText(1e-5), "1E-05"),
            RULE("plain from 0.0001", numberText(0.0001), "0.0001"),
            RULE("exponent from 1E15", numberText(1.5e15), "1.5E+15"),
            RULE("plain below 1E15", numberText(999999999999999.0), "999999999999999"),
            RULE("15 significant digits", numberText(123456789012345.6), "123456789012346"),
            RULE("an exponent needs digits", isNumberText("25e"), false),
            RULE("spaces only, before CR LF", cleanQuery("K? \r\n  "), "K? "),
            RULE("CR LF removed in one pass", cleanQuery("K\r\n?\r\r\n\n"), "K?\r\n"),
            RULE("queries match in any case", entryOf("kOlVaM07?"), 7),
            RULE("lone CR: unknown", entryOf("KOLVAM03?\r"), -1),
            RULE("two queries: unknown", entryOf("KOLVAM?\r\nKOLVAM01?"), -1),
            RULE("unit in two digits", entryOf("KOLVAM5?"), -1),
            RULE("no unit 17", entryOf("KOLVAM17?"), -1),
            RULE("the last address", shown({Wide, Lan}), "10.0.0.7"),
            RULE("no address: fallback", shown({}), "255.255.255.0"),
            RULE("loopback: last other interface", shown({Debian}, {Lan, Wide, Loop}),
                 "192.168.1.20"),
            RULE("no host name: no address, told", shown({Lan}, {}, 11004), "!"),
            RULE("leading number, one decimal", committed(" 25.34 "),
                 " T1=25.3, T2=25.1, Amb=26.6"),
            RULE("no fill unless armed", committed("7"), " T1=7.0, T2=25.1, Amb=26.6"),
            RULE("Tn = Set All + (n-1)*Increment", committed("7", true),
                 " T1=30.0, T2=30.1, Amb=31.6"),
            RULE("an armed fill is used once", committed("7", true, u"30"_s, true),
                 " T1=7.0, T2=30.1, Amb=31.6"),
            RULE("Set All not a number", committed("7", true, "x"), " T1=7.0, T2=25.1, Amb=26.6"),
            RULE("idle: Seconds not a number", steps("1x"), 0),
            RULE("idle: Amount not a number", steps("1", ""), 0),
            RULE("idle: not enabled", steps("1", "1", false), 0),
            RULE("a step every Seconds ticks", steps("3"), 2),
            RULE("Seconds 0: every tick", steps("0"), 6),
            RULE("master commit restarts the period", steps("2", "1", true, true), 2),
        };
        QTest::addColumn<QString>("call");
        QTest::addColumn<QVariant>("actual");
        QTest::addColumn<QVariant>("expected");
        for (const Rule &rule : rules)
            QTest::newRow(rule.name)
                << QString::fromUtf8(rule.call) << rule.actual << rule.expected;
    }
    void rules() {
        QFETCH(QString, call);
        QFETCH(QVariant, actual);
        QFETCH(QVariant, expected);
        const auto showCall = qScopeGuard([&] {
            if (QTest::currentTestFailed())
                qWarning("%s", qPrintable(call));
        });
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

    // This machine's resolver, in tests/in_namespace.sh (its host name: tests/real_server.py).
    void systemResolver() {
        if (qEnvironmentVariable("KOLVA_NAMESPACE_HOST").isEmpty())
            QSKIP("runs inside tests/in_namespace.sh");
        SystemHostResolver resolver;
        Addresses addresses;
        const auto error = [&](const char *text) {
            return resolver.resolve(text, &addresses) ? 0 : resolver.lastError().number;
        };
        QCOMPARE(resolver.interfaceAddresses(), Addresses{Loop});
        QCOMPARE(error(""), 11001);
        QCOMPARE(error("::1"), 11004);
        QCOMPARE(error("10.1.2.3"), 0);
        QCOMPARE(addresses, (Addresses{{10, 1, 2, 3}}));
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
