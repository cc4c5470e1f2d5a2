#pragma once

#include "query/bound_port.h"
#include "query/operation_error.h"
#include "units/unit_record.h"

#include <QHostAddress>
#include <QObject>

#include <optional>

// The query service as the window sees it: the listener, its status poll and the restart on the
// hidden port row. Widget-free: the window implements QueryConsole, shows the failures this
// reports, and owns the timer that drives the poll.

namespace kolva {

class QuerySocket;

// The window side of the query service.
class QueryConsole {
public:
    virtual ~QueryConsole() = default;
    virtual void showQuery(const QString &text) = 0;  // the cleaned query, as it arrived
    virtual void showReply(const QString &text) = 0;  // the record sent, empty for none
    virtual void showStatus(const QString &text) = 0; // the listener's status text
    virtual void setPortMarker(bool pending) = 0;     // a port edit waits for the restart
    virtual QString portText() const = 0;
};

class QueryService : public QObject {
    Q_OBJECT
public:
    // bindAddress is the listener's local address: any address in use, loopback in tests;
    // bound a port bound beforehand, if any (see QuerySocket).
    QueryService(const ResponseTable &table, QueryConsole &console, const QHostAddress &bindAddress,
                 const BoundPort &bound, QObject *parent = nullptr);
    ~QueryService() override;

    // The start-up's network steps: port marker plain, port from the port text, listen.
    bool startListening();

    // Moves the listener to the port in the port text, dropping any client. A failure leaves
    // the port marker as it was.
    bool restart();

    // Why the last startListening() or restart() that failed did so.
    const OperationError &lastError() const { return m_lastError; }

    // The port text changed: the port marker turns bold until the next restart.
    void portEdited();

    // The status poll: shows the socket's state; once the client has left, closes the socket
    // and listens again on the port last set.
    void pollStatus();

    // Closing the window: releases the socket at once.
    void close();

private:
    void takeClient(qint32 requestId);
    void answerArrival();
    bool listenOnPortText();
    void listenAgain();

    const ResponseTable &m_table;
    QueryConsole &m_console;
    QuerySocket *m_socket; // a child: the object tree shows the client sockets under it
    OperationError m_lastError;
    bool m_relistenDue = false; // listening again failed outside a restart: the poll retries
};

// Port number from the port text: leadingNumber rounded half to even; nullopt for a number
// past 32 bits. "80.5" -> 80, "81.5" -> 82, "" -> 0.
std::optional<qint32> portFromText(const QString &text);

} // namespace kolva
