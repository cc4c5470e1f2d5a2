#pragma once

#include "query/operator_messages.h"
#include "units/unit_record.h"

#include <QHostAddress>
#include <QObject>

#include <optional>

// The query service as the window sees it: the listener, its status poll and the restart on the
// hidden port row. Widget-free: the window implements QueryConsole and MessageSink, and owns the
// timer that drives the poll.

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
                 const QHostAddress &bindAddress, QObject *parent = nullptr);
    ~QueryService() override;

    // The start-up's network steps: port marker plain, port from the port text, listen.
    // Reports nothing itself; the caller shows "N: description" for a failure.
    std::optional<OperationError> startListening();

    // Moves the listener to the port in the port text, dropping any client; a failure is shown
    // as "Error in cmdAccept: N description" and leaves the port marker as it was.
    void restart();

    // The port text changed: the port marker turns bold until the next restart.
    void portEdited();

    // The status poll (ShowSocketState): shows the socket's state; once the client has left,
    // closes the socket and listens again on the port last set.
    void pollStatus();

    // Closing the window: releases the socket at once.
    void close();

private:
    void takeClient(qint32 requestId);
    void answerArrival();
    std::optional<OperationError> listenOnPortText();
    void listenAgain();

    const ResponseTable &m_table;
    QueryConsole &m_console;
    MessageSink &m_messages;
    QuerySocket *m_socket = nullptr;
    bool m_relistenDue = false; // listening again failed outside a restart: the poll retries
};

// Port number from the port text: LeadingNumber rounded half to even; overflow past 32 bits
// is error 6 "Overflow". "80.5" -> 80, "81.5" -> 82, "" -> 0.
std::optional<qint32> PortFromText(const QString &text, OperationError *error);

} // namespace kolva
