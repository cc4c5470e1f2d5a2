// The operator console and its listener as a user and a client use them: real widgets, real
// timers at 20 ms, and real clients on the window's own port.

#include "fakes.h"
#include "query/query_rules.h"
#include "ui/main_window.h"

#include <QtWidgets>

using namespace kolva;

namespace {

struct Console {
    fake::Messages box;
    fake::Resolver resolver;
    fake::Browser browser;
    fake::Client client;
    QTcpServer squatter;
    frmServer window{
        {QString::number(client.port), QHostAddress::LocalHost, 20}, box, resolver, browser};

    template <typename T = QWidget> T *get(const QString &n) { return window.findChild<T *>(n); }
    QString text(const QString &name) { return get<QObject>(name)->property("text").toString(); }
    QString record(int entry) {
        return QString::fromUtf8(client.ask(QueryCommand(entry).toLatin1()).chopped(1));
    }
    // Waits for the status poll to settle on a state other than the given one.
    QString statusAfter(const QString &state) {
        const QStringList passing{state, u"Peer is closing the connection"_s};
        const auto settled = [&] { return !passing.contains(text("lblStatus")); };
        return static_cast<void>(QTest::qWaitFor(settled)), text("lblStatus");
    }

    // One step of a user or a client; returns what it saw. Operator steps: "type <field>
    // <text>", "click <button>", "pick <combo> <index>", each answered with the markers of the
    // master, slave and port buttons (1: bold). Client steps: "ask <query, percent-encoded>",
    // "leave", "hold" and "release" (the port, by another program), "stall" (a client that never
    // reads its replies), "flood" (megabytes with no query in them).
    QString act(const QString &step) {
        const QStringList w = step.split(u' ');
        auto *combo = window.findChild<QComboBox *>(w.value(1));
        if (w[0] == u"click")
            get<QAbstractButton>(w[1])->click();
        else if (w[0] == u"pick")
            combo->setCurrentIndex(w[2].toInt()), Q_EMIT combo->activated(w[2].toInt());
        else if (w[0] == u"type") {
            QLineEdit *edit = combo ? combo->lineEdit() : get<QLineEdit>(w[1]);
            edit->clear();
            QTest::keyClicks(edit, w.value(2));
        } else if (w[0] == u"ask") { // the head of a record and its first channels
            const QByteArray reply = client.ask(QByteArray::fromPercentEncoding(w[1].toLatin1()));
            const bool painted = QTest::qWaitFor([&] { // the traffic fields repaint again
                return get(u"txtOutput"_s)->updatesEnabled() &&
                       get(u"txtSendData"_s)->updatesEnabled();
            });
            return fake::Escaped(reply.left(60)) + u" | "_s +
                   fake::Escaped(text("txtOutput").toUtf8()) + u" | "_s +
                   text("txtSendData").left(60) + (painted ? "" : " (not painted)");
        } else if (w[0] == u"leave") {
            static_cast<void>(QTest::qWaitFor([&] { return text("lblStatus") == u"Connected"; }));
            client.disconnectFromHost();
            return statusAfter(u"Connected"_s);
        } else if (w[0] == u"hold")
            return QString::number(squatter.listen(QHostAddress::LocalHost, client.port));
        else if (w[0] == u"release")
            squatter.close();
        else if (w[0] == u"stall")
            return stall();
        else if (w[0] == u"flood") { // taken in bites of 64 KiB at most, each answered alone
            QByteArray crs;
            client.write(QByteArray(4 << 20, 'x'));
            return QString::number(
                QTest::qWaitFor([&] { return (crs += client.readAll()).size() >= 64; }));
        }
        // A restart drops the client without a word.
        if (w.value(1) == u"cmdAccept" && client.state() == QAbstractSocket::ConnectedState)
            client.waitForDisconnected(1000);
        QString markers;
        for (const char *button : {"cmdSetMaster", "cmdSetSlave", "cmdAccept"})
            markers += get<QAbstractButton>(QLatin1String(button))->font().bold() ? u'1' : u'0';
        return markers;
    }

    // A ramp step publishes a long fault text as it stands; a client that sends queries but
    // never reads the replies is dropped, and the listener comes back.
    QString stall() {
        get<QLineEdit>(u"txtSensor(0)"_s)->setText(QString(64 * 1024, u'E'));
        act(u"type txtSeconds 0"_s), act(u"click chkRamp"_s);
        static_cast<void>(QTest::qWaitFor([&] { return record(0).size() > 64 * 1024; }));
        act(u"click chkRamp"_s);
        client.setReadBufferSize(1); // takes (almost) nothing out of the system's buffers
        QSignalSpy arrivals(get<QLineEdit>(u"txtOutput"_s), &QLineEdit::textChanged);
        for (int i = 1; i < 2000 && client.state() == QAbstractSocket::ConnectedState; ++i)
            client.write("KOLVAM?"),
                static_cast<void>(QTest::qWaitFor([&] { return arrivals.size() >= 2 * i; }));
        const bool dropped =
            QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; });
        client.setReadBufferSize(0);
        return QString::number(dropped) + u' ' + statusAfter(u"Connected"_s);
    }
};

// Every control and menu item: class, name, the properties that make its caption, text, state
// and look, and its place in its frame's grid.
QString Snapshot(const QObject *object, int depth = 0) {
    QString line =
        QString(depth * 2, u' ') + object->metaObject()->className() + u' ' + object->objectName();
    for (const char *name : {"windowTitle", "title", "text", "checked", "readOnly", "maxLength",
                             "focusPolicy", "accessibleName", "accessibleDescription", "frameShape",
                             "frameShadow", "interval", "singleShot", "active"})
        if (const QString value = object->property(name).toString();
            !value.isEmpty() && !QStringList{"false", "NoFrame", "Plain"}.contains(value))
            line += u" %1=%2"_s.arg(QLatin1String(name), value);
    if (const auto *label = qobject_cast<const QLabel *>(object); label && label->buddy())
        line += u" buddy="_s + label->buddy()->objectName();
    const auto *widget = qobject_cast<const QWidget *>(object);
    if (widget && widget->isWindow() && widget->layout())
        line += u' ' + widget->layout()->property("sizeConstraint").toString();
    for (int i = 0; i < object->property("count").toInt(); ++i)
        line += u" |"_s + qobject_cast<const QComboBox *>(object)->itemText(i);
    if (widget && widget->isHidden())
        line += u" hidden"_s;
    if (widget && widget->font().underline())
        line += u" underline "_s + widget->palette().color(QPalette::WindowText).name();
    if (widget && widget->testAttribute(Qt::WA_SetCursor))
        line += u" cursor=%1"_s.arg(widget->cursor().shape());
    int row, column, rows, columns;
    for (QGridLayout *grid : widget && widget->parentWidget()
                                 ? widget->parentWidget()->findChildren<QGridLayout *>()
                                 : QList<QGridLayout *>())
        if (grid->indexOf(widget) >= 0) {
            grid->getItemPosition(grid->indexOf(widget), &row, &column, &rows, &columns);
            line += u" @%1,%2+%3,%4"_s.arg(row).arg(column).arg(rows).arg(columns);
        }
    line += u'\n';
    for (const QObject *child : object->children())
        if (child->inherits("QAction") || child->inherits("QMenu") || child->inherits("QTimer") ||
            (child->isWidgetType() && !static_cast<const QWidget *>(child)->isWindow()))
            line += Snapshot(child, depth + 1);
    return line;
}

QWidget *AboutWindow() {
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->objectName() == u"frmAbout" && window->isVisible())
            return window;
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The structure and defaults of both windows after start-up, against a golden file, and
    // every control named for assistive technology. About opens one window whose link goes to
    // the browser; Exit stops serving at once and leaves the About window open.
    void snapshotAboutAndExit() {
        Console console;
        console.window.Form_Load();
        auto *about = console.window.findChild<QAction *>(u"mnuAbout"_s);
        about->trigger();
        QPointer<QWidget> window = AboutWindow();
        window->showMinimized();
        about->trigger(); // the same window, brought back
        QCOMPARE(AboutWindow(), window.data());
        QVERIFY(!window->isMinimized());
        // Tab walks the controls in this order, and assistive technology finds each by a name
        // of its own.
        QStringList order, names;
        for (QWidget *control = console.window.nextInFocusChain(); control != &console.window;
             control = control->nextInFocusChain())
            if (control->focusPolicy() & Qt::TabFocus && control->isVisibleTo(&console.window) &&
                !qobject_cast<QComboBox *>(control->parent()))
                order << control->objectName(), names << control->accessibleName();
        QVERIFY(!names.contains(QString()));
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
        const QString snapshot = QString(Snapshot(&console.window) + Snapshot(window))
                                     .replace(QString::number(console.client.port), u"PORT"_s);
        QVERIFY(fake::MatchesGolden(snapshot.split(u'\n', Qt::SkipEmptyParts) << order.join(u' '),
                                    u"main_window.txt"_s));
        console.window.show();
        QVERIFY(console.record(1).startsWith(UnitPrefix(1)));
        QTest::mouseClick(window->findChild<QLabel *>(u"lblwwwQuillan"_s), Qt::LeftButton);
        QCOMPARE(console.browser.opened, QList<QUrl>{QUrl(u"https://www.quillan.example/"_s)});
        console.window.findChild<QAction *>(u"mnuExit"_s)->trigger();
        QVERIFY(!console.window.isVisible() && window->isVisible());
        QTRY_COMPARE(console.client.state(), QAbstractSocket::UnconnectedState);
        for (const char *timer : {"Timer1", "TimerRamp"})
            QVERIFY(!console.get<QTimer>(QLatin1String(timer))->isActive());
        console.client.connectToHost(QHostAddress::LocalHost, console.client.port);
        QVERIFY(!console.client.waitForConnected(1000));
        window->close();
        QTRY_VERIFY(!window);
    }

    // From load, where the host address lookup fails and its box waits for a click that never
    // comes. Meanwhile: "Booting" until the first poll; a client after a client gets the
    // default records; the ramp steps (Seconds 0, Amount 0: the values stay, written shortest).
    // Then a session of operator and client steps, with what each saw and every record that
    // changed.
    void session() {
        Console console;
        console.resolver.addresses.reset();
        console.resolver.error = 11001;
        QStringList records, status{console.text("lblStatus")};
        console.box.whileShown = [&] {
            for (int entry = 0; entry < EntryCount; ++entry, console.client.disconnectFromHost())
                records << console.record(entry); // a client after a client
            for (const char *step : {"type txtSeconds 0", "type txtAmount 0", "click chkRamp"})
                console.act(QLatin1String(step));
            status << QString::number(
                QTest::qWaitFor([&] { return console.record(0) != records[0]; }));
            console.act(u"click chkRamp"_s);
        };
        console.window.Form_Load();
        QCOMPARE(records, fake::DefaultRecords());
        QCOMPARE(status, (QStringList{"Booting", "1"}));
        QCOMPARE(console.box.shown, QStringList{"!Authoritative answer host not found."});
        QCOMPARE(console.text("lblHostIP"), u"255.255.255.0"_s);
        QStringList lines;
        const QString port = QString::number(console.client.port);
        const QStringList script =
            u"ask kolvam16?%0D%0A;ask %20kolvam?x%0D%0A;ask KOLV;ask AM?;ask KOLVAM?%00%80%FF;"
            "ask KolVam01?;ask KOLVAM03?%0D;ask KOLVAM03?%0A;ask %20%20KOLVAM03?%0D%0A%20%20;"
            "ask KOLVAM03?%20%0D%0A;ask KOL%0D%0AVAM09?;ask KOLVAM?%0D%0D%0A%0A;ask %0D%0A;"
            "ask %09KOLVAM?;ask KOLVAM?%0D%0AKOLVAM01?;ask KOLVAM5?;ask KOLVAM00?;ask KOLVAM17?;"
            "type txtSensor(4) 9;click cmdSetMaster;type txtSensor2(16) 7;click cmdSetSlave;"
            "type txtSetAllMaster 30;type txtSensor(2) 77;click cmdSetMaster;type cboIncrement 1;"
            "click cmdSetMaster;pick cboIncrement2 4;click cmdSetMaster;click cmdSetSlave;"
            "click cmdSetOpenMaster;click cmdSetMaster;pick cboIncrement 3;click cmdSetMaster;"
            "click cmdSetComErSlave;"
            "type txtSensor2(3) x;type txtSetAllMaster 10;click optF;click optC;type txtPort 1;"
            "leave;ask KOLVAM?;hold;leave;release;ask KOLVAM?;type txtPort 65536;click cmdAccept;"
            "type txtPort PORT;hold;click cmdAccept;release;click cmdAccept;type txtAmount 2;"
            "stall;ask KOLVAM01?;flood"_s.replace(u"PORT"_s, port)
                .split(u';');
        for (const QString &step : script) {
            console.box.shown.clear();
            const QString result = console.act(step);
            lines << QString(step + u" -> "_s + result + u' ' + console.box.shown.join(u'/'))
                         .replace(port, "PORT");
            for (int entry = 0;
                 entry < 2 && QRegularExpression("cmdSet|opt|txtSensor").match(step).hasMatch();
                 ++entry)
                if (const QString now = console.record(entry); now != records[entry])
                    lines << u"  %1> "_s.arg(entry) +
                                 (records[entry] = now).mid(UnitPrefix(entry).size());
        }
        QVERIFY(fake::MatchesGolden(lines, u"window_session.txt"_s));
        QTRY_COMPARE(console.window.findChildren<QTcpSocket *>().size(), 1); // the others freed
    }

    void portTakenAtStartUp() {
        Console console;
        QVERIFY(console.act(u"hold"_s) == u"1");
        console.window.Form_Load();
        QCOMPARE(console.box.shown, QStringList{"10048: Address already in use"});
        QCOMPARE(console.resolver.asked + console.text("lblHostIP"), QString()); // no lookup
        QCOMPARE(console.statusAfter(u"Booting"_s), u"Error"_s);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
