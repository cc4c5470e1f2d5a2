// The operator window as an operator and a client use it: real widgets, timers at 20 ms, and
// real clients on a loopback port bound beforehand, as Server binds port 23.

#include "fakes.h"
#include "ui/main_window.h"
#include "version.h"

#include <QtWidgets>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

using namespace kolva;

namespace {

quint16 freePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// A loopback socket bound to the port, not listening (bound to port 0, it would move at every
// listen).
int boundSocket(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    return fd;
}

// Connects, retried while refused: after a client leaves, nothing listens until the next poll.
bool connectTo(QTcpSocket &client, quint16 port) {
    return QTest::qWaitFor([&] {
        client.abort();
        client.connectToHost(QHostAddress::LocalHost, port);
        return client.waitForConnected(1000);
    });
}

// What comes back up to the first CR, the CR included; empty if nothing does.
QByteArray ask(QTcpSocket &client, const QByteArray &query) {
    QByteArray reply;
    client.write(query);
    const bool answered = QTest::qWaitFor([&] {
        reply += client.readAll();
        return reply.contains('\r');
    });
    return answered ? reply : QByteArray();
}

// The query for a record, as a client spells it.
QByteArray queryFor(int entry) {
    return entry ? "KOLVAM" + QByteArray::number(entry).rightJustified(2, '0') + '?' : "KOLVAM?";
}

struct Console {
    fake::Messages box;
    fake::Resolver resolver;
    fake::Browser browser;
    quint16 port = freePort();
    OperatorWindow window{
        {QString::number(port), QHostAddress::LocalHost, 20, {port, boundSocket(port), 0}},
        box,
        resolver,
        browser};
    QTcpSocket client;

    template <typename T = QWidget> T *get(const QString &name) {
        T *control = window.findChild<T *>(name);
        if (!control)
            qFatal("the window has no %s", qPrintable(name));
        return control;
    }
    QString text(const QString &name) { return get<QObject>(name)->property("text").toString(); }
    // The record, asked on the client's connection, connected first where it must.
    QString record(int entry) {
        if (client.state() != QAbstractSocket::ConnectedState && !connectTo(client, port))
            return u"(refused)"_s;
        return QString::fromUtf8(ask(client, queryFor(entry))).chopped(1);
    }
};

// What the program sets, a line per named object in creation order: class, name, "text",
// [accessible name], {description}, >buddy, @row,column+rows,columns in its grid, and its state.
// The reading fields and their captions follow a rule of their own (see structure()).
void describe(const QObject *object, QStringList &lines, int depth = 0) {
    const QString name = object->objectName();
    const auto *widget = qobject_cast<const QWidget *>(object);
    const bool described = !name.isEmpty() && !name.startsWith(u"qt_") && !name.startsWith(u'_') &&
                           !name.contains(u"Sensor");
    if (described) {
        QString line = QString(depth, u' ') + object->metaObject()->className() + u' ' + name;
        for (const char *property : {"windowTitle", "title", "text", "currentText"})
            if (const QString text = object->property(property).toString(); !text.isEmpty())
                line += u" \""_s + text + u'"';
        if (const QString accessible = object->property("accessibleName").toString();
            !accessible.isEmpty())
            line += u" ["_s + accessible + u']';
        if (const QString description = object->property("accessibleDescription").toString();
            !description.isEmpty())
            line += u" {"_s + description + u'}';
        if (const auto *label = qobject_cast<const QLabel *>(object); label && label->buddy())
            line += u" >"_s + label->buddy()->objectName();
        const QWidget *parent = widget ? widget->parentWidget() : nullptr;
        for (const QGridLayout *grid :
             parent ? parent->findChildren<QGridLayout *>() : QList<QGridLayout *>()) {
            int row, column, rows, columns;
            if (const int index = grid->indexOf(widget); index >= 0) {
                grid->getItemPosition(index, &row, &column, &rows, &columns);
                line += u" @%1,%2+%3,%4"_s.arg(row).arg(column).arg(rows).arg(columns);
            }
        }
        for (const char *state : {"checked", "readOnly"})
            if (object->property(state).toBool())
                line += u' ' + QLatin1String(state);
        if (widget && widget->isHidden() && !widget->isWindow())
            line += u" hidden"_s;
        if (const auto *timer = qobject_cast<const QTimer *>(object))
            line += u" every %1 ms"_s.arg(timer->interval());
        if (widget && widget->font().underline())
            line += u" underlined "_s + widget->palette().color(QPalette::WindowText).name();
        lines << line;
    }
    for (const QObject *child : object->children())
        if (!child->isWidgetType() || !static_cast<const QWidget *>(child)->isWindow() ||
            child->inherits("QMenu"))
            describe(child, lines, depth + (described ? 1 : 0));
}

QWidget *aboutWindow() {
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->objectName() == u"frmAbout" && window->isVisible())
            return window;
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void structure();
    void startUp_data();
    void startUp();
    void servesWhileAMessageWaits();
    void queries_data();
    void queries();
    void operatorActions_data();
    void operatorActions();
    void oneClientAtATime();
    void restart_data();
    void restart();
    void misbehavingClients();
    void aboutAndExit();
};

// Both windows against tests/golden/window.txt. The reading fields: "<Bank> T1" to "<Bank>
// T16" and "<Bank> Amb", T1-T8 down the left, T9-T16 and Amb on the right, each after its
// caption, whose buddy it is. Tab walks the controls in creation order, and assistive
// technology finds each by a name of its own.
void TestMainWindow::structure() {
    Console console;
    console.window.startServing();
    console.get<QAction>(u"mnuAbout"_s)->trigger();
    QStringList lines;
    describe(&console.window, lines);
    describe(aboutWindow(), lines);
    aboutWindow()->close();
    QFile golden(QStringLiteral(KOLVA_GOLDEN_DIR "/window.txt"));
    QVERIFY(golden.open(QIODevice::ReadOnly));
    const QStringList expected = QString::fromUtf8(golden.readAll()).split(u'\n');
    for (int i = 0; i < qMax(lines.size(), expected.size() - 1); ++i)
        QCOMPARE(lines.value(i)
                     .replace(QString::number(console.port), u"PORT"_s)
                     .replace(QStringLiteral(KOLVA_VERSION), u"VERSION"_s),
                 expected.value(i));

    for (const QString &bank : {u"Master"_s, u"Slave"_s}) {
        for (int i = 0; i < ReadingCount; ++i) {
            const QString channel = i == AmbientIndex ? u"Amb"_s : QString::number(i + 1);
            auto *field = console.get<QLineEdit>(
                (bank == u"Master" ? u"txtSensor(%1)"_s : u"txtSensor2(%1)"_s).arg(i));
            QCOMPARE(field->accessibleName(),
                     bank + (i == AmbientIndex ? u" "_s : u" T"_s) + channel);
            auto *grid = static_cast<QGridLayout *>(field->parentWidget()->layout());
            int row, column, rows, columns;
            grid->getItemPosition(grid->indexOf(field), &row, &column, &rows, &columns);
            QCOMPARE(QPoint(column, row), i < 8 ? QPoint(1, i) : QPoint(3, i - 8));
            auto *caption =
                qobject_cast<QLabel *>(grid->itemAt(grid->indexOf(field) - 1)->widget());
            QCOMPARE(caption->text(), channel);
            QCOMPARE(caption->buddy(), field);
        }
    }

    QStringList created, walked, names;
    for (QWidget *control : console.window.findChildren<QWidget *>())
        if (control->focusPolicy() & Qt::TabFocus && control->isVisibleTo(&console.window) &&
            !qobject_cast<QComboBox *>(control->parent()))
            created << control->objectName();
    for (QWidget *control = console.window.nextInFocusChain(); control != &console.window;
         control = control->nextInFocusChain())
        if (created.contains(control->objectName())) {
            walked << control->objectName();
            names << control->accessibleName();
        }
    QCOMPARE(walked, created);
    QVERIFY2(!names.contains(QString()), "a control without an accessible name");
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
}

void TestMainWindow::startUp_data() {
    QTest::addColumn<bool>("portTaken");
    QTest::addColumn<int>("resolveError");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("hostAddress");
    QTest::addColumn<QString>("status");
    QTest::newRow("the host address is shown without a word")
        << false << 0 << QStringList() << u"10.0.0.7"_s << u"Listening"_s;
    QTest::newRow("a host name that resolves nowhere is told, and shows 255.255.255.0")
        << false << 11001 << QStringList{u"!Authoritative answer host not found."_s}
        << u"255.255.255.0"_s << u"Listening"_s;
    QTest::newRow("a port taken at start-up is told, and skips the host address")
        << true << 0 << QStringList{u"10048: Address already in use"_s} << QString() << u"Error"_s;
}

void TestMainWindow::startUp() {
    QFETCH(bool, portTaken);
    QFETCH(int, resolveError);
    QFETCH(QString, status);
    Console console;
    QTcpServer squatter;
    if (portTaken)
        QVERIFY(squatter.listen(QHostAddress::LocalHost, console.port));
    console.resolver.resolveError = resolveError;
    console.window.startServing();
    QTEST(console.box.shown, "messages");
    QTEST(console.text(u"lblHostIP"_s), "hostAddress");
    QCOMPARE(console.text(u"lblStatus"_s), u"Booting"_s);
    QTRY_COMPARE(console.text(u"lblStatus"_s), status);
}

// Headless nobody clicks a box: while the start-up's message waits, a client after a client
// gets the records of a fresh start, and the ramp steps.
void TestMainWindow::servesWhileAMessageWaits() {
    Console console;
    console.resolver.resolveError = 11001;
    QStringList records;
    QString stepped;
    bool rampStepped = false;
    console.box.whileShown = [&] {
        for (int entry = 0; entry < EntryCount; ++entry) {
            records << console.record(entry);
            console.client.disconnectFromHost();
        }
        console.get<QLineEdit>(u"txtSeconds"_s)->setText(u"0"_s);
        console.get<QCheckBox>(u"chkRamp"_s)->setChecked(true);
        rampStepped = QTest::qWaitFor([&] {
            stepped = console.record(0);
            return stepped.contains(u" T1=26,"_s);
        });
    };
    console.window.startServing();
    QCOMPARE(records, fake::defaultRecords());
    QVERIFY2(rampStepped, qPrintable(stepped));
}

void TestMainWindow::queries_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shownQuery");
    QTest::addColumn<QString>("shownReply");
    const QString last = fake::defaultRecords().value(16);
    QTest::newRow("a known query gets its record and one CR; both are shown")
        << QByteArray("kolvam16?\r\n") << (last + u'\r').toUtf8() << u"kolvam16?"_s << last;
    QTest::newRow("an unknown query gets a lone CR, and no record is shown")
        << QByteArray("KOLVAM?\xff") << QByteArray("\r") << u"KOLVAM?\u00ff"_s << QString();
}

void TestMainWindow::queries() {
    QFETCH(QByteArray, sent);
    Console console;
    console.window.startServing();
    QVERIFY(connectTo(console.client, console.port));
    QTEST(ask(console.client, sent), "reply");
    QTRY_VERIFY(console.get(u"txtOutput"_s)->updatesEnabled()); // repainted since
    QTEST(console.text(u"txtOutput"_s), "shownQuery");
    QTEST(console.text(u"txtSendData"_s), "shownReply");
}

// Type into a field, click controls in turn (a combo box: pick the item it shows); then the
// record holds the piece, and only the Accept button named is bold.
void TestMainWindow::operatorActions_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("clicks");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("piece");
    QTest::addColumn<QString>("bold");
    const QString master = u"cmdSetMaster"_s, slave = u"cmdSetSlave"_s;
    QTest::newRow("an edit marks its bank and is not published yet")
        << u"txtSensor(0)"_s << u"50"_s << QStringList() << 0 << u" T1=25.0,"_s << master;
    QTest::newRow("Accept Changes publishes its bank with one decimal and clears the mark")
        << u"txtSensor(4)"_s << u"9"_s << QStringList{master} << 0 << u" T5=9.0,"_s << QString();
    QTest::newRow("the slave bank feeds every slave unit")
        << u"txtSensor2(16)"_s << u"7"_s << QStringList{slave} << 9 << u" Amb=7.0"_s << QString();
    QTest::newRow("a fault button marks its bank and is not published yet")
        << QString() << QString() << QStringList{u"cmdSetComErSlave"_s} << 1 << u" T1=32.0,"_s
        << slave;
    QTest::newRow("a fault word is published by Accept Changes as 0.0")
        << QString() << QString() << QStringList{u"cmdSetOpenMaster"_s, master} << 0
        << u" Amb=0.0"_s << QString();
    QTest::newRow("Set All Sensors fills the bank, rising by the increment")
        << u"txtSetAllMaster"_s << u"30"_s << QStringList{master} << 0 << u" T1=30.0, T2=30.1,"_s
        << QString();
    QTest::newRow("a typed increment arms the fill")
        << u"cboIncrement2"_s << u"1"_s << QStringList{slave} << 2 << u" T2=33.0,"_s << QString();
    QTest::newRow("picking the increment shown arms the fill, which wins over an edit")
        << u"txtSensor2(1)"_s << u"50"_s << QStringList{u"cboIncrement2"_s, slave} << 2
        << u" T2=32.1,"_s << QString();
    QTest::newRow("Fahrenheit converts and publishes both banks")
        << QString() << QString() << QStringList{u"optF"_s} << 1 << u" F, T1=89.6,"_s << QString();
    QTest::newRow("Celsius converts back")
        << QString() << QString() << QStringList{u"optF"_s, u"optC"_s} << 0 << u" C, T1=25.0,"_s
        << QString();
    QTest::newRow("a ramp step publishes the fields as they stand, edits included")
        << u"txtSensor(0)"_s << u"50"_s << QStringList{u"chkRamp"_s} << 0 << u" T1=51, T2=26.1,"_s
        << master;
    QTest::newRow("a port edit marks Accept")
        << u"txtPort"_s << u"1"_s << QStringList() << 0 << u" T1=25.0,"_s << u"cmdAccept"_s;
}

void TestMainWindow::operatorActions() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QStringList, clicks);
    QFETCH(int, entry);
    QFETCH(QString, piece);
    QFETCH(QString, bold);
    Console console;
    console.window.startServing();
    if (!field.isEmpty()) {
        auto *combo = console.window.findChild<QComboBox *>(field);
        QLineEdit *edit = combo ? combo->lineEdit() : console.get<QLineEdit>(field);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    for (const QString &name : clicks) {
        if (auto *combo = console.window.findChild<QComboBox *>(name))
            Q_EMIT combo->activated(combo->currentIndex());
        else
            console.get<QAbstractButton>(name)->click();
    }
    QTRY_VERIFY2(console.record(entry).contains(piece), qPrintable(console.record(entry)));
    for (const QString &button : {u"cmdSetMaster"_s, u"cmdSetSlave"_s, u"cmdAccept"_s})
        QVERIFY2(console.get(button)->font().bold() == (button == bold), qPrintable(button));
}

// While one client is connected a second is refused. Once it leaves, one poll shows it, and
// the next listens again on the same port. Dead peers are probed for.
void TestMainWindow::oneClientAtATime() {
    Console console;
    console.window.startServing();
    QVERIFY(connectTo(console.client, console.port));
    QTRY_COMPARE(console.text(u"lblStatus"_s), u"Connected"_s);

    const int accepted = int(console.window.findChild<QTcpSocket *>()->socketDescriptor());
    const auto option = [accepted](int level, int name) {
        int value = 0;
        socklen_t size = sizeof value;
        ::getsockopt(accepted, level, name, &value, &size);
        return value;
    };
    QCOMPARE(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    QCOMPARE(option(IPPROTO_TCP, TCP_KEEPIDLE), 60);
    QCOMPARE(option(IPPROTO_TCP, TCP_KEEPINTVL), 10);
    QCOMPARE(option(IPPROTO_TCP, TCP_KEEPCNT), 3);
    QCOMPARE(option(IPPROTO_TCP, TCP_USER_TIMEOUT), 90000);

    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, console.port);
    QVERIFY(!second.waitForConnected(1000));
    QCOMPARE(second.error(), QAbstractSocket::ConnectionRefusedError);

    QStringList polled;
    connect(console.get<QTimer>(u"Timer1"_s), &QTimer::timeout, this,
            [&] { polled << console.text(u"lblStatus"_s); });
    console.get<QLineEdit>(u"txtPort"_s)->setText(u"1"_s); // applied by a restart only
    console.client.disconnectFromHost();
    QTRY_VERIFY(polled.contains(u"Listening"_s));
    polled.removeDuplicates();
    if (polled.value(0) == u"Connected") // a poll came before the departure was seen
        polled.removeFirst();
    QCOMPARE(polled, (QStringList{u"Peer is closing the connection"_s, u"Listening"_s}));
    QVERIFY(connectTo(second, console.port));
    QCOMPARE(ask(second, "KOLVAM07?"), ask(second, "KOLVAM07?")); // served as long as it stays
    QCOMPARE(second.state(), QAbstractSocket::ConnectedState);
    QTRY_COMPARE(console.window.findChildren<QTcpSocket *>().size(), 1); // the first one freed
}

void TestMainWindow::restart_data() {
    QTest::addColumn<QString>("portText");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("a usable port: listening there, the mark cleared")
        << QString() << false << QStringList();
    QTest::newRow("a port out of range is told")
        << u"65536"_s << false
        << QStringList{
               u"Error in cmdAccept: 10022 Invalid argument: the port must be 0 to 65535"_s};
    QTest::newRow("a port another program holds is told")
        << QString() << true << QStringList{u"Error in cmdAccept: 10048 Address already in use"_s};
}

// The hidden port row's Accept drops the client and listens on the port in the field; a
// failure is told, and the field stays marked as not applied.
void TestMainWindow::restart() {
    QFETCH(QString, portText);
    QFETCH(bool, taken);
    QFETCH(QStringList, messages);
    Console console;
    console.window.startServing();
    QVERIFY(connectTo(console.client, console.port));
    const quint16 port = freePort();
    QTcpServer squatter;
    if (taken)
        QVERIFY(squatter.listen(QHostAddress::LocalHost, port));
    console.get<QLineEdit>(u"txtPort"_s)
        ->setText(portText.isEmpty() ? QString::number(port) : portText);
    console.get<QPushButton>(u"cmdAccept"_s)->click();
    QCOMPARE(console.box.shown, messages);
    QCOMPARE(console.get(u"cmdAccept"_s)->font().bold(), !messages.isEmpty());
    QTRY_COMPARE(console.client.state(), QAbstractSocket::UnconnectedState);
    if (messages.isEmpty())
        QVERIFY(connectTo(console.client, port));
}

// Flooded without a query, the listener answers lone CRs, taking the flood in bites. A client
// that never reads its replies is dropped once they pile up, and the listener comes back.
void TestMainWindow::misbehavingClients() {
    Console console;
    console.window.startServing();
    QVERIFY(connectTo(console.client, console.port));
    console.client.write(QByteArray(4 << 20, 'x'));
    QByteArray crs;
    QVERIFY(QTest::qWaitFor([&] {
        crs += console.client.readAll();
        return crs.size() >= 64;
    }));
    QCOMPARE(crs, QByteArray(crs.size(), '\r'));
    console.client.abort();

    console.get<QLineEdit>(u"txtSensor(0)"_s)->setText(QString(64 * 1024, u'E'));
    console.get<QLineEdit>(u"txtSeconds"_s)->setText(u"0"_s);
    console.get<QCheckBox>(u"chkRamp"_s)->setChecked(true);
    QTRY_VERIFY(console.record(0).size() > 64 * 1024);
    console.get<QCheckBox>(u"chkRamp"_s)->setChecked(false);
    console.client.setReadBufferSize(1); // takes (almost) nothing out of the system's buffers
    QSignalSpy arrivals(console.get<QLineEdit>(u"txtOutput"_s), &QLineEdit::textChanged);
    for (int i = 1; i < 2000 && console.client.state() == QAbstractSocket::ConnectedState; ++i) {
        console.client.write("KOLVAM?");
        const bool answered = QTest::qWaitFor([&] {
            return arrivals.size() >= 2 * i ||
                   console.client.state() != QAbstractSocket::ConnectedState;
        });
        QVERIFY(answered);
    }
    QTRY_COMPARE(console.client.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(console.text(u"lblStatus"_s), u"Listening"_s);
}

// About opens one window, brought back when asked again, whose link goes to the browser. Exit
// stops serving at once and leaves an open About window as it is.
void TestMainWindow::aboutAndExit() {
    Console console;
    console.window.startServing();
    auto *about = console.get<QAction>(u"mnuAbout"_s);
    about->trigger();
    QPointer<QWidget> window = aboutWindow();
    QVERIFY(window);
    window->showMinimized();
    about->trigger();
    QCOMPARE(aboutWindow(), window.data());
    QVERIFY(!window->isMinimized());
    QTest::mouseClick(window->findChild<QLabel *>(u"lblwwwQuillan"_s), Qt::LeftButton);
    QCOMPARE(console.browser.opened, QList<QUrl>{QUrl(u"https://www.quillan.example/"_s)});

    console.window.show();
    QVERIFY(connectTo(console.client, console.port));
    console.get<QAction>(u"mnuExit"_s)->trigger();
    QVERIFY(!console.window.isVisible());
    QVERIFY(window->isVisible());
    QTRY_COMPARE(console.client.state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!console.get<QTimer>(u"Timer1"_s)->isActive());
    QVERIFY(!console.get<QTimer>(u"TimerRamp"_s)->isActive());
    console.client.connectToHost(QHostAddress::LocalHost, console.port);
    QVERIFY(!console.client.waitForConnected(1000));
    window->close();
    QTRY_VERIFY(!window);
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
