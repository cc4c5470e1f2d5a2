#pragma once

// Stand-ins for what the rules and the window reach outside themselves, shared by the tests, the
// fuzz targets and the benchmark, and the records a fresh simulator publishes.

#include "query/host_address.h"
#include "ramp/ramp.h"

#include <QFile>
#include <QStringList>
#include <QTest>

#include <array>
#include <utility>

#ifdef QT_NETWORK_LIB
#include <QTcpServer>
#include <QTcpSocket>
#endif
#ifdef QT_WIDGETS_LIB
#include "ui/about_window.h"
#endif

namespace fake {

// The seventeen records of a fresh start, from tests/default_records.txt.
inline QStringList DefaultRecords() {
    QFile file(QStringLiteral(KOLVA_DEFAULT_RECORDS));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", KOLVA_DEFAULT_RECORDS);
    return QString::fromLatin1(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// A text with its control and non-ASCII characters spelled out, one transcript line each.
inline QString Escaped(QStringView text) {
    QString out;
    for (const QChar c : text)
        out += c == u'\r'   ? QStringLiteral("\\r")
               : c == u'\n' ? QStringLiteral("\\n")
               : c.unicode() < 32 || c.unicode() > 126
                   ? QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'))
                   : QString(c);
    return out;
}

// Compares the lines a test wrote with its golden file of expected output, tests/golden/<name>.
// KOLVA_UPDATE_GOLDEN=1 writes the file anew after a deliberate change: review its diff.
inline bool MatchesGolden(const QStringList &lines, const QString &name) {
    QFile golden(QStringLiteral(KOLVA_GOLDEN_DIR "/") + name);
    if (qEnvironmentVariableIsSet("KOLVA_UPDATE_GOLDEN"))
        return golden.open(QIODevice::WriteOnly) &&
               golden.write((lines.join(u'\n') + u'\n').toUtf8());
    if (!golden.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(golden.fileName()));
    const QStringList expected =
        QString::fromUtf8(golden.readAll()).split(u'\n', Qt::SkipEmptyParts);
    return QTest::qCompare(lines, expected, "lines", qPrintable(name), __FILE__, __LINE__);
}

// A bank of plain texts with the window's defaults. Like a text field, it reports a change to
// the installation only when the text really changes.
struct Bank : kolva::BankFields {
    Bank(kolva::Bank which, double first, QString start)
        : which(which)
        , setAll(std::move(start)) {
        for (int i = 0; i < kolva::ReadingCount; ++i)
            readings[std::size_t(i)] = QString::number(first + i / 10.0, 'f', 1);
    }
    QString reading(int index) const override { return readings.at(std::size_t(index)); }
    void setReading(int index, const QString &text) override {
        if (std::exchange(readings.at(std::size_t(index)), text) != text && installation)
            installation->readingEdited(which);
    }
    QString setAllText() const override { return setAll; }
    QString incrementText() const override { return increment; }
    void setEditMarker(bool pending) override { marker = pending; }

    // Operator edits of the fill inputs, as the window reports them.
    void typeSetAll(const QString &text) {
        setAll = text;
        installation->fillInputEdited(which);
    }
    void typeIncrement(const QString &text) {
        increment = text;
        installation->fillInputEdited(which);
    }

    kolva::Bank which;
    QString setAll;
    QString increment = QStringLiteral(".1");
    std::array<QString, kolva::ReadingCount> readings;
    bool marker = false;
    kolva::Installation *installation = nullptr;
};

// The ramp's inputs, armed with the window's defaults.
struct RampControls : kolva::RampControls {
    QString seconds = QStringLiteral("60");
    QString amount = QStringLiteral("1");
    bool checked = true;
    QString secondsText() const override { return seconds; }
    QString amountText() const override { return amount; }
    bool enabled() const override { return checked; }
};

// Both banks, the records, the installation and the ramp, wired as the window wires them and
// started as the window starts: master commit, then slave commit.
struct Console {
    Bank master{kolva::Bank::Master, 25.0, QStringLiteral("25")};
    Bank slave{kolva::Bank::Slave, 32.0, QStringLiteral("32")};
    kolva::ResponseTable table;
    kolva::Ramp ramp;
    RampControls controls;
    kolva::Installation installation{master, slave, table, [this] { ramp.restartPeriod(); }};

    Console() {
        master.installation = slave.installation = &installation;
        installation.commit(kolva::Bank::Master);
        installation.commit(kolva::Bank::Slave);
    }
    bool tick() { return ramp.tick(installation, controls); }
};

struct Messages : kolva::MessageSink {
    QStringList shown;
    void showMessage(const QString &text, Icon icon) override {
        shown << (icon == Icon::Exclamation ? QStringLiteral("!") : QString()) + text;
    }
};

// A host whose name and addresses the test chooses; by default it resolves to 10.0.0.7.
struct Resolver : kolva::HostResolver {
    std::optional<QString> name = QStringLiteral("bench");
    int error = 0;
    std::optional<QList<kolva::Ipv4Address>> addresses = QList<kolva::Ipv4Address>{{10, 0, 0, 7}};
    QList<kolva::Ipv4Address> interfaces;
    QString asked;
    std::optional<QString> hostName(int *code) override {
        *code = error;
        return name;
    }
    std::optional<QList<kolva::Ipv4Address>> resolve(const QString &host, int *code) override {
        asked = host;
        *code = error;
        return addresses;
    }
    QList<kolva::Ipv4Address> interfaceAddresses() override { return interfaces; }
};

#ifdef QT_NETWORK_LIB
// A port nothing listens on right now.
inline quint16 FreePort() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// A client on loopback that asks one query at a time, connecting first where it must: retried
// while nothing listens, as in the moment after another client has left.
struct Client : QTcpSocket {
    quint16 port = FreePort();
    bool connectNow() {
        for (int attempt = 0; state() != ConnectedState && attempt < 300; ++attempt) {
            abort();
            connectToHost(QHostAddress::LocalHost, port);
            if (!QTest::qWaitFor([&] { return state() != ConnectingState; }))
                break;
            QTest::qWait(state() == ConnectedState ? 0 : 5);
        }
        return state() == ConnectedState;
    }
    // Everything that came back once it ends with a CR; empty when nothing does.
    QByteArray ask(const QByteArray &query) {
        QByteArray reply;
        if (connectNow() && write(query) == query.size())
            static_cast<void>(QTest::qWaitFor([&] { return (reply += readAll()).endsWith('\r'); }));
        return reply;
    }
};
#endif

#ifdef QT_WIDGETS_LIB
struct Browser : kolva::UrlOpener {
    QList<QUrl> opened;
    bool open(const QUrl &url) override {
        opened << url;
        return false;
    }
};
#endif

} // namespace fake
