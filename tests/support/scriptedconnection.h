#pragma once

#include "net/connection.h"

#include <QByteArrayList>

#include <utility>

namespace mosscatch {

// A connection whose peer is the test: it records what the engine sends and
// delivers chunks and events only when the test says so.
class ScriptedConnection : public Connection
{
    Q_OBJECT

public:
    using Connection::Connection;

    // Makes scripted connections, for an engine whose peers are the test.
    static ConnectionFactory factory()
    {
        return [](QObject *parent) { return new ScriptedConnection(parent); };
    }

    void close() override
    {
        m_state = SocketState::Closed;
        m_pending.clear();
        m_failure.clear();
    }
    void connectTo(const ConnectionTarget &target) override
    {
        m_target = target;
        m_state = SocketState::Connecting;
        ++m_connectCount;
    }
    void sendData(const QByteArray &bytes) override { m_sent.append(bytes); }
    void getData(QByteArray &into) override { into = std::exchange(m_pending, {}); }
    SocketState state() const override { return m_state; }
    QString failure() const override { return m_failure; }

    // Test side.
    void setState(SocketState state) { m_state = state; }
    // Completes a pending connect: state Connected, then the connected() event.
    void acceptConnection()
    {
        m_state = SocketState::Connected;
        emit connected();
    }
    // The connection could not be opened: state Error, then openFailed() or untrusted().
    void refuseConnection(const QString &reason, bool certificate = false)
    {
        m_state = SocketState::Error;
        m_failure = reason;
        if (certificate)
            emit untrusted(reason);
        else
            emit openFailed(reason);
    }
    // Makes bytes available and raises dataArrival.
    void deliver(const QByteArray &bytes)
    {
        m_pending.append(bytes);
        emit dataArrival();
    }
    // The peer closes (state Closing) or resets the connection (state Error).
    void closeFromPeer()
    {
        m_state = SocketState::Closing;
        emit peerClosed();
    }
    void resetFromPeer()
    {
        m_state = SocketState::Error;
        emit peerClosed();
    }

    QByteArray host() const { return m_target.host; }
    ConnectionTarget target() const { return m_target; }
    int connectCount() const { return m_connectCount; }
    const QByteArrayList &sent() const { return m_sent; }

private:
    SocketState m_state = SocketState::Closed;
    QString m_failure;
    ConnectionTarget m_target;
    QByteArray m_pending;
    QByteArrayList m_sent;
    int m_connectCount = 0;
};

}
