#include "ui/message_sink.h"

#include "ui/about_window.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

namespace kolva {

void MessageBoxSink::showMessage(const QString &text, Icon icon) {
    std::fprintf(stderr, "%s: %s\n", qUtf8Printable(ProductName), qUtf8Printable(text));
    std::fflush(stderr);
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    ProductName, text, QMessageBox::Ok);
    box.exec();
}

} // namespace kolva
