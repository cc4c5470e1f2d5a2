#include "installation.h"

#include "number_text.h"
#include "temperature.h"

namespace kolva {

namespace {

// A reading as a commit publishes it: its leading number with one decimal ("ComEr" -> "0.0").
QString CommitValueText(const QString &reading) { return OneDecimalText(LeadingNumber(reading)); }

// A stepped value as a ramp step publishes it: rounded to one decimal, then written shortest,
// so 26.04 -> "26" where a commit writes "26.0".
QString StepValueText(double value) { return NumberText(LeadingNumber(OneDecimalText(value))); }

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
    m_programWriting = true;
    fields(bank).setReading(index, text);
    m_programWriting = false;
}

void Installation::fill(Bank bank) {
    BankFields &bankFields = fields(bank);
    const QString start = bankFields.setAllText();
    if (!IsNumberText(start))
        return;
    writeReading(bank, 0, start);
    // Each field follows from the text the previous one now shows, so every step passes
    // through NumberText and 0.1 steps stay "25.2" rather than 25.200000000000003.
    for (int i = 1; i < ReadingCount; ++i) {
        const double increment = LeadingNumber(bankFields.incrementText());
        const double previous = LeadingNumber(bankFields.reading(i - 1));
        writeReading(bank, i, NumberText(FiniteSum(previous, increment)));
    }
}

void Installation::publish(Bank bank, const std::array<QString, ReadingCount> &pieces) {
    if (bank == Bank::Master) {
        m_table.store(MasterEntry, ComposeUnitRecord(MasterEntry, m_unit, pieces));
        return;
    }
    for (int entry = FirstSlaveEntry; entry < EntryCount; ++entry)
        m_table.store(entry, ComposeUnitRecord(entry, m_unit, pieces));
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
        pieces[std::size_t(i)] = ChannelPiece(i, CommitValueText(bankFields.reading(i)));
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
        if (IsFaultText(text))
            return;
        const float value = ToSingle(LeadingNumber(text));
        writeReading(bank, index, SingleNumberText(toCelsius ? FtoC(value) : CtoF(value)));
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
            if (IsFaultText(text)) {
                pieces[std::size_t(i)] = ChannelPiece(i, text);
                continue;
            }
            const double value = FiniteSum(LeadingNumber(text), amount);
            writeReading(bank, i, NumberText(value));
            pieces[std::size_t(i)] = ChannelPiece(i, StepValueText(value));
        }
        publish(bank, pieces);
    }
}

} // namespace kolva
