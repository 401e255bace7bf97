#include "loopbackclient.h"

#include <QTcpSocket>
#include <QTest>

LoopbackClient::Answer LoopbackClient::exchange(quint16 port, const QByteArray &request, int waitMs)
{
    Answer answer;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    const auto readArrived = [&] {
        if (socket.bytesAvailable() > 0)
            answer.bytes += answer.chunks.emplace_back(socket.readAll());
        return socket.state() == QAbstractSocket::UnconnectedState;
    };
    answer.closed = QTest::qWaitFor(readArrived, waitMs);
    readArrived();
    return answer;
}

QByteArray LoopbackClient::request(const QByteArray &hostAndPath)
{
    const qsizetype slash = hostAndPath.indexOf('/');
    return "GET " + hostAndPath.mid(slash) + " HTTP/1.0\nHost: " + hostAndPath.left(slash)
           + "\nUser-Agent: Mozilla/5.0\n\n";
}
