#pragma once

#include "query/operator_messages.h"
#include "units/unit_record.h"

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <optional>

// The query service as the window sees it: the listener, its once-a-second status poll and
// the hidden port row. Widget-free: the window implements QueryConsole and MessageSink.

namespace kolva {

class QuerySocket;
struct QueryAnswer;

// The window side of the query service.
class QueryConsole {
public:
    virtual ~QueryConsole() = default;
    virtual void showQuery(const QString &text) = 0;  // txtOutput, captioned "Input"
    virtual void showReply(const QString &text) = 0;  // txtSendData, captioned "Output"
    virtual void showStatus(const QString &text) = 0; // lblStatus
    virtual void setPortMarker(bool pending) = 0;     // cmdAccept in bold
    virtual QString portText() const = 0;             // txtPort
};

class QueryService : public QObject {
    Q_OBJECT
public:
    // bindAddress is the listener's local address: any address in use, loopback in tests.
    QueryService(const ResponseTable &table, QueryConsole &console, MessageSink &messages,
                 const QHostAddress &bindAddress = QHostAddress::Any, QObject *parent = nullptr);
    ~QueryService() override;

    // The start-up's network steps: port marker plain, port from the port text, listen.
    // Reports nothing itself; the caller shows "N: description" for a failure.
    std::optional<OperationError> startListening();

    // Starts Timer1, the status poll, at the given interval (1000 ms in use).
    void startStatusPoll(int intervalMs = 1000);

    // Closing the window: stops the poll and releases the socket at once.
    void shutdown();

    void cmdAccept_Click(); // restart on the port text; "Error in cmdAccept: N description"
    void txtPort_Change();  // port marker bold
    void Timer1_Timer();    // one poll tick: ShowSocketState
    void ShowSocketState(); // status text; state 8 closes and listens again

    QuerySocket &tcpServer() { return *m_socket; }

private:
    void tcpServer_ConnectionRequest(qint32 requestId);
    void tcpServer_DataArrival(qint32 bytesTotal);
    void HandleQuery(const QueryAnswer &answer);
    std::optional<OperationError> listenOnPortText();
    void listenAgain();

    const ResponseTable &m_table;
    QueryConsole &m_console;
    MessageSink &m_messages;
    QuerySocket *m_socket = nullptr;
    QTimer m_timer1;
    bool m_relistenDue = false; // listening again failed outside a restart: the poll retries
};

// Port number from the port text: LeadingNumber rounded half to even; overflow past 32 bits
// is error 6 "Overflow". "80.5" -> 80, "81.5" -> 82, "" -> 0.
std::optional<qint32> PortFromText(const QString &text, OperationError *error);

} // namespace kolva
