#include "loopbackclient.h"

#include <QEventLoop>
#include <QTcpSocket>
#include <QTimer>

LoopbackClient::Answer LoopbackClient::exchange(quint16 port, const QByteArray &request, int waitMs)
{
    Answer answer;
    QTcpSocket socket;
    QEventLoop loop;
    QObject::connect(&socket, &QTcpSocket::connected, [&] { socket.write(request); });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        answer.chunks.append(socket.readAll());
        answer.bytes += answer.chunks.last();
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] {
        answer.bytes += socket.readAll();
        answer.closed = true;
        loop.quit();
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&] {
        if (socket.error() != QAbstractSocket::RemoteHostClosedError)
            loop.quit();
    });
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    socket.connectToHost(QHostAddress::LocalHost, port);
    loop.exec();
    socket.disconnect();
    socket.abort();
    return answer;
}

QByteArray LoopbackClient::request(const QByteArray &hostAndPath)
{
    const qsizetype slash = hostAndPath.indexOf('/');
    return request(hostAndPath.left(slash), hostAndPath.mid(slash));
}

QByteArray LoopbackClient::request(const QByteArray &host, const QByteArray &path)
{
    return "GET " + path + " HTTP/1.0\nHost: " + host + "\nUser-Agent: Mozilla/5.0\n\n";
}
