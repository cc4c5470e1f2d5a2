#include "ui/main_window.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[]) {
    // A client that vanishes mid-reply must never take the simulator down.
    std::signal(SIGPIPE, SIG_IGN);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KolvaSim"));
    QApplication::setApplicationVersion(QStringLiteral(KOLVA_VERSION));
    // The desktop entry gives the taskbar its name; a display name would also be appended to
    // every window title ("TCP Server — Kolva Simulator").
    QApplication::setDesktopFileName(QStringLiteral("kolva-simulator"));
    QApplication::setWindowIcon(kolva::ApplicationIcon());

    kolva::frmServer window;
    window.Form_Load();
    window.show();
    return app.exec();
}
