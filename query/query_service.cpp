#include "query_service.h"

#include "query_rules.h"
#include "query_socket.h"
#include "socket_error.h"
#include "units/number_text.h"

#include <cmath>
#include <iterator>
#include <limits>

namespace kolva {

std::optional<qint32> portFromText(const QString &text) {
    // nearbyint in the default rounding mode sends halves to the even neighbour.
    const double rounded = std::nearbyint(leadingNumber(text));
    if (rounded < std::numeric_limits<qint32>::min() ||
        rounded > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(rounded);
}

QueryService::QueryService(const ResponseTable &table, QueryConsole &console,
                           const QHostAddress &bindAddress, const BoundPort &bound, QObject *parent)
    : QObject(parent)
    , m_table(table)
    , m_console(console)
    , m_socket(new QuerySocket(bindAddress, bound, this)) {
    connect(m_socket, &QuerySocket::connectionRequest, this, &QueryService::takeClient);
    connect(m_socket, &QuerySocket::dataArrival, this, &QueryService::answerArrival);
}

QueryService::~QueryService() = default;

bool QueryService::startListening() {
    m_console.setPortMarker(false);
    return listenOnPortText();
}

void QueryService::close() { m_socket->close(); }

bool QueryService::restart() {
    m_socket->close();
    if (!listenOnPortText())
        return false;
    m_console.setPortMarker(false);
    return true;
}

void QueryService::portEdited() { m_console.setPortMarker(true); }

void QueryService::pollStatus() {
    const int state = m_socket->state();
    if (state == QuerySocket::Closing || m_relistenDue)
        listenAgain();
    m_console.showStatus(state >= 0 && state < int(std::size(QuerySocket::StateTexts))
                             ? QString::fromLatin1(QuerySocket::StateTexts[state])
                             : QStringLiteral("Logic Error"));
}

void QueryService::takeClient(qint32 requestId) {
    if (m_socket->state() != QuerySocket::Closed)
        m_socket->close();
    // Cannot fail for the request being handled; should it ever, the next poll listens again.
    if (!m_socket->accept(requestId))
        m_relistenDue = true;
}

void QueryService::answerArrival() {
    m_console.showQuery(QString());
    const QueryAnswer answer = answerQuery(m_socket->getData(), m_table);
    // A client gone before its reply costs nothing: its state is Closing and the next poll
    // listens again, so a failed send needs no handling here.
    m_socket->sendData(answer.reply);
    m_console.showReply(answer.record);
    m_console.showQuery(answer.query);
}

bool QueryService::listenOnPortText() {
    // The operator's restart or the start-up decides from here on, not the poll's retries.
    m_relistenDue = false;
    const std::optional<qint32> port = portFromText(m_console.portText());
    if (!port) {
        m_lastError = socketError(SocketFault::PortOverflow);
        return false;
    }
    if (m_socket->setLocalPort(*port) && m_socket->listen())
        return true;
    m_lastError = m_socket->lastError();
    return false;
}

void QueryService::listenAgain() {
    // On the port last set, never a newer port text. Should another program have taken the
    // port meanwhile, keep trying at each poll rather than leave the simulator off the network.
    m_socket->close();
    m_relistenDue = !m_socket->listen();
}

} // namespace kolva
