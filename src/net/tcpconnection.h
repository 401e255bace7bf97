#pragma once

#include "net/connection.h"
#include "net/hostmap.h"

namespace mosscatch {

class TcpConnection : public Connection
{
    Q_OBJECT

public:
    explicit TcpConnection(HostMap hostMap, QObject *parent = nullptr);
    ~TcpConnection() override;

    void close() override;
    void connectToHost(const QByteArray &host, quint16 port) override;
    void sendData(const QByteArray &bytes) override;
    void getData(QByteArray &into) override;
    SocketState state() const override;

private:
    HostMap m_hostMap;
};

}
