#pragma once

#include "units/installation.h"

// The ramp: once a second while armed, every numeric reading of both banks rises by a step
// and all seventeen records are rebuilt at once.

namespace kolva {

// The ramp's inputs on the window: "Seconds", "Amount" and "Enabled".
class RampControls {
public:
    virtual ~RampControls() = default;
    virtual QString secondsText() const = 0;
    virtual QString amountText() const = 0;
    virtual bool rampEnabled() const = 0;
};

class Ramp {
public:
    // One tick of the ramp timer. Idle (non-numeric period or step, or not enabled) changes
    // nothing; armed, it counts the tick and steps the installation once the count reaches the
    // period. Returns true when a step ran.
    bool tick(Installation &installation, const RampControls &controls);

    // A master commit starts the period afresh.
    void restartPeriod() { m_tickCount = 0; }

private:
    // Armed ticks since the last step or master commit; saturates rather than wrapping, which
    // only a period past 2^31 - 1 could reach.
    qint32 m_tickCount = 0;
};

} // namespace kolva
