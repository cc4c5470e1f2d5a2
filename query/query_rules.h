#pragma once

#include "units/unit_record.h"

#include <QByteArray>
#include <QString>

// The query protocol: what a client sends, how it is cleaned and matched, and the reply bytes.

namespace kolva {

// Wire encoding, in one place: received bytes are read one character per byte (Latin-1);
// replies go out as UTF-8, which leaves the ASCII records byte for byte as they are.
QString fromWire(const QByteArray &bytes);
QByteArray toWire(const QString &text);

// Trims spaces (only) at both ends, then removes every CR LF pair in one left-to-right pass:
// "  kolvam?\r\n" -> "kolvam?", "KOL\r\nVAM?" -> "KOLVAM?", "K?\r\r\n\n" -> "K?\r\n",
// "K? \r\n" -> "K? ".
QString cleanQuery(const QString &received);

// The seventeen query texts in the order they are tried: "KOLVAM?", "KOLVAM01?" .. "KOLVAM16?".
const QString &queryCommand(int entry);

// ResponseTable entry named by a cleaned query, upper-casing a to z only:
// "kolvam?" -> 0, "KOLVAM05?" -> 5; -1 when no command matches ("KOLVAM5?", "KOLVAM17?").
int queryEntry(const QString &cleaned);

// What one data arrival produces.
struct QueryAnswer {
    QByteArray reply; // the record and one CR, or a lone CR
    QString record;   // shown as the last reply; empty when nothing was selected
    QString query;    // the cleaned query as it arrived, shown as the last query
};

// Answers all bytes received in one arrival from the records as they stand now.
QueryAnswer answerQuery(const QByteArray &received, const ResponseTable &table);

} // namespace kolva
