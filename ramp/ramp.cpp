#include "ramp.h"

#include "units/number_text.h"

#include <limits>

namespace kolva {

bool Ramp::tick(Installation &installation, const RampControls &controls) {
    const QString seconds = controls.secondsText();
    const QString amount = controls.amountText();
    if (!IsNumberText(seconds) || !IsNumberText(amount) || !controls.enabled())
        return false;
    if (m_tickCount < std::numeric_limits<qint32>::max())
        ++m_tickCount;
    if (LeadingNumber(seconds) > m_tickCount)
        return false;
    m_tickCount = 0;
    installation.stepReadings(LeadingNumber(amount));
    return true;
}

} // namespace kolva
