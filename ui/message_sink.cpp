#include "ui/message_sink.h"

#include "version.h"

#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>

namespace kolva {

void MessageBoxSink::showMessage(const QString &text, Icon icon) {
    std::fprintf(stderr, KOLVA_PRODUCT_NAME ": %s\n", qUtf8Printable(text));
    std::fflush(stderr);
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    QStringLiteral(KOLVA_PRODUCT_NAME), text, QMessageBox::Ok);
    box.exec();
}

} // namespace kolva
