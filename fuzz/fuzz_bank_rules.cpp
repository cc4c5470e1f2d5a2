#include "fuzz_check.h"
#include "tests/fakes.h"
#include "units/number_text.h"

#include <QRegularExpression>
#include <cstring>

// A console session as a script, one operation a line: a letter, a bank ("m" master, anything
// else slave), for "r" a reading ("a" to "q"), then a text. r types a reading, f "Set All
// Sensors", i "Increment"; c accepts, x injects a fault ("c" after the bank: ComEr, else OPEN);
// u picks the unit (bank "f": Fahrenheit, else Celsius); a types the ramp's amount, t ticks
// it. Whatever the operator does, every record keeps its head, unit and seventeen channels in
// order, and a commit writes one decimal, a step the shortest number or a fault text: inf or
// nan only where the operator typed them into a fault text.

using namespace kolva;
using enum TemperatureUnit;

void Fuzz(const QByteArray &input) {
    static const QStringList defaults = fake::DefaultRecords();
    static const QRegularExpression value(QStringLiteral("=[^,]*"));
    const auto shape = [](QString record) { return record.replace(value, QStringLiteral("=")); };
    fake::Console console;
    console.controls.seconds = QStringLiteral("1");
    bool fahrenheit = false;
    std::array<bool, 2> byCommit{true, true};
    for (const QByteArray &line : input.split('\n').mid(0, 100)) {
        const QByteArray op = line.leftJustified(3, '\0');
        fake::Bank &bank = op[1] == 'm' ? console.master : console.slave;
        // A step publishes a fault text as it stands: separators in one would break the record.
        const QString text =
            QString::fromUtf8(line.mid(op[0] == 'r' ? 3 : 2)).remove(u',').remove(u'=');
        if (op[0] == 'r')
            bank.setReading(uchar(op[2] - 'a') % ReadingCount, text); // as typed
        else if (op[0] == 'f')
            bank.typeSetAll(text);
        else if (op[0] == 'i')
            bank.typeIncrement(text);
        else if (op[0] == 'c')
            console.installation.commit(bank.which), byCommit[int(bank.which)] = true;
        else if (op[0] == 'x')
            console.installation.injectFault(bank.which, op[2] == 'c' ? ComErWord : OpenWord);
        else if (op[0] == 'a')
            console.controls.amount = text;
        else if (op[0] == 't' && console.tick())
            byCommit = {false, false};
        else if (op[0] == 'u') {
            console.installation.selectUnit(op[1] == 'f' ? Fahrenheit : Celsius);
            if (fahrenheit != (op[1] == 'f'))
                fahrenheit = !fahrenheit, byCommit = {true, true};
        }
        if (!std::strchr("cut", op[0])) // only these publish
            continue;
        // A bank publishes all its records at once: the first and last slave stand for all.
        for (const int entry : {MasterEntry, FirstSlaveEntry, EntryCount - 1}) {
            const QString &record = console.table.record(entry);
            Require(shape(record) == shape(defaults[entry])
                                         .replace(QLatin1String(" C,"),
                                                  QLatin1String(fahrenheit ? " F," : " C,")),
                    "head, unit, channels in order", record);
            for (const QString &piece : record.split(u'=').mid(1)) {
                const QString number = piece.left(piece.indexOf(u','));
                Require(byCommit[entry > 0]
                            ? number == OneDecimalText(LeadingNumber(number))
                            : IsFaultText(number) || number == NumberText(LeadingNumber(number)),
                        "one decimal by a commit, shortest by a step", record);
            }
        }
    }
}
