#include "fuzz_check.h"
#include "units/number_text.h"

#include <QtEndian>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <regex.h>
#include <string>

// Any bytes, as a typed text in two encodings and as a raw double: a number reads as strtod
// reads it, and whatever is written is finite and reads back.

using namespace kolva;

// A number as typed, plainly: sign, digits with at most one point, a complete exponent.
#define NUMBER "[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eEdD][-+]?[0-9]+)?"

// A POSIX extended pattern, matched by the C library: it stays out of the coverage that guides
// the fuzzer.
struct Pattern {
    regex_t compiled;
    explicit Pattern(const char *text) { regcomp(&compiled, text, REG_EXTENDED); }
    // Where the longest match at the start of s ends, or -1.
    long end(const std::string &s) const {
        regmatch_t match{0, regoff_t(s.size())};
        return regexec(&compiled, s.data(), 1, &match, REG_STARTEND) == 0 ? match.rm_eo : -1;
    }
};
const Pattern Leading("^" NUMBER), Alone("^ *" NUMBER " *$"),
    Shortest("^-?[0-9]+([.][0-9]*[1-9])?(E[-+][0-9]{2,3})?$"), OneDecimal("^-?[0-9]+[.][0-9]$");

static void CheckWritten(double x) {
    const QString shortest = NumberText(x), tenths = OneDecimalText(x);
    Require(Shortest.end(shortest.toStdString()) >= 0 &&
                NumberText(LeadingNumber(shortest)) == shortest,
            "finite, reads back to 15 digits", shortest);
    Require(OneDecimal.end(tenths.toStdString()) >= 0 && tenths != QLatin1String("-0.0") &&
                (!std::isfinite(x) ||
                 std::fabs(LeadingNumber(tenths) - x) <= 0.05 + std::fabs(x) * 1e-14),
            "one decimal, rounded", tenths);
}

static void CheckText(const QString &text) {
    const std::string typed = text.toLatin1().toStdString();
    std::string blankless;
    for (const char c : typed)
        if (c != ' ' && c != '\t' && c != '\n')
            blankless += c == 'd' || c == 'D' ? 'e' : c;
    const std::string number =
        blankless.substr(0, std::size_t(std::max(0L, Leading.end(blankless))));
    const double plain = std::strtod(number.c_str(), nullptr), value = LeadingNumber(text);
    // Past the range saturates; below it, 0 may stand for a subnormal.
    Require(value == std::clamp(plain, -DBL_MAX, DBL_MAX) ||
                (value == 0 && std::fabs(plain) < DBL_MIN),
            "reads as strtod", text);
    Require(IsNumberText(text) == (Alone.end(typed) >= 0), "one number alone", text);
    CheckWritten(value);
}

void Fuzz(const QByteArray &input) {
    CheckText(QString::fromUtf8(input));
    CheckText(QString::fromLatin1(input));
    if (input.size() >= qsizetype(sizeof(double)))
        CheckWritten(qFromUnaligned<double>(input.constData()));
}
