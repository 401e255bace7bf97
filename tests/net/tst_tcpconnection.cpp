#include "net/tcpconnection.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace mosscatch;

class TestTcpConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void transfer_data();
    void transfer();
    void failedConnect_data();
    void failedConnect();
    void reconnectOnArrivalDropsTheOldPeer();
    void destroyingEmitsNothing();

private:
    std::unique_ptr<TcpConnection> connectThroughMap();
    QTcpSocket *acceptPeer();

    std::unique_ptr<QTcpServer> m_server;
};

void TestTcpConnection::init()
{
    m_server = std::make_unique<QTcpServer>();
    QVERIFY(m_server->listen(QHostAddress::LocalHost));
}

std::unique_ptr<TcpConnection> TestTcpConnection::connectThroughMap()
{
    HostMap map;
    map.add("*.photosite.example.com", "127.0.0.1", m_server->serverPort());
    auto connection = std::make_unique<TcpConnection>(map);
    connection->connectToHost("www.photosite.example.com", 80);
    return connection;
}

QTcpSocket *TestTcpConnection::acceptPeer()
{
    if (!m_server->hasPendingConnections() && !m_server->waitForNewConnection(10000))
        return nullptr;
    return m_server->nextPendingConnection();
}

void TestTcpConnection::transfer_data()
{
    QTest::addColumn<bool>("fetchOnArrival");
    QTest::newRow("fetch on every arrival") << true;
    QTest::newRow("fetch after peer closed") << false;
}

void TestTcpConnection::transfer()
{
    QFETCH(bool, fetchOnArrival);

    auto connection = connectThroughMap();
    QSignalSpy connectedSpy(connection.get(), &Connection::connected);
    QSignalSpy closedSpy(connection.get(), &Connection::peerClosed);
    const int stateAfterCall = int(connection->state());
    QVERIFY2(stateAfterCall == 4 || stateAfterCall == 6, QByteArray::number(stateAfterCall));
    QCOMPARE(connectedSpy.count(), 0);
    QVERIFY(connectedSpy.wait(10000));
    QCOMPARE(connection->state(), SocketState::Connected);

    QTcpSocket *peer = acceptPeer();
    QVERIFY(peer);
    const QByteArray request = "GET / HTTP/1.0\nHost: www.photosite.example.com\n\n";
    for (qsizetype at = 0; at < request.size(); at += 7)
        connection->sendData(request.mid(at, 7));
    QTRY_VERIFY_WITH_TIMEOUT(peer->bytesAvailable() >= request.size(), 10000);
    QCOMPARE(peer->readAll(), request);

    QRandomGenerator random(42);
    QByteArray payload(1024 * 1024, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(payload.data()), payload.size() / 4);
    qsizetype sent = 0;
    int pieces = 0;
    // Each piece goes out after an arrival, so there are at least as many
    // arrivals as pieces; the last one is followed by the close at once.
    const auto sendNextPiece = [&] {
        const qsizetype size = qMin<qsizetype>(random.bounded(1, 20000), payload.size() - sent);
        peer->write(payload.mid(sent, size));
        sent += size;
        ++pieces;
        if (sent == payload.size())
            peer->disconnectFromHost();
    };

    QByteArray received;
    QByteArray chunk;
    qint64 announced = 0;
    int arrivals = 0;
    connect(connection.get(), &Connection::dataArrival, this, [&](qint64 bytesTotal) {
        ++arrivals;
        announced = bytesTotal;
        if (fetchOnArrival) {
            connection->getData(chunk);
            received += chunk;
        }
        if (sent < payload.size())
            sendNextPiece();
    });
    qsizetype fetchedAtClose = -1;
    connect(connection.get(), &Connection::peerClosed, this, [&] {
        connection->getData(chunk);
        fetchedAtClose = chunk.size();
        received += chunk;
    });
    sendNextPiece();
    QVERIFY(closedSpy.wait(10000));
    QCOMPARE(closedSpy.count(), 1);
    QCOMPARE(connection->state(), SocketState::Closing);
    QCOMPARE(fetchedAtClose, fetchOnArrival ? 0 : payload.size());
    if (!fetchOnArrival)
        QCOMPARE(announced, payload.size());
    QVERIFY(received == payload);
    QVERIFY(pieces > 50);
    QVERIFY2(arrivals >= pieces, QByteArray::number(arrivals));
    QCOMPARE(connectedSpy.count(), 1);

    connection->close();
    QCOMPARE(connection->state(), SocketState::Closed);
    connection->close();
    connection->getData(chunk);
    QVERIFY(chunk.isEmpty());
}

void TestTcpConnection::failedConnect_data()
{
    QTest::addColumn<bool>("afterConnectedAttempt");
    QTest::newRow("fresh") << false;
    // The socket has connected, but nobody has been told when it is replaced.
    QTest::newRow("replacing a connected attempt") << true;
}

void TestTcpConnection::failedConnect()
{
    QFETCH(bool, afterConnectedAttempt);

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    HostMap map;
    map.add("*.photosite.example.com", "127.0.0.1", m_server->serverPort());
    map.add("dead.photosite.example.com", "127.0.0.1", closed.serverPort());
    closed.close();
    TcpConnection connection(map);
    QSignalSpy connectedSpy(&connection, &Connection::connected);
    QSignalSpy closedSpy(&connection, &Connection::peerClosed);
    if (afterConnectedAttempt) {
        connection.connectToHost("www.photosite.example.com", 80);
        QSignalSpy socketSpy(connection.findChild<QTcpSocket *>(), &QTcpSocket::connected);
        QVERIFY(socketSpy.wait(10000));
        connection.close();
    }

    connection.connectToHost("dead.photosite.example.com", 80);
    QVERIFY(connection.state() != SocketState::Error);
    QTRY_COMPARE_WITH_TIMEOUT(connection.state(), SocketState::Error, 10000);
    QCOMPARE(connectedSpy.count(), 0);
    QCOMPARE(closedSpy.count(), 0);
}

void TestTcpConnection::reconnectOnArrivalDropsTheOldPeer()
{
    auto connection = connectThroughMap();
    QSignalSpy connectedSpy(connection.get(), &Connection::connected);
    QSignalSpy closedSpy(connection.get(), &Connection::peerClosed);
    QVERIFY(connectedSpy.wait(10000));
    QTcpSocket *peer = acceptPeer();
    QVERIFY(peer);
    connect(connection.get(), &Connection::dataArrival, this, [&] {
        connection->connectToHost("img.photosite.example.com", 80);
    }, Qt::SingleShotConnection);
    peer->write("HTTP/1.0 302 Found\r\nlocation: /b\r\n\r\n");
    peer->disconnectFromHost();

    QVERIFY(connectedSpy.wait(10000));
    QCOMPARE(connection->state(), SocketState::Connected);
    QCOMPARE(connectedSpy.count(), 2);
    QCOMPARE(closedSpy.count(), 0);
    QByteArray chunk;
    connection->getData(chunk);
    QVERIFY(chunk.isEmpty());
}

void TestTcpConnection::destroyingEmitsNothing()
{
    auto connection = connectThroughMap();
    QSignalSpy connectedSpy(connection.get(), &Connection::connected);
    QSignalSpy arrivalSpy(connection.get(), &Connection::dataArrival);
    QSignalSpy closedSpy(connection.get(), &Connection::peerClosed);
    QVERIFY(connectedSpy.wait(10000));
    QTcpSocket *peer = acceptPeer();
    QVERIFY(peer);
    peer->write("HTTP/1.0 200 OK\r\n\r\n");
    QVERIFY(peer->waitForBytesWritten(10000));

    connection.reset();
    QSignalSpy peerGoneSpy(peer, &QTcpSocket::disconnected);
    QVERIFY(peerGoneSpy.wait(10000));
    QCOMPARE(connectedSpy.count(), 1);
    QCOMPARE(arrivalSpy.count(), 0);
    QCOMPARE(closedSpy.count(), 0);
}

QTEST_GUILESS_MAIN(TestTcpConnection)
#include "tst_tcpconnection.moc"
