#include "query_socket.h"

#include "socket_error.h"

#include <QTcpSocket>

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace kolva {

namespace {
// A flooding client is taken in bites of at most this much, so one arrival stays small.
constexpr qint64 ArrivalLimit = 64 * 1024;
// A client that never reads its replies is broken; past this much unsent reply data it is
// dropped rather than let the service's memory grow without end.
constexpr qint64 ReplyBacklogLimit = 4 * 1024 * 1024;
// As QTcpServer::listen() queues connections.
constexpr int ListenBacklog = 50;

// A client that vanishes without a word (a dropped NAT mapping, a suspended virtual machine)
// would hold the only client slot for good. The system probes a connection idle for a minute,
// three times 10 s apart, and drops it when none is answered; one whose replies go
// unacknowledged that long is dropped too. A live client, however silent, answers the probes
// and keeps its slot.
constexpr int KeepAliveIdleS = 60;
constexpr int KeepAliveIntervalS = 10;
constexpr int KeepAliveProbes = 3;
constexpr unsigned UnacknowledgedLimitMs =
    (KeepAliveIdleS + KeepAliveIntervalS * KeepAliveProbes) * 1000;

void detectDeadPeer(qintptr fd) {
    const int on = 1;
    ::setsockopt(int(fd), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPIDLE, &KeepAliveIdleS, sizeof KeepAliveIdleS);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPINTVL, &KeepAliveIntervalS,
                 sizeof KeepAliveIntervalS);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPCNT, &KeepAliveProbes, sizeof KeepAliveProbes);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_USER_TIMEOUT, &UnacknowledgedLimitMs,
                 sizeof UnacknowledgedLimitMs);
}

} // namespace

QuerySocket::QuerySocket(const QHostAddress &bindAddress, const BoundPort &bound, QObject *parent)
    : QObject(parent)
    , m_bindAddress(bindAddress)
    , m_bound(bound) {
    // One waiting client at most: the rest stay in the system's backlog and are turned away
    // when the handler closes the listener, as while a client is connected nothing listens.
    m_server.setMaxPendingConnections(1);
    connect(&m_server, &QTcpServer::newConnection, this, &QuerySocket::takeConnection);
    connect(&m_server, &QTcpServer::acceptError, this, &QuerySocket::stopAccepting);
}

QuerySocket::~QuerySocket() {
    close();
    if (m_bound.descriptor >= 0)
        ::close(m_bound.descriptor);
}

bool QuerySocket::setLocalPort(qint32 port) {
    if (port < 0 || port > std::numeric_limits<quint16>::max())
        return fail(socketError(SocketFault::PortOutOfRange));
    m_localPort = port;
    return true;
}

bool QuerySocket::listen() {
    if (m_state != Closed)
        return fail(socketError(SocketFault::WrongState));
    const bool listening = m_bound.attempted() && m_localPort == m_bound.port
                               ? listenOnBoundSocket()
                               : listenOnNewSocket();
    if (!listening) {
        m_state = Error;
        return false;
    }
    // Keeps an OS-chosen port, so listening again after a client leaves stays on it.
    m_localPort = m_server.serverPort();
    m_state = Listening;
    return true;
}

void QuerySocket::close() {
    // QTcpServer sets SO_REUSEADDR, so listening again right after this never meets
    // "address in use". The client being handed over by connectionRequest is kept for accept().
    // On Linux, shutdown() ends a bound socket's listening, turning away the connections queued
    // on it, and keeps its port for the next listen(). Only while it listens: on a socket that
    // does not, it would mark the receiving side shut, and every client accepted after the next
    // listen() would inherit that and read an end after its first query.
    if (std::exchange(m_boundListening, false))
        ::shutdown(m_bound.descriptor, SHUT_RD);
    m_server.close();
    discard(m_client);
    m_state = Closed;
}

bool QuerySocket::accept(qint32 /*requestId*/) {
    if (m_state != Closed || !m_request)
        return fail(socketError(SocketFault::WrongState));
    m_client = std::exchange(m_request, nullptr);
    detectDeadPeer(m_client->socketDescriptor());
    connect(m_client, &QTcpSocket::readyRead, this, &QuerySocket::readArrival);
    connect(m_client, &QTcpSocket::disconnected, this, &QuerySocket::peerGone);
    connect(m_client, &QTcpSocket::errorOccurred, this, &QuerySocket::peerGone);
    m_state = m_client->state() == QAbstractSocket::ConnectedState ? Connected : Closing;
    return true;
}

QByteArray QuerySocket::getData() { return m_client ? m_client->readAll() : QByteArray(); }

bool QuerySocket::sendData(const QByteArray &data) {
    if (m_state != Connected)
        return fail(socketError(SocketFault::NotConnected));
    // Qt ignores SIGPIPE before its first socket write, for the whole process: a client gone
    // mid-reply costs an error here, never the simulator.
    if (m_client->write(data) < 0)
        return fail(socketError(m_client->error()));
    // Out now rather than at the event loop's next turn, after whatever else is pending there.
    m_client->flush();
    if (m_client->bytesToWrite() > ReplyBacklogLimit) {
        discard(m_client);
        m_state = Closing;
        return fail(socketError(SocketFault::ReplyBacklog));
    }
    return true;
}

bool QuerySocket::listenOnNewSocket() {
    return m_server.listen(m_bindAddress, quint16(m_localPort)) ||
           fail(socketError(m_server.serverError()));
}

bool QuerySocket::listenOnBoundSocket() {
    const int fd = m_bound.descriptor;
    if (fd < 0)
        return fail(m_bound.error);
    if (::listen(fd, ListenBacklog) != 0)
        return fail(systemSocketError(errno));
    m_boundListening = true;
    // QTcpServer closes the descriptor it is given; the bound one must outlive it.
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0 && m_server.setSocketDescriptor(copy))
        return true;
    if (copy >= 0)
        ::close(copy);
    ::shutdown(fd, SHUT_RD);
    m_boundListening = false;
    return fail(socketError(QAbstractSocket::SocketResourceError));
}

void QuerySocket::takeConnection() {
    // QTcpServer::close() deletes the connections it still holds, and the request handler
    // closes the listener before it accepts: take the client out of the server's hands first.
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        socket->setReadBufferSize(ArrivalLimit);
        m_request = socket;
        // Like a Windows Sockets request id, the id is the new connection's handle.
        if (m_state == Listening)
            Q_EMIT connectionRequest(qint32(socket->socketDescriptor()));
        discard(m_request); // not accepted: turned away
    }
}

void QuerySocket::stopAccepting() {
    // The listener can take no more clients (out of descriptors, say): treat it like a client
    // leaving, so the next poll listens afresh instead of staying deaf.
    m_server.close();
    m_state = Closing;
}

void QuerySocket::readArrival() {
    const qint64 waiting = m_client ? m_client->bytesAvailable() : 0;
    if (waiting > 0)
        Q_EMIT dataArrival(qint32(qMin<qint64>(waiting, std::numeric_limits<qint32>::max())));
}

void QuerySocket::peerGone() {
    // A reset or any other failure of the connection counts as the client leaving: the next
    // poll listens again. Treating it as Error would leave the listener down for good.
    if (m_state == Connected)
        m_state = Closing;
}

bool QuerySocket::fail(OperationError error) {
    m_lastError = std::move(error);
    return false;
}

void QuerySocket::discard(QTcpSocket *&socket) {
    if (!socket)
        return;
    socket->disconnect(this);
    socket->abort();
    // Possibly inside one of its own signals: delete on return to the event loop.
    socket->deleteLater();
    socket = nullptr;
}

} // namespace kolva
