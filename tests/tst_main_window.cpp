#include "query/query_socket.h"
#include "ui/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <utility>

using namespace kolva;

namespace {

struct RecordingSink : MessageSink {
    QStringList messages;
    void showMessage(const QString &text, Icon) override { messages << text; }
};

struct OneAddressResolver : HostResolver {
    std::optional<QString> hostName(int *) override { return QStringLiteral("bench"); }
    std::optional<QList<Ipv4Address>> resolve(const QString &, int *) override {
        return QList<Ipv4Address>{{10, 0, 0, 7}};
    }
    QList<Ipv4Address> interfaceAddresses() override { return {}; }
};

// A host whose name resolves nowhere, as in a bare container.
struct UnresolvedHost : HostResolver {
    std::optional<QString> hostName(int *) override { return QStringLiteral("nowhere"); }
    std::optional<QList<Ipv4Address>> resolve(const QString &, int *error) override {
        *error = 11001;
        return std::nullopt;
    }
    QList<Ipv4Address> interfaceAddresses() override { return {}; }
};

// A message box that nobody clicks: its event loop runs until the test is done with it.
struct WaitingBox : MessageSink {
    QStringList messages;
    std::function<void()> whileShown;
    void showMessage(const QString &text, Icon) override {
        messages << text;
        if (whileShown)
            std::exchange(whileShown, nullptr)();
    }
};

// One query on a fresh connection, retried while nothing listens: the reply, or empty.
QByteArray Ask(quint16 port, const QByteArray &query) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        if (!QTest::qWaitFor([&] { return client.state() != QAbstractSocket::ConnectingState; }) ||
            client.state() != QAbstractSocket::ConnectedState) {
            QTest::qWait(5);
            continue;
        }
        client.write(query);
        QByteArray reply;
        return QTest::qWaitFor([&] { return (reply += client.readAll()).endsWith('\r'); })
                   ? reply
                   : QByteArray();
    }
    return {};
}

struct NoBrowser : UrlOpener {
    bool open(const QUrl &) override { return false; }
};

// The real window on loopback, its timers left to the test.
struct Console {
    RecordingSink sink;
    OneAddressResolver resolver;
    NoBrowser browser;
    frmServer window;

    explicit Console(const QString &port = QStringLiteral("0"), int intervalMs = 3'600'000)
        : window(ServerEnvironment{port, QHostAddress(QHostAddress::LocalHost), intervalMs, &sink,
                                   &resolver, &browser}) {
        window.Form_Load();
    }

    template <typename T> T *get(const QString &name) {
        T *widget = window.findChild<T *>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }
    QLineEdit *master(int i) { return get<QLineEdit>(QStringLiteral("txtSensor(%1)").arg(i)); }
    QLineEdit *slave(int i) { return get<QLineEdit>(QStringLiteral("txtSensor2(%1)").arg(i)); }
    bool bold(const QString &button) { return get<QPushButton>(button)->font().bold(); }
    const QString &record(int entry) { return window.responseTable().record(entry); }
    void type(QWidget *field, const QString &text) {
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->clear();
        QTest::keyClicks(field, text);
    }
    void click(const QString &button) { get<QPushButton>(button)->click(); }
    bool markers(bool master, bool slave) {
        return bold(QStringLiteral("cmdSetMaster")) == master &&
               bold(QStringLiteral("cmdSetSlave")) == slave;
    }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startUp() {
        Console console;
        QVERIFY(console.markers(false, false));
        QVERIFY(!console.bold(QStringLiteral("cmdAccept")));
        QVERIFY(!console.window.installation().setAllPending(Bank::Master));
        QVERIFY(!console.window.installation().setAllPending(Bank::Slave));
        QCOMPARE(console.window.installation().unitSuffix(), QStringLiteral("C,"));
        QCOMPARE(console.master(0)->text(), QStringLiteral("25.0"));
        QCOMPARE(console.master(16)->text(), QStringLiteral("26.6"));
        QCOMPARE(console.slave(16)->text(), QStringLiteral("33.6"));
        QVERIFY(console.record(0).startsWith(
            QStringLiteral("REZU DOZURUZ UNIT, Kolva0_Master, C, T1=25.0, T2=25.1,")));
        QVERIFY(console.record(16).endsWith(QStringLiteral("Kolva16, C, T1=32.0, T2=32.1, T3=32.2, "
                                                           "T4=32.3, T5=32.4, T6=32.5, T7=32.6, "
                                                           "T8=32.7, T9=32.8, T10=32.9, T11=33.0, "
                                                           "T12=33.1, T13=33.2, T14=33.3, "
                                                           "T15=33.4, T16=33.5, Amb=33.6")));
        QCOMPARE(console.get<QLabel>(QStringLiteral("lblHostIP"))->text(),
                 QStringLiteral("10.0.0.7"));
        QCOMPARE(console.get<QLabel>(QStringLiteral("lblStatus"))->text(),
                 QStringLiteral("Booting"));
        QVERIFY(console.sink.messages.isEmpty());
        for (const char *hidden : {"txtPort", "cmdAccept", "lblPort"})
            QVERIFY(
                !console.get<QWidget>(QString::fromLatin1(hidden))->isVisibleTo(&console.window));
        console.window.Timer1_Timer();
        QCOMPARE(console.get<QLabel>(QStringLiteral("lblStatus"))->text(),
                 QStringLiteral("Listening"));
    }

    void statusPollRunsByItself() {
        Console console(QStringLiteral("0"), 20);
        QTRY_COMPARE(console.get<QLabel>(QStringLiteral("lblStatus"))->text(),
                     QStringLiteral("Listening"));
    }

    void portTakenAtStartUp() {
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost));
        Console console(QString::number(holder.serverPort()));
        QCOMPARE(console.sink.messages.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+: \\S.*$"))
                     .match(console.sink.messages.first())
                     .hasMatch(),
                 qPrintable(console.sink.messages.first()));
        QVERIFY(console.get<QLabel>(QStringLiteral("lblHostIP"))->text().isEmpty());
        console.window.Timer1_Timer();
        QVERIFY(console.get<QLabel>(QStringLiteral("lblStatus"))->text() !=
                QStringLiteral("Listening"));
        QVERIFY(console.record(0).startsWith(QStringLiteral("REZU DOZURUZ UNIT, Kolva0_Master")));
    }

    void servesWhileStartUpMessageWaits() {
        WaitingBox box;
        UnresolvedHost resolver;
        NoBrowser browser;
        frmServer window(ServerEnvironment{QStringLiteral("0"), QHostAddress(QHostAddress::LocalHost),
                                           20, &box, &resolver, &browser});
        window.findChild<QCheckBox *>(QStringLiteral("chkRamp"))->setChecked(true);
        window.findChild<QLineEdit *>(QStringLiteral("txtSeconds"))->setText(QStringLiteral("0"));
        QStringList replies;
        bool ramped = false;
        box.whileShown = [&] {
            const quint16 port = window.queryService().tcpServer().localPort();
            for (int client = 0; client < 3; ++client)
                replies << QString::fromLatin1(Ask(port, "KOLVAM?"));
            const QString before = window.responseTable().record(0);
            ramped = QTest::qWaitFor([&] { return window.responseTable().record(0) != before; });
        };
        window.Form_Load();
        QCOMPARE(box.messages, QStringList{QStringLiteral("Authoritative answer host not found.")});
        QCOMPARE(replies.size(), 3);
        for (const QString &reply : replies)
            QVERIFY2(reply.startsWith(QStringLiteral("REZU DOZURUZ UNIT, Kolva0_Master, C, ")) &&
                         reply.endsWith(u'\r'),
                     qPrintable(reply));
        QVERIFY(ramped);
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("lblHostIP"))->text(),
                 QStringLiteral("255.255.255.0"));
    }

    void typingMarksOnlyItsBank() {
        Console console;
        const QString before = console.record(0);
        console.type(console.master(4), QStringLiteral("9"));
        QVERIFY(console.markers(true, false));
        QCOMPARE(console.record(0), before);
        console.click(QStringLiteral("cmdSetMaster"));
        QVERIFY(console.markers(false, false));
        QVERIFY(console.record(0).contains(QStringLiteral(" T5=9.0,")));
    }

    void setAllArming() {
        Console console;
        // Armed across reading edits; the fill then overwrites them.
        console.type(console.get<QLineEdit>(QStringLiteral("txtSetAllMaster")),
                     QStringLiteral("30"));
        console.type(console.master(2), QStringLiteral("77"));
        console.type(console.get<QLineEdit>(QStringLiteral("txtSetAllMaster2")),
                     QStringLiteral("abc"));
        QVERIFY(console.window.installation().setAllPending(Bank::Master));
        console.click(QStringLiteral("cmdSetMaster"));
        QCOMPARE(console.master(2)->text(), QStringLiteral("30.2"));
        QVERIFY(!console.window.installation().setAllPending(Bank::Master));
        QVERIFY(console.window.installation().setAllPending(Bank::Slave));
        QVERIFY(console.markers(false, true));
        // Not a number: consumed all the same, fields kept.
        console.click(QStringLiteral("cmdSetSlave"));
        QVERIFY(!console.window.installation().setAllPending(Bank::Slave));
        QCOMPARE(console.slave(0)->text(), QStringLiteral("32.0"));
        // Picking an "Increment" item arms the fill.
        auto *increment = console.get<QComboBox>(QStringLiteral("cboIncrement2"));
        increment->setFocus();
        QTest::keyClick(increment, Qt::Key_Down);
        QVERIFY(console.window.installation().setAllPending(Bank::Slave));
        QVERIFY(console.markers(false, true));
        QVERIFY(!console.window.installation().setAllPending(Bank::Master));
    }

    void faultButtons() {
        Console console;
        const QString before = console.record(0);
        console.click(QStringLiteral("cmdSetComErMaster"));
        QCOMPARE(console.master(16)->text(), ComErWord);
        QVERIFY(console.markers(true, false));
        QVERIFY(!console.window.installation().setAllPending(Bank::Master));
        QCOMPARE(console.record(0), before);

        console.get<QCheckBox>(QStringLiteral("chkRamp"))->setChecked(true);
        console.type(console.get<QLineEdit>(QStringLiteral("txtSeconds")), QStringLiteral("1"));
        console.window.TimerRamp_Timer();
        QVERIFY(console.record(0).endsWith(QStringLiteral(" T16=ComEr, Amb=ComEr")));
        QVERIFY(console.markers(true, false));
        console.click(QStringLiteral("cmdSetMaster"));
        QVERIFY(console.record(0).endsWith(QStringLiteral(" T16=0.0, Amb=0.0")));
        QCOMPARE(console.master(0)->text(), ComErWord);
    }

    void unitSwitch() {
        Console console;
        console.click(QStringLiteral("cmdSetOpenSlave"));
        console.type(console.get<QLineEdit>(QStringLiteral("txtSetAllMaster")),
                     QStringLiteral("10"));
        console.get<QRadioButton>(QStringLiteral("optF"))->click();
        QCOMPARE(console.window.installation().unitSuffix(), QStringLiteral("F,"));
        QCOMPARE(console.master(0)->text(), QStringLiteral("10"));
        QCOMPARE(console.slave(0)->text(), OpenWord);
        QVERIFY(console.record(0).startsWith(
            QStringLiteral("REZU DOZURUZ UNIT, Kolva0_Master, F, T1=10.0,")));
        QVERIFY(console.markers(false, false));

        const QString record = console.record(0);
        console.get<QRadioButton>(QStringLiteral("optF"))->click();
        QCOMPARE(console.record(0), record);
        console.get<QRadioButton>(QStringLiteral("optC"))->click();
        QCOMPARE(console.master(0)->text(), QStringLiteral("-12.22222"));
    }

    void rampAndCommits() {
        Console console;
        console.get<QCheckBox>(QStringLiteral("chkRamp"))->setChecked(true);
        console.type(console.get<QLineEdit>(QStringLiteral("txtSeconds")), QStringLiteral("2"));
        console.window.TimerRamp_Timer();
        console.window.cmdSetSlave_Click();
        console.window.TimerRamp_Timer();
        QCOMPARE(console.master(0)->text(), QStringLiteral("26"));
        QVERIFY(console.markers(false, false));
        console.window.TimerRamp_Timer();
        console.window.cmdSetMaster_Click();
        console.window.TimerRamp_Timer();
        QCOMPARE(console.master(0)->text(), QStringLiteral("26"));
        console.window.TimerRamp_Timer();
        QCOMPARE(console.master(0)->text(), QStringLiteral("27"));
    }

    void longReadingIsNotCut() {
        Console console;
        const QString text(40000, QLatin1Char('7'));
        console.master(1)->setText(text);
        QCOMPARE(console.master(1)->text().size(), text.size());
    }

    void accessibleNames() {
        Console console;
        QStringList expected;
        for (const QString &bank : {QStringLiteral("Master"), QStringLiteral("Slave")}) {
            for (int i = 1; i <= 16; ++i)
                expected << bank + QStringLiteral(" T%1").arg(i);
            for (const char *name :
                 {" Amb", " Set All Sensors", " Increment", " OPEN", " COMER", " Accept Changes"})
                expected << bank + QString::fromLatin1(name);
        }
        expected << QStringLiteral("Ramp Enabled") << QStringLiteral("Ramp Seconds")
                 << QStringLiteral("Ramp Amount") << QStringLiteral("Celsius")
                 << QStringLiteral("Fahrenheit") << QStringLiteral("Output")
                 << QStringLiteral("Input");
        QStringList names;
        for (const QWidget *widget : console.window.findChildren<QWidget *>())
            if (!widget->accessibleName().isEmpty() &&
                widget->accessibleName() != widget->parentWidget()->accessibleName())
                names << widget->accessibleName();
        for (const char *combo : {"cboIncrement", "cboIncrement2"}) {
            const auto *box = console.get<QComboBox>(QString::fromLatin1(combo));
            QCOMPARE(box->lineEdit()->accessibleName(), box->accessibleName());
        }
        for (const QString &name : expected)
            QCOMPARE(names.count(name), 1);
        QCOMPARE(console.get<QLabel>(QStringLiteral("lblStatus"))->accessibleDescription(),
                 QStringLiteral("Status"));
    }

    void exitStopsServing() {
        Console console;
        console.window.show();
        const quint16 port = console.window.queryService().tcpServer().localPort();
        console.window.mnuExit_Click();
        QVERIFY(!console.window.isVisible());
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(!client.waitForConnected(2000));
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
