#include "app/before_qt.h"
#include "query/bound_port.h"
#include "query/host_address.h"
#include "ui/about_window.h"
#include "ui/main_window.h"
#include "version.h"

#include <QApplication>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

// The program's icon, drawn from the same SVG that the desktop entry installs, so every window
// shows what the application menu shows. Rendered here rather than by Qt's SVG icon plugin: a
// plugin is found only at run time, a linked library is a dependency the package computes.
QIcon applicationIcon() {
    QSvgRenderer svg(QStringLiteral(":/kolva/kolva-simulator.svg"));
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        svg.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

int main(int argc, char *argv[]) {
    // Port 23 is bound first, then every privilege given up before Qt runs: Qt loads plugins
    // from wherever its environment says, and no plugin may inherit the right to bind a port.
    const kolva::BoundPort port23 = kolva::bindTcpPort(23);
    if (!kolva::dropCapabilities()) {
        std::perror(KOLVA_PRODUCT_NAME ": cannot give up its privileges");
        return 1;
    }
    const bool fallback = kolva::addHeadlessFallback(argc, argv);

    QApplication app(argc, argv);
    if (fallback) // what the program's children run on is theirs to choose
        qunsetenv("QT_QPA_PLATFORM");
    QApplication::setApplicationName(QStringLiteral("KolvaSim"));
    QApplication::setApplicationVersion(QStringLiteral(KOLVA_VERSION));
    // The desktop entry gives the taskbar its name; a display name would also be appended to
    // every window title ("TCP Server — Kolva Simulator").
    QApplication::setDesktopFileName(QStringLiteral("kolva-simulator"));
    QApplication::setWindowIcon(applicationIcon());
    if (fallback && QGuiApplication::platformName() == QLatin1String("offscreen"))
        std::fprintf(stderr, KOLVA_PRODUCT_NAME ": no display found; running headless on Qt's "
                                                "offscreen platform\n");

    kolva::MessageBoxSink messages;
    kolva::SystemHostResolver resolver;
    kolva::DesktopUrlOpener browser; // outlives every About window
    kolva::WindowSettings settings;
    settings.boundPort = port23;
    kolva::OperatorWindow window(settings, messages, resolver, browser);
    window.startServing();
    window.show();
    return app.exec();
}
