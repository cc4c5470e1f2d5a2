#include "installation.h"

#include "number_text.h"
#include "temperature.h"

#include <QScopedValueRollback>

namespace kolva {

namespace {

// A reading as a commit publishes it: its leading number with one decimal ("ComEr" -> "0.0").
QString commitValueText(const QString &reading) { return oneDecimalText(leadingNumber(reading)); }

// A stepped value as a ramp step publishes it: rounded to one decimal, then written shortest,
// so 26.04 -> "26" where a commit writes "26.0".
QString stepValueText(double value) { return numberText(leadingNumber(oneDecimalText(value))); }

} // namespace

Installation::Installation(BankFields &master, BankFields &slave, ResponseTable &table,
                           std::function<void()> masterCommitted)
    : m_master(master)
    , m_slave(slave)
    , m_table(table)
    , m_masterCommitted(std::move(masterCommitted)) {}

void Installation::readingEdited(Bank bank) {
    if (!m_programWriting)
        fields(bank).setEditMarker(true);
}

void Installation::fillInputEdited(Bank bank) {
    if (m_programWriting)
        return;
    setAllPending(bank) = true;
    fields(bank).setEditMarker(true);
}

void Installation::writeReading(Bank bank, int index, const QString &text) {
    const QScopedValueRollback programWriting(m_programWriting, true);
    fields(bank).setReading(index, text);
}

void Installation::fill(Bank bank) {
    BankFields &bankFields = fields(bank);
    const QString start = bankFields.setAllText();
    if (!isNumberText(start))
        return;
    writeReading(bank, 0, start);
    // Each field follows from the text the previous one now shows, so every step passes
    // through numberText and 0.1 steps stay "25.2" rather than 25.200000000000003.
    for (int i = 1; i < ReadingCount; ++i) {
        const double increment = leadingNumber(bankFields.incrementText());
        const double previous = leadingNumber(bankFields.reading(i - 1));
        writeReading(bank, i, numberText(finiteSum(previous, increment)));
    }
}

void Installation::publish(Bank bank, const std::array<QString, ReadingCount> &pieces) {
    if (bank == Bank::Master) {
        m_table.store(MasterEntry, composeUnitRecord(MasterEntry, m_unit, pieces));
        return;
    }
    for (int entry = FirstSlaveEntry; entry < EntryCount; ++entry)
        m_table.store(entry, composeUnitRecord(entry, m_unit, pieces));
}

void Installation::commit(Bank bank) {
    if (m_programWriting)
        return;
    if (setAllPending(bank)) {
        setAllPending(bank) = false;
        fill(bank);
    }
    BankFields &bankFields = fields(bank);
    std::array<QString, ReadingCount> pieces;
    for (int i = 0; i < ReadingCount; ++i)
        pieces[std::size_t(i)] = channelPiece(i, commitValueText(bankFields.reading(i)));
    publish(bank, pieces);
    bankFields.setEditMarker(false);
    if (bank == Bank::Master && m_masterCommitted)
        m_masterCommitted();
}

void Installation::injectFault(Bank bank, const QString &word) {
    // Deliberately not a system write: the bank shows as edited, like typing would.
    for (int i = 0; i < ReadingCount; ++i)
        fields(bank).setReading(i, word);
}

void Installation::selectUnit(TemperatureUnit unit) {
    if (unit == m_unit)
        return;
    m_unit = unit;
    convertReadings();
}

void Installation::convertReadings() {
    const bool toCelsius = m_unit == TemperatureUnit::Celsius;
    const auto convert = [&](Bank bank, int index) {
        const QString text = fields(bank).reading(index);
        if (isFaultText(text))
            return;
        const float value = toSingle(leadingNumber(text));
        writeReading(
            bank, index,
            singleNumberText(toCelsius ? fahrenheitToCelsius(value) : celsiusToFahrenheit(value)));
    };
    for (int i = 0; i < ReadingCount; ++i) {
        convert(Bank::Master, i);
        convert(Bank::Slave, i);
    }
    commit(Bank::Master);
    commit(Bank::Slave);
}

void Installation::stepReadings(double amount) {
    for (const Bank bank : {Bank::Master, Bank::Slave}) {
        std::array<QString, ReadingCount> pieces;
        for (int i = 0; i < ReadingCount; ++i) {
            const QString text = fields(bank).reading(i);
            if (isFaultText(text)) {
                pieces[std::size_t(i)] = channelPiece(i, text);
                continue;
            }
            const double value = finiteSum(leadingNumber(text), amount);
            writeReading(bank, i, numberText(value));
            pieces[std::size_t(i)] = channelPiece(i, stepValueText(value));
        }
        publish(bank, pieces);
    }
}

} // namespace kolva
