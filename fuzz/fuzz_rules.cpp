// Any bytes as a typed text, against plain oracles outside the coverage that guides the fuzzer:
// a number reads as strtod reads it and is written finite and readable again.

#include "units/number_text.h"

#include <QRegularExpression>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace kolva;
using namespace Qt::StringLiterals;

static void require(bool holds, const char *property, const QString &input) {
    if (!holds)
        qFatal("broken: %s [%s]", property, qPrintable(input));
}

// A number as typed: sign, digits with at most one point, a complete exponent.
#define NUMBER "[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eEdD][-+]?[0-9]+)?"

static void checkText(const QString &text) {
    static const QRegularExpression leading(u"^" NUMBER ""_s), alone(u"^ *" NUMBER " *\\z"_s),
        written(u"^-?[0-9]+([.][0-9]*[1-9])?(E[-+][0-9]{2,3})?\\z"_s);
    QString plain = text;
    plain.remove(QRegularExpression(u"[ \t\n]"_s)).replace(QRegularExpression(u"[dD]"_s), u"e"_s);
    const double strtodValue =
        std::strtod(leading.match(plain).captured().toLatin1().constData(), nullptr);
    const double value = leadingNumber(text);
    // Past the range saturates; below it, 0 may stand for a subnormal.
    require(value == std::clamp(strtodValue, -DBL_MAX, DBL_MAX) ||
                (value == 0 && std::fabs(strtodValue) < DBL_MIN),
            "reads as strtod", text);
    require(isNumberText(text) == alone.match(text).hasMatch(), "one number alone", text);
    const QString shortest = numberText(value), tenths = oneDecimalText(value);
    require(written.match(shortest).hasMatch() && numberText(leadingNumber(shortest)) == shortest,
            "written finite, reads back", shortest);
    require(std::fabs(leadingNumber(tenths) - value) <= 0.05 + std::fabs(value) * 1e-14 &&
                tenths != "-0.0"_L1,
            "one decimal, rounded", tenths);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    checkText(QString::fromUtf8(input));
    checkText(QString::fromLatin1(input));
    return 0;
}
