#include "query/host_address.h"

#include <QRegularExpression>
#include <QTest>

using namespace kolva;

using Addresses = QList<kolva::Ipv4Address>;
Q_DECLARE_METATYPE(Addresses)

namespace {

struct Sink : MessageSink {
    void showMessage(const QString &text, Icon icon) override { shown << qMakePair(text, icon); }
    QList<QPair<QString, Icon>> shown;
};

// Answers as told; an error code of 0 means success.
struct FakeResolver : HostResolver {
    int nameError = 0, resolveError = 0;
    Addresses resolved, interfaces;
    QString askedName;

    std::optional<QString> hostName(int *error) override {
        *error = nameError;
        return nameError ? std::nullopt : std::optional<QString>(QStringLiteral("  kolvahost "));
    }
    std::optional<Addresses> resolve(const QString &name, int *error) override {
        askedName = name;
        *error = resolveError;
        return resolveError ? std::nullopt : std::optional(resolved);
    }
    Addresses interfaceAddresses() override { return interfaces; }
};

const Ipv4Address Lan{10, 0, 0, 7}, Wide{192, 168, 100, 255};
const Ipv4Address Loopback{127, 0, 0, 1}, DebianLoopback{127, 0, 1, 1};

} // namespace

class TestHostAddress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lookup_data() {
        QTest::addColumn<int>("nameError");
        QTest::addColumn<int>("resolveError");
        QTest::addColumn<Addresses>("resolved");
        QTest::addColumn<Addresses>("interfaces");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("message"); // "-": no message at all

        const QString none = QStringLiteral("-"), fallback = QStringLiteral("255.255.255.0");
        QTest::newRow("one") << 0 << 0 << Addresses{Lan} << Addresses{} << "10.0.0.7" << none;
        QTest::newRow("two, the second shown")
            << 0 << 0 << Addresses{Lan, Wide} << Addresses{} << "192.168.100.255" << none;
        QTest::newRow("empty list") << 0 << 0 << Addresses{} << Addresses{Wide} << fallback << none;
        QTest::newRow("not found") << 0 << 11001 << Addresses{} << Addresses{} << fallback
                                   << "Authoritative answer host not found.";
        QTest::newRow("temporary") << 0 << 11002 << Addresses{} << Addresses{} << fallback
                                   << "Nonauthoritative host not found, or server failure.";
        QTest::newRow("fatal") << 0 << 11003 << Addresses{} << Addresses{} << fallback
                               << "A nonrecoverable error occurred.";
        QTest::newRow("no data") << 0 << 11004 << Addresses{} << Addresses{} << fallback
                                 << "Valid name, no data record of requested type.";
        QTest::newRow("code outside table")
            << 0 << 12345 << Addresses{} << Addresses{} << fallback << "";
        QTest::newRow("no host name")
            << 10093 << 0 << Addresses{} << Addresses{} << ""
            << "A successful WSAStartup call must occur before using this function.";
        QTest::newRow("no host name, network down")
            << 10050 << 0 << Addresses{} << Addresses{} << ""
            << "The network subsystem has failed.";
        QTest::newRow("loopback only, last interface shown")
            << 0 << 0 << Addresses{DebianLoopback} << Addresses{Loopback, Wide, Lan, Loopback}
            << "10.0.0.7" << none;
        QTest::newRow("loopback only, no other interface")
            << 0 << 0 << Addresses{Loopback, DebianLoopback} << Addresses{Loopback} << "127.0.1.1"
            << none;
        QTest::newRow("loopback among others kept")
            << 0 << 0 << Addresses{Lan, DebianLoopback} << Addresses{Wide} << "127.0.1.1" << none;
    }
    void lookup() {
        QFETCH(int, nameError);
        QFETCH(int, resolveError);
        QFETCH(Addresses, resolved);
        QFETCH(Addresses, interfaces);
        QFETCH(QString, expected);
        QFETCH(QString, message);
        FakeResolver resolver;
        resolver.nameError = nameError;
        resolver.resolveError = resolveError;
        resolver.resolved = resolved;
        resolver.interfaces = interfaces;

        Sink sink;
        QCOMPARE(GetHostIPAddress(resolver, sink), expected);
        if (message == u"-")
            QVERIFY(sink.shown.isEmpty());
        else
            QCOMPARE(sink.shown, (QList{qMakePair(message, MessageSink::Icon::Exclamation)}));
        if (!nameError)
            QCOMPARE(resolver.askedName, QStringLiteral("kolvahost"));
    }

    void onThisMachine() {
        SystemHostResolver resolver;
        Sink sink;
        const QString shown = GetHostIPAddress(resolver, sink);
        static const QRegularExpression dotted(QStringLiteral("^(\\d{1,3})(\\.\\d{1,3}){3}$"));
        QVERIFY2(dotted.match(shown).hasMatch(), qPrintable(shown));
        // A message only where this machine's name does not resolve.
        QCOMPARE(sink.shown.size(), shown == u"255.255.255.0" ? 1 : 0);

        const Addresses interfaces = resolver.interfaceAddresses();
        const bool reachable = std::any_of(interfaces.begin(), interfaces.end(),
                                           [](const Ipv4Address &a) { return a[0] != 127; });
        if (reachable && sink.shown.isEmpty())
            QVERIFY2(!shown.startsWith(u"127."), qPrintable(shown));
    }
};

QTEST_GUILESS_MAIN(TestHostAddress)
#include "tst_host_address.moc"
