// The listener over real loopback sockets: one reply per arrival, one client at a time, and
// listening again however a client leaves.

#include "query/query_service.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <sys/socket.h>

using namespace kolva;

namespace {

using Messages = QList<QPair<QString, MessageSink::Icon>>;

// A port nothing listens on right now.
quint16 FreePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// A query service listening on 127.0.0.1 answering "record N" for entry N; its console and
// message box record what they are given.
struct Rig : QueryConsole, MessageSink {
    void showQuery(const QString &text) override { queries << text; }
    void showReply(const QString &text) override { replies << text; }
    void showStatus(const QString &text) override { status = text; }
    void setPortMarker(bool pending) override { marker = pending; }
    QString portText() const override { return portShown; }
    void showMessage(const QString &text, Icon icon) override { shown << qMakePair(text, icon); }
    QStringList queries, replies;
    QString status, portShown = QString::number(FreePort());
    bool marker = false;
    Messages shown;
    ResponseTable table;
    QueryService service{table, *this, *this, QHostAddress::LocalHost};

    Rig() {
        for (int entry = 0; entry < EntryCount; ++entry)
            table.store(entry, QStringLiteral("record %1").arg(entry));
        if (service.startListening())
            qFatal("cannot listen on loopback");
    }
    const quint16 port = quint16(portShown.toUInt());
    QString poll() {
        service.pollStatus();
        return status;
    }
    // A client, once the service has accepted it.
    std::unique_ptr<QTcpSocket> client(qint64 readBufferSize = 0) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->setReadBufferSize(readBufferSize);
        socket->connectToHost(QHostAddress::LocalHost, port);
        static_cast<void>(QTest::qWaitFor([&] {
            return poll() == u"Connected" && socket->state() == QAbstractSocket::ConnectedState;
        }));
        return socket;
    }
};

// Sends one query and returns the reply once it has fully come back.
QByteArray ask(QTcpSocket &client, const QByteArray &query, qsizetype replyBytes = 9) {
    client.write(query);
    // On a timeout the short reply shows in the caller's comparison.
    static_cast<void>(QTest::qWaitFor([&] { return client.bytesAvailable() >= replyBytes; }));
    return client.readAll();
}

} // namespace

class TestQueryService : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void answersEachArrival_data() {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<QStringList>("queries"); // as shown, each after an empty one
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("one query") << QByteArrayList{"kolvam05?\r\n"}
                                   << QStringList{"", "kolvam05?"} << QByteArray("record 5\r");
        QTest::newRow("split in two") << QByteArrayList{"KOLV", "AM?\r\n"}
                                      << QStringList{"", "KOLV", "", "AM?"} << QByteArray("\r\r");
        QTest::newRow("two together") << QByteArrayList{"KOLVAM?\r\nKOLVAM01?\r\n"}
                                      << QStringList{"", "KOLVAM?KOLVAM01?"} << QByteArray("\r");
        const QByteArray binary("KOLVAM?\0\x80\xff", 10);
        QTest::newRow("bytes 0 and 0x80-0xFF")
            << QByteArrayList{binary, "KOLVAM16?"}
            << QStringList{"", QString::fromLatin1(binary), "", "KOLVAM16?"}
            << QByteArray("\rrecord 16\r");
    }
    void answersEachArrival() {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QByteArray, wire);
        Rig rig;
        auto client = rig.client();
        QCOMPARE(rig.poll(), QStringLiteral("Connected"));
        for (const QByteArray &piece : pieces) {
            const qsizetype answered = rig.replies.size();
            client->write(piece);
            QTRY_COMPARE(rig.replies.size(), answered + 1);
            rig.poll(); // sends nothing
        }
        QTRY_COMPARE(client->bytesAvailable(), wire.size());
        QCOMPARE(client->readAll(), wire); // nothing before, between or after the replies
        QTEST(rig.queries, "queries");
        QCOMPARE(rig.replies.join(u'\r') + u'\r', QString::fromLatin1(wire)); // records shown
    }

    // One client at a time; however it leaves, the service is left waiting to close (not in
    // error), then listens again on the port last set and serves the next client.
    void clientLeaves_data() {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<bool>("reset");
        QTest::addColumn<bool>("portTaken"); // meanwhile, by another program: the poll retries
        QTest::newRow("close without a word") << QByteArray() << false << false;
        QTest::newRow("query, close at once") << QByteArray("KOLVAM?\r\n") << false << false;
        QTest::newRow("query, reset at once") << QByteArray("KOLVAM?\r\n") << true << false;
        QTest::newRow("reset during a long reply") << QByteArray("KOLVAM16?") << true << false;
        QTest::newRow("port taken meanwhile") << QByteArray() << false << true;
    }
    void clientLeaves() {
        QFETCH(QByteArray, query);
        QFETCH(bool, reset);
        QFETCH(bool, portTaken);
        Rig rig;
        rig.table.store(16, QString(1024 * 1024, u'x'));
        const quint16 port = rig.port;
        auto first = rig.client(1); // a long reply stalls half sent
        QTcpSocket second;
        second.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(second.error(), QAbstractSocket::ConnectionRefusedError);
        rig.portShown = QStringLiteral("1"); // edited, not applied by listening again
        rig.service.portEdited();
        auto squatter = std::make_unique<QTcpServer>();
        QVERIFY(!portTaken || squatter->listen(QHostAddress::LocalHost, port));

        first->write(query);
        first->flush();
        if (query.startsWith("KOLVAM16"))
            QTRY_VERIFY(first->bytesAvailable() > 0);
        const linger hard{reset, 0}; // on: closing sends a reset
        ::setsockopt(int(first->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        first->disconnectFromHost();
        // The rest of a reply goes to a gone peer: no crash, no SIGPIPE, no Error state.
        QVERIFY(QTest::qWaitFor([&] { return rig.poll() == u"Peer is closing the connection"; }));
        if (portTaken) {
            QCOMPARE(rig.poll(), QStringLiteral("Error"));
            squatter.reset();
            QCOMPARE(rig.poll(), QStringLiteral("Error"));
        }
        QCOMPARE(rig.poll(), QStringLiteral("Listening"));
        QVERIFY(rig.marker);
        QVERIFY(rig.shown.isEmpty());
        QCOMPARE(ask(*rig.client(), "KOLVAM01?"), QByteArray("record 1\r"));
    }

    // A restart drops the client; listening again right after closing never meets "address in
    // use". A failure is reported and leaves the port marker bold.
    void restart_data() {
        QTest::addColumn<QString>("portText"); // empty: a port another program holds
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("error"); // empty: none
        QTest::newRow("same port, twice") << "same" << QStringLiteral("Listening") << QString();
        QTest::newRow("port held")
            << QString() << QStringLiteral("Error") << "10048 Address already in use";
        QTest::newRow("port past 65535") << "65536" << QStringLiteral("Closed")
                                         << "10022 Invalid argument: the port must be 0 to 65535";
        QTest::newRow("past 32 bits") << "2147483647.5" << QStringLiteral("Closed") << "6 Overflow";
    }
    void restart() {
        QFETCH(QString, portText);
        QFETCH(QString, error);
        Rig rig;
        auto client = rig.client();
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost));
        rig.portShown = portText.isEmpty()    ? QString::number(holder.serverPort())
                        : portText == u"same" ? QString::number(rig.port)
                                              : portText;
        rig.service.portEdited();
        rig.service.restart();
        rig.service.restart();
        const Messages reports(error.isEmpty() ? 0 : 2,
                               {"Error in cmdAccept: " + error, MessageSink::Icon::None});
        QCOMPARE(rig.shown, reports);
        QCOMPARE(rig.marker, !error.isEmpty());
        QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(client->readAll(), QByteArray()); // dropped without a word
        QTEST(rig.poll(), "status");
        QTEST(rig.poll(), "status"); // the poll leaves a failed restart alone
        if (error.isEmpty())
            QCOMPARE(ask(*rig.client(), "KOLVAM02?"), QByteArray("record 2\r"));
    }

    void floodGetsLoneCarriageReturns() {
        Rig rig;
        auto client = rig.client();
        QByteArray junk(256 * 1024, '\0'); // no blank, CR, LF or '?': cleaning keeps it whole
        for (qsizetype i = 0; i < junk.size(); ++i)
            junk[i] = char(i % 129 == 0 ? 0 : 0x7f + i % 129);
        client->write(junk);
        QTRY_COMPARE_WITH_TIMEOUT(rig.queries.join(QString()).size(), junk.size(), 30000);
        QTRY_COMPARE(client->bytesAvailable(), rig.replies.size());
        QCOMPARE(client->readAll(), QByteArray(rig.replies.size(), '\r'));
        for (const QString &query : rig.queries)
            QVERIFY2(query.size() <= 64 * 1024, "one arrival is a bounded bite");
        QCOMPARE(ask(*client, "KOLVAM?"), QByteArray("record 0\r"));
    }

    void dropsClientThatNeverReads() {
        Rig rig;
        rig.table.store(0, QString(64 * 1024, u'x'));
        auto client = rig.client(1); // takes (almost) nothing out of the system's buffers
        for (int i = 0; i < 2000 && rig.poll() == u"Connected"; ++i) {
            client->write("KOLVAM?");
            QTRY_COMPARE(rig.replies.size(), i + 1);
        }
        QCOMPARE(rig.status, QStringLiteral("Peer is closing the connection"));
    }
};

QTEST_GUILESS_MAIN(TestQueryService)
#include "tst_query_service.moc"
