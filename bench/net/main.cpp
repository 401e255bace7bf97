#include "net/tcpconnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <future>

using namespace mosscatch;

namespace {

constexpr qint64 megabyte = 1024 * 1024;

// Sends totalBytes to the first client on its own thread, with blocking
// calls, so that the receiving side has the main event loop to itself.
void serveBytes(std::promise<quint16> &port, qint64 totalBytes)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    port.set_value(server.serverPort());
    if (!server.waitForNewConnection(30000))
        return;
    QTcpSocket *client = server.nextPendingConnection();
    const QByteArray block(64 * 1024, 'x');
    for (qint64 sent = 0; sent < totalBytes; sent += block.size()) {
        client->write(block.left(qMin<qint64>(block.size(), totalBytes - sent)));
        while (client->bytesToWrite() > 4 * megabyte)
            client->waitForBytesWritten(30000);
    }
    client->disconnectFromHost();
    if (client->state() != QAbstractSocket::UnconnectedState)
        client->waitForDisconnected(30000);
}

HostMap localMap(quint16 port)
{
    HostMap map;
    map.add("*.photosite.example.com", "127.0.0.1", port);
    return map;
}

void benchReceive(qint64 totalBytes)
{
    std::promise<quint16> portPromise;
    std::future<quint16> port = portPromise.get_future();
    QThread *sender = QThread::create(serveBytes, std::ref(portPromise), totalBytes);
    sender->start();

    TcpConnection connection(localMap(port.get()));
    QByteArray chunk;
    qint64 received = 0;
    qint64 arrivals = 0;
    QElapsedTimer clock;
    QEventLoop loop;
    QObject::connect(&connection, &Connection::connected, [&] { clock.start(); });
    QObject::connect(&connection, &Connection::dataArrival, [&] {
        connection.getData(chunk);
        received += chunk.size();
        ++arrivals;
    });
    QObject::connect(&connection, &Connection::peerClosed, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    connection.connectTo({Scheme::Http, "www.photosite.example.com", 80});
    loop.exec();
    const double seconds = clock.isValid() ? clock.nsecsElapsed() / 1e9 : 0;
    connection.close();
    sender->wait();
    delete sender;

    std::printf("receive: %lld of %lld bytes in %.3f s = %.1f MB/s\n", received, totalBytes,
                seconds, seconds > 0 ? received / double(megabyte) / seconds : 0.0);
    std::printf("receive: %lld dataArrival events, %.0f bytes per event\n", arrivals,
                arrivals > 0 ? double(received) / arrivals : 0.0);
}

void benchConnectClose(int rounds)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost);
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        while (QTcpSocket *peer = server.nextPendingConnection()) {
            peer->abort();
            peer->deleteLater();
        }
    });

    TcpConnection connection(localMap(server.serverPort()));
    QEventLoop loop;
    QObject::connect(&connection, &Connection::connected, &loop, &QEventLoop::quit);
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    int done = 0;
    for (; done < rounds && clock.elapsed() < 30000; ++done) {
        connection.connectTo({Scheme::Http, "www.photosite.example.com", 80});
        giveUp.start(5000);
        loop.exec();
        if (connection.state() != SocketState::Connected)
            break;
        connection.close();
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("connect+close: %d of %d rounds in %.3f s = %.0f per second\n", done, rounds,
                seconds, seconds > 0 ? done / seconds : 0.0);
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qint64 receiveMegabytes = args.size() > 1 ? args.at(1).toLongLong() : 200;
    const int rounds = args.size() > 2 ? args.at(2).toInt() : 2000;

    benchReceive(receiveMegabytes * megabyte);
    benchConnectClose(rounds);
    return 0;
}
