#include "net/tcpconnection.h"

namespace mosscatch {

TcpConnection::TcpConnection(HostMap hostMap, QObject *parent)
    : Connection(parent), m_hostMap(std::move(hostMap))
{
}

TcpConnection::~TcpConnection() = default;

void TcpConnection::close() {}
void TcpConnection::connectToHost(const QByteArray &, quint16) {}
void TcpConnection::sendData(const QByteArray &) {}
void TcpConnection::getData(QByteArray &into) { into.clear(); }
SocketState TcpConnection::state() const { return SocketState::Closed; }

}
