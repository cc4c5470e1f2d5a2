#include "fake_bank.h"
#include "units/unit_record.h"

#include <QTest>

using namespace kolva;

namespace {
const QString DefaultMaster = QStringLiteral(
    "REZU DOZURUZ UNIT, Kolva0_Master, C, T1=25.0, T2=25.1, T3=25.2, T4=25.3, T5=25.4, T6=25.5, "
    "T7=25.6, T8=25.7, T9=25.8, T10=25.9, T11=26.0, T12=26.1, T13=26.2, T14=26.3, T15=26.4, "
    "T16=26.5, Amb=26.6");
const QString DefaultSlave01 = QStringLiteral(
    "REZU DOZURUZ UNIT, Kolva01, C, T1=32.0, T2=32.1, T3=32.2, T4=32.3, T5=32.4, T6=32.5, "
    "T7=32.6, T8=32.7, T9=32.8, T10=32.9, T11=33.0, T12=33.1, T13=33.2, T14=33.3, T15=33.4, "
    "T16=33.5, Amb=33.6");
} // namespace

class RecordsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void defaultRecords() {
        FakeConsole console;
        console.start();
        QCOMPARE(console.table.record(0), DefaultMaster);
        QCOMPARE(console.table.record(1), DefaultSlave01);
        for (int entry = 2; entry < EntryCount; ++entry) {
            QString expected = DefaultSlave01;
            expected.replace(QStringLiteral("Kolva01"),
                             QStringLiteral("Kolva%1").arg(entry, 2, 10, QLatin1Char('0')));
            QCOMPARE(console.table.record(entry), expected);
        }
    }

    // clang-format off
    void pieces_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("reading");
        QTest::addColumn<QString>("commitPiece");
        QTest::newRow("first channel") << 0 << "25.0" << " T1=25.0,";
        QTest::newRow("channel ten") << 9 << "26" << " T10=26.0,";
        QTest::newRow("fault word") << 2 << "ComEr" << " T3=0.0,";
        QTest::newRow("ambient fault") << 16 << "OPEN" << " Amb=0.0";
        QTest::newRow("capital exponent") << 4 << "1E3" << " T5=1000.0,";
        QTest::newRow("small exponent") << 4 << "1e3" << " T5=1000.0,";
        QTest::newRow("letters") << 5 << "abc" << " T6=0.0,";
        QTest::newRow("empty") << 5 << "" << " T6=0.0,";
        QTest::newRow("spaces") << 6 << " 25.34 " << " T7=25.3,";
        QTest::newRow("negative half") << 7 << "-3.25" << " T8=-3.3,";
        QTest::newRow("decimal half") << 15 << "25.05" << " T16=25.1,";
        QTest::newRow("small half") << 16 << "0.15" << " Amb=0.2";
    }
    // clang-format on
    void pieces() {
        QFETCH(int, index);
        QFETCH(QString, reading);
        QFETCH(QString, commitPiece);
        QCOMPARE(ChannelPiece(index, CommitValueText(reading)), commitPiece);
    }

    // clang-format off
    void faultText_data() {
        QTest::addColumn<QString>("reading");
        QTest::addColumn<bool>("fault");
        QTest::newRow("ComEr") << "ComEr" << true;
        QTest::newRow("OPEN") << "OPEN" << true;
        QTest::newRow("capital exponent") << "1E3" << true;
        QTest::newRow("small exponent") << "1e3" << false;
        QTest::newRow("lower case word") << "open" << false;
        QTest::newRow("empty") << "" << false;
    }
    // clang-format on
    void faultText() {
        QFETCH(QString, reading);
        QFETCH(bool, fault);
        QCOMPARE(IsFaultText(reading), fault);
    }
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
