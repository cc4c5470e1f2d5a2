#pragma once

#include "unit_record.h"

#include <QString>

// The simulated installation's rules behind the operator console: edit tracking, the bank
// commit, fault injection and the temperature unit, free of any widget.

namespace kolva {

enum class Bank { Master, Slave };
enum class TemperatureUnit { Celsius, Fahrenheit };

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
    Installation(BankFields &master, BankFields &slave, ResponseTable &table);
    Installation(const Installation &) = delete;
    Installation &operator=(const Installation &) = delete;

    // A reading field of the bank changed: marks the bank edited, unless the system wrote it.
    void readingEdited(Bank bank);
    // The bank's "Set All Sensors" or "Increment" changed: marks the bank and arms its fill,
    // unless the system is writing.
    void fillInputEdited(Bank bank);

    // "Accept Changes": applies an armed fill, publishes the bank, clears its marker; the
    // master commit also restarts the ramp period. Does nothing while the system writes.
    void commit(Bank bank);

    // Writes a fault word ("ComEr", "OPEN") into all seventeen fields, as an operator edit.
    void injectFault(Bank bank, const QString &word);

    // Puts the unit in force, converting every numeric reading of both banks towards it and
    // committing both banks. Selecting the unit already in force changes nothing.
    void selectUnit(TemperatureUnit unit);

    // The one place the system writes a reading field: ProgramWriting is raised around it.
    void writeReading(Bank bank, int index, const QString &text);

    // Stores the bank's record(s) built from the given pieces under the unit in force.
    void publish(Bank bank, const std::array<QString, ReadingCount> &pieces);

    BankFields &fields(Bank bank) { return bank == Bank::Master ? m_master : m_slave; }
    bool programWriting() const { return m_programWriting; }
    bool setAllPending(Bank bank) const {
        return bank == Bank::Master ? m_masterSetAllPending : m_slaveSetAllPending;
    }
    const QString &unitSuffix() const { return m_unitSuffix; }
    qint32 rampTickCount() const { return m_rampTickCount; }
    void setRampTickCount(qint32 count) { m_rampTickCount = count; }

private:
    bool &setAllFlag(Bank bank) {
        return bank == Bank::Master ? m_masterSetAllPending : m_slaveSetAllPending;
    }
    void fill(Bank bank);
    void convertReadings();

    BankFields &m_master;
    BankFields &m_slave;
    ResponseTable &m_table;
    bool m_programWriting = false;
    bool m_masterSetAllPending = false;
    bool m_slaveSetAllPending = false;
    QString m_unitSuffix = QStringLiteral("C,");
    qint32 m_rampTickCount = 0;
};

} // namespace kolva
