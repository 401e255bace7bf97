#pragma once

#include "net/connection.h"
#include "net/hostmap.h"
#include "net/tlspolicy.h"

#include <QAbstractSocket>
#include <QSslConfiguration>
#include <QSslError>

QT_BEGIN_NAMESPACE
class QSslSocket;
QT_END_NAMESPACE

namespace mosscatch {

// A Connection over QSslSocket, encrypted where the target asks for it. Host
// names go through the HostMap first; TLS still checks the certificate
// against (and sends as SNI) the name the target gives, not the mapped address.
// The socket's signals reach this object queued and tagged with the connect
// attempt they belong to, so no event is ever raised inside connectTo(),
// close() or sendData(), and nothing from an abandoned attempt leaks out.
class TcpConnection : public Connection
{
    Q_OBJECT

public:
    explicit TcpConnection(HostMap hostMap,
                           const QSslConfiguration &tls = QSslConfiguration::defaultConfiguration(),
                           QObject *parent = nullptr);
    ~TcpConnection() override;

    // Makes connections that resolve host names through hostMap.
    static ConnectionFactory factory(const HostMap &hostMap, const TlsPolicy &tls = {});

    void close() override;
    void connectTo(const ConnectionTarget &target) override;
    void sendData(const QByteArray &bytes) override;
    void getData(QByteArray &into) override;
    SocketState state() const override { return m_state; }
    QString failure() const override { return m_failure; }

private:
    void dropSocket();
    void listenToSocket();
    bool isConnecting() const;
    bool readAvailable();

    void onSocketStateChanged(QAbstractSocket::SocketState socketState);
    void onSocketConnected();
    void onSocketEncrypted();
    void onSslErrors(const QList<QSslError> &errors);
    void onSocketReadyRead();
    void onSocketDisconnected();
    void onSocketError(QAbstractSocket::SocketError error);

    const HostMap m_hostMap;
    QSslSocket *const m_socket;
    ConnectionTarget m_target;
    QByteArray m_received;
    SocketState m_state = SocketState::Closed;
    QString m_failure;
    QString m_certificateProblem;
    int m_closeReports = 0;
    quint64 m_attempt = 0;
};

}
