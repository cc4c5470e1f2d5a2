#pragma once

#include "query/bound_port.h"
#include "query/operation_error.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>

#include <iterator>

class QTcpSocket;

// The query service's one TCP socket object: the listener and, in turn, the one client
// connection, over QTcpServer and QTcpSocket. Single-threaded: everything runs on the event loop.

namespace kolva {

class QuerySocket : public QObject {
    Q_OBJECT
public:
    // The state numbers the status poll shows, in the order of StateTexts. This object takes
    // only Closed, Listening, Connected, Closing and Error; the others exist for the numbering.
    enum State {
        Closed,
        Open,
        Listening,
        ConnectionPending,
        ResolvingHost,
        HostResolved,
        Connecting,
        Connected,
        Closing, // the client has left or failed; waiting to be closed
        Error,   // listening failed
    };
    // The status text of each state number; any other number is "Logic Error".
    static constexpr const char *StateTexts[] = {"Closed",
                                                 "Open",
                                                 "Listening",
                                                 "Connection Pending",
                                                 "Resolving host",
                                                 "Host resolved",
                                                 "Connecting",
                                                 "Connected",
                                                 "Peer is closing the connection",
                                                 "Error"};
    static_assert(std::size(StateTexts) == Error + 1);

    // Listens on bindAddress (any address in use, loopback in tests) once listen() is called.
    // Listening on the bound port uses the socket bound beforehand, whose descriptor this object
    // takes over, or reports why the bind failed.
    explicit QuerySocket(const QHostAddress &bindAddress, const BoundPort &bound = {},
                         QObject *parent = nullptr);
    ~QuerySocket() override;

    // Port for the next listen(); 0 lets the system choose. Outside 0..65535 fails (10022).
    bool setLocalPort(qint32 port);
    // One of the State numbers.
    int state() const { return m_state; }

    // Closed -> Listening on the local port. A failure leaves the state Error.
    bool listen();
    // Any state -> Closed: ends listening, or drops the client at once without a word on the
    // wire, and frees the port (a bound socket's port stays bound, unused). Never fails.
    void close();
    // Closed -> Connected to the client whose connectionRequest is being handled right now;
    // the id is that request's, the only one there can be.
    bool accept(qint32 requestId);
    // Everything received from the client and not yet taken; empties the receive store.
    QByteArray getData();
    // Queues the bytes for the client and returns without waiting for delivery. Fails when no
    // client is connected; drops a client whose unread replies pile up past a few MiB.
    bool sendData(const QByteArray &data);
    // Why the last of setLocalPort(), listen(), accept() or sendData() that failed did so.
    const OperationError &lastError() const { return m_lastError; }

Q_SIGNALS:
    // A client asks to connect while listening. The request lapses when the handler returns
    // without accept(requestId); the client is then turned away.
    void connectionRequest(qint32 requestId);
    // Data has arrived from the client; bytesTotal of it is waiting.
    void dataArrival(qint32 bytesTotal);

private:
    bool listenOnNewSocket();
    bool listenOnBoundSocket();
    void takeConnection();
    void stopAccepting();
    void readArrival();
    void peerGone();
    void discard(QTcpSocket *&socket);
    bool fail(OperationError error);

    QHostAddress m_bindAddress;
    QTcpServer m_server;
    QTcpSocket *m_request = nullptr; // the client of the connectionRequest being handled
    QTcpSocket *m_client = nullptr;
    qint32 m_localPort = 0;
    BoundPort m_bound;
    bool m_boundListening = false;
    State m_state = Closed;
    OperationError m_lastError;
};

} // namespace kolva
