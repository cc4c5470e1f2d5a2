// The operator console as a user drives it: real widgets, real timers at a short interval, and a
// real client on the window's own listener reading what the records say.

#include "fakes.h"
#include "query/query_rules.h"
#include "ui/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>

using namespace kolva;

namespace {

quint16 FreePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// A message box nobody clicks: its event loop runs until the test is done with it.
struct WaitingBox : fake::Messages {
    std::function<void()> whileShown;
    void showMessage(const QString &text, Icon icon) override {
        fake::Messages::showMessage(text, icon);
        if (whileShown)
            std::exchange(whileShown, nullptr)();
    }
};

// The window on a free loopback port with its timers at 20 ms, and one client.
struct Console {
    WaitingBox box;
    fake::Resolver resolver;
    fake::Browser browser;
    quint16 port = FreePort();
    frmServer window{
        {QString::number(port), QHostAddress(QHostAddress::LocalHost), 20}, box, resolver, browser};
    QTcpSocket client;

    template <typename T = QWidget> T *get(const QString &name) {
        T *widget = window.findChild<T *>(name);
        if (!widget)
            qFatal("no control %s", qPrintable(name));
        return widget;
    }
    // One query and its reply, without the CR; connects first where needed.
    QString ask(const QByteArray &query) {
        for (int attempt = 0; client.state() != QAbstractSocket::ConnectedState && attempt < 200;
             ++attempt) {
            client.abort();
            client.connectToHost(QHostAddress::LocalHost, port);
            if (!QTest::qWaitFor(
                    [&] { return client.state() != QAbstractSocket::ConnectingState; }))
                break;
            QTest::qWait(client.state() == QAbstractSocket::ConnectedState ? 0 : 5);
        }
        client.write(query);
        QByteArray reply;
        if (!QTest::qWaitFor([&] { return (reply += client.readAll()).endsWith('\r'); }))
            return QStringLiteral("(no reply)");
        return QString::fromUtf8(reply.chopped(1));
    }
    QString record(int entry) { return ask(QueryCommand(entry).toLatin1()); }
    QString markers() {
        return QString::number(get<QAbstractButton>("cmdSetMaster")->font().bold()) +
               QString::number(get<QAbstractButton>("cmdSetSlave")->font().bold());
    }
    // "type <field> <text>", "click <button>", "pick <combo> <index>".
    void act(const QString &step) {
        const QStringList words = step.split(u' ');
        QWidget *target = get(words[1]);
        if (words[0] == u"click")
            return static_cast<QAbstractButton *>(target)->click();
        if (auto *combo = qobject_cast<QComboBox *>(target); combo && words[0] == u"pick")
            return combo->setCurrentIndex(words[2].toInt()),
                   void(combo->activated(words[2].toInt()));
        auto *edit = qobject_cast<QComboBox *>(target)
                         ? static_cast<QComboBox *>(target)->lineEdit()
                         : static_cast<QLineEdit *>(target);
        edit->clear();
        QTest::keyClicks(edit, words.value(2));
    }
};

// Every control with its class, name, caption or text, state, accessible name and grid cell.
QString Snapshot(const QWidget *widget, int depth = 0) {
    QString line = QString(depth * 2, u' ') + widget->metaObject()->className() + u' ' +
                   widget->objectName() + u' ' + widget->windowTitle();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        line += u'"' + label->text() + u'"' + (label->font().underline() ? " underline" : "") +
                (label->cursor().shape() == Qt::PointingHandCursor ? " hand" : "");
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        line += u'"' + button->text() + u'"' + (button->isChecked() ? " checked" : "") +
                (button->font().bold() ? " bold" : "");
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
        line += u'"' + edit->text() + u'"' + (edit->isReadOnly() ? " read-only" : "") +
                (edit->maxLength() == 32767 ? " cut" : "") +
                (edit->focusPolicy() == Qt::NoFocus ? " no-focus" : "");
    if (const auto *group = qobject_cast<const QGroupBox *>(widget))
        line += u'"' + group->title() + u'"';
    if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
        line += u'"' + combo->currentText() + u'"';
        for (int i = 0; i < combo->count(); ++i)
            line += QStringLiteral(" |") + combo->itemText(i);
        line += QStringLiteral(" [") + combo->lineEdit()->accessibleName() + u']' +
                (combo->lineEdit()->maxLength() == 32767 ? " cut" : "");
    }
    if (!widget->accessibleName().isEmpty() || !widget->accessibleDescription().isEmpty())
        line += QStringLiteral(" [") + widget->accessibleName() + u'/' +
                widget->accessibleDescription() + u']';
    if (widget->isHidden())
        line += " hidden";
    const QWidget *parent = widget->parentWidget();
    if (auto *grid = qobject_cast<QGridLayout *>(parent ? parent->layout() : nullptr)) {
        int row, column, rows, columns;
        if (const int index = grid->indexOf(widget); index >= 0) {
            grid->getItemPosition(index, &row, &column, &rows, &columns);
            line += QStringLiteral(" @%1,%2+%3,%4").arg(row).arg(column).arg(rows).arg(columns);
        }
    }
    if (const auto *bar = qobject_cast<const QMenuBar *>(widget))
        for (const QAction *action : bar->actions()) {
            line += QStringLiteral(" {") +
                    (action->menu() ? action->menu()->objectName() : action->objectName()) + u' ' +
                    action->text();
            for (const QAction *item :
                 action->menu() ? action->menu()->actions() : QList<QAction *>())
                line += QStringLiteral(" (") + item->objectName() + u' ' + item->text() + u')';
            line += u'}';
        }
    line += u'\n';
    if (!qobject_cast<const QComboBox *>(widget) && !qobject_cast<const QLineEdit *>(widget))
        for (const QWidget *child : widget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (!child->isWindow())
                line += Snapshot(child, depth + 1);
    return line;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The window's structure and defaults after start-up, and the About window's, against one
    // golden file. KOLVA_UPDATE_GOLDEN=1 writes it anew after a deliberate change.
    void snapshot() {
        Console console;
        console.window.Form_Load();
        console.window.findChild<QAction *>(QStringLiteral("mnuAbout"))->trigger();
        QString snapshot = Snapshot(&console.window).replace(QString::number(console.port), "PORT");
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window->objectName() == u"frmAbout" && window->isVisible())
                snapshot += Snapshot(window), window->close();
        QVERIFY(fake::MatchesGolden(snapshot.split(u'\n', Qt::SkipEmptyParts), QStringLiteral("main_window.txt")));
    }

    // From load: "Booting" until the first poll, then every query answered from the default
    // records, the last query in "Input" and its record in "Output".
    void startUpAndTraffic() {
        Console console;
        console.window.Form_Load();
        QCOMPARE(console.get<QLabel>("lblStatus")->text(), QStringLiteral("Booting"));
        QVERIFY(console.box.shown.isEmpty());
        QTRY_COMPARE(console.get<QLabel>("lblStatus")->text(), QStringLiteral("Listening"));
        const QStringList records = fake::DefaultRecords();
        for (int entry = 0; entry < EntryCount; ++entry)
            QCOMPARE(console.record(entry), records[entry]);
        QCOMPARE(console.get<QLineEdit>("txtOutput")->text(), QStringLiteral("KOLVAM16?"));
        QCOMPARE(console.get<QLineEdit>("txtSendData")->text(), records[16]);
        QTRY_COMPARE(console.get<QLabel>("lblStatus")->text(), QStringLiteral("Connected"));
        QCOMPARE(console.ask(" kolvam?x\r\n"), QString());
        QCOMPARE(console.get<QLineEdit>("txtOutput")->text(), QStringLiteral("kolvam?x"));
        QCOMPARE(console.get<QLineEdit>("txtSendData")->text(), QString());
    }

    // Operator actions on the real controls: which "Accept Changes" turn bold, and what a client
    // reads afterwards.
    void operatorActions_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("markers"); // master, slave: 1 bold
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("record"); // what the entry's record holds after the unit name
        const QString fresh = fake::DefaultRecords().at(0).mid(34);
        QTest::newRow("typing waits for the commit")
            << QStringList{"type txtSensor(4) 9"} << "10" << 0 << fresh;
        QTest::newRow("master commit")
            << QStringList{"type txtSensor(4) 9", "type txtSensor2(0) 1", "click cmdSetMaster"}
            << "01" << 0 << "C, T1=25.0, T2=25.1, T3=25.2, T4=25.3, T5=9.0, T6=25.5,";
        QTest::newRow("slave commit") << QStringList{"type txtSensor2(16) 7", "click cmdSetSlave"}
                                      << "00" << 16 << "C, T1=32.0,";
        QTest::newRow("fill overwrites edits")
            << QStringList{"type txtSetAllMaster 30", "type txtSensor(2) 77", "click cmdSetMaster"}
            << "00" << 0 << "C, T1=30.0, T2=30.1, T3=30.2,";
        QTest::newRow("typed increment arms")
            << QStringList{"type cboIncrement 1", "click cmdSetMaster"} << "00" << 0
            << "C, T1=25.0, T2=26.0,";
        QTest::newRow("picked increment arms")
            << QStringList{"pick cboIncrement2 4", "click cmdSetMaster"} << "01" << 1
            << "C, T1=32.0, T2=32.1,";
        QTest::newRow("picked, slave commit")
            << QStringList{"pick cboIncrement2 4", "click cmdSetSlave"} << "00" << 9
            << "C, T1=32.0, T2=37.0, T3=42.0,";
        QTest::newRow("OPEN on master")
            << QStringList{"click cmdSetOpenMaster"} << "10" << 0 << fresh;
        QTest::newRow("OPEN committed")
            << QStringList{"click cmdSetOpenMaster", "click cmdSetMaster"} << "00" << 0
            << "C, T1=0.0, T2=0.0,";
        QTest::newRow("COMER on slave, ramp")
            << QStringList{"click cmdSetComErSlave", "type txtSeconds 0", "click chkRamp"} << "01"
            << 5 << "C, T1=ComEr, T2=ComEr,";
        QTest::newRow("ramp steps both banks")
            << QStringList{"type txtSeconds 0", "type txtAmount 0.5", "click chkRamp"} << "00" << 0
            << "C, T1=2";
        QTest::newRow("Fahrenheit") << QStringList{"type txtSetAllMaster 10", "click optF"} << "00"
                                    << 0 << "F, T1=10.0, T2=10.1,";
        QTest::newRow("Fahrenheit, slave") << QStringList{"type txtSensor2(3) x", "click optF"}
                                           << "00" << 3 << "F, T1=89.6, T2=89.8, T3=90.0, T4=32.0,";
        QTest::newRow("and back") << QStringList{"click optF", "click optC"} << "00" << 0
                                  << "C, T1=25.0, T2=25.1,";
    }
    void operatorActions() {
        QFETCH(QStringList, steps);
        Console console;
        console.window.Form_Load();
        for (const QString &step : steps)
            console.act(step);
        QTEST(console.markers(), "markers");
        QFETCH(int, entry);
        QFETCH(QString, record);
        if (steps.last() == u"click chkRamp") // the ramp timer steps by itself
            QVERIFY(QTest::qWaitFor([&] {
                return console.record(entry).contains(QStringLiteral("T2=") + record.mid(6, 1));
            }));
        QVERIFY2(console.record(entry).mid(UnitPrefix(entry).size()).startsWith(record),
                 qPrintable(console.record(entry)));
    }

    // A start-up message that nobody answers does not stop the service: a client after a client
    // is served and the ramp steps while the box is open.
    void servesWhileStartUpMessageWaits() {
        Console console;
        console.resolver.addresses.reset();
        console.resolver.error = 11001;
        console.act(QStringLiteral("type txtSeconds 0"));
        console.act(QStringLiteral("click chkRamp"));
        QStringList replies;
        console.box.whileShown = [&] {
            for (int client = 0; client < 3; ++client, console.client.disconnectFromHost())
                replies << console.record(0).left(34);
            const QString before = console.record(0);
            replies << QString::number(
                QTest::qWaitFor([&] { return console.record(0) != before; }));
        };
        console.window.Form_Load();
        QCOMPARE(console.box.shown,
                 QStringList{QStringLiteral("!Authoritative answer host not found.")});
        QCOMPARE(replies, (QStringList{3, UnitPrefix(0)} << "1"));
        QCOMPARE(console.get<QLabel>("lblHostIP")->text(), QStringLiteral("255.255.255.0"));
    }

    void portTakenAtStartUp() {
        Console console;
        QTcpServer holder;
        QVERIFY(holder.listen(QHostAddress::LocalHost, console.port));
        console.window.Form_Load();
        QCOMPARE(console.box.shown, QStringList{QStringLiteral("10048: Address already in use")});
        QVERIFY(console.resolver.asked.isEmpty());
        QCOMPARE(console.get<QLabel>("lblHostIP")->text(), QString());
        QTRY_COMPARE(console.get<QLabel>("lblStatus")->text(), QStringLiteral("Error"));
    }

    // About opens one window, its link goes to the browser; Exit stops serving at once and
    // leaves the About window open.
    void aboutAndExit() {
        Console console;
        console.window.Form_Load();
        console.window.show();
        QVERIFY(console.record(1).startsWith(UnitPrefix(1)));
        auto *about = console.window.findChild<QAction *>(QStringLiteral("mnuAbout"));
        about->trigger();
        about->trigger();
        QList<QWidget *> abouts;
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window->objectName() == u"frmAbout" && window->isVisible())
                abouts << window;
        QCOMPARE(abouts.size(), 1);
        QTest::mouseClick(abouts[0]->findChild<QLabel *>(QStringLiteral("lblwwwQuillan")),
                          Qt::LeftButton);
        QCOMPARE(console.browser.opened,
                 QList<QUrl>{QUrl(QStringLiteral("https://www.quillan.example/"))});
        console.window.findChild<QAction *>(QStringLiteral("mnuExit"))->trigger();
        QVERIFY(!console.window.isVisible());
        QVERIFY(abouts[0]->isVisible());
        QTRY_COMPARE(console.client.state(), QAbstractSocket::UnconnectedState);
        QTcpSocket late;
        late.connectToHost(QHostAddress::LocalHost, console.port);
        QVERIFY(!late.waitForConnected(1000));
        QPointer<QWidget> closing = abouts[0];
        closing->close();
        QTRY_VERIFY(!closing);
    }

    // Assistive technology finds every control the operator uses by a name of its own.
    void accessibleNames() {
        Console console;
        QStringList names;
        for (const QWidget *control : console.window.findChildren<QWidget *>())
            if (qobject_cast<const QAbstractButton *>(control) ||
                qobject_cast<const QComboBox *>(control) ||
                (qobject_cast<const QLineEdit *>(control) &&
                 !qobject_cast<QComboBox *>(control->parent())))
                if (!control->isHidden())
                    names << control->accessibleName();
        QVERIFY(!names.contains(QString()));
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
