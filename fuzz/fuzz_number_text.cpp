#include "fuzz_check.h"
#include "units/number_text.h"

#include <QRegularExpression>
#include <QtEndian>
#include <algorithm>
#include <cfloat>
#include <cmath>

// Any bytes, as a typed text in two encodings and as a raw double: a number reads as strtod
// reads it, and whatever is written is finite and reads back. The oracles are Qt's regular
// expressions and the C library, outside the coverage that guides the fuzzer.

using namespace kolva;

// A number as typed, plainly: sign, digits with at most one point, a complete exponent.
#define NUMBER "[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eEdD][-+]?[0-9]+)?"

static const QRegularExpression Leading(QStringLiteral("^" NUMBER)),
    Alone(QStringLiteral("^ *" NUMBER " *\\z")),
    Shortest(QStringLiteral("^-?[0-9]+([.][0-9]*[1-9])?(E[-+][0-9]{2,3})?\\z")),
    OneDecimal(QStringLiteral("^-?[0-9]+[.][0-9]\\z")), Blank(QStringLiteral("[ \t\n]")),
    DLetter(QStringLiteral("[dD]"));

static void CheckWritten(double x) {
    const QString shortest = NumberText(x), tenths = OneDecimalText(x);
    Require(Shortest.match(shortest).hasMatch() && NumberText(LeadingNumber(shortest)) == shortest,
            "finite, reads back to 15 digits", shortest);
    Require(OneDecimal.match(tenths).hasMatch() && tenths != QLatin1String("-0.0") &&
                (!std::isfinite(x) ||
                 std::fabs(LeadingNumber(tenths) - x) <= 0.05 + std::fabs(x) * 1e-14),
            "one decimal, rounded", tenths);
}

static void CheckText(const QString &text) {
    const QString number =
        Leading.match(QString(text).remove(Blank).replace(DLetter, QStringLiteral("e"))).captured();
    const double plain = std::strtod(number.toLatin1().constData(), nullptr);
    const double value = LeadingNumber(text);
    // Past the range saturates; below it, 0 may stand for a subnormal.
    Require(value == std::clamp(plain, -DBL_MAX, DBL_MAX) ||
                (value == 0 && std::fabs(plain) < DBL_MIN),
            "reads as strtod", text);
    Require(IsNumberText(text) == Alone.match(text).hasMatch(), "one number alone", text);
    CheckWritten(value);
}

void Fuzz(const QByteArray &input) {
    CheckText(QString::fromUtf8(input));
    CheckText(QString::fromLatin1(input));
    if (input.size() >= qsizetype(sizeof(double)))
        CheckWritten(qFromUnaligned<double>(input.constData()));
}
