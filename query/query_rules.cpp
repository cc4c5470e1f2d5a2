#include "query_rules.h"

#include "units/text.h"

#include <array>

namespace kolva {

QString fromWire(const QByteArray &bytes) { return QString::fromLatin1(bytes); }

QByteArray toWire(const QString &text) { return text.toUtf8(); }

QString cleanQuery(const QString &received) {
    const QStringView trimmed = trimSpaces(received);
    QString cleaned;
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == u'\r' && i + 1 < trimmed.size() && trimmed[i + 1] == u'\n') {
            ++i;
            continue;
        }
        cleaned += trimmed[i];
    }
    return cleaned;
}

const QString &queryCommand(int entry) {
    static const std::array<QString, EntryCount> commands = [] {
        std::array<QString, EntryCount> texts;
        texts[MasterEntry] = QStringLiteral("KOLVAM?");
        for (int n = FirstSlaveEntry; n < EntryCount; ++n)
            texts[std::size_t(n)] = QStringLiteral("KOLVAM%1?").arg(n, 2, 10, QLatin1Char('0'));
        return texts;
    }();
    return commands.at(std::size_t(entry));
}

int queryEntry(const QString &cleaned) {
    if (cleaned.size() > queryCommand(FirstSlaveEntry).size())
        return -1;
    QString upper = cleaned;
    for (QChar &c : upper)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    for (int entry = 0; entry < EntryCount; ++entry)
        if (upper == queryCommand(entry))
            return entry;
    return -1;
}

QueryAnswer answerQuery(const QByteArray &received, const ResponseTable &table) {
    QueryAnswer answer;
    answer.query = cleanQuery(fromWire(received));
    const int entry = queryEntry(answer.query);
    if (entry >= 0)
        answer.record = table.record(entry);
    answer.reply = toWire(answer.record) + '\r';
    return answer;
}

} // namespace kolva
