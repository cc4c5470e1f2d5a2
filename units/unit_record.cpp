#include "unit_record.h"

namespace kolva {

QString unitPrefix(int entry) {
    if (entry == MasterEntry)
        return QStringLiteral("REZU DOZURUZ UNIT, Kolva0_Master, ");
    return QStringLiteral("REZU DOZURUZ UNIT, Kolva%1, ").arg(entry, 2, 10, QLatin1Char('0'));
}

QString channelPiece(int index, const QString &valueText) {
    if (index == AmbientIndex)
        return QStringLiteral(" Amb=") + valueText;
    return QStringLiteral(" T%1=").arg(index + 1) + valueText + QLatin1Char(',');
}

QString composeUnitRecord(int entry, TemperatureUnit unit,
                          const std::array<QString, ReadingCount> &pieces) {
    // The one place the unit is written: "C," or "F,".
    QString record = unitPrefix(entry) + (unit == TemperatureUnit::Celsius ? QStringLiteral("C,")
                                                                           : QStringLiteral("F,"));
    for (const QString &piece : pieces)
        record += piece;
    return record;
}

bool isFaultText(const QString &reading) { return reading.contains(QLatin1Char('E')); }

} // namespace kolva
