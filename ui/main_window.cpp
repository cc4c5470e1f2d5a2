#include "main_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <limits>

namespace kolva {
namespace {

// A client may ask thousands of times a second, and repainting the traffic fields for each
// query costs several times what answering it does: repaint them at most this often.
constexpr int TrafficRepaintMs = 20;

// Every text field holds whatever is typed or shown, however long: QLineEdit's 32767 cut-off
// lifted.
QLineEdit *unlimited(QLineEdit *edit) {
    edit->setMaxLength(std::numeric_limits<int>::max());
    return edit;
}

QLineEdit *namedLineEdit(const QString &text, const QString &name) {
    auto *edit = unlimited(new QLineEdit(text));
    edit->setObjectName(name);
    return edit;
}

QLabel *namedLabel(const QString &text, const QString &name) {
    auto *label = new QLabel(text);
    label->setObjectName(name);
    return label;
}

void setBold(QWidget *widget, bool bold) {
    QFont font = widget->font();
    if (font.bold() == bold)
        return;
    font.setBold(bold);
    widget->setFont(font);
}

QString bankName(Bank bank) {
    return bank == Bank::Master ? QStringLiteral("Master") : QStringLiteral("Slave");
}

} // namespace

// One bank's widgets, as the rules see them.
class OperatorWindow::BankView : public BankFields {
public:
    std::array<QLineEdit *, ReadingCount> readings{};
    QLineEdit *setAll = nullptr;
    QComboBox *increment = nullptr;
    QPushButton *accept = nullptr;

    QString reading(int index) const override { return readings.at(std::size_t(index))->text(); }
    void setReading(int index, const QString &text) override {
        readings.at(std::size_t(index))->setText(text);
    }
    QString setAllText() const override { return setAll->text(); }
    QString incrementText() const override { return increment->currentText(); }
    void setEditMarker(bool pending) override { setBold(accept, pending); }
};

OperatorWindow::OperatorWindow(WindowSettings settings, MessageSink &messages,
                               HostResolver &resolver, UrlOpener &urlOpener, QWidget *parent)
    : QMainWindow(parent)
    , m_settings(std::move(settings))
    , m_messages(messages)
    , m_resolver(resolver)
    , m_urlOpener(urlOpener)
    , m_masterView(std::make_unique<BankView>())
    , m_slaveView(std::make_unique<BankView>())
    , m_installation(std::make_unique<Installation>(*m_masterView, *m_slaveView, m_table,
                                                    [this] { m_ramp.restartPeriod(); }))
    , m_query(new QueryService(m_table, *this, m_settings.bindAddress, m_settings.boundPort, this))
    , m_statusPoll(new QTimer(this))
    , m_rampTimer(new QTimer(this))
    , m_trafficRepaint(new QTimer(this)) {
    setObjectName(QStringLiteral("frmServer"));
    setWindowTitle(QStringLiteral("TCP Server"));

    auto *central = new QWidget;
    auto *grid = new QGridLayout(central);
    const auto addRow = [&](int row, QLabel *caption, QWidget *field) {
        grid->addWidget(caption, row, 0, 1, 1);
        grid->addWidget(field, row, 1, 1, 1);
    };

    m_hostAddress = namedLabel(QString(), QStringLiteral("lblHostIP"));
    m_hostAddress->setAccessibleDescription(QStringLiteral("Host IP Address"));
    m_hostAddress->setTextInteractionFlags(Qt::TextSelectableByMouse);
    addRow(0, namedLabel(QStringLiteral("Host IP Address"), QStringLiteral("Label8")),
           m_hostAddress);

    // The traffic fields are display only: shown, never focused or typed into.
    const auto displayField = [](const QString &name, const QString &accessible) {
        QLineEdit *field = namedLineEdit(QString(), name);
        field->setAccessibleName(accessible);
        field->setReadOnly(true);
        field->setFocusPolicy(Qt::NoFocus);
        // Laid out anew for every query: skip the shaping that ASCII records never need.
        QFont font = field->font();
        font.setStyleStrategy(QFont::PreferNoShaping);
        field->setFont(font);
        return field;
    };
    m_replyField = displayField(QStringLiteral("txtSendData"), QStringLiteral("Output"));
    m_queryField = displayField(QStringLiteral("txtOutput"), QStringLiteral("Input"));
    addRow(1, namedLabel(QStringLiteral("Output"), QStringLiteral("Label1")), m_replyField);
    addRow(2, namedLabel(QStringLiteral("Input"), QStringLiteral("Label2")), m_queryField);

    auto *frames = new QGridLayout;
    frames->addWidget(buildBankFrame(Bank::Master), 0, 0);
    frames->addWidget(buildBankFrame(Bank::Slave), 0, 1);
    frames->addWidget(buildRampFrame(), 1, 0);
    frames->addWidget(buildUnitsFrame(), 1, 1);
    frames->setColumnStretch(0, 1);
    frames->setColumnStretch(1, 1);
    grid->addLayout(frames, 3, 0, 1, 2);
    grid->addWidget(buildStatusRow(), 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    setCentralWidget(central);
    buildMenus();
    connectHandlers();

    // A fixed-size utility window, opened centred on its screen.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    m_statusPoll->setObjectName(QStringLiteral("Timer1"));
    m_rampTimer->setObjectName(QStringLiteral("TimerRamp"));
    m_trafficRepaint->setObjectName(QStringLiteral("TrafficRepaint"));
    m_trafficRepaint->setSingleShot(true);
    m_trafficRepaint->setInterval(TrafficRepaintMs);
    connect(m_trafficRepaint, &QTimer::timeout, this, [this] {
        m_queryField->setUpdatesEnabled(true);
        m_replyField->setUpdatesEnabled(true);
    });

    m_statusPoll->setInterval(m_settings.timerIntervalMs);
    connect(m_statusPoll, &QTimer::timeout, m_query, &QueryService::pollStatus);
    m_rampTimer->setInterval(m_settings.timerIntervalMs);
    connect(m_rampTimer, &QTimer::timeout, this, [this] { m_ramp.tick(*m_installation, *this); });
}

OperatorWindow::~OperatorWindow() = default;

// Controls are created in the order Tab walks them: the channels in order, then the bank's
// buttons and fill inputs.
QWidget *OperatorWindow::buildBankFrame(Bank bank) {
    const bool master = bank == Bank::Master;
    const QString name = bankName(bank);
    BankView &view = master ? *m_masterView : *m_slaveView;
    auto *frame = new QGroupBox(name + QStringLiteral(" Sensor Values"));
    frame->setObjectName(master ? QStringLiteral("fraMaster") : QStringLiteral("fraSlave"));
    auto *grid = new QGridLayout(frame);

    // A fresh start's readings: the bank's first value, and a tenth more in each next field.
    const double first = master ? 25.0 : 32.0;
    const QString fieldArray = master ? QStringLiteral("txtSensor") : QStringLiteral("txtSensor2");
    for (int i = 0; i < ReadingCount; ++i) {
        // Master captions are lblSensor(0..16); slave ones run backwards from lblSensor(17).
        const int captionIndex = master ? i : 33 - i;
        const QString caption = i == AmbientIndex ? QStringLiteral("Amb") : QString::number(i + 1);
        auto *label = namedLabel(caption, QStringLiteral("lblSensor(%1)").arg(captionIndex));
        auto *field = namedLineEdit(QString::number(first + i / 10.0, 'f', 1),
                                    QStringLiteral("%1(%2)").arg(fieldArray).arg(i));
        field->setAccessibleName(name + (i == AmbientIndex ? QStringLiteral(" Amb")
                                                           : QStringLiteral(" T%1").arg(i + 1)));
        field->setFixedWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("-0000.00")) +
                             field->fontMetrics().averageCharWidth() * 2);
        label->setBuddy(field);
        const int row = i == AmbientIndex ? 8 : i % 8;
        const int column = i == AmbientIndex || i >= 8 ? 2 : 0;
        grid->addWidget(label, row, column, Qt::AlignRight);
        grid->addWidget(field, row, column + 1);
        view.readings[std::size_t(i)] = field;
    }

    const auto button = [&](const QString &caption, const QString &objectName,
                            const QString &accessible) {
        auto *push = new QPushButton(caption);
        push->setObjectName(objectName);
        push->setAccessibleName(accessible);
        return push;
    };
    auto *open = button(QStringLiteral("OPEN"), QStringLiteral("cmdSetOpen") + name,
                        name + QStringLiteral(" OPEN"));
    auto *comEr = button(QStringLiteral("COMER"), QStringLiteral("cmdSetComEr") + name,
                         name + QStringLiteral(" COMER"));
    grid->addWidget(open, 9, 0, 1, 2);
    grid->addWidget(comEr, 9, 2, 1, 2);

    view.setAll =
        namedLineEdit(QString::number(first), master ? QStringLiteral("txtSetAllMaster")
                                                     : QStringLiteral("txtSetAllMaster2"));
    view.setAll->setAccessibleName(name + QStringLiteral(" Set All Sensors"));
    auto *setAllLabel = namedLabel(QStringLiteral("Set All Sensors"),
                                   master ? QStringLiteral("Label4") : QStringLiteral("Label7"));
    setAllLabel->setBuddy(view.setAll);
    grid->addWidget(setAllLabel, 10, 0, 1, 2);
    grid->addWidget(view.setAll, 10, 2, 1, 2);

    view.increment = new QComboBox;
    view.increment->setEditable(true);
    view.increment->setInsertPolicy(QComboBox::NoInsert);
    view.increment->addItems({QStringLiteral("0"), QStringLiteral(".1"), QStringLiteral(".5"),
                              QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("10")});
    view.increment->setEditText(QStringLiteral(".1"));
    unlimited(view.increment->lineEdit());
    view.increment->setObjectName(master ? QStringLiteral("cboIncrement")
                                         : QStringLiteral("cboIncrement2"));
    view.increment->setAccessibleName(name + QStringLiteral(" Increment"));
    // Over AT-SPI an editable combo box is named after its text; its editor keeps the name.
    view.increment->lineEdit()->setAccessibleName(view.increment->accessibleName());
    auto *incrementLabel = namedLabel(QStringLiteral("Increment"),
                                      master ? QStringLiteral("Label5") : QStringLiteral("Label6"));
    incrementLabel->setBuddy(view.increment);
    grid->addWidget(incrementLabel, 11, 0, 1, 2);
    grid->addWidget(view.increment, 11, 2, 1, 2);

    view.accept = button(QStringLiteral("Accept Changes"), QStringLiteral("cmdSet") + name,
                         name + QStringLiteral(" Accept Changes"));
    grid->addWidget(view.accept, 12, 0, 1, 4);

    connect(open, &QPushButton::clicked, this,
            [this, bank] { m_installation->injectFault(bank, OpenWord); });
    connect(comEr, &QPushButton::clicked, this,
            [this, bank] { m_installation->injectFault(bank, ComErWord); });
    return frame;
}

QWidget *OperatorWindow::buildRampFrame() {
    auto *frame = new QGroupBox(QStringLiteral("Temperature Ramp"));
    frame->setObjectName(QStringLiteral("Frame1"));
    auto *grid = new QGridLayout(frame);
    m_rampEnabled = new QCheckBox;
    m_rampEnabled->setObjectName(QStringLiteral("chkRamp"));
    m_rampEnabled->setAccessibleName(QStringLiteral("Ramp Enabled"));
    m_rampSeconds = namedLineEdit(QStringLiteral("60"), QStringLiteral("txtSeconds"));
    m_rampSeconds->setAccessibleName(QStringLiteral("Ramp Seconds"));
    m_rampAmount = namedLineEdit(QStringLiteral("1"), QStringLiteral("txtAmount"));
    m_rampAmount->setAccessibleName(QStringLiteral("Ramp Amount"));
    for (QLineEdit *edit : {m_rampSeconds, m_rampAmount})
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000")));
    grid->addWidget(namedLabel(QStringLiteral("Enabled"), QStringLiteral("Label3")), 0, 0);
    grid->addWidget(namedLabel(QStringLiteral("Seconds"), QStringLiteral("lblSeconds")), 0, 1);
    grid->addWidget(namedLabel(QStringLiteral("Amount"), QStringLiteral("lblAmount")), 0, 2);
    grid->addWidget(m_rampEnabled, 1, 0, Qt::AlignHCenter);
    grid->addWidget(m_rampSeconds, 1, 1);
    grid->addWidget(m_rampAmount, 1, 2);
    return frame;
}

QWidget *OperatorWindow::buildUnitsFrame() {
    auto *frame = new QGroupBox(QStringLiteral("Temperature Units"));
    frame->setObjectName(QStringLiteral("fraTUnits"));
    auto *box = new QVBoxLayout(frame);
    m_celsius = new QRadioButton(QStringLiteral("Celsius"));
    m_celsius->setObjectName(QStringLiteral("optC"));
    m_celsius->setAccessibleName(QStringLiteral("Celsius"));
    m_fahrenheit = new QRadioButton(QStringLiteral("Fahrenheit"));
    m_fahrenheit->setObjectName(QStringLiteral("optF"));
    m_fahrenheit->setAccessibleName(QStringLiteral("Fahrenheit"));
    box->addWidget(m_celsius);
    box->addWidget(m_fahrenheit);
    return frame;
}

QWidget *OperatorWindow::buildStatusRow() {
    auto *row = new QWidget;
    auto *box = new QHBoxLayout(row);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(namedLabel(QStringLiteral("Status:"), QStringLiteral("lblStatusLabel")));
    m_status = namedLabel(QStringLiteral("Booting"), QStringLiteral("lblStatus"));
    m_status->setAccessibleDescription(QStringLiteral("Status"));
    box->addWidget(m_status, 1);

    // The port row exists for the restart routine but is never shown: the port stays 23.
    auto *lblPort = namedLabel(QStringLiteral("Port"), QStringLiteral("lblPort"));
    m_portField = namedLineEdit(m_settings.portText, QStringLiteral("txtPort"));
    m_portAccept = new QPushButton(QStringLiteral("Accept"));
    m_portAccept->setObjectName(QStringLiteral("cmdAccept"));
    for (QWidget *hidden : {static_cast<QWidget *>(lblPort), static_cast<QWidget *>(m_portField),
                            static_cast<QWidget *>(m_portAccept)}) {
        box->addWidget(hidden);
        hidden->hide();
    }
    return row;
}

void OperatorWindow::buildMenus() {
    QMenu *mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    QAction *mnuExit = mnuFile->addAction(QStringLiteral("&Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);
    // "&About" acts straight from the menu bar, without a menu of its own.
    QAction *mnuAbout = menuBar()->addAction(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    connect(mnuAbout, &QAction::triggered, this, [this] { showAboutWindow(m_about, m_urlOpener); });
}

void OperatorWindow::connectHandlers() {
    for (const Bank bank : {Bank::Master, Bank::Slave}) {
        BankView &view = bank == Bank::Master ? *m_masterView : *m_slaveView;
        // A change of any reading field marks its bank, whichever index it is.
        for (QLineEdit *field : view.readings)
            connect(field, &QLineEdit::textChanged, this,
                    [this, bank] { m_installation->readingEdited(bank); });
        // Typing into "Set All Sensors" or "Increment", or picking an increment, arms the fill.
        const auto armed = [this, bank] { m_installation->fillInputEdited(bank); };
        connect(view.setAll, &QLineEdit::textChanged, this, armed);
        connect(view.increment, &QComboBox::editTextChanged, this, armed);
        connect(view.increment, &QComboBox::activated, this, armed);
        connect(view.accept, &QPushButton::clicked, this,
                [this, bank] { m_installation->commit(bank); });
    }
    // Only the option that becomes selected acts.
    connect(m_celsius, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            m_installation->selectUnit(TemperatureUnit::Celsius);
    });
    connect(m_fahrenheit, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            m_installation->selectUnit(TemperatureUnit::Fahrenheit);
    });
    connect(m_portField, &QLineEdit::textChanged, m_query, &QueryService::portEdited);
    connect(m_portAccept, &QPushButton::clicked, this, &OperatorWindow::restartListener);
}

void OperatorWindow::startServing() {
    // Both timers run from the start, so their ticks keep serving clients while a start-up
    // message waits for the operator: a message box runs the event loop that delivers them.
    m_statusPoll->start();
    m_rampTimer->start();
    // Celsius is selected here; the records say "C," from creation, so selecting it converts
    // nothing.
    m_celsius->setChecked(true);
    m_installation->commit(Bank::Master);
    m_installation->commit(Bank::Slave);
    if (!m_query->startListening()) {
        const OperationError &error = m_query->lastError();
        m_messages.showMessage(QStringLiteral("%1: %2").arg(error.number).arg(error.description),
                               MessageSink::Icon::None);
        return;
    }
    QString address;
    if (!lookUpHostAddress(m_resolver, &address))
        m_messages.showMessage(m_resolver.lastError().description, MessageSink::Icon::Exclamation);
    m_hostAddress->setText(address);
}

void OperatorWindow::restartListener() {
    if (m_query->restart())
        return;
    const OperationError &error = m_query->lastError();
    m_messages.showMessage(
        QStringLiteral("Error in cmdAccept: %1 %2").arg(error.number).arg(error.description),
        MessageSink::Icon::None);
}

void OperatorWindow::closeEvent(QCloseEvent *event) {
    // Stop serving at once; an open About window lives on until it is closed too.
    m_statusPoll->stop();
    m_rampTimer->stop();
    m_query->close();
    QMainWindow::closeEvent(event);
}

void OperatorWindow::showTraffic(QLineEdit *field, const QString &text) {
    // The text changes at once; the pixels follow within TrafficRepaintMs.
    if (!m_trafficRepaint->isActive()) {
        m_queryField->setUpdatesEnabled(false);
        m_replyField->setUpdatesEnabled(false);
        m_trafficRepaint->start();
    }
    field->setText(text);
}

void OperatorWindow::showQuery(const QString &text) { showTraffic(m_queryField, text); }
void OperatorWindow::showReply(const QString &text) { showTraffic(m_replyField, text); }
void OperatorWindow::showStatus(const QString &text) { m_status->setText(text); }
void OperatorWindow::setPortMarker(bool pending) { setBold(m_portAccept, pending); }
QString OperatorWindow::portText() const { return m_portField->text(); }
QString OperatorWindow::secondsText() const { return m_rampSeconds->text(); }
QString OperatorWindow::amountText() const { return m_rampAmount->text(); }
bool OperatorWindow::rampEnabled() const { return m_rampEnabled->isChecked(); }

} // namespace kolva
