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

// What the window reaches outside itself; tests replace each part.
struct ServerEnvironment {
    QString portText = QStringLiteral("23");      // the port field's design text
    QHostAddress bindAddress = QHostAddress::Any; // loopback in tests
    int timerIntervalMs = 1000;                   // Timer1 and TimerRamp
    MessageSink *messages = nullptr;              // null: message boxes
    HostResolver *resolver = nullptr;             // null: this machine's resolver
    UrlOpener *urlOpener = nullptr;               // null: the desktop's browser
};

// The operator console: both reading banks, the ramp, the unit choice, the last query and
// reply, the host address and the listener status. It wires widgets to the rules and holds
// none of them itself.
class frmServer : public QMainWindow, private QueryConsole, private RampControls {
    Q_OBJECT
public:
    explicit frmServer(ServerEnvironment environment = {}, QWidget *parent = nullptr);
    ~frmServer() override;

    // The start-up sequence: both commits, the listener, the host address. A failure is shown
    // as "N: description" and skips the remaining steps.
    void Form_Load();

    // Handlers, public so that tests drive them as the event loop would.
    void cmdSetMaster_Click() { m_installation->commit(Bank::Master); }
    void cmdSetSlave_Click() { m_installation->commit(Bank::Slave); }
    void TimerRamp_Timer() { RampTick(*m_installation, *this); }
    void Timer1_Timer() { m_query->Timer1_Timer(); }
    void mnuExit_Click() { close(); }
    void mnuAbout_Click() { ShowAboutWindow(m_about, *m_urlOpener); }

    const Installation &installation() const { return *m_installation; }
    const ResponseTable &responseTable() const { return m_table; }
    QueryService &queryService() { return *m_query; }
    frmAbout *aboutWindow() const { return m_about; }

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
    std::unique_ptr<MessageSink> m_ownMessages;
    std::unique_ptr<HostResolver> m_ownResolver;
    MessageSink *m_messages;
    HostResolver *m_resolver;
    UrlOpener *m_urlOpener;

    ResponseTable m_table;
    std::unique_ptr<BankView> m_masterView;
    std::unique_ptr<BankView> m_slaveView;
    std::unique_ptr<Installation> m_installation;
    std::unique_ptr<QueryService> m_query;
    QTimer m_timerRamp;
    QTimer m_trafficRepaint; // holds the traffic fields' repaints while it runs
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
