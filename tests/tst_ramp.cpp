#include "fake_bank.h"
#include "ramp/ramp.h"

#include <QTest>

using namespace kolva;

namespace {
using Controls = FakeRampControls;

// Ticks until the first step; returns the number of ticks it took, or -1 past the limit.
int TicksToStep(Installation &installation, const Controls &controls, int limit = 100) {
    for (int tick = 1; tick <= limit; ++tick)
        if (RampTick(installation, controls))
            return tick;
    return -1;
}
} // namespace

class RampTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // clang-format off
    void period_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<int>("ticks");
        QTest::newRow("sixty") << "60" << 60;
        QTest::newRow("zero") << "0" << 1;
        QTest::newRow("negative") << "-5" << 1;
        QTest::newRow("below one") << "0.5" << 1;
        QTest::newRow("fraction rounds up") << "2.5" << 3;
    }
    // clang-format on
    void period() {
        QFETCH(QString, seconds);
        QFETCH(int, ticks);
        FakeConsole console;
        console.start();
        Controls controls;
        controls.seconds = seconds;
        QCOMPARE(TicksToStep(console.installation, controls), ticks);
        QCOMPARE(console.installation.rampTickCount(), 0);
        QCOMPARE(TicksToStep(console.installation, controls), ticks);
    }

    // clang-format off
    void idle_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<bool>("checked");
        QTest::newRow("unchecked") << "1" << "1" << false;
        QTest::newRow("empty period") << "" << "1" << true;
        QTest::newRow("period not a number") << "abc" << "1" << true;
        QTest::newRow("empty step") << "1" << "" << true;
        QTest::newRow("step not a number") << "1" << "abc" << true;
    }
    // clang-format on
    void idle() {
        QFETCH(QString, seconds);
        QFETCH(QString, amount);
        QFETCH(bool, checked);
        FakeConsole console;
        console.start();
        console.installation.setRampTickCount(7);
        const QString record = console.table.record(MasterEntry);
        Controls controls;
        controls.seconds = seconds;
        controls.amount = amount;
        controls.checked = checked;
        for (int i = 0; i < 5; ++i)
            QVERIFY(!RampTick(console.installation, controls));
        QCOMPARE(console.installation.rampTickCount(), 7);
        QCOMPARE(console.master.writes, 0);
        QCOMPARE(console.table.record(MasterEntry), record);
    }

    void step() {
        FakeConsole console;
        console.start();
        console.master.setReading(4, ComErWord);
        console.slave.setReading(16, OpenWord);
        console.slave.setReading(0, QStringLiteral("open"));
        console.slave.setReading(1, QStringLiteral("1e2"));
        console.master.marker = false;
        console.slave.marker = true;
        Controls controls;
        controls.seconds = QStringLiteral("1");
        QVERIFY(RampTick(console.installation, controls));

        const QStringList master = console.master.readings();
        QCOMPARE(master.at(0), QStringLiteral("26"));
        QCOMPARE(master.at(1), QStringLiteral("26.1"));
        QCOMPARE(master.at(4), ComErWord);
        QCOMPARE(master.at(16), QStringLiteral("27.6"));
        QCOMPARE(console.table.record(MasterEntry),
                 QStringLiteral("REZU DOZURUZ UNIT, Kolva0_Master, C, T1=26, T2=26.1, T3=26.2, "
                                "T4=26.3, T5=ComEr, T6=26.5, T7=26.6, T8=26.7, T9=26.8, T10=26.9, "
                                "T11=27, T12=27.1, T13=27.2, T14=27.3, T15=27.4, T16=27.5, "
                                "Amb=27.6"));
        QCOMPARE(console.slave.readings().mid(0, 3),
                 QStringList({QStringLiteral("1"), QStringLiteral("101"), QStringLiteral("33.2")}));
        for (int entry = FirstSlaveEntry; entry < EntryCount; ++entry) {
            QVERIFY(console.table.record(entry).startsWith(UnitPrefix(entry) +
                                                           QStringLiteral("C, T1=1, T2=101,")));
            QVERIFY(console.table.record(entry).endsWith(QStringLiteral(" Amb=OPEN")));
        }
        // Ramp writes leave the edit markers as they were.
        QVERIFY(!console.master.marker);
        QVERIFY(console.slave.marker);
    }

    // Fields keep the unrounded value, records the rounded one; huge values turn into fault form.
    // clang-format off
    void numberForms_data() {
        QTest::addColumn<QString>("reading");
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("piece");
        QTest::newRow("half step") << "25.1" << "0.05" << "25.15" << " T1=25.2,";
        QTest::newRow("zero step") << "25.0" << "0" << "25" << " T1=25,";
        QTest::newRow("negative step") << "25.0" << "-1.5" << "23.5" << " T1=23.5,";
        QTest::newRow("reaches exponent form") << "999999999999999" << "1" << "1E+15"
                                               << " T1=1E+15,";
        QTest::newRow("overflow clamps") << "1.7e308" << "1.7e308" << "1.79769313486232E+308"
                                         << " T1=1.79769313486232E+308,";
    }
    // clang-format on
    void numberForms() {
        QFETCH(QString, reading);
        QFETCH(QString, amount);
        FakeConsole console;
        console.master.setReading(0, reading);
        console.start();
        Controls controls;
        controls.seconds = QStringLiteral("0");
        controls.amount = amount;
        QVERIFY(RampTick(console.installation, controls));
        QTEST(console.master.readings().at(0), "field");
        QFETCH(QString, piece);
        QVERIFY2(console.table.record(MasterEntry).contains(piece),
                 qPrintable(console.table.record(MasterEntry)));
        // From now on a text in exponent form is a fault text and stays as it is.
        const QString field = console.master.readings().at(0);
        QVERIFY(RampTick(console.installation, controls));
        if (IsFaultText(field))
            QCOMPARE(console.master.readings().at(0), field);
    }

    // Idle ticks freeze the count; a period lowered below it makes the next armed tick a step.
    void countAcrossIdle() {
        FakeConsole console;
        console.start();
        Controls controls;
        controls.seconds = QStringLiteral("5");
        for (int i = 0; i < 3; ++i)
            QVERIFY(!RampTick(console.installation, controls));
        controls.checked = false;
        QVERIFY(!RampTick(console.installation, controls));
        controls.checked = true;
        QCOMPARE(TicksToStep(console.installation, controls), 2);
        for (int i = 0; i < 4; ++i)
            QVERIFY(!RampTick(console.installation, controls));
        controls.seconds = QStringLiteral("2");
        QVERIFY(RampTick(console.installation, controls));
    }

    void countSaturates() {
        FakeConsole console;
        console.start();
        console.installation.setRampTickCount(std::numeric_limits<qint32>::max());
        Controls controls;
        controls.seconds = QStringLiteral("1e12");
        QVERIFY(!RampTick(console.installation, controls));
        QCOMPARE(console.installation.rampTickCount(), std::numeric_limits<qint32>::max());
    }
};

QTEST_GUILESS_MAIN(RampTest)
#include "tst_ramp.moc"
