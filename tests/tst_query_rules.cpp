#include "query/query_rules.h"

#include <QTest>

using namespace kolva;

class QueryRulesTest : public QObject {
    Q_OBJECT

    ResponseTable m_table;

private Q_SLOTS:
    void initTestCase() {
        for (int entry = 0; entry < EntryCount; ++entry)
            m_table.store(entry, UnitPrefix(entry) + QStringLiteral("C, record"));
    }

    // Received bytes -> the entry answered (-1: a lone CR) and the query shown.
    // clang-format off
    void answer_data() {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("shown");
        QTest::newRow("master with CR LF") << QByteArray("KOLVAM?\r\n") << 0 << "KOLVAM?";
        QTest::newRow("lower case") << QByteArray("kolvam05?\r\n") << 5 << "kolvam05?";
        QTest::newRow("mixed case") << QByteArray("KolVam12?") << 12 << "KolVam12?";
        QTest::newRow("no line end") << QByteArray("KOLVAM16?") << 16 << "KOLVAM16?";
        QTest::newRow("CR alone") << QByteArray("KOLVAM03?\r") << -1 << "KOLVAM03?\r";
        QTest::newRow("LF alone") << QByteArray("KOLVAM03?\n") << -1 << "KOLVAM03?\n";
        QTest::newRow("spaces around") << QByteArray("  KOLVAM03?  ") << 3 << "KOLVAM03?";
        QTest::newRow("space before CR LF") << QByteArray("KOLVAM03? \r\n") << -1 << "KOLVAM03? ";
        QTest::newRow("spaces after CR LF") << QByteArray("KOLVAM03?\r\n  ") << 3 << "KOLVAM03?";
        QTest::newRow("CR LF inside") << QByteArray("KOL\r\nVAM?") << 0 << "KOLVAM?";
        QTest::newRow("pair formed by removal stays")
            << QByteArray("KOLVAM?\r\r\n\n") << -1 << "KOLVAM?\r\n";
        QTest::newRow("empty line") << QByteArray("\r\n") << -1 << "";
        QTest::newRow("nothing") << QByteArray() << -1 << "";
        QTest::newRow("two queries together")
            << QByteArray("KOLVAM?\r\nKOLVAM01?\r\n") << -1 << "KOLVAM?KOLVAM01?";
        QTest::newRow("first half") << QByteArray("KOLV") << -1 << "KOLV";
        QTest::newRow("second half") << QByteArray("AM?\r\n") << -1 << "AM?";
        QTest::newRow("leading tab") << QByteArray("\tKOLVAM?") << -1 << "\tKOLVAM?";
        QTest::newRow("inner space") << QByteArray("KOLVAM 01?") << -1 << "KOLVAM 01?";
        QTest::newRow("number without zero") << QByteArray("KOLVAM5?") << -1 << "KOLVAM5?";
        QTest::newRow("number zero") << QByteArray("KOLVAM00?") << -1 << "KOLVAM00?";
        QTest::newRow("number above sixteen") << QByteArray("KOLVAM17?") << -1 << "KOLVAM17?";
        QTest::newRow("no question mark") << QByteArray("KOLVAM") << -1 << "KOLVAM";
        QTest::newRow("NUL inside") << QByteArray("KOLVAM?\0", 8) << -1
                                    << QStringLiteral("KOLVAM?") + QChar(0);
        QTest::newRow("high bytes read as Latin-1")
            << QByteArray("kolvam?\xe9\xff") << -1 << QStringLiteral("kolvam?\u00e9\u00ff");
        // Only a to z are upper-cased: a Latin-1 letter never becomes a command letter.
        QTest::newRow("Latin-1 lower letter") << QByteArray("kolv\xe1m?") << -1
                                              << QStringLiteral("kolv\u00e1m?");
    }
    // clang-format on
    void answer() {
        QFETCH(QByteArray, received);
        QFETCH(int, entry);
        QFETCH(QString, shown);
        const QueryAnswer answer = AnswerQuery(received, m_table);
        const QString record = entry < 0 ? QString() : m_table.record(entry);
        QCOMPARE(answer.query, shown);
        QCOMPARE(answer.record, record);
        QCOMPARE(answer.reply, record.toLatin1() + '\r');
    }

    void emptyEntryIsLoneCR() {
        const ResponseTable empty;
        const QueryAnswer answer = AnswerQuery("KOLVAM?", empty);
        QCOMPARE(answer.reply, QByteArray("\r"));
        QVERIFY(answer.record.isEmpty());
    }

    void faultTextGoesOutAsUtf8() {
        ResponseTable table;
        table.store(0, QStringLiteral("T1=\u00b0C\u2103"));
        QCOMPARE(AnswerQuery("KOLVAM?", table).reply, QByteArray("T1=\xc2\xb0"
                                                                 "C\xe2\x84\x83\r"));
    }

    void junkMegabyte() {
        QByteArray junk(1 << 20, '\0');
        for (int i = 0; i < junk.size(); ++i)
            junk[i] = char(i * 131 % 256);
        QCOMPARE(AnswerQuery(junk, m_table).reply, QByteArray("\r"));
    }
};

QTEST_GUILESS_MAIN(QueryRulesTest)
#include "tst_query_rules.moc"
