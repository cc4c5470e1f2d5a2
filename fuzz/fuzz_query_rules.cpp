#include "fuzz_check.h"
#include "query/query_rules.h"
#include "tests/fakes.h"

#include <string>

// Any bytes as one arrival: the reply is a lone CR or one record and a CR, the one a plain
// byte-level reading of the protocol selects.

using namespace kolva;

void Fuzz(const QByteArray &input) {
    static const fake::Console console;
    std::string received = input.toStdString();
    received.erase(0, received.find_first_not_of(' '));
    received.erase(received.find_last_not_of(' ') + 1);
    // Every CR LF pair found in one pass, left to right, goes; upper-casing touches a to z only.
    const QByteArray cleaned = QByteArray::fromStdString(received).replace("\r\n", "");
    QString record;
    for (int entry = 0; entry < EntryCount; ++entry)
        if (cleaned.toUpper() == QueryCommand(entry).toLatin1())
            record = console.table.record(entry);
    const QueryAnswer answer = AnswerQuery(input, console.table);
    Require(answer.reply == record.toUtf8() + '\r' && answer.record == record,
            "the record asked for", FromWire(input));
    Require(answer.query == QString::fromLatin1(cleaned), "the cleaned query", answer.query);
}
