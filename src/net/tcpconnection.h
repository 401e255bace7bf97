#pragma once

#include "net/connection.h"
#include "net/hostmap.h"
#include "net/proxyroute.h"
#include "net/tlspolicy.h"

#include <QAbstractSocket>
#include <QNetworkProxy>
#include <QSslConfiguration>
#include <QSslError>

QT_BEGIN_NAMESPACE
class QSslSocket;
QT_END_NAMESPACE

namespace mosscatch {

// A Connection over QSslSocket, encrypted where the target asks for it. Host
// names go through the HostMap first; TLS still checks the certificate
// against (and sends as SNI) the name the target gives, not the mapped address.
// Through a proxy: an HTTP proxy is given plain requests in absolute form, and
// TLS goes through the tunnel its CONNECT opens; a SOCKS5 proxy is Qt's. Either
// way the connection is up only once the tunnel and TLS to the origin are, and
// a proxy that fails or refuses fails the attempt with a reason naming it.
// The socket's signals reach this object queued and tagged with the connect
// attempt they belong to, so no event is ever raised inside connectTo(),
// close() or sendData(), and nothing from an abandoned attempt leaks out.
class TcpConnection : public Connection
{
    Q_OBJECT

public:
    explicit TcpConnection(HostMap hostMap,
                           const QSslConfiguration &tls = QSslConfiguration::defaultConfiguration(),
                           ProxyRoute proxies = {}, QObject *parent = nullptr);
    ~TcpConnection() override;

    // Makes connections that resolve host names through hostMap, where they
    // do not go to a proxy that resolves them.
    static ConnectionFactory factory(const HostMap &hostMap, const TlsPolicy &tls = {},
                                     const ProxyRoute &proxies = {});

    void close() override;
    void connectTo(const ConnectionTarget &target) override;
    void sendData(const QByteArray &bytes) override;
    void getData(QByteArray &into) override;
    SocketState state() const override { return m_state; }
    QString failure() const override { return m_failure; }
    QByteArray requestPrefix() const override;
    QByteArray proxyAuthorization() const override;

private:
    void dropSocket();
    void listenToSocket();
    bool isConnecting() const;
    bool readAvailable();
    bool forwardsToProxy() const;
    QNetworkProxy socketProxy() const;
    void askForTunnel();
    void readTunnelAnswer();
    bool heldForProxyAnswer();
    void failOpen(const QString &reason);

    void onSocketStateChanged(QAbstractSocket::SocketState socketState);
    void onSocketConnected();
    void onSocketEncrypted();
    void onSslErrors(const QList<QSslError> &errors);
    void onSocketReadyRead();
    void onSocketDisconnected();
    void onSocketError(QAbstractSocket::SocketError error);

    const HostMap m_hostMap;
    const ProxyRoute m_proxies;
    QSslSocket *const m_socket;
    ConnectionTarget m_target;
    std::optional<ProxyAddress> m_proxy;
    // A CONNECT went out and its answer is not all in yet.
    bool m_awaitingTunnel = false;
    bool m_tunnelUp = false;
    // A forwarded request went out and its answer's status is not read yet.
    bool m_awaitingAnswer = false;
    QByteArray m_received;
    SocketState m_state = SocketState::Closed;
    QString m_failure;
    QString m_certificateProblem;
    int m_closeReports = 0;
    quint64 m_attempt = 0;
};

}
