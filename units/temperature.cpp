#include "temperature.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kolva {

float ToSingle(double value) {
    constexpr double largest = std::numeric_limits<float>::max();
    if (std::isnan(value))
        return 0.0f;
    return float(std::clamp(value, -largest, largest));
}

float FtoC(float fahrenheit) { return ToSingle((double(fahrenheit) - 32.0) * 5.0 / 9.0); }

float CtoF(float celsius) { return ToSingle((9.0 / 5.0) * double(celsius) + 32.0); }

} // namespace kolva
