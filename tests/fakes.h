#pragma once

// Stand-ins for what the rules and the window reach outside themselves, and the records a fresh
// simulator publishes.

#include "query/host_address.h"
#include "ramp/ramp.h"

#include <QtNetwork>
#include <QtTest>

#ifdef QT_WIDGETS_LIB
#include "ui/about_window.h"
#include "ui/message_sink.h"
#endif

using namespace Qt::StringLiterals;

namespace fake {

// The seventeen records of a fresh start, from tests/default_records.txt.
inline QStringList defaultRecords() {
    QFile file(QStringLiteral(KOLVA_DEFAULT_RECORDS));
    return file.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
               : QStringList();
}

// A bank of plain texts at the window's defaults; like a field, it tells the installation of a
// change only when the text really changes.
struct Bank : kolva::BankFields {
    Bank(kolva::Bank which, double first, QString start)
        : which(which)
        , setAll(start) {
        for (int i = 0; i < kolva::ReadingCount; ++i)
            readings << QString::number(first + i / 10.0, 'f', 1);
    }
    QString reading(int index) const override { return readings[index]; }
    void setReading(int index, const QString &text) override {
        const bool changed = readings[index] != text;
        readings[index] = text;
        if (changed && installation)
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

// Both banks, the records, the installation and the ramp's inputs, wired and started as the
// window does: master commit, then slave commit.
struct Console : kolva::RampControls {
    Bank master{kolva::Bank::Master, 25.0, u"25"_s}, slave{kolva::Bank::Slave, 32.0, u"32"_s};
    kolva::ResponseTable table;
    kolva::Ramp ramp;
    QString seconds = u"60"_s, amount = u"1"_s;
    bool enabled = true;
    kolva::Installation installation{master, slave, table, [this] { ramp.restartPeriod(); }};

    Console() {
        master.installation = slave.installation = &installation;
        installation.commit(kolva::Bank::Master);
        installation.commit(kolva::Bank::Slave);
    }
    QString secondsText() const override { return seconds; }
    QString amountText() const override { return amount; }
    bool rampEnabled() const override { return enabled; }
    bool tick() { return ramp.tick(installation, *this); }
};

// A host whose name resolves to 10.0.0.7, unless a test says otherwise.
struct Resolver : kolva::HostResolver {
    QString name = u"bench"_s, asked;
    QList<kolva::Ipv4Address> addresses{{10, 0, 0, 7}}, interfaces;
    int nameError = 0, resolveError = 0, error = 0; // the codes hostName() and resolve() fail with

    bool hostName(QString *out) override {
        *out = name;
        return succeeds(nameError);
    }
    bool resolve(const QString &host, QList<kolva::Ipv4Address> *out) override {
        asked = host;
        *out = addresses;
        return succeeds(resolveError);
    }
    QList<kolva::Ipv4Address> interfaceAddresses() override { return interfaces; }
    int lastError() const override { return error; }
    bool succeeds(int code) {
        error = code ? code : error;
        return code == 0;
    }
};

#ifdef QT_WIDGETS_LIB
// Messages as a box shows them, "!" first for the exclamation icon. whileShown runs once, inside
// the next message, as another event would while a box waits for its click.
struct Messages : kolva::MessageSink {
    QStringList shown;
    std::function<void()> whileShown;
    void showMessage(const QString &text, Icon icon) override {
        shown << (icon == Icon::Exclamation ? u"!"_s : QString()) + text;
        if (whileShown)
            std::exchange(whileShown, nullptr)();
    }
};

struct Browser : kolva::UrlOpener {
    QList<QUrl> opened;
    void open(const QUrl &url) override { opened << url; }
};
#endif

} // namespace fake
