#pragma once

#include <QString>

#include <cmath>
#include <limits>

// Number texts of reading fields and records. Only "." is ever a decimal point, whatever the
// process locale: all of these are locale-free.

namespace kolva {

// Value of a text's leading decimal number; blanks, tabs and line feeds anywhere are ignored,
// d/D count as exponent letters, no number gives 0. " 2 5.3xyz" -> 25.3, "25,5" -> 25,
// "1d3" -> 1000. Never fails: a value past the double range saturates to the largest finite
// double of its sign, one too small to represent becomes 0.
double leadingNumber(const QString &text);

// True when the whole text, apart from spaces before and after it, is one decimal number as
// leadingNumber reads it: "25", " 25 ", "-.5", "25.", "1e3" are; "abc", "25abc", "" are not.
bool isNumberText(const QString &text);

// Shortest text of x with at most 15 significant digits: 25 -> "25", 25.1 + 0.1 -> "25.2";
// exponent form from 1E15 on and below 0.0001 (not 0): 0.00001 -> "1E-05".
QString numberText(double x);

// The "###0.0" form: x rounded to 15 significant digits, then half away from zero to one
// place on those digits: 25.05 -> "25.1", -3.25 -> "-3.3", 1E20 -> "100000000000000000000.0".
// A value that rounds to zero is written "0.0", never "-0.0".
QString oneDecimalText(double x);

// As numberText with at most 7 significant digits and exponent form from 1E7 on:
// 77.18f -> "77.18", 1E7f -> "1E+07".
QString singleNumberText(float x);

// x itself when finite; NaN as 0 and an infinity as the largest finite value of its sign, so
// that no computed reading is ever written as "nan" or "inf".
template <typename Real> Real finiteValue(Real x) {
    if (std::isnan(x))
        return Real(0);
    if (std::isinf(x))
        return std::copysign(std::numeric_limits<Real>::max(), x);
    return x;
}

// Sum of two finite doubles, clamped to the largest finite double of its sign instead of
// overflowing, so no computed reading is ever written as "inf".
double finiteSum(double a, double b);

} // namespace kolva
