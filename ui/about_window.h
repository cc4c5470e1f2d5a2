#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

class QLabel;

namespace kolva {

// Opens an address in the user's web browser; injected so tests never launch one. Nothing is
// told to the operator if no browser opens, so there is nothing to report.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open(const QUrl &url) = 0;
};

// The desktop's default browser, through QDesktopServices.
class DesktopUrlOpener : public UrlOpener {
public:
    void open(const QUrl &url) override;
};

// Product, version and copyright of this build, the maker's contact lines and a link to the
// maker's web site. A top-level window of its own that deletes itself when closed.
class AboutWindow : public QWidget {
    Q_OBJECT
public:
    // The opener must outlive the window, which may outlive the main window.
    explicit AboutWindow(UrlOpener &opener, QWidget *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    UrlOpener &m_opener;
    QLabel *m_lblwwwQuillan;
};

// The "&About" menu item: builds and shows a new About window if none is open (the QPointer is
// null), otherwise brings the open one to the front without re-reading its texts. The window
// deletes itself when closed, which clears the QPointer.
void showAboutWindow(QPointer<AboutWindow> &current, UrlOpener &opener);

} // namespace kolva
