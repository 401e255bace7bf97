#include "net/tcpconnection.h"

#include <QPointer>
#include <QSslConfiguration>
#include <QSslSocket>

namespace mosscatch {

namespace {

QString certificateWords(const QSslError &error, const QString &host)
{
    const QString certificate = QStringLiteral("certificate for %1 ").arg(host);
    switch (error.error()) {
    case QSslError::CertificateExpired:
        return certificate + QStringLiteral("has expired");
    case QSslError::CertificateNotYetValid:
        return certificate + QStringLiteral("is not valid yet");
    case QSslError::SelfSignedCertificate:
        return certificate + QStringLiteral("is self-signed");
    case QSslError::HostNameMismatch:
        return certificate + QStringLiteral("is made out to another name");
    case QSslError::CertificateRevoked:
        return certificate + QStringLiteral("has been revoked");
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::CertificateUntrusted:
        return certificate + QStringLiteral("is signed by an unknown issuer");
    default:
        return certificate + QStringLiteral("is not trusted: ") + error.errorString();
    }
}

QString failureWords(QAbstractSocket::SocketError error, const QString &host)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("host not found");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("connection timed out");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("connection closed by %1").arg(host);
    case QAbstractSocket::NetworkError:
        return QStringLiteral("network unreachable");
    case QAbstractSocket::SslHandshakeFailedError:
        return QStringLiteral("TLS handshake with %1 failed").arg(host);
    default:
        return QStringLiteral("connection to %1 failed").arg(host);
    }
}

}

TcpConnection::TcpConnection(HostMap hostMap, const QSslConfiguration &tls, QObject *parent)
    : Connection(parent), m_hostMap(std::move(hostMap)), m_socket(new QSslSocket(this))
{
    m_socket->setSslConfiguration(tls);
}

ConnectionFactory TcpConnection::factory(const HostMap &hostMap, const TlsPolicy &tls)
{
    return [hostMap, configuration = tls.configuration()](QObject *parent) {
        return new TcpConnection(hostMap, configuration, parent);
    };
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
    m_failure.clear();
    m_certificateProblem.clear();
    m_closeReports = 0;
}

void TcpConnection::connectTo(const ConnectionTarget &target)
{
    close();
    m_target = target;
    const QString host = QString::fromLatin1(target.host);
    const HostMap::Endpoint endpoint = m_hostMap.resolve(host, target.port);
    m_state = SocketState::ResolvingHost;
    listenToSocket();
    if (target.isEncrypted())
        m_socket->connectToHostEncrypted(endpoint.address, endpoint.port, host);
    else
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
    const auto forThisAttempt = [this, attempt](auto handler) {
        return [this, attempt, handler](auto... arguments) {
            if (attempt == m_attempt)
                (this->*handler)(arguments...);
        };
    };
    const auto queued = Qt::QueuedConnection;
    connect(m_socket, &QAbstractSocket::stateChanged, this,
            forThisAttempt(&TcpConnection::onSocketStateChanged), queued);
    connect(m_socket, &QAbstractSocket::connected, this,
            forThisAttempt(&TcpConnection::onSocketConnected), queued);
    connect(m_socket, &QSslSocket::encrypted, this,
            forThisAttempt(&TcpConnection::onSocketEncrypted), queued);
    // Unignored errors fail the handshake; they are only noted for their
    // words here, which raises nothing, so this one handler runs at once.
    connect(m_socket, &QSslSocket::sslErrors, this, forThisAttempt(&TcpConnection::onSslErrors));
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
    if (!isConnecting() || m_target.isEncrypted())
        return;
    m_state = SocketState::Connected;
    emit connected();
}

void TcpConnection::onSocketEncrypted()
{
    if (!isConnecting())
        return;
    m_state = SocketState::Connected;
    emit connected();
}

void TcpConnection::onSslErrors(const QList<QSslError> &errors)
{
    if (!errors.isEmpty())
        m_certificateProblem = certificateWords(errors.first(), QString::fromLatin1(m_target.host));
}

void TcpConnection::onSocketReadyRead()
{
    if (m_state == SocketState::Connected && readAvailable())
        emit dataArrival();
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
        emit dataArrival();
        if (!alive || attempt != m_attempt)
            return;
    }
    // Under TLS only the peer's close_notify ends the stream; a bare TCP close
    // may be an attacker's cut. Qt reports that close_notify as a close of its
    // own, ahead of the socket's.
    const bool orderly = !m_target.isEncrypted() || m_closeReports >= 2;
    m_state = orderly ? SocketState::Closing : SocketState::Error;
    if (!orderly)
        m_failure = QStringLiteral("TLS connection to %1 cut without close_notify")
                            .arg(QString::fromLatin1(m_target.host));
    emit peerClosed();
}

// Errors of an established connection end in disconnected(); only a failed
// attempt is an error here.
void TcpConnection::onSocketError(QAbstractSocket::SocketError error)
{
    if (m_state == SocketState::Connected && error == QAbstractSocket::RemoteHostClosedError)
        ++m_closeReports;
    if (!isConnecting())
        return;
    m_state = SocketState::Error;
    m_failure = m_certificateProblem.isEmpty()
                        ? failureWords(error, QString::fromLatin1(m_target.host))
                        : m_certificateProblem;
    // A copy: whoever hears this may close the connection, which clears m_failure.
    const QString reason = m_failure;
    if (m_certificateProblem.isEmpty())
        emit openFailed(reason);
    else
        emit untrusted(reason);
}

}
