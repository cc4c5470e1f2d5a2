#pragma once

// Stand-ins for what the rules reach outside themselves; the records of a fresh start.

#include "query/host_address.h"
#include "query/socket_error.h"
#include "ramp/ramp.h"

#include <QtNetwork>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace fake {

// The seventeen records of a fresh start: every slave unit has unit 1's readings.
inline QStringList defaultRecords() {
    QFile file(QStringLiteral(KOLVA_DEFAULT_RECORDS));
    QStringList records = file.open(QIODevice::ReadOnly)
                              ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                              : QStringList{QString(), QString()};
    for (int unit = 2; unit <= 16; ++unit)
        records << QString(records[1])
                       .replace(u"Kolva01"_s, u"Kolva%1"_s.arg(unit, 2, 10, QChar(u'0')));
    return records;
}

// A bank of plain texts at the window's defaults.
struct Bank : kolva::BankFields {
    explicit Bank(double first)
        : setAll(QString::number(first)) {
        for (int i = 0; i < kolva::ReadingCount; ++i)
            readings << QString::number(first + i / 10.0, 'f', 1);
    }
    QString reading(int index) const override { return readings[index]; }
    void setReading(int index, const QString &text) override { readings[index] = text; }
    QString setAllText() const override { return setAll; }
    QString incrementText() const override { return u".1"_s; }
    void setEditMarker(bool) override {}

    QString setAll;
    QStringList readings;
};

// Both banks, the records, the installation and the ramp's inputs, started as the window starts
// them: master commit, then slave commit.
struct Console : kolva::RampControls {
    Bank master{25}, slave{32};
    kolva::ResponseTable table;
    kolva::Ramp ramp;
    QString seconds = u"60"_s, amount = u"1"_s;
    bool enabled = true;
    kolva::Installation installation{master, slave, table, [this] { ramp.restartPeriod(); }};

    Console() {
        installation.commit(kolva::Bank::Master);
        installation.commit(kolva::Bank::Slave);
    }
    QString secondsText() const override { return seconds; }
    QString amountText() const override { return amount; }
    bool rampEnabled() const override { return enabled; }
    bool tick() { return ramp.tick(installation, *this); }
};

// A host whose name resolves to 10.0.0.7 unless a test says otherwise; a step given a number
// fails with it.
struct Resolver : kolva::HostResolver {
    QString asked;
    QList<kolva::Ipv4Address> addresses{{10, 0, 0, 7}}, interfaces;
    int nameError = 0, resolveError = 0;
    kolva::OperationError error;

    bool hostName(QString *out) override {
        *out = u"bench"_s;
        return succeeds(nameError);
    }
    bool resolve(const QString &host, QList<kolva::Ipv4Address> *out) override {
        asked = host;
        *out = addresses;
        return succeeds(resolveError);
    }
    QList<kolva::Ipv4Address> interfaceAddresses() override { return interfaces; }
    const kolva::OperationError &lastError() const override { return error; }
    bool succeeds(int number) {
        error = kolva::hostLookupError(number);
        return !number;
    }
};

} // namespace fake
