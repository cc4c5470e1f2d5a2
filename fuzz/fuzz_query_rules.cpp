#include "fuzz_check.h"
#include "query/query_rules.h"

#include <cstdint>
#include <string>

// Any bytes as one arrival: the reply is a lone CR or exactly one stored record and a CR, and
// it is the record that a plain byte-level reading of the protocol selects.

using namespace kolva;

namespace {

const ResponseTable &Table() {
    static const ResponseTable table = [] {
        ResponseTable records;
        for (int entry = 0; entry < EntryCount; ++entry)
            records.store(entry, UnitPrefix(entry) + QStringLiteral("C, T1=%1").arg(entry));
        return records;
    }();
    return table;
}

// The received bytes cleaned: spaces trimmed, then CR LF pairs dropped in one pass.
std::string Cleaned(const std::string &received) {
    const auto first = received.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const std::string trimmed = received.substr(first, received.find_last_not_of(' ') + 1 - first);
    std::string cleaned;
    for (std::size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == '\r' && i + 1 < trimmed.size() && trimmed[i + 1] == '\n')
            ++i;
        else
            cleaned += trimmed[i];
    }
    return cleaned;
}

// The entry a cleaned query selects once a to z are upper-cased, or -1.
int SelectedEntry(std::string query) {
    for (char &c : query)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    if (query == "KOLVAM?")
        return 0;
    for (int entry = 1; entry < EntryCount; ++entry)
        if (query == "KOLVAM" + std::string(entry < 10 ? "0" : "") + std::to_string(entry) + "?")
            return entry;
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray received(reinterpret_cast<const char *>(data), qsizetype(size));
    const QueryAnswer answer = AnswerQuery(received, Table());

    int answered = -1;
    for (int entry = 0; entry < EntryCount; ++entry)
        if (answer.reply == ToWire(Table().record(entry)) + '\r')
            answered = entry;
    Require(answered >= 0 || answer.reply == "\r", "reply is a record or a lone CR",
            FromWire(answer.reply));
    const std::string cleaned = Cleaned(received.toStdString());
    Require(answered == SelectedEntry(cleaned), "reply answers the query", FromWire(received));
    Require(answer.record == (answered < 0 ? QString() : Table().record(answered)),
            "shown reply is the record sent", answer.record);
    Require(answer.query == FromWire(QByteArray::fromStdString(cleaned)),
            "shown query is the cleaned one", answer.query);
    return 0;
}
