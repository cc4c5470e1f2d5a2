// A Qt plugin for capability_check.sh: loaded by a process through QT_PLUGIN_PATH, it writes
// to $KOLVA_PROBE_OUT the capability lines of that process and whether it may bind port 81.

#include <QFile>
#include <QGenericPlugin>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class CapabilityProbe : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "capability_probe.json")
public:
    CapabilityProbe() {
        QFile status(QStringLiteral("/proc/self/status"));
        QFile out(qEnvironmentVariable("KOLVA_PROBE_OUT"));
        if (!status.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            return;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("Cap"))
                out.write(line + '\n');
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(81);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        out.write(bound ? "bind 81: allowed\n" : "bind 81: refused\n");
    }
    QObject *create(const QString &, const QString &) override { return nullptr; }
};

#include "capability_probe.moc"
