#pragma once

#include "ramp/ramp.h"
#include "units/installation.h"

#include <QStringList>

#include <array>

// A bank of plain texts standing in for the window's fields. Like a text field, it reports a
// change to the installation only when the text really changes.
class FakeBank : public kolva::BankFields {
public:
    FakeBank(kolva::Bank bank, double first, QString setAll)
        : m_bank(bank)
        , m_setAll(std::move(setAll)) {
        for (int i = 0; i < kolva::ReadingCount; ++i)
            m_readings[std::size_t(i)] = QString::number(first + i / 10.0, 'f', 1);
    }

    void attach(kolva::Installation *installation) { m_installation = installation; }

    QString reading(int index) const override { return m_readings.at(std::size_t(index)); }
    void setReading(int index, const QString &text) override {
        if (m_readings.at(std::size_t(index)) == text)
            return;
        m_readings.at(std::size_t(index)) = text;
        ++writes;
        if (m_installation)
            m_installation->readingEdited(m_bank);
    }
    QString setAllText() const override { return m_setAll; }
    QString incrementText() const override { return increment; }
    void setEditMarker(bool pending) override { marker = pending; }

    // Operator edits of the fill inputs, as the window reports them.
    void typeSetAll(const QString &text) {
        m_setAll = text;
        m_installation->fillInputEdited(m_bank);
    }
    void typeIncrement(const QString &text) {
        increment = text;
        m_installation->fillInputEdited(m_bank);
    }

    QStringList readings() const { return {m_readings.begin(), m_readings.end()}; }

    QString increment = QStringLiteral(".1");
    bool marker = false;
    int writes = 0;

private:
    kolva::Bank m_bank;
    QString m_setAll;
    std::array<QString, kolva::ReadingCount> m_readings;
    kolva::Installation *m_installation = nullptr;
};

// The ramp's three inputs as plain values, armed with the window's defaults.
struct FakeRampControls : kolva::RampControls {
    QString seconds = QStringLiteral("60");
    QString amount = QStringLiteral("1");
    bool checked = true;
    QString secondsText() const override { return seconds; }
    QString amountText() const override { return amount; }
    bool enabled() const override { return checked; }
};

// Two default banks wired to one installation, as the window holds them after creation.
struct FakeConsole {
    FakeBank master{kolva::Bank::Master, 25.0, QStringLiteral("25")};
    FakeBank slave{kolva::Bank::Slave, 32.0, QStringLiteral("32")};
    kolva::ResponseTable table;
    kolva::Installation installation{master, slave, table};

    FakeConsole() {
        master.attach(&installation);
        slave.attach(&installation);
    }
    // The start-up's two commits.
    void start() {
        installation.commit(kolva::Bank::Master);
        installation.commit(kolva::Bank::Slave);
    }
};
