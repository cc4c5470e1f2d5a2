#include "number_text.h"

#include "text.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

namespace kolva {
namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// A decimal number found at the start of a text, normalised for strtod.
struct ScannedNumber {
    std::string text;  // e.g. "-25.3e+2"; empty when the run holds no digit
    qsizetype end = 0; // index just past the run
};

// Reads the longest leading run that forms a decimal number: sign, digits, one ".", further
// digits, and an exponent (e, E, d or D, sign, digits) only where digits follow the letter.
// With skipBlanks, spaces, tabs and line feeds are passed over wherever they stand.
ScannedNumber scanNumber(QStringView text, bool skipBlanks) {
    qsizetype pos = 0;
    const auto skip = [&] {
        while (skipBlanks && pos < text.size() &&
               (text[pos] == u' ' || text[pos] == u'\t' || text[pos] == u'\n'))
            ++pos;
    };
    const auto peek = [&]() -> QChar {
        skip();
        return pos < text.size() ? text[pos] : QChar();
    };

    ScannedNumber result;
    std::string mantissa;
    if (peek() == u'+' || peek() == u'-') {
        if (text[pos] == u'-')
            mantissa += '-';
        ++pos;
    }
    std::string intDigits, fracDigits;
    while (isDigit(peek()))
        intDigits += char(text[pos++].unicode());
    if (peek() == u'.') {
        ++pos;
        while (isDigit(peek()))
            fracDigits += char(text[pos++].unicode());
    }
    if (intDigits.empty() && fracDigits.empty())
        return result;
    result.end = pos;

    mantissa += intDigits.empty() ? std::string("0") : intDigits;
    if (!fracDigits.empty())
        mantissa += '.' + fracDigits;

    std::string exponent;
    const QChar letter = peek();
    if (letter == u'e' || letter == u'E' || letter == u'd' || letter == u'D') {
        ++pos;
        std::string digits = "e";
        if (peek() == u'+' || peek() == u'-')
            digits += char(text[pos++].unicode());
        bool any = false;
        while (isDigit(peek())) {
            digits += char(text[pos++].unicode());
            any = true;
        }
        if (any) {
            exponent = digits;
            result.end = pos;
        }
    }
    result.text = mantissa + exponent;
    return result;
}

// In the C locale, so "." is the point whatever the operator's locale. Past the range strtod
// gives an infinity, which saturates; below it, 0.
double parseScanned(const ScannedNumber &number) {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    return number.text.empty() ? 0.0 : finiteValue(strtod_l(number.text.c_str(), nullptr, c));
}

// |x| rounded to a number of significant decimal digits: x = d.ddd * 10^exponent.
struct Decimal {
    std::string digits;
    int exponent = 0;
};

Decimal toDecimal(double x, int significant) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x),
                                      std::chars_format::scientific, significant - 1);
    const std::string text(buffer, result.ptr);
    const auto e = text.find('e');
    Decimal decimal;
    for (std::size_t i = 0; i < e; ++i)
        if (text[i] != '.')
            decimal.digits += text[i];
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    decimal.exponent);
    return decimal;
}

// Shortest text with the given significant digits, exponent form from 10^exponentFrom on and
// below 0.0001.
QString shortText(double x, int significant, int exponentFrom) {
    if (x == 0.0)
        return QStringLiteral("0");
    Decimal decimal = toDecimal(x, significant);
    const auto lastNonZero = decimal.digits.find_last_not_of('0');
    decimal.digits.resize(lastNonZero + 1);

    std::string out = x < 0 ? "-" : "";
    if (decimal.exponent >= exponentFrom || decimal.exponent < -4) {
        out += decimal.digits[0];
        if (decimal.digits.size() > 1)
            out += '.' + decimal.digits.substr(1);
        const int magnitude = std::abs(decimal.exponent);
        out += decimal.exponent < 0 ? "E-" : "E+";
        if (magnitude < 10)
            out += '0';
        out += std::to_string(magnitude);
    } else if (decimal.exponent >= 0) {
        const std::size_t intLength = std::size_t(decimal.exponent) + 1;
        if (decimal.digits.size() <= intLength) {
            out += decimal.digits + std::string(intLength - decimal.digits.size(), '0');
        } else {
            out += decimal.digits.substr(0, intLength) + '.' + decimal.digits.substr(intLength);
        }
    } else {
        out += "0." + std::string(std::size_t(-decimal.exponent - 1), '0') + decimal.digits;
    }
    return QString::fromLatin1(out);
}

} // namespace

double leadingNumber(const QString &text) { return parseScanned(scanNumber(text, true)); }

bool isNumberText(const QString &text) {
    const QStringView view = trimSpaces(text);
    const ScannedNumber number = scanNumber(view, false);
    return !number.text.empty() && number.end == view.size();
}

QString numberText(double x) { return shortText(finiteValue(x), 15, 15); }

QString singleNumberText(float x) { return shortText(double(finiteValue(x)), 7, 7); }

QString oneDecimalText(double x) {
    x = finiteValue(x);
    // Tenths as a decimal integer string, rounded half away from zero on the 15 digits.
    std::string tenths = "0";
    if (x != 0.0) {
        const Decimal decimal = toDecimal(x, 15);
        const int keep = decimal.exponent + 2; // digits down to the tenths place
        if (keep <= 0) {
            tenths.assign(1, keep == 0 && decimal.digits[0] >= '5' ? '1' : '0');
        } else {
            const std::size_t kept = std::size_t(keep);
            tenths = decimal.digits.substr(0, std::min(kept, decimal.digits.size()));
            tenths.resize(kept, '0');
            if (kept < decimal.digits.size() && decimal.digits[kept] >= '5') {
                std::size_t i = tenths.size();
                while (i > 0 && tenths[i - 1] == '9')
                    tenths[--i] = '0';
                if (i == 0)
                    tenths.insert(tenths.begin(), '1');
                else
                    ++tenths[i - 1];
            }
        }
    }
    const bool negative = x < 0 && tenths.find_first_not_of('0') != std::string::npos;
    std::string out = negative ? "-" : "";
    if (tenths.size() == 1)
        out += '0';
    else
        out += tenths.substr(0, tenths.size() - 1);
    out += '.';
    out += tenths.back();
    return QString::fromLatin1(out);
}

double finiteSum(double a, double b) { return finiteValue(a + b); }

} // namespace kolva
