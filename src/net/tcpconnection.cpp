#include "net/tcpconnection.h"

#include "common/text.h"

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
    case QAbstractSocket::ProxyConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::ProxyNotFoundError:
        return QStringLiteral("host not found");
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return QStringLiteral("connection timed out");
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::ProxyConnectionClosedError:
        return QStringLiteral("connection closed by %1").arg(host);
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return QStringLiteral("user name or password refused");
    case QAbstractSocket::ProxyProtocolError:
        return QStringLiteral("SOCKS5 protocol error");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("network unreachable");
    case QAbstractSocket::SslHandshakeFailedError:
        return QStringLiteral("TLS handshake with %1 failed").arg(host);
    default:
        return QStringLiteral("connection to %1 failed").arg(host);
    }
}

// An answer's status ("407 Proxy Authentication Required") from its first
// line, shown on one line; empty when that is no HTTP status line.
QString statusOf(const QByteArray &answer)
{
    const QByteArray line = answer.left(answer.indexOf('\n')).trimmed();
    const qsizetype space = line.indexOf(' ');
    if (!line.startsWith("HTTP/") || space < 0)
        return {};
    return escapedControls(QString::fromLatin1(line.mid(space + 1).left(200)));
}

bool isStatus(const QString &status, QLatin1Char firstDigit)
{
    return status.size() >= 3 && status.front() == firstDigit
           && (status.size() == 3 || status.at(3) == u' ');
}

// More than any proxy's answer to CONNECT holds.
constexpr qsizetype MaxTunnelAnswer = 16 * 1024;
// "HTTP/1.1 407": enough of an answer to know whose it is.
constexpr qsizetype StatusLineStart = 12;

}

TcpConnection::TcpConnection(HostMap hostMap, const QSslConfiguration &tls, ProxyRoute proxies,
                             QObject *parent)
    : Connection(parent),
      m_hostMap(std::move(hostMap)),
      m_proxies(std::move(proxies)),
      m_socket(new QSslSocket(this))
{
    m_socket->setSslConfiguration(tls);
}

ConnectionFactory TcpConnection::factory(const HostMap &hostMap, const TlsPolicy &tls,
                                         const ProxyRoute &proxies)
{
    return [hostMap, configuration = tls.configuration(), proxies](QObject *parent) {
        return new TcpConnection(hostMap, configuration, proxies, parent);
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
    m_proxy.reset();
    m_awaitingTunnel = false;
    m_tunnelUp = false;
    m_awaitingAnswer = false;
    m_failure.clear();
    m_certificateProblem.clear();
    m_closeReports = 0;
}

void TcpConnection::connectTo(const ConnectionTarget &target)
{
    close();
    m_target = target;
    m_proxy = m_proxies.proxyFor(target);
    const QString host = QString::fromLatin1(target.host);
    const HostMap::Endpoint endpoint = m_proxy && m_proxy->resolvesNames()
                                               ? HostMap::Endpoint{host, target.port}
                                               : m_hostMap.resolve(host, target.port);
    m_state = SocketState::ResolvingHost;
    listenToSocket();
    // Set each time, so that Qt's application proxy never applies.
    m_socket->setProxy(socketProxy());
    if (m_proxy && m_proxy->kind() == ProxyAddress::Kind::Http)
        m_socket->connectToHost(m_proxy->host(), m_proxy->port());
    else if (target.isEncrypted())
        m_socket->connectToHostEncrypted(endpoint.address, endpoint.port, host);
    else
        m_socket->connectToHost(endpoint.address, endpoint.port);
}

QNetworkProxy TcpConnection::socketProxy() const
{
    if (!m_proxy || m_proxy->kind() == ProxyAddress::Kind::Http)
        return QNetworkProxy::NoProxy;
    QNetworkProxy proxy(QNetworkProxy::Socks5Proxy, m_proxy->host(), m_proxy->port(),
                        m_proxy->user(), m_proxy->password());
    // Without the lookup capability Qt resolves the name here and sends the address.
    proxy.setCapabilities(m_proxy->resolvesNames()
                                  ? QNetworkProxy::TunnelingCapability
                                            | QNetworkProxy::HostNameLookupCapability
                                  : QNetworkProxy::TunnelingCapability);
    return proxy;
}

bool TcpConnection::forwardsToProxy() const
{
    return m_proxy && m_proxy->kind() == ProxyAddress::Kind::Http && !m_target.isEncrypted();
}

QByteArray TcpConnection::requestPrefix() const
{
    return forwardsToProxy() ? "http://" + m_target.authority() : QByteArray();
}

QByteArray TcpConnection::proxyAuthorization() const
{
    return forwardsToProxy() ? m_proxy->basicCredentials() : QByteArray();
}

void TcpConnection::sendData(const QByteArray &bytes)
{
    if (m_state != SocketState::Connected)
        return;
    m_awaitingAnswer = forwardsToProxy();
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
    if (!isConnecting())
        return;
    if (m_proxy && m_proxy->kind() == ProxyAddress::Kind::Http && m_target.isEncrypted()) {
        askForTunnel();
        return;
    }
    if (m_target.isEncrypted())
        return;
    m_state = SocketState::Connected;
    emit connected();
}

void TcpConnection::askForTunnel()
{
    // Nothing but a host name may go into the request's lines.
    if (holdsControlCharacter(m_target.host) || m_target.host.contains(' ')) {
        failOpen(QStringLiteral("no host name: %1")
                         .arg(escapedControls(QString::fromLatin1(m_target.host))));
        return;
    }
    const QByteArray authority = m_target.host + ':' + QByteArray::number(m_target.port);
    QByteArray request = "CONNECT " + authority + " HTTP/1.1\r\nHost: " + authority + "\r\n";
    if (const QByteArray credentials = m_proxy->basicCredentials(); !credentials.isEmpty())
        request += "Proxy-Authorization: " + credentials + "\r\n";
    m_awaitingTunnel = true;
    m_socket->write(request + "\r\n");
}

// The answer is taken up to its blank line and no further: what follows is the
// origin's TLS.
void TcpConnection::readTunnelAnswer()
{
    const QByteArray seen
            = m_socket->peek(qMin<qint64>(m_socket->bytesAvailable(), MaxTunnelAnswer + 1));
    qsizetype end = seen.indexOf("\r\n\r\n");
    end = end < 0 ? seen.indexOf("\n\n") : end;
    const QString proxy = QStringLiteral("proxy %1").arg(m_proxy->display());
    if (end < 0) {
        if (seen.size() > MaxTunnelAnswer)
            failOpen(proxy + QStringLiteral(" answered CONNECT with more than 16 KiB"));
        return;
    }
    m_socket->skip(end + (seen.at(end) == '\r' ? 4 : 2));
    m_awaitingTunnel = false;
    const QString status = statusOf(seen);
    if (!isStatus(status, QLatin1Char('2'))) {
        failOpen(proxy + QStringLiteral(" refused CONNECT: ")
                 + (status.isEmpty() ? QStringLiteral("no HTTP answer") : status));
        return;
    }
    m_tunnelUp = true;
    m_socket->setPeerVerifyName(QString::fromLatin1(m_target.host));
    m_socket->startClientEncryption();
}

void TcpConnection::failOpen(const QString &reason)
{
    dropSocket();
    m_state = SocketState::Error;
    m_failure = reason;
    emit openFailed(reason);
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
    if (m_awaitingTunnel && isConnecting())
        readTunnelAnswer();
    else if (m_state == SocketState::Connected && readAvailable() && !heldForProxyAnswer())
        emit dataArrival();
}

// Only a proxy answers 407, and its refusal is no answer of the origin's: the
// attempt fails for it, as a cut connection does, naming the proxy. Until its
// status line is in, an answer is not passed on.
bool TcpConnection::heldForProxyAnswer()
{
    if (!m_awaitingAnswer)
        return false;
    if (m_received.size() < StatusLineStart && !m_received.contains('\n'))
        return true;
    m_awaitingAnswer = false;
    const QString status = statusOf(m_received);
    if (!status.startsWith(QLatin1String("407")))
        return false;
    dropSocket();
    m_received.resize(0);
    m_state = SocketState::Error;
    m_failure = QStringLiteral("proxy %1 refused the request: %2").arg(m_proxy->display(), status);
    emit peerClosed();
    return true;
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
    // An answer held back until its status line was in goes out now.
    const bool held = std::exchange(m_awaitingAnswer, false) && !m_received.isEmpty();
    if (readAvailable() || held) {
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
    // Before the tunnel is up, and anything SOCKS says, is the proxy's doing.
    const bool proxyFailed = m_proxy && error != QAbstractSocket::SslHandshakeFailedError
                             && (m_proxy->kind() != ProxyAddress::Kind::Http || !m_tunnelUp);
    if (!m_certificateProblem.isEmpty())
        m_failure = m_certificateProblem;
    else if (proxyFailed)
        m_failure = QStringLiteral("proxy %1: %2")
                            .arg(m_proxy->display(), failureWords(error, m_proxy->host()));
    else
        m_failure = failureWords(error, QString::fromLatin1(m_target.host));
    // A copy: whoever hears this may close the connection, which clears m_failure.
    const QString reason = m_failure;
    if (m_certificateProblem.isEmpty())
        emit openFailed(reason);
    else
        emit untrusted(reason);
}

}
