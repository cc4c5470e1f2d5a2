// Any bytes, checked against plain oracles outside the coverage that guides the fuzzer: as a
// typed text, a number reads as strtod reads it and is written finite and readable again; as one
// arrival from a client, the reply is the record a byte-level reading of the protocol selects.

#include "query/query_rules.h"
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

static void checkArrival(const QByteArray &input) {
    ResponseTable table;
    for (int entry = 0; entry < EntryCount; ++entry)
        table.store(entry, u"record %1"_s.arg(entry));
    // Spaces off both ends, every CR LF pair in one pass, a to z upper-cased.
    QByteArray cleaned = input;
    while (cleaned.startsWith(' '))
        cleaned.remove(0, 1);
    while (cleaned.endsWith(' '))
        cleaned.chop(1);
    cleaned.replace("\r\n", "");
    QString record;
    for (int entry = 0; entry < EntryCount; ++entry)
        if (cleaned.toUpper() == queryCommand(entry).toLatin1())
            record = table.record(entry);
    const QueryAnswer answer = answerQuery(input, table);
    require(answer.reply == record.toUtf8() + '\r' && answer.record == record,
            "the record asked for", QString::fromLatin1(input));
    require(answer.query == QString::fromLatin1(cleaned), "the cleaned query", answer.query);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    checkText(QString::fromUtf8(input));
    checkText(QString::fromLatin1(input));
    checkArrival(input);
    return 0;
}
