#pragma once

#include "net/connection.h"
#include "net/hostmap.h"

#include <QAbstractSocket>

QT_BEGIN_NAMESPACE
class QTcpSocket;
QT_END_NAMESPACE

namespace mosscatch {

// A Connection over QTcpSocket. Host names go through the HostMap first.
// The socket's signals reach this object queued and tagged with the connect
// attempt they belong to, so no event is ever raised inside connectToHost(),
// close() or sendData(), and nothing from an abandoned attempt leaks out.
class TcpConnection : public Connection
{
    Q_OBJECT

public:
    explicit TcpConnection(HostMap hostMap, QObject *parent = nullptr);
    ~TcpConnection() override;

    // Makes connections that resolve host names through hostMap.
    static ConnectionFactory factory(const HostMap &hostMap);

    void close() override;
    void connectToHost(const QByteArray &host, quint16 port) override;
    void sendData(const QByteArray &bytes) override;
    void getData(QByteArray &into) override;
    SocketState state() const override { return m_state; }

private:
    void dropSocket();
    void listenToSocket();
    bool isConnecting() const;
    bool readAvailable();

    void onSocketStateChanged(QAbstractSocket::SocketState socketState);
    void onSocketConnected();
    void onSocketReadyRead();
    void onSocketDisconnected();
    void onSocketError();

    const HostMap m_hostMap;
    QTcpSocket *const m_socket;
    QByteArray m_received;
    SocketState m_state = SocketState::Closed;
    quint64 m_attempt = 0;
};

}
