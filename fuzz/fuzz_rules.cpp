// Any bytes, checked against plain oracles (Qt's regular expressions, the C library, byte
// strings) that stay outside the coverage guiding the fuzzer:
// - as a typed text in two encodings and as a raw double: a number reads as strtod reads it,
//   and whatever is written is finite and reads back;
// - as one arrival from a client: the reply is a lone CR or one record and a CR, the one a
//   plain byte-level reading of the protocol selects.
// A broken property prints itself and aborts; libFuzzer keeps the input that broke it.

#include "query/query_rules.h"
#include "units/number_text.h"

#include <QRegularExpression>
#include <QtEndian>
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <string>

using namespace kolva;
using namespace Qt::StringLiterals;

static void Require(bool holds, const char *property, const QString &context) {
    if (!holds)
        qFatal("broken: %s [%s]", property, qPrintable(context));
}

// A number as typed, plainly: sign, digits with at most one point, a complete exponent.
#define NUMBER "[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eEdD][-+]?[0-9]+)?"

static const QRegularExpression Leading(u"^" NUMBER ""_s), Alone(u"^ *" NUMBER " *\\z"_s),
    Shortest(u"^-?[0-9]+([.][0-9]*[1-9])?(E[-+][0-9]{2,3})?\\z"_s),
    OneDecimal(u"^-?[0-9]+[.][0-9]\\z"_s), Blank(u"[ \t\n]"_s), DLetter(u"[dD]"_s);

static void CheckWritten(double x) {
    const QString shortest = numberText(x), tenths = oneDecimalText(x);
    Require(Shortest.match(shortest).hasMatch() && numberText(leadingNumber(shortest)) == shortest,
            "finite, reads back to 15 digits", shortest);
    Require(OneDecimal.match(tenths).hasMatch() && tenths != "-0.0"_L1 &&
                (!std::isfinite(x) ||
                 std::fabs(leadingNumber(tenths) - x) <= 0.05 + std::fabs(x) * 1e-14),
            "one decimal, rounded", tenths);
}

static void CheckText(const QString &text) {
    const QString number =
        Leading.match(QString(text).remove(Blank).replace(DLetter, u"e"_s)).captured();
    const double plain = std::strtod(number.toLatin1().constData(), nullptr);
    const double value = leadingNumber(text);
    // Past the range saturates; below it, 0 may stand for a subnormal.
    Require(value == std::clamp(plain, -DBL_MAX, DBL_MAX) ||
                (value == 0 && std::fabs(plain) < DBL_MIN),
            "reads as strtod", text);
    Require(isNumberText(text) == Alone.match(text).hasMatch(), "one number alone", text);
    CheckWritten(value);
}

static void CheckArrival(const QByteArray &input) {
    static const ResponseTable table = [] {
        ResponseTable records;
        for (int entry = 0; entry < EntryCount; ++entry)
            records.store(entry, u"record %1"_s.arg(entry));
        return records;
    }();
    std::string received = input.toStdString();
    received.erase(0, received.find_first_not_of(' '));
    received.erase(received.find_last_not_of(' ') + 1);
    // Every CR LF pair found in one pass, left to right, goes; upper-casing touches a to z only.
    const QByteArray cleaned = QByteArray::fromStdString(received).replace("\r\n", "");
    QString record;
    for (int entry = 0; entry < EntryCount; ++entry)
        if (cleaned.toUpper() == queryCommand(entry).toLatin1())
            record = table.record(entry);
    const QueryAnswer answer = answerQuery(input, table);
    Require(answer.reply == record.toUtf8() + '\r' && answer.record == record,
            "the record asked for", fromWire(input));
    Require(answer.query == QString::fromLatin1(cleaned), "the cleaned query", answer.query);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    CheckText(QString::fromUtf8(input));
    CheckText(QString::fromLatin1(input));
    if (input.size() >= qsizetype(sizeof(double)))
        CheckWritten(qFromUnaligned<double>(input.constData()));
    CheckArrival(input);
    return 0;
}
