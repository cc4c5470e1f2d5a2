#pragma once

#include "query/host_address.h"
#include "query/query_service.h"
#include "ramp/ramp.h"
#include "ui/about_window.h"
#include "ui/message_sink.h"
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

// What differs between the program and its tests.
struct WindowSettings {
    QString portText = QStringLiteral("23");      // the port field's design text
    QHostAddress bindAddress = QHostAddress::Any; // loopback in tests
    int timerIntervalMs = 1000;                   // the status poll's and the ramp's timers
    BoundPort boundPort;                          // bound beforehand, taken over by the listener
};

// The operator console: both reading banks, the ramp, the unit choice, the last query and
// reply, the host address and the listener status. It wires widgets to the rules, holds none
// of them itself, and decides what the operator is told when they fail.
//
// The controls' object names (txtSensor(0), cmdSetMaster, ...) and accessible names ("Master
// T1", "Slave Accept Changes", ...) are a published surface: users' scripts and
// docs/automation.md find the controls by them. Keep them when renaming anything here.
class OperatorWindow : public QMainWindow, private QueryConsole, private RampControls {
    Q_OBJECT
public:
    // The sink, the resolver and the opener must outlive the window; the opener also every
    // About window, which may outlive this one.
    OperatorWindow(WindowSettings settings, MessageSink &messages, HostResolver &resolver,
                   UrlOpener &urlOpener, QWidget *parent = nullptr);
    ~OperatorWindow() override;

    // Starts serving: both timers, both commits, the listener, the host address, in this order.
    // A failure of the listener is shown as "N: description" and skips the host address. Call
    // once, before or after show().
    void startServing();

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
    void restartListener();
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
    bool rampEnabled() const override;

    WindowSettings m_settings;
    MessageSink &m_messages;
    HostResolver &m_resolver;
    UrlOpener &m_urlOpener;

    ResponseTable m_table;
    Ramp m_ramp;
    std::unique_ptr<BankView> m_masterView;
    std::unique_ptr<BankView> m_slaveView;
    // Declared after the views and the table it holds references into, so it goes first.
    std::unique_ptr<Installation> m_installation;
    QPointer<AboutWindow> m_about;

    // Owned by the window's object tree, like its widgets, where inspection tools find them
    // under their own names. None of them uses the window from its destructor.
    QueryService *m_query;
    QTimer *m_statusPoll;
    QTimer *m_rampTimer;
    QTimer *m_trafficRepaint; // holds the traffic fields' repaints while it runs

    QLabel *m_hostAddress = nullptr;
    QLineEdit *m_replyField = nullptr;
    QLineEdit *m_queryField = nullptr;
    QCheckBox *m_rampEnabled = nullptr;
    QLineEdit *m_rampSeconds = nullptr;
    QLineEdit *m_rampAmount = nullptr;
    QRadioButton *m_celsius = nullptr;
    QRadioButton *m_fahrenheit = nullptr;
    QLabel *m_status = nullptr;
    QLineEdit *m_portField = nullptr;
    QPushButton *m_portAccept = nullptr;
};

} // namespace kolva
