#pragma once

#include "query/host_address.h"
#include "query/query_service.h"
#include "ramp/ramp.h"
#include "ui/about_window.h"
#include "units/installation.h"

#include <QHostAddress>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <array>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kolva {

// The window's settings; tests change each.
struct ServerEnvironment {
    QString portText = QStringLiteral("23");      // the port field's design text
    QHostAddress bindAddress = QHostAddress::Any; // loopback in tests
    int timerIntervalMs = 1000;                   // Timer1 and TimerRamp
};

// Operator messages as message boxes with an OK button and the program's title, each also one
// line on standard error. Without a display (Qt's offscreen or minimal platform) nobody could
// click a box: only the line is written.
class MessageBoxSink : public MessageSink {
public:
    void showMessage(const QString &text, Icon icon) override;
};

// The operator console: both reading banks, the ramp, the unit choice, the last query and
// reply, the host address and the listener status. It wires widgets to the rules and holds
// none of them itself.
//
// Naming: the window's own handler carries the console's name for it (Form_Load); every
// control and timer is wired straight to the widget-free rule that acts on it, and those are
// named by what they do (commit, pollStatus, restart, tick).
class frmServer : public QMainWindow, private QueryConsole, private RampControls {
    Q_OBJECT
public:
    // The sink, the resolver and the opener must outlive the window; the opener also every
    // About window, which may outlive this one.
    frmServer(ServerEnvironment environment, MessageSink &messages, HostResolver &resolver,
              UrlOpener &urlOpener, QWidget *parent = nullptr);
    ~frmServer() override;

    // The start-up sequence: both timers, both commits, the listener, the host address. A
    // failure is shown as "N: description" and skips the remaining steps.
    void Form_Load();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    class BankView;

    QWidget *buildBankFrame(Bank bank);
    QWidget *buildRampFrame();
    QWidget *buildUnitsFrame();
    QWidget *buildStatusRow();
    void buildMenus();
    void connectHandlers();
    void showTraffic(QLineEdit *field, const QString &text);

    // QueryConsole
    void showQuery(const QString &text) override;
    void showReply(const QString &text) override;
    void showStatus(const QString &text) override;
    void setPortMarker(bool pending) override;
    QString portText() const override;
    // RampControls
    QString secondsText() const override;
    QString amountText() const override;
    bool enabled() const override;

    ServerEnvironment m_environment;
    MessageSink &m_messages;
    HostResolver &m_resolver;
    UrlOpener &m_urlOpener;

    ResponseTable m_table;
    Ramp m_ramp;
    std::unique_ptr<BankView> m_masterView;
    std::unique_ptr<BankView> m_slaveView;
    // Declared after the views and the table they hold references into, so they go first.
    std::unique_ptr<Installation> m_installation;
    std::unique_ptr<QueryService> m_query;
    // Children of the window under their own names, like its controls, so that inspection
    // tools find them.
    QTimer m_timer1{this};
    QTimer m_timerRamp{this};
    QTimer m_trafficRepaint{this}; // holds the traffic fields' repaints while it runs
    QPointer<frmAbout> m_about;

    QLabel *m_lblHostIP = nullptr;
    QLineEdit *m_txtSendData = nullptr;
    QLineEdit *m_txtOutput = nullptr;
    QCheckBox *m_chkRamp = nullptr;
    QLineEdit *m_txtSeconds = nullptr;
    QLineEdit *m_txtAmount = nullptr;
    QRadioButton *m_optC = nullptr;
    QRadioButton *m_optF = nullptr;
    QLabel *m_lblStatus = nullptr;
    QLineEdit *m_txtPort = nullptr;
    QPushButton *m_cmdAccept = nullptr;
};

} // namespace kolva
