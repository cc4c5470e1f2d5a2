// The window as operators and clients use it: timers at 20 ms, clients on a loopback port.

#include "fakes.h"
#include "query/query_socket.h"
#include "query/socket_error.h"
#include "ui/about_window.h"
#include "ui/main_window.h"
#include "ui/message_sink.h"
#include "version.h"

#include <QtWidgets>

#include <netinet/in.h>

using namespace kolva;

namespace {

// A named port bound, as 23 is (shutdown() gives up one the system chose), or a bind's errno.
BoundPort boundLoopbackPort(int failure) {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    if (failure)
        return {port, -1, systemSocketError(failure)};
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    return {port, fd, {}};
}

// Retried while refused: after a client leaves, nothing listens until the next poll.
bool connectTo(QTcpSocket &client, quint16 port) {
    return QTest::qWaitFor([&] {
        client.abort();
        client.connectToHost(QHostAddress::LocalHost, port);
        return client.waitForConnected(1000);
    });
}

// The reply up to its CR, the CR included; empty if none comes.
QByteArray ask(QTcpSocket &client, const QByteArray &query) {
    QByteArray reply;
    client.write(query);
    return QTest::qWaitFor([&] { return (reply += client.readAll()).contains('\r'); }) ? reply : "";
}

// Messages shown ("!": exclamation) and addresses opened; whileShown runs inside the next
// message, as another event would while a box waits.
struct Desk : MessageSink, UrlOpener {
    QStringList shown;
    QList<QUrl> opened;
    std::function<void()> whileShown;
    void showMessage(const QString &text, Icon icon) override {
        shown << (icon == Icon::Exclamation ? u"!"_s : QString()) + text;
        if (whileShown)
            std::exchange(whileShown, nullptr)();
    }
    void open(const QUrl &url) override { opened << url; }
};

struct Console {
    explicit Console(int bindFailure = 0)
        : bound(boundLoopbackPort(bindFailure)) {}

    Desk box;
    fake::Resolver resolver;
    BoundPort bound;
    OperatorWindow window{
        {QString::number(bound.port), QHostAddress::LocalHost, 20, bound}, box, resolver, box};
    QTcpSocket client;

    template <typename T = QWidget> T *get(const QString &name) {
        if (T *control = window.findChild<T *>(name))
            return control;
        qFatal("the window has no %s", qPrintable(name));
    }
    QString text(const char *name) { return get<QObject>(name)->property("text").toString(); }
    QString record(int entry) { // on a new connection
        const QByteArray query = "KOLVAM" + (entry ? QByteArray::number(100 + entry).mid(1) : "");
        return connectTo(client, bound.port)
                   ? QString::fromUtf8(ask(client, query + '?')).chopped(1)
                   : u"(refused)"_s;
    }
};

// A line per named control in creation order: name, "text", [accessible name], {description},
// states, @row,column(+spans) in its grid (as the window's outline fixes), |items, interval.
void describe(const QObject *object, QStringList &lines, int depth = 0) {
    const QString name = object->objectName();
    const bool described = !name.isEmpty() && !name.startsWith(u"qt_") && !name.startsWith(u'_') &&
                           !name.contains(u"Sensor");
    const auto *widget = qobject_cast<const QWidget *>(object);
    if (described) {
        QString line = QString(depth, u' ') + name;
        const std::pair<const char *, const char *> shown[] = {
            {"windowTitle", " \"%1\""},  {"title", " \"%1\""},
            {"text", " \"%1\""},         {"currentText", " \"%1\""},
            {"accessibleName", " [%1]"}, {"accessibleDescription", " {%1}"},
            {"checked", " checked"},     {"readOnly", " readOnly"},
            {"insertPolicy", " %1"}};
        for (const auto &[property, format] : shown)
            if (const QString value = object->property(property).toString();
                !value.isEmpty() && value != u"false")
                line += QString::fromUtf8(format).replace(u"%1"_s, value);
        const QWidget *parent = widget ? widget->parentWidget() : nullptr;
        for (const QGridLayout *grid :
             parent ? parent->findChildren<QGridLayout *>() : QList<QGridLayout *>()) {
            int row, column, rows, columns;
            if (const int index = grid->indexOf(widget); index >= 0) {
                grid->getItemPosition(index, &row, &column, &rows, &columns);
                line += u" @%1,%2"_s.arg(row).arg(column) +
                        (rows * columns > 1 ? u"+%1,%2"_s.arg(rows).arg(columns) : QString());
            }
        }
        if (const auto *combo = qobject_cast<const QComboBox *>(object))
            for (int i = 0; i < combo->count(); ++i)
                line += u" |"_s + combo->itemText(i);
        if (const auto *timer = qobject_cast<const QTimer *>(object))
            line += u" every %1 ms"_s.arg(timer->interval());
        if (widget && widget->isHidden() && !widget->isWindow())
            line += u" hidden"_s;
        lines << line;
    }
    for (const QObject *child : object->children())
        if (!child->isWidgetType() || !static_cast<const QWidget *>(child)->isWindow() ||
            child->inherits("QMenu"))
            describe(child, lines, depth + (described ? 1 : 0));
}

// An operator's action, then what the record and the Accept buttons show.
struct Action {
    const char *rule, *field, *text, *clicks;
    int entry;
    const char *piece, *bold;
};

QWidget *aboutWindow() {
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->objectName() == u"frmAbout" && window->isVisible())
            return window;
    return nullptr;
}

} // namespace

Q_DECLARE_METATYPE(Action)

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Both windows against tests/golden/window.txt; T1-T8 down the left, the rest on the right.
    void structureAboutAndExit() {
        Console console;
        console.window.startServing();
        auto *about = console.get<QAction>("mnuAbout");
        about->trigger();
        QCOMPARE(console.box.shown, QStringList());
        QStringList lines;
        describe(&console.window, lines);
        describe(aboutWindow(), lines);
        QFile golden(QStringLiteral(KOLVA_GOLDEN_DIR "/window.txt"));
        QVERIFY(golden.open(QIODevice::ReadOnly));
        const QStringList expected = QString::fromUtf8(golden.readAll()).split(u'\n');
        for (int i = 0; i < qMax(lines.size(), expected.size() - 1); ++i)
            QCOMPARE(lines.value(i)
                         .replace(QString::number(console.bound.port), u"PORT"_s)
                         .replace(QStringLiteral(KOLVA_VERSION), u"VERSION"_s),
                     expected.value(i));
        for (int i = 0; i < 2 * ReadingCount; ++i) {
            const bool master = i < ReadingCount;
            const int n = i % ReadingCount;
            const QString channel = n == AmbientIndex ? u"Amb"_s : QString::number(n + 1);
            auto *field =
                console.get<QLineEdit>(u"txtSensor%1(%2)"_s.arg(master ? "" : "2").arg(n));
            QCOMPARE(field->accessibleName(), (master ? u"Master "_s : u"Slave "_s) +
                                                  (n == AmbientIndex ? "" : "T") + channel);
            auto *grid = static_cast<QGridLayout *>(field->parentWidget()->layout());
            int row, column, rows, columns;
            grid->getItemPosition(grid->indexOf(field), &row, &column, &rows, &columns);
            QCOMPARE(QPoint(column, row), n < 8 ? QPoint(1, n) : QPoint(3, n - 8)); // Amb: 3, 8
            QCOMPARE(static_cast<QLabel *>(grid->itemAtPosition(row, column - 1)->widget())->text(),
                     channel);
        }

        // One About window, brought back; its link opens the browser. Exit stops serving at once.
        QPointer<QWidget> window = aboutWindow();
        window->showMinimized();
        about->trigger();
        QCOMPARE(aboutWindow(), window.data());
        QVERIFY(!window->isMinimized());
        QTest::mouseClick(window->findChild<QLabel *>(u"lblwwwQuillan"_s), Qt::LeftButton);
        QCOMPARE(console.box.opened, QList<QUrl>{QUrl(u"https://www.quillan.example/"_s)});
        console.window.show();
        QVERIFY(connectTo(console.client, console.bound.port));
        console.get<QAction>("mnuExit")->trigger();
        QVERIFY(!console.window.isVisible() && window->isVisible());
        QTRY_COMPARE(console.client.state(), QAbstractSocket::UnconnectedState);
        console.client.connectToHost(QHostAddress::LocalHost, console.bound.port);
        QVERIFY(!console.client.waitForConnected(1000));
        window->close();
        QTRY_VERIFY(!window);
    }

    // While the start-up's message waits for a click, clients are served and the ramp steps.
    void servesWhileAMessageWaits() {
        Console console;
        console.resolver.resolveError = 11001;
        QStringList records;
        bool stepped = false;
        console.box.whileShown = [&] {
            for (int entry = 0; entry < EntryCount; ++entry)
                records << console.record(entry);
            console.get<QLineEdit>("txtSeconds")->setText(u"0"_s);
            console.get<QCheckBox>("chkRamp")->setChecked(true);
            stepped = QTest::qWaitFor([&] { return console.text("txtSensor(0)") == u"26"; });
        };
        console.window.startServing();
        QCOMPARE(console.box.shown, QStringList{u"!Authoritative answer host not found."_s});
        QCOMPARE(console.text("lblHostIP"), u"255.255.255.0"_s);
        QCOMPARE(records, fake::defaultRecords());
        QVERIFY(stepped);
    }

    // A bind before start-up that failed is told, the host is not looked up, the status is "Error".
    void portRefusedAtStartUp_data() {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("message");
        QTest::newRow("taken by another program")
            << EADDRINUSE << u"10048: Address already in use"_s;
        QTest::newRow("not permitted to this user") << EACCES << u"10013: Permission denied"_s;
    }

    void portRefusedAtStartUp() {
        QFETCH(int, failure);
        QFETCH(QString, message);
        Console console(failure);
        console.window.startServing();
        QCOMPARE(console.box.shown, QStringList{message});
        QCOMPARE(console.text("lblHostIP") + console.resolver.asked, QString());
        QTRY_COMPARE(console.text("lblStatus"), u"Error"_s);
    }

    // Type into a field, click controls in turn (a combo box: pick the item shown); the record
    // then holds the piece, and only the Accept button named is bold.
    void operatorActions_data() {
        const Action rows[] = {
            {"an edit marks its bank and is not published yet", "txtSensor(0)", "50", "", 0,
             " T1=25.0,", "cmdSetMaster"},
            {"Accept Changes publishes its bank with one decimal and clears the mark",
             "txtSensor(4)", "9", "cmdSetMaster", 0, " T5=9.0,", ""},
            {"the slave bank feeds every slave unit", "txtSensor2(16)", "7", "cmdSetSlave", 9,
             " Amb=7.0", ""},
            {"a fault button marks its bank and is not published yet", "", "", "cmdSetComErSlave",
             1, " T1=32.0,", "cmdSetSlave"},
            {"a fault word is published by Accept Changes as 0.0", "", "",
             "cmdSetOpenMaster cmdSetMaster", 0, " T1=0.0,", ""},
            {"typing into a fill input marks its bank", "txtSetAllMaster", "40", "", 0, " T1=25.0,",
             "cmdSetMaster"},
            {"a typed Set All Sensors arms the fill", "txtSetAllMaster", "40", "cmdSetMaster", 0,
             " T1=40.0, T2=40.1,", ""},
            {"a typed increment arms the fill", "cboIncrement2", "1", "cmdSetSlave", 2, " T2=33.0,",
             ""},
            {"picking the increment shown arms the fill too", "txtSensor(0)", "50",
             "cboIncrement cmdSetMaster", 0, " T1=25.0,", ""},
            {"Fahrenheit, then Celsius converts back", "", "", "optF optC", 1, " C, T1=32.0,", ""},
        };
        QTest::addColumn<Action>("action");
        for (const Action &row : rows)
            QTest::newRow(row.rule) << row;
    }

    void operatorActions() {
        QFETCH(Action, action);
        Console console;
        console.window.startServing();
        if (*action.field) {
            auto *combo = console.window.findChild<QComboBox *>(action.field);
            QLineEdit *edit = combo ? combo->lineEdit() : console.get<QLineEdit>(action.field);
            edit->clear();
            QTest::keyClicks(edit, action.text);
        }
        for (const QString &name : QString(action.clicks).split(u' ', Qt::SkipEmptyParts)) {
            if (auto *combo = console.window.findChild<QComboBox *>(name))
                Q_EMIT combo->activated(combo->currentIndex());
            else
                console.get<QAbstractButton>(name)->click();
        }
        QTRY_VERIFY2(console.record(action.entry).contains(action.piece),
                     qPrintable(console.record(action.entry)));
        for (const char *button : {"cmdSetMaster", "cmdSetSlave", "cmdAccept"})
            QVERIFY2(console.get(button)->font().bold() == (qstrcmp(button, action.bold) == 0),
                     button);
    }

    // One client at a time, probed for; one that never reads is dropped; the port is kept.
    void listener() {
        Console console;
        console.window.startServing();
        QVERIFY(connectTo(console.client, console.bound.port));
        const QString last = fake::defaultRecords().value(16);
        QCOMPARE(ask(console.client, "kolvam16?\r\n"), (last + u'\r').toUtf8());
        QCOMPARE(console.text("txtOutput"), u"kolvam16?"_s);
        QCOMPARE(console.text("txtSendData"), last);
        QTRY_VERIFY(console.get("txtOutput")->updatesEnabled() &&
                    console.get("txtSendData")->updatesEnabled()); // repainted soon after
        QCOMPARE(ask(console.client, "?"), QByteArray("\r"));      // one byte is an arrival too
        QCOMPARE(
            console.window.findChild<QTcpSocket *>()->socketOption(QTcpSocket::KeepAliveOption),
            QVariant(1)); // a client that vanishes is found out

        QTcpSocket second;
        second.connectToHost(QHostAddress::LocalHost, console.bound.port);
        QVERIFY(!second.waitForConnected(1000));
        QCOMPARE(second.error(), QAbstractSocket::ConnectionRefusedError);

        QStringList polled;
        connect(console.get<QTimer>("Timer1"), &QTimer::timeout, this,
                [&] { polled << console.text("lblStatus"); });
        console.get<QLineEdit>("txtPort")->setText(u"1"_s); // applied by Accept only
        QVERIFY(!console.window.findChild<QuerySocket *>()->sendData(QByteArray(32 << 20, 'x')));
        QTRY_VERIFY(polled.contains(u"Listening"_s));
        polled.removeDuplicates();
        polled.removeOne(u"Connected"_s); // where a poll came before the departure was seen
        QCOMPARE(polled, (QStringList{u"Peer is closing the connection"_s, u"Listening"_s}));
        QVERIFY(connectTo(second, console.bound.port));
        QCOMPARE(ask(second, "KOLVAM07?"), (fake::defaultRecords().value(7) + u'\r').toUtf8());
        QTRY_COMPARE(console.window.findChildren<QTcpSocket *>().size(), 1); // the first one freed

        // The hidden port row: an edit marks Accept, which listens afresh and drops the client.
        auto *accept = console.get<QPushButton>("cmdAccept");
        QVERIFY(accept->font().bold());
        console.get<QLineEdit>("txtPort")->setText(QString::number(console.bound.port));
        accept->click();
        QVERIFY(!accept->font().bold());
        QTRY_COMPARE(second.state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
