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
    virtual bool enabled() const = 0;
};

// A stepped value as the ramp publishes it: rounded to one decimal, then written shortest,
// so 26.04 -> "26" where a commit writes "26.0".
QString RampValueText(double value);

// One tick of the ramp timer. Idle (non-numeric period or step, or not enabled) changes
// nothing; armed, it counts the tick and steps both banks once the count reaches the period.
// Returns true when a step ran.
bool RampTick(Installation &installation, const RampControls &controls);

} // namespace kolva
