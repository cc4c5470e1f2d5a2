#include "fuzz_check.h"
#include "ramp/ramp.h"
#include "tests/fake_bank.h"
#include "units/number_text.h"

#include <QList>
#include <cstdint>

// A console session as a script of operations over banks of arbitrary texts: however the
// operator types, commits, injects faults, switches units and ramps, the system writes only
// number texts and every record keeps its prefix, unit suffix and seventeen pieces.
//
// One operation per line, picked by its first byte; <b> is "m" for the master bank and
// anything else for the slave bank, <i> is "a" to "q" for readings 0 to 16:
//   r<b><i><text>  types a reading         f<b><text>  types "Set All Sensors"
//   i<b><text>     types "Increment"       c<b>        "Accept Changes"
//   x<b><w>        fault word, "c" ComEr, anything else OPEN
//   u<w>           unit, "c" Celsius, anything else Fahrenheit
//   p<text>        ramp period             a<text>     ramp step
//   e<w>           ramp on, "0" off        t           one ramp tick

using namespace kolva;

namespace {

constexpr qsizetype MaxOperations = 100;

class CheckedBank : public FakeBank {
public:
    CheckedBank(Bank bank, double first, QString setAll, const Installation &installation)
        : FakeBank(bank, first, std::move(setAll))
        , m_installation(installation) {}

    void setReading(int index, const QString &text) override {
        if (m_installation.programWriting())
            Require(IsNumberText(text), "the system writes only number texts", text);
        FakeBank::setReading(index, text);
    }

private:
    const Installation &m_installation;
};

// What the last publication of a bank may have copied into its records as typed.
struct Published {
    bool byCommit = true;
    bool separators = false; // a fault text holding "," or "="
    bool nonFinite = false;  // a fault text spelling "inf" or "nan"
};

struct Session {
    ResponseTable table;
    CheckedBank master{Bank::Master, 25.0, QStringLiteral("25"), installation};
    CheckedBank slave{Bank::Slave, 32.0, QStringLiteral("32"), installation};
    Installation installation{master, slave, table};
    FakeRampControls ramp;
    Published published[2];

    Session() {
        ramp.seconds = QStringLiteral("1");
        master.attach(&installation);
        slave.attach(&installation);
        commit(Bank::Master);
        commit(Bank::Slave);
    }

    CheckedBank &bank(Bank which) { return which == Bank::Master ? master : slave; }

    void commit(Bank which) {
        installation.commit(which);
        published[int(which)] = {};
    }

    void rampTick() {
        if (!RampTick(installation, ramp))
            return;
        // The step turned every numeric reading into a number: the rest, the fault texts, went
        // into the records as typed.
        for (const Bank which : {Bank::Master, Bank::Slave}) {
            Published &bankPublished = published[int(which)] = {false, false, false};
            for (const QString &reading : bank(which).readings()) {
                bankPublished.separators |=
                    reading.contains(QLatin1Char(',')) || reading.contains(QLatin1Char('='));
                bankPublished.nonFinite |= NamesNonFinite(reading);
            }
        }
    }

    void run(const QByteArray &line) {
        const auto at = [&](qsizetype i) { return i < line.size() ? line[i] : '\0'; };
        const Bank which = at(1) == 'm' ? Bank::Master : Bank::Slave;
        const QString text = QString::fromUtf8(line.mid(2));
        switch (at(0)) {
        case 'r':
            bank(which).setReading(((at(2) - 'a') % ReadingCount + ReadingCount) % ReadingCount,
                                   QString::fromUtf8(line.mid(3)));
            break;
        case 'f':
            bank(which).typeSetAll(text);
            break;
        case 'i':
            bank(which).typeIncrement(text);
            break;
        case 'c':
            commit(which);
            break;
        case 'x':
            installation.injectFault(which, at(2) == 'c' ? ComErWord : OpenWord);
            break;
        case 'u': {
            const QString before = installation.unitSuffix();
            installation.selectUnit(at(1) == 'c' ? TemperatureUnit::Celsius
                                                 : TemperatureUnit::Fahrenheit);
            if (installation.unitSuffix() != before)
                published[0] = published[1] = {};
            break;
        }
        case 'p':
            ramp.seconds = QString::fromUtf8(line.mid(1));
            break;
        case 'a':
            ramp.amount = QString::fromUtf8(line.mid(1));
            break;
        case 'e':
            ramp.checked = at(1) != '0';
            break;
        case 't':
            rampTick();
            break;
        default:
            break;
        }
    }

    void checkRecords() const {
        const QString &suffix = installation.unitSuffix();
        Require(suffix == QLatin1String("C,") || suffix == QLatin1String("F,"), "a unit suffix",
                suffix);
        const QString slaveTail = table.record(FirstSlaveEntry).mid(UnitPrefix(1).size());
        for (int entry = 0; entry < EntryCount; ++entry) {
            const QString &record = table.record(entry);
            Require(record.startsWith(UnitPrefix(entry) + suffix), "prefix and the unit in force",
                    record);
            if (entry > FirstSlaveEntry)
                Require(record.mid(UnitPrefix(entry).size()) == slaveTail,
                        "slave records differ in the prefix only", record);
        }
        checkPieces(table.record(MasterEntry), UnitPrefix(MasterEntry), published[0]);
        checkPieces(table.record(FirstSlaveEntry), UnitPrefix(FirstSlaveEntry), published[1]);
    }

    void checkPieces(const QString &record, const QString &prefix, const Published &from) const {
        if (!from.nonFinite)
            Require(!NamesNonFinite(record), "no non-finite value", record);
        if (from.separators)
            return;
        const QList<QStringView> pieces =
            QStringView(record).mid(prefix.size() + installation.unitSuffix().size()).split(u',');
        Require(pieces.size() == ReadingCount, "seventeen pieces", record);
        for (int i = 0; i < ReadingCount; ++i) {
            const QString marker =
                i == AmbientIndex ? QStringLiteral(" Amb=") : QStringLiteral(" T%1=").arg(i + 1);
            Require(pieces[i].startsWith(marker), "pieces in channel order", record);
            const QString value = pieces[i].mid(marker.size()).toString();
            if (from.byCommit)
                Require(value == OneDecimalText(LeadingNumber(value)),
                        "a commit publishes one-decimal numbers", record);
            else if (!IsFaultText(value))
                Require(value == NumberText(LeadingNumber(value)),
                        "a ramp step publishes shortest numbers", record);
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray script(reinterpret_cast<const char *>(data), qsizetype(size));
    Session session;
    const QList<QByteArray> lines = script.split('\n');
    for (qsizetype i = 0; i < lines.size() && i < MaxOperations; ++i) {
        session.run(lines[i]);
        // Only commits, unit switches and ramp ticks publish.
        if (lines[i].startsWith('c') || lines[i].startsWith('u') || lines[i].startsWith('t'))
            session.checkRecords();
    }
    return 0;
}
