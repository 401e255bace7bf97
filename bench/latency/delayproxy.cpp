#include "delayproxy.h"

#include <QTcpSocket>

namespace mosscatch {

DelayProxy::DelayProxy(quint16 upstreamPort, int roundTripMs, QObject *parent)
    : QObject(parent), m_upstreamPort(upstreamPort), m_roundTripMs(roundTripMs)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DelayProxy::accept);
    m_server.listen(QHostAddress::LocalHost);
}

// A connection still open here (one kept alive past the harvest's end) says
// disconnected while its socket is torn down; no pipe may read it by then.
DelayProxy::~DelayProxy()
{
    for (QTcpSocket *socket : m_server.findChildren<QTcpSocket *>())
        socket->disconnect();
}

void DelayProxy::accept()
{
    while (QTcpSocket *client = m_server.nextPendingConnection()) {
        auto *upstream = new QTcpSocket(client);
        upstream->connectToHost(QHostAddress::LocalHost, m_upstreamPort);
        const int half = m_roundTripMs / 2;
        new DelayedPipe(client, upstream, half, m_roundTripMs, client);
        new DelayedPipe(upstream, client, half, 0, client);
        // Once the client is gone, nothing is relayed any more: both sockets go
        // quiet first, so tearing them down calls no pipe.
        connect(client, &QTcpSocket::disconnected, client, [client, upstream] {
            upstream->disconnect();
            client->disconnect();
            client->deleteLater();
        });
    }
}

DelayedPipe::DelayedPipe(QTcpSocket *from, QTcpSocket *to, int delayMs, int handshakeMs,
                         QObject *parent)
    : QObject(parent), m_from(from), m_to(to), m_delayMs(delayMs), m_handshakeEndMs(handshakeMs)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DelayedPipe::deliver);
    connect(from, &QTcpSocket::readyRead, this, &DelayedPipe::read);
    connect(from, &QTcpSocket::disconnected, this, [this] {
        read();
        m_closeAfterDelivery = true;
        schedule();
    });
}

void DelayedPipe::read()
{
    const QByteArray bytes = m_from->readAll();
    if (bytes.isEmpty())
        return;
    // Nothing passes before the handshake is over, however early it was sent;
    // a connection opened well ahead of its first request waits no longer.
    m_pieces.push_back({std::max(m_clock.elapsed(), m_handshakeEndMs) + m_delayMs, bytes});
    schedule();
}

void DelayedPipe::schedule()
{
    if (m_pieces.empty()) {
        if (m_closeAfterDelivery)
            deliver();
        return;
    }
    if (!m_timer.isActive())
        m_timer.start(int(std::max<qint64>(0, m_pieces.front().due - m_clock.elapsed())));
}

// Upstream may still be connecting: QTcpSocket keeps what is written until then.
void DelayedPipe::deliver()
{
    const qint64 now = m_clock.elapsed();
    while (!m_pieces.empty() && m_pieces.front().due <= now) {
        m_to->write(m_pieces.front().bytes);
        m_pieces.pop_front();
    }
    if (m_pieces.empty() && m_closeAfterDelivery) {
        m_to->disconnectFromHost();
        return;
    }
    schedule();
}

}
