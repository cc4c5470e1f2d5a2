#pragma once

#include "unit_record.h"

#include <QString>

#include <functional>

// The simulated installation's rules behind the operator console: edit tracking, the bank
// commit, fault injection, the temperature unit and the ramp's step, free of any widget.

namespace kolva {

enum class Bank { Master, Slave };

inline const QString ComErWord = QStringLiteral("ComEr");
inline const QString OpenWord = QStringLiteral("OPEN");

// The window side of one reading bank: its seventeen reading fields, the inputs of its
// Set-All fill and its edit marker. The window implements it with widgets, tests with arrays.
class BankFields {
public:
    virtual ~BankFields() = default;
    virtual QString reading(int index) const = 0;
    // Writes a reading field; the field's change notification runs inside this call.
    virtual void setReading(int index, const QString &text) = 0;
    virtual QString setAllText() const = 0;
    virtual QString incrementText() const = 0;
    // Shows (true) or clears the bank's pending-edit marker, the bold "Accept Changes".
    virtual void setEditMarker(bool pending) = 0;
};

class Installation {
public:
    // masterCommitted runs at the end of every master commit: it restarts the ramp's period.
    Installation(BankFields &master, BankFields &slave, ResponseTable &table,
                 std::function<void()> masterCommitted = {});
    Installation(const Installation &) = delete;
    Installation &operator=(const Installation &) = delete;

    // A reading field of the bank changed: marks the bank edited, unless the system wrote it.
    void readingEdited(Bank bank);
    // The bank's "Set All Sensors" or "Increment" changed: marks the bank and arms its fill,
    // unless the system is writing.
    void fillInputEdited(Bank bank);

    // "Accept Changes": applies an armed fill, publishes the bank, clears its marker. Does
    // nothing while the system writes.
    void commit(Bank bank);

    // Writes a fault word ("ComEr", "OPEN") into all seventeen fields, as an operator edit.
    void injectFault(Bank bank, const QString &word);

    // Puts the unit in force, converting every numeric reading of both banks towards it and
    // committing both banks. Selecting the unit already in force changes nothing.
    void selectUnit(TemperatureUnit unit);

    // The ramp's step: every numeric reading of both banks rises by amount, and all seventeen
    // records are rebuilt from the stepped values; fault texts are published as they stand.
    void stepReadings(double amount);

private:
    BankFields &fields(Bank bank) { return bank == Bank::Master ? m_master : m_slave; }
    bool &setAllPending(Bank bank) {
        return bank == Bank::Master ? m_masterSetAllPending : m_slaveSetAllPending;
    }
    // The one place the system writes a reading field: ProgramWriting is raised around it.
    void writeReading(Bank bank, int index, const QString &text);
    void publish(Bank bank, const std::array<QString, ReadingCount> &pieces);
    void fill(Bank bank);
    void convertReadings();

    BankFields &m_master;
    BankFields &m_slave;
    ResponseTable &m_table;
    std::function<void()> m_masterCommitted;
    bool m_programWriting = false;
    bool m_masterSetAllPending = false;
    bool m_slaveSetAllPending = false;
    TemperatureUnit m_unit = TemperatureUnit::Celsius;
};

} // namespace kolva
