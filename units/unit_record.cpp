#include "unit_record.h"

#include "number_text.h"

namespace kolva {

QString UnitPrefix(int entry) {
    if (entry == MasterEntry)
        return QStringLiteral("REZU DOZURUZ UNIT, Kolva0_Master, ");
    return QStringLiteral("REZU DOZURUZ UNIT, Kolva%1, ").arg(entry, 2, 10, QLatin1Char('0'));
}

QString ChannelPiece(int index, const QString &valueText) {
    if (index == AmbientIndex)
        return QStringLiteral(" Amb=") + valueText;
    return QStringLiteral(" T%1=").arg(index + 1) + valueText + QLatin1Char(',');
}

QString UnitSuffix(TemperatureUnit unit) {
    return unit == TemperatureUnit::Celsius ? QStringLiteral("C,") : QStringLiteral("F,");
}

QString ComposeUnitRecord(int entry, TemperatureUnit unit,
                          const std::array<QString, ReadingCount> &pieces) {
    QString record = UnitPrefix(entry) + UnitSuffix(unit);
    for (const QString &piece : pieces)
        record += piece;
    return record;
}

QString CommitValueText(const QString &reading) { return OneDecimalText(LeadingNumber(reading)); }

QString StepValueText(double value) { return NumberText(LeadingNumber(OneDecimalText(value))); }

bool IsFaultText(const QString &reading) { return reading.contains(QLatin1Char('E')); }

} // namespace kolva
