#include "query/host_address.h"

#include <QHostAddress>
#include <QTest>

using namespace kolva;

using Addresses = QList<kolva::Ipv4Address>;
using Shown = QList<QPair<QString, MessageSink::Icon>>;

// Answers as told and records the messages shown. A nonzero error fails hostName below 11000,
// resolve from there on.
struct Fake : HostResolver, MessageSink {
    Fake(int code = 0, Addresses names = {}, Addresses local = {})
        : error(code)
        , resolved(names)
        , interfaces(local) {}
    std::optional<QString> hostName(int *code) override {
        *code = error < 11000 ? error : 0;
        return *code ? std::nullopt : std::optional<QString>(QStringLiteral("  kolvahost "));
    }
    std::optional<Addresses> resolve(const QString &name, int *code) override {
        *code = name == u"kolvahost" ? error : 11001; // a name with its blanks is not found
        return *code ? std::nullopt : std::optional(resolved);
    }
    Addresses interfaceAddresses() override { return interfaces; }
    void showMessage(const QString &text, Icon icon) override { shown << qMakePair(text, icon); }
    int error;
    Addresses resolved, interfaces;
    Shown shown;
};
Q_DECLARE_METATYPE(Fake)

namespace {
const Ipv4Address Lan{10, 0, 0, 7}, Wide{192, 168, 100, 255}, Loopback{127, 0, 0, 1},
    DebianLoopback{127, 0, 1, 1};
const QString Fallback = QStringLiteral("255.255.255.0");
} // namespace

class TestHostAddress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lookup_data() {
        QTest::addColumn<Fake>("fake");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<Shown>("messages");

        QTest::newRow("one") << Fake(0, {Lan}) << "10.0.0.7" << Shown{};
        QTest::newRow("two, the second shown")
            << Fake(0, {Lan, Wide}) << "192.168.100.255" << Shown{};
        QTest::newRow("empty list") << Fake(0, {}, {Wide}) << Fallback << Shown{};
        QTest::newRow("loopback only, last other interface shown")
            << Fake(0, {DebianLoopback}, {Loopback, Wide, Lan, Loopback}) << "10.0.0.7" << Shown{};
        QTest::newRow("loopback only, no other interface")
            << Fake(0, {Loopback, DebianLoopback}, {Loopback}) << "127.0.1.1" << Shown{};
        QTest::newRow("loopback among others kept")
            << Fake(0, {Lan, DebianLoopback}, {Wide}) << "127.0.1.1" << Shown{};
        const std::pair<int, const char *> failures[] = {
            {10050, "The network subsystem has failed."}, // no host name: nothing to show
            {11001, "Authoritative answer host not found."},
            {11002, "Nonauthoritative host not found, or server failure."},
            {11003, "A nonrecoverable error occurred."},
            {11004, "Valid name, no data record of requested type."},
            {12345, ""}, // outside the table
        };
        for (const auto &[code, text] : failures)
            QTest::addRow("error %d", code)
                << Fake(code, {Lan}, {Wide}) << (code < 11000 ? QString() : Fallback)
                << Shown{{text, MessageSink::Icon::Exclamation}};
    }
    void lookup() {
        QFETCH(Fake, fake);
        QTEST(GetHostIPAddress(fake, fake), "expected");
        QTEST(fake.shown, "messages");
    }
};

QTEST_GUILESS_MAIN(TestHostAddress)
#include "tst_host_address.moc"
