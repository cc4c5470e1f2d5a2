#include "fake_bank.h"

#include <QTest>

using namespace kolva;

namespace {
QStringList Texts(std::initializer_list<const char *> texts) {
    QStringList list;
    for (const char *text : texts)
        list << QString::fromLatin1(text);
    return list;
}
} // namespace

class BankRulesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // clang-format off
    void fill_data() {
        QTest::addColumn<QString>("setAll");
        QTest::addColumn<QString>("increment");
        QTest::addColumn<QString>("t1");
        QTest::addColumn<QString>("t2");
        QTest::addColumn<QString>("t16");
        QTest::addColumn<QString>("amb");
        QTest::addColumn<QString>("record");
        QTest::newRow("defaults") << "25" << ".1" << "25" << "25.1" << "26.5" << "26.6"
                                  << " T1=25.0, T2=25.1,";
        QTest::newRow("whole steps") << "30" << "1" << "30" << "31" << "45" << "46"
                                     << " T1=30.0, T2=31.0,";
        QTest::newRow("negative steps") << "10" << "-.5" << "10" << "9.5" << "2.5" << "2"
                                        << " T1=10.0, T2=9.5,";
        QTest::newRow("blank kept as typed") << " 25" << "1" << " 25" << "26" << "40" << "41"
                                             << " T1=25.0, T2=26.0,";
        QTest::newRow("increment not a number") << "7" << "abc" << "7" << "7" << "7" << "7"
                                                << " T1=7.0, T2=7.0,";
        QTest::newRow("exponent reaches fault form") << "1e15" << "0" << "1e15" << "1E+15"
                                                     << "1E+15" << "1E+15"
                                                     << " T1=1000000000000000.0,";
        QTest::newRow("sum past double range clamps")
            << "1.7e308" << "1e308" << "1.7e308" << "1.79769313486232E+308"
            << "1.79769313486232E+308" << "1.79769313486232E+308" << " T1=17";
    }
    // clang-format on
    void fill() {
        QFETCH(QString, setAll);
        QFETCH(QString, increment);
        FakeConsole console;
        console.start();
        console.slave.typeSetAll(QStringLiteral("40"));
        console.master.typeIncrement(increment);
        console.master.typeSetAll(setAll);
        QVERIFY(console.master.marker);
        console.installation.commit(Bank::Master);

        const QStringList readings = console.master.readings();
        QTEST(readings.at(0), "t1");
        QTEST(readings.at(1), "t2");
        QTEST(readings.at(15), "t16");
        QTEST(readings.at(16), "amb");
        QVERIFY(console.table.record(MasterEntry).contains(QStringLiteral("C,")));
        QFETCH(QString, record);
        QVERIFY2(console.table.record(MasterEntry).contains(record),
                 qPrintable(console.table.record(MasterEntry)));
        QVERIFY(!console.table.record(MasterEntry).contains(QStringLiteral("inf")));
        QVERIFY(!console.master.marker);
        QVERIFY(!console.installation.setAllPending(Bank::Master));
        QVERIFY(console.installation.setAllPending(Bank::Slave));
        QCOMPARE(console.slave.readings().at(0), QStringLiteral("32.0"));
    }

    // A commit reached from inside a system write (as from a change notification) does nothing.
    void commitDuringSystemWrite() {
        struct ReentrantBank : FakeBank {
            using FakeBank::FakeBank;
            void setReading(int index, const QString &text) override {
                FakeBank::setReading(index, text);
                installation->commit(kolva::Bank::Master);
            }
            kolva::Installation *installation = nullptr;
        };
        ReentrantBank master(Bank::Master, 25.0, QStringLiteral("25"));
        FakeBank slave(Bank::Slave, 32.0, QStringLiteral("32"));
        ResponseTable table;
        Installation installation(master, slave, table);
        master.installation = &installation;
        installation.writeReading(Bank::Master, 0, QStringLiteral("50"));
        QVERIFY(table.record(MasterEntry).isEmpty());
        QVERIFY(!installation.programWriting());
    }

    void unitSwitch() {
        FakeConsole console;
        console.start();
        console.master.setReading(1, ComErWord);
        console.slave.setReading(16, OpenWord);
        console.slave.setReading(3, QStringLiteral("abc"));
        console.installation.setRampTickCount(9);

        console.installation.selectUnit(TemperatureUnit::Fahrenheit);
        QCOMPARE(console.installation.unitSuffix(), QStringLiteral("F,"));
        QCOMPARE(console.master.readings().mid(0, 3), Texts({"77", "ComEr", "77.36"}));
        QCOMPARE(console.slave.readings().at(3), QStringLiteral("32"));
        QCOMPARE(console.slave.readings().at(16), OpenWord);
        QVERIFY(console.table.record(MasterEntry)
                    .startsWith(
                        QStringLiteral("REZU DOZURUZ UNIT, Kolva0_Master, F, T1=77.0, T2=0.0,")));
        QVERIFY(console.table.record(16).startsWith(
            QStringLiteral("REZU DOZURUZ UNIT, Kolva16, F, T1=89.6,")));
        QVERIFY(!console.master.marker);
        QVERIFY(!console.slave.marker);
        QCOMPARE(console.installation.rampTickCount(), 0);

        // The unit in force again: nothing at all happens.
        const QString record = console.table.record(MasterEntry);
        const int writes = console.master.writes;
        console.installation.selectUnit(TemperatureUnit::Fahrenheit);
        QCOMPARE(console.master.writes, writes);
        QCOMPARE(console.table.record(MasterEntry), record);

        console.installation.selectUnit(TemperatureUnit::Celsius);
        QCOMPARE(console.master.readings().mid(0, 3), Texts({"25", "ComEr", "25.2"}));
        QCOMPARE(console.slave.readings().at(3), QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(BankRulesTest)
#include "tst_bank_rules.moc"
