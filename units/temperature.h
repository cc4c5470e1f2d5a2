#pragma once

// Celsius/Fahrenheit conversion in single precision, as the readings are converted.

namespace kolva {

enum class TemperatureUnit { Celsius, Fahrenheit };

// A double rounded to single precision; values past the single range are clamped to the
// largest finite single of their sign, so a conversion never yields "inf".
float toSingle(double value);

// ((F - 32) * 5) / 9 in double precision, rounded once to single: 77 -> 25.
float fahrenheitToCelsius(float fahrenheit);

// (9 / 5) * C + 32 in double precision, rounded once to single: 25 -> 77.
float celsiusToFahrenheit(float celsius);

} // namespace kolva
