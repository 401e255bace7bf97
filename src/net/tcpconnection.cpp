#include "net/tcpconnection.h"

#include <QPointer>
#include <QTcpSocket>

namespace mosscatch {

TcpConnection::TcpConnection(HostMap hostMap, QObject *parent)
    : Connection(parent), m_hostMap(std::move(hostMap)), m_socket(new QTcpSocket(this))
{
}

ConnectionFactory TcpConnection::factory(const HostMap &hostMap)
{
    return [hostMap](QObject *parent) { return new TcpConnection(hostMap, parent); };
}

TcpConnection::~TcpConnection()
{
    dropSocket();
}

void TcpConnection::close()
{
    dropSocket();
    m_received.resize(0);
    m_state = SocketState::Closed;
}

void TcpConnection::connectToHost(const QByteArray &host, quint16 port)
{
    close();
    const HostMap::Endpoint endpoint = m_hostMap.resolve(QString::fromLatin1(host), port);
    m_state = SocketState::ResolvingHost;
    listenToSocket();
    m_socket->connectToHost(endpoint.address, endpoint.port);
}

void TcpConnection::sendData(const QByteArray &bytes)
{
    if (m_state == SocketState::Connected)
        m_socket->write(bytes);
}

void TcpConnection::getData(QByteArray &into)
{
    into.swap(m_received);
    m_received.resize(0);
}

void TcpConnection::dropSocket()
{
    m_socket->disconnect(this);
    m_socket->abort();
    ++m_attempt;
}

void TcpConnection::listenToSocket()
{
    // Events still queued from a dropped socket belong to an earlier attempt.
    const quint64 attempt = m_attempt;
    const auto forThisAttempt = [this, attempt](void (TcpConnection::*handler)()) {
        return [this, attempt, handler] {
            if (attempt == m_attempt)
                (this->*handler)();
        };
    };
    const auto queued = Qt::QueuedConnection;
    connect(
            m_socket, &QAbstractSocket::stateChanged, this,
            [this, attempt](QAbstractSocket::SocketState socketState) {
                if (attempt == m_attempt)
                    onSocketStateChanged(socketState);
            },
            queued);
    connect(m_socket, &QAbstractSocket::connected, this,
            forThisAttempt(&TcpConnection::onSocketConnected), queued);
    connect(m_socket, &QIODevice::readyRead, this,
            forThisAttempt(&TcpConnection::onSocketReadyRead), queued);
    connect(m_socket, &QAbstractSocket::disconnected, this,
            forThisAttempt(&TcpConnection::onSocketDisconnected), queued);
    connect(m_socket, &QAbstractSocket::errorOccurred, this,
            forThisAttempt(&TcpConnection::onSocketError), queued);
}

bool TcpConnection::isConnecting() const
{
    return m_state == SocketState::ResolvingHost || m_state == SocketState::Connecting;
}

bool TcpConnection::readAvailable()
{
    const qint64 available = m_socket->bytesAvailable();
    if (available <= 0)
        return false;
    const qsizetype before = m_received.size();
    m_received.resize(before + available);
    const qint64 got = m_socket->read(m_received.data() + before, available);
    m_received.resize(before + qMax<qint64>(got, 0));
    return got > 0;
}

void TcpConnection::onSocketStateChanged(QAbstractSocket::SocketState socketState)
{
    if (!isConnecting())
        return;
    if (socketState == QAbstractSocket::HostLookupState)
        m_state = SocketState::ResolvingHost;
    else if (socketState == QAbstractSocket::ConnectingState)
        m_state = SocketState::Connecting;
}

void TcpConnection::onSocketConnected()
{
    if (!isConnecting())
        return;
    m_state = SocketState::Connected;
    emit connected();
}

void TcpConnection::onSocketReadyRead()
{
    if (m_state == SocketState::Connected && readAvailable())
        emit dataArrival(m_received.size());
}

// Whatever the peer sent last is announced before the close, and stays
// fetchable until close(). The handler of that last arrival may close,
// reconnect or even delete this connection.
void TcpConnection::onSocketDisconnected()
{
    if (m_state != SocketState::Connected)
        return;
    const QPointer<TcpConnection> alive(this);
    const quint64 attempt = m_attempt;
    if (readAvailable()) {
        emit dataArrival(m_received.size());
        if (!alive || attempt != m_attempt)
            return;
    }
    m_state = SocketState::Closing;
    emit peerClosed();
}

// Errors of an established connection end in disconnected(); only a failed
// attempt is an error here.
void TcpConnection::onSocketError()
{
    if (isConnecting())
        m_state = SocketState::Error;
}

}
