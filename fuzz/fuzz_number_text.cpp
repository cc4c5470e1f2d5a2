#include "fuzz_check.h"
#include "units/number_text.h"
#include "units/temperature.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

// Any bytes, read as a typed field text in two encodings and as raw numbers: reading a number
// text agrees with a plain reading of the rule, writing never fails nor writes a non-finite
// value, and what is written reads back digit for digit.

using namespace kolva;

namespace {

void CheckWritten(double x) {
    const QString shortest = NumberText(x);
    Require(!NamesNonFinite(shortest), "NumberText finite", shortest);
    Require(IsNumberText(shortest), "NumberText reads as a number", shortest);
    // 15 significant digits survive a round trip exactly.
    Require(NumberText(LeadingNumber(shortest)) == shortest, "NumberText round trip", shortest);

    const QString tenths = OneDecimalText(x);
    Require(!NamesNonFinite(tenths), "OneDecimalText finite", tenths);
    Require(!tenths.contains(QLatin1Char('e'), Qt::CaseInsensitive), "OneDecimalText plain",
            tenths);
    const qsizetype point = tenths.indexOf(QLatin1Char('.'));
    Require(point > 0 && point == tenths.size() - 2 && tenths != QLatin1String("-0.0"),
            "OneDecimalText one decimal", tenths);
    const double largest = std::numeric_limits<double>::max();
    const double finite = std::isnan(x) ? 0.0 : std::clamp(x, -largest, largest);
    Require(std::fabs(LeadingNumber(tenths) - finite) <= 0.05 + std::fabs(finite) * 1e-14,
            "OneDecimalText within a twentieth", tenths + QLatin1String(" for ") + shortest);
}

void CheckSingle(float x) {
    for (const float value : {x, CtoF(x), FtoC(x)}) {
        const QString text = SingleNumberText(value);
        Require(!NamesNonFinite(text), "SingleNumberText finite", text);
        Require(IsNumberText(text), "SingleNumberText reads as a number", text);
    }
}

// The rule for a leading number read plainly, for comparison: the longest run of sign, digits,
// one point, digits and a complete exponent (e, E, d or D) at the start of an ASCII text, its
// value as the C library reads it, saturated instead of infinite. 0 when it holds no digit.
struct Plain {
    double value = 0.0;
    std::size_t end = 0;
};

Plain PlainNumber(const std::string &s) {
    const auto digits = [&](std::size_t i) {
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i;
        return i;
    };
    std::size_t i = s.empty() || (s[0] != '+' && s[0] != '-') ? 0 : 1;
    const std::size_t intEnd = digits(i);
    std::size_t end = intEnd;
    if (end < s.size() && s[end] == '.')
        end = digits(end + 1);
    if (end - i - (end > intEnd ? 1 : 0) == 0)
        return {};
    std::string number = s.substr(0, end);
    if (end < s.size() && std::strchr("eEdD", s[end]) && s[end] != '\0') {
        std::size_t exponent = end + 1;
        if (exponent < s.size() && (s[exponent] == '+' || s[exponent] == '-'))
            ++exponent;
        if (const std::size_t exponentEnd = digits(exponent); exponentEnd > exponent) {
            number += 'e' + s.substr(end + 1, exponentEnd - end - 1);
            end = exponentEnd;
        }
    }
    const double value = std::strtod(number.c_str(), nullptr);
    return {std::isinf(value) ? std::copysign(std::numeric_limits<double>::max(), value) : value,
            end};
}

// One char per character, anything outside ASCII as "#"; optionally without any blank.
std::string Ascii(const QString &text, bool dropBlanks) {
    std::string ascii;
    for (const QChar c : text)
        if (!dropBlanks || (c != u' ' && c != u'\t' && c != u'\n'))
            ascii += c.unicode() < 128 ? char(c.unicode()) : '#';
    return ascii;
}

void CheckText(const QString &text) {
    const double value = LeadingNumber(text);
    const double plain = PlainNumber(Ascii(text, true)).value;
    // A value below the double range may come out as 0 rather than as a subnormal.
    Require(value == plain || (value == 0.0 && std::fabs(plain) < 1e-300),
            "LeadingNumber reads the leading number", text);

    std::string trimmed = Ascii(text, false);
    trimmed.erase(0, trimmed.find_first_not_of(' '));
    trimmed.erase(trimmed.find_last_not_of(' ') + 1);
    const Plain whole = PlainNumber(trimmed);
    Require(IsNumberText(text) == (whole.end > 0 && whole.end == trimmed.size()),
            "IsNumberText is one number and nothing else", text);

    CheckWritten(value);
    CheckSingle(ToSingle(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const char *bytes = reinterpret_cast<const char *>(data);
    const auto length = qsizetype(size);
    CheckText(QString::fromUtf8(bytes, length));
    CheckText(QString::fromLatin1(bytes, length));

    // The same bytes as numbers, non-finite and subnormal ones included.
    if (size >= sizeof(double)) {
        double x;
        std::memcpy(&x, data, sizeof x);
        CheckWritten(x);
    }
    if (size >= sizeof(float)) {
        float x;
        std::memcpy(&x, data, sizeof x);
        CheckSingle(x);
    }
    return 0;
}
