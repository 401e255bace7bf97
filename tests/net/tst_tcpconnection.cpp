#include "net/tcpconnection.h"
#include "testmain.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

using namespace mosscatch;

class TestTcpConnection : public QObject
{
    Q_OBJECT

private slots:
    // The site's hosts lead to a local server; "dead" leads to a port nobody listens on.
    void init()
    {
        m_server = std::make_unique<QTcpServer>();
        QVERIFY(m_server->listen(QHostAddress::LocalHost));
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        HostMap map;
        map.add("*.photosite.example.com", "127.0.0.1", m_server->serverPort());
        map.add("dead.photosite.example.com", "127.0.0.1", closed.serverPort());
        m_connection = std::make_unique<TcpConnection>(map);
        m_events.clear();
        const Connection *connection = m_connection.get();
        connect(connection, &Connection::connected, this, [this] { m_events << "connected"; });
        connect(connection, &Connection::dataArrival, this, [this] { m_events << "arrival"; });
        connect(connection, &Connection::peerClosed, this, [this] { m_events << "closed"; });
        connect(connection, &Connection::openFailed, this,
                [this](const QString &reason) { m_events << "failed: " + reason; });
    }

    void transfer_data()
    {
        QTest::addColumn<bool>("fetchOnArrival");
        QTest::newRow("fetch on every arrival") << true;
        QTest::newRow("fetch after peer closed") << false;
    }

    void transfer()
    {
        QFETCH(bool, fetchOnArrival);

        QVERIFY(connectToPeer());
        const QByteArray request = "GET / HTTP/1.0\nHost: www.photosite.example.com\n\n";
        for (qsizetype at = 0; at < request.size(); at += 7)
            m_connection->sendData(request.mid(at, 7));
        QTRY_VERIFY_WITH_TIMEOUT(m_peer->bytesAvailable() >= request.size(), 10000);
        QCOMPARE(m_peer->readAll(), request);

        QRandomGenerator random(42);
        QByteArray payload(1024 * 1024, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(payload.data()), payload.size() / 4);
        qsizetype sent = 0;
        int pieces = 0;
        // Each piece goes out after an arrival, so there are at least as many
        // arrivals as pieces; the last one is followed by the close at once.
        const auto sendNextPiece = [&] {
            const qsizetype size = qMin<qsizetype>(random.bounded(1, 20000), payload.size() - sent);
            m_peer->write(payload.mid(sent, size));
            sent += size;
            ++pieces;
            if (sent == payload.size())
                m_peer->disconnectFromHost();
        };
        QByteArray received, chunk;
        connect(m_connection.get(), &Connection::dataArrival, this, [&] {
            if (fetchOnArrival) {
                m_connection->getData(chunk);
                received += chunk;
            }
            if (sent < payload.size())
                sendNextPiece();
        });
        qsizetype fetchedAtClose = -1;
        connect(m_connection.get(), &Connection::peerClosed, this, [&] {
            m_connection->getData(chunk);
            fetchedAtClose = chunk.size();
            received += chunk;
        });
        sendNextPiece();
        QTRY_VERIFY_WITH_TIMEOUT(m_events.contains("closed"), 10000);
        QCOMPARE(m_connection->state(), SocketState::Closing);
        QCOMPARE(fetchedAtClose, fetchOnArrival ? 0 : payload.size());
        QVERIFY(received == payload);
        QVERIFY(pieces > 50);
        QVERIFY(m_events.removeAll("arrival") >= pieces);
        QCOMPARE(m_events, (QStringList{"connected", "closed"}));

        m_connection->close();
        QCOMPARE(m_connection->state(), SocketState::Closed);
        m_connection->close();
        m_connection->getData(chunk);
        QVERIFY(chunk.isEmpty());
    }

    // A failed attempt says so at once, with its reason; the second attempt replaces one
    // whose socket has connected, though nobody has been told yet.
    void failedConnect()
    {
        m_connection->connectTo({Scheme::Http, "dead.photosite.example.com", 80});
        QTRY_COMPARE_WITH_TIMEOUT(m_connection->state(), SocketState::Error, 10000);
        m_connection->connectTo({Scheme::Http, "www.photosite.example.com", 80});
        QSignalSpy socketSpy(m_connection->findChild<QTcpSocket *>(), &QTcpSocket::connected);
        QVERIFY(socketSpy.wait(10000));
        m_connection->connectTo({Scheme::Http, "dead.photosite.example.com", 80});
        QVERIFY(m_connection->state() != SocketState::Error);
        QTRY_COMPARE_WITH_TIMEOUT(m_connection->state(), SocketState::Error, 10000);
        const QString refused = QStringLiteral("failed: connection refused");
        QCOMPARE(m_events, (QStringList{refused, refused}));
    }

    void destroyingEmitsNothing()
    {
        QVERIFY(connectToPeer());
        m_peer->write("HTTP/1.0 200 OK\r\n\r\n");
        QVERIFY(m_peer->waitForBytesWritten(10000));

        m_connection.reset();
        QSignalSpy peerGone(m_peer, &QTcpSocket::disconnected);
        QVERIFY(peerGone.wait(10000));
        QCOMPARE(m_events, QStringList{"connected"});
    }

private:
    // Connecting returns at once, resolving or connecting, and raises nothing yet.
    bool connectToPeer()
    {
        m_connection->connectTo({Scheme::Http, "www.photosite.example.com", 80});
        const SocketState state = m_connection->state();
        if ((state != SocketState::ResolvingHost && state != SocketState::Connecting)
            || !m_events.isEmpty()
            || !QTest::qWaitFor([this] { return m_connection->state() == SocketState::Connected; },
                                10000)
            || !(m_server->hasPendingConnections() || m_server->waitForNewConnection(10000)))
            return false;
        return (m_peer = m_server->nextPendingConnection());
    }

    std::unique_ptr<QTcpServer> m_server;
    std::unique_ptr<TcpConnection> m_connection;
    QTcpSocket *m_peer = nullptr;
    QStringList m_events;
};

MOSSCATCH_TEST_GUILESS_MAIN(TestTcpConnection)
#include "tst_tcpconnection.moc"
