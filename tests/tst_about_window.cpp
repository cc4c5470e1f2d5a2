#include "ui/about_window.h"

#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace kolva;

namespace {

// Records the addresses it is asked to open and fails, as with no browser; never launches one.
struct FakeUrlOpener : UrlOpener {
    bool open(const QUrl &url) override {
        opened << url;
        return false;
    }
    QList<QUrl> opened;
};

QLabel *label(QWidget *window, const char *name) { return window->findChild<QLabel *>(name); }

QStringList texts(QWidget *about) {
    return {about->windowTitle(), label(about, "lblAppName")->text(),
            label(about, "lblVersion")->text(), label(about, "lblCopyright")->text()};
}

const QStringList Built = {"About Kolva Simulator", "Product: Kolva Simulator",
                           "Version: " KOLVA_PROJECT_VERSION,
                           "Copyright \u00A9 2026 Quillan Instruments Ltd."};

} // namespace

class tst_AboutWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { delete m_about.data(); }

    void oneWindowRaisedWhileOpenAndBuiltAfreshAfterClosing() {
        QWidget mainWindow;
        mainWindow.show();
        ShowAboutWindow(m_about, m_opener);
        const QPointer<frmAbout> first = m_about;
        QCOMPARE(texts(first), Built);
        label(first, "lblVersion")->setText(QStringLiteral("not reloaded"));
        mainWindow.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &mainWindow);

        ShowAboutWindow(m_about, m_opener);
        QCOMPARE(m_about, first);
        QCOMPARE(label(first, "lblVersion")->text(), QStringLiteral("not reloaded"));
        QTRY_COMPARE(QApplication::activeWindow(), first.data());

        QVERIFY(first->close());
        QTRY_VERIFY(m_about.isNull());
        ShowAboutWindow(m_about, m_opener);
        QCOMPARE(texts(m_about), Built);
    }

    // The event loop, and with it the process, ends with the last of the two windows closed.
    void processEndsWithTheLastWindow_data() {
        QTest::addColumn<bool>("mainWindowFirst");
        QTest::newRow("main window, then About") << true;
        QTest::newRow("About, then main window") << false;
    }
    void processEndsWithTheLastWindow() {
        QFETCH(bool, mainWindowFirst);
        QWidget mainWindow; // owns nothing of the About window, as the real one
        mainWindow.show();
        ShowAboutWindow(m_about, m_opener);
        QWidget *about = m_about;
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        qsizetype lastClosedAfterFirst = -1;
        QTimer::singleShot(0, &mainWindow, [&] {
            (mainWindowFirst ? &mainWindow : about)->close();
            lastClosedAfterFirst = lastClosed.count();
            (mainWindowFirst ? about : &mainWindow)->close();
        });
        QTimer::singleShot(5000, &mainWindow, [] { QCoreApplication::exit(1); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(lastClosedAfterFirst, 0);
        QCOMPARE(lastClosed.count(), 1);
    }

    void linkClickGoesToTheOpenerAndFailsSilently() {
        ShowAboutWindow(m_about, m_opener);
        QLabel *link = label(m_about, "lblwwwQuillan");
        const qsizetype windows = QApplication::topLevelWidgets().size();
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(m_opener.opened.size(), 1);
        // Under the reserved domain, so the link can never lead anywhere real.
        QVERIFY(m_opener.opened.first().host().endsWith(QStringLiteral(".example")));
        QCOMPARE(QApplication::topLevelWidgets().size(), windows); // no message of any kind
    }

    void iconIsDrawnFromTheSvg() {
        const QImage image = ApplicationIcon().pixmap(32).toImage();
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY(qAlpha(image.pixel(16, 16)) > 0);
    }

private:
    FakeUrlOpener m_opener;
    QPointer<frmAbout> m_about;
};

QTEST_MAIN(tst_AboutWindow)
#include "tst_about_window.moc"
