#pragma once

#include "net/connection.h"

#include <QByteArrayList>

namespace mosscatch {

// A connection whose peer is the test: it records what the engine sends and
// delivers chunks and events only when the test says so.
class ScriptedConnection : public Connection
{
    Q_OBJECT

public:
    explicit ScriptedConnection(QObject *parent = nullptr);

    // Makes scripted connections, for an engine whose peers are the test.
    static ConnectionFactory factory();

    void close() override;
    void connectToHost(const QByteArray &host, quint16 port) override;
    void sendData(const QByteArray &bytes) override;
    void getData(QByteArray &into) override;
    SocketState state() const override { return m_state; }

    // Test side.
    void setState(SocketState state) { m_state = state; }
    // Completes a pending connect: state Connected, then the connected() event.
    void acceptConnection();
    // Makes bytes available and raises dataArrival.
    void deliver(const QByteArray &bytes);
    // The peer closes: state Closing, then peerClosed().
    void closeFromPeer();
    // The peer resets the connection: state Error, then peerClosed().
    void resetFromPeer();

    QByteArray host() const { return m_host; }
    quint16 port() const { return m_port; }
    int connectCount() const { return m_connectCount; }
    int closeCount() const { return m_closeCount; }
    const QByteArrayList &sent() const { return m_sent; }

private:
    SocketState m_state = SocketState::Closed;
    QByteArray m_host;
    quint16 m_port = 0;
    QByteArray m_pending;
    QByteArrayList m_sent;
    int m_connectCount = 0;
    int m_closeCount = 0;
};

}
