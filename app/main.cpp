#include "query/host_address.h"
#include "ui/about_window.h"
#include "ui/main_window.h"
#include "version.h"

#include <QApplication>
#include <QPainter>
#include <QSvgRenderer>

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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KolvaSim"));
    QApplication::setApplicationVersion(QStringLiteral(KOLVA_VERSION));
    // The desktop entry gives the taskbar its name; a display name would also be appended to
    // every window title ("TCP Server — Kolva Simulator").
    QApplication::setDesktopFileName(QStringLiteral("kolva-simulator"));
    QApplication::setWindowIcon(applicationIcon());

    kolva::MessageBoxSink messages;
    kolva::SystemHostResolver resolver;
    kolva::DesktopUrlOpener browser; // outlives every About window
    kolva::OperatorWindow window({}, messages, resolver, browser);
    window.startServing();
    window.show();
    return app.exec();
}
