#include "ramp.h"

#include "units/number_text.h"

#include <limits>

namespace kolva {

bool Ramp::tick(Installation &installation, const RampControls &controls) {
    const QString seconds = controls.secondsText();
    const QString amount = controls.amountText();
    if (!isNumberText(seconds) || !isNumberText(amount) || !controls.rampEnabled())
        return false;
    if (m_tickCount < std::numeric_limits<qint32>::max())
        ++m_tickCount;
    if (leadingNumber(seconds) > m_tickCount)
        return false;
    m_tickCount = 0;
    installation.stepReadings(leadingNumber(amount));
    return true;
}

} // namespace kolva
