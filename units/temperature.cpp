#include "temperature.h"

#include "number_text.h"

#include <algorithm>

namespace kolva {

float toSingle(double value) {
    constexpr double largest = std::numeric_limits<float>::max();
    return float(std::clamp(finiteValue(value), -largest, largest));
}

float fahrenheitToCelsius(float fahrenheit) {
    return toSingle((double(fahrenheit) - 32.0) * 5.0 / 9.0);
}

float celsiusToFahrenheit(float celsius) { return toSingle((9.0 / 5.0) * double(celsius) + 32.0); }

} // namespace kolva
