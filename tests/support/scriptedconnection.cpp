#include "scriptedconnection.h"

namespace mosscatch {

ScriptedConnection::ScriptedConnection(QObject *parent) : Connection(parent)
{
}

ConnectionFactory ScriptedConnection::factory()
{
    return [](QObject *parent) { return new ScriptedConnection(parent); };
}

void ScriptedConnection::close()
{
    m_state = SocketState::Closed;
    m_pending.clear();
    ++m_closeCount;
}

void ScriptedConnection::connectToHost(const QByteArray &host, quint16 port)
{
    m_host = host;
    m_port = port;
    m_state = SocketState::Connecting;
    ++m_connectCount;
}

void ScriptedConnection::sendData(const QByteArray &bytes)
{
    m_sent.append(bytes);
}

void ScriptedConnection::getData(QByteArray &into)
{
    into = m_pending;
    m_pending.clear();
}

void ScriptedConnection::acceptConnection()
{
    m_state = SocketState::Connected;
    emit connected();
}

void ScriptedConnection::deliver(const QByteArray &bytes)
{
    m_pending.append(bytes);
    emit dataArrival(m_pending.size());
}

void ScriptedConnection::closeFromPeer()
{
    m_state = SocketState::Closing;
    emit peerClosed();
}

}

namespace mosscatch {

void ScriptedConnection::resetFromPeer()
{
    m_state = SocketState::Error;
    emit peerClosed();
}

}
