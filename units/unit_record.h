#pragma once

#include "temperature.h"

#include <QString>

#include <array>

// The text record that describes one simulated unit, and the table of all seventeen.

namespace kolva {

// Readings per bank: channels T1 to T16 at indices 0 to 15, the ambient channel at 16.
inline constexpr int ReadingCount = 17;
inline constexpr int AmbientIndex = 16;
// ResponseTable entries: 0 is the master unit, 1 to 16 the slave units.
inline constexpr int EntryCount = 17;
inline constexpr int MasterEntry = 0;
inline constexpr int FirstSlaveEntry = 1;

// "REZU DOZURUZ UNIT, Kolva0_Master, " for entry 0, "REZU DOZURUZ UNIT, Kolva07, " for 7.
QString unitPrefix(int entry);

// One channel's piece of a record: (0, "25.0") -> " T1=25.0,", (16, "OPEN") -> " Amb=OPEN".
QString channelPiece(int index, const QString &valueText);

// Prefix of the entry, the unit's suffix, then the seventeen pieces, unframed.
QString composeUnitRecord(int entry, TemperatureUnit unit,
                          const std::array<QString, ReadingCount> &pieces);

// True for a reading the ramp and the unit conversion leave alone: one with a capital "E"
// anywhere. Both fault words a unit reports ("ComEr", "OPEN") have one, and so has a number
// once written in exponent form ("1E+15"), which the installation then also stops changing.
// Lower case does not count: "1e2" and "open" are numeric texts.
bool isFaultText(const QString &reading);

// The seventeen records clients are answered from. Entries start empty and are only ever
// replaced whole, by the publishers.
class ResponseTable {
public:
    const QString &record(int entry) const { return m_records.at(std::size_t(entry)); }
    void store(int entry, QString record) { m_records.at(std::size_t(entry)) = std::move(record); }

private:
    std::array<QString, EntryCount> m_records;
};

} // namespace kolva
