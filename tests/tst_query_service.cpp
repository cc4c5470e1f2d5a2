#include "query/query_service.h"
#include "query/query_socket.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <algorithm>
#include <memory>
#include <sys/socket.h>

using namespace kolva;

namespace {

struct Console : QueryConsole {
    void showQuery(const QString &text) override { queries << text; }
    void showReply(const QString &text) override { replies << text; }
    void showStatus(const QString &text) override { status = text; }
    void setPortMarker(bool pending) override { marker = pending; }
    QString portText() const override { return port; }
    QStringList queries, replies;
    QString status, port = QStringLiteral("0");
    bool marker = false;
};

struct Sink : MessageSink {
    void showMessage(const QString &text, Icon icon) override { shown << qMakePair(text, icon); }
    QList<QPair<QString, Icon>> shown;
};

// A query service on 127.0.0.1, on a port the system chose, answering "record N" for entry N.
struct Rig {
    Console console;
    Sink sink;
    ResponseTable table;
    QueryService service{table, console, sink, QHostAddress::LocalHost};

    Rig() {
        for (int entry = 0; entry < EntryCount; ++entry)
            table.store(entry, QStringLiteral("record %1").arg(entry));
    }
    bool start() { return !service.startListening() && state() == QuerySocket::Listening; }
    int state() { return service.tcpServer().state(); }
    quint16 port() { return quint16(service.tcpServer().localPort()); }
    QString poll() {
        service.ShowSocketState();
        return console.status;
    }
    // A client, once the service has accepted it.
    std::unique_ptr<QTcpSocket> client(qint64 readBufferSize = 0) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->setReadBufferSize(readBufferSize);
        socket->connectToHost(QHostAddress::LocalHost, port());
        static_cast<void>(QTest::qWaitFor([&] {
            return state() == QuerySocket::Connected &&
                   socket->state() == QAbstractSocket::ConnectedState;
        }));
        return socket;
    }
};

// Sends one query and returns the reply once it has fully come back.
QByteArray ask(QTcpSocket &client, const QByteArray &query, qsizetype replyBytes) {
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
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QStringList>("queries");
        QTest::addColumn<QStringList>("records");
        QTest::newRow("master") << QByteArrayList{"KOLVAM?\r\n"} << QByteArray("record 0\r")
                                << QStringList{"", "KOLVAM?"} << QStringList{"record 0"};
        QTest::newRow("lower case") << QByteArrayList{"kolvam05?\r\n"} << QByteArray("record 5\r")
                                    << QStringList{"", "kolvam05?"} << QStringList{"record 5"};
        QTest::newRow("split in two") << QByteArrayList{"KOLV", "AM?\r\n"} << QByteArray("\r\r")
                                      << QStringList{"", "KOLV", "", "AM?"} << QStringList{"", ""};
        QTest::newRow("two together")
            << QByteArrayList{"KOLVAM?\r\nKOLVAM01?\r\n"} << QByteArray("\r")
            << QStringList{"", "KOLVAM?KOLVAM01?"} << QStringList{""};
        const QByteArray binary("KOLVAM?\0\x80\xff", 10);
        QTest::newRow("bytes 0 and 0x80-0xFF")
            << QByteArrayList{binary, "KOLVAM16?"} << QByteArray("\rrecord 16\r")
            << QStringList{"", QString::fromLatin1(binary), "", "KOLVAM16?"}
            << QStringList{"", "record 16"};
    }
    void answersEachArrival() {
        QFETCH(QByteArrayList, pieces);
        QFETCH(QByteArray, wire);
        QFETCH(QStringList, queries);
        QFETCH(QStringList, records);

        Rig rig;
        QVERIFY(rig.start());
        auto client = rig.client();
        QCOMPARE(rig.poll(), QStringLiteral("Connected"));
        for (const QByteArray &piece : pieces) {
            const qsizetype answered = rig.console.replies.size();
            client->write(piece);
            QTRY_COMPARE(rig.console.replies.size(), answered + 1);
            rig.poll(); // sends nothing
        }
        QTRY_COMPARE(client->bytesAvailable(), wire.size());
        QCOMPARE(client->readAll(), wire); // nothing before, between or after the replies
        QCOMPARE(rig.console.queries, queries);
        QCOMPARE(rig.console.replies, records);
    }

    void servesOneClientAtATime() {
        Rig rig;
        QVERIFY(rig.start());
        const quint16 port = rig.port();
        auto first = rig.client();
        QCOMPARE(rig.state(), int(QuerySocket::Connected));
        QTcpSocket second;
        second.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(second.error(), QAbstractSocket::ConnectionRefusedError);

        rig.console.port = QStringLiteral("1"); // edited, not applied by listening again
        rig.service.txtPort_Change();
        first->disconnectFromHost();
        QTRY_COMPARE(rig.state(), int(QuerySocket::Closing));
        QCOMPARE(rig.poll(), QStringLiteral("Peer is closing the connection"));
        QCOMPARE(rig.poll(), QStringLiteral("Listening"));
        QCOMPARE(rig.port(), port);
        QVERIFY(rig.console.marker);
        QCOMPARE(ask(*rig.client(), "KOLVAM?\r\n", 9), QByteArray("record 0\r"));
    }

    void survivesRudeClients_data() {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<bool>("reset");
        QTest::newRow("query, close at once") << QByteArray("KOLVAM?\r\n") << false;
        QTest::newRow("query, reset at once") << QByteArray("KOLVAM?\r\n") << true;
        QTest::newRow("reset during a long reply") << QByteArray("KOLVAM16?") << true;
        QTest::newRow("close without a word") << QByteArray() << false;
    }
    void survivesRudeClients() {
        QFETCH(QByteArray, query);
        QFETCH(bool, reset);

        Rig rig;
        rig.table.store(16, QString(1024 * 1024, u'x'));
        QVERIFY(rig.start());
        auto rude = rig.client(1); // a long reply stalls half sent
        rude->write(query);
        rude->flush();
        if (query.startsWith("KOLVAM16"))
            QTRY_VERIFY(rude->bytesAvailable() > 0);
        if (reset) {
            const linger hard{1, 0}; // closing now sends a reset
            ::setsockopt(int(rude->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            rude->abort();
        } else {
            rude->disconnectFromHost();
        }
        // The rest of the reply goes to a gone peer: no crash, no SIGPIPE, no Error state.
        QTRY_COMPARE(rig.state(), int(QuerySocket::Closing));
        QCOMPARE(rig.poll(), QStringLiteral("Peer is closing the connection"));
        QCOMPARE(ask(*rig.client(), "KOLVAM01?", 9), QByteArray("record 1\r"));
    }

    void restartDropsClientAndListens() {
        Rig rig;
        QVERIFY(rig.start());
        auto client = rig.client();
        rig.console.port = QString::number(rig.port());
        rig.service.txtPort_Change();
        rig.service.cmdAccept_Click();
        rig.service.cmdAccept_Click(); // again right after closing: no "address in use"
        QVERIFY(rig.sink.shown.isEmpty());
        QVERIFY(!rig.console.marker);
        QCOMPARE(rig.state(), int(QuerySocket::Listening));
        QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(client->readAll(), QByteArray()); // dropped without a word
        QCOMPARE(ask(*rig.client(), "KOLVAM02?", 9), QByteArray("record 2\r"));
    }

    void restartFails_data() {
        QTest::addColumn<QString>("portText"); // empty: a port another program holds
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("status");
        QTest::newRow("port held") << QString() << "10048 Address already in use"
                                   << "Error";
        QTest::newRow("port past 65535") << "65536"
                                         << "10022 Invalid argument: the port must be 0 to 65535"
                                         << "Closed";
        QTest::newRow("past 32 bits") << "2147483647.5"
                                      << "6 Overflow"
                                      << "Closed";
    }
    void restartFails() {
        QFETCH(QString, portText);
        QFETCH(QString, error);
        QFETCH(QString, status);

        Rig rig;
        QVERIFY(rig.start());
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost));
        rig.console.port = portText.isEmpty() ? QString::number(holder.serverPort()) : portText;
        rig.service.txtPort_Change();
        rig.service.cmdAccept_Click();
        QCOMPARE(rig.sink.shown,
                 (QList{qMakePair("Error in cmdAccept: " + error, MessageSink::Icon::None)}));
        QVERIFY(rig.console.marker);
        QCOMPARE(rig.poll(), status);
        QCOMPARE(rig.poll(), status); // down until the next restart

        // The start-up clears the marker first and leaves the report to its caller.
        Rig startup;
        startup.console.port = rig.console.port;
        startup.console.marker = true;
        const std::optional<OperationError> failed = startup.service.startListening();
        QVERIFY(failed);
        QCOMPARE(QString::number(failed->number) + u' ' + failed->description, error);
        QVERIFY(!startup.console.marker);
        QVERIFY(startup.sink.shown.isEmpty());
    }

    void retriesWhenPortTakenMeanwhile() {
        Rig rig;
        QVERIFY(rig.start());
        auto client = rig.client();
        auto squatter = std::make_unique<QTcpServer>();
        QVERIFY(squatter->listen(QHostAddress::LocalHost, rig.port()));
        client->disconnectFromHost();
        QTRY_COMPARE(rig.state(), int(QuerySocket::Closing));
        QCOMPARE(rig.poll(), QStringLiteral("Peer is closing the connection"));
        QCOMPARE(rig.poll(), QStringLiteral("Error"));
        squatter.reset();
        QCOMPARE(rig.poll(), QStringLiteral("Error"));
        QCOMPARE(rig.poll(), QStringLiteral("Listening"));
        QVERIFY(rig.sink.shown.isEmpty());
    }

    void floodGetsLoneCarriageReturns() {
        Rig rig;
        QVERIFY(rig.start());
        auto client = rig.client();
        QByteArray junk(1024 * 1024, '\0'); // no blank, CR, LF or '?': cleaning keeps it whole
        for (qsizetype i = 0; i < junk.size(); ++i)
            junk[i] = char(i % 129 == 0 ? 0 : 0x7f + i % 129);
        client->write(junk);

        const auto taken = [&] {
            qsizetype bytes = 0;
            for (const QString &query : rig.console.queries)
                bytes += query.size();
            return bytes;
        };
        QTRY_COMPARE_WITH_TIMEOUT(taken(), junk.size(), 30000);
        QTRY_COMPARE(client->bytesAvailable(), rig.console.replies.size());
        QCOMPARE(client->readAll(), QByteArray(rig.console.replies.size(), '\r'));
        for (const QString &query : rig.console.queries)
            QVERIFY2(query.size() <= 64 * 1024, "one arrival is a bounded bite");
        QCOMPARE(ask(*client, "KOLVAM?", 9), QByteArray("record 0\r"));
    }

    void dropsClientThatNeverReads() {
        Rig rig;
        rig.table.store(0, QString(64 * 1024, u'x'));
        QVERIFY(rig.start());
        auto client = rig.client(1); // takes (almost) nothing out of the system's buffers
        QSignalSpy arrivals(&rig.service.tcpServer(), &QuerySocket::dataArrival);
        for (int i = 0; i < 2000 && rig.state() == QuerySocket::Connected; ++i) {
            client->write("KOLVAM?");
            QVERIFY(arrivals.wait(5000));
        }
        QCOMPARE(rig.state(), int(QuerySocket::Closing));
    }

    void pollRunsUntilShutdown() {
        Rig rig;
        QVERIFY(rig.start());
        rig.service.startStatusPoll(10);
        QTRY_COMPARE(rig.console.status, QStringLiteral("Listening"));
        auto client = rig.client();
        QTRY_COMPARE(rig.console.status, QStringLiteral("Connected"));
        rig.service.shutdown();
        QCOMPARE(rig.state(), int(QuerySocket::Closed));
        QTRY_COMPARE(client->state(), QAbstractSocket::UnconnectedState);
        QTcpServer next;
        QVERIFY(next.listen(QHostAddress::LocalHost, rig.port())); // the port is free
    }

    void portFromText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("port"); // -1: overflow
        QTest::newRow("letters after") << "80abc" << 80;
        QTest::newRow("half down to even") << "80.5" << 80;
        QTest::newRow("half up to even") << "81.5" << 82;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("smallest, half to even") << "-2147483648.5" << int(-2147483648LL);
        QTest::newRow("past largest") << "2147483647.5" << -1;
        QTest::newRow("past smallest") << "-2147483649" << -1;
    }
    void portFromText() {
        QFETCH(QString, text);
        QFETCH(int, port);
        OperationError error;
        const std::optional<qint32> result = PortFromText(text, &error);
        QCOMPARE(result.value_or(-1), port);
        QCOMPARE(error.number, port == -1 ? 6 : 0);
    }
};

QTEST_GUILESS_MAIN(TestQueryService)
#include "tst_query_service.moc"
