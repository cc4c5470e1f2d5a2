#include "ui/about_window.h"

#include "version.h"

#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace kolva {

namespace {

const QString LegalCopyright = QStringLiteral("Copyright \u00A9 2026 Quillan Instruments Ltd.");

// The maker. Its web site lives under the reserved .example domain, so the link can never lead
// anywhere real.
const QString ContactLines[] = {
    QStringLiteral("Quillan Instruments Ltd."),
    QStringLiteral("Unit 4, Fennick Works, Mill Lane"),
    QStringLiteral("Kolvabridge, KV1 4QT, United Kingdom"),
    QStringLiteral("Tel. +44 1632 960 417"),
};
const QString WebSiteName = QStringLiteral("www.quillan.example");
const QString WebAddress = QStringLiteral("https://www.quillan.example/");

QLabel *addLabel(QVBoxLayout *layout, const QString &objectName, const QString &text = {}) {
    auto *label = new QLabel(text);
    label->setObjectName(objectName);
    layout->addWidget(label);
    return label;
}

} // namespace

void DesktopUrlOpener::open(const QUrl &url) { QDesktopServices::openUrl(url); }

AboutWindow::AboutWindow(UrlOpener &opener, QWidget *parent)
    : QWidget(parent)
    , m_opener(opener) {
    setObjectName(QStringLiteral("frmAbout"));
    // Closing destroys the window, which clears the caller's QPointer.
    setAttribute(Qt::WA_DeleteOnClose);

    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(16, 12, 24, 12);
    layout->setSpacing(2);

    setWindowTitle(QStringLiteral("About " KOLVA_PRODUCT_NAME));
    addLabel(layout, QStringLiteral("lblAppName"), QStringLiteral("Product: " KOLVA_PRODUCT_NAME));
    layout->addSpacing(6);
    // The version is fixed when the program is built; the number comes from project().
    addLabel(layout, QStringLiteral("lblVersion"), QStringLiteral("Version: " KOLVA_VERSION));
    layout->addSpacing(6);
    addLabel(layout, QStringLiteral("lblCopyright"), LegalCopyright);

    auto *line1 = new QFrame;
    line1->setObjectName(QStringLiteral("Line1"));
    line1->setFrameShape(QFrame::HLine);
    line1->setFrameShadow(QFrame::Sunken);
    layout->addSpacing(6);
    layout->addWidget(line1);
    layout->addSpacing(6);

    for (const QString &line : ContactLines)
        addLabel(layout, QStringLiteral("lblContactInfo"), line);

    m_lblwwwQuillan = addLabel(layout, QStringLiteral("lblwwwQuillan"), WebSiteName);
    // Only the text is the link, not the row it sits in.
    layout->setAlignment(m_lblwwwQuillan, Qt::AlignLeft);
    QPalette palette = m_lblwwwQuillan->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    m_lblwwwQuillan->setPalette(palette);
    QFont font = m_lblwwwQuillan->font();
    font.setUnderline(true);
    m_lblwwwQuillan->setFont(font);
    m_lblwwwQuillan->setCursor(Qt::PointingHandCursor);
    m_lblwwwQuillan->installEventFilter(this);
}

bool AboutWindow::eventFilter(QObject *watched, QEvent *event) {
    // A click is a left-button release over the label, as with a button.
    if (watched == m_lblwwwQuillan && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton &&
            m_lblwwwQuillan->rect().contains(mouse->position().toPoint()))
            m_opener.open(QUrl(WebAddress));
    }
    return QWidget::eventFilter(watched, event);
}

void showAboutWindow(QPointer<AboutWindow> &current, UrlOpener &opener) {
    if (!current)
        current = new AboutWindow(opener);
    current->setWindowState(current->windowState() & ~Qt::WindowMinimized);
    current->show();
    current->raise();
    current->activateWindow();
}

} // namespace kolva
