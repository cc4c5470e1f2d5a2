#pragma once

// Stand-ins for what the rules and the window reach outside themselves, shared by the tests, the
// fuzz target and the benchmark, and the records a fresh simulator publishes.

#include "query/host_address.h"
#include "ramp/ramp.h"

#include <QtNetwork>
#include <QtTest>

#ifdef QT_WIDGETS_LIB
#include "ui/about_window.h"
#endif

using namespace Qt::StringLiterals;

namespace fake {

// A text file's lines; none where it cannot be read.
inline QStringList Lines(const QString &path) {
    QFile file(path);
    static_cast<void>(file.open(QIODevice::ReadOnly)); // an unreadable file reads empty
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// The seventeen records of a fresh start.
inline QStringList DefaultRecords() { return Lines(QStringLiteral(KOLVA_DEFAULT_RECORDS)); }

// Bytes with everything outside printable ASCII %-encoded, one transcript line each.
inline QString Escaped(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.toPercentEncoding(" !\"#$&'()*+,-./:;<=>?@[\\]^_`{|}~"));
}

// Compares the lines a test wrote with its golden file of expected output, tests/golden/<name>.
// KOLVA_UPDATE_GOLDEN=1 writes the file anew after a deliberate change: review its diff.
inline bool MatchesGolden(const QStringList &lines, const QString &name) {
    const QString path = QStringLiteral(KOLVA_GOLDEN_DIR "/") + name;
    if (QFile golden(path); qEnvironmentVariableIsSet("KOLVA_UPDATE_GOLDEN"))
        return golden.open(QIODevice::WriteOnly) &&
               golden.write((lines.join(u'\n') + u'\n').toUtf8());
    return QTest::qCompare(lines, Lines(path), "lines", qPrintable(path), __FILE__, __LINE__);
}

// A bank of plain texts with the window's defaults. Like a text field, it reports a change to
// the installation only when the text really changes.
struct Bank : kolva::BankFields {
    Bank(kolva::Bank which, double first, QString start)
        : which(which)
        , setAll(std::move(start)) {
        for (int i = 0; i < kolva::ReadingCount; ++i)
            readings << QString::number(first + i / 10.0, 'f', 1);
    }
    QString reading(int index) const override { return readings[index]; }
    void setReading(int index, const QString &text) override {
        if (std::exchange(readings[index], text) != text && installation)
            installation->readingEdited(which);
    }
    QString setAllText() const override { return setAll; }
    QString incrementText() const override { return increment; }
    void setEditMarker(bool pending) override { marker = pending; }

    kolva::Bank which;
    QString setAll, increment = u".1"_s;
    QStringList readings;
    bool marker = false;
    kolva::Installation *installation = nullptr;
};

// Both banks, the records, the installation, the ramp and its inputs, wired as the window wires
// them and started as the window starts: master commit, then slave commit.
struct Console : kolva::RampControls {
    Bank master{kolva::Bank::Master, 25.0, u"25"_s};
    Bank slave{kolva::Bank::Slave, 32.0, u"32"_s};
    kolva::ResponseTable table;
    kolva::Ramp ramp;
    QString seconds = u"60"_s, amount = u"1"_s;
    bool checked = true;
    kolva::Installation installation{master, slave, table, [this] { ramp.restartPeriod(); }};

    Console() {
        master.installation = slave.installation = &installation;
        installation.commit(kolva::Bank::Master);
        installation.commit(kolva::Bank::Slave);
    }
    QString secondsText() const override { return seconds; }
    QString amountText() const override { return amount; }
    bool enabled() const override { return checked; }
    bool tick() { return ramp.tick(installation, *this); }

    // One step of a session, e.g. "t m 4 9": type "9" into master T5. Banks: m, else slave; t
    // type, s Set All, i Increment, c commit, f fault word, u unit (F, else C), r ramp inputs
    // (seconds, amount, 1 enabled), k ticks; "_" stands for a space. Returns "x"
    // for each tick that stepped, "." for each that did not.
    QString run(const QString &step) {
        const QStringList w = step.split(u' ');
        Bank &bank = w.value(1) == u"m" ? master : slave;
        const QString text = QString(w.last()).replace(u'_', u' ');
        const QChar op = w[0][0];
        if (op == u't')
            bank.setReading(w[2].toInt(), text);
        else if (op == u's' || op == u'i')
            (op == u's' ? bank.setAll : bank.increment) = text,
                                        installation.fillInputEdited(bank.which);
        else if (op == u'c')
            installation.commit(bank.which);
        else if (op == u'f')
            installation.injectFault(bank.which, text);
        else if (op == u'u')
            installation.selectUnit(text == u"F" ? kolva::TemperatureUnit::Fahrenheit
                                                 : kolva::TemperatureUnit::Celsius);
        else if (op == u'r')
            seconds = w.value(1), amount = w.value(2), checked = w.value(3) == u"1";
        QString ticks;
        for (int i = 0; op == u'k' && i < w[1].toInt(); ++i)
            ticks += tick() ? u'x' : u'.';
        return ticks;
    }
};

// Messages as a box shows them, "!" for the exclamation icon. whileShown runs once, inside the
// next one, as another event would while a box waits for its click.
struct Messages : kolva::MessageSink {
    QStringList shown;
    std::function<void()> whileShown;
    void showMessage(const QString &text, Icon icon) override {
        shown << (icon == Icon::Exclamation ? u"!"_s : QString()) + text;
        if (whileShown)
            std::exchange(whileShown, nullptr)();
    }
};

// A host whose name and addresses the test chooses; by default it resolves to 10.0.0.7.
struct Resolver : kolva::HostResolver {
    std::optional<QString> name = u"bench"_s;
    int error = 0;
    std::optional<QList<kolva::Ipv4Address>> addresses = QList<kolva::Ipv4Address>{{10, 0, 0, 7}};
    QList<kolva::Ipv4Address> interfaces;
    QString asked;
    std::optional<QString> hostName(int *code) override { return *code = error, name; }
    std::optional<QList<kolva::Ipv4Address>> resolve(const QString &host, int *code) override {
        return asked = host, *code = error, addresses;
    }
    QList<kolva::Ipv4Address> interfaceAddresses() override { return interfaces; }
};

// A client on loopback that asks one query at a time, connecting first where it must: retried
// while nothing listens, as in the moment after another client has left.
struct Client : QTcpSocket {
    quint16 port = [] { // one nothing listens on right now
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : quint16(0);
    }();
    bool connectNow() {
        return state() == ConnectedState || QTest::qWaitFor([&] {
                   abort();
                   connectToHost(QHostAddress::LocalHost, port);
                   return waitForConnected(1000);
               });
    }
    // Everything that came back once it ends with a CR; empty when nothing does.
    QByteArray ask(const QByteArray &query) {
        QByteArray reply;
        if (connectNow() && write(query) == query.size())
            static_cast<void>(QTest::qWaitFor([&] { return (reply += readAll()).endsWith('\r'); }));
        return reply;
    }
};

#ifdef QT_WIDGETS_LIB
struct Browser : kolva::UrlOpener {
    QList<QUrl> opened;
    void open(const QUrl &url) override { opened << url; }
};
#endif

} // namespace fake
