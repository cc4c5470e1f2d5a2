#include "ramp.h"

#include "units/number_text.h"

#include <limits>

namespace kolva {
namespace {

// Steps the numeric readings of one bank and returns its pieces; fault texts pass unchanged.
std::array<QString, ReadingCount> StepBank(Installation &installation, Bank bank,
                                           const RampControls &controls) {
    std::array<QString, ReadingCount> pieces;
    for (int i = 0; i < ReadingCount; ++i) {
        const QString text = installation.fields(bank).reading(i);
        if (IsFaultText(text)) {
            pieces[std::size_t(i)] = ChannelPiece(i, text);
            continue;
        }
        const double step = LeadingNumber(controls.amountText());
        const double value = FiniteSum(LeadingNumber(text), step);
        installation.writeReading(bank, i, NumberText(value));
        pieces[std::size_t(i)] = ChannelPiece(i, RampValueText(value));
    }
    return pieces;
}

} // namespace

QString RampValueText(double value) { return NumberText(LeadingNumber(OneDecimalText(value))); }

bool RampTick(Installation &installation, const RampControls &controls) {
    const QString seconds = controls.secondsText();
    if (!IsNumberText(seconds) || !IsNumberText(controls.amountText()) || !controls.enabled())
        return false;
    // The count saturates rather than wrapping; only a period past 2^31 - 1 could reach it.
    qint32 count = installation.rampTickCount();
    if (count < std::numeric_limits<qint32>::max())
        ++count;
    installation.setRampTickCount(count);
    if (LeadingNumber(seconds) > count)
        return false;
    installation.setRampTickCount(0);

    installation.publish(Bank::Master, StepBank(installation, Bank::Master, controls));
    installation.publish(Bank::Slave, StepBank(installation, Bank::Slave, controls));
    return true;
}

} // namespace kolva
